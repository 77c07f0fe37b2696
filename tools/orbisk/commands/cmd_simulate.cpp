// orbisk simulate: a receiver without hardware.  It serves a pseudo-terminal
// as ports/comN beside this program, where the plug-in installed alongside
// looks for its ports, or writes to an existing serial port, and plays a
// timed capture or generated key presses on it the way the receiver sends
// them.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "commands/commands.h"
#include "capture/receiver_line.h"
#include "commands/stop_signals.h"
#include "host/plugin_loader.h"

namespace orbisk::tool {

namespace {

constexpr char kCommand[] = "simulate";

constexpr char kHelp[] =
    "usage: orbisk simulate [options] FILE\n"
    "       orbisk simulate [options] --nec ADDRESS COMMAND [--hold MS] [--gap MS] ...\n"
    "       orbisk simulate [options] --key PROTOCOL:SCANCODE [--hold MS] [--gap MS] ...\n"
    "\n"
    "Plays an IR receiver on a pseudo-terminal, linked as ports/comN where the\n"
    "plug-in installed with this program looks for port N (beside its settings\n"
    "file, see 'orbisk settings --where'), and prints one\n"
    "line naming it.  It then waits until a reader (the plug-in, orbisk run,\n"
    "orbisk monitor) has opened the port, waits --delay more for the reader to\n"
    "finish setting the port up, and plays a timed capture FILE (as written by\n"
    "orbisk generate) or the key presses given, each burst's durations and 0xFE\n"
    "at its time.  Bytes that no one reads are dropped, as on a real line.  It\n"
    "exits when all has been read, or on Ctrl-C, and removes the link.\n"
    "\n"
    "  --com N           port number to serve (default 2, the plug-in's default)\n"
    "  --port NAME       play on this existing serial port instead (a tty, or COMn\n"
    "                    on Windows; for example one end of a null-modem pair whose\n"
    "                    other end the plug-in reads); the reader cannot be seen\n"
    "                    there, so playing starts --delay after the start\n"
    "  --delay MS        pause before playing (default 500)\n"
    "  --no-wait         do not wait for a reader; play --delay after the start\n"
    "  --loop            play again, one second after the end, until Ctrl-C\n"
    "\n"
    "Key presses, instead of FILE; each may be given several times, in order:\n"
    "  --nec ADDRESS COMMAND   NEC key (address 0-255, command 0-255)\n"
    "  --rc5 ADDRESS COMMAND   RC-5 key (address 0-31, command 0-127)\n"
    "  --sirc ADDRESS COMMAND  Sony SIRC-12 key (address 0-31, command 0-127)\n"
    "  --key KEY         any key orbisk generate takes, e.g. rc6_mce:0x800f0410 or\n"
    "                    sony15:0x970012 (see orbisk generate --help)\n"
    "  --hold MS         how long the key is held (default 0: one frame)\n"
    "  --gap MS          pause after the key is let go (default 300)\n"
    "  --unit US         the receiver's time unit in microseconds (default 50)\n"
    "  --jitter PERCENT  random deviation of each duration (default 0)\n"
    "  --bias US         the receiver lengthens marks and shortens spaces by US\n"
    "                    microseconds (-1000 to 1000, default 0)\n"
    "  --seed N          seed of the deviation (default 1)\n";

constexpr long long kDefaultPort = 2;
constexpr long long kDefaultDelayMs = 500;
constexpr auto kLoopPause = std::chrono::seconds(1);
constexpr auto kReaderPoll = std::chrono::milliseconds(20);
// How long the end of a capture may wait for the reader to take the rest.
constexpr auto kDrainLimit = std::chrono::seconds(3);
constexpr auto kSettle = std::chrono::milliseconds(100);

using Clock = StopSignals::Clock;

struct Options {
    long long port = kDefaultPort;
    std::string portName;
    long long delayMs = kDefaultDelayMs;
    bool wait = true;
    bool loop = false;
    std::string file;
    std::vector<KeyPress> presses;
    GeneratorOptions generator;
};

bool TakeNumber(const Args& args, std::size_t& i, long long min, long long max, long long& out,
                std::string& error) {
    const std::string& option = args[i];
    if (i + 1 >= args.size()) {
        error = option + " needs a value";
        return false;
    }
    if (!ParseNumber(args[++i], min, max, out)) {
        error = option + ": '" + args[i] + "' is not a number from " + std::to_string(min) + " to " +
                std::to_string(max);
        return false;
    }
    return true;
}

// --nec, --rc5 or --sirc and its address and command, as orbisk generate
// reads nec:A:C.
bool TakeKey(const Args& args, std::size_t& i, const char* protocol, Options& options, std::string& error) {
    if (i + 2 >= args.size()) {
        error = args[i] + " needs an address and a command";
        return false;
    }
    KeyPress press;
    if (!ParseKeyPress(std::string(protocol) + ":" + args[i + 1] + ":" + args[i + 2], press, error)) return false;
    i += 2;
    options.presses.push_back(press);
    return true;
}

bool ParseOptions(const Args& args, Options& options, std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        long long value = 0;
        if (a == "--com") {
            if (!TakeNumber(args, i, 1, 9999, options.port, error)) return false;
        } else if (a == "--port") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                error = "--port needs a port name";
                return false;
            }
            options.portName = args[++i];
        } else if (a == "--delay") {
            if (!TakeNumber(args, i, 0, 3600000, options.delayMs, error)) return false;
        } else if (a == "--no-wait") {
            options.wait = false;
        } else if (a == "--loop") {
            options.loop = true;
        } else if (a == "--nec" || a == "--rc5" || a == "--sirc") {
            if (!TakeKey(args, i, a.c_str() + 2, options, error)) return false;
        } else if (a == "--key") {
            KeyPress press;
            if (i + 1 >= args.size()) {
                error = "--key needs a key";
                return false;
            }
            if (!ParseKeyPress(args[++i], press, error)) return false;
            options.presses.push_back(press);
        } else if (a == "--hold" || a == "--gap") {
            if (options.presses.empty()) {
                error = a + " must follow a key (--nec, --rc5, --sirc or --key)";
                return false;
            }
            if (!TakeNumber(args, i, 0, 3600000, value, error)) return false;
            KeyPress& last = options.presses.back();
            (a == "--hold" ? last.holdMs : last.gapMs) = static_cast<std::uint32_t>(value);
        } else if (a == "--unit") {
            if (!TakeNumber(args, i, 1, 100000, value, error)) return false;
            options.generator.unitMicros = static_cast<double>(value);
        } else if (a == "--jitter") {
            if (!TakeNumber(args, i, 0, 50, value, error)) return false;
            options.generator.jitterPercent = static_cast<double>(value);
        } else if (a == "--bias") {
            if (!TakeNumber(args, i, -1000, 1000, value, error)) return false;
            options.generator.biasMicros = static_cast<double>(value);
        } else if (a == "--seed") {
            if (!TakeNumber(args, i, 0, 0xFFFFFFFFLL, value, error)) return false;
            options.generator.seed = static_cast<std::uint32_t>(value);
        } else if (a.size() > 1 && a[0] == '-') {
            error = "unknown option '" + a + "' (try --help)";
            return false;
        } else if (options.file.empty()) {
            options.file = a;
        } else {
            error = "more than one capture file given";
            return false;
        }
    }
    if (options.file.empty() == options.presses.empty()) {
        error = options.file.empty() ? "nothing to play: give a capture FILE or key presses (try --help)"
                                     : "give either a capture FILE or key presses, not both";
        return false;
    }
    return true;
}

