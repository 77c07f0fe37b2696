#include "remotes/keymap.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "common/code_text.h"
#include "common/text.h"
#include "receiver/analysis/burst_codes.h"
#include "settings/ini_file.h"
#include "support/temp_dir.h"

namespace orbisk::tool {
namespace {

// Every keymap Debian's ir-keytable ships reads, and every keymap of a
// protocol the recogniser knows has keys it imports.  Keys whose scancode
// the protocol cannot carry (imon_mce's keyboard codes under rc6_mce) are
// skipped and counted; no two keys of one keymap share a code, not even
// those that differ only in the first durations (RC-5's field bit).
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
    EXPECT_EQ(shared, 0);
    std::printf("%d keymaps, %d import; %d keys of other protocols skipped\n", files, importable, skipped);
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

// What the TOML library would crash on (the first of no tables, nesting that
// overflows its stack), values of the wrong type, and names that would
// drive a terminal or the settings file are refused; brackets, braces and
// dots in strings and comments are no nesting.
TEST(Keymaps, RefusedWithTheReason) {
    const std::string deep(40000, '.');
    const struct {
        std::string text;
        const char* error;  // empty: read
    } cases[] = {
        {"protocols = [1, 2]", "k: line 1: not a [[protocols]] table"},
        {"protocols = [\"x\", 3]", "k: line 1: not a [[protocols]] table"},
        {"[[protocols]]\nscancodes = 1", "k: line 2: scancodes is not a table"},
        {"[[protocols]]\n[protocols.scancodes]\n1 = 2", "k: line 3: not a scancode with a key name"},
        {"[[protocols]]\n[protocols.scancodes]\n1 = \"\\u001b[2J\"", "k: line 3: the key name holds a control"},
        {"[a" + deep + "a]", "k: line 1: nested more than 32 deep"},
        {"\nx = " + std::string(33, '{'), "k: line 2: nested more than 32 deep"},
        {"# " + deep + std::string(40, '[') + "\n[[protocols]]\nname = '''[{" + deep + "'''\nprotocol = \"\\\"[{" +
             deep + "\"\nvariant = \"\"\"[\"\"\"\"\n[protocols.scancodes]\n\"0x1\" = 'a[{'\n0x2 = '" + deep + "'",
         ""},
    };
    for (const auto& c : cases) {
        std::vector<KeymapTable> tables;
        std::string error;
        EXPECT_EQ(ParseKeymap(c.text, "k", tables, error), *c.error == 0) << c.text.substr(0, 80) << ": " << error;
        EXPECT_EQ(error.substr(0, std::strlen(c.error)), c.error);
    }
}

// Keys in the keymap's order; a key whose code an earlier key has (one
// scancode written three ways, a toggle bit the code does not see) is left
// out beside that key.
TEST(Keymaps, ImportTakesTheFirstKeyOfEachCodeInKeymapOrder) {
    std::vector<KeymapTable> tables;
    std::string error;
    ASSERT_TRUE(ParseKeymap("[[protocols]]\nprotocol = 'nec'\nscancodes = {0x0408 = 'A', 0x0001 = 'Z', 1032 = 'B', "
                            "'0x408' = 'C'}\n[[protocols]]\nprotocol = 'rc6'\nvariant = 'rc6_mce'\nscancodes = "
                            "{0x800f0410 = 'D', 0x800f8410 = 'E', 0x0200001e = 'F'}",
                            "k", tables, error)) << error;
    const KeymapImport plan = PlanKeymapImport(tables);
    std::vector<std::string> keys, skipped, shared;
    for (const auto& [code, key] : plan.keys) keys.push_back(*key.name);
    for (const KeymapKey& key : plan.skipped) skipped.push_back(*key.name);
    for (const auto& [key, holder] : plan.shared) shared.push_back(*key.name + "@" + *holder.name);
    EXPECT_EQ(keys, (std::vector<std::string>{"A", "Z", "D"}));
    EXPECT_EQ(skipped, std::vector<std::string>{"F"});
    EXPECT_EQ(shared, (std::vector<std::string>{"B@A", "C@A", "E@D"}));
}

// The import command refuses, leaving the file as it was, a remote whose
// name holds a control character or that the file reads as [Main], and a
// keymap larger than a settings file can be.
TEST(Keymaps, ImportRefusesWhatTheFileCannotTake) {
    const test::TempDir dir;
    const std::string keymap = dir.File("k.toml"), big = dir.File("big.toml"), ini = dir.File("s.ini");
    const std::string keys = "[[protocols]]\nname = 'TV'\nprotocol = 'nec'\n[protocols.scancodes]\n0x0408 = 'A'\n";
    test::WriteFile(keymap, keys);
    test::WriteFile(big, keys + "#" + std::string(4u << 20, ' '));
    test::WriteFile(ini, "[Main]\n");
    EXPECT_NE(RunSettings({"import", big, ini}), 0);
    for (const std::string& remote : {std::string(" Main"), std::string("main\t"), std::string("T\0V", 3)})
        EXPECT_NE(RunSettings({"import", keymap, "--remote", remote, ini}), 0) << remote;
    EXPECT_EQ(test::ReadFile(ini), "[Main]\n");
    EXPECT_EQ(RunSettings({"import", keymap, "--remote", "Main TV", ini}), 0);
    const std::string code = CodeText(StableCode({IrProtocol::Nec, 0x408, false}));
    EXPECT_EQ(test::ReadFile(ini), "[Main]\n[Main TV]\n" + code + "=A\n;frame " + code + " nec:0x0408\n");
}

// Names through import and back: each reads back from the file as it was
// given (a remote's ']' as '_', and the report names the section so) or is
// refused with the reason, and a refused import leaves the file as it was.
TEST(Keymaps, ImportedNamesReadBackAsGivenOrAreRefused) {
    const test::TempDir dir;
    const std::string keymap = dir.File("k.toml"), ini = dir.File("s.ini");
    const std::string code = CodeText(StableCode({IrProtocol::Nec, 0x408, false}));
    const struct {
        bool remote;          // the remote's name, else the key's
        std::string name;
        const char* written;  // as the file gives it back; null: refused
        const char* reason;
    } cases[] = {
        {false, "KEY_OK", "KEY_OK", ""},
        {false, "Vol + \"x\" 'y';[z]=w", "Vol + \"x\" 'y';[z]=w", ""},
        {false, "\"Q'", "\"Q'", ""},
        {false, "Caf\u00e9 \u05d0", "Caf\u00e9 \u05d0", ""},
        {false, "\"Q\"", nullptr, "the key name is enclosed in quotes"},
        {false, "'Q'", nullptr, "the key name is enclosed in quotes"},
        {false, "   ", nullptr, "the key name is only blanks"},
        {false, " Q", nullptr, "the key name begins or ends with blanks"},
        {false, "", nullptr, "the key name is empty"},
        {false, "a\x1b[2J", nullptr, "the key name holds a control character (U+001B)"},
        {false, "a\u009b2J", nullptr, "the key name holds a control character (U+009B)"},
        {false, "a\u202eb", nullptr, "the key name holds a text direction control (U+202E)"},
        {false, "\u2066b", nullptr, "the key name holds a text direction control (U+2066)"},
        {true, "My TV", "My TV", ""},
        {true, "\"TV\"", "\"TV\"", ""},
        {true, "x]y", "x_y", ""},
        {true, "   ", nullptr, "the remote's name is only blanks"},
        {true, "TV ", nullptr, "the remote's name begins or ends with blanks"},
        {true, "T\x7fV", nullptr, "the remote's name holds a control character (U+007F)"},
        {true, "\u009bTV", nullptr, "the remote's name holds a control character (U+009B)"},
        {true, "T\u2069V", nullptr, "the remote's name holds a text direction control (U+2069)"},
        {true, "T\xffV", nullptr, "the remote's name holds bytes that are no character"},
    };
    for (const auto& c : cases) {
        std::string key = c.remote ? "K" : c.name, quoted;
        for (const char ch : key) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned char>(ch));
            quoted += IsControlCharacter(ch) || ch == '"' || ch == '\\' ? escaped : std::string(1, ch);
        }
        test::WriteFile(keymap, "[[protocols]]\nprotocol = 'nec'\n[protocols.scancodes]\n0x0408 = \"" + quoted + "\"\n");
        test::WriteFile(ini, "[Main]\n");
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const int status = RunSettings({"import", keymap, "--remote", c.remote ? c.name : "R", ini});
        const std::string out = testing::internal::GetCapturedStdout(), err = testing::internal::GetCapturedStderr();
        const std::vector<IniDocument::Section> sections = IniFile(ini).Load().Sections();
        if (c.written == nullptr) {
            EXPECT_NE(status, 0) << c.name;
            EXPECT_NE(err.find(c.reason), std::string::npos) << c.name << ": " << err;
            EXPECT_EQ(test::ReadFile(ini), "[Main]\n") << c.name;
            continue;
        }
        EXPECT_EQ(status, 0) << c.name << ": " << err;
        ASSERT_EQ(sections.size(), 2u) << c.name;
        EXPECT_EQ(sections[1].name, c.remote ? c.written : "R");
        EXPECT_EQ(sections[1].entries, std::vector<std::string>{code + "=" + (c.remote ? "K" : c.written)});
        EXPECT_NE(out.find("into [" + sections[1].name + "]"), std::string::npos) << out;
    }
}

}  // namespace
}  // namespace orbisk::tool
