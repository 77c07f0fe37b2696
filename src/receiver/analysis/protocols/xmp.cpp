// One half of an XMP frame (the halves are 13.8 ms apart, more than a
// receiver's quiet time): marks of 210 us, nibbles as spaces of 760 us and
// 136 us a step, in ticks of 34 us.  Eight nibbles, the first first, each a
// 6-tick mark and a space of 22 ticks and 4 a step; a stop mark.  The second
// nibble makes them sum to 0 (mod 16).  Orbisk's own scancode: the other
// seven nibbles.
#include "receiver/analysis/protocols/protocol_kit.h"

#include <algorithm>

namespace orbisk {
namespace {

constexpr int kMark = 6, kLeastSpace = 22, kStep = 4, kNibbles = 8;
constexpr int kLeastPeriod = kMark + kLeastSpace;

bool Encode(const IrFrame& f, IrForm form, TickWriter& w) {
    if (form != IrForm::Frame) return false;
    const std::uint32_t s = f.scancode;
    std::uint32_t sum = 0;
    for (int i = 0; i < kNibbles - 1; ++i) sum += s >> (4 * i) & 0xF;
    const std::uint32_t nibbles = (s & 0xF000000u) << 4 | ((16 - sum % 16) & 0xF) << 24 | (s & 0xFFFFFF);
    for (int i = kNibbles - 1; i >= 0; --i) w.Pair(kMark, kLeastSpace + kStep * static_cast<int>(nibbles >> (4 * i) & 0xF));
    w.Add(true, kMark);
    return true;
}

// Without a header the unit comes from the periods (a mark and its space,
// 28 to 88 ticks, whatever the bias): the shortest is taken for nibble 0
// to 3 in turn and the unit taken again from all periods as read.  A step
// is 136 us, under three receiver units, so a period may lie half a step
// off; the nibbles must sum to 0 (mod 16).
bool Read(const BurstView& b, Candidate& c) {
    const Signal& s = b.s;
    if (s.n != 2 * kNibbles + 1) return false;
    int shortest = 512;
    for (int i = 0; i < kNibbles; ++i) shortest = std::min(shortest, s.d[2 * i] + s.d[2 * i + 1]);
    // As in ReadPeriods, a guess whose first pass reads the ticks of an
    // earlier one's reads the nibbles that one read.
    int firstTicks[4];
    for (int guess = 0; guess < 4; ++guess) {
        double unit = shortest / (static_cast<double>(kLeastPeriod) + kStep * guess);
        std::uint32_t nibbles = 0;
        bool again = false;
        for (int pass = 0; pass < 2 && !again; ++pass) {
            nibbles = 0;
            int ticks = 0, total = 0;
            for (int i = 0; i < kNibbles; ++i) {
                const int period = s.d[2 * i] + s.d[2 * i + 1];
                const double step = (period / unit - kLeastPeriod) / kStep;
                const int n = step < 0 ? 0 : step > 15 ? 15 : static_cast<int>(step + 0.5);
                nibbles = nibbles << 4 | static_cast<std::uint32_t>(n);
                ticks += kLeastPeriod + kStep * n;
                total += period;
            }
            if (pass == 0) {
                again = std::find(firstTicks, firstTicks + guess, ticks) != firstTicks + guess;
                firstTicks[guess] = ticks;
            }
            unit = static_cast<double>(total) / ticks;
        }
        if (again) continue;
        std::uint32_t sum = 0;
        for (int i = 0; i < kNibbles; ++i) sum += nibbles >> (4 * i) & 0xF;
        if (sum % 16 == 0) {
            c.frame = {IrProtocol::XmpHalf, (nibbles & 0xF0000000u) >> 4 | (nibbles & 0xFFFFFF), false};
            return true;
        }
    }
    return false;
}

}  // namespace

extern const IrProtocolFamily kXmpFamily{Encode, Read};

}  // namespace orbisk
