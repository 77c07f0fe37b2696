// orbisk.dll as a Windows host drives it: loaded from a folder of its own,
// called through its exports, keys sent to a window of the host's thread.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "orbisk/host.h"
#include "support/temp_dir.h"

namespace orbisk {
namespace {

constexpr UINT kKeyMessage = ORBISK_KEY_MESSAGE;

// Calls a function that takes three stack arguments and reports by how
// many bytes the stack pointer differs afterwards from before the pushes:
// 0 when the function removed its arguments itself, as __stdcall does.
std::uint32_t StackLeftByOpen(void* fn, const void* const args[3], const char** result) {
    std::uint32_t left;
    const char* r;
    asm volatile(
        "movl %%esp, %%edi\n\t"
        "pushl 8(%%esi)\n\t"
        "pushl 4(%%esi)\n\t"
        "pushl (%%esi)\n\t"
        "call *%%ebx\n\t"
        "movl %%edi, %%edx\n\t"
        "subl %%esp, %%edx\n\t"
        "movl %%edi, %%esp\n\t"
        : "=a"(r), "=d"(left)
        : "b"(fn), "S"(args)
        : "ecx", "edi", "memory", "cc");
    *result = r;
    return left;
}

struct HostWindow {
    static inline std::vector<std::string> keys;
    static inline DWORD busyMs = 0;
    static inline std::function<void()> onKey;  // what the host does inside the message, once

    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
        if (message != kKeyMessage) return DefWindowProcA(window, message, wparam, lparam);
        const auto* record = reinterpret_cast<const OrbiskKeyEventRecord*>(wparam);
        keys.push_back(std::to_string(lparam) + " " + record->KeyName + "/" + OrbiskRecordCodeText(record));
        Sleep(busyMs);
        if (const std::function<void()> handler = std::exchange(onKey, nullptr)) handler();
        return 0;
    }

