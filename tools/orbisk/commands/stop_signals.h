#pragma once
// Ctrl-C and the like, taken synchronously by the commands that run until
// stopped.  From construction on, the stop requests no longer end the process
// but come to SleepUntil and Wait; threads started afterwards leave them to
// this one.
#include <chrono>
#include <memory>

namespace orbisk::tool {

class StopSignals {
public:
    using Clock = std::chrono::steady_clock;

    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Sleeps until the deadline; false when a stop request came first.
    bool SleepUntil(Clock::time_point deadline);
    bool SleepFor(Clock::duration span) { return SleepUntil(Clock::now() + span); }

    // Sleeps until a stop request comes.
    void Wait();

    // A stop request from inside the program, from any thread.
    void Raise();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace orbisk::tool
