// orbisk identify: which file of a remote database describes the remote in
// the user's hand, told by the codes of a few keys pressed on it.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <system_error>
#include <unordered_set>
#include <vector>

#include "capture/decode_stream.h"
#include "commands/commands.h"
#include "commands/receiver_port.h"
#include "common/code_text.h"
#include "common/text.h"
#include "host/plugin_loader.h"
#include "platform/file_io.h"
#include "remotes/remote_import.h"
#include "settings/ini_file.h"
#include "settings/settings.h"

namespace orbisk::tool {
namespace {

constexpr char kCommand[] = "identify";

constexpr char kHelp[] =
    "usage: orbisk identify FOLDER [--seconds N] [--com N] [--top N] [--import] [SETTINGS]\n"
    "       orbisk identify FOLDER --capture FILE [--hex] [--top N] [--import] [SETTINGS]\n"
    "\n"
    "Tells which file of a remote database describes the remote in your hand.\n"
    "Press a few different keys on it: the receiver is read as the plug-in reads\n"
    "it (its port, line settings and decoding from the settings file SETTINGS, by\n"
    "default the plug-in's) for --seconds seconds or until Ctrl-C, whichever\n"
    "comes first, and each new code is shown as it arrives.  With --capture the\n"
    "keys are those of a file of receiver bytes, as orbisk decode reads it.\n"
    "\n"
    "Then every file under FOLDER and its subfolders whose name ends in .ir,\n"
    ".conf or .toml or holds lircd.conf (a Flipper .ir file, a lircd.conf or a\n"
    "kernel keymap, as orbisk settings import reads them; for example\n"
    "/usr/share/lirc/remotes or /lib/udev/rc_keymaps) is ranked by how\n"
    "many of the different codes pressed it holds; of files holding as many,\n"
    "the one with fewer keys, which describes the remote more closely, comes\n"
    "first.  One line per file that holds any, best first, tab separated: the\n"
    "codes it holds of those pressed, its number of keys, its path and the\n"
    "names of the keys pressed.  Files that cannot be read or that the import\n"
    "refuses are counted and left out.  With --import the first file is\n"
    "imported into SETTINGS exactly as 'orbisk settings import FILE' does.\n"
    "Exits with 1 when no file holds a code pressed.\n"
    "\n"
    "  --seconds N    how long to read the receiver (default 20, 1 to 3600)\n"
    "  --com N        read port N instead of the settings file's COM\n"
    "  --capture FILE take the keys from FILE ('-': standard input)\n"
    "  --hex          FILE is text: byte values in hexadecimal, as orbisk decode\n"
    "                 --hex reads it\n"
    "  --top N        show the N best files (default 5)\n"
    "  --import       import the best file into SETTINGS\n";

struct Options {
    std::string folder, settings, capture;
    bool hex = false, import = false;
    long long seconds = 20, com = 0, top = 5;
};

bool ParseOptions(const Args& args, Options& options, std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const auto value = [&](long long min, long long max, long long& out) {
            if (i + 1 < args.size() && ParseNumber(args[i + 1], min, max, out)) return ++i, true;
            error = a + " needs a number from " + std::to_string(min) + " to " + std::to_string(max);
            return false;
        };
        if (a == "--hex" || a == "--import") {
            (a == "--hex" ? options.hex : options.import) = true;
        } else if (a == "--seconds" || a == "--com" || a == "--top") {
            if (!(a == "--seconds" ? value(1, 3600, options.seconds)
                  : a == "--com"   ? value(1, 9999, options.com)
                                   : value(1, 1000, options.top)))
                return false;
        } else if (a == "--capture") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                error = "--capture needs a FILE";
                return false;
            }
            options.capture = args[++i];
        } else if (a.size() > 1 && a.front() == '-') {
            error = "unknown option '" + a + "' (try --help)";
            return false;
        } else if (options.folder.empty()) {
            options.folder = a;
        } else if (options.settings.empty()) {
            options.settings = a;
        } else {
            error = "more than a FOLDER and a SETTINGS file given";
            return false;
        }
    }
    if (options.folder.empty()) error = "needs the FOLDER of a remote database (try --help)";
    else if (options.hex && options.capture.empty()) error = "--hex goes with --capture";
    return error.empty();
}

// The codes of the key bursts, each once, in the order first pressed.
class PressedCodes {
public:
    explicit PressedCodes(const Settings& s)
        : decode_(s.SkipBegin.load(), s.RepeatLength.load(), s.Recognize.load()) {}

    void operator()(const std::uint8_t* burst, int length) { Add(decode_(burst, length), true); }

    void Add(const DecodedBurst& burst, bool live) {
        if (burst.kind != BurstKind::Key) return;
        const std::lock_guard lock(mutex_);
        if (std::find(codes_.begin(), codes_.end(), burst.code) != codes_.end()) return;
        codes_.push_back(burst.code);
        if (live) std::fprintf(stderr, "orbisk identify: pressed %s\n", BurstText(burst).c_str());
    }
    std::vector<std::uint64_t> Codes() {
        const std::lock_guard lock(mutex_);
        return codes_;
    }

private:
    BurstDecoder decode_;
    std::mutex mutex_;  // the port's reader adds, the command reads
    std::vector<std::uint64_t> codes_;
};

struct Match {
    std::string path;
    std::size_t matched = 0, keys = 0;
    std::string names;
};

