// orbisk monitor: reads a real receiver with the plug-in's line settings and
// prints every burst as it arrives, with the code the plug-in would see.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "commands/commands.h"
#include "common/code_text.h"
#include "host/plugin_loader.h"
#include "capture/decode_stream.h"
#include "platform/serial_device.h"
#include "platform/system_services.h"
#include "receiver/published_state.h"
#include "receiver/frame_cutter.h"
#include "receiver/receiver_thread.h"
#include "receiver/serial_link.h"
#include "commands/stop_signals.h"
#include "capture/wave.h"

namespace orbisk::tool {

namespace {

constexpr char kCommand[] = "monitor";

constexpr char kHelp[] =
    "usage: orbisk monitor [--com N] [--rate BAUD] [--interval MS] [--skip N] [--repeat-length N]\n"
    "                      [--wave] [--no-recognize]\n"
    "\n"
    "Opens port N as the plug-in installed with this program does (ports/comN\n"
    "beside its settings file, otherwise /dev/ttyS<N-1>), with its line settings\n"
    "and read time-outs,\n"
    "and prints one line per burst as it arrives, until Ctrl-C:\n"
    "  milliseconds since the start, the code the plug-in publishes as its code\n"
    "  text, 'key', 'repeat' or 'short' as in orbisk decode, the number of\n"
    "  durations and the durations in decimal; after a key, the frame recognised\n"
    "  in it ('NEC 0x04 0x08 (nec:0x0408)': protocol, address, command, toggle\n"
    "  bit, the kernel's scancode), the levels read ('pulse-distance 32 bits\n"
    "  0x00FF40BF') or 'not recognised', unless --no-recognize\n"
    "\n"
    "  --com N            port number (default 2)\n"
    "  --rate BAUD        baud rate (default 115200)\n"
    "  --interval MS      read time-out constant (default 100)\n"
    "  --skip N           SkipBegin: durations skipped before the cells (default 4)\n"
    "  --repeat-length N  RepeatLength: length of a repeat burst (default 3)\n"
    "  --wave             draw each burst instead of listing its durations: marks\n"
    "                     '#' and spaces '_' scaled to the terminal's width, after\n"
    "                     the code text and the burst's unit (its shortest duration)\n"
    "  --no-recognize     as Recognize=0: codes from the bursts' shapes alone\n";


struct Options {
    long long port = 2;
    long long rate = 115200;
    long long intervalMs = 100;
    long long skip = 4;
    long long repeatLength = 3;
    bool wave = false;
    bool recognize = true;
};

bool ParseOptions(const Args& args, Options& options, std::string& error) {
    struct Numeric {
        const char* name;
        long long min;
        long long max;
        long long Options::*field;
    };
    static constexpr Numeric kNumeric[] = {
        {"--com", 1, 9999, &Options::port},
        {"--rate", 1, 4000000, &Options::rate},
        {"--interval", 0, 60000, &Options::intervalMs},
        {"--skip", 0, 254, &Options::skip},
        {"--repeat-length", 0, 254, &Options::repeatLength},
    };
    // Every option but the two switches takes a value: step over both.
    for (std::size_t i = 0; i < args.size(); i += 2) {
        if (args[i] == "--wave" || args[i] == "--no-recognize") {
            (args[i] == "--wave" ? options.wave : options.recognize) = args[i] == "--wave";
            --i;
            continue;
        }
        const Numeric* match = nullptr;
        for (const Numeric& n : kNumeric)
            if (args[i] == n.name) match = &n;
        if (match == nullptr) {
            error = "unknown argument '" + args[i] + "' (try --help)";
            return false;
        }
        if (i + 1 >= args.size() || !ParseNumber(args[i + 1], match->min, match->max, options.*match->field)) {
            error = std::string(match->name) + " needs a number from " + std::to_string(match->min) + " to " +
                    std::to_string(match->max);
            return false;
        }
    }
    return true;
}

std::atomic<bool> g_hungUp{false};

class NoWake final : public WakeUp {
public:
    void Set() override {}
};

// Prints bursts with the code the plug-in would publish for them: the
// decoder runs on its own published state, so a repeat shows the code it
// repeats.
class BurstPrinter {
public:
    explicit BurstPrinter(const Options& options)
        : skip_(static_cast<int>(options.skip)),
          repeatLength_(static_cast<int>(options.repeatLength)),
          wave_(options.wave),
          recognize_(options.recognize) {}

