#include "commands.h"

namespace orbisk::tool {

int RunDecode(const Args&) { return Fail("decode", "not available in this build"); }

}  // namespace orbisk::tool
