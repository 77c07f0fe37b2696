// Stop requests on Linux: SIGINT, SIGTERM and SIGHUP, blocked and taken with
// sigtimedwait, which doubles as the sleep.
#include "commands/stop_signals.h"

#include <signal.h>
#include <time.h>
#include <unistd.h>

namespace orbisk::tool {

struct StopSignals::Impl {
    sigset_t set;
};

StopSignals::StopSignals() : impl_(std::make_unique<Impl>()) {
    sigemptyset(&impl_->set);
    sigaddset(&impl_->set, SIGINT);
    sigaddset(&impl_->set, SIGTERM);
    sigaddset(&impl_->set, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &impl_->set, nullptr);
}

// The signals stay blocked: one more may be pending, and the process ends.
StopSignals::~StopSignals() = default;

bool StopSignals::SleepUntil(Clock::time_point deadline) {
    for (;;) {
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) return true;
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
        const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(left - seconds);
        timespec wait{};
        wait.tv_sec = static_cast<time_t>(seconds.count());
        wait.tv_nsec = static_cast<long>(nanos.count());
        if (sigtimedwait(&impl_->set, nullptr, &wait) > 0) return false;
        // EAGAIN (time is up) and EINTR both come back to the clock.
    }
}

void StopSignals::Wait() {
    int signal = 0;
    sigwait(&impl_->set, &signal);
}

void StopSignals::Raise() { ::kill(::getpid(), SIGTERM); }

}  // namespace orbisk::tool
