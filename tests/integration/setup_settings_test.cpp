// orbisk setup without a display it can use, orbisk settings on a file
// saved as UTF-16, and two imports into one file at once: the real program
// and plug-in.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "settings/ini_file.h"
#include "common/text.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace {

using orbisk::test::ReadFile;

// An X display that takes connections and never answers, as a stale
// forwarded one does: a listening socket nobody accepts on, at a display
// number free under both of the names X clients try.
class SilentXDisplay {
public:
    SilentXDisplay() {
        madeFolder_ = std::filesystem::create_directory(Folder);
        if (madeFolder_) std::filesystem::permissions(Folder, std::filesystem::perms(01777));
        for (int number = 9000 + ::getpid() % 900; fd_ < 0 && number < 10000; ++number) {
            const std::string path = Folder + std::string("/X") + std::to_string(number);
            if (Listen(path, true) && Listen(path, false)) number_ = number;
        }
    }
    ~SilentXDisplay() {
        if (fd_ < 0) return;
        ::close(fd_);
        ::unlink((Folder + std::string("/X") + std::to_string(number_)).c_str());
        if (madeFolder_) ::rmdir(Folder);
    }
    std::string Name() const { return ":" + std::to_string(number_); }

private:
    static constexpr char Folder[] = "/tmp/.X11-unix";
    // The abstract name is only tried, to see that it is free; the path is kept.
    bool Listen(const std::string& path, bool abstract) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path + (abstract ? 1 : 0), path.data(), path.size());
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
        const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), size) == 0 &&
                           ::listen(fd, 8) == 0;
        if (abstract || !bound) ::close(fd);
        else fd_ = fd;
        return bound;
    }
    bool madeFolder_ = false;
    int fd_ = -1;
    int number_ = -1;
};