// Paths as UTF-8 text, as the program's file functions take them, on
// every platform (a path's string() is the ANSI code page's on Windows).
std::filesystem::path PathOf(const std::string& text) { return std::u8string(text.begin(), text.end()); }
std::string TextOf(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// By name: Debian names its lircd.conf files lircd.conf.REMOTE, the LIRC
// collection REMOTE.lircd.conf.
bool IsDatabaseFile(const std::filesystem::path& path) {
    const std::string name = AsciiUpperCase(TextOf(path.filename()));
    const auto endsIn = [&](std::string_view end) { return name.size() > end.size() && name.ends_with(end); };
    return endsIn(".IR") || endsIn(".CONF") || endsIn(".TOML") || name.find("LIRCD.CONF") != std::string::npos;
}

// Every database file under the folder planned once, codes only.
std::vector<Match> RankFiles(const std::string& folder, const std::vector<std::uint64_t>& pressed,
                             ImportDecoding decoding, std::size_t& files, std::size_t& refused) {
    namespace fs = std::filesystem;
    decoding.checkStable = false;
    const std::unordered_set<std::uint64_t> wanted(pressed.begin(), pressed.end());
    std::vector<Match> matches;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(PathOf(folder), fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec) || !IsDatabaseFile(it->path())) continue;
        ++files;
        const std::string path = TextOf(it->path());
        const FileContents file = ReadWholeFile(path);
        RemoteImport plan;
        std::string error;
        if (file.outcome != ReadOutcome::Ok || !PlanRemoteImport(file.bytes, path, "", decoding, plan, error)) {
            ++refused;
            continue;
        }
        Match m{path, 0, plan.keys.size(), ""};
        for (const ImportedKey& key : plan.keys)
            if (wanted.count(key.code) != 0) {
                ++m.matched;
                m.names += (m.names.empty() ? "" : ", ") + key.name;
            }
        if (m.matched > 0) matches.push_back(std::move(m));
    }
    if (ec) std::fprintf(stderr, "orbisk identify: %s: %s; the rest is left out\n", folder.c_str(),
                         ec.message().c_str());
    std::sort(matches.begin(), matches.end(), [](const Match& a, const Match& b) {
        if (a.matched != b.matched) return a.matched > b.matched;
        if (a.keys != b.keys) return a.keys < b.keys;
        return a.path < b.path;
    });
    return matches;
}

}  // namespace

int RunIdentify(const Args& args) {
    Options options;
    if (const auto done = BeginCommand(kCommand, kHelp, args, ParseOptions, options)) return *done;
    std::error_code ec;
    if (!std::filesystem::is_directory(PathOf(options.folder), ec)) return Fail(kCommand, "no such folder: " + options.folder);

    // Codes depend on how the plug-in decodes: as the settings file says.
    std::string settingsPath = options.settings;
    if (settingsPath.empty()) {
        const SettingsPlace place = DefaultSettingsPlace(false);
        if (!place.problem.empty()) return Fail(kCommand, place.problem);
        settingsPath = place.settingsPath;
    }
    Settings settings;
    LoadSettingsFrom(ParseSettingsFile(ReadWholeFile(settingsPath)).document, settings);
    PressedCodes pressed(settings);

    if (!options.capture.empty()) {
        std::string input, error;
        std::vector<std::uint8_t> bytes;
        if (!ReadInputFile(options.capture, input, error)) return Fail(kCommand, error);
        if (!options.hex) bytes.assign(input.begin(), input.end());
        else if (!ParseWireHex(input, bytes, error)) return Fail(kCommand, options.capture + ", " + error);
        for (const DecodedBurst& burst : DecodeWireBytes(bytes, settings.SkipBegin.load(),
                                                         settings.RepeatLength.load(), settings.Recognize.load()))
            pressed.Add(burst, false);
    } else {
        const PortLine line{options.com != 0 ? static_cast<int>(options.com) : static_cast<int>(settings.COM.load()),
                            static_cast<int>(settings.COMRate.load()), static_cast<int>(settings.Interval.load())};
        // A receiver unplugged after some presses leaves those to rank.
        if (const int status = ReadPortBursts(kCommand, line, std::chrono::seconds(options.seconds), std::ref(pressed));
            status != 0 && pressed.Codes().empty())
            return status;
    }
    const std::vector<std::uint64_t> codes = pressed.Codes();
    if (codes.empty()) return Fail(kCommand, "no key pressed: nothing to look for");

    const auto start = std::chrono::steady_clock::now();
    std::size_t files = 0, refused = 0;
    const std::vector<Match> matches =
        RankFiles(options.folder, codes,
                  {settings.RepeatLength.load(), settings.SkipBegin.load(), settings.Recognize.load()}, files, refused);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (std::size_t i = 0; i < matches.size() && i < static_cast<std::size_t>(options.top); ++i) {
        const Match& m = matches[i];
        PrintLine({std::to_string(m.matched) + " of " + std::to_string(codes.size()),
                   std::to_string(m.keys) + " keys", m.path, m.names});
    }
    std::fprintf(stderr,
                 "orbisk identify: %s pressed; %s read in %.1f s, %zu refused or unreadable; %zu hold a code pressed\n",
                 Counted(codes.size(), "code").c_str(), Counted(files, "file").c_str(), seconds, refused,
                 matches.size());
    if (matches.empty()) return 1;
    if (!options.import) return 0;
    std::fflush(stdout);
    Args import{matches.front().path};
    if (!options.settings.empty()) import.push_back(options.settings);
    return ImportRemote(import);
}

}  // namespace orbisk::tool
