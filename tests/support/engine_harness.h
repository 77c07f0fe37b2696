#pragma once
// Runs the key engine against a scripted timeline: a fake tick clock, a code
// event that publishes scripted bursts the way the decoder does, and an
// output that records every key message and dialog notice together with the
// record contents a host would see at that moment.
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "common/code_event.h"
#include "common/text.h"
#include "common/tick_clock.h"
#include "engine/key_engine.h"
#include "engine/key_table.h"
#include "orbisk/host.h"
#include "settings/ini_file.h"
#include "engine/key_event_record.h"
#include "settings/settings.h"
#include "receiver/published_state.h"

namespace orbisk::test {

class FakeClock final : public TickClock {
public:
    std::uint32_t Now() override {
        if (onNow) {
            const auto hook = onNow;  // the hook may clear itself
            hook();
        }
        return now;
    }

    std::uint32_t now = 0;
    // Runs inside every reading, before the time is returned.
    std::function<void()> onNow;
};

// The decoder's side of the hand-over, in the decoder's order: slot (left
// alone for a repeat burst), then the flags, then the wake-up.
// A recognised burst also carries its frame, its own code (0: the same as
// its code) and its older code.
inline void PublishBurst(PublishedState& state, CodeEvent& event, std::optional<std::uint64_t> code,
                         const IrFrame& frame = {}, KeyCode shapeCode = 0, KeyCode olderCode = 0) {
    if (code) PublishCodes(state, {*code, shapeCode != 0 ? shapeCode : static_cast<KeyCode>(*code), olderCode, frame});
    state.SignalPresent.store(true, std::memory_order_release);
    state.UpdatePending.store(true, std::memory_order_release);
    event.Set();
}

struct Burst {
    std::uint32_t at;                    // tick count
    std::optional<std::uint64_t> code;   // nullopt: a repeat burst
    IrFrame frame{};                     // the frame recognised in it, if any
    KeyCode shapeCode = 0;  // its shape code when recognised; 0: code
    KeyCode olderCode = 0;  // its frame's older code; 0: none other
};

// Wait() moves the clock on to the next scripted burst and publishes it when
// that comes within the time-out; otherwise it moves the clock by the time-out.
// A wait without a limit and nothing left to come would never return: it is
// counted as a stall and ends the run by requesting stop.
class ScriptedCodeEvent final : public CodeEvent {
public:
    ScriptedCodeEvent(FakeClock& clock, PublishedState& published, EngineControl& control)
        : clock_(clock), published_(published), control_(control) {}

    void Set() override { signalled_ = true; }
    void Reset() override {
        if (onReset) {
            const auto hook = onReset;  // the hook may clear itself
            hook();
        }
        signalled_ = false;
    }
    WaitResult Wait(std::optional<std::uint32_t> timeoutMs) override {
        ++waits;
        if (signalled_) return WaitResult::Signalled;
        // Differences, so that a script may run across the counter's wrap.
        if (!bursts.empty() && (!timeoutMs || bursts.front().at - clock_.now <= *timeoutMs)) {
            const Burst burst = bursts.front();
            bursts.pop_front();
            clock_.now = burst.at;
            PublishBurst(published_, *this, burst.code, burst.frame, burst.shapeCode, burst.olderCode);
            return WaitResult::Signalled;
        }
        if (timeoutMs) {
            clock_.now += *timeoutMs;
            return WaitResult::TimedOut;
        }
        ++stalls;
        control_.EngineStopRequested.store(1);
        return WaitResult::Signalled;
    }

    std::deque<Burst> bursts;
    std::function<void()> onReset;  // runs before the event is cleared
    int waits = 0;
    int stalls = 0;

private:
    FakeClock& clock_;
    PublishedState& published_;
    EngineControl& control_;
    bool signalled_ = false;
};

// The host's view of the two buffers the record points to.
template <typename Record>
std::string_view RecordCodeText(const Record& record) {
    if constexpr (sizeof(void*) == 4)
        return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(record.CodeTextRef));
    else
        return record.CodeText;
}
template <typename Record>
std::string_view RecordRemoteName(const Record& record) {
    if constexpr (sizeof(void*) == 4)
        return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(record.RemoteNameRef));
    else
        return record.RemoteNameText;
}

// One key message as the host saw it; `at` counts from the script's start.
struct KeyMessage {
    std::uint32_t at;
    std::intptr_t value;
    std::string keyName;
    std::string codeText;
    std::string remoteName;
    bool operator==(const KeyMessage&) const = default;
};
inline void PrintTo(const KeyMessage& m, std::ostream* os) {
    *os << "{" << m.at << " ms, " << m.value << ", \"" << m.keyName << "\", \"" << m.codeText
        << "\", \"" << m.remoteName << "\"}";
}

struct Notice {
    std::uint32_t at;
    std::uint32_t message;
    std::uint32_t wparam;
    std::uint32_t lparam;
    bool operator==(const Notice&) const = default;
};
inline void PrintTo(const Notice& n, std::ostream* os) {
    *os << "{" << n.at << " ms, " << n.message << ", " << n.wparam << ", " << n.lparam << "}";
}

class RecordingOutput final : public KeyEngineOutput {
public:
    RecordingOutput(FakeClock& clock, const OrbiskKeyEventRecord& record)
        : clock_(clock), record_(record) {}

    void SendKey(std::intptr_t value) override {
        messages.push_back({clock_.now - origin, value,
                            std::string(FieldText(record_.KeyName, sizeof record_.KeyName)),
                            std::string(RecordCodeText(record_)), std::string(RecordRemoteName(record_))});
        if (onSend) onSend(value);
    }
    bool PostNotice(std::uint32_t message, std::uint32_t wparam, std::uint32_t lparam) override {
        notices.push_back({clock_.now - origin, message, wparam, lparam});
        return dialogPresent;
    }

    std::uint32_t origin = 0;
    bool dialogPresent = false;
    std::vector<KeyMessage> messages;
    std::vector<Notice> notices;
    std::function<void(std::intptr_t)> onSend;

private:
    FakeClock& clock_;
    const OrbiskKeyEventRecord& record_;
};

// Everything the engine needs, wired together.  Set the settings, the key
// table and the script, then Run().
struct EngineHarness {
    explicit EngineHarness(std::string_view settingsFile = {}, std::uint32_t start = 0) {
        clock.now = start;
        output.origin = start;
        InitKeyEventRecord(record, "Test host");
        if (!settingsFile.empty()) keys.Rebuild(IniDocument::Parse(settingsFile));
    }

    // Bursts at times counted from the start.
    void Script(std::initializer_list<Burst> bursts) {
        for (const Burst& b : bursts) event.bursts.push_back({output.origin + b.at, b.code, b.frame, b.shapeCode});
    }

    // Begin, then passes until the script has run out and the engine would
    // block for good, or until stop is requested.  A bound on the passes
    // turns an engine that never waits into a failure instead of a hang.
    int Run(int maxPasses = 10000) {
        engine.Begin();
        int passes = 0;
        while (control.EngineStopRequested.load() == 0 && passes < maxPasses) {
            engine.RunPass();
            ++passes;
        }
        return passes;
    }

    std::uint32_t Elapsed() const { return clock.now - output.origin; }

    PublishedState published;
    FakeClock clock;
    EngineControl control;
    ScriptedCodeEvent event{clock, published, control};
    Settings settings;
    KeyTable keys;
    OrbiskKeyEventRecord record{};
    RecordingOutput output{clock, record};
    KeyEngine engine{published, event, clock, settings, keys, record, control, output};
};

}  // namespace orbisk::test
