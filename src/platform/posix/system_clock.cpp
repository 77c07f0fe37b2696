#include "platform/system_clock.h"

namespace orbisk {

TickClock& SystemTickClock() {
    static SteadyTickClock clock;
    return clock;
}

}  // namespace orbisk
