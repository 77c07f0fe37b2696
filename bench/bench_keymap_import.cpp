// orbisk settings import of a large kernel keymap into a settings file: the
// whole command (reading the keymap, the codes, one replacement of the file)
// and the keymap's reading alone.  Argument: keys (NEC-32 scancodes, each
// with its own code).  The goal is 100,000 keys in under a second.  The
// command prints one line per run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "commands/commands.h"
#include "remotes/keymap.h"

namespace orbisk::tool {
namespace {

struct Files {
    std::filesystem::path folder = std::filesystem::temp_directory_path() / "orbisk-bench-keymap";
    std::string keymap = (folder / "big.toml").string();
    std::string settings = (folder / "orbisk.ini").string();

    explicit Files(int keys) {
        std::filesystem::create_directories(folder);
        std::ofstream out(keymap, std::ios::binary);
        out << "[[protocols]]\nname = \"big\"\nprotocol = \"nec\"\nvariant = \"nec32\"\n[protocols.scancodes]\n";
        char line[64];
        for (int i = 0; i < keys; ++i) {
            std::snprintf(line, sizeof line, "0x%08x = \"KEY_%d\"\n", 0x10000000u + static_cast<unsigned>(i) * 7919u,
                          i);
            out << line;
        }
    }
    ~Files() { std::filesystem::remove_all(folder); }
};

void BM_ImportKeymap(benchmark::State& state) {
    const Files files(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        std::ofstream(files.settings, std::ios::binary) << "[Main]\nCOM=3\n";
        state.ResumeTiming();
        if (RunSettings({"import", files.keymap, files.settings}) != 0) state.SkipWithError("import failed");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ImportKeymap)->Arg(10000)->Arg(40000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_ReadKeymap(benchmark::State& state) {
    const Files files(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::vector<KeymapTable> tables;
        std::string error;
        if (!ReadKeymap(files.keymap, tables, error)) state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(tables);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ReadKeymap)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orbisk::tool

BENCHMARK_MAIN();
