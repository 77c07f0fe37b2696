#pragma once
// A real receiver read as the plug-in reads it, for the commands that listen
// to one (orbisk monitor, orbisk identify).
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace orbisk::tool {

struct PortLine {
    int port = 2;
    int rate = 115200;
    int intervalMs = 100;  // read time-out constant
};

// Opens the port as the plug-in installed with this program does (the same
// device mapping, line settings, read time-outs and purge), says so on
// standard error and hands every burst to onBurst, on a thread of its own,
// until Ctrl-C or, when given, the time limit has passed.  Returns 0, or
// the status of Fail when the port does not open or hangs up.
int ReadPortBursts(std::string_view command, const PortLine& line, std::optional<std::chrono::seconds> limit,
                   const std::function<void(const std::uint8_t*, int)>& onBurst);

}  // namespace orbisk::tool
