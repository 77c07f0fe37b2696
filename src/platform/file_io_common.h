#pragma once
// What the platforms' file back-ends share.
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

#include "platform/file_io.h"

namespace orbisk {

// A fresh name for a temporary file beside target, in the same folder: a dot,
// the target's name (cut so the result stays a valid name), the process id,
// a counter and a few clock bits.  separators are the platform's folder
// separators.  Each call gives another name; the caller creates the file
// exclusively and asks again when it exists.
std::string TemporaryNameBeside(const std::string& target, const char* separators, unsigned long processId);

// Appends one chunk read from a file to contents, up to MaxSettingsFileBytes.
// False once the cap cuts it: contents is then TooLarge and complete.
bool AppendWithinCap(FileContents& contents, const char* data, std::size_t size);

// Tries a lock (attempt: Held, Busy or Failed, without waiting) until it is
// held or fails, or until wait has passed with it busy, pausing briefly
// between tries.  The last try's outcome.
LockOutcome TryLockWithin(std::chrono::milliseconds wait, const std::function<LockOutcome()>& attempt);

}  // namespace orbisk
