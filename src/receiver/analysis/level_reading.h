#pragma once
// A burst of no known protocol read as the levels its remote meant: its
// marks and its spaces each grouped into the few lengths they were sent
// with (whole numbers of one unit where the burst is built from one, and
// by ratio (duration_groups.h) otherwise), and every duration replaced by
// its length's rank.  The code is made from that sequence of ranks alone, so jitter and
// bias that keep every duration within its length give one code at every
// press, while frames that differ in any level get different codes.  Fixed
// buffers, no allocation.
#include <cstdint>

#include "receiver/analysis/protocol_table.h"
#include "receiver/analysis/shape_code.h"

namespace orbisk {

struct LevelReading {
    // PulseDistance (one mark length, two space lengths carry the bits),
    // PulseWidth (the other way round), BiPhase (halves of one length and of
    // two), or Levels; scancode and bits as IrFrame has them, Levels: the
    // durations in scancode bits 0-7, the mark lengths in 8-11, the space
    // lengths in 12-15.
    IrFrame frame;
    KeyCode code = 0;
};

// length 0 to MaxBurstLength; an even length leaves out the first byte, as
// the decoder does.  False, out untouched, where no grouping holds: fewer
// than nine durations or more than eight lengths of a kind.
bool ReadLevels(const std::uint8_t* burst, int length, LevelReading& out);

}  // namespace orbisk
