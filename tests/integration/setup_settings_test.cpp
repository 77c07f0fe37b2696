// orbisk setup without a display it can use, and orbisk settings on a file
// saved as UTF-16: the real program and plug-in.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/child_process.h"
#include "support/temp_dir.h"

namespace {

using orbisk::test::ReadFile;

TEST(SetupProgram, AnUnreachableDisplayEndsInAReportNotAnAbortAndTheFileStaysAsItWas) {
    orbisk::test::TempDir dir;
    std::filesystem::copy_file(ORBISK_BIN_DIR "/orbisk.so", dir.File("orbisk.so"));
    const std::string ini = "[Main]\nCOM=7\n[TV]\n0000001=Power\n";
    orbisk::test::WriteFile(dir.File("orbisk.ini"), ini);
    struct stat before {}, after {};
    ASSERT_EQ(::stat(dir.File("orbisk.ini").c_str(), &before), 0);
    // Empty stands for unset, to Qt and to the plug-in alike.
    orbisk::test::ChildProcess setup({ORBISK_BIN_DIR "/orbisk", "setup", "--plugin", dir.File("orbisk.so")},
                                     dir.File("out.txt"),
                                     {"DISPLAY=:7731", "QT_QPA_PLATFORM=", "WAYLAND_DISPLAY=", "XDG_SESSION_TYPE="});
    EXPECT_EQ(setup.Wait(60000), 2);
    const std::string out = ReadFile(dir.File("out.txt"));
    EXPECT_NE(out.find("No display is available for the setup dialog: cannot connect to X display :7731"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("orbisk setup: the plug-in showed no setup dialog"), std::string::npos) << out;
    ASSERT_EQ(::stat(dir.File("orbisk.ini").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(ReadFile(dir.File("orbisk.ini")), ini);
}

TEST(SettingsProgram, ReadsAUtf16FileAsThePluginDoes) {
    orbisk::test::TempDir dir;
    orbisk::test::WriteFile(dir.File("orbisk.ini"),
                            orbisk::test::Utf16File("[Main]\r\nCOM=8\r\n[My TV]\r\n0000001=Power\r\n"
                                                    "[My_TV]\r\n0000002=Mute\r\n"));
    orbisk::test::ChildProcess settings({ORBISK_BIN_DIR "/orbisk", "settings", dir.File("orbisk.ini")},
                                        dir.File("out.txt"));
    EXPECT_EQ(settings.Wait(60000), 0);
    const std::string out = ReadFile(dir.File("out.txt"));
    EXPECT_EQ(out.substr(0, 6), "COM=8\n") << out;
    EXPECT_NE(out.find("0\tMy TV\t0000001=Power\n1\tMy_TV\t0000002=Mute\n"), std::string::npos) << out;
}

}  // namespace
