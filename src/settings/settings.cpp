#include "settings/settings.h"

#include "settings/ini_file.h"

namespace orbisk {
namespace {

// Reads an integer key with the variable's current value as default.
void ReadInto(const IniDocument& file, std::string_view key, std::atomic<std::int32_t>& variable) {
    variable.store(file.ReadInteger(MainSection, key, variable.load(std::memory_order_relaxed)),
                   std::memory_order_relaxed);
}

// The wait times are unsigned in memory but go through the signed integer
// reader and writer, as 32-bit words: a value above 2^31 - 1 is stored as a
// negative number and comes back unchanged.
void ReadInto(const IniDocument& file, std::string_view key, std::atomic<std::uint32_t>& variable) {
    const auto current = static_cast<std::int32_t>(variable.load(std::memory_order_relaxed));
    variable.store(static_cast<std::uint32_t>(file.ReadInteger(MainSection, key, current)),
                   std::memory_order_relaxed);
}

}  // namespace

std::string ChangeFileExt(std::string_view path, std::string_view extension) {
    // Only a dot in the file name counts, not one in a folder name; both
    // separators are honoured so the same rule holds for Windows paths.
    const std::size_t separator = path.find_last_of("/\\");
    const std::size_t nameStart = separator == std::string_view::npos ? 0 : separator + 1;
    const std::size_t dot = path.find_last_of('.');
    std::string out(dot != std::string_view::npos && dot >= nameStart ? path.substr(0, dot) : path);
    out += extension;
    return out;
}

void LoadSettingsFrom(const IniDocument& file, Settings& settings) {
    ReadInto(file, "COM", settings.COM);
    ReadInto(file, "COMRate", settings.COMRate);
    ReadInto(file, "Interval", settings.Interval);
    ReadInto(file, "RepeatLength", settings.RepeatLength);
    ReadInto(file, "SkipBegin", settings.SkipBegin);
    settings.HaltOnError.store(
        file.ReadBool(MainSection, "HaltOnError", settings.HaltOnError.load(std::memory_order_relaxed)),
        std::memory_order_relaxed);
    settings.ExecOnError = file.ReadString(MainSection, "ExecOnError", settings.ExecOnError);
    settings.Recognize.store(
        file.ReadBool(MainSection, "Recognize", settings.Recognize.load(std::memory_order_relaxed)),
        std::memory_order_relaxed);
}

void ReadWaitSettingsFrom(const IniDocument& file, Settings& settings) {
    ReadInto(file, "Wait1", settings.Wait1);
    ReadInto(file, "WaitN", settings.WaitN);
    ReadInto(file, "WaitR", settings.WaitR);
    if (settings.WaitN.load(std::memory_order_relaxed) < MinWaitNMs)
        settings.WaitN.store(MinWaitNMs, std::memory_order_relaxed);
    if (settings.WaitR.load(std::memory_order_relaxed) > MaxWaitRMs)
        settings.WaitR.store(MaxWaitRMs, std::memory_order_relaxed);
}

void ReadWaitSettings(const std::string& settingsPath, Settings& settings) {
    ReadWaitSettingsFrom(IniFile(settingsPath).Load(), settings);
}

IniWriteResult SaveWaitSettings(const std::string& settingsPath, const Settings& settings) {
    // One replacement of the file for all three; a file that cannot be
    // written keeps its old values, and the caller reports why.
    return IniFile(settingsPath).Edit([&settings](IniDocument& doc) {
        const auto word = [](const std::atomic<std::uint32_t>& v) {
            return static_cast<std::int32_t>(v.load(std::memory_order_relaxed));
        };
        doc.WriteInteger(MainSection, "Wait1", word(settings.Wait1));
        doc.WriteInteger(MainSection, "WaitN", word(settings.WaitN));
        doc.WriteInteger(MainSection, "WaitR", word(settings.WaitR));
    });
}

}  // namespace orbisk
