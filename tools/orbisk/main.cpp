// orbisk: the command-line companion of the plug-in.
#include <cstdio>
#include <cstring>
#include <string>

#include "commands/commands.h"

namespace {

using orbisk::tool::Command;

constexpr Command kCommands[] = {
    {"run", orbisk::tool::RunHost, "load the plug-in as a host does and print its key events"},
    {"setup", orbisk::tool::RunSetup, "open the plug-in's setup dialog, as a host's Setup button does"},
    {"simulate", orbisk::tool::RunSimulate, "play a receiver on a pseudo-terminal (no hardware needed)"},
    {"monitor", orbisk::tool::RunMonitor, "print the bursts and codes arriving on a real receiver"},
    {"decode", orbisk::tool::RunDecode, "decode a capture of the receiver's bytes into code texts"},
    {"generate", orbisk::tool::RunGenerate, "write a timed capture of remote-control key presses"},
    {"settings", orbisk::tool::RunSettings, "print what the plug-in loads from a settings file"},
    {"identify", orbisk::tool::RunIdentify, "tell which file of a remote database describes a remote"},
};

void Usage(std::FILE* out) {
    std::fputs("usage: orbisk <command> [options]\n       orbisk --version\n\ncommands:\n", out);
    for (const Command& c : kCommands) std::fprintf(out, "  %-9s %s\n", c.name, c.summary);
    for (const Command& c : orbisk::tool::PlatformCommands()) std::fprintf(out, "  %-9s %s\n", c.name, c.summary);
    std::fputs("\n'orbisk <command> --help' describes each command.\n", out);
}

}  // namespace

int main(int argc, char** argv) {
    orbisk::tool::PrepareStandardStreams();
    if (argc < 2) {
        Usage(stderr);
        return 2;
    }
    const std::string name = argv[1];
    if (name == "-h" || name == "--help" || name == "help") {
        Usage(stdout);
        return 0;
    }
    if (name == "--version") {
        std::puts("orbisk " ORBISK_VERSION_TEXT);
        return 0;
    }
    for (const Command& c : kCommands) {
        if (name == c.name) return c.run(orbisk::tool::Args(argv + 2, argv + argc));
    }
    for (const Command& c : orbisk::tool::PlatformCommands()) {
        if (name == c.name) return c.run(orbisk::tool::Args(argv + 2, argv + argc));
    }
    std::fprintf(stderr, "orbisk: unknown command '%s' (try 'orbisk --help')\n", name.c_str());
    return 2;
}
