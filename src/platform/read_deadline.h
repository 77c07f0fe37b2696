#pragma once
// The time limits of one SerialDevice::Read, the same on every back-end:
// the total time-out or the silence, whichever ends first, and the gap
// after the latest byte once one has come.
#include <chrono>
#include <cstdint>
#include <optional>

#include "platform/serial_device.h"

namespace orbisk {

class ReadDeadline {
public:
    using Clock = std::chrono::steady_clock;

    // A read of count bytes that begins at start; latestByte is the latest
    // byte read from the line, if any.
    ReadDeadline(const ReadTimeouts& t, int count, Clock::time_point start,
                 std::optional<Clock::time_point> latestByte)
        : intervalMs_(t.intervalMs) {
        // A zero interval or a zero total disables that limit, as with the
        // serial time-outs this rule comes from.
        if (t.totalMultiplierMs != 0 || t.totalConstantMs != 0) {
            const std::uint64_t totalMs = static_cast<std::uint64_t>(count) * t.totalMultiplierMs + t.totalConstantMs;
            total_ = start + std::chrono::milliseconds(totalMs);
        }
        if (t.silenceMs != 0) {
            const Clock::time_point silenceEnd = latestByte.value_or(start) + std::chrono::milliseconds(t.silenceMs);
            if (!total_ || silenceEnd < *total_) total_ = silenceEnd;
        }
    }

    // When the read ends if nothing more comes; none: it waits without limit.
    // lastByte: the latest byte of this read, if it has read any.
    std::optional<Clock::time_point> Next(std::optional<Clock::time_point> lastByte) const {
        if (!lastByte || intervalMs_ == 0) return total_;
        const Clock::time_point gapEnd = *lastByte + std::chrono::milliseconds(intervalMs_);
        return total_ && *total_ < gapEnd ? total_ : gapEnd;
    }

private:
    std::uint32_t intervalMs_;
    std::optional<Clock::time_point> total_;
};

}  // namespace orbisk
