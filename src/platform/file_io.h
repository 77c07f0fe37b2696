#pragma once
// Whole-file reads and atomic replacement, for the settings file.
#include <cstddef>
#include <optional>
#include <string>

namespace orbisk {

// Largest settings file that is read or written.  A real one is a few KB;
// the cap bounds the memory a damaged or hostile file can take.  A bigger
// file is read up to this size and never rewritten, so nothing of it is lost.
inline constexpr std::size_t MaxSettingsFileBytes = 4u << 20;

enum class ReadOutcome { Ok, Missing, TooLarge, Failed };

struct FileContents {
    ReadOutcome outcome = ReadOutcome::Missing;
    std::string bytes;  // at most MaxSettingsFileBytes
};

FileContents ReadWholeFile(const std::string& path);

// Writes bytes to a temporary file in the same folder, flushes it to disk and
// renames it over path, so readers see either the old file or the new one.
// False (and the old file untouched) when any step fails.
bool ReplaceFileAtomically(const std::string& path, const std::string& bytes);

// The line break a newly created text file uses on this platform.
const char* PlatformLineBreak();

}  // namespace orbisk
