// orbisk settings: shows what the plug-in would load from a settings file.
#include <cstdio>
#include <string>

#include "commands/commands.h"
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
    "\n"
    "Prints what the plug-in loads from the settings file FILE (default: the\n"
    "file the plug-in installed with this program uses): one Name=value line per\n"
    "setting of section Main, starting from the built-in values, then one line\n"
    "per learned key with its remote id, remote name and code=name, separated by\n"
    "tabs.\n"
    "\n"
    "  --where  print the path of the settings file that plug-in uses: beside\n"
    "           the plug-in, or, when that folder is not writable and holds no\n"
    "           settings file, $XDG_CONFIG_HOME/orbisk/orbisk.ini\n";

void PrintLine(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
}

}  // namespace

int RunSettings(const Args& args) {
    if (WantsHelp(args)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    std::string path;
    bool explicitPath = false;
    if (args.size() == 1 && args[0] == "--where") {
        PrintLine(DefaultSettingsPlace().settingsPath);
        return 0;
    }
    for (const std::string& arg : args) {
        if (arg.size() > 1 && arg.front() == '-') return Fail("settings", "unknown option " + arg);
        if (explicitPath) return Fail("settings", "more than one FILE given");
        path = arg;
        explicitPath = true;
    }
    if (!explicitPath) path = DefaultSettingsPlace().settingsPath;

    // Read once and show exactly what that content gives; a missing default
    // file is what a fresh installation has, and loads as built-in values.
    const FileContents file = ReadWholeFile(path);
    if (file.outcome == ReadOutcome::Missing && explicitPath)
        return Fail("settings", "no such file: " + path);
    if (file.outcome == ReadOutcome::Failed) return Fail("settings", "cannot read " + path);
    if (file.outcome == ReadOutcome::TooLarge)
        std::fprintf(stderr, "orbisk settings: %s is larger than %zu bytes; only its start is read\n",
                     path.c_str(), MaxSettingsFileBytes);

    const IniDocument doc = IniDocument::Parse(file.bytes);
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
    PrintLine("ExecOnError=" + settings.ExecOnError);
    std::printf("Wait1=%u\n", static_cast<unsigned>(settings.Wait1.load()));
    std::printf("WaitN=%u\n", static_cast<unsigned>(settings.WaitN.load()));
    std::printf("WaitR=%u\n", static_cast<unsigned>(settings.WaitR.load()));
    for (const KeyTable::Entry& entry : keys.KeyList()) {
        const std::string& remote = keys.RemoteList()[static_cast<std::size_t>(entry.remoteId)];
        PrintLine(std::to_string(entry.remoteId) + "\t" + remote + "\t" + entry.text);
    }
    return 0;
}

}  // namespace orbisk::tool
