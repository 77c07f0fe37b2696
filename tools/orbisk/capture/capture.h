#pragma once
// Timed captures of the receiver's output, and generators of realistic key
// presses from published IR protocol timings.  Used by `orbisk generate`,
// `orbisk simulate`, the samples and the tests.
//
// Capture text format, one burst per line:
//
//   # comment: '#' starts a comment that runs to the end of the line
//   @67 B4 5A 0B 22 0B 0B ... 0B
//   @176 B4 2D 0B
//   @300
//
// '@' and the time in whole milliseconds from the start of the capture at
// which the burst's terminator is due, then the burst's duration bytes as
// hexadecimal (one or two digits, upper or lower case, an optional 0x),
// separated by spaces or tabs.  The terminator itself is not written; a
// line with no bytes is an empty burst (a lone terminator).  Times never
// decrease.  FE is refused: it can only be the terminator.  A burst may
// hold more than 254 bytes; the receiver's reader cuts it as it would cut
// the real thing.  Blank lines and CR LF line ends are allowed.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "receiver/analysis/protocol_table.h"

namespace orbisk::tool {

// One burst as the receiver sends it, without its 0xFE terminator, and the
// time its terminator is due, in milliseconds from the start of the capture.
struct TimedBurst {
    std::uint32_t atMs = 0;
    std::vector<std::uint8_t> durations;

    bool operator==(const TimedBurst&) const = default;
};

// Parses the text format above; on failure returns false with a one-line
// reason that names the line ("line 3: ...").
bool ParseCapture(std::string_view text, std::vector<TimedBurst>& out, std::string& error);
std::string FormatCapture(const std::vector<TimedBurst>& bursts);

// The receiver's bytes for a capture: each burst's durations and 0xFE.
std::vector<std::uint8_t> WireBytes(const std::vector<TimedBurst>& bursts);

// The same bytes as text: one burst a line, two upper-case hex digits a
// byte, the line ending in FE.
std::string FormatWireHex(const std::vector<TimedBurst>& bursts);

// One byte value written in hexadecimal: one or two digits, optionally
// after 0x or 0X ("7", "fe", "0xFE").
bool ParseHexByte(std::string_view token, std::uint8_t& out);

struct KeyPress {
    IrFrame frame{IrProtocol::Nec, 0, false};  // the toggle is the generator's
    std::uint32_t holdMs = 0;   // how long the key is held; 0 sends one frame
    std::uint32_t gapMs = 300;  // pause after the key is let go
};

struct GeneratorOptions {
    double unitMicros = 50.0;    // the receiver's time unit
    double jitterPercent = 0.0;  // random deviation of each duration
    double biasMicros = 0.0;     // the receiver's lengthening of marks and shortening of spaces
    std::uint32_t seed = 1;
};

// The time from the end of a burst's last mark to its terminator: the quiet
// time after which the receiver counts the burst as over.
inline constexpr double ReceiverGapMicros = 10000.0;

// One key press as written on the command line: PROTOCOL:SCANCODE with an
// optional :HOLD_MS, PROTOCOL one of the recogniser's (the kernel keymaps'
// names: nec, necx, nec32, samsung32, jvc, sony12, sony15, sony20, sharp,
// rc5, rc5x_20, rc6_0, rc6_6a_20, rc6_6a_24, rc6_6a_32, rc6_mce; any case)
// and SCANCODE in the kernel's layout, e.g. "rc6_mce:0x800f0410".  The
// older form PROTOCOL:ADDRESS:COMMAND[:HOLD_MS] stays for nec (address and
// command 0-255), rc5 and sirc (Sony SIRC-12; address 0-31, command 0-127).
// Numbers are decimal or 0x hexadecimal; HOLD_MS is 0 to 3600000.
// out.gapMs is left as it is.  On failure returns false with a one-line
// reason naming the key.
bool ParseKeyPress(std::string_view text, KeyPress& out, std::string& error);

// Bursts of a sequence of key presses with their arrival times, from the
// protocols' ideal frames (receiver/analysis/protocol_table.h) with the jitter and bias of
// the options; every duration is rounded to whole units and kept within
// 1..0xFD.  The first press starts at time 0.  A key held for holdMs sends
// the frames that start before holdMs has passed, one every protocol period
// (NEC: a repeat frame every 108 ms; JVC: its frame without header; Sony: at
// least three frames, every 45 ms; RC-5 and RC-6: the whole frame, the
// toggle bit flipping with every press of a toggling protocol; Sharp: each
// frame followed 40 ms later by its echo); the next press starts gapMs after
// the last frame ends.
std::vector<TimedBurst> GenerateKeyPresses(const std::vector<KeyPress>& presses,
                                           const GeneratorOptions& options);

}  // namespace orbisk::tool
