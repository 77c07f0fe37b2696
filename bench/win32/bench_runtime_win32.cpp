// Measures the running orbisk.dll under Windows (or Wine), as a host sees it:
//  - key latency: from the terminator written on COM6 to the host's window
//    procedure, orbisk.dll reading COM5 at the other end of a null-modem
//    pair (median and 99th percentile);
//  - Stop time with an idle port, and with a held key while the host's
//    thread is busy (the engine then waits in SendMessageA);
//  - the serial back-end's own share of the latency: from the terminator
//    written on COM6 to the return of a read of COM5 with the plug-in's
//    time-outs (median and 99th percentile).
// Usage: bench_runtime_win32 [BURSTS]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "orbisk/host.h"
#include "host/plugin_loader.h"
#include "capture/receiver_line.h"
#include "platform/serial_device.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

int g_presses = 0;
Clock::time_point g_lastPress;

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message != ORBISK_KEY_MESSAGE) return DefWindowProcA(window, message, wparam, lparam);
    if (lparam == ORBISK_KEY_PRESS) {
        g_lastPress = Clock::now();
        ++g_presses;
    }
    return 0;
}

// Serves the window's messages until done() or the limit.
template <typename Done>
void Serve(Done done, Clock::duration limit) {
    const auto end = Clock::now() + limit;
    while (!done() && Clock::now() < end) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    }
}
void ServeFor(Clock::duration span) {
    Serve([] { return false; }, span);
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * (v.size() - 1))];
}

double TimedStop(orbisk::tool::LoadedPlugin& plugin) {
    const auto start = Clock::now();
    plugin.Stop();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::vector<std::uint8_t> Burst(int variant) {
    std::vector<std::uint8_t> burst = {180, 90};
    for (int b = 0; b < 32; ++b) {
        burst.push_back(11);
        burst.push_back(((variant + b) & 1) ? 34 : 11);
    }
    burst.push_back(11);
    return burst;
}

void PrintLatencies(const char* what, int bursts, const std::vector<double>& latencies) {
    std::printf("%s over %d bursts: median %.2f ms, 99th percentile %.2f ms, max %.2f ms\n", what, bursts,
                Percentile(latencies, 0.5), Percentile(latencies, 0.99), Percentile(latencies, 1.0));
}

int Fail(const std::string& error) {
    std::fprintf(stderr, "bench_runtime_win32: %s\n", error.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const int bursts = argc > 1 ? std::atoi(argv[1]) : 300;
    timeBeginPeriod(1);

    const fs::path dir = fs::temp_directory_path() / ("orbisk-bench-" + std::to_string(GetCurrentProcessId()));
    fs::create_directories(dir);
    fs::copy_file(orbisk::tool::DefaultPluginPath(), dir / "orbisk.dll", fs::copy_options::overwrite_existing);
    {
        FILE* ini = std::fopen((dir / "orbisk.ini").string().c_str(), "wb");
        if (ini == nullptr) return Fail("cannot write the settings file");
        std::fputs("[Main]\r\nCOM=5\r\n", ini);
        std::fclose(ini);
    }
    std::string error;
    const auto receiver = orbisk::tool::OpenSerialLine("COM6", error);
    if (!receiver) return Fail(error + " (the null-modem pair COM5-COM6 is missing)");
    orbisk::tool::LoadedPlugin plugin;
    if (!plugin.Load((dir / "orbisk.dll").string(), error)) return Fail(error);

    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "OrbiskBenchHost";
    RegisterClassA(&windowClass);
    const HWND window = CreateWindowExA(0, "OrbiskBenchHost", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        windowClass.hInstance, nullptr);
    const orbisk::tool::HostInfoRecord hostInfo(ORBISK_HOST_VERSION(2, 7, 12));
    plugin.Open(nullptr, window, hostInfo.bytes);
    plugin.Start();
    ServeFor(std::chrono::milliseconds(300));

    // Alternate two different codes, each after the previous key's release,
    // so that every burst is a press.  Everything but the terminator goes
    // first, so the timing starts at the byte that completes the burst.
    std::vector<double> latencies;
    const std::uint8_t terminator = 0xFE;
    for (int i = 0; i < bursts; ++i) {
        const auto burst = Burst(i);
        if (!receiver->Write(burst.data(), burst.size(), error)) return Fail(error);
        ServeFor(std::chrono::milliseconds(5));
        const int before = g_presses;
        const auto sent = Clock::now();
        if (!receiver->Write(&terminator, 1, error)) return Fail(error);
        Serve([&] { return g_presses != before; }, std::chrono::seconds(2));
        if (g_presses == before) return Fail("no key message for burst " + std::to_string(i));
        latencies.push_back(std::chrono::duration<double, std::milli>(g_lastPress - sent).count());
        ServeFor(std::chrono::milliseconds(260));  // past the release time-out
    }
    PrintLatencies("key latency", bursts, latencies);

    std::printf("Stop with an idle port: %.2f ms\n", TimedStop(plugin));

    // A held key, the host's thread busy when Stop comes.
    plugin.Start();
    ServeFor(std::chrono::milliseconds(300));
    auto burst = Burst(0);
    burst.push_back(terminator);
    if (!receiver->Write(burst.data(), burst.size(), error)) return Fail(error);
    for (int i = 0; i < 4; ++i) {
        const std::uint8_t repeat[] = {180, 45, 11, terminator};
        if (!receiver->Write(repeat, sizeof repeat, error)) return Fail(error);
        Sleep(100);
    }
    std::printf("Stop with a held key and a busy host window: %.2f ms\n", TimedStop(plugin));
    plugin.Close();
    DestroyWindow(window);

    // The back-end alone, reading as the plug-in does between bursts.
    const auto device = orbisk::MakeSystemSerialPorts("")->Open(5);
    if (!device || !device->SetLineSettings(115200)) return Fail("cannot open COM5");
    orbisk::ReadTimeouts timeouts;
    timeouts.endByte = terminator;
    device->SetReadTimeouts(timeouts);
    latencies.clear();
    for (int i = 0; i < bursts; ++i) {
        const auto burst = Burst(i);
        if (!receiver->Write(burst.data(), burst.size(), error)) return Fail(error);
        std::uint8_t buffer[255];
        for (std::size_t got = 0; got < burst.size();) {
            int count = sizeof buffer;
            if (!device->Read(buffer, count)) return Fail("a read of COM5 failed");
            got += static_cast<std::size_t>(count);
        }
        Clock::time_point sent;
        std::thread sender([&] {
            Sleep(5);
            sent = Clock::now();
            receiver->Write(&terminator, 1, error);
        });
        int count = sizeof buffer;
        const bool read = device->Read(buffer, count);
        const auto returned = Clock::now();
        sender.join();
        if (!read || count != 1) return Fail("no terminator read for burst " + std::to_string(i));
        latencies.push_back(std::chrono::duration<double, std::milli>(returned - sent).count());
    }
    PrintLatencies("terminator to the back-end's read", bursts, latencies);
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return 0;
}
