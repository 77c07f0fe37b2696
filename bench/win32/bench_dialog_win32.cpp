// The native setup dialog opened and closed over large settings files under
// Windows (or Wine): from ShowModal to the dialog's first timer tick (loading
// the list and showing the window), and from Close to the return of
// ShowModal (the save, and hiding the window).  Usage: bench_dialog_win32 [KEYS [KEYS_PER_REMOTE]]
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/code_text.h"
#include "dialog/win32/setup_form.h"
#include "settings/settings.h"

namespace {

using Clock = std::chrono::steady_clock;

orbisk::TSetupForm* g_form = nullptr;
Clock::time_point g_shown, g_closing, g_saved;

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (g_closing != Clock::time_point()) return;
    g_shown = Clock::now();
    g_closing = Clock::now();
    g_form->Close();
    g_saved = Clock::now();
}

double Ms(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int keys = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int perRemote = argc > 2 ? std::atoi(argv[2]) : 1;
    const auto folder = std::filesystem::temp_directory_path() / ("orbisk-bench-" + std::to_string(GetTickCount()));
    std::filesystem::create_directories(folder);
    std::string file = "[Main]\r\nCOM=2\r\n";
    for (int i = 0; i < keys; ++i) {
        if (i % perRemote == 0) file += "[Remote " + std::to_string(i / perRemote) + "]\r\n";
        file += orbisk::CodeText(0x10000000u + static_cast<std::uint32_t>(i)) + "=Key " + std::to_string(i) + "\r\n";
    }
    orbisk::Settings settings;
    orbisk::DialogServices services{settings, (folder / "orbisk.ini").string(), {}, {}};
    std::ofstream(services.settingsPath, std::ios::binary) << file;

    auto form = orbisk::TSetupForm::Create(services);
    if (form == nullptr) return 1;
    g_form = form.get();
    const UINT_PTR timer = SetTimer(nullptr, 0, 1, Tick);
    const Clock::time_point opening = Clock::now();
    form->ShowModal();
    const Clock::time_point closed = Clock::now();
    KillTimer(nullptr, timer);
    std::printf("%d keys, %d per remote: open %.0f ms, close %.0f ms (the save %.0f ms)\n", keys, perRemote,
                Ms(opening, g_shown), Ms(g_closing, closed), Ms(g_closing, g_saved));
    form.reset();
    std::filesystem::remove_all(folder);
    return 0;
}