    HostWindow() {
        WNDCLASSA type{};
        type.lpfnWndProc = Procedure;
        type.lpszClassName = "OrbiskTestHost";
        RegisterClassA(&type);
        handle = CreateWindowExA(0, "OrbiskTestHost", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        keys.clear();
        busyMs = 0;
        onKey = nullptr;
    }
    ~HostWindow() { DestroyWindow(handle); }
    HWND handle;
};

// A private copy of orbisk.dll with its settings beside it, loaded.
class LoadedPlugin {
public:
    explicit LoadedPlugin(const std::string& settings) {
        path_ = dir_.File("orbisk.dll");
        test::WriteFile(dir_.File("orbisk.ini"), settings);
        CopyFileA(("Z:" ORBISK_DLL_PATH), path_.c_str(), FALSE);
        module_ = LoadLibraryA(path_.c_str());
    }
    ~LoadedPlugin() {
        if (module_ != nullptr) FreeLibrary(module_);
    }
    bool Loaded() const { return module_ != nullptr; }
    const std::string& Path() const { return path_; }
    void* Entry(const char* name) { return reinterpret_cast<void*>(GetProcAddress(module_, name)); }
    void Call(const char* name) { reinterpret_cast<OrbiskVoidFn>(Entry(name))(); }
    std::string Settings() const { return test::ReadFile(dir_.File("orbisk.ini")); }

private:
    test::TempDir dir_;
    std::string path_;
    HMODULE module_ = nullptr;
};

// Closes the setup dialog, found through the exported _SetupForm, from a
// timer that fires inside its modal loop.
struct CloseSetupForm {
    static inline HWND* slot = nullptr;
    static inline HWND seen = nullptr;
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        if (*slot == nullptr || !IsWindowVisible(*slot)) return;
        char name[32] = {};
        GetClassNameA(*slot, name, sizeof name);
        EXPECT_STREQ(name, "TSetupForm");
        seen = *slot;
        PostMessageA(*slot, WM_CLOSE, 0, 0);
    }
};

// A watchdog for calls that must return: the process ends with a message
// when they wait for ever.
class Watchdog {
public:
    explicit Watchdog(const char* what) : thread_([this, what] {
        for (int i = 0; i < 1500 && !done_; ++i) Sleep(10);
        if (!done_) {
            std::fprintf(stderr, "%s\n", what);
            ExitProcess(3);
        }
    }) {}
    ~Watchdog() {
        done_ = true;
        thread_.join();
    }

private:
    std::atomic<bool> done_{false};
    std::thread thread_;
};

struct HostInfo {
    unsigned char bytes[64] = {};
    HostInfo() { OrbiskSetHostVersion(bytes, ORBISK_HOST_VERSION(2, 7, 12)); }
};

void SendBurst() {
    const HANDLE port = CreateFileA("\\\\.\\COM6", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    const std::uint8_t burst[] = {90, 45, 11, 11, 11, 34, 11, 11, 11, 34, 11, 34, 0xFE};
    DWORD written = 0;
    WriteFile(port, burst, sizeof burst, &written, nullptr);
    CloseHandle(port);
}

const char kSettings[] = "[Main]\r\nCOM=5\r\n";

TEST(Win32Plugin, OpenRemovesItsArgumentsAndTheSettingsLiveBesideTheDll) {
    LoadedPlugin plugin(kSettings);
    ASSERT_TRUE(plugin.Loaded());
    HostWindow window;
    HostInfo info;
    const void* const args[3] = {"Test host", window.handle, info.bytes};
    const char* description = nullptr;
    EXPECT_EQ(StackLeftByOpen(plugin.Entry("Open"), args, &description), 0u);
    EXPECT_STREQ(description, "RAYCAP.QM Support");

    // Setup shows the dialog, whose window _SetupForm holds while it runs;
    // closed, it saves, and the wait times are written after it, to the
    // file beside the DLL, in the file's own line breaks.  (Without a
    // display the dialog cannot be made and Setup goes on without it.)
    CloseSetupForm::slot = static_cast<HWND*>(plugin.Entry("_SetupForm"));
    ASSERT_NE(CloseSetupForm::slot, nullptr);
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, CloseSetupForm::Tick);
    plugin.Call("Setup");
    KillTimer(nullptr, timer);
    EXPECT_EQ(*CloseSetupForm::slot, nullptr);
    if (CloseSetupForm::seen != nullptr) {
        char name[32] = {};
        EXPECT_EQ(GetClassNameA(CloseSetupForm::seen, name, sizeof name), 0) << "destroyed";
    }
    plugin.Call("Close");
    const std::string file = plugin.Settings();
    EXPECT_NE(file.find("Wait1=300\r\n"), std::string::npos) << file;
    EXPECT_EQ(file.find("\n"), file.find("\r\n") + 1) << "a line break without CR";
}

TEST(Win32Plugin, StopServesAKeyMessageSentToTheBusyHostWindow) {
    LoadedPlugin plugin(kSettings);
    ASSERT_TRUE(plugin.Loaded());
    HostWindow window;
    HostInfo info;
    auto open = reinterpret_cast<OrbiskOpenFn>(plugin.Entry("Open"));
    open(nullptr, window.handle, info.bytes);
    plugin.Call("Start");

    // The engine sends the key while this thread, which owns the window,
    // does not look at its messages: the send waits, as it would while a
    // real host is busy, until Stop is called.
    SendBurst();
    for (int i = 0; i < 500 && !(HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE); ++i) Sleep(10);
    ASSERT_TRUE(HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) << "no key message came";
    HostWindow::busyMs = 200;

    DWORD took = 0;
    {
        Watchdog watchdog("Stop and the host's window wait for each other");
        const DWORD start = GetTickCount();
        plugin.Call("Stop");
        took = GetTickCount() - start;
    }
    plugin.Call("Close");
    ASSERT_EQ(HostWindow::keys.size(), 1u);
    EXPECT_EQ(HostWindow::keys[0].substr(0, 2), "0 ");
    std::printf("Stop with a key message in flight and a window procedure busy for 200 ms: %lu ms\n", took);
}

void* EntryOf(HMODULE module, const char* name) { return reinterpret_cast<void*>(GetProcAddress(module, name)); }

// Closes every box and dialog of this thread from a timer inside their
// loops, keeping the boxes' texts.
struct CloseEveryWindow {
    static inline std::vector<std::string> boxes;
    static BOOL CALLBACK Visit(HWND window, LPARAM) {
        char name[32] = {};
        GetClassNameA(window, name, sizeof name);
        if (!IsWindowVisible(window)) return TRUE;
        if (std::strcmp(name, "#32770") == 0) {
            char text[512] = {};
            GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
            boxes.push_back(text);
            // A box that keeps coming back (a save that keeps failing).
            if (boxes.size() > 3) {
                std::fprintf(stderr, "boxes without end, the last: %s\n", text);
                ExitProcess(4);
            }
        }
        if (std::strcmp(name, "#32770") == 0 || std::strcmp(name, "TSetupForm") == 0)
            PostMessageA(window, WM_CLOSE, 0, 0);
        return TRUE;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) { EnumThreadWindows(GetCurrentThreadId(), Visit, 0); }
};

TEST(Win32Plugin, ALibraryInAFolderOutsideTheAnsiCodePageReadsAndSavesItsSettings) {
    test::TempDir dir;
    const std::filesystem::path folder = std::filesystem::path(dir.Path()) / L"\u00DCn\u00EF \u65E5\u672C";
    std::filesystem::create_directory(folder);
    std::filesystem::copy_file("Z:" ORBISK_DLL_PATH, folder / "orbisk.dll");
    std::ofstream(folder / "orbisk.ini", std::ios::binary) << "[Main]\r\nCOM=5\r\nWaitN=150\r\n";

    const HMODULE module = LoadLibraryW((folder / "orbisk.dll").c_str());
    ASSERT_NE(module, nullptr);
    HostWindow window;
    HostInfo info;
    CloseEveryWindow::boxes.clear();
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, CloseEveryWindow::Tick);
    reinterpret_cast<OrbiskOpenFn>(EntryOf(module, "Open"))(nullptr, window.handle, info.bytes);
    reinterpret_cast<OrbiskVoidFn>(EntryOf(module, "Setup"))();
    KillTimer(nullptr, timer);
    reinterpret_cast<OrbiskVoidFn>(EntryOf(module, "Close"))();
    FreeLibrary(module);
    EXPECT_EQ(CloseEveryWindow::boxes, std::vector<std::string>{});
    // Read (WaitN) and written back with the others.
    std::ifstream in(folder / "orbisk.ini", std::ios::binary);
    const std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(saved.find("Wait1=300\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("WaitN=150\r\n"), std::string::npos) << saved;
    in.close();
    std::filesystem::remove_all(folder);
}

// Serves this thread's messages until the host window has count keys.
void PumpUntilKeys(std::size_t count) {
    for (int i = 0; i < 500 && HostWindow::keys.size() < count; ++i) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        Sleep(10);
    }
}

TEST(Win32Plugin, StopFromInsideTheKeyMessageReturnsAndStartRunsAgain) {
    LoadedPlugin plugin(kSettings);
    ASSERT_TRUE(plugin.Loaded());
    HostWindow window;
    HostInfo info;
    reinterpret_cast<OrbiskOpenFn>(plugin.Entry("Open"))(nullptr, window.handle, info.bytes);
    plugin.Call("Start");
    Watchdog watchdog("Stop inside the key message and the engine wait for each other");
    HostWindow::onKey = [&] { plugin.Call("Stop"); };
    SendBurst();
    PumpUntilKeys(1);
    plugin.Call("Start");
    SendBurst();
    PumpUntilKeys(2);
    plugin.Call("Close");
    ASSERT_EQ(HostWindow::keys.size(), 2u);
    EXPECT_EQ(HostWindow::keys[1].substr(0, 2), "0 ");
}

// This program again, as a host that loads orbisk.dll from path, opens and
// starts it and ends without Stop and Close: by ExitProcess, or after
// FreeLibrary.  Its exit code, or ~0 when it did not end in time.
DWORD RunEndingHost(const std::string& path, const char* how) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string command = std::string("\"") + self + "\" --gtest_filter=Win32EndingHost.*";
    SetEnvironmentVariableA("ORBISK_TEST_END", how);
    SetEnvironmentVariableA("ORBISK_TEST_DLL", path.c_str());
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    const BOOL started =
        CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child);
    SetEnvironmentVariableA("ORBISK_TEST_END", nullptr);
    if (!started) return ~0u;
    DWORD code = ~0u;
    if (WaitForSingleObject(child.hProcess, 20000) == WAIT_OBJECT_0)
        GetExitCodeProcess(child.hProcess, &code);
    else
        TerminateProcess(child.hProcess, 9);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return code;
}

