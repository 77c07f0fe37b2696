#pragma once
// Every code one fresh burst gives: the key code the engine looks up first,
// the codes earlier versions gave the same press (so that keys learned then
// keep working), and the frame recognised in it.
#include <cstdint>

#include "receiver/analysis/ir_frame.h"
#include "receiver/analysis/shape_code.h"

namespace orbisk {

struct BurstCodes {
    // The key code: a recognised frame's stable code, otherwise the burst's own.
    std::uint64_t code = 0;
    // The burst's own shape code (with SkipBegin).
    KeyCode ownCode = 0;
    // What 2.1.0 gave this press when it differs from both codes above (the
    // ideal frame's shape code with SkipBegin), otherwise 0.
    KeyCode legacyCode = 0;
    IrFrame frame;  // protocol None: not recognised

    bool operator==(const BurstCodes&) const = default;
};

// The key code of the frame's ideal form with its toggle cleared, exactly as
// DecodeBurst computes it for a burst (same SkipBegin): every press of the
// key, however its durations wander, gets this one code.
std::uint32_t StableCode(const IrFrame& frame, int skipBegin);

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

}  // namespace orbisk
