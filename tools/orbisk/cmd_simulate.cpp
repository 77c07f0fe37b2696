#include "commands.h"

namespace orbisk::tool {

int RunSimulate(const Args&) { return Fail("simulate", "not available in this build"); }

}  // namespace orbisk::tool
