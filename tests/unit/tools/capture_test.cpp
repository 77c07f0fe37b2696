#include "capture/capture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orbisk::tool {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(Capture, FormatThenParseGivesTheSameBursts) {
    Bytes overlong(300);
    for (std::size_t i = 0; i < overlong.size(); ++i) overlong[i] = static_cast<std::uint8_t>(i % 0xFE);
    const std::vector<TimedBurst> bursts = {
        {0, {0xB4, 0x5A, 0x0B}}, {0, {}}, {67, {0x00, 0xFF, 0xFD, 0x01}}, {4294967295u, overlong},
    };
    const std::string text = FormatCapture(bursts);
    EXPECT_EQ(text.substr(0, text.find('\n') + 1), "@0 B4 5A 0B\n");
    std::vector<TimedBurst> parsed;
    std::string error;
    ASSERT_TRUE(ParseCapture(text, parsed, error)) << error;
    EXPECT_EQ(parsed, bursts);
}

TEST(Capture, ParseAcceptsCommentsBlankLinesAndLooseHex) {
    const std::string text =
        "# a capture\r\n"
        "\r\n"
        "  @5 b4 0x5A 0XfD\t7 # first burst\r\n"
        "@5\n"
        "   # indented comment\n"
        "@12 00";
    std::vector<TimedBurst> parsed;
    std::string error;
    ASSERT_TRUE(ParseCapture(text, parsed, error)) << error;
    const std::vector<TimedBurst> expected = {{5, {0xB4, 0x5A, 0xFD, 0x07}}, {5, {}}, {12, {0x00}}};
    EXPECT_EQ(parsed, expected);
}

TEST(Capture, ParseErrorsNameTheLine) {
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"B4 5A FE", "line 1: expected '@' and a time in milliseconds, found 'B4'"},
        {"@10 B4\n@5 0B", "line 2: time 5 ms comes before the previous burst's 10 ms"},
        {"\n# x\n@1 FE", "line 3: 'FE' is the burst terminator, not a duration"},
        {"@1 0B GG", "line 1: 'GG' is not a hexadecimal byte value"},
        {"@1 100", "line 1: '100' is not a hexadecimal byte value"},
        {"@1 0x", "line 1: '0x' is not a hexadecimal byte value"},
        {"@4294967296 01", "line 1: expected '@' and a time in milliseconds, found '@4294967296'"},
        {"@-1 01", "line 1: expected '@' and a time in milliseconds, found '@-1'"},
        {"@ 5 01", "line 1: expected '@' and a time in milliseconds, found '@'"},
    };
    for (const Case& c : cases) {
        std::vector<TimedBurst> parsed = {{1, {1}}};
        std::string error;
        EXPECT_FALSE(ParseCapture(c.text, parsed, error)) << c.text;
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(parsed.size(), 1u) << "output changed on failure";
    }
}

TEST(Capture, HexByteTokens) {
    struct Case {
        const char* token;
        bool ok;
        int value;
    };
    const Case cases[] = {
        {"FE", true, 0xFE}, {"fe", true, 0xFE}, {"0xFE", true, 0xFE}, {"0Xfe", true, 0xFE}, {"7", true, 7},
        {"00", true, 0},    {"", false, 0},     {"0x", false, 0},     {"1FE", false, 0},  {"G1", false, 0},
        {"-1", false, 0},   {"0x100", false, 0},
    };
    for (const Case& c : cases) {
        std::uint8_t value = 0;
        EXPECT_EQ(ParseHexByte(c.token, value), c.ok) << c.token;
        if (c.ok) {
            EXPECT_EQ(value, c.value) << c.token;
        }
    }
}

TEST(Capture, WireBytesCloseEveryBurst) {
    const std::vector<TimedBurst> bursts = {{0, {0xB4, 0x0B}}, {1, {}}, {2, {0xFF}}};
    EXPECT_EQ(WireBytes(bursts), (Bytes{0xB4, 0x0B, 0xFE, 0xFE, 0xFF, 0xFE}));
    EXPECT_EQ(FormatWireHex(bursts), "B4 0B FE\nFE\nFF FE\n");
}

TEST(KeyPressText, ParsesProtocolNumbersAndHold) {
    struct Case {
        const char* text;
        IrFrame frame;
        std::uint32_t holdMs;
    };
    const Case cases[] = {
        {"nec:0x04:0x08", {IrProtocol::Nec, 0x0408, false}, 0},
        {"NEC:255:255:500", {IrProtocol::Nec, 0xFFFF, false}, 500},
        {"rc5:16:13:0", {IrProtocol::Rc5, 0x100D, false}, 0},
        {"Sirc:31:127:3600000", {IrProtocol::Sony12, 0x1F007F, false}, 3600000},
        {"nec:0x0408", {IrProtocol::Nec, 0x0408, false}, 0},
        {"rc6_mce:0x800f0410", {IrProtocol::Rc6Mce, 0x800F0410, false}, 0},
        {"sony15:0x970012:500", {IrProtocol::Sony15, 0x970012, false}, 500},
    };
    for (const Case& c : cases) {
        KeyPress press;
        press.gapMs = 77;
        press.holdMs = 9;
        std::string error;
        ASSERT_TRUE(ParseKeyPress(c.text, press, error)) << c.text << ": " << error;
        EXPECT_EQ(press.frame, c.frame) << c.text;
        EXPECT_EQ(press.holdMs, c.holdMs) << c.text;
        EXPECT_EQ(press.gapMs, 77u) << c.text;
    }
}

TEST(KeyPressText, RejectsWhatNoRemoteSends) {
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"nec:256:1", "'nec:256:1': address '256' is not a number from 0 to 255"},
        {"rc5:32:1", "'rc5:32:1': address '32' is not a number from 0 to 31"},
        {"sirc:1:128", "'sirc:1:128': command '128' is not a number from 0 to 127"},
        {"nec:1:2:-5", "'nec:1:2:-5': hold time '-5' is not a number from 0 to 3600000"},
        {"nec:1:x", "'nec:1:x': command 'x' is not a number from 0 to 255"},
        {"rc6_mce:0x12340410", "'rc6_mce:0x12340410': rc6_mce cannot send scancode 0x12340410"},
        {"xiaomi:0x12345", "'xiaomi:0x12345': xiaomi cannot send scancode 0x12345"},  // its check nibble is wrong
        {"rc5:0x2000", "'rc5:0x2000': scancode '0x2000' is not a number from 0 to 8063"},
        {"nec:1:2:3:4", "'nec:1:2:3:4' is not a key: write PROTOCOL:SCANCODE[:HOLD_MS] or, for nec, rc5 and "
                        "sirc, PROTOCOL:ADDRESS:COMMAND[:HOLD_MS]"},
    };
    for (const Case& c : cases) {
        KeyPress press;
        std::string error;
        EXPECT_FALSE(ParseKeyPress(c.text, press, error)) << c.text;
        EXPECT_EQ(error, c.error);
    }
}

}  // namespace
}  // namespace orbisk::tool
