#pragma once
// Timed captures of the receiver's output, and generators of realistic key
// presses from published IR protocol timings.  Used by `orbisk generate`,
// `orbisk simulate`, the samples and the tests.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orbisk::tool {

// One burst as the receiver sends it, without its 0xFE terminator, and the
// time its terminator is due, in milliseconds from the start of the capture.
struct TimedBurst {
    std::uint32_t atMs = 0;
    std::vector<std::uint8_t> durations;
};

// Parses the text format written by FormatCapture; on failure returns false
// with a one-line reason that names the line.
bool ParseCapture(std::string_view text, std::vector<TimedBurst>& out, std::string& error);
std::string FormatCapture(const std::vector<TimedBurst>& bursts);

// The receiver's bytes for a capture: each burst's durations and 0xFE.
std::vector<std::uint8_t> WireBytes(const std::vector<TimedBurst>& bursts);

enum class IrProtocol { Nec, Rc5, Sirc12 };

struct KeyPress {
    IrProtocol protocol = IrProtocol::Nec;
    std::uint32_t address = 0;
    std::uint32_t command = 0;
    std::uint32_t holdMs = 0;   // how long the key is held; 0 sends one frame
    std::uint32_t gapMs = 300;  // pause after the key is let go
};

struct GeneratorOptions {
    double unitMicros = 50.0;   // the receiver's time unit
    double jitterPercent = 0.0; // random deviation of each duration
    std::uint32_t seed = 1;
};

// Bursts of a sequence of key presses with their arrival times; every
// duration is kept within 1..0xFD.  RC-5 flips its toggle bit per press.
std::vector<TimedBurst> GenerateKeyPresses(const std::vector<KeyPress>& presses,
                                           const GeneratorOptions& options);

}  // namespace orbisk::tool
