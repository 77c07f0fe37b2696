// Sony SIRC: 600 us units, a header of 4 units of mark and one of space,
// then 12, 15 or 20 bits least significant first as pulse widths (a mark of
// 2 units for 1, one for 0, each followed by a unit of space): the command
// (7 bits), the device (5 or 8 bits), and SIRC-20's extended byte.  The
// kernel's scancode: device << 16 | extended << 8 | command.  A held key
// sends at least three frames.
#include "receiver/analysis/protocols/protocol_kit.h"

namespace orbisk {
namespace {

constexpr int kHeaderMark = 4, kSpace = 1, kZeroMark = 1, kOneMark = 2;
constexpr double kLongerThan = 1.5;

bool Encode(const IrFrame& f, IrForm form, TickWriter& w) {
    if (form != IrForm::Frame) return false;
    const std::uint32_t s = f.scancode;
    std::uint32_t bits = (s & 0x7F) | (s >> 16) << 7;
    int count = f.protocol == IrProtocol::Sony15 ? 15 : 12;
    if (f.protocol == IrProtocol::Sony20) {
        bits |= (s >> 8 & 0xFF) << 12;
        count = 20;
    }
    w.Pair(kHeaderMark, kSpace);
    for (int i = 0; i < count; ++i) w.Pair((bits >> i) & 1 ? kOneMark : kZeroMark, kSpace);
    return true;
}

bool Read(const BurstView& b, Candidate& c) {
    const int bitCount = (b.s.n - 1) / 2;
    if ((bitCount != 12 && bitCount != 15 && bitCount != 20) || !Near(Ticks(b.s, b.scale, 0), kHeaderMark))
        return false;
    const std::uint32_t bits = LongBits(b.s, b.scale, 2, bitCount, kLongerThan);
    const std::uint32_t command = bits & 0x7F;
    switch (bitCount) {
    case 12:
        c.frame = {IrProtocol::Sony12, (bits >> 7 & 0x1F) << 16 | command, false};
        break;
    case 15:
        c.frame = {IrProtocol::Sony15, (bits >> 7 & 0xFF) << 16 | command, false};
        break;
    default:
        c.frame = {IrProtocol::Sony20, (bits >> 7 & 0x1F) << 16 | (bits >> 12 & 0xFF) << 8 | command, false};
        break;
    }
    return true;
}

}  // namespace

extern const IrProtocolFamily kSonyFamily{Encode, Read};

}  // namespace orbisk