bool LoadBursts(const Options& options, std::vector<TimedBurst>& bursts, std::string& error) {
    if (!options.presses.empty()) {
        bursts = GenerateKeyPresses(options.presses, options.generator);
        return true;
    }
    std::string text;
    if (!ReadInputFile(options.file, text, error)) return false;
    if (!ParseCapture(text, bursts, error)) {
        error = options.file + ": " + error;
        return false;
    }
    if (bursts.empty()) {
        error = options.file + ": the capture holds no bursts";
        return false;
    }
    return true;
}

// Plays the bursts once from start; false when stopped by a signal.  A line
// that no one empties fills up: the rest of such a burst is dropped.
bool PlayOnce(ReceiverLine& line, const std::vector<TimedBurst>& bursts,
              const std::vector<std::vector<std::uint8_t>>& wire, Clock::time_point start,
              StopSignals& signals, std::string& error) {
    for (std::size_t i = 0; i < bursts.size(); ++i) {
        if (!signals.SleepUntil(start + std::chrono::milliseconds(bursts[i].atMs))) return false;
        if (!line.Write(wire[i].data(), wire[i].size(), error)) return false;
    }
    return true;
}

}  // namespace

int RunSimulate(const Args& args) {
    Options options;
    if (const auto done = BeginCommand(kCommand, kHelp, args, ParseOptions, options)) return *done;
    std::string error;
    std::vector<TimedBurst> bursts;
    if (!LoadBursts(options, bursts, error)) return Fail(kCommand, error);
    std::vector<std::vector<std::uint8_t>> wire;
    wire.reserve(bursts.size());
    for (const TimedBurst& burst : bursts) wire.push_back(WireBytes({burst}));

    const SettingsPlace place = options.portName.empty() ? DefaultSettingsPlace() : SettingsPlace{};
    if (!place.problem.empty()) return Fail(kCommand, place.problem);
    StopSignals signals;  // before the link exists, so that Ctrl-C always removes it
    const auto line = options.portName.empty()
                          ? ServePort(place.portFolder, static_cast<int>(options.port), error)
                          : OpenSerialLine(options.portName, error);
    if (!line) return Fail(kCommand, error);
    std::printf("orbisk simulate: %s\n", line->Describe().c_str());
    std::fflush(stdout);

    bool go = true;
    if (options.wait && line->CanSeeReader()) {
        while (go && !line->ReaderAttached()) go = signals.SleepFor(kReaderPoll);
    }
    go = go && signals.SleepFor(std::chrono::milliseconds(options.delayMs));

    Clock::time_point start = Clock::now();
    while (go) {
        go = PlayOnce(*line, bursts, wire, start, signals, error);
        if (!go || !options.loop) break;
        start += std::chrono::milliseconds(bursts.back().atMs) + kLoopPause;
    }
    // Give the reader the time to take the last bursts before the line goes:
    // closing the master drops what the reader has not read yet.  Written
    // bytes reach the slave's queue asynchronously, hence the settling pause
    // before the queue is looked at.
    if (go && error.empty() && signals.SleepFor(kSettle)) {
        const auto drainEnd = Clock::now() + kDrainLimit;
        while (line->PendingBytes() > 0 && line->ReaderAttached() && Clock::now() < drainEnd &&
               signals.SleepFor(kReaderPoll)) {
        }
    }
    if (!error.empty()) return Fail(kCommand, error);
    return 0;
}

}  // namespace orbisk::tool