// The host frees the library from a message handled while the dialog runs,
// then closes the dialog: the library unloads once Setup has returned.
struct FreeInSetup {
    static inline HMODULE module = nullptr;
    static inline HWND* slot = nullptr;
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        if (module == nullptr || *slot == nullptr || !IsWindowVisible(*slot)) return;
        FreeLibrary(std::exchange(module, nullptr));
        PostMessageA(*slot, WM_CLOSE, 0, 0);
    }
};

TEST(Win32Plugin, AHostThatEndsOrUnloadsWithoutStopAndCloseIsNotHeld) {
    for (const char* how : {"exit", "free", "free in setup"}) {
        LoadedPlugin plugin(kSettings);
        ASSERT_TRUE(plugin.Loaded());
        EXPECT_EQ(RunEndingHost(plugin.Path(), how), 7u) << how;
    }
}

TEST(Win32EndingHost, Run) {
    const char* how = std::getenv("ORBISK_TEST_END");
    if (how == nullptr) GTEST_SKIP() << "run by AHostThatEndsOrUnloadsWithoutStopAndCloseIsNotHeld";
    const HMODULE module = LoadLibraryA(std::getenv("ORBISK_TEST_DLL"));
    ASSERT_NE(module, nullptr);
    HostWindow window;
    HostInfo info;
    reinterpret_cast<OrbiskOpenFn>(EntryOf(module, "Open"))(nullptr, window.handle, info.bytes);
    if (std::strcmp(how, "free in setup") != 0) reinterpret_cast<OrbiskVoidFn>(EntryOf(module, "Start"))();
    if (std::strcmp(how, "free") == 0) FreeLibrary(module);
    if (std::strcmp(how, "free in setup") == 0) {
        SetErrorMode(SEM_NOGPFAULTERRORBOX);
        FreeInSetup::module = module;
        FreeInSetup::slot = static_cast<HWND*>(EntryOf(module, "_SetupForm"));
        SetTimer(nullptr, 0, 50, FreeInSetup::Tick);
        reinterpret_cast<OrbiskVoidFn>(EntryOf(module, "Setup"))();
        if (FreeInSetup::module != nullptr || GetModuleHandleA(std::getenv("ORBISK_TEST_DLL")) != nullptr)
            ExitProcess(8);
    }
    ExitProcess(7);
}

}  // namespace
}  // namespace orbisk
