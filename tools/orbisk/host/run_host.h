#pragma once
// orbisk run's host, whose window is the platform's (posix/run_host.cpp,
// win32/run_host.cpp).
#include <optional>
#include <string>

#include "host/key_lines.h"
#include "host/plugin_loader.h"

namespace orbisk::tool {

// Opens the loaded plug-in with the host's window as a 2.7.12 host, starts
// it, prints its key lines until Ctrl-C, the end of standard input or the
// deadline (seconds, 0 for none), stops and closes it, and ends a key still
// held with a release line of its own.  Returns the exit status.
int HostPlugin(LoadedPlugin& plugin, const std::string& pluginPath, const char* name, long long seconds);

// How the Start went: the "started" line on standard error and nothing, or,
// when the plug-in does not run, the plug-in closed, the one-line error and
// the exit status.
std::optional<int> ReportStart(const StartOutcome& start, const char* description, const std::string& pluginPath,
                               LoadedPlugin& plugin);

// How long the last lines (a release for a held key among them) may wait for
// standard output to take them once the plug-in has stopped.
constexpr int kFinalOutputMs = 1000;

// On standard error, when not 0: the key lines dropped while standard output
// was blocked, and at the end the bytes of key lines it did not take.
void ReportKeyLines(std::uint64_t dropped, std::size_t unwritten = 0);

}  // namespace orbisk::tool
