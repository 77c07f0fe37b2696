// orbisk settings: shows what the plug-in would load from a settings file.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "common/code_text.h"
#include "remotes/key_frames.h"
#include "remotes/remote_export.h"
#include "remotes/remote_import.h"
#include "common/text.h"
#include "engine/key_table.h"
#include "host/plugin_loader.h"
#include "platform/file_io.h"
#include "settings/ini_file.h"
#include "settings/settings.h"

namespace orbisk::tool {
namespace {

constexpr const char* kUsage =
    "usage: orbisk settings [FILE]\n"
    "       orbisk settings --where\n"
    "       orbisk settings import FILE [--remote NAME] [--dry-run] [SETTINGS]\n"
    "       orbisk settings export --remote NAME --format ir|lircd|keymap [SETTINGS]\n"
    "\n"
    "Prints what the plug-in loads from the settings file FILE (default: the\n"
    "file the plug-in installed with this program uses): one Name=value line per\n"
    "setting of section Main, starting from the built-in values, then one line\n"
    "per learned key with its remote id, remote name and code=name, separated by\n"
    "tabs.\n"
    "\n"
    "  --where  print the path of the settings file that plug-in uses: beside\n"
    "           the plug-in, or, when that folder is not writable and holds no\n"
    "           settings file, $XDG_CONFIG_HOME/orbisk/orbisk.ini\n"
    "\n"
    "import adds the keys of a remote database's FILE to the settings file\n"
    "SETTINGS (by default the plug-in's): a Linux kernel keymap (as Debian's\n"
    "ir-keytable ships in /lib/udev/rc_keymaps), a Flipper .ir file or a\n"
    "lircd.conf (as Debian's lirc-compat-remotes ships in /usr/share/lirc/\n"
    "remotes), told apart by their content.  Each .ir file becomes one remote\n"
    "control named after the file, each keymap one named as the keymap, each\n"
    "'begin remote' block one named as the block; --remote NAME names it, or\n"
    "comes before the names of a lircd.conf's several remotes.  A decoded key\n"
    "goes in under the code its protocol and scancode give; a raw capture, a\n"
    "lircd frame or a keymap of timings is played as a receiver reports it and\n"
    "every key burst's code goes in under the button's name, leaving out a\n"
    "burst that most of the file's buttons send alike.  One line per key, tab\n"
    "separated: remote, name, where it was read, the frame, the code and\n"
    "'stable' when presses at 32, 50 and 64 us receiver units with 5 % jitter\n"
    "all give that code, otherwise 'learn this key'.  Buttons without timing,\n"
    "of flags Orbisk does not build, or air-conditioner state frames (over\n"
    "128 durations in one burst) are listed as skipped with the reason; a key\n"
    "whose code an earlier key has is listed beside it and left out.  With\n"
    "--dry-run nothing is written.  The file is changed in one replacement, as\n"
    "the setup dialog saves it: keys already there with the same code are\n"
    "renamed, nothing else changes.  A file that cannot be read, or a name the\n"
    "settings file would give back otherwise (blanks at either end, a key name\n"
    "in quotes, an empty name) or that holds control characters or text\n"
    "direction controls, is refused with its line and the settings file is left\n"
    "as it was; a ']' in a remote's name is written as '_', and the report\n"
    "names the section as the file holds it.  Each key's frame (its protocol\n"
    "and scancode, or the burst it came from) is kept beside it as a comment\n"
    "line ';frame CODE ...' for export; when the frames would make the file\n"
    "larger than the plug-in reads, the keys go in without them.\n"
    "\n"
    "export writes the remote control NAME of SETTINGS to standard output for\n"
    "other tools, from the frames kept beside its keys (imported keys, and keys\n"
    "learned in the setup dialog by this version): a Flipper .ir file (ir;\n"
    "parsed where Flipper has the protocol, raw otherwise), a lircd.conf\n"
    "(lircd; raw_codes) or a Linux kernel keymap (keymap; the keys of protocols\n"
    "the kernel lays out the same).  A key learned from a press of no known\n"
    "protocol is written as the receiver's bytes at 50 us each.  Keys that\n"
    "cannot be written (no kept frame, disabled, a name the format cannot hold,\n"
    "a frame that no longer gives the key's code) are listed on standard error.\n"
    "Importing the export gives the same codes under the same names.\n";

// The installed plug-in's settings file, or the exit status when it has none
// it may use.
std::optional<int> DefaultSettingsFile(std::string& path, bool make) {
    const SettingsPlace place = DefaultSettingsPlace(make);
    if (!place.problem.empty()) return Fail("settings", place.problem);
    path = place.settingsPath;
    return std::nullopt;
}

}  // namespace

int ImportRemote(const Args& args) {
    std::string input, remote, path;
    bool dryRun = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--remote") {
            if (i + 1 >= args.size() || args[i + 1].empty()) return Fail("settings", "--remote needs a name");
            remote = args[++i];
        } else if (arg == "--dry-run") {
            dryRun = true;
        } else if (arg.size() > 1 && arg.front() == '-') {
            return Fail("settings", "unknown option " + arg);
        } else if (input.empty()) {
            input = arg;
        } else if (path.empty()) {
            path = arg;
        } else {
            return Fail("settings", "more than one FILE given");
        }
    }
    if (input.empty()) return Fail("settings", "import needs a FILE to import (try --help)");
    if (path.empty())
        if (const auto failed = DefaultSettingsFile(path, !dryRun)) return *failed;
    std::string text, error;
    if (!ReadRemoteFile(input, text, error)) return Fail("settings", error);
    // Codes depend on how the plug-in decodes: as the settings file says.
    Settings settings;
    LoadSettingsFrom(ParseSettingsFile(ReadWholeFile(path)).document, settings);
    const ImportDecoding decoding{settings.RepeatLength.load(), settings.SkipBegin.load(), settings.Recognize.load()};
    RemoteImport plan;
    if (!PlanRemoteImport(text, input, remote, decoding, plan, error)) return Fail("settings", error);

    for (const SkippedButton& b : plan.skipped) PrintLine({"skipped", b.remote, b.name, b.source, b.reason});
    const auto fields = [](const ImportedKey& key) {
        return std::vector<std::string>{key.remote, key.name, key.source, DescribeIrFrame(key.frame), CodeText(key.code)};
    };
    for (const auto& [key, holder] : plan.shared) {
        const auto f = fields(key);
        PrintLine({"same code", f[0], f[1], f[2], f[3], f[4], "as " + holder});
    }
    for (const ImportedKey& key : plan.keys) {
        const auto f = fields(key);
        PrintLine({"key", f[0], f[1], f[2], f[3], f[4], key.stable ? "stable" : "learn this key"});
    }
    if (plan.keys.empty())
        return Fail("settings", NothingToImportText(input));
    const std::size_t unstable = static_cast<std::size_t>(
        std::count_if(plan.keys.begin(), plan.keys.end(), [](const ImportedKey& k) { return !k.stable; }));
    const auto summary = [&](const char* verb, const std::string& where) {
        std::printf("%s %s (%zu to learn again) into %s; skipped %zu; %zu left out for a code already imported\n",
                    verb, Counted(plan.keys.size(), "key").c_str(), unstable, where.c_str(), plan.skipped.size(),
                    plan.shared.size());
    };
    if (dryRun) {
        summary("would import", path + " (nothing written)");
        return 0;
    }
    // Refused at once when the entries alone (each at least "code=name" and
    // a line break) make a file the plug-in cannot read whole.
    std::size_t bytes = 0;
    for (const ImportedKey& key : plan.keys) bytes += 8 + key.name.size() + 2;
    if (bytes > MaxSettingsFileBytes)
        return Fail("settings", "cannot write " + path + ": the new file would be larger than " +
                                    std::to_string(MaxSettingsFileBytes >> 20) + " MiB");

    std::vector<IniDocument::EntryChange> changes;
    changes.reserve(plan.keys.size());
    for (const ImportedKey& key : plan.keys) changes.push_back({key.remote, CodeText(key.code), key.name});
    // The report names the sections as the file holds them: a ']' the header
    // cannot hold is '_', and a section already there keeps its spelling.
    std::vector<KeptFrame> frames;
    std::size_t frameBytes = 0;
    for (const ImportedKey& key : plan.keys)
        if (std::optional<KeyFrame> frame = ImportedKeyFrame(key)) {
            frames.push_back({key.remote, CodeText(key.code), std::move(*frame)});
            frameBytes += 18 + KeyFrameText(frames.back().frame).size();
        }
    std::vector<std::string> sections;
    bool framesKept = true;
    const IniWriteResult written = IniFile(path).Edit([&](IniDocument& doc) {
        doc.ApplyEntryChanges(changes);
        // Frames are for export: the keys matter more than a file the
        // plug-in can still read whole.
        framesKept = doc.Serialize().size() + frameBytes <= MaxSettingsFileBytes;
        KeepFrames(doc, framesKept ? frames : std::vector<KeptFrame>{});
        sections.clear();
        for (const std::string& remoteName : plan.remotes) {
            const std::string id = IniSectionId(remoteName);
            for (const std::string& name : doc.SectionNames())
                if (IniSectionId(name) == id) {
                    sections.push_back("[" + name + "]" + (name == remoteName ? "" : " (the file's name for '" + remoteName + "')"));
                    break;
                }
        }
    });
    if (!written.Ok()) return Fail("settings", "cannot write " + path + ": " + written.failure);
    std::string where;
    for (const std::string& section : sections) where += (where.empty() ? "" : ", ") + section;
    summary("imported", ControlCharactersReplaced(where) + " of " + path);
    if (!framesKept)
        std::fprintf(stderr, "orbisk settings: %s: the keys' frames would make the file too large; "
                             "these keys cannot be exported\n", path.c_str());
    return 0;
}

