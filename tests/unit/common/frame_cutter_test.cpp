#include "receiver/frame_cutter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace orbisk {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Feeds the reads one after the other and returns every burst delivered.
std::vector<Bytes> Cut(const std::vector<Bytes>& reads, FrameCutter& cutter) {
    std::vector<Bytes> bursts;
    for (const Bytes& read : reads)
        cutter.Feed(read.data(), static_cast<int>(read.size()),
                    [&](const std::uint8_t* bytes, int length) { bursts.emplace_back(bytes, bytes + length); });
    return bursts;
}

Bytes Durations(std::size_t count) {
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(1 + i % 200);
    return bytes;
}

Bytes Terminated(Bytes bytes) {
    bytes.push_back(BurstTerminator);
    return bytes;
}

TEST(FrameCutter, BurstsAcrossReads) {
    struct Case {
        const char* what;
        std::vector<Bytes> reads;
        std::vector<Bytes> bursts;
        int pending;
    };
    const Case cases[] = {
        {"whole burst, then half of the next", {{9, 8, 0xFE, 7, 6}, {5, 0xFE}}, {{9, 8}, {7, 6, 5}}, 0},
        {"two terminators in a row", {{4, 0xFE, 0xFE}}, {{4}, {}}, 0},
        {"terminator alone", {{0xFE}}, {{}}, 0},
        {"0xFF and 0x00 are durations", {{0xFF, 0x00, 0xFF, 0xFE}}, {{0xFF, 0x00, 0xFF}}, 0},
        {"unterminated tail stays pending", {{1, 0xFE, 2, 3}}, {{1}}, 2},
        {"byte by byte", {{3}, {2}, {0xFE}, {1}}, {{3, 2}}, 1},
        {"nothing", {{}}, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FrameCutter cutter;
        EXPECT_EQ(Cut(c.reads, cutter), c.bursts);
        EXPECT_EQ(cutter.PendingLength(), c.pending);
    }
}

// A burst of N > 254 durations arrives as its last N mod 255 bytes.
TEST(FrameCutter, OverlongBurstsKeepOnlyTheirTail) {
    struct Case {
        std::size_t durations;
        std::size_t delivered;
    };
    const Case cases[] = {{253, 253}, {254, 254}, {255, 0}, {256, 1}, {509, 254}, {510, 0}, {600, 90}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.durations);
        const Bytes all = Durations(c.durations);
        // Split into 255-byte reads the way the reader asks for them.
        const Bytes stream = Terminated(all);
        std::vector<Bytes> reads;
        for (std::size_t at = 0; at < stream.size(); at += 255)
            reads.emplace_back(stream.begin() + static_cast<long>(at),
                               stream.begin() + static_cast<long>(std::min(stream.size(), at + 255)));
        FrameCutter cutter;
        const std::vector<Bytes> bursts = Cut(reads, cutter);
        ASSERT_EQ(bursts.size(), 1u);
        EXPECT_EQ(bursts[0], Bytes(all.end() - static_cast<long>(c.delivered), all.end()));
    }
}

TEST(FrameCutter, ClearDropsTheBurstInProgress) {
    FrameCutter cutter;
    EXPECT_EQ(Cut({{1, 2, 3}}, cutter), std::vector<Bytes>{});
    cutter.Clear();
    EXPECT_EQ(cutter.PendingLength(), 0);
    EXPECT_EQ(Cut({{4, 0xFE}}, cutter), std::vector<Bytes>{Bytes{4}});
}

}  // namespace
}  // namespace orbisk
