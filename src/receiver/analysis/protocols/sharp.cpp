// Sharp and Denon: marks of 320 us, spaces of 680 us (0) or 1680 us (1),
// in ticks of 40 us; 15 bits least significant first: 5 address bits, 8
// command bits, the expansion and check bits (Sharp 1 and 0, Denon 0 and
// 0), a stop mark.  Each frame is followed 40 ms later by its echo with
// all but the address inverted.  The kernel's scancode: address << 8 |
// command.
#include "receiver/analysis/protocols/protocol_kit.h"

namespace orbisk {
namespace {

constexpr int kMark = 8, kZeroSpace = 17, kOneSpace = 42;
constexpr double kLongerThan = 29.5;
constexpr std::uint32_t kSharpExpansion = 1u << 13;
constexpr std::uint32_t kEchoInverts = 0x7FE0u;

bool Encode(const IrFrame& f, IrForm form, TickWriter& w) {
    if (form == IrForm::Rc6Trailer) return false;
    const std::uint32_t s = f.scancode;
    std::uint32_t bits = (s >> 8 & 0x1F) | (s & 0xFF) << 5 | (f.protocol == IrProtocol::Sharp ? kSharpExpansion : 0u);
    if (form == IrForm::FollowUp) bits ^= kEchoInverts;
    PulseDistance(w, bits, 15, kMark, kZeroSpace, kOneSpace);
    w.Add(true, kMark);
    return true;
}

// Sharp's expansion and check bits are 1, 0 in the frame and 0, 1 in its
// echo; Denon's 0, 0 and 1, 1.
bool Read(const BurstView& b, Candidate& c) {
    if (b.s.n != 31) return false;
    const Scale scale = ScaleFor(b.s, kMark, kZeroSpace);
    const std::uint32_t bits = LongBits(b.s, scale, 1, 15, kLongerThan);
    const std::uint32_t address = bits & 0x1F;
    std::uint32_t command = bits >> 5 & 0xFF;
    const std::uint32_t check = bits >> 13;
    const bool echo = check == 2 || check == 3;
    if (echo) command ^= 0xFF;
    c.form = echo ? IrForm::FollowUp : IrForm::Frame;
    c.frame = {check == 1 || check == 2 ? IrProtocol::Sharp : IrProtocol::Denon, address << 8 | command, false};
    return true;
}

}  // namespace

extern const IrProtocolFamily kSharpFamily{Encode, Read};

}  // namespace orbisk
