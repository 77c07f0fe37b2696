#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "capture/capture.h"
#include "receiver/published_state.h"

namespace orbisk::tool {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The keys of the older ADDRESS:COMMAND form.
enum class Legacy { Nec, Rc5, Sirc12 };

KeyPress Key(Legacy protocol, std::uint32_t address, std::uint32_t command, std::uint32_t holdMs = 0) {
    KeyPress press;
    press.frame = protocol == Legacy::Nec   ? IrFrame{IrProtocol::Nec, address << 8 | command, false}
                  : protocol == Legacy::Rc5 ? IrFrame{IrProtocol::Rc5, address << 8 | command, false}
                                            : IrFrame{IrProtocol::Sony12, address << 16 | command, false};
    press.holdMs = holdMs;
    return press;
}

std::uint64_t Code(const Bytes& burst) {
    return DecodeBurst(burst.data(), static_cast<int>(burst.size()), 4);
}

TEST(Generator, NecFrameThenRepeatFramesWhileHeld) {
    const std::vector<TimedBurst> bursts = GenerateKeyPresses({Key(Legacy::Nec, 0x04, 0x08, 500)}, {});
    // The frame and a repeat frame every 108 ms that starts before 500 ms.
    ASSERT_EQ(bursts.size(), 5u);
    const Bytes& frame = bursts[0].durations;
    ASSERT_EQ(frame.size(), 67u);
    EXPECT_EQ(frame[0], 180);  // 9 ms in 50 us units
    EXPECT_EQ(frame[1], 90);
    // Address 0x04 least significant bit first: bits 0 and 1 are 0, bit 2 is 1.
    EXPECT_EQ(frame[3], 11);
    EXPECT_EQ(frame[5], 11);
    EXPECT_EQ(frame[7], 34);
    EXPECT_EQ(frame[66], 11);
    for (std::size_t i = 1; i < bursts.size(); ++i) {
        EXPECT_EQ(bursts[i].durations, (Bytes{180, 45, 11})) << i;
        // The first repeat starts 108 ms after the frame, 40 ms after its end.
        EXPECT_EQ(bursts[i].atMs - bursts[i - 1].atMs, i == 1 ? 52u : 108u) << i;
    }
    // The terminator is due 10 ms after the stop mark: 68 ms of frame.
    EXPECT_EQ(bursts[0].atMs, 78u);
}

TEST(Generator, SameKeySameCodeOtherKeyOtherCode) {
    const std::vector<TimedBurst> bursts = GenerateKeyPresses(
        {Key(Legacy::Nec, 4, 8), Key(Legacy::Nec, 4, 8), Key(Legacy::Nec, 4, 9),
         Key(Legacy::Nec, 5, 8), Key(Legacy::Sirc12, 1, 21), Key(Legacy::Sirc12, 1, 21)},
        {});
    ASSERT_EQ(bursts.size(), 4u + 2 * 3);
    EXPECT_EQ(Code(bursts[0].durations), Code(bursts[1].durations));
    EXPECT_NE(Code(bursts[0].durations), Code(bursts[2].durations));
    EXPECT_NE(Code(bursts[0].durations), Code(bursts[3].durations));
    for (std::size_t i = 5; i < bursts.size(); ++i) EXPECT_EQ(bursts[i].durations, bursts[4].durations);
}

TEST(Generator, Rc5ToggleFlipsPerPressAndStaysWhileHeld) {
    const std::vector<TimedBurst> bursts =
        GenerateKeyPresses({Key(Legacy::Rc5, 16, 13, 300), Key(Legacy::Rc5, 16, 13)}, {});
    // Frames at 0, 113.8 and 227.6 ms of the first press, one of the second.
    ASSERT_EQ(bursts.size(), 4u);
    EXPECT_EQ(bursts[1].durations, bursts[0].durations);
    EXPECT_EQ(bursts[2].durations, bursts[0].durations);
    EXPECT_NE(bursts[3].durations, bursts[0].durations);
    EXPECT_NE(Code(bursts[3].durations), Code(bursts[0].durations));
}

TEST(Generator, Rc5HalfBitsMerge) {
    GeneratorOptions halfBits;
    halfBits.unitMicros = 889;  // one unit per half-bit
    struct Case {
        std::uint32_t address, command;
        unsigned halves;  // 28 less the leading space and a trailing one
    };
    // Start bit 1 always hides its first half; a last bit 0 hides its second.
    const Case cases[] = {{16, 13, 27}, {0, 0, 26}, {31, 127, 27}, {5, 64, 26}};
    for (const Case& c : cases) {
        const Bytes frame = GenerateKeyPresses({Key(Legacy::Rc5, c.address, c.command)}, halfBits)[0].durations;
        unsigned halves = 0;
        for (std::uint8_t d : frame) {
            EXPECT_TRUE(d == 1 || d == 2) << int(d);
            halves += d;
        }
        EXPECT_EQ(halves, c.halves) << c.address << ":" << c.command;
        EXPECT_EQ(frame.size() % 2, 1u) << "starts and ends with a mark";
    }
}

TEST(Generator, SircSendsAtLeastThreeFrames) {
    struct Case {
        std::uint32_t holdMs;
        std::size_t frames;
    };
    const Case cases[] = {{0, 3}, {135, 3}, {136, 4}, {200, 5}};
    for (const Case& c : cases) {
        const std::vector<TimedBurst> bursts = GenerateKeyPresses({Key(Legacy::Sirc12, 1, 21, c.holdMs)}, {});
        ASSERT_EQ(bursts.size(), c.frames) << c.holdMs;
        EXPECT_EQ(bursts[0].durations.size(), 25u);
        EXPECT_EQ(bursts[0].durations[0], 48);  // 2.4 ms header mark
        EXPECT_EQ(bursts[1].atMs - bursts[0].atMs, 45u);
    }
}

TEST(Generator, DurationsStayWithinOneToFdAndTimesNeverDecrease) {
    const std::vector<KeyPress> presses = {Key(Legacy::Nec, 0, 0, 250), Key(Legacy::Rc5, 31, 127, 250),
                                           Key(Legacy::Sirc12, 31, 127), Key(Legacy::Nec, 255, 255)};
    struct Case {
        double unit;
        double jitter;
    };
    const Case cases[] = {{50, 0}, {50, 50}, {1, 0}, {10, 20}, {100000, 0}, {3000, 50}};
    for (const Case& c : cases) {
        GeneratorOptions options;
        options.unitMicros = c.unit;
        options.jitterPercent = c.jitter;
        const std::vector<TimedBurst> bursts = GenerateKeyPresses(presses, options);
        ASSERT_FALSE(bursts.empty());
        for (std::size_t i = 0; i < bursts.size(); ++i) {
            for (std::uint8_t d : bursts[i].durations) {
                ASSERT_GE(d, 1) << "unit " << c.unit;
                ASSERT_LE(d, 0xFD) << "unit " << c.unit;
            }
            if (i > 0) {
                ASSERT_GE(bursts[i].atMs, bursts[i - 1].atMs);
            }
        }
    }
}

TEST(Generator, JitterFollowsTheSeed) {
    const std::vector<KeyPress> presses = {Key(Legacy::Nec, 4, 8)};
    GeneratorOptions options;
    options.jitterPercent = 10;
    options.seed = 5;
    const std::vector<TimedBurst> first = GenerateKeyPresses(presses, options);
    EXPECT_EQ(GenerateKeyPresses(presses, options), first);
    options.seed = 6;
    EXPECT_NE(GenerateKeyPresses(presses, options), first);
    options.jitterPercent = 0;
    EXPECT_NE(GenerateKeyPresses(presses, options), first);
}

TEST(Generator, GapSeparatesPresses) {
    KeyPress first = Key(Legacy::Nec, 4, 8);
    first.gapMs = 1000;
    const std::vector<TimedBurst> bursts = GenerateKeyPresses({first, Key(Legacy::Nec, 4, 8)}, {});
    ASSERT_EQ(bursts.size(), 2u);
    // Each frame lasts 68 ms; the second starts 1000 ms after the first ends.
    EXPECT_EQ(bursts[1].atMs - bursts[0].atMs, 1000u + 68u);
}

}  // namespace
}  // namespace orbisk::tool
