// GI Cable: marks of half a 490 us unit, in ticks of 245 us: a header of 36
// ticks of mark and 18 of space, 16 bits least significant first, each a
// 2-tick mark and a space of 9 (0) or 18 (1) ticks, a stop mark.  The bits:
// the 12-bit scancode and a check nibble that makes the nibbles sum to 0.
#include "receiver/analysis/protocols/protocol_kit.h"

namespace orbisk {
namespace {

constexpr int kHeaderMark = 36, kHeaderSpace = 18;
constexpr int kBitMark = 2, kZeroSpace = 9, kOneSpace = 18;
constexpr double kLongerThan = 13.5;

bool Encode(const IrFrame& f, IrForm form, TickWriter& w) {
    if (form != IrForm::Frame) return false;
    const std::uint32_t s = f.scancode;
    const std::uint32_t sum = (s & 0xF) + (s >> 4 & 0xF) + (s >> 8 & 0xF);
    w.Pair(kHeaderMark, kHeaderSpace);
    PulseDistance(w, s | ((16 - sum % 16) & 0xF) << 12, 16, kBitMark, kZeroSpace, kOneSpace);
    w.Add(true, kBitMark);
    return true;
}

// Its own scale; the check nibble is left to the encoding.
bool Read(const BurstView& b, Candidate& c) {
    const Scale scale = ScaleFor(b.s, kBitMark, kZeroSpace);
    if (b.s.n != 35 || !(scale.unit > 0) || !Near(Ticks(b.s, scale, 0), kHeaderMark) ||
        !Near(Ticks(b.s, scale, 1), kHeaderSpace))
        return false;
    c.frame = {IrProtocol::GiCable, LongBits(b.s, scale, 3, 12, kLongerThan), false};
    return true;
}

}  // namespace

extern const IrProtocolFamily kGiCableFamily{Encode, Read};

}  // namespace orbisk
