#include "common/code_event.h"

#include <chrono>

namespace orbisk {

void StdCodeEvent::Set() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        signalled_ = true;
    }
    changed_.notify_all();
}

void StdCodeEvent::Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = false;
}

CodeEvent::WaitResult StdCodeEvent::Wait(std::optional<std::uint32_t> timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!timeoutMs) {
        changed_.wait(lock, [this] { return signalled_; });
        return WaitResult::Signalled;
    }
    // wait_for recomputes the remaining time across spurious wake-ups.
    return changed_.wait_for(lock, std::chrono::milliseconds(*timeoutMs), [this] { return signalled_; })
               ? WaitResult::Signalled
               : WaitResult::TimedOut;
}

}  // namespace orbisk
