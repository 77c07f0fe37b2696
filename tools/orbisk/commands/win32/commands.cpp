#include "commands/commands.h"

namespace orbisk::tool {

// No command of its own yet: serve needs Unix sockets.
std::span<const Command> PlatformCommands() { return {}; }

}  // namespace orbisk::tool
