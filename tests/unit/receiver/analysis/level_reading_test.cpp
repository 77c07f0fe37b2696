#include "receiver/analysis/level_reading.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "receiver/analysis/burst_codes.h"

namespace orbisk {
namespace {

using Micros = std::vector<int>;

// Marks and spaces in microseconds: a header pair, then one pair per symbol
// (symbol k: marks[k] then spaces[k]), then a closing mark.
Micros Frame(int headMark, int headSpace, const std::vector<int>& symbols, const Micros& marks,
             const Micros& spaces) {
    Micros d{headMark, headSpace};
    for (int s : symbols) {
        d.push_back(marks[static_cast<std::size_t>(s)]);
        d.push_back(spaces[static_cast<std::size_t>(s)]);
    }
    d.push_back(marks[0]);
    return d;
}

// As a receiver counting in 50 us reports it: jitter per duration, marks
// longer and spaces shorter by the bias.
std::vector<std::uint8_t> Press(const Micros& d, double jitter, double bias, std::mt19937& random) {
    std::uniform_real_distribution<double> spread(-jitter, jitter);
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < d.size(); ++i) {
        const double us = d[i] * (1 + spread(random)) + (i % 2 == 0 ? bias : -bias);
        bytes.push_back(static_cast<std::uint8_t>(us / 50 + 0.5));
    }
    return bytes;
}

BurstCodes Codes(const std::vector<std::uint8_t>& b) {
    return DecodeBurstCodes(b.data(), static_cast<int>(b.size()), 4, true);
}

// Presses of a frame at the given jitter, 30 at each of the receiver's
// biases, all give the code of a clean press; that code.
KeyCode OneCodeOverPresses(const Micros& frame, double jitter, std::mt19937& random) {
    const KeyCode code = Codes(Press(frame, 0, 0, random)).code;
    for (const double bias : {-60.0, 0.0, 120.0})
        for (int press = 0; press < 30; ++press)
            EXPECT_EQ(Codes(Press(frame, jitter, bias, random)).code, code) << frame[0] << " bias " << bias;
    return code;
}

// Remotes of no known protocol whose lengths lie half as long again as
// their neighbours or more: every press of a key, whatever the jitter and
// bias, gives one code and is shown as what it is; the same key with one
// duration of another length gives another code, and so does noise that
// ranks as a short key does, its marks as long as its spaces.
TEST(LevelReading, OneCodePerKeyAndAnotherForAnyOtherLevel) {
    const std::vector<int> bits = {1, 0, 0, 1, 1, 1, 0, 1, 0, 0, 1, 0, 1, 1, 0, 0, 0, 1, 1, 0};
    const std::vector<int> symbols = {3, 0, 2, 1, 3, 3, 0, 1, 2, 2, 0, 1};
    const struct {
        Micros frame;
        std::string shown;
    } remotes[] = {
        {Frame(3000, 2500, bits, {500, 500}, {500, 1500}), "pulse-distance 20 bits 0x"},
        {Frame(2400, 600, bits, {600, 1200}, {600, 600}), "pulse-width 21 bits 0x"},  // the last mark too
        {Frame(4000, 6000, symbols, {400, 400, 400, 400}, {600, 1200, 2400, 3600}), "levels 27 durations"},
        {{175, 1300, 175, 2300, 175, 2300, 175, 1300, 175}, "pulse-distance 4 bits 0x"},
    };
    std::mt19937 random(4);
    for (const auto& remote : remotes) {
        const BurstCodes first = Codes(Press(remote.frame, 0, 0, random));
        EXPECT_EQ(DescribeIrFrame(first.frame).rfind(remote.shown, 0), 0u) << DescribeIrFrame(first.frame);
        for (const double bias : {-60.0, 0.0, 60.0, 120.0})
            for (int press = 0; press < 20; ++press)
                EXPECT_EQ(Codes(Press(remote.frame, 0.05, bias, random)).code, first.code) << remote.shown << bias;
        // Each duration in turn swapped for the other length of its kind.
        for (std::size_t i = 2; i + 1 < remote.frame.size(); ++i) {
            Micros other = remote.frame;
            for (std::size_t k = i % 2; k < other.size(); k += 2)
                if (other[k] != other[i] && k > 1) {
                    other[i] = other[k];
                    break;
                }
            if (other == remote.frame) continue;
            EXPECT_NE(Codes(Press(other, 0, 0, random)).code, first.code) << remote.shown << " at " << i;
        }
    }
    EXPECT_NE(Codes({30, 26, 31, 46, 30, 46, 29, 26, 30}).code, Codes({4, 26, 4, 46, 4, 46, 4, 26, 4}).code);
}

// Remotes that build their lengths from one unit (Funai's 870 us with a
// header of 4 + 4 units and bits of 1 or 3; wristbands' 700 us with 1 to 4):
// at 10 % jitter the header's space and the longest data space, a unit
// apart, run together by ratio alone, and are kept apart at every press by
// the unit; a header of the data's length is another key.
TEST(LevelReading, WholeUnitsKeepLengthsAUnitApartAtTenPercent) {
    const std::vector<int> bits = {0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 1, 1, 1, 1, 0, 1, 0, 0, 1, 1, 1, 1, 0};
    const std::vector<int> steps = {0, 2, 0, 0, 1, 0, 2, 3, 1, 3, 0};
    const Micros remotes[] = {
        Frame(3480, 3480, bits, {870, 870}, {870, 2610}),
        Frame(700, 700, steps, {700, 700, 1400, 1400}, {700, 1400, 2100, 2800}),
    };
    std::mt19937 random(8);
    for (const Micros& remote : remotes) OneCodeOverPresses(remote, 0.10, random);
    Micros shortHeader = remotes[0];
    shortHeader[1] = 2610;
    EXPECT_NE(Codes(Press(shortHeader, 0, 0, random)).code, Codes(Press(remotes[0], 0, 0, random)).code);
}

// Zenith's televisions: marks of one unit (520 us), a 1 sent as spaces of
// 1 and 8 units, a 0 as one of 10.  The 8 and 10 units, a fifth apart, stay
// apart at every press at 5 % jitter; a 0 sent as 8 units is another key.
TEST(LevelReading, LongLengthsUnitsApartStayApart) {
    const auto zenith = [](const std::vector<int>& bits) {
        Micros d{520};
        for (const int bit : bits)
            d.insert(d.end(), bit == 1 ? std::initializer_list<int>{520, 520, 4160, 520}
                                       : std::initializer_list<int>{5200, 520});
        return d;
    };
    const Micros key = zenith({1, 0, 1, 1, 0, 0, 1, 0, 1, 1, 0, 1});
    Micros other = key;
    other[5] = 4160;  // the first 0
    std::mt19937 random(2);
    const KeyCode code = OneCodeOverPresses(key, 0.05, random);
    EXPECT_NE(Codes(Press(other, 0, 0, random)).code, code);
}

// A remote whose spaces of 700 and 780 us run together under jitter: keys
// that differ in a space of 480 us against 780 us, 1.6 times as long, are
// two keys at every press, however the close lengths fall.
TEST(LevelReading, CloseLengthsSwallowNoLengthFarFromThem) {
    const std::vector<int> symbols = {1, 0, 1, 2, 1, 0, 2, 0, 1, 0, 0, 0, 2, 0};
    const Micros key = Frame(2400, 600, symbols, {180, 180, 180}, {480, 700, 780});
    Micros other = key;
    other[9] = 480;  // the fourth symbol's space
    std::mt19937 random(5);
    const KeyCode otherCode = Codes(Press(other, 0, 0, random)).code;
    EXPECT_NE(Codes(Press(key, 0, 0, random)).code, otherCode);
    for (const double bias : {-60.0, 0.0, 120.0})
        for (int press = 0; press < 30; ++press) EXPECT_NE(Codes(Press(key, 0.05, bias, random)).code, otherCode);
}

// Two keys of one remote whose frames differ in their last space alone, 450
// against 600 us: the longer was read as one length with the four spaces
// of 450 us before it, as jitter far wider than this remote's would, and
// both keys got one code.
TEST(LevelReading, KeepsApartLengthsWhoseMeansLieFurtherApartThanJitterMovesThem) {
    const std::vector<std::uint8_t> left = {7, 6, 4, 5,  4, 5, 4, 16, 3, 12, 4, 5, 4, 5,
                                            4, 5, 4, 5, 4, 9, 4, 9,  4, 9,  4, 9, 4};
    std::vector<std::uint8_t> right = left;
    right[25] = 12;
    EXPECT_NE(Codes(left).code, Codes(right).code);
}

// Two presses of a captured cable box key (pulse positions 3.0, 5.1, 6.4 and
// 7.2 ms apart): at the second, its longest spaces ran into one chain wider
// than one length, and it lost its level reading.
TEST(LevelReading, TellsApartLengthsThatRunIntoOneChain) {
    const std::vector<std::uint8_t> presses[] = {
        {4, 124, 4, 60, 4, 99, 4, 138, 4, 63, 4, 62, 4, 58, 5, 60, 4, 62, 4, 61, 4, 61, 4, 58, 4, 62, 4, 60, 4, 126, 4,
         62, 4, 102, 4, 137, 4, 63, 4, 60, 4, 60, 4, 57, 4, 59, 4, 61, 4, 62, 4, 57, 4, 61, 4, 59, 4, 124, 4, 63, 4,
         37, 4, 58, 4, 39, 4, 104, 4, 62, 4, 57, 4, 59, 4, 62, 4, 60, 4, 58, 5, 60, 4, 59, 4, 60, 4, 62, 4, 126, 4},
        {4, 127, 4, 62, 4, 105, 4, 151, 4, 60, 4, 59, 4, 62, 4, 60, 4, 61, 4, 62, 4, 59, 4, 61, 4, 61, 4, 58, 4, 122,
         4, 61, 4, 103, 4, 140, 4, 63, 4, 58, 4, 59, 4, 58, 4, 59, 4, 59, 4, 63, 4, 59, 4, 60, 4, 61, 4, 127, 4, 59, 4,
         39, 4, 63, 4, 38, 4, 98, 4, 62, 4, 62, 4, 59, 4, 59, 4, 58, 4, 62, 4, 61, 4, 60, 4, 63, 4, 59, 4, 128, 4},
    };
    EXPECT_EQ(DescribeIrFrame(Codes(presses[1]).frame), DescribeIrFrame(Codes(presses[0]).frame));
    EXPECT_EQ(Codes(presses[1]).code, Codes(presses[0]).code);
}

// Two presses of a captured fan key whose two long gaps (6.6 and 7.2 ms) are
// one length: at the second, jitter cut them apart and gave another code.
TEST(LevelReading, KeepsOneLengthThatJitterCutApart) {
    const std::vector<std::uint8_t> presses[] = {
        {1, 139, 24, 11, 23, 11, 6, 26, 7, 27, 8, 26, 7, 26, 8, 26, 7, 26, 8, 26, 7, 25, 7, 27, 24, 150, 23, 11, 24,
         10, 7, 28, 7, 26, 7, 27, 8, 26, 8, 27, 8, 27, 7, 26, 8, 26, 8, 27, 24},
        {2, 127, 25, 10, 23, 10, 8, 25, 9, 26, 8, 25, 8, 25, 9, 26, 8, 26, 9, 26, 8, 26, 9, 24, 25, 146, 25, 10, 25,
         10, 8, 26, 9, 25, 8, 25, 9, 25, 9, 26, 9, 25, 8, 25, 9, 25, 9, 24, 24},
    };
    EXPECT_EQ(Codes(presses[1]).code, Codes(presses[0]).code);
}

// A fan's frame of 1.3 and 0.4 ms pulses sent three times at a fixed period:
// its gaps of 7.1, 8.2 and 9.1 ms are one length, whatever jitter does
// with them; a frame with one bit changed is another key.
TEST(LevelReading, GapsBetweenRepeatedFramesAreOneLength) {
    const auto fan = [](const std::vector<int>& bits) {
        Micros d;
        for (const int gap : {7100, 8200, 9100})
            for (std::size_t i = 0; i < bits.size(); ++i) {
                d.push_back(bits[i] != 0 ? 1300 : 400);
                d.push_back(i + 1 < bits.size() ? (bits[i] != 0 ? 400 : 1300) : gap);
            }
        d.pop_back();  // the burst ends with the last frame's mark
        return d;
    };
    const Micros key = fan({1, 1, 0, 1, 1, 0, 0, 0, 0, 0, 0, 1}), other = fan({1, 1, 0, 1, 1, 0, 0, 0, 0, 1, 0, 1});
    std::mt19937 random(3);
    const KeyCode code = OneCodeOverPresses(key, 0.05, random);
    EXPECT_NE(Codes(Press(other, 0, 0, random)).code, code);
}

// A burst whose reading lies near a rounding edge: the Windows build, with
// the x87 unit's wider arithmetic, read it into another code than Linux.  A
// key's code is the same on every system (the value is the Linux build's).
TEST(LevelReading, SameCodeOnEverySystem) {
    const std::vector<std::uint8_t> burst = {101, 67, 10, 45, 10, 35, 9,  47, 9,  46, 9,  45, 22,
                                             36,  29, 52, 21, 32, 9,  31, 25, 49, 9,  34, 26, 32,
                                             8,   43, 23, 49, 22, 42, 26, 42, 12, 30, 11, 34, 22};
    EXPECT_EQ(Codes(burst).code, 0xFF583439u);
}

// Nine durations at least, and no more lengths than a remote uses: noise
// and a few stray durations are left to the burst's own code.
TEST(LevelReading, LeavesNoiseToTheShapeCode) {
    const std::vector<std::uint8_t> bursts[] = {
        {10, 20, 10, 20, 10, 20, 10},
        {3, 40, 90, 7, 150, 22, 60, 11, 200, 5, 33, 120, 17, 250, 45, 2, 99, 180, 8, 70, 130},
    };
    for (const auto& b : bursts) {
        LevelReading reading;
        EXPECT_FALSE(ReadLevels(b.data(), static_cast<int>(b.size()), reading));
        const BurstCodes codes = Codes(b);
        EXPECT_EQ(codes.code, codes.shapeCode);
        EXPECT_EQ(codes.frame.protocol, IrProtocol::None);
    }
}

}  // namespace
}  // namespace orbisk
