#pragma once
// Whole-file reads and atomic replacement, for the settings file.
#include <cstddef>
#include <optional>
#include <string>
#include <system_error>

namespace orbisk {

// Largest settings file that is read or written.  A real one is a few KB;
// the cap bounds the memory a damaged or hostile file can take.  A bigger
// file is read up to this size and never rewritten, so nothing of it is lost.
inline constexpr std::size_t MaxSettingsFileBytes = 4u << 20;

enum class ReadOutcome { Ok, Missing, TooLarge, Failed };

struct FileContents {
    ReadOutcome outcome = ReadOutcome::Missing;
    std::string bytes;      // at most MaxSettingsFileBytes
    std::error_code error;  // why, when the outcome is Failed
};

FileContents ReadWholeFile(const std::string& path);

// Writes bytes to a temporary file in the same folder, flushes it to disk and
// renames it over path, so readers see either the old file or the new one.
// A path that is a symbolic link, even one whose target does not exist yet,
// is written where the link points, so the link stays a link.  An existing
// file keeps its permission bits; a new one is never writable by group or
// others, whatever the process's file-creation mask (its command line may be
// run).  False when any step fails: error then says why (the system's error
// number, in std::system_category()), and the old file is untouched.
bool ReplaceFileAtomically(const std::string& path, const std::string& bytes, std::error_code& error);

// The line break a newly created text file uses on this platform.
const char* PlatformLineBreak();

}  // namespace orbisk
