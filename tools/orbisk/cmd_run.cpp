#include "commands.h"

namespace orbisk::tool {

int RunHost(const Args&) { return Fail("run", "not available in this build"); }

}  // namespace orbisk::tool
