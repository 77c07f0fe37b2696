#include "commands/keymap.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "receiver/analysis/burst_codes.h"

namespace orbisk::tool {
namespace {

// Every keymap Debian's ir-keytable ships reads, and every keymap of a
// protocol the recogniser knows has keys it imports.  Keys whose scancode
// the protocol cannot carry (imon_mce's keyboard codes under rc6_mce) are
// skipped, and keys that differ only in the durations SkipBegin leaves out
// share a code; both are counted.
TEST(Keymaps, EveryKeymapOfARecognisedProtocolImports) {
    const std::filesystem::path folder = "/lib/udev/rc_keymaps";
    if (!std::filesystem::is_directory(folder)) GTEST_SKIP() << "ir-keytable is not installed";
    int files = 0, importable = 0, skipped = 0, shared = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() != ".toml") continue;
        ++files;
        std::vector<KeymapTable> tables;
        std::string error;
        ASSERT_TRUE(ReadKeymap(entry.path().string(), tables, error)) << error;
        std::set<std::uint32_t> codes;
        std::size_t keys = 0, all = 0;
        for (const KeymapTable& table : tables) {
            for (const auto& [scancode, name] : table.keys) {
                ++all;
                if (const std::optional<IrFrame> frame = KeymapFrame(table, scancode)) {
                    codes.insert(StableCode(*frame));
                    ++keys;
                }
            }
        }
        skipped += static_cast<int>(all - keys);
        shared += static_cast<int>(keys - codes.size());
        importable += keys > 0;
    }
    EXPECT_GT(files, 100);
    EXPECT_GT(importable, 60);
    std::printf("%d keymaps, %d import; %d keys of other protocols skipped, %d share a code at SkipBegin=4\n",
                files, importable, skipped, shared);
}

TEST(Keymaps, FrameOfAKeymapKey) {
    const struct {
        KeymapTable table;
        std::uint32_t scancode;
        std::optional<IrFrame> expected;
    } cases[] = {
        {{"", "nec", "nec", {}}, 0x0408, IrFrame{IrProtocol::Nec, 0x0408, false}},
        {{"", "nec", "nec", {}}, 0x4eb01, IrFrame{IrProtocol::Necx, 0x4eb01, false}},
        {{"", "nec", "nec32", {}}, 0x1, IrFrame{IrProtocol::Nec32, 0x1, false}},
        {{"", "rc6", "rc6_mce", {}}, 0x800ff415, IrFrame{IrProtocol::Rc6Mce, 0x800f7415, false}},
        {{"", "rc6", "rc6_mce", {}}, 0x0200001e, std::nullopt},
        {{"", "rc5", "", {}}, 0x1e01, IrFrame{IrProtocol::Rc5, 0x1e01, false}},
        {{"", "imon", "", {}}, 0x1, std::nullopt},
        {{"", "rc-mm", "rc-mm-24", {}}, 0x123, IrFrame{IrProtocol::Rcmm24, 0x123, false}},
        {{"", "rc-mm", "", {}}, 0x8f0e1d2c, IrFrame{IrProtocol::Rcmm32, 0x8f0e1d2c, false}},
        {{"", "sanyo", "", {}}, 0x1abc12, IrFrame{IrProtocol::Sanyo, 0x1abc12, false}},
        {{"", "rc-5", "rc-5", {}}, 0x1e01, IrFrame{IrProtocol::Rc5, 0x1e01, false}},
        {{"", "samsung36", "", {}}, 0x07070a12, std::nullopt},  // a layout of Orbisk's own
    };
    for (const auto& c : cases) EXPECT_EQ(KeymapFrame(c.table, c.scancode), c.expected) << c.scancode;
}

}  // namespace
}  // namespace orbisk::tool
