#pragma once
// A burst drawn as one line of text for a terminal: marks as '#', spaces as
// '_', each in proportion to its duration, so that a clean signal, noise and
// a repeat frame look different at a glance.
#include <cstdint>
#include <string>

namespace orbisk::tool {

// At most width characters where the burst allows it: every duration gets
// at least one, so a burst of more durations than width is longer.
std::string WaveLine(const std::uint8_t* durations, int count, int width);

// The shortest duration of the burst (the decoder's unit); 0 when empty.
int ShortestDuration(const std::uint8_t* durations, int count);

}  // namespace orbisk::tool
