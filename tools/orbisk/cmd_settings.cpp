#include "commands.h"

namespace orbisk::tool {

int RunSettings(const Args&) { return Fail("settings", "not available in this build"); }

}  // namespace orbisk::tool
