// The Windows file replacement under a file held by another program, and the
// system services a user sees: the error box and the hidden command.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <thread>

#include "platform/file_io.h"
#include "platform/module_path.h"
#include "platform/system_services.h"
#include "platform/win32/win32_system_services.h"
#include "support/temp_dir.h"

namespace orbisk {
namespace {

// Opens a file without sharing, as an editor or a scanner may hold it.
HANDLE Hold(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

std::size_t FilesIn(const std::string& folder) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

class Win32Files : public ::testing::Test {
protected:
    void SetUp() override { test::WriteFile(path, "old\r\n"); }
    test::TempDir dir;
    const std::string path = dir.File("orbisk.ini");
};

TEST_F(Win32Files, AFileHeldBrieflyIsReplacedOnceItIsFree) {
    const HANDLE held = Hold(path);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::thread release([&] {
        Sleep(300);
        CloseHandle(held);
    });
    std::error_code error;
    EXPECT_TRUE(ReplaceFileAtomically(path, "new\r\n", error)) << error.message();
    release.join();
    EXPECT_EQ(test::ReadFile(path), "new\r\n");
    EXPECT_EQ(FilesIn(dir.Path()), 1u);
}

TEST_F(Win32Files, AFileHeldForLongIsReportedAndKeptWhole) {
    std::error_code error;
    const HANDLE held = Hold(path);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(ReplaceFileAtomically(path, "new\r\n", error));
    EXPECT_EQ(error.value(), ERROR_SHARING_VIOLATION);
    CloseHandle(held);
    EXPECT_EQ(test::ReadFile(path), "old\r\n");
    EXPECT_EQ(FilesIn(dir.Path()), 1u) << "a temporary file was left behind";
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(ReplaceFileAtomically(path, "new\r\n", error));
    EXPECT_EQ(error.value(), ERROR_ACCESS_DENIED);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(test::ReadFile(path), "old\r\n");
}

TEST(Win32Paths, FolderOfWindowsPaths) {
    const struct {
        const char* path;
        const char* folder;
    } cases[] = {
        {"C:\\Host\\Plugins\\orbisk.dll", "C:\\Host\\Plugins"},
        {"C:\\orbisk.dll", "C:\\"},
        {"\\\\server\\share\\orbisk.dll", "\\\\server\\share"},
        {"Z:/tmp/orbisk.dll", "Z:/tmp"},
        {"orbisk.dll", "."},
    };
    for (const auto& c : cases) EXPECT_EQ(FolderOf(c.path), c.folder) << c.path;
    // The test program itself: this code's module is the .exe here.
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    EXPECT_EQ(OwnModulePath(), exe);
}

TEST(Win32System, StartHiddenRunsTheCommandWithoutWaiting) {
    test::TempDir dir;
    const std::string marker = dir.File("ran.txt");
    EXPECT_TRUE(MakeSystemServices()->StartHidden("cmd.exe /c echo ran> \"" + marker + "\""));
    for (int i = 0; i < 1000 && !std::filesystem::exists(marker); ++i) Sleep(10);
    EXPECT_TRUE(std::filesystem::exists(marker));
    EXPECT_FALSE(MakeSystemServices()->StartHidden("no-such-program-of-orbisk.exe"));
    EXPECT_FALSE(MakeSystemServices()->StartHidden(""));
    // A command that fails at once is reported like one that cannot start;
    // cmd.exe takes Wine longer than the watch of a host to start.
    EXPECT_FALSE(MakeWin32SystemServices(10000)->StartHidden("cmd.exe /c exit 2"));
}

// Needs a display (xvfb-run): finds the box, reads it, and closes it.
TEST(Win32System, ErrorBoxHasTheCaptionNoOwnerAndTheText) {
    if (GetEnvironmentVariableA("DISPLAY", nullptr, 0) == 0) GTEST_SKIP() << "no display";
    std::string text;
    bool owned = true;
    std::thread closer([&] {
        for (int i = 0; i < 1000; ++i) {
            if (HWND box = FindWindowA(nullptr, "RAYCAP.QM Support")) {
                char buffer[256] = {};
                GetDlgItemTextA(box, 0xFFFF, buffer, sizeof buffer);  // the box's message
                text = buffer;
                owned = GetWindow(box, GW_OWNER) != nullptr;
                PostMessageA(box, WM_COMMAND, IDOK, 0);
                return;
            }
            Sleep(10);
        }
    });
    MakeSystemServices()->ShowError("Cannot open COM port");
    closer.join();
    EXPECT_EQ(text, "Cannot open COM port");
    EXPECT_FALSE(owned);
}

}  // namespace
}  // namespace orbisk
