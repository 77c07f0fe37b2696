#include "commands.h"

namespace orbisk::tool {

int RunSetup(const Args&) { return Fail("setup", "not available in this build"); }

}  // namespace orbisk::tool
