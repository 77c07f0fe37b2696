#include "receiver/analysis/ir_recognizer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "receiver/published_state.h"

namespace orbisk {
namespace {

std::string Text(const IrFrame& f) {
    char text[64];
    std::snprintf(text, sizeof text, "%s:0x%X%s", std::string(ProtocolInfo(f.protocol).name).c_str(),
                  static_cast<unsigned>(f.scancode), f.toggle ? " toggle" : "");
    return text;
}

// The frame as a receiver counting in 50 us steps reports it.
std::vector<std::uint8_t> Play(const IrFrame& frame, double jitterPercent, double biasMicros, std::mt19937& random,
                               IrForm form = IrForm::Frame) {
    IrDurations d;
    EXPECT_TRUE(EncodeIrFrame(frame, d, form)) << Text(frame);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(d.count));
    std::uniform_real_distribution<double> spread(-jitterPercent / 100, jitterPercent / 100);
    RenderIrDurations(d, ProtocolInfo(frame.protocol).tickMicros, 50.0, biasMicros, [&] { return spread(random); },
                      bytes.data());
    return bytes;
}

// Every protocol, a few scancodes each (toggles set where the protocol has
// one): generated with jitter and a receiver's bias, recognised as sent,
// with one stable code per key whatever the toggle.
TEST(IrRecognizer, RoundTripsWithJitterAndBias) {
    const IrFrame frames[] = {
        {IrProtocol::Nec, 0x0408, false},        {IrProtocol::Nec, 0xFF00, false},
        {IrProtocol::Necx, 0x12340A, false},     {IrProtocol::Nec32, 0x12345678, false},
        {IrProtocol::Samsung32, 0x0702, false},  {IrProtocol::Jvc, 0x0312, false},
        {IrProtocol::Sony12, 0x010015, false},   {IrProtocol::Sony15, 0x970012, false},
        {IrProtocol::Sony20, 0x1A3A45, false},   {IrProtocol::Sharp, 0x1A5C, false},
        {IrProtocol::Rc5, 0x0535, true},         {IrProtocol::Rc5, 0x1F7F, false},
        {IrProtocol::Rc5x20, 0x1A4C25, true},    {IrProtocol::Rc6_0, 0x040C, true},
        {IrProtocol::Rc6_6a20, 0xA1234, false},  {IrProtocol::Rc6_6a24, 0xA12345, false},
        {IrProtocol::Rc6_6a32, 0x12345678, false}, {IrProtocol::Rc6Mce, 0x800F0410, true},
        {IrProtocol::Denon, 0x02E1, false},      {IrProtocol::Panasonic, 0x80320, false},
        {IrProtocol::DenonK, 0x41320, false},    {IrProtocol::Jvc48, 0xF00FF, false},
        {IrProtocol::SharpK, 0x18F30A, false},   {IrProtocol::Samsung36, 0x07070A12, false},
        {IrProtocol::Sanyo, 0x1ABC12, false},    {IrProtocol::Nec48, 0x01FE0313, false},
        {IrProtocol::Nec16, 0xF452, false},      {IrProtocol::GiCable, 0x51A, false},
        {IrProtocol::Rca, 0xF12, false},
    };
    std::mt19937 random(5);
    for (const IrFrame& sent : frames) {
        IrFrame cleared = sent;
        cleared.toggle = false;
        const std::uint32_t stable = StableCode(cleared);
        for (const double bias : {-100.0, 0.0, 150.0}) {
            for (int press = 0; press < 20; ++press) {
                const std::vector<std::uint8_t> burst = Play(sent, 10, bias, random);
                IrFrame got;
                ASSERT_TRUE(RecognizeBurst(burst.data(), static_cast<int>(burst.size()), got))
                    << Text(sent) << " bias " << bias;
                EXPECT_EQ(Text(got), Text(sent)) << "bias " << bias;
                EXPECT_EQ(StableCode(got), stable) << Text(sent);
            }
        }
    }
}

// RC-MM's, XMP's and Xiaomi's spaces are 167, 136 and 300 us apart, a few
// receiver units: rounding takes much of the margin, and they stand little
// jitter.
TEST(IrRecognizer, FineStepProtocolsRoundTrip) {
    const IrFrame frames[] = {{IrProtocol::Rcmm12, 0x9C3, false},
                              {IrProtocol::Rcmm24, 0x123456, false},
                              {IrProtocol::Rcmm32, 0x8F0E1D2C, false},
                              {IrProtocol::XmpHalf, 0x10F443E, false},
                              {IrProtocol::Xiaomi, 0x893CE, false}};
    std::mt19937 random(6);
    for (const IrFrame& sent : frames) {
        for (const double bias : {-40.0, 0.0, 40.0}) {
            for (int press = 0; press < 20; ++press) {
                const std::vector<std::uint8_t> burst = Play(sent, 1, bias, random);
                IrFrame got;
                ASSERT_TRUE(RecognizeBurst(burst.data(), static_cast<int>(burst.size()), got))
                    << Text(sent) << " bias " << bias;
                EXPECT_EQ(Text(got), Text(sent)) << "bias " << bias;
            }
        }
    }
}

// Xiaomi's check nibble: a period jitter moved half a step is read as
// sent, one moved a whole step (another key's frame but for the check) is
// not read as Xiaomi.
TEST(IrRecognizer, XiaomiCheckMendsHalfStepsAndRefusesWholeOnes) {
    const IrFrame sent{IrProtocol::Xiaomi, 0x89463, false};
    std::mt19937 random(1);
    const std::vector<std::uint8_t> clean = Play(sent, 0, 0, random);
    // A step is 300 us, 6 receiver units; moved: the space of the eighth symbol (a 2).
    for (const int units : {-3, 3, 6}) {
        std::vector<std::uint8_t> burst = clean;
        burst[17] = static_cast<std::uint8_t>(burst[17] + units);
        IrFrame got;
        const bool read = RecognizeBurst(burst.data(), static_cast<int>(burst.size()), got);
        if (units == 6)
            EXPECT_FALSE(read && got.protocol == IrProtocol::Xiaomi) << Text(got);
        else
            EXPECT_TRUE(read && Text(got) == Text(sent)) << units << ": " << Text(got);
    }
}

// Presses at 10 % jitter a wrong key is worse than none for: a Xiaomi
// RIGHT (0x860C2) whose check two symbols could mend, one of them into OK's
// scancode (0x860D3); and a 0x893CE read as 0x8938A, whose check passes
// but some of whose durations lie over half a step off that frame's.
TEST(IrRecognizer, XiaomiMendsNoPressIntoAnotherKey) {
    const std::vector<std::uint8_t> bursts[] = {
        {21, 10, 15, 22, 15, 10, 14, 16, 16, 21, 15, 10, 15, 10, 14, 26, 15, 11, 14, 10, 14, 25, 13},
        {22, 12, 13, 23, 13, 11, 12, 23, 13, 18, 12, 13, 12, 28, 11, 29, 12, 12, 11, 29, 12, 24, 11}};
    for (const auto& burst : bursts) {
        IrFrame got;
        EXPECT_FALSE(RecognizeBurst(burst.data(), static_cast<int>(burst.size()), got) &&
                     got.protocol == IrProtocol::Xiaomi)
            << Text(got);
    }
}

// What a held key sends after its first frame is the same key: JVC without
// its header, Sharp's echo; and an RC-6 6A frame with its trailer bit set.
TEST(IrRecognizer, FollowUpFramesAreTheSameKey) {
    const struct {
        IrFrame frame;
        IrForm form;
    } cases[] = {
        {{IrProtocol::Jvc, 0x0312, false}, IrForm::FollowUp},
        {{IrProtocol::Sharp, 0x1A5C, false}, IrForm::FollowUp},
        {{IrProtocol::Denon, 0x02E1, false}, IrForm::FollowUp},
        {{IrProtocol::Rc6Mce, 0x800F0410, false}, IrForm::Rc6Trailer},
    };
    std::mt19937 random(9);
    for (const auto& c : cases) {
        const std::vector<std::uint8_t> burst = Play(c.frame, 5, 60, random, c.form);
        IrFrame got;
        ASSERT_TRUE(RecognizeBurst(burst.data(), static_cast<int>(burst.size()), got)) << Text(c.frame);
        EXPECT_EQ(Text(got), Text(c.frame));
    }
}

// The ideal NEC frame's older code is the code a clean press at the common
// receiver unit already gave, with any skip, so keys learned from clean
// presses keep it.
TEST(IrRecognizer, NecOlderCodeIsTheCleanPressCode) {
    std::mt19937 random(1);
    const IrFrame key{IrProtocol::Nec, 0x0408, false};
    const std::vector<std::uint8_t> clean = Play(key, 0, 0, random);
    EXPECT_EQ(OlderCode(key, 4), DecodeBurst(clean.data(), static_cast<int>(clean.size()), 4));
    EXPECT_EQ(OlderCode(key, 0), DecodeBurst(clean.data(), static_cast<int>(clean.size()), 0));
}

// A recognised frame's code tells its protocol and every bit of its
// scancode apart, and is 0 for a frame without an ideal form.
TEST(IrRecognizer, StableCodeCoversTheProtocolAndEveryScancodeBit) {
    std::set<KeyCode> codes;
    std::size_t frames = 0;
    for (int p = 0; p < IrProtocolCount; ++p) {
        const auto protocol = static_cast<IrProtocol>(p);
        const std::uint32_t base = protocol == IrProtocol::Rc6Mce ? 0x800F0000u : 0u;
        for (int bit = -1; bit < 32; ++bit) {
            const IrFrame frame{protocol, base ^ (bit < 0 ? 0u : 1u << bit), false};
            const KeyCode code = StableCode(frame);
            EXPECT_EQ(code != 0, CanEncodeIrFrame(frame)) << Text(frame);
            frames += code != 0;
            codes.insert(code);
        }
    }
    codes.erase(0);
    EXPECT_EQ(codes.size(), frames);
}

// Published with recognition: the stable code, the burst's own code and the
// frame; without, exactly the burst's own code as before.
TEST(IrRecognizer, ClassifyBurstPublishesTheStableCodeOnlyWhenAsked) {
    struct NoWake final : WakeUp {
        void Set() override {}
    } wake;
    std::mt19937 random(3);
    const IrFrame key{IrProtocol::Sony12, 0x010015, false};
    const std::vector<std::uint8_t> burst = Play(key, 8, 100, random);
    const int length = static_cast<int>(burst.size());
    const KeyCode own = static_cast<KeyCode>(DecodeBurst(burst.data(), length, 4));
    for (const bool recognize : {false, true}) {
        PublishedState state;
        ClassifyBurst(burst.data(), length, 3, 4, state, wake, recognize);
        const BurstCodes expected =
            recognize ? BurstCodes{StableCode(key), own, OlderCode(key, 4), key} : BurstCodes{own, own, 0, IrFrame{}};
        EXPECT_EQ(ReadPublishedCodes(state), expected) << recognize;
        EXPECT_EQ(state.LastCode.load(), expected.code);
    }
}

// Two buttons each, whose bursts a least-squares unit and bias once took for
// one frame of a protocol: Sony with spaces of 8 and 14 as its one space,
// RC-5 with spaces of 9 to 17 as its short and long ones, JVC with marks of
// 10 and 20 as its one mark.  The lengths a protocol gives one duration
// must be one length of the burst, so the buttons keep apart.
TEST(IrRecognizer, KeepsApartButtonsThatAFitTookForOneFrame) {
    const char* pairs[][2] = {
        {"1A 08 06 0E 07 0E 07 08 06 08 06 08 06 08 06 0E 06 08 06 0E 07 0E 07 0E 07",
         "1A 08 06 0E 07 08 06 0E 07 08 06 08 06 08 06 0E 07 08 06 0E 07 08 06 08 06"},
        {"09 0E 04 0B 04 11 04 0B 04 0B 04 0E 03 0B 04 0B 04 09 03 0C 03 0E 03 09 03",
         "09 0E 04 0B 04 11 04 0B 04 0B 04 0E 03 0B 04 0B 04 09 03 0C 03 0E 03 0C 03"},
        {"0A 14 14 14 0A 0A 14 14 14 14 0A 0A 0A 0A 0A 0A 0A 0A 0A 0A 0A 0A 0A 0A 14 14 0A 0A 14 14 0A 0A 14",
         "0A 14 14 14 0A 0A 14 14 14 14 0A 0A 0A 0A 0A 0A 0A 0A 0A 0A 0A 0A 0A 0A 14 14 0A 0A 0A 0A 14 14 14"},
    };
    for (const auto& pair : pairs) {
        BurstCodes codes[2];
        for (int k = 0; k < 2; ++k) {
            std::vector<std::uint8_t> burst;
            for (const char* p = pair[k]; *p != '\0'; p += p[2] == '\0' ? 2 : 3)
                burst.push_back(static_cast<std::uint8_t>(std::stoi(std::string(p, 2), nullptr, 16)));
            codes[k] = DecodeBurstCodes(burst.data(), static_cast<int>(burst.size()), 4, true);
            const IrProtocol read = codes[k].frame.protocol;
            EXPECT_TRUE(read == IrProtocol::None || IsLevelReading(read))
                << pair[k] << ": " << DescribeIrFrame(codes[k].frame);
        }
        EXPECT_NE(codes[0].code, codes[1].code) << pair[0];
    }
}

// A Sharp press through a receiver that moves each edge by up to about
// 60 us: its marks of 320 us come out 250 to 450 us.
TEST(IrRecognizer, ReadsSharpWhoseEdgesMove) {
    const std::uint8_t burst[] = {0x09, 0x26, 0x09, 0x0E, 0x07, 0x10, 0x08, 0x11, 0x06, 0x0F, 0x07,
                                  0x25, 0x07, 0x10, 0x07, 0x10, 0x05, 0x26, 0x07, 0x0F, 0x07, 0x26,
                                  0x07, 0x25, 0x07, 0x27, 0x07, 0x10, 0x06, 0x26, 0x07};
    IrFrame got;
    ASSERT_TRUE(RecognizeBurst(burst, static_cast<int>(sizeof burst), got));
    EXPECT_EQ(DescribeIrFrame(got), "Sharp 0x01 0x16 (sharp:0x0116)");
}

// A Denon frame as a receiver counting in 50 us reports it: Sharp's timing
// with the check bits 0, 0.
TEST(IrRecognizer, RecognisesDenon) {
    const std::uint8_t burst[] = {0x05, 0x10, 0x05, 0x24, 0x06, 0x10, 0x05, 0x10, 0x05, 0x10, 0x05,
                                  0x24, 0x06, 0x10, 0x05, 0x10, 0x05, 0x10, 0x05, 0x10, 0x05, 0x25,
                                  0x06, 0x24, 0x06, 0x25, 0x05, 0x10, 0x05, 0x10, 0x05};
    IrFrame got;
    ASSERT_TRUE(RecognizeBurst(burst, static_cast<int>(sizeof burst), got));
    EXPECT_EQ(DescribeIrFrame(got), "Denon 0x02 0xE1 (denon:0x02e1)");
}

// Bits derived from others (parity, check nibbles and bytes, inverted
// copies) must be what the scancode gives: a frame with one of them
// flipped is not recognised.
TEST(IrRecognizer, RefusesFramesWhoseCheckBitsDisagree) {
    const struct {
        IrFrame frame;
        int space;        // a space that carries a derived bit
        int zero, one;    // its lengths for 0 and 1, in ticks
    } cases[] = {
        {{IrProtocol::Panasonic, 0x80320, false}, 3 + 2 * 17, 1, 3},  // vendor parity
        {{IrProtocol::Panasonic, 0x80320, false}, 3 + 2 * 44, 1, 3},  // check byte
        {{IrProtocol::SharpK, 0x18F30A, false}, 3 + 2 * 46, 1, 3},    // check nibble
        {{IrProtocol::Nec48, 0x01FE0313, false}, 3 + 2 * 45, 1, 3},   // inverted second command
        {{IrProtocol::Samsung36, 0x07070A12, false}, 37 + 2 * 15, 1, 3},
        {{IrProtocol::Sanyo, 0x1ABC12, false}, 3 + 2 * 20, 1, 3},
        {{IrProtocol::GiCable, 0x51A, false}, 3 + 2 * 13, 9, 18},
        {{IrProtocol::Rca, 0xF12, false}, 3 + 2 * 20, 2, 4},
    };
    for (const auto& c : cases) {
        IrDurations d;
        ASSERT_TRUE(EncodeIrFrame(c.frame, d));
        auto& ticks = d.ticks[static_cast<std::size_t>(c.space)];
        ticks = static_cast<std::uint8_t>(ticks == c.zero ? c.one : c.zero);
        std::vector<std::uint8_t> burst(static_cast<std::size_t>(d.count));
        RenderIrDurations(d, ProtocolInfo(c.frame.protocol).tickMicros, 50.0, 40.0, [] { return 0.0; }, burst.data());
        IrFrame got;
        EXPECT_FALSE(RecognizeBurst(burst.data(), d.count, got)) << Text(c.frame) << " read as " << Text(got);
    }
    // Marks as long as the spaces: no bias makes XMP's short marks of them.
    const std::uint8_t even[] = {0xE8, 0xE8, 0xF0, 0xAD, 0xE8, 0xE8, 0xE8, 0xE8, 0xE9,
                                 0xE8, 0xE8, 0xE8, 0xE8, 0xE8, 0xF5, 0xEF, 0xFF};
    IrFrame got;
    EXPECT_FALSE(RecognizeBurst(even, 17, got)) << Text(got);
}

// With recognition, a protocol's repeat frame continues the held key
// whatever RepeatLength says; without, its length decides as before.  A
// repeat once recognition is off publishes no frame recognised before it.
TEST(IrRecognizer, RepeatFramesContinueTheHeldKey) {
    struct NoWake final : WakeUp {
        void Set() override {}
    } wake;
    std::mt19937 random(4);
    const IrFrame key{IrProtocol::Nec, 0x0408, false};
    const std::vector<std::uint8_t> frame = Play(key, 5, 60, random);
    const std::vector<std::uint8_t> repeats[] = {
        Play(key, 5, 60, random, IrForm::FollowUp),  // NEC's: 16, 4 and 1 units
        {0x42, 0x42, 0x08},                          // Samsung's: 8, 8, 1
        {0x2C, 0x0F, 0x0F, 0x1C, 0x0F},              // Dyson's: 3, 1, 1, 2, 1
    };
    for (const auto& repeat : repeats) {
        const int n = static_cast<int>(repeat.size());
        PublishedState state;
        ClassifyBurst(frame.data(), static_cast<int>(frame.size()), 3, 4, state, wake, true);
        const BurstCodes held = ReadPublishedCodes(state);
        ASSERT_EQ(held.frame, key);
        EXPECT_EQ(ClassifyBurst(repeat.data(), n, 7, 4, state, wake, true), BurstKind::Repeat) << n;
        EXPECT_EQ(ReadPublishedCodes(state), held);
        EXPECT_EQ(ClassifyBurst(repeat.data(), n, n, 4, state, wake, false), BurstKind::Repeat);
        EXPECT_EQ(ReadPublishedCodes(state), (BurstCodes{held.shapeCode, held.shapeCode, 0, IrFrame{}}));
        EXPECT_EQ(state.LastCode.load(), held.shapeCode);
        EXPECT_EQ(ClassifyBurst(repeat.data(), n, 7, 4, state, wake, false), BurstKind::Short);
    }
}

TEST(IrRecognizer, RefusesScancodesAProtocolCannotCarry) {
    IrDurations d;
    EXPECT_FALSE(EncodeIrFrame({IrProtocol::Rc5, 0x2000, false}, d));
    EXPECT_FALSE(EncodeIrFrame({IrProtocol::Rc6Mce, 0x12340000, false}, d));
    EXPECT_FALSE(EncodeIrFrame({IrProtocol::Rc6_6a32, 0x800F0410, false}, d));
    EXPECT_FALSE(EncodeIrFrame({IrProtocol::Nec, 0x0408, false}, d, IrForm::Rc6Trailer));
}

}  // namespace
}  // namespace orbisk
