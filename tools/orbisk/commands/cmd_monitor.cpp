// orbisk monitor: reads a real receiver with the plug-in's line settings and
// prints every burst as it arrives, with the code the plug-in would see.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "capture/decode_stream.h"
#include "capture/wave.h"
#include "commands/commands.h"
#include "commands/receiver_port.h"
#include "common/code_text.h"

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

// Prints bursts with the code the plug-in would publish for them.
class BurstPrinter {
public:
    explicit BurstPrinter(const Options& options)
        : decode_(static_cast<int>(options.skip), static_cast<int>(options.repeatLength), options.recognize),
          wave_(options.wave),
          recognize_(options.recognize) {}

    void operator()(const std::uint8_t* burst, int length) {
        const DecodedBurst decoded = decode_(burst, length);
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count();
        const std::string code = CodeText(decoded.code);
        std::string line = std::to_string(ms) + " ms\t";
        if (wave_) {
            char head[48];
            std::snprintf(head, sizeof head, "%-8s %-6s unit %3d ", code.c_str(), BurstKindName(decoded.kind),
                          ShortestDuration(burst, length));
            line += head;
            line += WaveLine(burst, length, TerminalColumns() - static_cast<int>(line.size()) - 8);
            if (decoded.kind == BurstKind::Key && recognize_) line += "\n\t" + DescribeIrFrame(decoded.frame);
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
    BurstDecoder decode_;
    const bool wave_;
    const bool recognize_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace

int RunMonitor(const Args& args) {
    Options options;
    if (const auto done = BeginCommand(kCommand, kHelp, args, ParseOptions, options)) return *done;

    BurstPrinter print(options);
    return ReadPortBursts(kCommand,
                          {static_cast<int>(options.port), static_cast<int>(options.rate),
                           static_cast<int>(options.intervalMs)},
                          std::nullopt, std::ref(print));
}

}  // namespace orbisk::tool
