// The learning flow on Windows, as a user goes through it: `orbisk.exe setup`
// shows the native dialog of orbisk.dll, `orbisk.exe simulate` plays a key
// into the null-modem pair, the dialog shows its code, "Add ->" opens a new
// row, the name is typed and Enter pressed, the dialog is closed; the
// settings file beside the DLL then holds the key.  The test drives the
// dialog of the other process through its windows, as a user's input would.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "dialog/win32/setup_form.h"
#include "support/temp_dir.h"

namespace {

using namespace std::chrono_literals;
using orbisk::TSetupForm;

struct Process {
    explicit Process(std::string commandLine) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &info))
            info = {};
        else
            CloseHandle(info.hThread);
    }
    ~Process() {
        if (info.hProcess == nullptr) return;
        if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info.hProcess, 1);
        CloseHandle(info.hProcess);
    }
    bool Ended(DWORD ms) const { return WaitForSingleObject(info.hProcess, ms) == WAIT_OBJECT_0; }
    PROCESS_INFORMATION info{};
};

bool WaitFor(const std::function<bool()>& condition) {
    for (auto end = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(50ms))
        if (condition()) return true;
    return false;
}

struct Search {
    DWORD process;
    int id;
    HWND found = nullptr;
};

BOOL CALLBACK VisitForm(HWND hwnd, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    char name[32] = {};
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if (owner != search->process || !GetClassNameA(hwnd, name, sizeof name) || std::string(name) != "TSetupForm" ||
        !IsWindowVisible(hwnd))
        return TRUE;
    search->found = hwnd;
    return FALSE;
}

BOOL CALLBACK VisitChild(HWND hwnd, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);

    if (GetDlgCtrlID(hwnd) != search->id) return TRUE;
    search->found = hwnd;
    return FALSE;
}

HWND Child(HWND form, int id) {
    Search search{0, id};
    EnumChildWindows(form, VisitChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The text of a window of the other process, through the message.
std::string Text(HWND window) {
    char text[128] = {};
    SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

TEST(SetupDialogExe, KeyLearnedInTheDialogIsSaved) {
    char own[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, own, MAX_PATH);
    const std::string bin = std::string(own).substr(0, std::string(own).find_last_of('\\'));
    orbisk::test::TempDir dir;
    for (const char* file : {"orbisk.exe", "orbisk.dll"})
        ASSERT_TRUE(CopyFileA((bin + "\\" + file).c_str(), dir.File(file).c_str(), FALSE)) << file;
    orbisk::test::WriteFile(dir.File("orbisk.ini"), "[Main]\r\nCOM=5\r\nLastRemoteControl=TV\r\n[TV]\r\n");

    Process setup("\"" + dir.File("orbisk.exe") + "\" setup");
    ASSERT_NE(setup.info.hProcess, nullptr);
    Search search{setup.info.dwProcessId, 0};
    ASSERT_TRUE(WaitFor([&] {
        EnumWindows(VisitForm, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
    })) << "no setup dialog";
    const HWND form = search.found;

    Process receiver("\"" + dir.File("orbisk.exe") + "\" simulate --port COM6 --nec 4 8 --hold 300");
    HWND code = Child(form, TSetupForm::IdCodeLabel);
    ASSERT_NE(code, nullptr);
    ASSERT_TRUE(WaitFor([&] { return Text(code) != "<unknown>"; })) << "no code shown";
    // The key is released before "Add ->", as a user's would be.
    ASSERT_TRUE(receiver.Ended(20000));
    ASSERT_TRUE(WaitFor([&] { return Text(Child(form, TSetupForm::IdTestGroup)) == " Released "; }))
        << Text(Child(form, TSetupForm::IdTestGroup));
    const std::string shown = Text(code);

    SendMessageA(Child(form, TSetupForm::IdBitBtn2), BM_CLICK, 0, 0);
    HWND list = Child(form, TSetupForm::IdListView);
    HWND editor = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        editor = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETEDITCONTROL, 0, 0));
        return editor != nullptr;
    })) << "no editor";
    SendMessageA(editor, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("Power"));
    PostMessageA(editor, WM_KEYDOWN, VK_RETURN, 1);
    ASSERT_TRUE(WaitFor([&] { return SendMessageA(list, LVM_GETEDITCONTROL, 0, 0) == 0; }));
    PostMessageA(form, WM_CLOSE, 0, 0);
    ASSERT_TRUE(setup.Ended(20000)) << "the dialog did not close";

    const std::string ini = orbisk::test::ReadFile(dir.File("orbisk.ini"));
    EXPECT_NE(ini.find("[TV]\r\n" + shown + "=Power\r\n"), std::string::npos) << ini;
}

}  // namespace