TEST(SetupProgram, WithoutAReachableDisplayItReportsInsteadOfAbortingAndChangesNothing) {
    orbisk::test::TempDir dir;
    std::filesystem::copy_file(ORBISK_BIN_DIR "/orbisk.so", dir.File("orbisk.so"));
    const std::string ini = "[Main]\nCOM=7\n[TV]\n0000001=Power\n";
    orbisk::test::WriteFile(dir.File("orbisk.ini"), ini);
    struct stat before {}, after {};
    ::stat(dir.File("orbisk.ini").c_str(), &before);
    // Named but unreachable, or a platform Qt lacks: Qt itself would abort.
    // A display that never answers would hold Setup for ever.  Empty stands
    // for unset, to Qt and to the plug-in alike.
    const SilentXDisplay silent;
    const std::string silentDisplay = "DISPLAY=" + silent.Name();
    for (const std::string& named :
         {std::string("DISPLAY=:7731"), std::string("QT_QPA_PLATFORM=bogus"),
          std::string("WAYLAND_DISPLAY=orbisk-nowhere"), silentDisplay}) {
        std::vector<std::string> env = {named, "DISPLAY=", "QT_QPA_PLATFORM=", "WAYLAND_DISPLAY=", "XDG_SESSION_TYPE="};
        if (named.starts_with("WAYLAND")) env.back() += "wayland";
        orbisk::test::ChildProcess setup({ORBISK_BIN_DIR "/orbisk", "setup", "--plugin", dir.File("orbisk.so")},
                                         dir.File("out.txt"), env);
        EXPECT_EQ(setup.Wait(60000), 2) << named;
    }
    const std::string out = ReadFile(dir.File("out.txt"));
    EXPECT_NE(out.find("setup dialog: cannot connect to X display :7731."), std::string::npos) << out;
    EXPECT_NE(out.find("setup dialog: Qt has no platform \"bogus\"."), std::string::npos) << out;
    EXPECT_NE(out.find("setup dialog: X display " + silent.Name() + " does not answer."), std::string::npos) << out;
    ::stat(dir.File("orbisk.ini").c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(ReadFile(dir.File("orbisk.ini")), ini);
}

TEST(SettingsProgram, ReadsAUtf16FileAsThePluginDoes) {
    orbisk::test::TempDir dir;
    orbisk::test::WriteFile(dir.File("orbisk.ini"),
                            orbisk::test::Utf16File("[Main]\r\nCOM=8\r\n[My TV]\r\n0000001=Power\r\n"));
    orbisk::test::ChildProcess settings({ORBISK_BIN_DIR "/orbisk", "settings", dir.File("orbisk.ini")},
                                        dir.File("out.txt"));
    EXPECT_EQ(settings.Wait(60000), 0);
    const std::string out = ReadFile(dir.File("out.txt"));
    EXPECT_TRUE(out.starts_with("COM=8\n") && out.ends_with("\n0\tMy TV\t0000001=Power\n")) << out;
}

TEST(SettingsProgram, TwoImportsAtOnceKeepBothRemotes) {
    orbisk::test::TempDir dir;
    constexpr int Keys = 50;
    for (const char* remote : {"A", "B"}) {
        std::string keymap =
            std::string("[[protocols]]\nname = '") + remote + "'\nprotocol = 'nec'\n[protocols.scancodes]\n";
        for (int key = 0; key < Keys; ++key)
            keymap += std::to_string((remote[0] << 8) + key) + " = 'KEY_" + std::to_string(key) + "'\n";
        orbisk::test::WriteFile(dir.File(std::string(remote) + ".toml"), keymap);
    }
    const std::string ini = dir.File("orbisk.ini");
    for (int round = 0; round < 20; ++round) {
        orbisk::test::WriteFile(ini, "[Main]\nCOM=3\n");
        const auto import = [&](const char* keymap) -> std::vector<std::string> {
            return {ORBISK_BIN_DIR "/orbisk", "settings", "import", dir.File(keymap), ini};
        };
        orbisk::test::ChildProcess a(import("A.toml"), dir.File("out.txt")), b(import("B.toml"), dir.File("out.txt"));
        ASSERT_EQ(a.Wait(60000), 0) << ReadFile(dir.File("out.txt"));
        ASSERT_EQ(b.Wait(60000), 0) << ReadFile(dir.File("out.txt"));
        const orbisk::IniDocument doc = orbisk::IniDocument::Parse(ReadFile(ini));
        ASSERT_EQ(doc.SectionEntries("A").size(), Keys) << "round " << round;
        ASSERT_EQ(doc.SectionEntries("B").size(), Keys) << "round " << round;
    }
}

// Escape sequences, bells, tabs and NULs in the file (a UTF-16 file without
// its byte-order mark reads as text full of NULs) reach the terminal as '_'.
TEST(SettingsProgram, ShowsControlCharactersOfTheFileReplaced) {
    orbisk::test::TempDir dir;
    const std::string utf16 = orbisk::test::Utf16File("[TV]\n0000001=Power\n").substr(2);
    const std::pair<std::string, std::string> cases[] = {
        {"[Main]\nExecOnError=a\x1b]0;title\x07\n[T\tV\x1b[2J]\n0000001=Po\x1b[31mwer\x07\n",
         "ExecOnError=a_]0;title_\nRecognize="},
        {"[Main]\n[T\tV\x1b[2J]\n0000001=Po\x1b[31mwer\x07\n", "\n0\tT_V_[2J\t0000001=Po_[31mwer_\n"},
        {utf16, "\n0\t_T_V_\t_0_0_0_0_0_0_1_=_P_o_w_e_r_\n"},
    };
    for (const auto& [file, shown] : cases) {
        orbisk::test::WriteFile(dir.File("orbisk.ini"), file);
        std::filesystem::remove(dir.File("out.txt"));
        orbisk::test::ChildProcess settings({ORBISK_BIN_DIR "/orbisk", "settings", dir.File("orbisk.ini")},
                                            dir.File("out.txt"));
        EXPECT_EQ(settings.Wait(60000), 0);
        const std::string out = ReadFile(dir.File("out.txt"));
        EXPECT_NE(out.find(shown), std::string::npos) << out;
        EXPECT_EQ(std::count_if(out.begin(), out.end(), [](char c) { return c != '\t' && c != '\n' && orbisk::IsControlCharacter(c); }), 0) << out;
    }
}

}  // namespace
