// orbisk settings: shows what the plug-in would load from a settings file.
#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "commands/keymap.h"
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
    "       orbisk settings import KEYMAP.toml [--remote NAME] [FILE]\n"
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
    "import reads a Linux kernel keymap (as Debian's ir-keytable package ships\n"
    "in /lib/udev/rc_keymaps) and adds to FILE a remote control named NAME (by\n"
    "default the keymap's name) with every key of a protocol Orbisk recognises,\n"
    "under its code and named as the keymap names it (KEY_VOLUMEUP), in the\n"
    "keymap's order.  Keys of other protocols are listed and skipped, and a key\n"
    "whose code an earlier key has is listed beside it and left out.  The file\n"
    "is changed in one replacement, as the setup dialog saves it: keys already\n"
    "there with the same code are renamed, nothing else changes.  A name the\n"
    "file would give back otherwise (blanks at either end, a key name in quotes,\n"
    "an empty name) or that holds control characters or text direction\n"
    "controls is refused, and so is a remote the file would read as [Main]; a\n"
    "']' in a remote's name is written as '_', and the report names the section\n"
    "as the file holds it.\n";

// One line of tab-separated fields.  Texts from the file are shown as
// `orbisk run` shows key names: a file may hold escape sequences, bells or
// NULs that must not reach the terminal, or tabs that would split a field.
void PrintLine(std::initializer_list<std::string_view> fields) {
    std::string line;
    for (const std::string_view field : fields) {
        if (!line.empty()) line += '\t';
        line += ControlCharactersReplaced(field);
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
}

// The installed plug-in's settings file, or the exit status when it has none
// it may use.
std::optional<int> DefaultSettingsFile(std::string& path, bool make) {
    const SettingsPlace place = DefaultSettingsPlace(make);
    if (!place.problem.empty()) return Fail("settings", place.problem);
    path = place.settingsPath;
    return std::nullopt;
}

}  // namespace

int ImportKeymap(const Args& args) {
    std::string keymap, remote, path;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--remote") {
            if (i + 1 >= args.size() || args[i + 1].empty()) return Fail("settings", "--remote needs a name");
            remote = args[++i];
        } else if (arg.size() > 1 && arg.front() == '-') {
            return Fail("settings", "unknown option " + arg);
        } else if (keymap.empty()) {
            keymap = arg;
        } else if (path.empty()) {
            path = arg;
        } else {
            return Fail("settings", "more than one FILE given");
        }
    }
    if (keymap.empty()) return Fail("settings", "import needs a KEYMAP.toml (try --help)");
    if (path.empty())
        if (const auto failed = DefaultSettingsFile(path, true)) return *failed;
    std::vector<KeymapTable> tables;
    std::string error;
    if (!ReadKeymap(keymap, tables, error)) return Fail("settings", error);
    if (remote.empty()) remote = tables.front().name;
    if (remote.empty()) return Fail("settings", keymap + " has no name: give one with --remote");
    // The name goes into a section header and onto terminals; a refused name
    // is not shown, as it may be what would harm the terminal.
    if (const std::string problem = IniNameProblem(IniNamePlace::Section, remote); !problem.empty())
        return Fail("settings", "the remote's name " + problem + ": give another with --remote");
    if (IsMainSection(IniSectionId(remote)))
        return Fail("settings", "'" + remote + "' is the settings section, not a remote");

    const KeymapImport plan = PlanKeymapImport(tables);
    const auto print = [](const char* what, const KeymapKey& key, const std::string& more) {
        const KeymapTable& table = *key.table;
        const std::string protocol =
            ControlCharactersReplaced(table.variant.empty() ? table.protocol : table.protocol + "/" + table.variant);
        std::printf("%s\t%s\t0x%08x\t%s%s\n", what, protocol.c_str(), static_cast<unsigned>(key.scancode),
                    key.name->c_str(), more.c_str());
    };
    for (const KeymapKey& key : plan.skipped) print("skipped", key, "");
    for (const auto& [key, holder] : plan.shared) {
        char scancode[16];
        std::snprintf(scancode, sizeof scancode, "0x%08x", static_cast<unsigned>(holder.scancode));
        print("same code", key, std::string("\tas ") + scancode + " " + *holder.name);
    }
    if (plan.keys.empty())
        return Fail("settings", keymap + ": no key of a protocol Orbisk recognises; nothing imported");
    // Refused at once when the entries alone (each at least "code=name" and
    // a line break) make a file the plug-in cannot read whole.
    std::size_t bytes = 0;
    for (const auto& [code, key] : plan.keys) bytes += code.size() + key.name->size() + 2;
    if (bytes > MaxSettingsFileBytes)
        return Fail("settings", "cannot write " + path + ": the new file would be larger than " +
                                    std::to_string(MaxSettingsFileBytes >> 20) + " MiB");

    std::vector<IniDocument::EntryChange> changes;
    changes.reserve(plan.keys.size());
    for (const auto& [code, key] : plan.keys) changes.push_back({remote, code, *key.name});
    // The report names the section as the file holds it: a ']' the header
    // cannot hold is '_', and a section already there keeps its spelling.
    std::string section;
    const IniWriteResult written = IniFile(path).Edit([&](IniDocument& doc) {
        doc.ApplyEntryChanges(changes);
        const std::string id = IniSectionId(remote);
        for (const std::string& name : doc.SectionNames())
            if (IniSectionId(name) == id) {
                section = name;
                break;
            }
    });
    if (!written.Ok()) return Fail("settings", "cannot write " + path + ": " + written.failure);
    const std::string given = section == remote ? "" : " (the file's name for '" + remote + "')";
    std::printf("imported %zu keys into [%s]%s of %s; skipped %zu; %zu left out for a code already imported\n",
                plan.keys.size(), ControlCharactersReplaced(section).c_str(), given.c_str(), path.c_str(),
                plan.skipped.size(), plan.shared.size());
    return 0;
}

int RunSettings(const Args& args) {
    if (!args.empty() && args.front() == "import" && !WantsHelp(args))
        return ImportKeymap(Args(args.begin() + 1, args.end()));
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
