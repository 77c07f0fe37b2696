// RC-MM (12, 24 and 32 bits): its unit is 1/6 ms, in ticks of a sixth of
// that: a header of a 15-tick mark and a 10-tick space, then two bits a
// symbol, most significant first, each a 6-tick mark and a space of 10, 16,
// 22 or 28 ticks; a stop mark.  The kernel's scancode: the bits.
#include "receiver/analysis/protocols/protocol_kit.h"

namespace orbisk {
namespace {

constexpr int kHeaderMark = 15, kHeaderSpace = 10, kMark = 6, kLeastSpace = 10, kStep = 6;
// Read from whole periods (protocol_kit.h); one may lie a third of a step off.
constexpr PeriodCode kPeriods{kHeaderMark + kHeaderSpace, kMark + kLeastSpace, kStep, 1.0 / 3};

int BitsOf(IrProtocol p) { return p == IrProtocol::Rcmm12 ? 12 : p == IrProtocol::Rcmm24 ? 24 : 32; }

bool Encode(const IrFrame& f, IrForm form, TickWriter& w) {
    if (form != IrForm::Frame) return false;
    w.Pair(kHeaderMark, kHeaderSpace);
    for (int i = BitsOf(f.protocol) - 2; i >= 0; i -= 2)
        w.Pair(kMark, kLeastSpace + kStep * static_cast<int>(f.scancode >> i & 3));
    w.Add(true, kMark);
    return true;
}

bool Read(const BurstView& b, Candidate& c) {
    const int symbols = (b.s.n - 3) / 2;
    const IrProtocol protocol = symbols == 6    ? IrProtocol::Rcmm12
                                : symbols == 12 ? IrProtocol::Rcmm24
                                : symbols == 16 ? IrProtocol::Rcmm32
                                                : IrProtocol::None;
    std::uint32_t bits = 0;
    if (protocol == IrProtocol::None || !ReadPeriods(b.s, kPeriods, symbols, bits)) return false;
    c.frame = {protocol, bits, false};
    c.stepTicks = kPeriods.stepTicks;
    return true;
}

}  // namespace

extern const IrProtocolFamily kRcmmFamily{Encode, Read};

}  // namespace orbisk
