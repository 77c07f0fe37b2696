#include "remotes/lircd_conf.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "remotes/keymap.h"

namespace orbisk::tool {
namespace {

// Durations in units, from a protocol's published description: marks
// positive, spaces negative; neighbours of one kind merge.
struct Published {
    std::vector<int> units;
    void Add(int u) {
        if (!units.empty() && (units.back() > 0) == (u > 0))
            units.back() += u;
        else
            units.push_back(u);
    }
};

void ExpectDurations(const std::vector<std::uint32_t>& actual, const Published& expected, double unit) {
    ASSERT_EQ(actual.size(), expected.units.size());
    for (std::size_t i = 0; i < actual.size(); ++i) {
        const double want = std::abs(expected.units[i]) * unit;
        EXPECT_NEAR(actual[i], want, want * 0.01) << "duration " << i;
    }
}

LircFile Parse(const std::string& text) {
    LircFile file;
    std::string error;
    EXPECT_TRUE(ParseLircdConf(text, "lircd.conf", file, error)) << error;
    return file;
}

// An MCE key as LIRC's RC-6 configurations write it (bits inverted, the
// old toggle_bit), against RC-6 mode 6A: a 6-unit mark and 2-unit space,
// start bit 1, mode 110, a double-width trailer bit 0, 32 bits, a one
// being a mark then a space, units of 444 us.
TEST(LircdConf, Rc6MceKeyIsThePublishedFrameOfTheKernelScancode) {
    std::uint32_t scancode = 0x800f040e;  // KEY_MUTE in the kernel's rc6_mce keymap
    if (std::filesystem::exists("/lib/udev/rc_keymaps/rc6_mce.toml")) {
        std::vector<KeymapTable> tables;
        std::string error;
        ASSERT_TRUE(ReadKeymap("/lib/udev/rc_keymaps/rc6_mce.toml", tables, error)) << error;
        for (const auto& [code, name] : tables.at(0).keys)
            if (name == "KEY_MUTE") scancode = code;
    }
    const LircFile file = Parse(
        "begin remote\n  name mceusb\n  bits 16\n  flags RC6|CONST_LENGTH\n  eps 30\n  aeps 100\n"
        "  header 2667 889\n  one 444 444\n  zero 444 444\n  pre_data_bits 21\n  pre_data 0x37FF0\n"
        "  gap 105000\n  toggle_bit 22\n  rc6_mask 0x100000000\n  begin codes\n    KEY_MUTE 0x00007bf1\n"
        "  end codes\nend remote\n");
    ASSERT_EQ(file.remotes.size(), 1u);
    const LircRemote& remote = file.remotes[0];
    for (const bool toggled : {false, true}) {
        // The conf's toggle bit is the data's bit 15, inverted.
        const std::uint32_t data = scancode | (toggled ? 0u : 0x8000u);
        Published rc6;
        rc6.Add(6);
        rc6.Add(-2);
        const auto bit = [&](bool one, int width) {
            rc6.Add(one ? width : -width);
            rc6.Add(one ? -width : width);
        };
        for (const bool b : {true, true, true, false}) bit(b, 1);  // start, mode 110
        bit(false, 2);
        for (int i = 31; i >= 0; --i) bit((data >> i & 1) != 0, 1);
        if (rc6.units.back() < 0) rc6.units.pop_back();
        LircFrame frame;
        std::string reason;
        ASSERT_TRUE(BuildLircFrame(remote, remote.buttons[0], 0, toggled, frame, reason)) << reason;
        ExpectDurations(frame.durations, rc6, 444);
        std::uint64_t length = 0;
        for (const std::uint32_t d : frame.durations) length += d;
        EXPECT_EQ(length + frame.gap, 105000u);  // CONST_LENGTH
    }
}

// NEC with its address as pre_data: LIRC writes NEC's bits most significant
// first, so address 0x04 and its inverse are 0x20DF, command 0x08 0x10EF.
TEST(LircdConf, NecKeyWithPreData) {
    const LircFile file = Parse(
        "# a TV\nbegin remote\n  name tv\n  bits 16\n  flags SPACE_ENC|CONST_LENGTH\n  header 9000 4500\n"
        "  one 563 1687\n  zero 563 562\n  ptrail 563\n  repeat 9000 2250\n  pre_data_bits 16\n"
        "  pre_data 0x20DF\n  gap 108000\n  toggle_bit_mask 0x0\n  frequency 38000\n"
        "  begin codes\n    KEY_POWER 0x10EF  # power\n  end codes\nend remote\n");
    ASSERT_EQ(file.remotes.size(), 1u);
    LircFrame frame;
    std::string reason;
    ASSERT_TRUE(BuildLircFrame(file.remotes[0], file.remotes[0].buttons[0], 0, false, frame, reason)) << reason;
    Published nec;  // address, its inverse, command, its inverse, each least significant bit first
    nec.Add(16);
    nec.Add(-8);
    const std::uint32_t bits = 0x04 | 0xFB << 8 | 0x08 << 16 | 0xF7u << 24;
    for (int i = 0; i < 32; ++i) {
        nec.Add(1);
        nec.Add((bits >> i & 1) != 0 ? -3 : -1);
    }
    nec.Add(1);
    ExpectDurations(frame.durations, nec, 562.5);
    EXPECT_EQ(frame.repeat, (std::vector<std::uint32_t>{9000, 2250, 563}));
    EXPECT_EQ(file.remotes[0].frequency, 38000u);
}

// Raw buttons, the remaining flags, and remotes left out.
TEST(LircdConf, RawButtonsFlagsAndSkippedRemotes) {
    const LircFile file = Parse(
        "begin remote\n name raw\n flags RAW_CODES\n gap 40000\n begin raw_codes\n  name KEY_A\n   900 450\n"
        "   900 450 900 5000\n  name KEY_B\n   300 300\n end raw_codes\nend remote\n"
        "begin remote\n name rev\n bits 4\n flags SPACE_ENC|REVERSE|SPACE_FIRST | NO_FOOT_REP\n"
        " one 100 300\n zero 100 100\n"
        " plead 50\n foot 700 800\n gap 1000\n begin codes\n  K 0x1\n end codes\nend remote\n"
        "begin remote\n name decoded\n bits 8\n begin codes\n  K1 0x01\n  K2 0x02\n end codes\nend remote\n"
        "begin remote\n name xmp\n bits 8\n flags XMP\n one 0 137\n zero 250 710\n begin codes\n  K 0x1\n"
        " end codes\nend remote\n");
    ASSERT_EQ(file.remotes.size(), 2u);
    LircFrame frame;
    std::string reason;
    const LircRemote& raw = file.remotes[0];
    ASSERT_TRUE(BuildLircFrame(raw, raw.buttons[0], 0, false, frame, reason)) << reason;
    EXPECT_EQ(frame.durations, (std::vector<std::uint32_t>{900, 450, 900, 450, 900}));
    EXPECT_EQ(frame.gap, 45000u);  // the last space joins the gap
    ASSERT_TRUE(BuildLircFrame(raw, raw.buttons[1], 0, false, frame, reason)) << reason;
    EXPECT_EQ(frame.durations, (std::vector<std::uint32_t>{300}));
    // 0x1 reversed is 1000, each bit a space, then a mark; the foot a space, then a mark.
    const LircRemote& rev = file.remotes[1];
    ASSERT_TRUE(BuildLircFrame(rev, rev.buttons[0], 0, false, frame, reason)) << reason;
    EXPECT_EQ(frame.durations, (std::vector<std::uint32_t>{50, 300, 100, 100, 100, 100, 100, 100, 100, 800, 700}));
    EXPECT_EQ(frame.repeat, (std::vector<std::uint32_t>{50, 300, 100, 100, 100, 100, 100, 100, 100}));
    ASSERT_EQ(file.skipped.size(), 2u);
    EXPECT_EQ(file.skipped[0].name, "decoded");
    EXPECT_EQ(file.skipped[0].buttons, 2u);
    EXPECT_NE(file.skipped[0].reason.find("no timing"), std::string::npos);
    EXPECT_NE(file.skipped[1].reason.find("XMP"), std::string::npos);
}

TEST(LircdConf, HostileFilesAreRefusedWithLineAndReason) {
    const std::string head = "begin remote\n name r\n bits 8\n";
    const std::string raw = "begin remote\n name r\n begin raw_codes\n  name K\n";
    std::string many = raw;
    for (int i = 0; i < 1025; ++i) many += " 500\n";
    const struct {
        std::string text;
        const char* error;
    } cases[] = {
        {std::string("\0\x01\x02", 3), "lircd.conf: line 1: control character 0x00"},
        {"remote tv\n", "line 1: expected 'begin remote'"},
        {head + " flags SPACE_ENC|TURBO\n", "line 4: unknown flag 'TURBO'"},
        {head + " colour red\n", "line 4: unknown parameter 'colour'"},
        {head + " one -563 1687\n", "line 4: one: '-563' is not a number of microseconds"},
        {head + " gap 99999999999999999999999\n", "line 4: gap: '99999999999999999999999' is not"},
        {head + " header 9000\n", "line 4: header takes 2 values, not 1"},
        {head + " bits 65\n", "line 4: bits: '65' is not a number of bits"},
        {head + " pre_data_bits 60\nend remote\n", "line 1: remote 'r' has more than 64 bits"},
        {head + " one 1 1\n zero 1 1\n begin codes\n  K 0x100\n end codes\nend remote\n",
         "line 7: code 0x100 is wider than the remote's 8 bits"},
        {head + " begin codes\n  K 0x1G\n", "line 5: '0x1G' is not a code"},
        {head + " begin codes\n  K 0x1\n end codes\n", "line 6: the file ends inside the remote begun at line 1"},
        {raw + "   900 0 900\n", "line 5: '0' is not a duration"},
        {raw + "   900 16777216\n", "line 5: '16777216' is not a duration"},
        {many, "line 1029: button 'K' has more than 1024 durations"},
        {"begin remote\n name r\n begin raw_codes\n  900\n", "line 4: durations before the first 'name'"},
        {"begin remote\n name r\n begin raw_codes\n  name K\n end raw_codes\nend remote\n",
         "line 4: button 'K' has no durations"},
        {"begin remote\n bits 8\nend remote\n", "line 1: a remote without a name"},
        {"begin remote\n name a\x7f" "b\n", "line 2: control character 0x7F"},
        {std::string(5u << 20, '#'), "lircd.conf: larger than 4 MiB"},
    };
    for (const auto& c : cases) {
        LircFile file;
        file.skipped.resize(1);
        std::string error;
        EXPECT_FALSE(ParseLircdConf(c.text, "lircd.conf", file, error)) << c.error;
        EXPECT_NE(error.find(c.error), std::string::npos) << "expected '" << c.error << "' in: " << error;
        EXPECT_EQ(file.skipped.size(), 1u);  // untouched
    }
}

}  // namespace
}  // namespace orbisk::tool
