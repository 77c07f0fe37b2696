// Arbitrary text through the lircd.conf reader and the frame builder: a
// file is read or refused with its line and reason, and every button of a
// remote it reads builds a frame within the limits or says why not.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "remotes/lircd_conf.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orbisk;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    LircFile file;
    std::string error;
    if (!ParseLircdConf(text, "lircd.conf", file, error)) {
        Check(error.rfind("lircd.conf: line ", 0) == 0 && file.remotes.empty());
        return 0;
    }
    for (const LircRemote& remote : file.remotes) {
        Check(!remote.name.empty());
        for (const LircButton& button : remote.buttons) {
            const std::size_t codes = button.durations.empty() ? button.codes.size() : 1;
            for (std::size_t i = 0; i < codes; ++i) {
                for (const bool toggled : {false, true}) {
                    LircFrame frame;
                    std::string reason;
                    if (BuildLircFrame(remote, button, i, toggled, frame, reason)) {
                        Check(!frame.durations.empty() && frame.durations.size() <= MaxLircDurations &&
                              frame.durations.size() % 2 == 1 && frame.repeat.size() <= MaxLircDurations);
                        for (const std::uint32_t d : frame.durations) Check(d > 0);
                    } else {
                        Check(!reason.empty());
                    }
                }
            }
        }
    }
    return 0;
}
