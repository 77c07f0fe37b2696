// Samsung36: a header of 9 units of mark and 9 of space (units of 500 us
// here: the fit takes the published 560 us in), 16 bits (device and
// subdevice), a separator mark and a 9-unit space, then 4 bits, the command
// and its inverse, least significant first as NEC's; a stop mark.  Orbisk's
// own scancode: subdevice << 24 | device << 16 | the 4 bits << 8 | command.
#include "receiver/analysis/protocols/protocol_kit.h"

namespace orbisk {
namespace {

constexpr int kHeaderMark = 9, kHeaderSpace = 9, kSeparatorSpace = 9;
constexpr int kBitMark = 1, kZeroSpace = 1, kOneSpace = 3;
constexpr double kLongerThan = 2.0;

bool Encode(const IrFrame& f, IrForm form, TickWriter& w) {
    if (form != IrForm::Frame) return false;
    const std::uint32_t s = f.scancode;
    w.Pair(kHeaderMark, kHeaderSpace);
    PulseDistance(w, s >> 16 & 0xFF, 8, kBitMark, kZeroSpace, kOneSpace);
    PulseDistance(w, s >> 24, 8, kBitMark, kZeroSpace, kOneSpace);
    w.Pair(kBitMark, kSeparatorSpace);
    PulseDistance(w, (s >> 8 & 0xF) | (s & 0xFF) << 4 | ((s & 0xFF) ^ 0xFF) << 12, 20, kBitMark, kZeroSpace,
                  kOneSpace);
    w.Add(true, kBitMark);
    return true;
}

bool Read(const BurstView& b, Candidate& c) {
    if (b.s.n != 77 || !Near(Ticks(b.s, b.scale, 0), kHeaderMark) || !Near(Ticks(b.s, b.scale, 1), kHeaderSpace))
        return false;
    const std::uint32_t tail = LongBits(b.s, b.scale, 37, 12, kLongerThan);
    c.frame = {IrProtocol::Samsung36,
               LongBits(b.s, b.scale, 3, 16, kLongerThan) << 16 | (tail & 0xF) << 8 | tail >> 4, false};
    return true;
}

}  // namespace

extern const IrProtocolFamily kSamsung36Family{Encode, Read};

}  // namespace orbisk
