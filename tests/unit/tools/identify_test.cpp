#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "capture/capture.h"
#include "commands/commands.h"
#include "common/code_text.h"
#include "receiver/analysis/burst_codes.h"
#include "support/temp_dir.h"

namespace orbisk::tool {
namespace {

std::string FlipperNec(const char* name, const char* command) {
    return std::string("#\nname: ") + name + "\ntype: parsed\nprotocol: NEC\naddress: 04 00 00 00\ncommand: " +
           command + " 00 00 00\n";
}

// Two presses of one remote, jittered as a receiver reports them: the file
// holding both codes with the fewest keys comes first, a larger remote
// holding both next, a file the import refuses is counted, and --import
// takes the first.
TEST(Identify, RanksTheFileHoldingThePressedCodesAndImportsIt) {
    const test::TempDir dir;
    std::filesystem::create_directory(dir.File("db"));
    test::WriteFile(dir.File("db/tv.ir"), "Filetype: IR signals file\nVersion: 1\n" + FlipperNec("Power", "08") +
                                              FlipperNec("Vol-", "03") + FlipperNec("Mute", "09"));
    std::filesystem::create_directory(dir.File("db/big"));
    test::WriteFile(dir.File("db/big/all.toml"),
                    "[[protocols]]\nname = 'all'\nprotocol = 'nec'\n[protocols.scancodes]\n0x0401 = 'KEY_1'\n"
                    "0x0402 = 'KEY_2'\n0x0403 = 'KEY_VOLUMEDOWN'\n0x0408 = 'KEY_POWER'\n");
    test::WriteFile(dir.File("db/lircd.conf.broken"), "begin remote\n  name x\n  bits 99999999999\n");
    test::WriteFile(dir.File("db/notes.txt"), "not a remote\n");
    GeneratorOptions receiver;
    receiver.jitterPercent = 5;
    receiver.biasMicros = 60;
    const auto bytes = WireBytes(GenerateKeyPresses(
        {{{IrProtocol::Nec, 0x0408, false}, 200, 300}, {{IrProtocol::Nec, 0x0403, false}, 0, 300}}, receiver));
    test::WriteFile(dir.File("keys.bin"), std::string(bytes.begin(), bytes.end()));
    const std::string ini = dir.File("s.ini");
    test::WriteFile(ini, "[Main]\n");

    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(RunIdentify({dir.File("db"), "--capture", dir.File("keys.bin"), ini}), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "2 of 2\t3 keys\t" + dir.File("db/tv.ir") + "\tPower, Vol-\n2 of 2\t4 keys\t" +
                  dir.File("db/big/all.toml") + "\tKEY_VOLUMEDOWN, KEY_POWER\n");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("2 codes pressed; 3 files read in"), std::string::npos) << err;
    EXPECT_NE(err.find("1 refused or unreadable; 2 hold a code pressed"), std::string::npos) << err;
    EXPECT_EQ(test::ReadFile(ini), "[Main]\n");

    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(RunIdentify({dir.File("db"), "--import", "--capture", dir.File("keys.bin"), ini}), 0);
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    // Each key with its kept frame.
    const auto key = [](std::uint32_t scancode, const char* name, const char* frame) {
        const std::string code = CodeText(StableCode({IrProtocol::Nec, scancode, false}));
        return code + "=" + name + "\n;frame " + code + " " + frame + "\n";
    };
    EXPECT_EQ(test::ReadFile(ini), "[Main]\n[tv]\n" + key(0x0408, "Power", "nec:0x0408") +
                                       key(0x0403, "Vol-", "nec:0x0403") + key(0x0409, "Mute", "nec:0x0409"));
}

}  // namespace
}  // namespace orbisk::tool
