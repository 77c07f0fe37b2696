// NEC and the protocols built on its timing: NEC-X and NEC-32 (the same
// frame with a 16-bit address, or no check at all), Samsung32 (a shorter
// header, the address sent twice), and the longer frames NEC42, NEC-48 and
// NEC-16.  Scancodes as the Linux kernel's (nec, necx, nec32, samsung32,
// sanyo); NEC-48's and NEC-16's are Orbisk's own.
#include "receiver/analysis/protocols/protocol_kit.h"

namespace orbisk {
namespace {

// 562.5 us units, a tick each.  A header of 16 units of mark and 8 of space
// (Samsung32: 8 and 8); bits least significant first, a 1-unit mark then a
// 1-unit (0) or 3-unit (1) space; a stop mark.  A held key sends the
// repeat frame: 16 units of mark, 4 of space, one of mark.
constexpr int kHeaderMark = 16, kHeaderSpace = 8, kSamsungHeaderMark = 8, kRepeatSpace = 4;
constexpr int kBitMark = 1, kZeroSpace = 1, kOneSpace = 3;
constexpr double kLongerThan = 2.0;  // a 1's space, in ticks
// NEC-16: its two bytes 8 units apart.
constexpr int kNec16Gap = 8;

void Bits(TickWriter& w, std::uint32_t bits, int count) {
    PulseDistance(w, bits, count, kBitMark, kZeroSpace, kOneSpace);
}

// The 32 bits sent, least significant first.
std::uint32_t NecBits(const IrFrame& f) {
    const std::uint32_t s = f.scancode;
    switch (f.protocol) {
    case IrProtocol::Nec: {
        const std::uint32_t a = s >> 8 & 0xFF, c = s & 0xFF;
        return a | (a ^ 0xFF) << 8 | c << 16 | (c ^ 0xFF) << 24;
    }
    case IrProtocol::Necx:
        return (s >> 16 & 0xFF) | (s >> 8 & 0xFF) << 8 | (s & 0xFF) << 16 | ((s & 0xFF) ^ 0xFF) << 24;
    case IrProtocol::Samsung32: {
        const std::uint32_t a = s >> 8 & 0xFF, c = s & 0xFF;
        return a | a << 8 | c << 16 | (c ^ 0xFF) << 24;
    }
    default:  // NEC-32: first byte in scancode bits 16-23, second 24-31, third 0-7, fourth 8-15
        return (s >> 16 & 0xFF) | (s >> 24 & 0xFF) << 8 | (s & 0xFF) << 16 | (s >> 8 & 0xFF) << 24;
    }
}

bool Encode(const IrFrame& f, IrForm form, TickWriter& w) {
    const bool samsung = f.protocol == IrProtocol::Samsung32;
    if (form == IrForm::Rc6Trailer || (samsung && form == IrForm::FollowUp)) return false;
    if (form == IrForm::FollowUp) {
        w.Pair(kHeaderMark, kRepeatSpace);
        w.Add(true, kBitMark);
        return true;
    }
    w.Pair(samsung ? kSamsungHeaderMark : kHeaderMark, kHeaderSpace);
    Bits(w, NecBits(f), 32);
    w.Add(true, kBitMark);
    return true;
}

bool NecHeader(const BurstView& b) {
    return Near(Ticks(b.s, b.scale, 0), kHeaderMark) && Near(Ticks(b.s, b.scale, 1), kHeaderSpace);
}

// 67 durations: NEC when both inverted bytes hold, NEC-X when only the
// command's does, NEC-32 otherwise; Samsung32 by its header.
bool Read(const BurstView& b, Candidate& c) {
    if (b.s.n != 67) return false;
    const std::uint32_t bits = LongBits(b.s, b.scale, 3, 32, kLongerThan);
    const std::uint32_t b0 = bits & 0xFF, b1 = bits >> 8 & 0xFF, b2 = bits >> 16 & 0xFF, b3 = bits >> 24;
    if (NecHeader(b)) {
        if ((b2 ^ b3) != 0xFF) {
            c.frame = {IrProtocol::Nec32, b1 << 24 | b0 << 16 | b3 << 8 | b2, false};
        } else if ((b0 ^ b1) != 0xFF) {
            c.frame = {IrProtocol::Necx, b0 << 16 | b1 << 8 | b2, false};
        } else {
            c.frame = {IrProtocol::Nec, b0 << 8 | b2, false};
        }
        return true;
    }
    if (Near(Ticks(b.s, b.scale, 0), kSamsungHeaderMark) && Near(Ticks(b.s, b.scale, 1), kHeaderSpace) &&
        b0 == b1 && (b2 ^ b3) == 0xFF) {
        c.frame = {IrProtocol::Samsung32, b0 << 8 | b2, false};
        return true;
    }
    return false;
}

// NEC42: 13 address bits, their inverse, the command and its inverse.
// NEC-48: two bytes, then two commands, each followed by its inverse.
// NEC-16: two bytes with a gap between them.  Their check bits are left to
// the encoding: a frame whose inverted bits are not what its scancode gives
// does not fit.
bool EncodeLong(const IrFrame& f, IrForm form, TickWriter& w) {
    if (form != IrForm::Frame) return false;
    const std::uint32_t s = f.scancode;
    w.Pair(kHeaderMark, kHeaderSpace);
    switch (f.protocol) {
    case IrProtocol::Sanyo: {
        const std::uint32_t a = s >> 8, c = s & 0xFF;
        Bits(w, a | (a ^ 0x1FFF) << 13, 26);
        Bits(w, c | (c ^ 0xFF) << 8, 16);
        break;
    }
    case IrProtocol::Nec48:
        Bits(w, (s >> 24) | (s >> 16 & 0xFF) << 8 | (s >> 8 & 0xFF) << 16 | ((s >> 8 & 0xFF) ^ 0xFF) << 24, 32);
        Bits(w, (s & 0xFF) | ((s & 0xFF) ^ 0xFF) << 8, 16);
        break;
    default:  // NEC-16
        Bits(w, s & 0xFF, 8);
        w.Pair(kBitMark, kNec16Gap);
        Bits(w, s >> 8, 8);
        break;
    }
    w.Add(true, kBitMark);
    return true;
}

bool ReadLong(const BurstView& b, Candidate& c) {
    if ((b.s.n != 99 && b.s.n != 87 && b.s.n != 37) || !NecHeader(b)) return false;
    const auto bits = [&](int first, int count) { return LongBits(b.s, b.scale, first, count, kLongerThan); };
    switch (b.s.n) {
    case 99: {
        const std::uint32_t low = bits(3, 32), high = bits(67, 16);
        c.frame = {IrProtocol::Nec48,
                   (low & 0xFF) << 24 | (low >> 8 & 0xFF) << 16 | (low >> 16 & 0xFF) << 8 | (high & 0xFF), false};
        return true;
    }
    case 87:
        c.frame = {IrProtocol::Sanyo, bits(3, 13) << 8 | bits(55, 8), false};
        return true;
    default:
        c.frame = {IrProtocol::Nec16, bits(3, 8) | bits(21, 8) << 8, false};
        return true;
    }
}

}  // namespace

extern const IrProtocolFamily kNecFamily{Encode, Read};
extern const IrProtocolFamily kNecLongFamily{EncodeLong, ReadLong};

}  // namespace orbisk
