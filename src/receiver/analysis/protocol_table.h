#pragma once
// The protocol table: the infra-red protocols the recogniser knows, each
// with its permanent number, names and layout (one row each, the timings
// and the reading and writing in its file under protocols/), their frames
// as the Linux kernel's remote-control core writes them (protocol, 32-bit
// scancode, toggle bit), and the ideal form of each frame: its marks and
// spaces in whole ticks of the protocol's timing.  The ideal form gives a
// recognised key its one code, and the generators of test signals play it.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orbisk {

// Each protocol's number is permanent: it is mixed into the stable code of
// its every frame (see IrProtocolInfo::codeNumber), which settings files
// hold, and the published state carries it.  A new protocol takes the next
// free number; none is ever reused or moved.
enum class IrProtocol : std::uint8_t {
    None = 0,
    Nec = 1,
    Necx = 2,
    Nec32 = 3,
    Samsung32 = 4,
    Jvc = 5,
    Sony12 = 6,
    Sony15 = 7,
    Sony20 = 8,
    Sharp = 9,
    Rc5 = 10,
    Rc5x20 = 11,
    Rc6_0 = 12,
    Rc6_6a20 = 13,
    Rc6_6a24 = 14,
    Rc6_6a32 = 15,
    Rc6Mce = 16,
    Denon = 17,
    Panasonic = 18,
    DenonK = 19,
    Jvc48 = 20,
    SharpK = 21,
    Samsung36 = 22,
    Sanyo = 23,
    Nec48 = 24,
    Nec16 = 25,
    GiCable = 26,
    Rca = 27,
    Rcmm12 = 28,
    Rcmm24 = 29,
    Rcmm32 = 30,
    XmpHalf = 31,
    Xiaomi = 32,
    // Frames of no known protocol read as levels (see level_reading.h): a
    // mark and two spaces, two marks and a space, bi-phase halves, or any
    // few lengths.  Their scancode is the first 32 bits read, bits the count.
    PulseDistance = 33,
    PulseWidth = 34,
    BiPhase = 35,
    Levels = 36,
};
inline constexpr int IrProtocolCount = 37;  // one more than the highest number

constexpr bool IsLevelReading(IrProtocol p) {
    return p == IrProtocol::PulseDistance || p == IrProtocol::PulseWidth || p == IrProtocol::BiPhase ||
           p == IrProtocol::Levels;
}

struct IrFrame {
    IrProtocol protocol = IrProtocol::None;
    std::uint32_t scancode = 0;
    bool toggle = false;
    std::uint8_t bits = 0;  // level readings: the bits read (0 for the known protocols)

    bool operator==(const IrFrame&) const = default;
};

struct IrProtocolFamily;  // protocols/protocol_kit.h

struct IrProtocolInfo {
    IrProtocol protocol;
    // Permanent: mixed into the stable code of every frame of the protocol,
    // which settings files hold.  Never changed or reused.
    std::uint8_t codeNumber;
    std::string_view name;   // the kernel keymaps' variant name: "nec", "rc6_mce"
    std::string_view label;  // for people: "NEC", "RC-6 MCE"
    double tickMicros;       // the length of one tick of the durations below
    int unitTicks;           // the protocol's time unit (a short mark) in ticks
    bool hasToggle;
    std::uint32_t scancodeMask;  // the scancode bits the protocol carries
    std::uint32_t periodMicros;  // from the start of a frame to the next while a key is held
    // Whether its frames have an older code (OlderCode): the
    // protocols known before stable codes, whose keys were learned by shape.
    bool hasOlderCode;
    // Whether its scancodes are laid out as the Linux kernel's keymaps of
    // the same name lay them out, so that such a keymap can be imported.
    bool kernelLayout;
    // Address and command as remotes' documentation writes them (SplitScancode).
    std::uint8_t addressShift;
    std::uint32_t commandMask;
    // A held key: the fewest frames a press sends (Sony's three), and the
    // time from a frame's end to its echo (Sharp's and Denon's), 0 for none.
    std::uint8_t leastFrames;
    std::uint32_t echoMicros;
    // What writes and reads its frames; nullptr for the level readings.
    const IrProtocolFamily* family;
};

