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

// Writes a key of Main when its value changed or the file lacks it.
void WriteChanged(IniDocument& file, std::string_view key, std::int32_t now, std::int32_t before) {
    if (now != before || !file.HasKey(MainSection, key)) file.WriteInteger(MainSection, key, now);
}

// The wait times go to the file as 32-bit words, like any integer.
void WriteChanged(IniDocument& file, std::string_view key, std::uint32_t now, std::uint32_t before) {
    WriteChanged(file, key, static_cast<std::int32_t>(now), static_cast<std::int32_t>(before));
}

}  // namespace

SettingsValues ValuesOf(const Settings& settings) {
    constexpr auto relaxed = std::memory_order_relaxed;
    return {settings.COM.load(relaxed),          settings.COMRate.load(relaxed),
            settings.Interval.load(relaxed),     settings.RepeatLength.load(relaxed),
            settings.SkipBegin.load(relaxed),    settings.HaltOnError.load(relaxed),
            settings.ExecOnError,                settings.Wait1.load(relaxed),
            settings.WaitN.load(relaxed),        settings.WaitR.load(relaxed)};
}

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

IniWriteResult SaveWaitSettings(const std::string& settingsPath, const Settings& settings,
                                const SettingsValues& since) {
    // One replacement of the file for all three; a file that cannot be
    // written keeps its old values, and the caller reports why.
    const SettingsValues now = ValuesOf(settings);
    return IniFile(settingsPath).Edit([&](IniDocument& doc) {
        WriteChanged(doc, "Wait1", now.Wait1, since.Wait1);
        WriteChanged(doc, "WaitN", now.WaitN, since.WaitN);
        WriteChanged(doc, "WaitR", now.WaitR, since.WaitR);
    });
}

void WriteDialogSettings(IniDocument& file, const Settings& settings, const SettingsValues& since) {
    const SettingsValues now = ValuesOf(settings);
    WriteChanged(file, "COM", now.COM, since.COM);
    WriteChanged(file, "COMRate", now.COMRate, since.COMRate);
    WriteChanged(file, "Interval", now.Interval, since.Interval);
    WriteChanged(file, "RepeatLength", now.RepeatLength, since.RepeatLength);
    WriteChanged(file, "SkipBegin", now.SkipBegin, since.SkipBegin);
    if (now.HaltOnError != since.HaltOnError || !file.HasKey(MainSection, "HaltOnError"))
        file.WriteBool(MainSection, "HaltOnError", now.HaltOnError);
    WriteChangedText(file, "ExecOnError", now.ExecOnError, since.ExecOnError);
}

void WriteChangedText(IniDocument& file, std::string_view key, std::string_view now, std::string_view before) {
    if (now != before || !file.HasKey(MainSection, key)) file.WriteString(MainSection, key, now);
}

}  // namespace orbisk
