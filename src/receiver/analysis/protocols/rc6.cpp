// RC-6: 444 us units, a tick each; a header of 6 units of mark and 2 of
// space, then bi-phase bits most significant first, 1 a mark then a space:
// a start bit (1), three mode bits, a trailer bit of double length, and
// the data.  Mode 0: 16 bits (address << 8 | command), the trailer bit the
// toggle.  Mode 6A: 20, 24 or 32 bits; a 32-bit frame with the customer code
// 0x800F is the MCE form, whose toggle is data bit 15.  Scancodes as the
// kernel's (the MCE toggle cleared).
#include "receiver/analysis/protocols/protocol_kit.h"

#include <cmath>

namespace orbisk {
namespace {

constexpr int kHeaderMark = 6, kHeaderSpace = 2, kHalf = 1, kTrailerHalf = 2;
// The header's space is read within 0.6 of a tick.
constexpr double kHeaderSpaceOff = 0.6;
constexpr std::uint32_t kMode0 = 0, kMode6 = 6;
constexpr std::uint32_t kMceCustomer = 0x800F0000u;
constexpr std::uint32_t kMceToggle = 0x8000u;

bool Mode6(IrProtocol p) {
    return p == IrProtocol::Rc6_6a20 || p == IrProtocol::Rc6_6a24 || p == IrProtocol::Rc6_6a32 ||
           p == IrProtocol::Rc6Mce;
}

void Frame(TickWriter& w, std::uint32_t mode, bool trailer, std::uint32_t data, int dataBits) {
    w.Pair(kHeaderMark, kHeaderSpace);
    BiPhase(w, 1u << 3 | mode, 4, kHalf, true);  // start bit and mode
    BiPhase(w, trailer ? 1u : 0u, 1, kTrailerHalf, true);
    BiPhase(w, data, dataBits, kHalf, true);
}

// Mode 6A frames may carry the trailer bit set (IrForm::Rc6Trailer).
bool Encode(const IrFrame& f, IrForm form, TickWriter& w) {
    if (form == IrForm::FollowUp || (form == IrForm::Rc6Trailer && !Mode6(f.protocol))) return false;
    const bool trailer = form == IrForm::Rc6Trailer;
    const std::uint32_t s = f.scancode;
    switch (f.protocol) {
    case IrProtocol::Rc6_0: Frame(w, kMode0, f.toggle, s, 16); break;
    case IrProtocol::Rc6_6a20: Frame(w, kMode6, trailer, s, 20); break;
    case IrProtocol::Rc6_6a24: Frame(w, kMode6, trailer, s, 24); break;
    case IrProtocol::Rc6_6a32: Frame(w, kMode6, trailer, s, 32); break;
    default: Frame(w, kMode6, trailer, s | (f.toggle ? kMceToggle : 0u), 32); break;  // MCE
    }
    return true;
}

// An RC-6 6A-32 frame with the MCE customer code is the MCE form.
bool Carries(const IrFrame& f) {
    const bool mce = (f.scancode & 0xFFFF0000u) == kMceCustomer;
    return f.protocol == IrProtocol::Rc6Mce ? mce : f.protocol == IrProtocol::Rc6_6a32 ? !mce : true;
}

bool Header(double mark, double space) {
    return Near(mark, kHeaderMark) && std::fabs(space - kHeaderSpace) <= kHeaderSpaceOff;
}

bool Read(const BurstView& b, Candidate& c) {
    const int n = b.s.n;
    if (!Header(MeasuredTicks(b.s, b.scale, 0), MeasuredTicks(b.s, b.scale, 1))) return false;
    Measured m;
    if (!Measure(b.s, b.scale, m)) return false;
    // The header's 12 cells and 16, 20, 24 or 32 data bits.
    const int count = CellCount(0, m, 2);
    if (count != 44 && count != 52 && count != 60 && count != 76) return false;
    Cells cells;
    if (!ToCells(m, 2, n, cells) || cells.count < 12) return false;
    std::uint32_t head = 0, data = 0;
    // Start bit (1) and three mode bits, then the trailer bit of double length.
    if (!ReadCellBits(cells, 0, 4, true, head) || (head & 0x8) == 0) return false;
    const bool t0 = cells.mark[8], t1 = cells.mark[10];
    if (t0 != cells.mark[9] || t1 != cells.mark[11] || t0 == t1) return false;
    const int dataBits = (cells.count - 12) / 2;
    if (!ReadCellBits(cells, 12, dataBits, true, data)) return false;
    const std::uint32_t mode = head & 0x7;
    if (mode == kMode0 && dataBits == 16) {
        c.frame = {IrProtocol::Rc6_0, data, t0};
        return true;
    }
    if (mode != kMode6) return false;
    c.form = t0 ? IrForm::Rc6Trailer : IrForm::Frame;
    switch (dataBits) {
    case 20:
        c.frame = {IrProtocol::Rc6_6a20, data, false};
        return true;
    case 24:
        c.frame = {IrProtocol::Rc6_6a24, data, false};
        return true;
    case 32:
        if ((data & 0xFFFF0000u) == kMceCustomer)
            c.frame = {IrProtocol::Rc6Mce, data & ~kMceToggle, (data & kMceToggle) != 0};
        else
            c.frame = {IrProtocol::Rc6_6a32, data, false};
        return true;
    default:
        return false;
    }
}

}  // namespace

extern const IrProtocolFamily kRc6Family{Encode, Read, Carries};

}  // namespace orbisk