    void operator()(const std::uint8_t* burst, int length) {
        const BurstKind kind = ClassifyBurst(burst, length, repeatLength_, skip_, published_, wake_, recognize_);
        const DecodedBurst decoded{published_.LastCode.load(), kind, ReadPublishedCodes(published_).frame,
                                   recognize_};
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count();
        const std::string code = CodeText(published_.LastCode.load());
        std::string line = std::to_string(ms) + " ms\t";
        if (wave_) {
            char head[48];
            std::snprintf(head, sizeof head, "%-8s %-6s unit %3d ", code.c_str(), BurstKindName(kind),
                          ShortestDuration(burst, length));
            line += head;
            line += WaveLine(burst, length, TerminalColumns() - static_cast<int>(line.size()) - 8);
            if (kind == BurstKind::Key && recognize_) line += "\n\t" + DescribeIrFrame(decoded.frame);
        } else {
            line += BurstText(decoded) + "\t" + std::to_string(length) + " durations:";
            for (int i = 0; i < length; ++i) {
                line += ' ';
                line += std::to_string(burst[i]);
            }
        }
        std::puts(line.c_str());
        std::fflush(stdout);
    }

private:
    const int skip_;
    const int repeatLength_;
    const bool wave_;
    const bool recognize_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    PublishedState published_;
    NoWake wake_;
};

void ReadUntilStopped(SerialLink& link, const std::atomic<bool>& stop, const Options& options,
                      StopSignals& signals) {
    BurstPrinter print(options);
    FrameCutter cutter;
    std::uint8_t buffer[ReadRequestBytes];
    while (!stop.load(std::memory_order_acquire)) {
        int count = ReadRequestBytes;
        if (!link.ReadPort(buffer, count)) {
            // Wake the main thread, which waits for stop requests only.
            g_hungUp.store(true, std::memory_order_release);
            signals.Raise();
            return;
        }
        cutter.Feed(buffer, count, print);
    }
}

}  // namespace

int RunMonitor(const Args& args) {
    Options options;
    if (const auto done = BeginCommand(kCommand, kHelp, args, ParseOptions, options)) return *done;

    // The plug-in's own link: the same device mapping, line settings, read
    // time-outs and purge.
    const SettingsPlace place = DefaultSettingsPlace();
    if (!place.problem.empty()) return Fail(kCommand, place.problem);
    const std::string& portFolder = place.portFolder;
    const int port = static_cast<int>(options.port);
    const std::string path = SystemSerialPortPath(portFolder, port);
    const auto ports = MakeSystemSerialPorts(portFolder);
    const auto system = MakeSystemServices();
    SerialLink link(*ports, *system);
    if (!link.OpenPort(port)) return Fail(kCommand, PortOpenFailure(portFolder, port, path));
    if (!link.SetPortSpeed(static_cast<int>(options.rate)))
        return Fail(kCommand, "COM" + std::to_string(port) + " refuses " + std::to_string(options.rate) + " baud");
    link.SetReadTimeouts(static_cast<int>(options.intervalMs));
    link.PurgePort();
    std::fprintf(stderr, "orbisk monitor: reading COM%d (%s) at %lld baud; Ctrl-C ends\n", port, path.c_str(),
                 options.rate);

    // Taken before the reader starts, so that stop requests all come to
    // this thread.
    StopSignals signals;
    std::atomic<bool> stop{false};
    std::thread reader(ReadUntilStopped, std::ref(link), std::cref(stop), std::cref(options), std::ref(signals));
    signals.Wait();
    stop.store(true, std::memory_order_release);
    link.CancelRead();
    reader.join();
    link.ClosePort();
    if (g_hungUp.load(std::memory_order_acquire))
        return Fail(kCommand, "COM" + std::to_string(port) + " hung up (adapter unplugged?)");
    return 0;
}

}  // namespace orbisk::tool
