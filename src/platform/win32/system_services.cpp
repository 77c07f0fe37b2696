#include "platform/system_services.h"

#include <windows.h>

#include <string>

#include "platform/win32/win32_system_services.h"
#include "platform/win32/wide_text.h"

namespace orbisk {
namespace {

constexpr char kCaption[] = "RAYCAP.QM Support";
constexpr char kEventSource[] = "Vantrel Orbisk";

class Win32SystemServices final : public SystemServices {
public:
    explicit Win32SystemServices(int commandWatchMs) : commandWatchMs_(commandWatchMs) {}

    void ShowError(std::string_view text) override {
        MessageBoxPresenter* presenter = CurrentMessageBoxPresenter();
        if (presenter != nullptr && presenter->ShowError(kCaption, text)) return;
        // No owner window: the box must not depend on a host window that may
        // be busy or gone.
        // The text may name a path outside the ANSI code page.
        MessageBoxW(nullptr, win32::Widen(text).c_str(), win32::Widen(kCaption).c_str(), MB_OK | MB_ICONERROR);
    }

    void LogError(std::string_view text) override {
        const std::string message(text);
        if (const HANDLE source = RegisterEventSourceA(nullptr, kEventSource)) {
            const std::wstring wide = win32::Widen(message);
            LPCWSTR strings[1] = {wide.c_str()};
            ReportEventW(source, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr);
            DeregisterEventSource(source);
        }
        // A console program (orbisk.exe, a host started from a console) shows
        // the entry too; a GUI host has no standard error and shows nothing.
        const HANDLE console = GetStdHandle(STD_ERROR_HANDLE);
        if (console != nullptr && console != INVALID_HANDLE_VALUE) {
            // One write, so that output of other threads cannot cut into the line.
            const std::string line = std::string(kEventSource) + ": " + message + "\r\n";
            DWORD written = 0;
            WriteFile(console, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        }
    }

    bool StartHidden(const std::string& commandLine) override {
        // Started as WinExec starts it (the line as CreateProcess parses it,
        // shown hidden), but with a process handle: WinExec gives no exit
        // status, and a command that fails at once (cmd /c with a typo, a
        // script that exits 1) must be reported like one that cannot start.
        if (commandLine.find_first_not_of(" \t\r\n") == std::string::npos) return false;
        std::string line = commandLine;  // CreateProcessA may write into it
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
        PROCESS_INFORMATION process{};
        if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &process))
            return false;
        CloseHandle(process.hThread);
        DWORD exitCode = 0;
        const DWORD ended = WaitForSingleObject(process.hProcess, static_cast<DWORD>(commandWatchMs_));
        const bool failed =
            ended == WAIT_OBJECT_0 && GetExitCodeProcess(process.hProcess, &exitCode) && exitCode != 0;
        CloseHandle(process.hProcess);
        return !failed;
    }

private:
    int commandWatchMs_;
};

}  // namespace

std::unique_ptr<SystemServices> MakeWin32SystemServices(int commandWatchMs) {
    return std::make_unique<Win32SystemServices>(commandWatchMs);
}

std::unique_ptr<SystemServices> MakeSystemServices() { return MakeWin32SystemServices(CommandWatchMs); }

}  // namespace orbisk