const IrProtocolInfo& ProtocolInfo(IrProtocol protocol);
// By the name above, without regard to case, dashes and underscores (the
// kernel's "rc-6-mce" is "rc6_mce"); nullopt for None and unknown names.
std::optional<IrProtocol> FindIrProtocol(std::string_view name);

// Marks and spaces in ticks, starting and ending with a mark: what a
// receiver sees between the first and the last flash.
inline constexpr int MaxIrDurations = 100;
struct IrDurations {
    std::array<std::uint8_t, MaxIrDurations> ticks{};
    int count = 0;
};

// Which form of a frame to write.  FollowUp: what a held key sends after
// its first frame where that differs from the frame itself (NEC's repeat
// frame, JVC's frame without its header, Sharp's and Denon's echo with the
// command inverted).  Rc6Trailer: an RC-6 mode 6A frame with its trailer bit set,
// which the scancode does not carry.
enum class IrForm { Frame, FollowUp, Rc6Trailer };

// Whether the frame has an ideal form: a protocol with one and a scancode
// it can carry (see below).
bool CanEncodeIrFrame(const IrFrame& frame);

// The frame's durations; false for a scancode the protocol cannot carry
// (bits outside its mask, or an RC-6 MCE scancode without the 0x800f
// customer code) and for a form the protocol does not have.
bool EncodeIrFrame(const IrFrame& frame, IrDurations& out, IrForm form = IrForm::Frame);

// What a receiver counting in unitMicros reports for a duration of micros
// at a position of a burst (marks at the even ones): marks biasMicros
// longer and spaces as much shorter, rounded to whole units and kept within
// 1..0xFD.
inline std::uint8_t ReceiverUnits(double micros, int position, double unitMicros, double biasMicros) {
    const double units = (micros + (position % 2 == 0 ? biasMicros : -biasMicros)) / unitMicros + 0.5;
    return static_cast<std::uint8_t>(units < 1 ? 1 : units >= 0xFD ? 0xFD : static_cast<int>(units));
}

// What a receiver counting in unitMicros reports for the durations: each
// one tickMicros a tick, scaled by 1 + deviation() (deviation() gives, say,
// 0.03 for 3 % longer), marks biasMicros longer and spaces as much shorter,
// rounded to whole units and kept within 1..0xFD.  Writes frame.count bytes.
template <typename Deviation>
void RenderIrDurations(const IrDurations& frame, double tickMicros, double unitMicros, double biasMicros,
                       Deviation&& deviation, std::uint8_t* out) {
    for (int i = 0; i < frame.count; ++i)
        out[i] = ReceiverUnits(frame.ticks[static_cast<std::size_t>(i)] * tickMicros * (1.0 + deviation()), i,
                               unitMicros, biasMicros);
}

// Address and command as remotes' documentation writes them, taken from the
// scancode (NEC's 16-bit address for necx, Sony's device, RC-6's address
// byte, ...).
struct IrAddressCommand {
    std::uint32_t address = 0;
    std::uint32_t command = 0;
};
IrAddressCommand SplitScancode(const IrFrame& frame);

// The frame for people: protocol, address, command, the toggle bit where
// the protocol has one, and the kernel's protocol and scancode, e.g.
// "NEC 0x04 0x08 (nec:0x0408)" or "RC-5 0x05 0x35 toggle 1 (rc5:0x0535)";
// "not recognised" for protocol None; a level reading as its kind, bits and
// the first 32 of them, "pulse-distance 32 bits 0x00FF40BF".
std::string DescribeIrFrame(const IrFrame& frame);

}  // namespace orbisk
