// JVC: 527 us units, a header of 16 units of mark and 8 of space on a key's
// first frame only, 8 address and 8 command bits least significant first as
// NEC's, a stop mark.  A held key repeats the frame without its header.
#include "receiver/analysis/protocols/protocol_kit.h"

namespace orbisk {
namespace {

constexpr int kHeaderMark = 16, kHeaderSpace = 8;
constexpr int kBitMark = 1, kZeroSpace = 1, kOneSpace = 3;
constexpr double kLongerThan = 2.0;

bool Encode(const IrFrame& f, IrForm form, TickWriter& w) {
    if (form == IrForm::Rc6Trailer) return false;
    const std::uint32_t s = f.scancode;
    if (form == IrForm::Frame) w.Pair(kHeaderMark, kHeaderSpace);
    PulseDistance(w, (s >> 8) | (s & 0xFF) << 8, 16, kBitMark, kZeroSpace, kOneSpace);
    w.Add(true, kBitMark);
    return true;
}

bool Read(const BurstView& b, Candidate& c) {
    const bool header = b.s.n == 35 && Near(Ticks(b.s, b.scale, 0), kHeaderMark) &&
                        Near(Ticks(b.s, b.scale, 1), kHeaderSpace);
    if (!header && b.s.n != 33) return false;
    const std::uint32_t bits = LongBits(b.s, b.scale, header ? 3 : 1, 16, kLongerThan);
    c.frame = {IrProtocol::Jvc, (bits & 0xFF) << 8 | bits >> 8, false};
    c.form = header ? IrForm::Frame : IrForm::FollowUp;
    return true;
}

}  // namespace

extern const IrProtocolFamily kJvcFamily{Encode, Read};

}  // namespace orbisk
