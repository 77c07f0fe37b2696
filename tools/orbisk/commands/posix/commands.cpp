#include "commands/commands.h"

namespace orbisk::tool {

namespace {

constexpr Command kPosixCommands[] = {
    {"serve", RunServe, "serve the plug-in's keys to LIRC programs on a Unix socket"},
};

}  // namespace

std::span<const Command> PlatformCommands() { return kPosixCommands; }

}  // namespace orbisk::tool
