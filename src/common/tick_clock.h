#pragma once
// Milliseconds as an unsigned 32-bit counter that wraps.
#include <chrono>
#include <cstdint>

namespace orbisk {

class TickClock {
public:
    virtual ~TickClock() = default;
    virtual std::uint32_t Now() = 0;
};

class SteadyTickClock final : public TickClock {
public:
    std::uint32_t Now() override {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
        return static_cast<std::uint32_t>(ms.count());
    }
};

// True when at least interval milliseconds have passed from base to now.
// Comparing the elapsed time (modulo 2^32) rather than now against
// base + interval keeps deadlines right across the counter's wrap every
// 49.7 days: the plain comparison releases a held key early when the sum
// wraps, and never when the readings step over a deadline just below 2^32.
inline bool DeadlineReached(std::uint32_t now, std::uint32_t base, std::uint32_t interval) {
    return static_cast<std::uint32_t>(now - base) >= interval;
}

}  // namespace orbisk
