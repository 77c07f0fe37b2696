#include "commands.h"

namespace orbisk::tool {

int RunMonitor(const Args&) { return Fail("monitor", "not available in this build"); }

}  // namespace orbisk::tool
