#pragma once
// The published state: what the receiver thread hands the key engine for
// every burst (its codes and frame), and ClassifyBurst, which takes a burst
// for a key frame, a repeat or noise and publishes its codes.
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "receiver/analysis/burst_codes.h"

namespace orbisk {

// What the receiver thread hands to the engine.  Written in this order for every
// burst: the codes (LastCode, LastShapeCode, LastOlderCode, LastFrame, see
// PublishCodes),
// SignalPresent, UpdatePending (release stores), then the wake-up; the
// engine reads UpdatePending first (acquire).
struct PublishedState {
    // The key code: a recognised frame's stable code, otherwise the burst's own.
    std::atomic<std::uint64_t> LastCode{0};
    // The burst's shape code, its frame's older code (0: none other), and the
    // frame recognised in it (PackFrame).
    std::atomic<std::uint32_t> LastShapeCode{0};
    std::atomic<std::uint32_t> LastOlderCode{0};
    std::atomic<std::uint64_t> LastFrame{0};
    // Odd while the four above are being written, so that a reader can
    // tell a consistent set from one torn by the next burst.
    std::atomic<std::uint32_t> CodeSequence{0};
    std::atomic<bool> SignalPresent{false};
    std::atomic<bool> UpdatePending{false};
};

std::uint64_t PackFrame(const IrFrame& frame);
IrFrame UnpackFrame(std::uint64_t packed);

// The receiver thread's side (one writer) and the engine's: a reader never gets the
// code of one burst with the frame of another.
void PublishCodes(PublishedState& state, const BurstCodes& codes);
BurstCodes ReadPublishedCodes(const PublishedState& state);

// Whatever wakes the engine after a publication (the code event).
class WakeUp {
public:
    virtual ~WakeUp() = default;
    virtual void Set() = 0;
};

// What a burst was taken for: a fresh key signal, a repeat, or too short.
enum class BurstKind { Key, Repeat, Short };

// Sorts a burst by its length against repeatLength and publishes the result:
// longer is a fresh code, equal repeats the previous code, shorter is 0.
// With recognize, a protocol's repeat frame repeats too, whatever its length.
BurstKind ClassifyBurst(const std::uint8_t* burst, int length, int repeatLength, int skipBegin,
                   PublishedState& state, WakeUp& wake, bool recognize = false,
                   StableCodeMemo* memo = nullptr);

}  // namespace orbisk
