// orbisk decode: the decoder of the plug-in over a file of receiver bytes.
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "common/code_text.h"
#include "capture/decode_stream.h"

namespace orbisk::tool {
namespace {

constexpr char kCommand[] = "decode";

constexpr char kHelp[] =
    "usage: orbisk decode [--hex] [--skip N] [--repeat-length N] [--no-recognize]\n"
    "                     [FILE|-]\n"
    "\n"
    "Reads what a receiver sends (duration bytes, each burst closed by FE), cuts\n"
    "it into bursts as the plug-in's reader does (a burst of more than 254 bytes\n"
    "keeps only its last bytes), decodes every burst as the plug-in does, and\n"
    "prints one line per burst: the code the plug-in publishes, as its code text,\n"
    "and 'key' (longer than the repeat length: a fresh code), 'repeat' (equal,\n"
    "or a protocol's repeat frame when recognising: the previous code again)\n"
    "or 'short' (shorter: code 0000000).  A key line\n"
    "ends in the frame recognised in it, e.g. 'NEC 0x04 0x08 (nec:0x0408)'\n"
    "(protocol, address, command, toggle bit, the kernel's scancode; the code is\n"
    "then that frame's one code), the levels read in a frame of no known protocol,\n"
    "e.g. 'pulse-distance 32 bits 0x00FF40BF' (the code is that of its levels),\n"
    "or 'not recognised'; with --no-recognize it ends after 'key'.  Bytes after\n"
    "the last FE are a burst still in progress and are left out silently.\n"
    "\n"
    "  --hex              FILE is text: byte values in hexadecimal (FE, fe, 0xFE)\n"
    "                     separated by blanks or line breaks; '#' starts a comment\n"
    "  --skip N           SkipBegin: durations skipped before the cells (default 4)\n"
    "  --repeat-length N  RepeatLength: length of a repeat burst (default 3)\n"
    "  --no-recognize     as Recognize=0: codes from the bursts' shapes alone\n"
    "  FILE               input; none or '-' reads standard input\n"
    "\n"
    "The samples folder holds a capture of a remote in both forms:\n"
    "  orbisk decode samples/tv-remote.bin\n"
    "  orbisk decode --hex samples/tv-remote.hex\n";

constexpr int kDefaultSkip = 4;
constexpr int kDefaultRepeatLength = 3;

struct Options {
    bool hex = false;
    int skip = kDefaultSkip;
    int repeatLength = kDefaultRepeatLength;
    bool recognize = true;
    std::string file = "-";
};

bool ParseOptions(const Args& args, Options& options, std::string& error) {
    bool haveFile = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--hex") {
            options.hex = true;
        } else if (a == "--no-recognize") {
            options.recognize = false;
        } else if (a == "--skip" || a == "--repeat-length") {
            long long value = 0;
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            if (!ParseNumber(args[++i], std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), value)) {
                error = a + ": '" + args[i] + "' is not a whole number";
                return false;
            }
            (a == "--skip" ? options.skip : options.repeatLength) = static_cast<int>(value);
        } else if (a.size() > 1 && a[0] == '-') {
            error = "unknown option '" + a + "' (try --help)";
            return false;
        } else if (haveFile) {
            error = "more than one FILE given";
            return false;
        } else {
            options.file = a;
            haveFile = true;
        }
    }
    return true;
}

}  // namespace

int RunDecode(const Args& args) {
    Options options;
    if (const auto done = BeginCommand(kCommand, kHelp, args, ParseOptions, options)) return *done;
    std::string error;
    std::string input;
    if (!ReadInputFile(options.file, input, error)) return Fail(kCommand, error);

    std::vector<std::uint8_t> bytes;
    if (options.hex) {
        if (!ParseWireHex(input, bytes, error))
            return Fail(kCommand, (options.file == "-" ? std::string("standard input") : options.file) + ", " + error);
    } else {
        bytes.assign(input.begin(), input.end());
    }
    for (const DecodedBurst& burst : DecodeWireBytes(bytes, options.skip, options.repeatLength, options.recognize))
        std::printf("%s\n", BurstText(burst).c_str());
    return std::fflush(stdout) == 0 ? 0 : Fail(kCommand, "cannot write the output");
}

}  // namespace orbisk::tool
