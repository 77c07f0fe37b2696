#pragma once
// Recognises one burst as a frame of a known infra-red protocol.
//
// The receiver's time unit is unknown and a receiver may lengthen every mark
// and shorten every space by a constant, so only ratios count: a frame is
// taken apart with a unit and bias estimated from its short marks and
// spaces, encoded again from what was read, and accepted only when its
// durations fit the encoded ones under one least-squares unit and bias,
// each within half a protocol unit (a fifth of the nominal length for
// durations of three units or more).  Works in fixed buffers.
#include <cstdint>

#include "receiver/analysis/shape_code.h"
#include "receiver/analysis/protocol_table.h"

namespace orbisk {

// length is 0 to MaxBurstLength; an even length leaves out the first byte,
// as the decoder does.  False leaves out untouched.  idealForm, when given,
// gets the recognised frame's ideal form with the toggle cleared where
// recognition wrote it anyway, and otherwise no durations.
bool RecognizeBurst(const std::uint8_t* burst, int length, IrFrame& out, IrDurations* idealForm = nullptr);

// Whether the burst is what a held key sends between its frames: NEC's
// repeat frame (16 units of mark, 4 of space, one of mark), Samsung's (8, 8,
// 1) or Dyson's (3, 1, 1, 2, 1), under one unit and bias.  Length as above.
bool RecognizeRepeatFrame(const std::uint8_t* burst, int length);

}  // namespace orbisk
