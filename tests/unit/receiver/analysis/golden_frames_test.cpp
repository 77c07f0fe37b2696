// Frames written from each protocol's published description (marks and
// spaces in microseconds, check bits worked out here), never by the
// encoder: the recogniser must read each as the scancode the description
// gives, and refuse those whose check bits disagree.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "receiver/analysis/ir_recognizer.h"

namespace orbisk {
namespace {

// Levels in microseconds; equal neighbours merge, and what a receiver sees
// starts and ends with a mark.
class Us {
public:
    Us& Level(bool mark, double us) {
        if (d_.empty() && !mark) return *this;
        if (!d_.empty() && mark == lastMark_)
            d_.back() += us;
        else
            d_.push_back(us);
        lastMark_ = mark;
        return *this;
    }
    Us& Mark(double us) { return Level(true, us); }
    Us& Space(double us) { return Level(false, us); }
    // count bits, least significant first (or most): a mark, then a space.
    Us& Distance(std::uint64_t bits, int count, double mark, double zero, double one, bool msbFirst = false) {
        for (int i = 0; i < count; ++i) Mark(mark).Space((bits >> (msbFirst ? count - 1 - i : i)) & 1 ? one : zero);
        return *this;
    }
    // Most significant first, halves of `half`; a 1 is a mark then a space
    // where oneMarkFirst.
    Us& Manchester(std::uint32_t bits, int count, double half, bool oneMarkFirst) {
        for (int i = count - 1; i >= 0; --i) {
            const bool markFirst = (((bits >> i) & 1) != 0) == oneMarkFirst;
            Level(markFirst, half).Level(!markFirst, half);
        }
        return *this;
    }
    // As a receiver counting in 50 us reports it.
    std::vector<std::uint8_t> Bytes() const {
        std::vector<std::uint8_t> out;
        const std::size_t n = lastMark_ ? d_.size() : d_.size() - 1;
        for (std::size_t i = 0; i < n; ++i) out.push_back(static_cast<std::uint8_t>(std::lround(d_[i] / 50)));
        return out;
    }

private:
    std::vector<double> d_;
    bool lastMark_ = false;
};

constexpr std::uint32_t Inv(std::uint32_t v, int bits) { return ~v & ((1u << bits) - 1); }

// NEC's timing: 562.5 us, a header of 16 and 8 units, 0 = 1 + 1, 1 = 1 + 3,
// a stop mark.  Bytes least significant bit first.
Us NecBytes(const std::vector<std::uint32_t>& bytes, double headMark = 9000) {
    Us w;
    w.Mark(headMark).Space(4500);
    for (const std::uint32_t b : bytes) w.Distance(b, 8, 562.5, 562.5, 1687.5);
    return w.Mark(562.5);
}
Us Jvc(std::uint32_t a, std::uint32_t c, bool header) {
    Us w;
    if (header) w.Mark(8440).Space(4220);
    return w.Distance(a | c << 8, 16, 527, 527, 1581).Mark(527);
}
// Command (7 bits), then the address, least significant first: 1.2 ms or
// 0.6 ms marks, each followed by 0.6 ms.
Us Sony(std::uint32_t bits, int count) {
    Us w;
    w.Mark(2400).Space(600);
    for (int i = 0; i < count; ++i) w.Mark((bits >> i) & 1 ? 1200 : 600).Space(600);
    return w;
}
// 5 address bits, 8 command bits, the expansion and check bits; the echo
// inverts all but the address.
Us SharpFrame(std::uint32_t a, std::uint32_t c, std::uint32_t expansion, std::uint32_t check, bool echo) {
    std::uint32_t bits = a | c << 5 | expansion << 13 | check << 14;
    if (echo) bits ^= 0x7FE0;
    Us w;
    return w.Distance(bits, 15, 320, 680, 1680).Mark(320);
}
// Start 1, field bit (inverted command bit 6), toggle, 5 address bits, 6
// command bits; 889 us halves, a 1 a space then a mark.  RC-5X: 4 units of
// space after the address, then 6 command and 6 more bits.
Us Rc5(bool toggle, std::uint32_t a, std::uint32_t c) {
    Us w;
    return w.Manchester(1u << 13 | ((c & 0x40) ? 0u : 1u) << 12 | (toggle ? 1u : 0u) << 11 | a << 6 | (c & 0x3F), 14,
                        889, false);
}
Us Rc5x(bool toggle, std::uint32_t a, std::uint32_t c, std::uint32_t x) {
    Us w;
    w.Manchester(1u << 7 | ((c & 0x40) ? 0u : 1u) << 6 | (toggle ? 1u : 0u) << 5 | a, 8, 889, false);
    return w.Space(4 * 889).Manchester((c & 0x3F) << 6 | x, 12, 889, false);
}
// 444 us: a header of 6 and 2 units, start bit 1, three mode bits, the
// trailer (toggle) bit twice as long, then the data; a 1 a mark then a space.
Us Rc6(std::uint32_t mode, bool trailer, std::uint32_t data, int bits) {
    Us w;
    w.Mark(2664).Space(888).Manchester(8 | mode, 4, 444, true).Manchester(trailer ? 1 : 0, 1, 888, true);
    return w.Manchester(data, bits, 444, true);
}
// Kaseikyo, 432 us: a header of 8 and 4 units, 48 bits as NEC's: the
// vendor, its parity (the exclusive or of its nibbles) and the device
// nibble, subdevice, command, and the exclusive or of the three bytes
// before.  Sharp's form puts 4 more bits in the low nibble of the last byte
// and the exclusive or of the nibbles from the device on in its high one.
Us Kaseikyo(std::uint32_t vendor, std::uint32_t device, std::uint32_t sub, std::uint32_t command,
            int sharpExtra = -1, std::uint64_t spoil = 0) {
    const std::uint32_t parity = (vendor ^ vendor >> 4 ^ vendor >> 8 ^ vendor >> 12) & 0xF;
    const std::uint32_t b2 = parity | device << 4;
    std::uint32_t b5 = b2 ^ sub ^ command;
    if (sharpExtra >= 0) {
        const auto e = static_cast<std::uint32_t>(sharpExtra);
        b5 = e | ((device ^ sub ^ sub >> 4 ^ command ^ command >> 4 ^ e) & 0xF) << 4;
    }
    const std::uint64_t bits = (vendor | std::uint64_t{b2} << 16 | std::uint64_t{sub} << 24 |
                                std::uint64_t{command} << 32 | std::uint64_t{b5} << 40) ^
                               spoil;
    Us w;
    return w.Mark(3456).Space(1728).Distance(bits, 48, 432, 432, 1296).Mark(432);
}
// Samsung36: 16 bits, a mark and a long space, then 4 bits, the command
// and its inverse.
Us Samsung36(std::uint32_t first, std::uint32_t four, std::uint32_t c, std::uint32_t inverse) {
    Us w;
    w.Mark(4500).Space(4500).Distance(first, 16, 560, 560, 1680).Mark(560).Space(4500);
    return w.Distance(four | c << 4 | inverse << 12, 20, 560, 560, 1680).Mark(560);
}
// NEC42: NEC's timing, 13 address bits, their inverse, the command and its
// inverse.
Us Nec42(std::uint32_t a, std::uint32_t inverse, std::uint32_t c) {
    Us w;
    w.Mark(9000).Space(4500).Distance(a | inverse << 13, 26, 562.5, 562.5, 1687.5);
    return w.Distance(c | Inv(c, 8) << 8, 16, 562.5, 562.5, 1687.5).Mark(562.5);
}
// NEC-16: 500 us, NEC's header and bits, two bytes 8 units apart.
Us Nec16(std::uint32_t first, std::uint32_t second) {
    Us w;
    w.Mark(8000).Space(4000).Distance(first, 8, 500, 500, 1500).Mark(500).Space(4000);
    return w.Distance(second, 8, 500, 500, 1500).Mark(500);
}
// GI Cable, 490 us: a header of 18 and 9 units, marks of one, spaces of 4.5
// and 9; 12 bits and a nibble that makes the nibbles sum to 0 (mod 16).
Us GiCable(std::uint32_t bits, int checkAdd = 0) {
    const std::uint32_t sum = (bits & 0xF) + (bits >> 4 & 0xF) + (bits >> 8 & 0xF) + static_cast<std::uint32_t>(checkAdd);
    Us w;
    w.Mark(8820).Space(4410).Distance(bits | ((16 - sum % 16) & 0xF) << 12, 16, 490, 2205, 4410);
    return w.Mark(490);
}
// RCA: 500 us marks, 4 ms header, 4 address and 8 command bits most
// significant first, then both inverted; 0 a 1 ms space, 1 2 ms.
Us Rca(std::uint32_t ac, std::uint32_t inverse) {
    Us w;
    return w.Mark(4000).Space(4000).Distance(ac << 12 | inverse, 24, 500, 1000, 2000, true).Mark(500);
}
// RC-MM: a 417 us mark and 278 us space, then two bits a symbol, most
// significant first: a 167 us mark and a space of 278 + 167 n us.
Us Rcmm(std::uint32_t bits, int count) {
    Us w;
    w.Mark(416.7).Space(277.8);
    for (int i = count - 2; i >= 0; i -= 2) w.Mark(166.7).Space(277.8 + 166.7 * (bits >> i & 3));
    return w.Mark(166.7);
}
// XMP: 8 nibbles, the first first, each a 210 us mark and a space of
// 760 + 136 n us; the second makes them sum to 0 (mod 16).
Us Xmp(std::uint32_t nibbles, int checkAdd = 0) {
    std::uint32_t sum = static_cast<std::uint32_t>(checkAdd);
    for (int i = 0; i < 8; ++i) sum += i == 6 ? 0 : nibbles >> (4 * i) & 0xF;
    nibbles = (nibbles & ~0x0F000000u) | ((16 - sum % 16) & 0xF) << 24;
    Us w;
    for (int i = 7; i >= 0; --i) w.Mark(210).Space(760 + 136.0 * (nibbles >> (4 * i) & 0xF));
    return w.Mark(210);
}
// Xiaomi: a 1040 us mark and 600 us space, then ten symbols of two bits,
// most significant first, each a 600 us mark and a space of 600 + 300 n
// us: device, command, and a nibble, the exclusive or of the four before.
Us Xiaomi(std::uint32_t device, std::uint32_t command, std::uint32_t checkFlip = 0) {
    const std::uint32_t check = (device ^ device >> 4 ^ command ^ command >> 4 ^ checkFlip) & 0xF;
    const std::uint32_t bits = device << 12 | command << 4 | check;
    Us w;
    w.Mark(1040).Space(600);
    for (int i = 18; i >= 0; i -= 2) w.Mark(600).Space(600 + 300 * (bits >> i & 3));
    return w.Mark(600);
}

struct Golden {
    Us frame;
    IrFrame expected;  // protocol None: must not be read as `refused`
    IrProtocol refused = IrProtocol::None;
};

std::string Text(const IrFrame& f) {
    return f.protocol == IrProtocol::None ? "nothing" : DescribeIrFrame(f);
}

TEST(GoldenFrames, EveryProtocolReadsItsPublishedFrames) {
    using P = IrProtocol;
    const Golden cases[] = {
        {NecBytes({0x04, 0xFB, 0x08, 0xF7}), {P::Nec, 0x0408}},
        {NecBytes({0x00, 0xFF, 0x45, 0xBA}), {P::Nec, 0x0045}},
        {NecBytes({0x12, 0x34, 0x0A, 0xF5}), {P::Necx, 0x12340A}},
        {NecBytes({0x86, 0x6B, 0x1C, 0xE3}), {P::Necx, 0x866B1C}},
        {NecBytes({0x12, 0x34, 0x56, 0x78}), {P::Nec32, 0x34127856}},
        {NecBytes({0x80, 0x7F, 0x01, 0x02}), {P::Nec32, 0x7F800201}},
        {NecBytes({0x07, 0x07, 0x02, 0xFD}, 4500), {P::Samsung32, 0x0702}},
        {NecBytes({0xE0, 0xE0, 0x40, 0xBF}, 4500), {P::Samsung32, 0xE040}},
        {Jvc(0x03, 0x12, true), {P::Jvc, 0x0312}},
        {Jvc(0xC1, 0x70, false), {P::Jvc, 0xC170}},
        {Sony(0x15 | 0x01 << 7, 12), {P::Sony12, 0x010015}},
        {Sony(0x12 | 0x1E << 7, 12), {P::Sony12, 0x1E0012}},
        {Sony(0x12 | 0x97 << 7, 15), {P::Sony15, 0x970012}},
        {Sony(0x7C | 0x1A << 7, 15), {P::Sony15, 0x1A007C}},
        {Sony(0x45 | 0x1A << 7 | 0x3A << 12, 20), {P::Sony20, 0x1A3A45}},
        {Sony(0x01 | 0x10 << 7 | 0x81 << 12, 20), {P::Sony20, 0x108101}},
        {SharpFrame(0x1A, 0x5C, 1, 0, false), {P::Sharp, 0x1A5C}},
        {SharpFrame(0x01, 0xC5, 1, 0, true), {P::Sharp, 0x01C5}},
        {SharpFrame(0x02, 0xE1, 0, 0, false), {P::Denon, 0x02E1}},
        {SharpFrame(0x08, 0x0F, 0, 0, true), {P::Denon, 0x080F}},
        {Rc5(true, 0x05, 0x35), {P::Rc5, 0x0535, true}},
        {Rc5(false, 0x1F, 0x7F), {P::Rc5, 0x1F7F}},
        {Rc5x(true, 0x1A, 0x4C, 0x25), {P::Rc5x20, 0x1A4C25, true}},
        {Rc5x(false, 0x03, 0x01, 0x3F), {P::Rc5x20, 0x03013F}},
        {Rc6(0, true, 0x040C, 16), {P::Rc6_0, 0x040C, true}},
        {Rc6(0, false, 0x8001, 16), {P::Rc6_0, 0x8001}},
        {Rc6(6, false, 0xA1234, 20), {P::Rc6_6a20, 0xA1234}},
        {Rc6(6, true, 0x0F00F, 20), {P::Rc6_6a20, 0x0F00F}},
        {Rc6(6, false, 0xA12345, 24), {P::Rc6_6a24, 0xA12345}},
        {Rc6(6, false, 0x10F0E1, 24), {P::Rc6_6a24, 0x10F0E1}},
        {Rc6(6, false, 0x12345678, 32), {P::Rc6_6a32, 0x12345678}},
        {Rc6(6, false, 0x80010001, 32), {P::Rc6_6a32, 0x80010001}},
        {Rc6(6, false, 0x800F8410, 32), {P::Rc6Mce, 0x800F0410, true}},
        {Rc6(6, true, 0x800F040E, 32), {P::Rc6Mce, 0x800F040E}},
        {Kaseikyo(0x2002, 0x8, 0x03, 0x20), {P::Panasonic, 0x80320}},
        {Kaseikyo(0x2002, 0x0, 0x81, 0x3D), {P::Panasonic, 0x0813D}},
        {Kaseikyo(0x3254, 0x4, 0x13, 0x20), {P::DenonK, 0x41320}},
        {Kaseikyo(0x3254, 0x1, 0x00, 0xC7), {P::DenonK, 0x100C7}},
        {Kaseikyo(0x0103, 0xF, 0x00, 0xFF), {P::Jvc48, 0xF00FF}},
        {Kaseikyo(0x0103, 0x2, 0x71, 0x0B), {P::Jvc48, 0x2710B}},
        {Kaseikyo(0x5AAA, 0x8, 0xF3, 0x0A, 0x1), {P::SharpK, 0x18F30A}},
        {Kaseikyo(0x5AAA, 0x3, 0x20, 0x91, 0xC), {P::SharpK, 0xC32091}},
        {Samsung36(0x0707, 0xA, 0x12, 0xED), {P::Samsung36, 0x07070A12}},
        {Samsung36(0x0E04, 0x1, 0x80, 0x7F), {P::Samsung36, 0x0E040180}},
        {Nec42(0x1ABC, Inv(0x1ABC, 13), 0x12), {P::Sanyo, 0x1ABC12}},
        {Nec42(0x0001, Inv(0x0001, 13), 0xF0), {P::Sanyo, 0x0001F0}},
        {NecBytes({0x01, 0xFE, 0x03, 0xFC, 0x13, 0xEC}), {P::Nec48, 0x01FE0313}},
        {NecBytes({0x40, 0x04, 0x01, 0xFE, 0xBC, 0x43}), {P::Nec48, 0x400401BC}},
        {Nec16(0x52, 0xF4), {P::Nec16, 0xF452}},
        {Nec16(0x01, 0x80), {P::Nec16, 0x8001}},
        {GiCable(0x51A), {P::GiCable, 0x51A}},
        {GiCable(0x0F3), {P::GiCable, 0x0F3}},
        {Rca(0xF12, Inv(0xF12, 12)), {P::Rca, 0xF12}},
        {Rca(0x381, Inv(0x381, 12)), {P::Rca, 0x381}},
        {Rcmm(0x9C3, 12), {P::Rcmm12, 0x9C3}},
        {Rcmm(0x21E, 12), {P::Rcmm12, 0x21E}},
        {Rcmm(0x123456, 24), {P::Rcmm24, 0x123456}},
        {Rcmm(0x8F0E1D2C, 32), {P::Rcmm32, 0x8F0E1D2C}},
        {Xmp(0x1F0F443E), {P::XmpHalf, 0x10F443E}},
        {Xmp(0x70A02913), {P::XmpHalf, 0x7A02913}},
        {Xiaomi(0x89, 0x3C), {P::Xiaomi, 0x893CE}},
        {Xiaomi(0x22, 0x70), {P::Xiaomi, 0x22707}},
        // Check bits that disagree: the frame is not its protocol's.
        {NecBytes({0x07, 0x06, 0x02, 0xFD}, 4500), {}, P::Samsung32},
        {Kaseikyo(0x2002, 0x8, 0x03, 0x20, -1, 1u << 16), {}, P::Panasonic},  // vendor parity
        {Kaseikyo(0x2002, 0x8, 0x03, 0x20, -1, 1ull << 44), {}, P::Panasonic},  // check byte
        {Kaseikyo(0x3254, 0x4, 0x13, 0x20, -1, 1u << 18), {}, P::DenonK},
        {Kaseikyo(0x0103, 0xF, 0x00, 0xFF, -1, 1ull << 47), {}, P::Jvc48},
        {Kaseikyo(0x5AAA, 0x8, 0xF3, 0x0A, 0x1, 1ull << 46), {}, P::SharpK},  // check nibble
        {Samsung36(0x0707, 0xA, 0x12, 0xEC), {}, P::Samsung36},
        {Nec42(0x1ABC, Inv(0x1ABC, 13) ^ 0x100, 0x12), {}, P::Sanyo},
        {NecBytes({0x01, 0xFE, 0x03, 0xFD, 0x13, 0xEC}), {}, P::Nec48},
        {NecBytes({0x01, 0xFE, 0x03, 0xFC, 0x13, 0xED}), {}, P::Nec48},
        {GiCable(0x51A, 1), {}, P::GiCable},
        {Rca(0xF12, Inv(0xF12, 12) ^ 0x10), {}, P::Rca},
        {Xmp(0x1F0F443E, 1), {}, P::XmpHalf},
        {Xiaomi(0x89, 0x3C, 0x4), {}, P::Xiaomi},
        {Rc6(5, false, 0x040C, 16), {}, P::Rc6_0},  // mode 5
    };
    for (const Golden& c : cases) {
        const std::vector<std::uint8_t> burst = c.frame.Bytes();
        IrFrame got;
        const bool read = RecognizeBurst(burst.data(), static_cast<int>(burst.size()), got);
        if (c.refused == IrProtocol::None)
            EXPECT_EQ(read ? Text(got) : "nothing", Text(c.expected));
        else
            EXPECT_TRUE(!read || got.protocol != c.refused) << "read as " << Text(got);
    }
}

// What a held key sends between its frames: NEC's repeat frame (9 ms,
// 2.25 ms, a unit), also as the encoder writes it, and Samsung's (4.5 ms,
// 4.5 ms, a unit); not a NEC repeat whose space lies a unit or more off.
TEST(GoldenFrames, RepeatFrames) {
    const struct {
        std::vector<double> us;
        bool repeat;
    } cases[] = {
        {{9000, 2250, 562.5}, true},
        {{4500, 4500, 562.5}, true},
        {{9000, 4500, 562.5}, false},
        {{9000, 2900, 562.5}, false},
        {{9000, 1700, 562.5}, false},
        {{9000, 2250, 1687.5}, false},
    };
    for (const auto& c : cases) {
        Us w;
        for (std::size_t i = 0; i < c.us.size(); ++i) w.Level(i % 2 == 0, c.us[i]);
        const std::vector<std::uint8_t> burst = w.Bytes();
        EXPECT_EQ(RecognizeRepeatFrame(burst.data(), static_cast<int>(burst.size())), c.repeat) << c.us[1];
    }
    IrDurations d;
    ASSERT_TRUE(EncodeIrFrame({IrProtocol::Nec, 0x0408, false}, d, IrForm::FollowUp));
    std::vector<double> us;
    for (int i = 0; i < d.count; ++i) us.push_back(d.ticks[static_cast<std::size_t>(i)] * 562.5);
    EXPECT_EQ(us, (std::vector<double>{9000, 2250, 562.5}));
}

}  // namespace
}  // namespace orbisk
