#include "remotes/flipper_ir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/capture.h"

namespace orbisk::tool {
namespace {

FlipperButton Parsed(const char* protocol, std::uint32_t address, std::uint32_t command) {
    FlipperButton b;
    b.protocol = protocol;
    b.address = address;
    b.command = command;
    return b;
}

// Keys written from the formats' descriptions; each is one orbisk generate plays.
TEST(FlipperIr, KeyOfAParsedEntry) {
    const struct {
        FlipperButton button;
        const char* key;  // nullptr: none
    } cases[] = {
        {Parsed("NEC", 0x04, 0x08), "nec:0x0408"},
        {Parsed("NECext", 0x1234, 0x5678), "nec32:0x12345678"},  // command not inverted
        {Parsed("NECext", 0x1234, 0xF708), "necx:0x341208"},     // address not inverted
        {Parsed("NECext", 0xFB04, 0xF708), "nec:0x0408"},        // both inverted
        {Parsed("NEC42", 0x1ABC, 0x12), "sanyo:0x1abc12"},
        {Parsed("NEC42ext", 0xA87ABC, 0xED12), "sanyo:0x1abc12"},
        {Parsed("NEC42ext", 0x1ABC, 0x12), nullptr},
        {Parsed("Samsung32", 0x07, 0x02), "samsung32:0x0702"},
        {Parsed("RC5", 0x05, 0x35), "rc5:0x0535"},
        {Parsed("RC5X", 0x05, 0x42), "rc5:0x0542"},
        {Parsed("RC6", 0x0A, 0x0C), "rc6_0:0x0a0c"},
        {Parsed("SIRC", 0x01, 0x15), "sony12:0x10015"},
        {Parsed("SIRC15", 0x97, 0x12), "sony15:0x970012"},
        {Parsed("SIRC15", 0x19FA, 0x12), nullptr},  // Flipper itself sends 8 address bits
        {Parsed("SIRC20", 0x1E3A, 0x15), "sony20:0x1af115"},
        {Parsed("Kaseikyo", 0x00200280, 0x03D0), "panasonic:0x8003d"},  // Panasonic TV power
        {Parsed("Kaseikyo", 0x00325414, 0x0123), "denon_k:0x13412"},
        {Parsed("Kaseikyo", 0x00123400, 0x0123), nullptr},  // a vendor of no Orbisk protocol
        {Parsed("RCA", 0x3, 0x0F), "rca:0x0cf0"},
        {Parsed("Pioneer", 0xAA, 0x1C), "nec:0xaa1c"},
        {Parsed("Teac", 0x01, 0x02), nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button.protocol + " " + std::to_string(c.button.address));
        std::string reason;
        const std::optional<ProtocolKey> key = FlipperKey(c.button, reason);
        if (c.key == nullptr) {
            EXPECT_FALSE(key);
            EXPECT_FALSE(reason.empty());
            continue;
        }
        ASSERT_TRUE(key) << reason;
        EXPECT_EQ(ProtocolKeyText(*key), c.key);
        KeyPress press;
        EXPECT_TRUE(ParseKeyPress(c.key, press, reason)) << reason;
    }
}

TEST(FlipperIr, ReadsParsedAndRawButtons) {
    const std::string text =
        "Filetype: IR library file\r\nVersion: 1\r\n# Model: TV\r\n#\r\nname: Power\r\ntype: parsed\r\n"
        "protocol: Kaseikyo\r\naddress: 80 02 20 00\r\ncommand: D0 03 00 00\r\n# \r\nname: Vol up\r\n"
        "type: raw\r\nfrequency: 38000\r\nduty_cycle: 0.330000\r\ndata: 9000 4500 560\r\n";
    std::vector<FlipperButton> buttons;
    std::string error;
    ASSERT_TRUE(ParseFlipperIr(text, "tv.ir", buttons, error)) << error;
    ASSERT_EQ(buttons.size(), 2u);
    EXPECT_EQ(buttons[0].name, "Power");
    EXPECT_EQ(buttons[0].line, 5u);
    EXPECT_EQ(buttons[0].protocol, "Kaseikyo");
    EXPECT_EQ(buttons[0].address, 0x00200280u);
    EXPECT_EQ(buttons[0].command, 0x03D0u);
    EXPECT_EQ(buttons[1].name, "Vol up");
    EXPECT_TRUE(buttons[1].raw);
    EXPECT_EQ(buttons[1].frequency, 38000u);
    EXPECT_EQ(buttons[1].durations, (std::vector<std::uint32_t>{9000, 4500, 560}));
}

TEST(FlipperIr, HostileFilesAreRefusedWithLineAndReason) {
    const std::string head = "Filetype: IR signals file\nVersion: 1\n";
    const std::string raw = head + "name: A\ntype: raw\nfrequency: 38000\nduty_cycle: 0.33\n";
    std::string many = raw + "data:";
    for (int i = 0; i < 1025; ++i) many += " 500";
    const struct {
        std::string text;
        const char* error;
    } cases[] = {
        {"", "f.ir: line 1: not a Flipper IR file"},
        {std::string("\x7f" "ELF\x02\x01\x01\0\0", 9), "line 1: control character 0x7F"},
        {"Filetype: IR signals file\nVersion: 2\n", "line 2: expected 'Version: 1'"},
        {head + "name: Po\x1b[2Jwer\n", "line 3: control character 0x1B"},
        {head + "name: Vol\tUp\n", "line 3: a tab in the name"},
        {head + "type: raw\n", "line 3: 'type:' before the first 'name:'"},
        {head + "name: A\ntype: parsed\nprotocol: NEC\naddress: 04 00 00 00\n", "line 3: button 'A' has no 'command:'"},
        {head + "name: A\ntype: parsed\ntype: raw\n", "line 5: a second 'type:'"},
        {head + "name: A\nprotocol: NEC\n", "line 4: 'protocol:' before 'type:'"},
        {head + "name: A\ntype: parsed\ncolour: red\n", "line 5: unknown key 'colour'"},
        {head + "name: A\ntype: parsed\naddress: 04 00 0\n", "line 5: the address '04 00 0' is not four"},
        {head + "name: A\ntype: parsed\naddress: 04 00 00 100\n", "line 5: the address"},
        {raw + "data: 9000 0 560\n", "line 7: '0' is not a duration"},
        {raw + "data: 9000 -4500 560\n", "line 7: '-4500' is not a duration"},
        {raw + "data: 9000 4294967296\n", "line 7: '4294967296' is not a duration"},
        {many, "line 7: more than 1024 durations"},
        {head + "name: A\ntype: raw\nfrequency: 0\n", "line 5: the frequency '0'"},
        {head + "name: A\ntype: raw\nfrequency: 38000\nduty_cycle: 1.5\n", "line 6: the duty cycle '1.5'"},
        {head + "name: A\ntype: raw\nfrequency: 38000\nduty_cycle: 0.3\n", "line 3: button 'A' has no 'data:'"},
        {head + "name: A\nthis line has no colon\n", "line 4: expected 'key: value'"},
        {head + std::string(5u << 20, '#'), "f.ir: larger than 4 MiB"},
    };
    for (const auto& c : cases) {
        std::vector<FlipperButton> buttons(1);
        std::string error;
        EXPECT_FALSE(ParseFlipperIr(c.text, "f.ir", buttons, error)) << c.error;
        EXPECT_NE(error.find(c.error), std::string::npos) << "expected '" << c.error << "' in: " << error;
        EXPECT_EQ(buttons.size(), 1u);  // untouched
    }
}

}  // namespace
}  // namespace orbisk::tool
