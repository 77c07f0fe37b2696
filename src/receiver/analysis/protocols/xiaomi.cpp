// Xiaomi's boxes and televisions: marks of 600 us and spaces 300 us a step,
// in ticks of half a step: a header of a 7-tick mark and a 4-tick space,
// then ten symbols of two bits, most significant first, each a 4-tick mark
// and a space of 4, 6, 8 or 10 ticks; a stop mark.  The bits: an 8-bit
// device, an 8-bit command and a check nibble, the exclusive or of the four
// nibbles before it.  Orbisk's own scancode: the 20 bits.
#include "receiver/analysis/protocols/protocol_kit.h"

namespace orbisk {
namespace {

constexpr int kHeaderMark = 7, kHeaderSpace = 4, kMark = 4, kLeastSpace = 4, kStep = 2;
constexpr int kSymbols = 10;
// Read from whole periods (protocol_kit.h); one may lie half a step off.
constexpr PeriodCode kPeriods{kHeaderMark + kHeaderSpace, kMark + kLeastSpace, kStep, 0.5};
// Only a symbol a quarter of a step off or more is in doubt.
constexpr double kInDoubt = 0.25;

bool Checks(std::uint32_t bits);

// The check nibble is part of the scancode: a scancode whose nibble does not
// check is no frame a remote sends, and no reader would take it.
bool Encode(const IrFrame& f, IrForm form, TickWriter& w) {
    if (form != IrForm::Frame || !Checks(f.scancode)) return false;
    w.Pair(kHeaderMark, kHeaderSpace);
    for (int i = 2 * kSymbols - 2; i >= 0; i -= 2)
        w.Pair(kMark, kLeastSpace + kStep * static_cast<int>(f.scancode >> i & 3));
    w.Add(true, kMark);
    return true;
}

bool Checks(std::uint32_t bits) { return ((bits >> 16 ^ bits >> 12 ^ bits >> 8 ^ bits >> 4 ^ bits) & 0xF) == 0; }

// Its periods reach 14 ticks, so 5 % jitter alone moves one by a third of a
// step, and rounding by more: a reading the check refuses is read again
// with one of its two least certain symbols moved to the neighbour it lies
// towards, where a misread symbol lies.  A wrong key is worse than none:
// the mend is taken only where exactly one of the two passes, and two
// symbols are never moved, as a 4-bit check passes one two-symbol misread
// in sixteen.
bool Read(const BurstView& b, Candidate& c) {
    std::uint32_t bits = 0;
    Doubt doubts[2];
    if (b.s.n != 2 * kSymbols + 3 || !ReadPeriods(b.s, kPeriods, kSymbols, bits, doubts)) return false;
    if (!Checks(bits)) {
        const auto moved = [&](const Doubt& d) {
            return d.off < kInDoubt ? bits : (bits & ~(3u << d.shift)) | d.other << d.shift;
        };
        const std::uint32_t first = moved(doubts[0]), second = moved(doubts[1]);
        if (Checks(first) == Checks(second)) return false;
        bits = Checks(first) ? first : second;
    }
    c.frame = {IrProtocol::Xiaomi, bits, false};
    c.stepTicks = kPeriods.stepTicks;
    return true;
}

}  // namespace

extern const IrProtocolFamily kXiaomiFamily{Encode, Read};

}  // namespace orbisk
