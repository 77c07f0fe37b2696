// Measures the running plug-in on this machine, through the real orbisk.so:
//  - key latency: from the terminator byte written on the pseudo-terminal
//    to the host's send (median and 99th percentile);
//  - Stop time with an idle port, while a lost port waits to be reopened, and
//    while a port missing at start is waited for;
//  - CPU time of a started, idle plug-in;
//  - how often a fragment without its terminator is glued to a key that
//    follows it after a gap around the fragment silence.
// Usage: bench_runtime [BURSTS] [IDLE_SECONDS] [FRAGMENTS_PER_GAP]
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "orbisk/host.h"
#include "host/plugin_loader.h"
#include "capture/posix/pty.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::atomic<std::int64_t> g_lastSendNs{0};
std::atomic<int> g_presses{0};

std::mutex g_codeMutex;
std::string g_lastCode;  // of the latest press

std::intptr_t Send(OrbiskHostWindow*, std::uint32_t, std::uintptr_t wparam, std::intptr_t lparam) {
    if (lparam == ORBISK_KEY_PRESS) {
        {
            const std::lock_guard<std::mutex> lock(g_codeMutex);
            g_lastCode = reinterpret_cast<const OrbiskKeyEventRecord*>(wparam)->CodeText;
        }
        g_lastSendNs.store(Clock::now().time_since_epoch().count(), std::memory_order_release);
        g_presses.fetch_add(1, std::memory_order_release);
    }
    return 0;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

template <typename F>
double MillisecondsOf(F&& f) {
    const auto start = Clock::now();
    f();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Writes bytes on the line and waits for the press they make; its code
// text, empty when none came.
std::string PressOf(int master, const std::vector<unsigned char>& bytes) {
    const int before = g_presses.load(std::memory_order_acquire);
    if (write(master, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) return {};
    const auto sent = Clock::now();
    while (g_presses.load(std::memory_order_acquire) == before) {
        if (Clock::now() - sent > std::chrono::seconds(2)) return {};
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    const std::lock_guard<std::mutex> lock(g_codeMutex);
    return g_lastCode;
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * (v.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
    const int bursts = argc > 1 ? std::atoi(argv[1]) : 300;
    const int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 10;
    const int fragments = argc > 3 ? std::atoi(argv[3]) : 40;

    char pattern[] = "/tmp/orbisk-bench-XXXXXX";
    const std::string dir = mkdtemp(pattern);
    orbisk::tool::PseudoTerminal pty;
    std::string error;
    if (!pty.Open(false, error) || !orbisk::tool::LinkPort(dir + "/ports", 2, pty.SlavePath(), error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    fs::copy_file(std::string(ORBISK_BIN_DIR) + "/orbisk.so", dir + "/orbisk.so");
    orbisk::tool::LoadedPlugin plugin;
    if (!plugin.Load(dir + "/orbisk.so", error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    OrbiskHostWindow window{Send};
    const orbisk::tool::HostInfoRecord hostInfo(ORBISK_HOST_VERSION(2, 7, 12));
    plugin.Open(nullptr, &window, hostInfo.bytes);
    plugin.Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    // Alternate two different codes, each after the previous key's release,
    // so that every burst is a press.
    std::vector<double> latencies;
    for (int i = 0; i < bursts; ++i) {
        std::vector<unsigned char> burst = {180, 90};
        for (int b = 0; b < 32; ++b) {
            burst.push_back(11);
            burst.push_back(((i + b) & 1) ? 34 : 11);
        }
        burst.push_back(11);
        const int before = g_presses.load(std::memory_order_acquire);
        // Everything but the terminator first, so the timing starts at the
        // byte that completes the burst.
        if (write(pty.Master(), burst.data(), burst.size()) < 0) return 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const unsigned char terminator = 0xFE;
        const auto sent = Clock::now();
        if (write(pty.Master(), &terminator, 1) != 1) return 1;
        while (g_presses.load(std::memory_order_acquire) == before) {
            if (Clock::now() - sent > std::chrono::seconds(2)) break;
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        const std::int64_t at = g_lastSendNs.load(std::memory_order_acquire);
        latencies.push_back((at - sent.time_since_epoch().count()) / 1e6);
        std::this_thread::sleep_for(std::chrono::milliseconds(260));  // past the release time-out
    }
    std::printf("key latency over %d bursts: median %.2f ms, 99th percentile %.2f ms, max %.2f ms\n",
                bursts, Percentile(latencies, 0.5), Percentile(latencies, 0.99),
                Percentile(latencies, 1.0));

    // A fragment (three durations, no terminator), then after the gap a
    // key: glued, the press carries another code than the key's own.
    const std::vector<unsigned char> fragment = {7, 8, 9};
    std::vector<unsigned char> key = {50, 25};
    for (int b = 0; b < 16; ++b) key.insert(key.end(), {10, static_cast<unsigned char>(b % 3 ? 10 : 30)});
    key.insert(key.end(), {11, 0xFE});
    const std::string keyCode = PressOf(pty.Master(), key);
    for (const double gapMs : {20.0, 24.0, 25.0, 25.5, 26.0, 26.5, 27.0, 28.0, 29.0, 31.0}) {
        int glued = 0;
        for (int i = 0; i < fragments; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(260));  // past the release time-out
            if (write(pty.Master(), fragment.data(), fragment.size()) != 3) return 1;
            const auto end = Clock::now() + std::chrono::microseconds(static_cast<int>(gapMs * 1000));
            std::this_thread::sleep_until(end - std::chrono::milliseconds(1));
            while (Clock::now() < end) {
            }
            glued += PressOf(pty.Master(), key) != keyCode;
        }
        std::printf("fragment then key after %.1f ms: glued %d of %d (%.0f %%)\n", gapMs, glued, fragments,
                    100.0 * glued / fragments);
    }

    const double cpuBefore = CpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
    const double cpu = CpuSeconds() - cpuBefore;
    std::printf("idle CPU over %d s: %.4f s (%.4f %% of a core)\n", idleSeconds, cpu,
                100.0 * cpu / idleSeconds);

    std::printf("Stop with an idle port: %.2f ms\n", MillisecondsOf([&] { plugin.Stop(); }));

    // Unplugged: the reader reports the loss and waits to reopen the port.
    plugin.Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pty.CloseMaster();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    std::printf("Stop while a lost port waits to be reopened: %.2f ms\n", MillisecondsOf([&] { plugin.Stop(); }));

    // Missing at start: Start reports it and the reader waits for the port.
    fs::remove(dir + "/ports/com2");
    plugin.Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    std::printf("Stop while a port missing at start is waited for: %.2f ms\n",
                MillisecondsOf([&] { plugin.Stop(); }));
    plugin.Close();
    fs::remove_all(dir);
    return 0;
}
