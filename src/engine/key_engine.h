#pragma once
// The key state machine: turns publications of the decoder into press,
// auto-repeat and release reports with the plug-in's own timing, and into
// notices for the setup dialog while it is open.
//
// One pass of the loop (RunPass) picks up a publication, processes a change
// or checks for a due repeat, and then waits on the code event.  Clock, event
// and outputs are injected, so a test can run the loop against a scripted
// timeline.
#include <atomic>
#include <cstdint>
#include <optional>
#include <string_view>

#include "common/code_event.h"
#include "common/code_text.h"
#include "common/tick_clock.h"
#include "orbisk/host.h"
#include "engine/key_event_record.h"
#include "engine/key_table.h"
#include "receiver/published_state.h"

namespace orbisk {

struct Settings;

// Flags that the host thread writes and the engine reads.
struct EngineControl {
    std::atomic<std::uint32_t> EngineStopRequested{0};
    std::atomic<bool> SetupActive{false};
    // The frame of the latest key-down notice (PackShownFrame), stored
    // before the notice is posted, for the dialog to show beside the code.
    std::atomic<std::uint64_t> ShownFrame{0};
    // The press's other codes, under which keys learned by earlier versions
    // are stored (PackShownCode), stored with the frame: its frame's older
    // code and the burst's shape code.
    std::atomic<std::uint64_t> ShownOlderCode{0};
    std::atomic<std::uint64_t> ShownShapeCode{0};
    // Written by the engine: set while it is inside a key message to the
    // host, and whether the host holds a key once it has the message.
    std::atomic<bool> InSend{false};
    std::atomic<bool> HostHeld{false};
};

// The frame with a check of the code it was shown for: the scancode, the
// protocol, the toggle bit, a level reading's bit count and the code's low
// 18 bits in one word.
std::uint64_t PackShownFrame(const IrFrame& frame, std::uint64_t code);
// The frame, when the word was packed for this code; protocol None when not.
IrFrame ShownFrameFor(std::uint64_t packed, std::uint64_t code);
// Another code of the press with the low half of the code it was shown for.
std::uint64_t PackShownCode(KeyCode other, std::uint64_t code);
// That code, when the word was packed for this code; 0 when not.
KeyCode ShownCodeFor(std::uint64_t packed, std::uint64_t code);

class KeyEngineOutput {
public:
    virtual ~KeyEngineOutput() = default;
    // A key message to the host: synchronous, record filled.
    virtual void SendKey(std::intptr_t value) = 0;
    // An asynchronous notice to the setup dialog; false when there is no
    // dialog to post to (the notice is then dropped).
    virtual bool PostNotice(std::uint32_t message, std::uint32_t wparam, std::uint32_t lparam) = 0;
};

class KeyEngine {
public:
    KeyEngine(PublishedState& published, CodeEvent& codeEvent, TickClock& clock,
              const Settings& settings, const KeyTable& keys, OrbiskKeyEventRecord& record,
              EngineControl& control, KeyEngineOutput& output);

    // Thread start: stamps the record and initialises the private state.
    void Begin();
    // One pass of the loop body.
    void RunPass();
    // Begin, then passes until EngineStopRequested is set.
    void Run();

    // For tests.
    std::uint32_t RepeatCount() const { return repeatCount_; }
    bool ReportedPressed() const { return reportedPressed_; }
    std::uint32_t HeldWait() const { return heldWait_; }
    const char* CodeTextBuffer() const { return codeText_; }
    const char* RemoteNameBuffer() const { return remoteNameText_; }

private:
    // A toggle-bit remote's frame whose toggle differs from the held key's:
    // the key was let go and pressed again, however quickly.
    bool TogglePressedAgain() const;
    void ProcessChange();
    void KeyUpdate();
    // The key of the current codes: the code (its text) first, then the older ones.
    std::optional<KeyTable::Match> LookupCurrentKey(std::string_view codeText);
    std::optional<KeyTable::Match> LookupOlderCodes();
    // A later frame of an unknown held key whose shape or older code, not
    // looked up yet in this hold, names a learned key.
    bool OlderCodesNameTheHeldKey();
    void RepeatCheck();
    void Wait();
    void KeyReport(std::intptr_t value);

    PublishedState& published_;
    CodeEvent& codeEvent_;
    TickClock& clock_;
    const Settings& settings_;
    const KeyTable& keys_;
    OrbiskKeyEventRecord& record_;
    EngineControl& control_;
    KeyEngineOutput& output_;

    std::uint64_t currentCode_ = ~std::uint64_t{0};
    KeyCode currentShapeCode_ = 0;  // the burst's shape code, looked up last
    KeyCode currentOlderCode_ = 0;  // its frame's older code (0: none other), looked up second
    IrFrame currentFrame_;
    IrFrame reportedFrame_;
    bool currentPressed_ = false;
    std::uint64_t reportedCode_ = ~std::uint64_t{0};
    bool reportedPressed_ = false;
    bool releaseDue_ = false;  // WaitR passed without a burst: release on the next pass
    bool hostHeld_ = false;    // the host has a press without its release
    // The held key is in no entry of the table, by any code looked up so far
    // (those below are the older ones last looked up).
    bool heldUnknown_ = false;
    KeyCode lookedUpShapeCode_ = 0;
    KeyCode lookedUpOlderCode_ = 0;
    bool abandoned_ = false;   // stopped during a key message: the pass ends at once
    std::uint32_t repeatCount_ = 0;
    std::uint32_t lastArrival_ = 0;
    std::uint32_t lastReport_ = 0;
    std::uint32_t nextInterval_ = 0;
    std::uint32_t heldWait_ = 0;
    char codeText_[CodeTextCapacity] = {};
    char remoteNameText_[RemoteNameCapacity] = {};
};

}  // namespace orbisk
