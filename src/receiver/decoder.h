#pragma once
// Turns one burst of duration bytes into a 32-bit key code and publishes it
// for the key engine.
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "receiver/ir_frame.h"

namespace orbisk {

using KeyCode = std::uint32_t;

inline constexpr int MaxBurstLength = 254;

// What the decoder hands to the engine.  Written in this order for every
// burst: the codes (LastCode, LastOwnCode, LastFrame, see PublishCodes),
// SignalPresent, UpdatePending (release stores), then the wake-up; the
// engine reads UpdatePending first (acquire).
struct PublishedState {
    // The key code: a recognised frame's stable code, otherwise the burst's own.
    std::atomic<std::uint64_t> LastCode{0};
    // The burst's own code, and the frame recognised in it (PackFrame).
    std::atomic<std::uint32_t> LastOwnCode{0};
    std::atomic<std::uint64_t> LastFrame{0};
    // Odd while the three above are being written, so that a reader can
    // tell a consistent set from one torn by the next burst.
    std::atomic<std::uint32_t> CodeSequence{0};
    std::atomic<bool> SignalPresent{false};
    std::atomic<bool> UpdatePending{false};
};

// What one burst publishes.
struct BurstCodes {
    std::uint64_t code = 0;
    KeyCode ownCode = 0;
    IrFrame frame;  // protocol None: not recognised

    bool operator==(const BurstCodes&) const = default;
};

std::uint64_t PackFrame(const IrFrame& frame);
IrFrame UnpackFrame(std::uint64_t packed);

// The decoder's side (one writer) and the engine's: a reader never gets the
// code of one burst with the frame of another.
void PublishCodes(PublishedState& state, const BurstCodes& codes);
BurstCodes ReadPublishedCodes(const PublishedState& state);

// Whatever wakes the engine after a publication (the code event).
class WakeUp {
public:
    virtual ~WakeUp() = default;
    virtual void Set() = 0;
};

KeyCode CodeHash(const std::uint8_t* bytes, std::size_t count);

// The code of a fresh key signal: the high 32 bits are 0.  length is 0 to
// MaxBurstLength; a negative skipBegin counts as 0.
std::uint64_t DecodeBurst(const std::uint8_t* burst, int length, int skipBegin);

// The last stable code computed: a held key sends the same frame again and
// again, and its code then costs nothing.  One per reader thread.
class StableCodeMemo {
public:
    std::uint32_t Get(const IrFrame& frame, int skipBegin);

private:
    IrFrame frame_;
    int skipBegin_ = -1;
    std::uint32_t code_ = 0;
};

// The codes of a fresh key signal.  With recognize, a burst recognised as a
// frame of a known protocol gets that frame's stable code (StableCode) as
// its code; otherwise, and always without recognize, its own.
BurstCodes DecodeBurstCodes(const std::uint8_t* burst, int length, int skipBegin, bool recognize,
                            StableCodeMemo* memo = nullptr);

// Sorts a burst by its length against repeatLength and publishes the result:
// longer is a fresh code, equal repeats the previous code, shorter is 0.
void ClassifyBurst(const std::uint8_t* burst, int length, int repeatLength, int skipBegin,
                   PublishedState& state, WakeUp& wake, bool recognize = false,
                   StableCodeMemo* memo = nullptr);

}  // namespace orbisk
