#pragma once
// Milliseconds as an unsigned 32-bit counter that wraps, the way the engine's
// deadlines are written (now >= base + interval, modulo 2^32).
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

// True when now has reached base + interval, all taken modulo 2^32 and
// compared unsigned, with no special treatment of the wrap.
inline bool DeadlineReached(std::uint32_t now, std::uint32_t base, std::uint32_t interval) {
    return now >= static_cast<std::uint32_t>(base + interval);
}

}  // namespace orbisk
