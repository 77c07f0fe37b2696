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
        const HANDLE source = RegisterEventSourceA(nullptr, kEventSource);
        if (source == nullptr) return;
        const std::string message(text);
        LPCSTR strings[1] = {message.c_str()};
        ReportEventA(source, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr);
        DeregisterEventSource(source);
    }

    void StartHidden(const std::string& commandLine) override {
        // WinExec returns at once; the command runs on its own.
        WinExec(commandLine.c_str(), SW_HIDE);
    }
};

}  // namespace

std::unique_ptr<SystemServices> MakeSystemServices() { return std::make_unique<Win32SystemServices>(); }

}  // namespace orbisk