int ExportRemoteCommand(const Args& args) {
    std::string remote, format, path;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--remote" || arg == "--format") {
            if (i + 1 >= args.size() || args[i + 1].empty()) return Fail("settings", arg + " needs a value");
            (arg == "--remote" ? remote : format) = args[++i];
        } else if (arg.size() > 1 && arg.front() == '-') {
            return Fail("settings", "unknown option " + arg);
        } else if (path.empty()) {
            path = arg;
        } else {
            return Fail("settings", "more than one SETTINGS file given");
        }
    }
    if (remote.empty()) return Fail("settings", "export needs --remote NAME (try --help)");
    const std::optional<ExportFormat> chosen = FindExportFormat(format);
    if (!chosen) return Fail("settings", "export needs --format ir, lircd or keymap");
    if (path.empty())
        if (const auto failed = DefaultSettingsFile(path, false)) return *failed;
    const FileContents file = ReadWholeFile(path);
    if (file.outcome == ReadOutcome::Missing) return Fail("settings", "no such file: " + path);
    if (file.outcome == ReadOutcome::Failed) return Fail("settings", "cannot read " + path);
    const IniRead read = ParseSettingsFile(file);
    if (!read.problem.empty()) return Fail("settings", UnreadableSettingsText(path, read.problem));
    RemoteExport out;
    std::string error;
    const bool exported = ExportRemote(read.document, remote, *chosen, out, error);
    std::fwrite(out.text.data(), 1, out.text.size(), stdout);
    for (const KeyLeftOut& key : out.leftOut)
        std::fprintf(stderr, "orbisk settings: not exported: %s (%s): %s\n",
                     ControlCharactersReplaced(key.name).c_str(), ControlCharactersReplaced(key.code).c_str(),
                     key.reason.c_str());
    if (!exported) return Fail("settings", path + ": " + ControlCharactersReplaced(error));
    std::fprintf(stderr, "orbisk settings: exported %zu keys of %s; %zu not exported\n", out.keys,
                 ControlCharactersReplaced(remote).c_str(), out.leftOut.size());
    return 0;
}

