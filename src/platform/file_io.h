#pragma once
// Whole-file reads and atomic replacement, for the settings file.
#include <chrono>
#include <cstddef>
#include <cstdint>
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

// How taking a file's write lock ended.
enum class LockOutcome {
    Held,      // this writer holds it
    Skipped,   // no lock can be made where the file is (a folder that cannot be
               // written, or is missing; a path that is no regular file): the
               // replacement cannot happen either, and fails as it would have
    Busy,      // another writer held it for the whole wait
    NotAFile,  // the lock's name is a symbolic link or no regular file
    Failed,    // the lock file cannot be used: error says why
};

// The lock that writers of one file take in turns, so that each reads, merges
// and replaces the file without writing back a copy another writer has just
// replaced.  It is an advisory lock on a file beside the one it guards (its
// name with ".lock" added; beside a symbolic link's target, as the
// replacement writes there), which is made with permissions for its owner
// alone, never through a symbolic link, and left in place: the lock dies
// with its holder, so a lock file a crashed writer left behind is simply
// taken again.  Two locks of one file exclude each other even within one
// process.  Released when destroyed.
class FileLock {
public:
    FileLock() = default;
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&&) = delete;
    FileLock(const FileLock&) = delete;
    ~FileLock();

    LockOutcome Outcome() const { return outcome_; }
    const std::string& Path() const { return path_; }  // the lock file
    const std::error_code& Error() const { return error_; }

private:
    friend FileLock LockForWriting(const std::string& path, std::chrono::milliseconds wait);
    LockOutcome outcome_ = LockOutcome::Skipped;
    std::string path_;
    std::error_code error_;
    std::intptr_t handle_ = -1;  // the platform's handle of the open lock file
};

// Takes the write lock of the file at path, waiting up to wait while another
// writer holds it (zero: one try).
FileLock LockForWriting(const std::string& path, std::chrono::milliseconds wait);

// The line break a newly created text file uses on this platform.
const char* PlatformLineBreak();

}  // namespace orbisk
