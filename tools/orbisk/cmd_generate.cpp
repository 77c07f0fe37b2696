#include "commands.h"

namespace orbisk::tool {

int RunGenerate(const Args&) { return Fail("generate", "not available in this build"); }

}  // namespace orbisk::tool
