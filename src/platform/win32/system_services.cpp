#include "platform/system_services.h"

#include <windows.h>

#include <string>

namespace orbisk {
namespace {

constexpr char kCaption[] = "RAYCAP.QM Support";
constexpr char kEventSource[] = "Vantrel Orbisk";

class Win32SystemServices final : public SystemServices {
public:
    void ShowError(std::string_view text) override {
        MessageBoxPresenter* presenter = CurrentMessageBoxPresenter();
        if (presenter != nullptr && presenter->ShowError(kCaption, text)) return;
        // No owner window: the box must not depend on a host window that may
        // be busy or gone.
        const std::string message(text);
        MessageBoxA(nullptr, message.c_str(), kCaption, MB_OK | MB_ICONERROR);
    }

    void LogError(std::string_view text) override {
        const std::string message(text);
        if (const HANDLE source = RegisterEventSourceA(nullptr, kEventSource)) {
            LPCSTR strings[1] = {message.c_str()};
            ReportEventA(source, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr);
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
        // WinExec returns once the program runs (a windowed one, once it waits
        // for input); it then goes on by itself.
        // Values up to 31 are its errors (not found, not a program, ...).
        return WinExec(commandLine.c_str(), SW_HIDE) > 31;
    }
};

}  // namespace

std::unique_ptr<SystemServices> MakeSystemServices() { return std::make_unique<Win32SystemServices>(); }

}  // namespace orbisk
