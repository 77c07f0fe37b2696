#pragma once
// The plug-in's settings variables and their persistence in section Main of
// the settings file.  Values read on worker threads are atomics: the dialog
// changes them while the reader and the engine run, and each is independent,
// so relaxed loads and stores are enough.
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

namespace orbisk {

class IniDocument;
struct IniWriteResult;

inline constexpr std::string_view MainSection = "Main";

struct Settings {
    std::atomic<std::int32_t> COM{2};
    std::atomic<std::int32_t> COMRate{115200};
    std::atomic<std::int32_t> Interval{100};
    std::atomic<std::int32_t> RepeatLength{3};
    std::atomic<std::int32_t> SkipBegin{4};
    std::atomic<bool> HaltOnError{false};
    // Recognise known IR protocols and give their keys one code (1); 0
    // decodes every burst by its shape alone.
    std::atomic<bool> Recognize{true};
    std::string ExecOnError;  // used on the host thread only
    std::atomic<std::uint32_t> Wait1{300};
    std::atomic<std::uint32_t> WaitN{100};
    std::atomic<std::uint32_t> WaitR{200};
};

// ChangeFileExt(path, ".ini"): the part of the file name from its last dot
// on is replaced, a name without a dot gets ".ini" appended.
std::string ChangeFileExt(std::string_view path, std::string_view extension);
inline std::string SettingsPath(std::string_view libraryPath) {
    return ChangeFileExt(libraryPath, ".ini");
}

// Reads COM, COMRate, Interval, RepeatLength, SkipBegin, HaltOnError,
// ExecOnError and Recognize, each defaulting to its current value.  The key table is
// rebuilt from the same document by its owner (KeyTable::Rebuild).
void LoadSettingsFrom(const IniDocument& file, Settings& settings);

// Limits on the wait times read from the file, beyond anything the dialog
// offers (50 to 1000 ms).  A repeat period of 0 sends repeats as fast as the
// engine can loop, and a release time-out near 2^32 ms holds a key for ever;
// a period of at least 10 ms keeps repeats to 100 a second, and a held key is
// released at most 10 s after its last burst.  Nothing else is limited: a
// long WaitN or Wait1 only means no repeats.
inline constexpr std::uint32_t MinWaitNMs = 10;
inline constexpr std::uint32_t MaxWaitRMs = 10000;

// The values of the settings at one moment, kept to tell what changed since.
struct SettingsValues {
    std::int32_t COM, COMRate, Interval, RepeatLength, SkipBegin;
    bool HaltOnError;
    std::string ExecOnError;
    std::uint32_t Wait1, WaitN, WaitR;
};
SettingsValues ValuesOf(const Settings& settings);

// Wait1, WaitN and WaitR, each defaulting to its current value, with WaitN
// raised to MinWaitNMs and WaitR lowered to MaxWaitRMs.  Only the variables
// are limited; the file keeps its text.
void ReadWaitSettings(const std::string& settingsPath, Settings& settings);
void ReadWaitSettingsFrom(const IniDocument& file, Settings& settings);

// Saving writes only the settings that changed since `since` (the values
// when the user began to change them), and those the file lacks.  The
// others keep the file's text, so a hand edit or another dialog's save made
// meanwhile survives, and a value limited on reading is never written back
// unless the user chose it.
//
// SaveWaitSettings: Wait1, WaitN and WaitR, in one replacement of the file.
// WriteDialogSettings: COM, COMRate, Interval, RepeatLength, SkipBegin,
// HaltOnError and ExecOnError, in that order, into a document.
IniWriteResult SaveWaitSettings(const std::string& settingsPath, const Settings& settings,
                                const SettingsValues& since);
void WriteDialogSettings(IniDocument& file, const Settings& settings, const SettingsValues& since);
// The same rule for one text of Main.
void WriteChangedText(IniDocument& file, std::string_view key, std::string_view now, std::string_view before);

}  // namespace orbisk
