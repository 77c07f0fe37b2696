#pragma once
// Every code one fresh burst gives: the key code the engine looks up first,
// the codes earlier versions gave the same press (its older code and its
// shape code, so that keys learned then keep working), and the frame
// recognised in it.
#include <cstdint>
#include <utility>

#include "receiver/analysis/protocol_table.h"
#include "receiver/analysis/shape_code.h"

namespace orbisk {

struct BurstCodes {
    // The key code: a recognised frame's stable code, a level reading's
    // code, otherwise the burst's own.
    std::uint64_t code = 0;
    // The burst's own shape code (with SkipBegin).
    KeyCode shapeCode = 0;
    // The older code, what versions before stable codes gave this press,
    // when it differs from both codes above (the
    // ideal frame's shape code with SkipBegin), otherwise 0.
    KeyCode olderCode = 0;
    IrFrame frame;  // protocol None: not recognised nor read as levels

    bool operator==(const BurstCodes&) const = default;
};

// The key code of a recognised frame: its protocol and scancode, toggle
// cleared, mixed into 32 bits, so that it covers every bit of both.  Every
// press of the key, however its durations wander, gets this one code.  0
// for a frame without an ideal form (CanEncodeIrFrame), never 0 otherwise.
KeyCode StableCode(const IrFrame& frame);

// The frame's older code, what versions before stable codes gave it: its
// ideal form with the toggle cleared (every
// duration a whole number of the protocol's ticks) hashed as a burst's
// shape is, with SkipBegin, which left the first durations (and the bits
// they carry) out.  Keys learned or imported then are stored under it.  0
// for the protocols without one (IrProtocolInfo::hasOlderCode).
KeyCode OlderCode(const IrFrame& frame, int skipBegin);

// The last frame's codes: a held key sends the same frame again and again,
// and its codes then cost nothing.  One per reader thread.
class StableCodeMemo {
public:
    // The frame's stable and older codes.  ideal: its ideal form where
    // recognition wrote it (see RecognizeBurst), saving its encoding.
    std::pair<KeyCode, KeyCode> Get(const IrFrame& frame, int skipBegin, const IrDurations* ideal = nullptr);

private:
    IrFrame frame_;
    int skipBegin_ = -1;
    KeyCode code_ = 0;
    KeyCode older_ = 0;
};

// The codes of a fresh key signal.  With recognize, a burst recognised as a
// frame of a known protocol gets that frame's stable code as its code and
// its older code where that differs; a burst of no known protocol whose
// levels can be read (level_reading.h) gets the code of its levels and the
// reading as its frame; otherwise, and always without recognize, its own.
BurstCodes DecodeBurstCodes(const std::uint8_t* burst, int length, int skipBegin, bool recognize,
                            StableCodeMemo* memo = nullptr);

}  // namespace orbisk
