// The Qt setup dialog opened and closed over large settings files: FormShow
// filling the real code list and remote box, and the save on Close.  Runs
// offscreen.  Arguments: keys and keys per remote control.
#include <benchmark/benchmark.h>

#include <QApplication>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "common/code_text.h"
#include "dialog/qt/setup_form.h"
#include "settings/settings.h"

namespace orbisk {
namespace {

void BM_QtDialogOpenAndClose(benchmark::State& state) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "bench_dialog_qt";
    static char* argv[] = {name, nullptr};
    static QApplication* application = new QApplication(argc, argv);
    (void)application;

    const auto keys = static_cast<int>(state.range(0)), perRemote = static_cast<int>(state.range(1));
    const auto folder = std::filesystem::temp_directory_path() / ("orbisk-bench-" + std::to_string(std::random_device()()));
    std::filesystem::create_directories(folder);
    std::string file = "[Main]\nCOM=2\n";
    for (int i = 0; i < keys; ++i) {
        if (i % perRemote == 0) file += "[Remote " + std::to_string(i / perRemote) + "]\n";
        file += CodeText(0x10000000u + static_cast<std::uint32_t>(i)) + "=Key " + std::to_string(i) + "\n";
    }
    Settings settings;
    DialogServices services{settings, (folder / "orbisk.ini").string(), {}, {}};
    std::ofstream(services.settingsPath, std::ios::binary) << file;
    TSetupForm form(services);
    for (auto _ : state) {
        const auto opening = std::chrono::steady_clock::now();
        form.show();
        const auto closing = std::chrono::steady_clock::now();
        form.done(0);
        const auto closed = std::chrono::steady_clock::now();
        state.counters["open_ms"] = std::chrono::duration<double, std::milli>(closing - opening).count();
        state.counters["close_ms"] = std::chrono::duration<double, std::milli>(closed - closing).count();
    }
    std::filesystem::remove_all(folder);
}

}  // namespace

BENCHMARK(BM_QtDialogOpenAndClose)
    ->ArgNames({"keys", "per_remote"})
    ->Args({1000, 1})->Args({10000, 1})->Args({100000, 10})->Args({100000, 1})
    ->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace orbisk

BENCHMARK_MAIN();
