// The record as a 32-bit Windows host reads it: by offset, with real addresses.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "engine/key_event_record.h"
#include "orbisk/host.h"

namespace orbisk {
namespace {

TEST(Win32Record, AddressFieldsHoldTheTextsThemselves) {
    static_assert(sizeof(void*) == 4);
    OrbiskKeyEventRecord record{};
    const char code[] = "0A3F21C";
    const char remote[] = "TV";
    record.CodeTextRef = reinterpret_cast<std::uintptr_t>(code);
    record.RemoteNameRef = reinterpret_cast<std::uintptr_t>(remote);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
    std::uint32_t at212 = 0, at216 = 0;
    std::memcpy(&at212, bytes + 212, 4);
    std::memcpy(&at216, bytes + 216, 4);
    EXPECT_EQ(reinterpret_cast<const char*>(at212), code);
    EXPECT_EQ(reinterpret_cast<const char*>(at216), remote);
    EXPECT_EQ(OrbiskRecordCodeText(&record), code);
}

}  // namespace
}  // namespace orbisk
