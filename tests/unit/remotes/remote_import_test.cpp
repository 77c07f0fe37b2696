#include "remotes/remote_import.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/code_text.h"
#include "receiver/analysis/burst_codes.h"

namespace orbisk {
namespace {

// A NEC frame from its published timing (9 ms header, 560 us marks, 560
// and 1690 us spaces, bytes least significant bit first), as text.
std::string Nec(unsigned address, unsigned command) {
    std::string out = "9000 4500";
    const unsigned bytes[] = {address, ~address & 0xFF, command, ~command & 0xFF};
    for (const unsigned byte : bytes)
        for (int bit = 0; bit < 8; ++bit) out += (byte >> bit & 1) ? " 560 1690" : " 560 560";
    return out + " 560";
}

std::string Raw(const std::string& name, const std::string& data) {
    return "#\nname: " + name + "\ntype: raw\nfrequency: 38000\nduty_cycle: 0.33\ndata: " + data + "\n";
}

std::string Parsed(const std::string& name, const char* protocol, const char* address, const char* command) {
    return "#\nname: " + name + "\ntype: parsed\nprotocol: " + protocol + "\naddress: " + address +
           "\ncommand: " + command + "\n";
}

// One report line: kind, remote, name, source, frame or reason, and the
// verdict (stable, learn this key, or the key holding the code).
std::vector<std::string> Lines(const RemoteImport& plan) {
    std::vector<std::string> lines;
    for (const SkippedButton& b : plan.skipped) lines.push_back("skipped|" + b.remote + "|" + b.name + "|" + b.reason);
    for (const auto& [key, holder] : plan.shared)
        lines.push_back("same|" + key.remote + "|" + key.name + "|" + DescribeIrFrame(key.frame) + "|as " + holder);
    for (const ImportedKey& key : plan.keys)
        lines.push_back("key|" + key.remote + "|" + key.name + "|" + key.source + "|" + DescribeIrFrame(key.frame) +
                        "|" + (key.stable ? "stable" : "learn this key"));
    return lines;
}

RemoteImport Plan(const std::string& text, const std::string& path, const std::string& remote = "") {
    RemoteImport plan;
    std::string error;
    EXPECT_TRUE(PlanRemoteImport(text, path, remote, {}, plan, error)) << error;
    return plan;
}

TEST(RemoteImport, FlipperReport) {
    std::string ac;
    for (int i = 0; i < 300; ++i) ac += i == 0 ? "3000" : " 500";
    // Every capture but Only_pre sends the NEC frame 0x10/0x00 before its
    // own, as XMP remotes send their first half: left out where it is not
    // all a button sends.
    const std::string pre = Nec(0x10, 0x00) + " 20000 ";
    const RemoteImport plan =
        Plan("Filetype: IR signals file\nVersion: 1\n" +
                 Parsed("Power", "Kaseikyo", "80 02 20 00", "D0 03 00 00") +
                 Parsed("Mute", "NEC", "04 00 00 00", "08 00 00 00") +
                 Parsed("Mute_too", "NEC", "04 00 00 00", "08 00 00 00") +
                 Parsed("Odd", "Pioneer2", "01 00 00 00", "01 00 00 00") + Raw("Ac", ac) +
                 Raw("Up", pre + Nec(0x04, 0x02)) + Raw("Down", pre + Nec(0x04, 0x03) + " 40000 " + Nec(0x04, 0x03)) +
                 Raw("Left", pre + Nec(0x04, 0x07)) + Raw("Noise", pre + "500 500 500") +
                 // One odd button loses itself only: a name the settings
                 // file gives back otherwise, a command of three bytes.
                 Parsed("\"Quoted\"", "NEC", "04 00 00 00", "09 00 00 00") +
                 Parsed("Short", "NEC", "04 00 00 00", "0A 00 00") +
                 // A held key's frames closer than a burst's end are no
                 // state frame.
                 Raw("Held", pre + Nec(0x04, 0x0B) + " 9000 " + Nec(0x04, 0x0B)),
             "/some/where/Living room.ir");
    EXPECT_EQ(plan.remotes, std::vector<std::string>{"Living room"});
    EXPECT_EQ(Lines(plan), (std::vector<std::string>{
                               "skipped|Living room|Odd|Flipper protocol 'Pioneer2' has no Orbisk key",
                               "skipped|Living room|Ac|an air-conditioner state frame: 300 durations in one frame",
                               "skipped|Living room|\"Quoted\"|the key name is enclosed in quotes, which the "
                               "settings file drops",
                               "skipped|Living room|Short|line 68: the command '0A 00 00' is 3 bytes, not four",
                               "same|Living room|Mute_too|NEC 0x04 0x08 (nec:0x0408)|as Mute",
                               "key|Living room|Power|parsed line 4|Panasonic 0x800 0x3D (panasonic:0x8003d)|stable",
                               "key|Living room|Mute|parsed line 10|NEC 0x04 0x08 (nec:0x0408)|stable",
                               "key|Living room|Up|raw line 34|NEC 0x04 0x02 (nec:0x0402)|stable",
                               "key|Living room|Down|raw line 40|NEC 0x04 0x03 (nec:0x0403)|stable",
                               "key|Living room|Left|raw line 46|NEC 0x04 0x07 (nec:0x0407)|stable",
                               "key|Living room|Noise|raw line 52|NEC 0x10 0x00 (nec:0x1000)|stable",
                               "key|Living room|Held|raw line 70|levels 135 durations, 2 mark and 4 space "
                               "lengths|stable",
                           }));
    // A decoded key's code is its frame's stable code, as a live press's.
    EXPECT_EQ(plan.keys[1].code, StableCode(IrFrame{IrProtocol::Nec, 0x0408, false}));
}

TEST(RemoteImport, LircdAndKeymapReports) {
    // LIRC's mceusb remote: RC-6 MCE, the conf's code the scancode's low half
    // inverted; the kernel's rc6_mce keymap has KEY_MUTE at 0x800f040e.
    const std::string mce =
        "begin remote\n  name mceusb\n  bits 16\n  flags RC6|CONST_LENGTH\n  header 2667 889\n  one 444 444\n"
        "  zero 444 444\n  pre_data_bits 21\n  pre_data 0x37FF0\n  gap 105000\n  toggle_bit_mask 0x8000\n"
        "  rc6_mask 0x100000000\n  begin codes\n    KEY_MUTE 0x00007bf1\n  end codes\nend remote\n"
        "begin remote\n  name dev\n  bits 8\n  begin codes\n    KEY_A 0x01\n  end codes\nend remote\n";
    EXPECT_EQ(Lines(Plan(mce, "x.conf", "PC")),
              (std::vector<std::string>{"skipped|PC dev|1 buttons|no timing: a receiver that decodes this remote itself",
                                        "key|PC mceusb|KEY_MUTE|codes line 14|RC-6 MCE 0x800F 0x40E toggle 0 "
                                        "(rc6_mce:0x800f040e)|stable"}));
    // A pulse_distance keymap of a Samsung TV: 0xe0e040bf sent most
    // significant bit first is Samsung's address 0x07, command 0x02.
    const std::string keymap =
        "[[protocols]]\nname = 'Samsung'\nprotocol = 'pulse_distance'\nheader_pulse = 4500\n"
        "header_space = 4500\nbit_pulse = 600\nbit_0_space = 500\nbit_1_space = 1600\nbits = 32\n"
        "trailer_pulse = 600\n[protocols.scancodes]\n0xe0e040bf = 'KEY_POWER'\n"
        "[[protocols]]\nname = 'x'\nprotocol = 'other'\n[protocols.scancodes]\n0x10 = 'KEY_X'\n";
    EXPECT_EQ(Lines(Plan(keymap, "s.toml")),
              (std::vector<std::string>{
                  "skipped|Samsung|KEY_X|protocol 'other' with scancode 0x00000010: no frame Orbisk recognises",
                  "key|Samsung|KEY_POWER|pulse_distance line 1|Samsung32 0x07 0x02 (samsung32:0x0702)|stable"}));
}

// Streamzap's rc-5-sz, from the kernel's description: a mark for the first
// start bit, then 14 bits at 889 us, most significant first (a one is a
// space then a mark), the toggle at 0x1000.  Both toggles are the key.
TEST(RemoteImport, KeymapOfRc5Sz) {
    const auto codes = [](const std::vector<std::uint32_t>& micros) { return LiveCodes(micros, {}, 50, 0, 0, 1); };
    const std::vector<std::uint32_t> toggle0 = {889, 889, 1778, 1778, 1778, 889, 889, 889, 889, 1778, 889, 889,
                                                1778, 889, 889, 889, 889, 889, 889, 889, 889, 889, 889};
    const std::vector<std::uint32_t> toggle1 = {889, 889, 889, 889, 889, 889, 1778, 889, 889, 889, 889, 1778, 889,
                                                889, 1778, 889, 889, 889, 889, 889, 889, 889, 889, 889, 889};
    const RemoteImport plan = Plan(
        "[[protocols]]\nname = 'streamzap'\nprotocol = 'rc-5-sz'\n[protocols.scancodes]\n0x28c0 = 'KEY_0'\n"
        "0x128c0 = 'KEY_WIDE'\n",
        "sz.toml");
    std::vector<std::uint32_t> filed;
    for (const ImportedKey& key : plan.keys) filed.push_back(key.code);
    EXPECT_EQ(filed, (std::vector<std::uint32_t>{codes(toggle0).at(0), codes(toggle1).at(0)}));
    ASSERT_EQ(plan.skipped.size(), 1u);
    EXPECT_EQ(plan.skipped[0].name, "KEY_WIDE");
}

TEST(RemoteImport, BadInputIsRefusedWithTheLine) {
    const struct {
        const char* text;
        const char* path;
        const char* error;
    } cases[] = {
        {"hello\n", "a.txt", "a.txt: not a kernel keymap, Flipper .ir file or lircd.conf"},
        {"Filetype: IR signals file\nVersion: 1\n#\nname: A\ntype: parsed\nprotocol: NEC\n"
         "address: 04 00 00 00\ncommand: 08 0G 00 00\n",
         "q.ir", "q.ir: line 8: the command '08 0G 00 00' is not four hexadecimal bytes"},
        {"Filetype: IR signals file\nVersion: 1\n#\nname: A\ntype: raw\nfrequency: 38000\nduty_cycle: 0.33\n"
         "data: 500 -1\n",
         "n.ir", "n.ir: line 8: "},
        {"Filetype: IR signals file\nVersion: 1\n", "Main.ir", "Main.ir: the remote's name is the settings"},
    };
    for (const auto& c : cases) {
        RemoteImport plan;
        std::string error;
        EXPECT_FALSE(PlanRemoteImport(c.text, c.path, "", {}, plan, error)) << c.path;
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
    }
}

}  // namespace
}  // namespace orbisk
