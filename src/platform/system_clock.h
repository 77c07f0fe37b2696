#pragma once
#include "common/tick_clock.h"

namespace orbisk {

// The platform's millisecond tick counter; lives as long as the program.
TickClock& SystemTickClock();

}  // namespace orbisk
