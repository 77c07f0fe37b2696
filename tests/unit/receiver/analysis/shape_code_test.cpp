#include "receiver/published_state.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "unit/receiver/analysis/reference_decoder.h"

namespace orbisk {
namespace {

using Bytes = std::vector<std::uint8_t>;

KeyCode Hash(const Bytes& bytes) { return CodeHash(bytes.data(), bytes.size()); }

std::uint64_t Decode(const Bytes& burst, int skipBegin) {
    return DecodeBurst(burst.data(), static_cast<int>(burst.size()), skipBegin);
}

std::string Hex(std::uint64_t v) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%08llX", static_cast<unsigned long long>(v));
    return text;
}

TEST(CodeHash, ReferenceValues) {
    struct Case {
        Bytes bytes;
        KeyCode expected;
    };
    const Case cases[] = {
        {{0x00}, 0x00942D4Eu},
        {{'a', 'b', 'c'}, 0x6953736Bu},
        {{0x67, 0x18}, 0x4E6FAE38u},
        {{0x03}, 0x999D7CF4u},
    };
    for (const Case& c : cases) EXPECT_EQ(Hex(Hash(c.bytes)), Hex(c.expected));
}

TEST(CodeHash, IsNotALibraryCrc32) {
    // The standard CRC-32 of "abc" is 0x352441C2; the register here shifts
    // the other way and is not inverted at the end.
    EXPECT_NE(Hash({'a', 'b', 'c'}), 0x352441C2u);
}

TEST(CodeHash, MatchesTheStepByStepHashOnLongInputs) {
    std::mt19937 random(7);
    for (std::size_t size : {1u, 2u, 5u, 40u, 255u, 4645u}) {
        Bytes bytes(size);
        for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
        EXPECT_EQ(Hash(bytes), reference::Hash(bytes)) << "size " << size;
    }
}

// Bursts whose cells and packed bytes are worked out by hand.
TEST(DecodeBurst, WorkedExamples) {
    struct Case {
        const char* what;
        Bytes burst;
        int skipBegin;
        Bytes packed;
    };
    const Case cases[] = {
        {"odd length, unit 5", {10, 5, 5, 10, 5}, 0, {0x67, 0x18}},
        {"even length drops the first byte", {7, 10, 5, 5, 10, 5}, 0, {0x67, 0x18}},
        {"unit found among skipped bytes", {100, 50, 5, 5, 10, 5}, 4, {0x03}},
        {"the dropped first byte never sets the unit", {2, 9, 9, 9}, 0, {0x33}},
        {"even burst whose only large value comes first", {200, 5, 10, 5}, 0, {0x63, 0x00}},
        {"6 cells hash one byte", {5, 5, 5}, 0, {0x33}},
        {"7 cells hash a second, zero byte", {5, 10, 5}, 0, {0x63, 0x00}},
        {"levels start at 1 after the skip", {5, 5, 5, 10, 5}, 1, {0x73, 0x00}},
        {"only 0, 1 and 255: unit stays 255", {0, 1, 255}, 0, {0x0D}},
        {"one long space spans several bytes", {4, 255, 4}, 0, {0x03, 0, 0, 0, 0, 0, 0, 0, 0, 0x18}},
        {"negative skip counts as none", {10, 5, 5, 10, 5}, -3, {0x67, 0x18}},
        {"empty burst", {}, 0, {0x00}},
        {"one byte, skipped", {7}, 1, {0x00}},
        {"even burst of two: one byte used", {7, 7}, 0, {0x03}},
        {"skip ends exactly at the end", {10, 5, 5, 10, 5}, 5, {0x00}},
        {"skip beyond the end", {10, 5, 5, 10, 5}, 100, {0x00}},
        {"largest skip", {10, 5, 5, 10, 5}, INT_MAX, {0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::uint64_t code = Decode(c.burst, c.skipBegin);
        EXPECT_EQ(Hex(code), Hex(Hash(c.packed)));
        EXPECT_EQ(code >> 32, 0u);
        EXPECT_EQ(code, reference::Decode(c.burst.data(), static_cast<int>(c.burst.size()), c.skipBegin));
    }
    EXPECT_EQ(Decode({10, 5, 5, 10, 5}, 0), 0x4E6FAE38u);
    EXPECT_EQ(Decode({100, 50, 5, 5, 10, 5}, 4), 0x999D7CF4u);
    EXPECT_EQ(Decode({}, 4), 0x00942D4Eu);
}

// The longest bursts with the shortest unit give up to 128 cells per byte,
// far more than a few hundred cells; every one of them must be hashed.
TEST(DecodeBurst, LongestBurstsGiveEveryCell) {
    struct Case {
        const char* what;
        Bytes burst;
        int skipBegin;
        std::size_t cells;
    };
    Bytes ffWithUnit2(254, 0xFF);
    ffWithUnit2.back() = 2;
    Bytes fdWithUnit2(254, 0xFD);
    fdWithUnit2.back() = 2;
    Bytes oddFfWithUnit2(253, 0xFF);
    oddFfWithUnit2.front() = 2;
    Bytes alternating(254);
    for (std::size_t i = 0; i < alternating.size(); ++i) alternating[i] = (i % 2) ? 2 : 0xFF;
    const Case cases[] = {
        {"0xFF with one 2", ffWithUnit2, 0, 252 * 128 + 2},
        {"0xFF with one 2, default skip", ffWithUnit2, 4, 248 * 128 + 2},
        {"0xFD with one 2", fdWithUnit2, 0, 252 * 127 + 2},
        {"odd length, 0xFF with one 2", oddFfWithUnit2, 0, 252 * 128 + 2},
        {"all 0xFF", Bytes(254, 0xFF), 0, 253 * 2},
        {"all 0xFD", Bytes(254, 0xFD), 0, 253 * 2},
        {"2 and 0xFF alternating", alternating, 0, 127 * 2 + 126 * 128},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int length = static_cast<int>(c.burst.size());
        ASSERT_EQ(reference::Cells(c.burst.data(), length, c.skipBegin).size(), c.cells);
        EXPECT_EQ(Hex(Decode(c.burst, c.skipBegin)),
                  Hex(reference::Decode(c.burst.data(), length, c.skipBegin)));
    }
}

// Every duration against every unit: the quotient must be exact for each
// pair.  The unit byte comes first in an odd burst so it is always used.
TEST(DecodeBurst, EveryDurationAgainstEveryUnit) {
    for (int unit = 2; unit <= 255; ++unit) {
        for (int half = 0; half < 2; ++half) {
            Bytes burst{static_cast<std::uint8_t>(unit)};
            for (int d = half * 128; d < half * 128 + 128; ++d)
                if (d >= unit || d < 2) burst.push_back(static_cast<std::uint8_t>(d));
            if (burst.size() % 2 == 0) burst.push_back(0);
            const int length = static_cast<int>(burst.size());
            ASSERT_EQ(Decode(burst, 0), reference::Decode(burst.data(), length, 0))
                << "unit " << unit << " half " << half;
        }
    }
}

TEST(DecodeBurst, MatchesTheRulesOnRandomBursts) {
    std::mt19937 random(2024);
    for (int round = 0; round < 3000; ++round) {
        const int length = static_cast<int>(random() % (MaxBurstLength + 1));
        Bytes burst(static_cast<std::size_t>(length));
        // Mostly small values so that short units and long runs both occur.
        for (auto& b : burst) b = static_cast<std::uint8_t>(random() % 4 ? random() % 40 : random());
        const int skip = static_cast<int>(random() % 34) - 2;
        ASSERT_EQ(Decode(burst, skip), reference::Decode(burst.data(), length, skip))
            << "round " << round << " length " << length << " skip " << skip;
    }
}

class CountingWakeUp final : public WakeUp {
public:
    explicit CountingWakeUp(const PublishedState& state) : state_(state) {}
    void Set() override {
        ++count;
        // By the time the engine is woken everything must be published.
        codeAtWake = state_.LastCode.load();
        flagsSetAtWake = state_.SignalPresent.load() && state_.UpdatePending.load();
    }
    int count = 0;
    std::uint64_t codeAtWake = 0;
    bool flagsSetAtWake = false;

private:
    const PublishedState& state_;
};

TEST(ClassifyBurst, LengthDecidesBetweenKeyRepeatAndNoise) {
    constexpr std::uint64_t kPrevious = 0x0A3F21C;
    struct Case {
        const char* what;
        Bytes burst;
        int repeatLength;
        std::uint64_t expected;
    };
    const Case cases[] = {
        {"longer: fresh code", {10, 5, 5, 10, 5}, 3, 0x4E6FAE38u},
        {"equal: previous code stays", {9, 9, 9}, 3, kPrevious},
        {"shorter: zero", {9, 9}, 3, 0},
        {"empty burst, repeat length 1", {}, 1, 0},
        {"empty burst, repeat length 0", {}, 0, kPrevious},
        {"empty burst, negative repeat length", {}, -1, 0x00942D4Eu},
        {"longest burst below a huge repeat length", Bytes(254, 9), 1000, 0},
        {"just longer than the repeat length", {10, 5, 5, 10, 5}, 4, 0x4E6FAE38u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PublishedState state;
        state.LastCode = kPrevious;
        CountingWakeUp wake(state);
        ClassifyBurst(c.burst.data(), static_cast<int>(c.burst.size()), c.repeatLength, 0, state, wake);
        EXPECT_EQ(Hex(state.LastCode.load()), Hex(c.expected));
        EXPECT_TRUE(state.SignalPresent.load());
        EXPECT_TRUE(state.UpdatePending.load());
        EXPECT_EQ(wake.count, 1);
        EXPECT_TRUE(wake.flagsSetAtWake);
        EXPECT_EQ(wake.codeAtWake, c.expected);
    }
}

TEST(ClassifyBurst, UsesTheSkipGivenForTheBurst) {
    const Bytes burst{100, 50, 5, 5, 10, 5};
    PublishedState state;
    CountingWakeUp wake(state);
    ClassifyBurst(burst.data(), 6, 3, 4, state, wake);
    EXPECT_EQ(state.LastCode.load(), 0x999D7CF4u);
    ClassifyBurst(burst.data(), 6, 3, 0, state, wake);
    EXPECT_EQ(state.LastCode.load(), Decode(burst, 0));
    EXPECT_EQ(wake.count, 2);
}

TEST(ClassifyBurst, RepeatAfterNoiseRepeatsZero) {
    PublishedState state;
    CountingWakeUp wake(state);
    const Bytes key{10, 5, 5, 10, 5};
    const Bytes noise{1};
    const Bytes repeat{180, 45, 11};
    ClassifyBurst(key.data(), 5, 3, 0, state, wake);
    ClassifyBurst(repeat.data(), 3, 3, 0, state, wake);
    EXPECT_EQ(state.LastCode.load(), 0x4E6FAE38u);
    ClassifyBurst(noise.data(), 1, 3, 0, state, wake);
    ClassifyBurst(repeat.data(), 3, 3, 0, state, wake);
    EXPECT_EQ(state.LastCode.load(), 0u);
    EXPECT_EQ(wake.count, 4);
}

}  // namespace
}  // namespace orbisk
