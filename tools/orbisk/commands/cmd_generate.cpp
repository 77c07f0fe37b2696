// orbisk generate: timed captures of remote-control key presses.
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "commands/commands.h"
#include "receiver/analysis/protocol_table.h"

namespace orbisk::tool {
namespace {

constexpr char kCommand[] = "generate";

constexpr char kHelp[] =
    "usage: orbisk generate [options] KEY...\n"
    "\n"
    "Writes what a receiver reports for the key presses KEY, one after the\n"
    "other, on standard output.  Each KEY is PROTOCOL:SCANCODE[:HOLD_MS], the\n"
    "scancode in the Linux kernel's layout (as its keymaps and ir-keytable write\n"
    "it, or Orbisk's own where the kernel has none: see docs/protocols.md), PROTOCOL\n"
    "one of the protocols below:\n"
    "  rc6_mce:0x800f0410   sony15:0x970012:500   nec:0x0408   panasonic:0x80320\n"
    "Toggle bits flip with every press of a toggling protocol.  Or, as before,\n"
    "PROTOCOL:ADDRESS:COMMAND[:HOLD_MS]\n"
    "(numbers decimal or 0x hexadecimal):\n"
    "  nec:A:C[:MS]    NEC, address and command 0-255; held, it sends a repeat\n"
    "                  frame (3 durations) every 108 ms after the 67-duration frame\n"
    "  rc5:A:C[:MS]    RC-5, address 0-31, command 0-127; the frame repeats every\n"
    "                  113.8 ms while held, the toggle bit flips with each press\n"
    "  sirc:A:C[:MS]   Sony SIRC-12, address 0-31, command 0-127; at least three\n"
    "                  frames, every 45 ms while held\n"
    "MS is how long the key is held (default 0: one frame; SIRC always three).\n"
    "\n"
    "Durations are in the receiver's units, rounded, and kept within 1..FD (a\n"
    "longer mark or space reads FD).  A burst's time is when its terminator is\n"
    "due: 10 ms after its last mark, the quiet time after which the receiver\n"
    "ends a burst.\n"
    "\n"
    "  --format F        capture (default): '@<ms> <hex durations>' a line, as\n"
    "                    orbisk simulate plays it; hex: the bytes the receiver\n"
    "                    sends as hex text, a burst a line ending in FE (for\n"
    "                    orbisk decode --hex); raw: those bytes as they are\n"
    "  --unit US         the receiver's time unit in microseconds (default 50)\n"
    "  --jitter PERCENT  random deviation of each duration, 0-50 (default 0)\n"
    "  --bias US         marks longer and spaces shorter by US microseconds, as\n"
    "                    some receivers report them, -1000 to 1000 (default 0)\n"
    "  --seed N          seed of the deviation (default 1)\n"
    "  --gap MS          pause after each key is let go (default 300)\n"
    "\n"
    "Example: a TV remote's power key, then volume up held for half a second:\n"
    "  orbisk generate nec:0x04:0x08 nec:0x04:0x02:500 > keys.capture\n"
    "\n";

// The help with the protocol table's names, the toggling ones marked.
std::string Help() {
    std::string help = kHelp;
    std::string line = "Protocols (* toggling):";
    for (int p = 0; p < IrProtocolCount; ++p) {
        const IrProtocolInfo& info = ProtocolInfo(static_cast<IrProtocol>(p));
        if (info.name.empty()) continue;
        std::string name = std::string(info.name) + (info.hasToggle ? "*" : "");
        // A label that is no spelling of the name goes with it: "sanyo (NEC42)".
        std::string spelled;
        for (const char c : info.label)
            if (std::isalnum(static_cast<unsigned char>(c))) spelled += static_cast<char>(std::tolower(c));
        if (info.name.substr(0, 3) != spelled.substr(0, 3)) name += " (" + std::string(info.label) + ")";
        if (line.size() + 1 + name.size() > 78) {
            help += line + "\n";
            line = " ";
        }
        line += " " + name;
    }
    return help + line + "\n";
}

enum class Format { Capture, Hex, Raw };

struct Options {
    Format format = Format::Capture;
    GeneratorOptions generator;
    std::uint32_t gapMs = KeyPress{}.gapMs;
    std::vector<KeyPress> presses;
};

bool ParseOptions(const Args& args, Options& options, std::string& error) {
    std::vector<std::string> keys;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool takesValue =
            a == "--format" || a == "--unit" || a == "--jitter" || a == "--bias" || a == "--seed" || a == "--gap";
        if (takesValue && i + 1 >= args.size()) {
            error = a + " needs a value";
            return false;
        }
        long long value = 0;
        const auto number = [&](long long min, long long max) {
            if (ParseNumber(args[++i], min, max, value)) return true;
            error = a + ": '" + args[i] + "' is not a number from " + std::to_string(min) + " to " +
                    std::to_string(max);
            return false;
        };
        if (a == "--format") {
            const std::string& f = args[++i];
            if (f == "capture") {
                options.format = Format::Capture;
            } else if (f == "hex") {
                options.format = Format::Hex;
            } else if (f == "raw") {
                options.format = Format::Raw;
            } else {
                error = "--format: '" + f + "' is none of capture, hex, raw";
                return false;
            }
        } else if (a == "--unit") {
            if (!number(1, 100000)) return false;
            options.generator.unitMicros = static_cast<double>(value);
        } else if (a == "--jitter") {
            if (!number(0, 50)) return false;
            options.generator.jitterPercent = static_cast<double>(value);
        } else if (a == "--bias") {
            if (!number(-1000, 1000)) return false;
            options.generator.biasMicros = static_cast<double>(value);
        } else if (a == "--seed") {
            if (!number(0, 0xFFFFFFFFLL)) return false;
            options.generator.seed = static_cast<std::uint32_t>(value);
        } else if (a == "--gap") {
            if (!number(0, 3600000)) return false;
            options.gapMs = static_cast<std::uint32_t>(value);
        } else if (a.size() > 1 && a[0] == '-') {
            error = "unknown option '" + a + "' (try --help)";
            return false;
        } else {
            keys.push_back(a);
        }
    }
    if (keys.empty()) {
        error = "no KEY given (try --help)";
        return false;
    }
    for (const std::string& key : keys) {
        KeyPress press;
        press.gapMs = options.gapMs;
        if (!ParseKeyPress(key, press, error)) return false;
        options.presses.push_back(press);
    }
    return true;
}

std::string CommandLine(const Args& args) {
    std::string line = "orbisk generate";
    for (const std::string& a : args) line += " " + a;
    return line;
}

}  // namespace

int RunGenerate(const Args& args) {
    Options options;
    if (const auto done = BeginCommand(kCommand, Help().c_str(), args, ParseOptions, options)) return *done;

    const std::vector<TimedBurst> bursts = GenerateKeyPresses(options.presses, options.generator);
    std::string text;
    switch (options.format) {
    case Format::Capture:
        text = "# " + CommandLine(args) + "\n# @<ms when the burst's FE is due> <durations in units of " +
               std::to_string(static_cast<long long>(options.generator.unitMicros)) + " us, hex>\n" +
               FormatCapture(bursts);
        break;
    case Format::Hex:
        text = FormatWireHex(bursts);
        break;
    case Format::Raw: {
        const std::vector<std::uint8_t> bytes = WireBytes(bursts);
        text.assign(bytes.begin(), bytes.end());
        break;
    }
    }
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0)
        return Fail(kCommand, "cannot write the output");
    return 0;
}

}  // namespace orbisk::tool
