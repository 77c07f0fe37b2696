// Kaseikyo, one protocol per vendor (Panasonic, Denon-K, JVC-48, Sharp-K):
// 432 us units, a header of 8 units of mark and 4 of space, 48 bits least
// significant first as NEC's, a stop mark.  The bits: the vendor's code,
// its parity nibble (the exclusive or of its nibbles), then the
// scancode's 20 bits (device nibble, subdevice, command) and a check byte,
// the exclusive or of the three bytes before it; Sharp-K carries 4 more
// bits in the last byte's low nibble and checks the exclusive or of the
// nibbles from the device on in its high one.  Orbisk's own scancode:
// device << 16 | subdevice << 8 | command (Sharp-K: the 4 bits << 20).
#include "receiver/analysis/protocols/protocol_kit.h"

#include <utility>

namespace orbisk {
namespace {

constexpr int kHeaderMark = 8, kHeaderSpace = 4;
constexpr int kBitMark = 1, kZeroSpace = 1, kOneSpace = 3;
constexpr double kLongerThan = 2.0;
constexpr std::pair<std::uint32_t, IrProtocol> kVendors[] = {
    {0x2002, IrProtocol::Panasonic}, {0x3254, IrProtocol::DenonK},
    {0x0103, IrProtocol::Jvc48},     {0x5AAA, IrProtocol::SharpK}};

std::uint32_t Vendor(IrProtocol p) {
    for (const auto& [vendor, protocol] : kVendors)
        if (protocol == p) return vendor;
    return 0;
}

bool Encode(const IrFrame& f, IrForm form, TickWriter& w) {
    if (form != IrForm::Frame) return false;
    const std::uint32_t vendor = Vendor(f.protocol), s = f.scancode;
    const std::uint32_t parity = (vendor ^ vendor >> 4 ^ vendor >> 8 ^ vendor >> 12) & 0xF;
    const std::uint32_t b2 = parity | (s >> 16 & 0xF) << 4, b3 = s >> 8 & 0xFF, b4 = s & 0xFF;
    std::uint32_t b5 = b2 ^ b3 ^ b4;
    if (f.protocol == IrProtocol::SharpK) {
        const std::uint32_t extra = s >> 20 & 0xF;
        const std::uint32_t x = (b2 >> 4) ^ b3 ^ (b3 >> 4) ^ b4 ^ (b4 >> 4) ^ extra;
        b5 = extra | (x & 0xF) << 4;
    }
    w.Pair(kHeaderMark, kHeaderSpace);
    PulseDistance(w, vendor | b2 << 16 | b3 << 24, 32, kBitMark, kZeroSpace, kOneSpace);
    PulseDistance(w, b4 | b5 << 8, 16, kBitMark, kZeroSpace, kOneSpace);
    w.Add(true, kBitMark);
    return true;
}

// The vendor's code tells the protocol; the parity and check bits are
// left to the encoding: a frame whose checks are not what its scancode
// gives does not fit.
bool Read(const BurstView& b, Candidate& c) {
    if (b.s.n != 99 || !Near(Ticks(b.s, b.scale, 0), kHeaderMark) || !Near(Ticks(b.s, b.scale, 1), kHeaderSpace))
        return false;
    const std::uint32_t low = LongBits(b.s, b.scale, 3, 32, kLongerThan);
    const std::uint32_t high = LongBits(b.s, b.scale, 67, 16, kLongerThan);
    for (const auto& [vendor, protocol] : kVendors) {
        if ((low & 0xFFFF) != vendor) continue;
        std::uint32_t scancode = (low >> 20 & 0xF) << 16 | (low >> 24) << 8 | (high & 0xFF);
        if (protocol == IrProtocol::SharpK) scancode |= (high >> 8 & 0xF) << 20;
        c.frame = {protocol, scancode, false};
        return true;
    }
    return false;
}

}  // namespace

extern const IrProtocolFamily kKaseikyoFamily{Encode, Read};

}  // namespace orbisk
