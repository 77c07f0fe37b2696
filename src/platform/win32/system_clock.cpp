#include "platform/system_clock.h"

#include <windows.h>

namespace orbisk {
namespace {

// The system's millisecond tick, wrapping every 49.7 days like the engine's
// deadlines expect.
class Win32TickClock final : public TickClock {
public:
    std::uint32_t Now() override { return GetTickCount(); }
};

}  // namespace

TickClock& SystemTickClock() {
    static Win32TickClock clock;
    return clock;
}

}  // namespace orbisk
