// orbisk run: a host for the plug-in.  It loads the plug-in, opens it as a
// Vantrel 2.7.12 host, starts it and prints every key message.
#include <cstdio>
#include <string>

#include "commands/commands.h"
#include "host/key_lines.h"
#include "host/plugin_loader.h"
#include "host/run_host.h"

namespace orbisk::tool {

namespace {

constexpr char kHelp[] =
    "usage: orbisk run [--plugin PATH] [--name NAME] [--seconds N]\n"
    "\n"
    "Loads the plug-in as a host does (Open with host version 2.7.12, then Start)\n"
    "and prints one line per key message, tab-separated:\n"
    "  press|repeat N|release  key name  remote-control name  code text\n"
    "Stops the plug-in and exits on Ctrl-C or SIGTERM, at the end of standard\n"
    "input, or after N seconds; a key still held then gets a release line of its\n"
    "own.  Lines wait in a queue of 64 KiB while standard output is blocked\n"
    "(lines that do not fit are dropped and counted on standard error, a key's\n"
    "release never without its press), and a signal ends the run even then:\n"
    "the last lines get one second.  A plug-in that does not start is an error\n"
    "(exit status 2) that says what the plug-in reported.\n"
    "\n"
    "  --plugin PATH  the plug-in library (default: the installed plug-in)\n"
    "  --name NAME    the name the host gives the plug-in (default: none, \"REMOTE\")\n"
    "  --seconds N    stop after N seconds\n";

}  // namespace

std::optional<int> ReportStart(const StartOutcome& start, const char* description,
                               const std::string& pluginPath, LoadedPlugin& plugin) {
    if (description == nullptr) description = "?";
    if (!start.running) {
        plugin.Close();
        const std::string reports = ReportsAsOneLine(start.reports);
        return Fail("run", std::string(description) + " (" + pluginPath + ") did not start: " +
                               (reports.empty() ? "it reported nothing (see the system log)" : reports));
    }
    if (start.reports.empty())
        std::fprintf(stderr, "orbisk run: %s (%s) started; Ctrl-C stops\n", description, pluginPath.c_str());
    else
        std::fprintf(stderr, "orbisk run: %s (%s) started, but reported: %s; Ctrl-C stops\n", description,
                     pluginPath.c_str(), ReportsAsOneLine(start.reports).c_str());
    return std::nullopt;
}

void ReportKeyLines(std::uint64_t dropped, std::size_t unwritten) {
    if (dropped != 0)
        std::fprintf(stderr, "orbisk run: %llu key lines dropped while standard output was blocked\n",
                     static_cast<unsigned long long>(dropped));
    if (unwritten != 0)
        std::fprintf(stderr, "orbisk run: standard output took no more; %zu bytes of key lines not written\n",
                     unwritten);
}

int RunHost(const Args& args) {
    if (WantsHelp(args)) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    std::string pluginPath = DefaultPluginPath();
    std::string name;
    bool haveName = false;
    long long seconds = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--plugin" && hasValue) {
            pluginPath = args[++i];
        } else if (a == "--name" && hasValue) {
            name = args[++i];
            haveName = true;
        } else if (a == "--seconds" && hasValue) {
            if (!ParseNumber(args[++i], 1, 1000000, seconds))
                return Fail("run", "--seconds takes a whole number of seconds, got '" + args[i] + "'");
        } else {
            return Fail("run", "unexpected argument '" + a + "' (see 'orbisk run --help')");
        }
    }

    LoadedPlugin plugin;
    std::string error;
    if (!plugin.Load(pluginPath, error)) return Fail("run", error);

    return HostPlugin(plugin, pluginPath, haveName ? name.c_str() : nullptr, seconds);
}

}  // namespace orbisk::tool
