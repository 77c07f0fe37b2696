#pragma once
// Key messages as our own hosts print them, the lines waiting for a slow
// output, and what a Start came to; the same on every platform
// (posix/host_events.h and win32/run_host.cpp build on them).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

// Key events taken from a host's queue at once.
struct HostKeyBatch {
    std::vector<HostKeyEvent> events;  // oldest first
    std::uint64_t dropped = 0;         // lost for lack of room since the last take
};

// The event of one call of send; nothing for other messages or a null record.
std::optional<HostKeyEvent> KeyEventFromMessage(std::uint32_t message, std::uintptr_t wparam,
                                                std::intptr_t lparam);

// "press", "repeat N" or "release", then key name, remote-control name and
// code text, separated by tabs, and a newline.  A control character in a
// name (a tab, an escape sequence) comes out as '_': it would split the line
// or drive the terminal.
std::string FormatKeyLine(const HostKeyEvent& event);

// Key lines on their way to an output that may be slow or stop: bounded,
// and what does not fit is dropped and counted.  A press that goes in takes
// its repeats while they fit and its release always, and a dropped press
// takes its repeats and release with it, so a reader never sees a key that
// stays down.
class KeyLines {
public:
    // About 1,500 lines.
    static constexpr std::size_t DefaultLimit = 64 * 1024;

    explicit KeyLines(std::size_t limit = DefaultLimit) : limit_(limit) {}

    // The batch's lines, and the events its queue dropped counted.
    void Add(const HostKeyBatch& batch);
    void Add(const HostKeyEvent& event);
    std::string_view Pending() const { return std::string_view(pending_).substr(written_); }
    void Written(std::size_t count);
    // Lines dropped since the last call.
    std::uint64_t TakeDropped() { return std::exchange(dropped_, 0); }

private:
    std::size_t limit_;
    std::string pending_;
    std::size_t written_ = 0;
    std::uint64_t dropped_ = 0;
    bool keyIn_ = false;  // the current key's press went in
};

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
