#pragma once
// LIRC's remote definitions (lircd.conf: "begin remote" ... "end remote"
// blocks with "begin codes" or "begin raw_codes"), and the frame a button
// sends: its marks and spaces in microseconds, built as LIRC transmits it
// (header, plead, pre_data, pre, the code, post, post_data, ptrail, foot,
// most significant bit first unless REVERSE), with the gap and repeat
// frame that follow.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orbisk {

// The most durations a raw button or a built frame may have.
inline constexpr std::size_t MaxLircDurations = 1024;

// The flags Orbisk builds frames for; the others LIRC knows (RCMM, XMP,
// GOLDSTAR, GRUNDIG, BO, SERIAL) leave the remote skipped.
enum LircFlag : unsigned {
    LircRc5 = 1u << 0,  // and SHIFT_ENC
    LircRc6 = 1u << 1,
    LircSpaceEnc = 1u << 2,
    LircSpaceFirst = 1u << 3,
    LircReverse = 1u << 4,
    LircNoHeadRep = 1u << 5,
    LircNoFootRep = 1u << 6,
    LircConstLength = 1u << 7,
    LircRepeatHeader = 1u << 8,
    LircRawCodes = 1u << 9,
};

struct LircPair {
    std::uint32_t pulse = 0;
    std::uint32_t space = 0;
    bool Present() const { return pulse > 0 && space > 0; }
};

struct LircButton {
    std::string name;
    std::size_t line = 0;
    std::vector<std::uint64_t> codes;       // begin codes: one or more, sent one after the other
    std::vector<std::uint32_t> durations;   // begin raw_codes: microseconds, pulse first
};

struct LircRemote {
    std::string name;
    std::size_t line = 0;  // of its begin remote
    unsigned flags = 0;    // LircFlag
    int bits = 0, preDataBits = 0, postDataBits = 0;
    std::uint64_t preData = 0, postData = 0;
    LircPair header, one, zero, foot, repeat, pre, post;
    std::uint32_t plead = 0, ptrail = 0;
    std::uint32_t gap = 0, repeatGap = 0, frequency = 0;
    // Over the bits sent, pre_data's first at bit preDataBits + bits +
    // postDataBits - 1; an old toggle_bit is turned into its mask.
    std::uint64_t toggleBitMask = 0, rc6Mask = 0;
    std::vector<LircButton> buttons;
};

// A remote (or an include) whose frames cannot be built: decoding devices'
// remotes without timing, flags Orbisk does not build.
struct LircSkipped {
    std::string name;
    std::size_t line = 0;
    std::size_t buttons = 0;
    std::string reason;
};

struct LircFile {
    std::vector<LircRemote> remotes;  // each with timing and buildable flags
    std::vector<LircSkipped> skipped;
};

// The remotes of a lircd.conf's text; false with "path: line N: reason" for
// what LIRC would not read either: an unknown parameter or flag, a value
// that is not a number or out of range, a code wider than its bits, more
// than 64 bits, a zero raw duration or more than MaxLircDurations of them,
// an unclosed block.
bool ParseLircdConf(std::string_view text, const std::string& path, LircFile& out, std::string& error);

// What a press sends.  The gaps are the spaces after the last mark until a
// held key's next frame; repeat is that frame (the repeat code, or the
// frame again without what NO_HEAD_REP and NO_FOOT_REP leave out).
struct LircFrame {
    std::vector<std::uint32_t> durations;
    std::uint32_t gap = 0;
    std::vector<std::uint32_t> repeat;
    std::uint32_t repeatGap = 0;
};

// The frame of code number `index` of a button (raw buttons have one),
// with the toggle bits clear or, for `toggled`, set (a one-bit mask) or
// flipped.  False with the reason for a frame over MaxLircDurations.
bool BuildLircFrame(const LircRemote& remote, const LircButton& button, std::size_t index, bool toggled,
                    LircFrame& out, std::string& reason);

}  // namespace orbisk
