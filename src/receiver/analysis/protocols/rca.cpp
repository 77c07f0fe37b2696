// RCA: 500 us units, a header of 8 units of mark and 8 of space, 24 bits
// most significant first, each a 1-unit mark and a space of 2 (0) or 4 (1)
// units, a stop mark: 4 address and 8 command bits, then both inverted.
// Orbisk's own scancode: address << 8 | command.
#include "receiver/analysis/protocols/protocol_kit.h"

namespace orbisk {
namespace {

constexpr int kHeaderMark = 8, kHeaderSpace = 8;
constexpr int kBitMark = 1, kZeroSpace = 2, kOneSpace = 4;
constexpr double kLongerThan = 3.0;

bool Encode(const IrFrame& f, IrForm form, TickWriter& w) {
    if (form != IrForm::Frame) return false;
    const std::uint32_t s = f.scancode;
    w.Pair(kHeaderMark, kHeaderSpace);
    PulseDistanceMsb(w, s << 12 | (s ^ 0xFFF), 24, kBitMark, kZeroSpace, kOneSpace);
    w.Add(true, kBitMark);
    return true;
}

// Its own scale; the inverted bits are left to the encoding.
bool Read(const BurstView& b, Candidate& c) {
    const Scale scale = ScaleFor(b.s, kBitMark, kZeroSpace);
    if (b.s.n != 51 || !(scale.unit > 0) || !Near(Ticks(b.s, scale, 0), kHeaderMark) ||
        !Near(Ticks(b.s, scale, 1), kHeaderSpace))
        return false;
    c.frame = {IrProtocol::Rca, LongBitsMsb(b.s, scale, 3, 12, kLongerThan), false};
    return true;
}

}  // namespace

extern const IrProtocolFamily kRcaFamily{Encode, Read};

}  // namespace orbisk
