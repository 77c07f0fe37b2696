#include "receiver/published_state.h"

#include <thread>

#include "receiver/analysis/ir_recognizer.h"

namespace orbisk {

std::uint64_t PackFrame(const IrFrame& frame) {
    return std::uint64_t{frame.scancode} | std::uint64_t{static_cast<std::uint8_t>(frame.protocol)} << 32 |
           std::uint64_t{frame.toggle ? 1u : 0u} << 40 | std::uint64_t{frame.bits} << 48;
}

IrFrame UnpackFrame(std::uint64_t packed) {
    IrFrame frame;
    frame.scancode = static_cast<std::uint32_t>(packed);
    const auto protocol = static_cast<std::uint8_t>(packed >> 32);
    frame.protocol = protocol < IrProtocolCount ? static_cast<IrProtocol>(protocol) : IrProtocol::None;
    frame.toggle = (packed >> 40 & 1) != 0;
    frame.bits = static_cast<std::uint8_t>(packed >> 48);
    return frame;
}

void PublishCodes(PublishedState& state, const BurstCodes& codes) {
    // A sequence lock with one writer: odd while writing.  The release
    // stores keep the odd mark before the codes and the codes before the
    // even mark.
    const std::uint32_t sequence = state.CodeSequence.load(std::memory_order_relaxed);
    state.CodeSequence.store(sequence + 1, std::memory_order_relaxed);
    state.LastCode.store(codes.code, std::memory_order_release);
    state.LastShapeCode.store(codes.shapeCode, std::memory_order_release);
    state.LastOlderCode.store(codes.olderCode, std::memory_order_release);
    state.LastFrame.store(PackFrame(codes.frame), std::memory_order_release);
    state.CodeSequence.store(sequence + 2, std::memory_order_release);
}

BurstCodes ReadPublishedCodes(const PublishedState& state) {
    for (;;) {
        const std::uint32_t before = state.CodeSequence.load(std::memory_order_acquire);
        BurstCodes codes;
        codes.code = state.LastCode.load(std::memory_order_acquire);
        codes.shapeCode = state.LastShapeCode.load(std::memory_order_acquire);
        codes.olderCode = state.LastOlderCode.load(std::memory_order_acquire);
        codes.frame = UnpackFrame(state.LastFrame.load(std::memory_order_acquire));
        // The acquire loads keep this one after them: a write begun since
        // shows as a changed sequence.
        if ((before & 1) == 0 && state.CodeSequence.load(std::memory_order_relaxed) == before) return codes;
        std::this_thread::yield();
    }
}

BurstKind ClassifyBurst(const std::uint8_t* burst, int length, int repeatLength, int skipBegin,
                   PublishedState& state, WakeUp& wake, bool recognize, StableCodeMemo* memo) {
    // With recognition, a protocol's repeat frame repeats whatever its length.
    BurstKind kind = length > repeatLength ? BurstKind::Key : BurstKind::Short;
    if (length == repeatLength || (recognize && RecognizeRepeatFrame(burst, length))) kind = BurstKind::Repeat;
    if (kind == BurstKind::Repeat) {
        // A repeat leaves the codes as they are, but without recognition
        // (Setup may have just turned it off) a frame recognised before is
        // not published again: the burst's own code is, as the key's code.
        if (!recognize) {
            const BurstCodes last = ReadPublishedCodes(state);
            if (last.frame.protocol != IrProtocol::None)
                PublishCodes(state, BurstCodes{last.shapeCode, last.shapeCode, 0, IrFrame{}});
        }
    } else if (kind == BurstKind::Key) {
        PublishCodes(state, DecodeBurstCodes(burst, length, skipBegin, recognize, memo));
    } else {
        PublishCodes(state, BurstCodes{});
    }
    // A repeat signal still counts as signal.
    state.SignalPresent.store(true, std::memory_order_release);
    state.UpdatePending.store(true, std::memory_order_release);
    wake.Set();
    return kind;
}

}  // namespace orbisk
