#include "common/text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace orbisk {
namespace {

TEST(Text, UpperCaseFoldsAsciiLettersOnly) {
    EXPECT_EQ(AsciiUpperCase("0a3f21c_Mute z{"), "0A3F21C_MUTE Z{");
    EXPECT_EQ(AsciiUpper('`'), '`');
    EXPECT_EQ(AsciiUpper('\xE9'), '\xE9');
    EXPECT_EQ(AsciiUpperCase(""), "");
}

TEST(Text, EqualsIgnoreCase) {
    struct Case {
        const char* a;
        const char* b;
        bool equal;
    };
    const Case cases[] = {
        {"e2c51f09", "E2C51F09", true}, {"Main", "MAIN", true},   {"", "", true},
        {"0A3F21C", "A3F21C", false},   {"MAIN", "MAINS", false}, {"a", "b", false},
    };
    for (const Case& c : cases) EXPECT_EQ(EqualsIgnoreCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
}

TEST(Text, TrimBlanksDropsSpacesAndTabsAtBothEnds) {
    EXPECT_EQ(TrimBlanks(" \t key \t"), "key");
    EXPECT_EQ(TrimBlanks("in side"), "in side");
    EXPECT_EQ(TrimBlanks(" \t "), "");
    EXPECT_EQ(TrimBlanks("x\n"), "x\n");  // line breaks are not blanks
}

TEST(Text, BoundedCopyTruncatesAndZeroesTheRest) {
    struct Case {
        const char* text;
        std::size_t maxChars;
        const char* expected;
    };
    const Case cases[] = {{"Power", 10, "Power"}, {"VolumeUp", 4, "Volu"}, {"", 3, ""}, {"abc", 3, "abc"}};
    for (const Case& c : cases) {
        char dest[16];
        std::memset(dest, 'x', sizeof dest);
        BoundedCopy(dest, c.text, c.maxChars);
        const std::size_t n = std::strlen(c.expected);
        EXPECT_EQ(std::string(dest, n), c.expected);
        for (std::size_t i = n; i <= c.maxChars; ++i) EXPECT_EQ(dest[i], '\0') << c.text << " at " << i;
        EXPECT_EQ(dest[c.maxChars + 1], 'x') << "wrote past the bound";
    }
}

TEST(Text, FieldTextStopsAtTheFirstNulOrTheFieldEnd) {
    const char terminated[8] = {'a', 'b', '\0', 'c', 'd', 'e', 'f', 'g'};
    EXPECT_EQ(FieldText(terminated, sizeof terminated), "ab");
    const char full[4] = {'w', 'x', 'y', 'z'};
    EXPECT_EQ(FieldText(full, sizeof full), "wxyz");
    EXPECT_EQ(FieldText(full, 0), "");
}

}  // namespace
}  // namespace orbisk
