// Stop requests on Windows: Ctrl-C, Ctrl-Break and the console closing, which
// set the console stop event.
#include "commands/stop_signals.h"

#include <windows.h>
#include <timeapi.h>

#include "commands/win32/win32_text.h"

namespace orbisk::tool {

struct StopSignals::Impl {
    HANDLE event = nullptr;
};

StopSignals::StopSignals() : impl_(std::make_unique<Impl>()) {
    impl_->event = ConsoleStopEvent();
    // Sleeps end within a millisecond of their deadline, not at the next
    // 15.6 ms tick: the simulator times bursts by them.
    timeBeginPeriod(1);
}

StopSignals::~StopSignals() { timeEndPeriod(1); }

bool StopSignals::SleepUntil(Clock::time_point deadline) {
    for (;;) {
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) return true;
        // Rounded up, so that the wait never ends early.
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
        if (WaitForSingleObject(impl_->event, static_cast<DWORD>(ms)) == WAIT_OBJECT_0) return false;
    }
}

void StopSignals::Wait() { WaitForSingleObject(impl_->event, INFINITE); }

void StopSignals::Raise() { SetEvent(impl_->event); }

}  // namespace orbisk::tool
