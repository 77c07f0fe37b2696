#include "capture/wave.h"

#include <algorithm>

namespace orbisk::tool {

std::string WaveLine(const std::uint8_t* durations, int count, int width) {
    long long total = 0;
    for (int i = 0; i < count; ++i) total += durations[i];
    // One column each, and the columns left over shared in proportion to the
    // durations; cumulative rounding keeps the sum exact.
    const long long spare = std::max(0, width - count);
    std::string line;
    long long sum = 0;
    long long drawn = 0;
    for (int i = 0; i < count; ++i) {
        sum += durations[i];
        const long long end = total > 0 ? (sum * spare + total / 2) / total : 0;
        line.append(static_cast<std::size_t>(1 + end - drawn), i % 2 == 0 ? '#' : '_');
        drawn = end;
    }
    return line;
}

int ShortestDuration(const std::uint8_t* durations, int count) {
    return count > 0 ? *std::min_element(durations, durations + count) : 0;
}

}  // namespace orbisk::tool
