#include "capture/decode_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/capture.h"
#include "common/code_text.h"

namespace orbisk::tool {
namespace {

using Bytes = std::vector<std::uint8_t>;

// "CODE kind" lines, as orbisk decode prints them.
std::vector<std::string> Lines(const Bytes& bytes, int skip, int repeatLength) {
    std::vector<std::string> lines;
    for (const DecodedBurst& burst : DecodeWireBytes(bytes, skip, repeatLength))
        lines.push_back(CodeText(burst.code) + " " + BurstKindName(burst.kind));
    return lines;
}

TEST(DecodeStream, EachBurstPrintsThePublishedCode) {
    struct Case {
        const char* what;
        Bytes bytes;
        int skip;
        int repeatLength;
        std::vector<std::string> lines;
    };
    Bytes overlong(256, 9);
    overlong.push_back(0xFE);
    const Case cases[] = {
        {"key, repeat, short, repeat of zero, unfinished tail",
         {10, 5, 5, 10, 5, 0xFE, 9, 9, 9, 0xFE, 1, 0xFE, 9, 9, 9, 0xFE, 3, 3},
         0,
         3,
         {"4E6FAE38 key", "4E6FAE38 repeat", "0000000 short", "0000000 repeat"}},
        {"repeat before any key", {9, 9, 9, 0xFE}, 0, 3, {"0000000 repeat"}},
        {"skip applies", {100, 50, 5, 5, 10, 5, 0xFE}, 4, 3, {"999D7CF4 key"}},
        {"empty bursts", {0xFE, 0xFE}, 4, 1, {"0000000 short", "0000000 short"}},
        {"empty burst at repeat length 0 repeats", {10, 5, 5, 10, 5, 0xFE, 0xFE}, 0, 0,
         {"4E6FAE38 key", "4E6FAE38 repeat"}},
        {"256 durations arrive as one", overlong, 4, 3, {"0000000 short"}},
        {"nothing", {}, 4, 3, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Lines(c.bytes, c.skip, c.repeatLength), c.lines);
    }
}

// A key line names the frame only when recognition runs.
TEST(DecodeStream, KeyLineEndsWithTheFrameOnlyWithRecognition) {
    const Bytes bytes = WireBytes(GenerateKeyPresses({{{IrProtocol::Nec, 0x0408, false}}}, {}));
    for (const bool recognize : {true, false}) {
        const std::vector<DecodedBurst> bursts = DecodeWireBytes(bytes, 4, 3, recognize);
        ASSERT_EQ(bursts.size(), 1u);
        const std::string suffix = recognize ? " key\tNEC 0x04 0x08 (nec:0x0408)" : " key";
        EXPECT_TRUE(BurstText(bursts[0]).ends_with(suffix)) << BurstText(bursts[0]);
    }
}

TEST(DecodeStream, HexText) {
    Bytes bytes;
    std::string error;
    ASSERT_TRUE(ParseWireHex("B4 0x5a\tfe # comment FE zz\n\r\n7 0XFE#x\nff", bytes, error)) << error;
    EXPECT_EQ(bytes, (Bytes{0xB4, 0x5A, 0xFE, 0x07, 0xFE, 0xFF}));
}

TEST(DecodeStream, HexTextErrorsNameLineAndToken) {
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"B4 5A zz FE", "line 1: 'zz' is not a hexadecimal byte value"},
        {"B4\n# ok\n5A 100", "line 3: '100' is not a hexadecimal byte value"},
        {"B4,5A", "line 1: 'B4,5A' is not a hexadecimal byte value"},
    };
    for (const Case& c : cases) {
        Bytes bytes{1};
        std::string error;
        EXPECT_FALSE(ParseWireHex(c.text, bytes, error)) << c.text;
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(bytes, Bytes{1});
    }
}

}  // namespace
}  // namespace orbisk::tool
