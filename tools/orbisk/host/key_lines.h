#pragma once
// Key messages as our own hosts print them, and what a Start came to; the
// same on every platform (posix/host_events.h and win32/run_host.cpp build
// on them).
#include <cstdint>
#include <optional>
#include <string>

#include "orbisk/host.h"

namespace orbisk::tool {

// One key message as the host saw it while send ran.
struct HostKeyEvent {
    std::intptr_t value = ORBISK_KEY_PRESS;  // 0 press, n the n-th repeat, -1 release
    std::string keyName;
    std::string remoteName;
    std::string codeText;
    bool operator==(const HostKeyEvent&) const = default;
};

// The event of one call of send; nothing for other messages or a null record.
std::optional<HostKeyEvent> KeyEventFromMessage(std::uint32_t message, std::uintptr_t wparam,
                                                std::intptr_t lparam);

// "press", "repeat N" or "release", then key name, remote-control name and
// code text, separated by tabs, and a newline.
std::string FormatKeyLine(const HostKeyEvent& event);

// What a Start call came to.  The five entry points give the host no result,
// so it is observed: the plug-in reports its failures on standard error
// (without a display, as in our hosts on Linux; in message boxes on Windows)
// and a running plug-in has its reader and engine threads up.  Some failures are silent (with HaltOnError and
// ExecOnError set, a port that cannot be opened only starts that command), so
// the threads decide whether it runs and the reports say what went wrong.
struct StartOutcome {
    bool running = false;
    std::string reports;  // what the plug-in wrote on standard error meanwhile
};

// Calls start and observes it; the platform's part.  On Linux with standard
// error captured (and copied back to it after the call) and with SIGINT,
// SIGTERM and SIGPIPE blocked, so that the threads the plug-in makes inherit
// them blocked: the host's stop signals then reach only its own threads, and
// interrupt a write to an output that does not drain.
StartOutcome StartPlugin(OrbiskVoidFn start);

// The reports of a failed Start as one line: "Cannot open COM port; ...".
std::string ReportsAsOneLine(const std::string& reports);

}  // namespace orbisk::tool
