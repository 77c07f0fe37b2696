#include "common/code_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace orbisk {
namespace {

TEST(CodeText, UpperCaseHexWithAtLeastSevenDigits) {
    struct Case {
        std::uint64_t code;
        const char* text;
    };
    const Case cases[] = {
        {0, "0000000"},
        {0x1A2B, "0001A2B"},
        {0x0A3F21C, "0A3F21C"},
        {0xFFFFFFF, "FFFFFFF"},
        {0x10000000, "10000000"},
        {0xE2C51F09, "E2C51F09"},
        {0x00942D4E, "0942D4E"},
        {0xFFFFFFFFFFFFFFFFull, "FFFFFFFFFFFFFFFF"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CodeText(c.code), c.text);
        char buffer[CodeTextCapacity];
        std::memset(buffer, 'x', sizeof buffer);
        const std::size_t length = FormatCodeText(c.code, buffer);
        EXPECT_EQ(length, std::strlen(c.text));
        EXPECT_STREQ(buffer, c.text);
    }
}

}  // namespace
}  // namespace orbisk
