// orbisk monitor --wave: a burst as one line of marks and spaces.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/wave.h"

namespace orbisk::tool {
namespace {

struct WaveCase {
    std::vector<std::uint8_t> durations;
    int width;
    const char* line;
};

TEST(WaveLine, ScalesToTheWidthAndShowsEveryDuration) {
    const WaveCase cases[] = {
        {{2, 2}, 10, "#####_____"},
        {{1, 3}, 6, "##____"},
        // An NEC repeat frame: a long mark, a space, one short mark.
        {{180, 45, 11}, 40, "#############################________###"},
        {{}, 20, ""},
        // More durations than columns: one each, the line runs longer.
        {{5, 5, 5, 5, 5}, 3, "#_#_#"},
    };
    for (const WaveCase& c : cases)
        EXPECT_EQ(WaveLine(c.durations.data(), static_cast<int>(c.durations.size()), c.width), c.line);
    const std::uint8_t burst[] = {180, 45, 11};
    EXPECT_EQ(ShortestDuration(burst, 3), 11);
}

}  // namespace
}  // namespace orbisk::tool