int RunSettings(const Args& args) {
    if (!args.empty() && args.front() == "import" && !WantsHelp(args))
        return ImportRemote(Args(args.begin() + 1, args.end()));
    if (!args.empty() && args.front() == "export" && !WantsHelp(args))
        return ExportRemoteCommand(Args(args.begin() + 1, args.end()));
    if (WantsHelp(args)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    std::string path;
    bool explicitPath = false;
    if (args.size() == 1 && args[0] == "--where") {
        if (const auto failed = DefaultSettingsFile(path, false)) return *failed;
        PrintLine({path});
        return 0;
    }
    for (const std::string& arg : args) {
        if (arg.size() > 1 && arg.front() == '-') return Fail("settings", "unknown option " + arg);
        if (explicitPath) return Fail("settings", "more than one FILE given");
        path = arg;
        explicitPath = true;
    }
    if (!explicitPath)
        if (const auto failed = DefaultSettingsFile(path, false)) return *failed;

    // Read once and show exactly what that content gives; a missing default
    // file is what a fresh installation has, and loads as built-in values.
    const FileContents file = ReadWholeFile(path);
    if (file.outcome == ReadOutcome::Missing && explicitPath)
        return Fail("settings", "no such file: " + path);
    if (file.outcome == ReadOutcome::Failed) return Fail("settings", "cannot read " + path);
    const IniRead read = ParseSettingsFile(file);
    if (!read.problem.empty())
        std::fprintf(stderr, "orbisk settings: %s: %s; what can be read is shown\n", path.c_str(),
                     read.problem.c_str());

    const IniDocument& doc = read.document;
    Settings settings;
    KeyTable keys;
    LoadSettingsFrom(doc, settings);
    keys.Rebuild(doc);
    ReadWaitSettingsFrom(doc, settings);

    std::printf("COM=%d\n", static_cast<int>(settings.COM.load()));
    std::printf("COMRate=%d\n", static_cast<int>(settings.COMRate.load()));
    std::printf("Interval=%d\n", static_cast<int>(settings.Interval.load()));
    std::printf("RepeatLength=%d\n", static_cast<int>(settings.RepeatLength.load()));
    std::printf("SkipBegin=%d\n", static_cast<int>(settings.SkipBegin.load()));
    std::printf("HaltOnError=%d\n", settings.HaltOnError.load() ? 1 : 0);
    PrintLine({"ExecOnError=" + settings.ExecOnError});
    std::printf("Recognize=%d\n", settings.Recognize.load() ? 1 : 0);
    std::printf("Wait1=%u\n", static_cast<unsigned>(settings.Wait1.load()));
    std::printf("WaitN=%u\n", static_cast<unsigned>(settings.WaitN.load()));
    std::printf("WaitR=%u\n", static_cast<unsigned>(settings.WaitR.load()));
    for (const KeyTable::Entry& entry : keys.KeyList()) {
        const std::string& remote = keys.RemoteList()[static_cast<std::size_t>(entry.remoteId)];
        PrintLine({std::to_string(entry.remoteId), remote, entry.text});
    }
    return 0;
}

}  // namespace orbisk::tool
