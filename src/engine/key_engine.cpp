#include "engine/key_engine.h"

#include <cstring>
#include <string_view>

#include "common/text.h"
#include "engine/key_table.h"
#include "settings/settings.h"

namespace orbisk {

namespace {

// All bits set: no publication can carry it (the high half of LastCode is
// always 0), so the first pickup always counts as a change.
constexpr std::uint64_t NoCode = ~std::uint64_t{0};

// KeyName receives at most 123 characters and zeroes the rest of those 123
// bytes.  Its 124th byte is left as Open wrote it (0), so the field stays
// terminated whatever was copied before.
void FillKeyName(char (&keyName)[sizeof OrbiskKeyEventRecord::KeyName], std::string_view name) {
    static_assert(sizeof keyName == KeyNameMaxChars + 1);
    if (name.size() >= KeyNameMaxChars)
        std::memcpy(keyName, name.data(), KeyNameMaxChars);
    else
        BoundedCopy(keyName, name, KeyNameMaxChars - 1);
}

}  // namespace

// Scancode in bits 0-31, protocol 32-37, toggle 38, a level reading's bit
// count 39-45 and the code's low 18 bits 46-63.
static_assert(IrProtocolCount <= 64);
std::uint64_t PackShownFrame(const IrFrame& frame, std::uint64_t code) {
    return std::uint64_t{frame.scancode} | std::uint64_t{static_cast<std::uint8_t>(frame.protocol) & 0x3Fu} << 32 |
           std::uint64_t{frame.toggle ? 1u : 0u} << 38 | std::uint64_t{frame.bits & 0x7Fu} << 39 |
           (code & 0x3FFFF) << 46;
}

IrFrame ShownFrameFor(std::uint64_t packed, std::uint64_t code) {
    if ((packed >> 46) != (code & 0x3FFFF)) return {};
    IrFrame frame;
    const auto protocol = static_cast<int>(packed >> 32 & 0x3F);
    if (protocol >= IrProtocolCount) return frame;
    frame.protocol = static_cast<IrProtocol>(protocol);
    frame.scancode = static_cast<std::uint32_t>(packed);
    frame.toggle = (packed >> 38 & 1) != 0;
    frame.bits = static_cast<std::uint8_t>(packed >> 39 & 0x7F);
    return frame;
}

std::uint64_t PackShownCode(KeyCode other, std::uint64_t code) {
    return std::uint64_t{other} << 32 | (code & 0xFFFFFFFFu);
}

KeyCode ShownCodeFor(std::uint64_t packed, std::uint64_t code) {
    return (packed & 0xFFFFFFFFu) == (code & 0xFFFFFFFFu) ? static_cast<KeyCode>(packed >> 32) : 0;
}

KeyEngine::KeyEngine(PublishedState& published, CodeEvent& codeEvent, TickClock& clock,
                     const Settings& settings, const KeyTable& keys, OrbiskKeyEventRecord& record,
                     EngineControl& control, KeyEngineOutput& output)
    : published_(published),
      codeEvent_(codeEvent),
      clock_(clock),
      settings_(settings),
      keys_(keys),
      record_(record),
      control_(control),
      output_(output) {}

void KeyEngine::Begin() {
    StampEngineFields(record_, codeText_, remoteNameText_);
    remoteNameText_[RemoteNameCapacity - 1] = '\0';

    currentCode_ = NoCode;
    currentShapeCode_ = 0;
    currentOlderCode_ = 0;
    currentFrame_ = IrFrame{};
    reportedFrame_ = IrFrame{};
    currentPressed_ = false;
    reportedCode_ = NoCode;
    reportedPressed_ = false;
    releaseDue_ = false;
    hostHeld_ = false;
    heldUnknown_ = false;
    lookedUpShapeCode_ = 0;
    lookedUpOlderCode_ = 0;
    abandoned_ = false;
    repeatCount_ = 0;
    lastArrival_ = 0;
    lastReport_ = 0;
    nextInterval_ = settings_.Wait1.load(std::memory_order_relaxed);
    // Fixed for the life of this thread: a change of WaitN or WaitR in the
    // dialog only shortens the held wake-up period after the next start.
    const std::uint32_t waitN = settings_.WaitN.load(std::memory_order_relaxed);
    const std::uint32_t waitR = settings_.WaitR.load(std::memory_order_relaxed);
    heldWait_ = waitN >= waitR ? waitR : waitN;
}

void KeyEngine::Run() {
    Begin();
    while (control_.EngineStopRequested.load(std::memory_order_acquire) == 0) RunPass();
}

void KeyEngine::RunPass() {
    // The dialog has opened while the host holds a key: it is released at
    // once, before the dialog shows, not at the next report.
    if (hostHeld_ && control_.SetupActive.load(std::memory_order_seq_cst)) {
        KeyReport(ORBISK_KEY_RELEASE);
        if (abandoned_) return;
    }
    // A release decided at the last time-out goes out first, as a change of
    // its own; a burst published since is picked up below and presses anew.
    if (releaseDue_) {
        releaseDue_ = false;
        currentPressed_ = false;
        ProcessChange();
        if (abandoned_) return;
    }

    // Pickup.  The flag is cleared in the same atomic step that finds it set,
    // before the slot is read: a burst published while we read sets it again
    // and is taken by the next pass.  Clearing it after the reads would drop
    // such a burst for good when it is the last one of a key.  The acquire
    // pairs with the decoder's release of the flag, so the slot and
    // SignalPresent read below are at least as new as the publication found.
    if (published_.UpdatePending.exchange(false, std::memory_order_acquire)) {
        const BurstCodes codes = ReadPublishedCodes(published_);
        currentCode_ = codes.code;
        currentShapeCode_ = codes.shapeCode;
        currentOlderCode_ = codes.olderCode;
        currentFrame_ = codes.frame;
        currentPressed_ = published_.SignalPresent.load(std::memory_order_relaxed);
        lastArrival_ = clock_.Now();
    }

    if (currentCode_ != reportedCode_ || currentPressed_ != reportedPressed_ || TogglePressedAgain() ||
        OlderCodesNameTheHeldKey())
        ProcessChange();
    else if (reportedPressed_)
        RepeatCheck();
    if (abandoned_) return;

    Wait();
}

bool KeyEngine::TogglePressedAgain() const {
    return reportedPressed_ && currentPressed_ && currentFrame_.protocol != IrProtocol::None &&
           ProtocolInfo(currentFrame_.protocol).hasToggle && currentFrame_.protocol == reportedFrame_.protocol &&
           currentFrame_.scancode == reportedFrame_.scancode && currentFrame_.toggle != reportedFrame_.toggle;
}

void KeyEngine::ProcessChange() {
    if (reportedPressed_ && (!currentPressed_ || TogglePressedAgain())) {
        KeyReport(ORBISK_KEY_RELEASE);
        reportedPressed_ = false;
    }
    if (currentPressed_ && !abandoned_) KeyUpdate();
    if (abandoned_) return;

    if (control_.SetupActive.load(std::memory_order_acquire)) {
        // Without a dialog the post finds no window and the notice is dropped.
        if (currentPressed_)
            control_.ShownFrame.store(PackShownFrame(currentFrame_, currentCode_), std::memory_order_release);
        if (currentPressed_)
            output_.PostNotice(ORBISK_KEY_DOWN_NOTICE, static_cast<std::uint32_t>(currentCode_ >> 32),
                               static_cast<std::uint32_t>(currentCode_));
        else
            output_.PostNotice(ORBISK_KEY_UP_NOTICE, 0, 0);
    }

    reportedCode_ = currentCode_;
    reportedPressed_ = currentPressed_;
    reportedFrame_ = currentFrame_;
}

void KeyEngine::KeyUpdate() {
    // The new code text is in place before any release of the previous key,
    // so a host sees the code that caused the release.
    const std::size_t codeLength = FormatCodeText(currentCode_, codeText_);
    if (!reportedPressed_) repeatCount_ = 0;

    if (control_.SetupActive.load(std::memory_order_acquire)) {
        // For the dialog, with the notice that follows.
        control_.ShownOlderCode.store(PackShownCode(currentOlderCode_, currentCode_), std::memory_order_release);
        control_.ShownShapeCode.store(PackShownCode(currentShapeCode_, currentCode_), std::memory_order_release);
    }

    const std::optional<KeyTable::Match> match = LookupCurrentKey(std::string_view(codeText_, codeLength));
    if (!match) {
        if (reportedPressed_) {
            KeyReport(ORBISK_KEY_RELEASE);
            if (abandoned_) return;
            repeatCount_ = 0;
        }
        // Only the text and its terminator: older bytes behind it stay.
        std::memcpy(record_.KeyName, codeText_, codeLength + 1);
        std::memcpy(remoteNameText_, UndefinedRemoteName, sizeof UndefinedRemoteName);
    } else {
        // A toggling remote sends another code for the same key: that is
        // still the same key, and only a different name or remote releases.
        // The names are compared as the record holds them, cut to their
        // fields, or a long name would never equal itself.
        if (reportedPressed_ &&
            (match->keyName.substr(0, KeyNameMaxChars) != FieldText(record_.KeyName, sizeof record_.KeyName) ||
             match->remoteName.substr(0, RemoteNameMaxChars) !=
                 FieldText(remoteNameText_, RemoteNameCapacity))) {
            KeyReport(ORBISK_KEY_RELEASE);
            if (abandoned_) return;
            repeatCount_ = 0;
        }
        FillKeyName(record_.KeyName, match->keyName);
        BoundedCopy(remoteNameText_, match->remoteName, RemoteNameMaxChars);
    }

    if (repeatCount_ == 0) {
        lastReport_ = clock_.Now();
        nextInterval_ = settings_.Wait1.load(std::memory_order_relaxed);
        KeyReport(ORBISK_KEY_PRESS);
    } else {
        RepeatCheck();
    }
}

std::optional<KeyTable::Match> KeyEngine::LookupCurrentKey(std::string_view codeText) {
    std::optional<KeyTable::Match> match = keys_.LookupKey(codeText);
    if (!match) match = LookupOlderCodes();
    heldUnknown_ = !match;
    return match;
}

std::optional<KeyTable::Match> KeyEngine::LookupOlderCodes() {
    // A key learned before this version, or from this very burst shape (with
    // Recognize=0 or before frames were recognised), is still found by the
    // code it was learned under.
    lookedUpOlderCode_ = currentOlderCode_;
    lookedUpShapeCode_ = currentShapeCode_;
    for (const KeyCode older : {currentOlderCode_, currentShapeCode_}) {
        if (older == 0 || older == currentCode_) continue;
        char olderText[CodeTextCapacity];
        const std::size_t olderLength = FormatCodeText(older, olderText);
        if (std::optional<KeyTable::Match> match = keys_.LookupKey(std::string_view(olderText, olderLength)))
            return match;
    }
    return std::nullopt;
}

bool KeyEngine::OlderCodesNameTheHeldKey() {
    // A key learned from a noisy press holds that burst's own code, which
    // only some frames give again.  The stable code stays the same through
    // the hold, so every new frame of a key not found yet is looked up by
    // its older codes too; once one names a key, the hold is that key.
    if (!reportedPressed_ || !currentPressed_ || !heldUnknown_) return false;
    if (currentShapeCode_ == lookedUpShapeCode_ && currentOlderCode_ == lookedUpOlderCode_) return false;
    return LookupOlderCodes().has_value();
}

void KeyEngine::RepeatCheck() {
    if (!DeadlineReached(clock_.Now(), lastReport_, nextInterval_)) return;
    ++repeatCount_;
    nextInterval_ = settings_.WaitN.load(std::memory_order_relaxed);
    // The next deadline counts from when this repeat goes out, not from the
    // deadline just met.
    lastReport_ = clock_.Now();
    KeyReport(static_cast<std::intptr_t>(repeatCount_));
}

void KeyEngine::Wait() {
    if (published_.UpdatePending.load(std::memory_order_acquire)) return;
    codeEvent_.Reset();
    // A burst published between the test above and the reset had its wake-up
    // cleared by the reset; so had a Stop, which sets the flag and then the
    // event.  Either would otherwise sleep until the next burst, and a Stop
    // of an idle engine for ever.  The reset orders against the Set that
    // followed each store, so these loads see them.
    if (published_.UpdatePending.load(std::memory_order_acquire) ||
        control_.EngineStopRequested.load(std::memory_order_acquire) != 0 ||
        (hostHeld_ && control_.SetupActive.load(std::memory_order_seq_cst)))
        return;

    if (!reportedPressed_) {
        codeEvent_.Wait(std::nullopt);
        return;
    }
    // The release is the engine's own business: written into the published
    // state, it could overwrite a burst published at the same moment, whose
    // press would then be lost.  A burst already waiting at the time-out
    // keeps the key; one that comes after this test follows the release.
    if (codeEvent_.Wait(heldWait_) == CodeEvent::WaitResult::TimedOut &&
        DeadlineReached(clock_.Now(), lastArrival_, settings_.WaitR.load(std::memory_order_relaxed)) &&
        !published_.UpdatePending.load(std::memory_order_acquire))
        releaseDue_ = true;
}

void KeyEngine::KeyReport(std::intptr_t value) {
    // The mark comes first, and the flags are read after it: a Stop or Setup
    // that does not see the mark finds its request seen here.
    control_.InSend.store(true, std::memory_order_seq_cst);
    // Once Stop has begun no key message is started: Stop waits for this
    // thread, and a host that handles the message on the thread calling Stop
    // could never return.
    bool send = control_.EngineStopRequested.load(std::memory_order_seq_cst) == 0;
    if (send && control_.SetupActive.load(std::memory_order_seq_cst)) {
        // The dialog takes the keys from here on; a key the host holds is
        // released first, or it would stay down at the host for good.
        send = hostHeld_;
        value = ORBISK_KEY_RELEASE;
    }
    if (send) {
        hostHeld_ = value != ORBISK_KEY_RELEASE;
        control_.HostHeld.store(hostHeld_, std::memory_order_seq_cst);
        output_.SendKey(value);
    }
    control_.InSend.store(false, std::memory_order_seq_cst);
    // The host may have stopped or closed the plug-in while it handled the
    // message: the key table may be gone and another engine may run, so this
    // one touches nothing more.  Read after the mark is cleared: a Stop that
    // saw the mark and retired this engine is seen here.
    if (control_.EngineStopRequested.load(std::memory_order_seq_cst) != 0) abandoned_ = true;
}

}  // namespace orbisk
