#include "platform/file_io_common.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <utility>

namespace orbisk {

std::string TemporaryNameBeside(const std::string& target, const char* separators, unsigned long processId) {
    static std::atomic<unsigned> counter{0};
    const std::size_t separator = target.find_last_of(separators);
    const std::string folder = separator == std::string::npos ? std::string() : target.substr(0, separator + 1);
    // Keep the temporary name within the longest name a folder takes,
    // however long the target's is.
    const std::string base =
        (separator == std::string::npos ? target : target.substr(separator + 1)).substr(0, 200);
    const auto ticks =
        static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".%lu.%u.%llx.tmp", processId,
                  counter.fetch_add(1, std::memory_order_relaxed), ticks & 0xFFFFFFu);
    return folder + "." + base + suffix;
}

bool AppendWithinCap(FileContents& contents, const char* data, std::size_t size) {
    const std::size_t room = MaxSettingsFileBytes - contents.bytes.size();
    if (size > room) {
        contents.bytes.append(data, room);
        contents.outcome = ReadOutcome::TooLarge;
        return false;
    }
    contents.bytes.append(data, size);
    return true;
}

LockOutcome TryLockWithin(std::chrono::milliseconds wait, const std::function<LockOutcome()>& attempt) {
    // Polled rather than waited for in the system: a blocking wait has no
    // time limit (POSIX) or needs an event and a cancel (Windows), and a
    // writer holds the lock only for the few milliseconds of one replacement.
    constexpr auto pause = std::chrono::milliseconds(10);
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        const LockOutcome result = attempt();
        if (result != LockOutcome::Busy || std::chrono::steady_clock::now() >= deadline) return result;
        std::this_thread::sleep_for(pause);
    }
}

FileLock::FileLock(FileLock&& other) noexcept
    : outcome_(other.outcome_),
      path_(std::move(other.path_)),
      error_(other.error_),
      handle_(std::exchange(other.handle_, -1)) {}

}  // namespace orbisk
