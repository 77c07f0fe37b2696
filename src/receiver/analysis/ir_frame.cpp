#include "receiver/analysis/ir_frame.h"

#include <cstdio>

#include "common/text.h"

namespace orbisk {
namespace {

constexpr IrProtocolInfo kProtocols[IrProtocolCount] = {
    {IrProtocol::None, "", "", 1.0, 1, false, 0, 0},
    {IrProtocol::Nec, "nec", "NEC", 562.5, 1, false, 0xFFFF, 108000},
    {IrProtocol::Necx, "necx", "NEC-X", 562.5, 1, false, 0xFFFFFF, 108000},
    {IrProtocol::Nec32, "nec32", "NEC-32", 562.5, 1, false, 0xFFFFFFFF, 108000},
    {IrProtocol::Samsung32, "samsung32", "Samsung32", 562.5, 1, false, 0xFFFF, 108000},
    {IrProtocol::Jvc, "jvc", "JVC", 527.0, 1, false, 0xFFFF, 50000},
    {IrProtocol::Sony12, "sony12", "Sony12", 600.0, 1, false, 0x1F007F, 45000},
    {IrProtocol::Sony15, "sony15", "Sony15", 600.0, 1, false, 0xFF007F, 45000},
    {IrProtocol::Sony20, "sony20", "Sony20", 600.0, 1, false, 0x1FFF7F, 45000},
    // Sharp's marks are 320 us and its bits 1 or 2 ms long: ticks of 40 us.
    {IrProtocol::Sharp, "sharp", "Sharp", 40.0, 8, false, 0x1FFF, 40000},
    {IrProtocol::Rc5, "rc5", "RC-5", 889.0, 1, true, 0x1F7F, 113800},
    {IrProtocol::Rc5x20, "rc5x_20", "RC-5X", 889.0, 1, true, 0x1F7F3F, 113800},
    {IrProtocol::Rc6_0, "rc6_0", "RC-6", 444.0, 1, true, 0xFFFF, 107000},
    {IrProtocol::Rc6_6a20, "rc6_6a_20", "RC-6 6A-20", 444.0, 1, false, 0xFFFFF, 107000},
    {IrProtocol::Rc6_6a24, "rc6_6a_24", "RC-6 6A-24", 444.0, 1, false, 0xFFFFFF, 107000},
    {IrProtocol::Rc6_6a32, "rc6_6a_32", "RC-6 6A-32", 444.0, 1, false, 0xFFFFFFFF, 107000},
    {IrProtocol::Rc6Mce, "rc6_mce", "RC-6 MCE", 444.0, 1, true, 0xFFFF7FFF, 107000},
    // Level readings: no kernel name, no ideal form.
    {IrProtocol::PulseDistance, "", "pulse-distance", 1.0, 1, false, 0, 0},
    {IrProtocol::PulseWidth, "", "pulse-width", 1.0, 1, false, 0, 0},
    {IrProtocol::BiPhase, "", "bi-phase", 1.0, 1, false, 0, 0},
    {IrProtocol::Levels, "", "levels", 1.0, 1, false, 0, 0},
};

constexpr std::uint32_t kMceCustomer = 0x800F0000u;
constexpr std::uint32_t kMceToggle = 0x8000u;

// Appends levels to a frame: equal neighbours merge into one duration, and
// the spaces before the first mark and after the last one are never seen.
class TickWriter {
public:
    explicit TickWriter(IrDurations& out) : out_(out), ticks_(out.ticks.data()) {}

    void Add(bool mark, int ticks) {
        if (count_ == 0 && !mark) return;
        if (count_ > 0 && mark == lastMark_) {
            ticks_[count_ - 1] = static_cast<std::uint8_t>(ticks_[count_ - 1] + ticks);
            return;
        }
        if (count_ == out_.ticks.size()) return;  // no protocol comes near
        ticks_[count_++] = static_cast<std::uint8_t>(ticks);
        lastMark_ = mark;
    }
    void Pair(int mark, int space) {
        Add(true, mark);
        Add(false, space);
    }
    // The count is kept here and stored once: a store through the byte
    // pointer could change any memory, so a count in out would be read
    // again after every tick.
    bool Finish() {
        if (count_ > 0 && !lastMark_) --count_;
        out_.count = static_cast<int>(count_);
        return count_ > 0;
    }

private:
    IrDurations& out_;
    std::uint8_t* ticks_;
    std::size_t count_ = 0;
    bool lastMark_ = false;
};

// Pulse distance, least significant bit first: a mark, then a short or long space.
void PulseDistance(TickWriter& w, std::uint32_t bits, int count, int mark, int zero, int one) {
    for (int i = 0; i < count; ++i) w.Pair(mark, (bits >> i) & 1 ? one : zero);
}

// Bi-phase, most significant bit first, halves of the given length.  RC-5
// writes 1 as space then mark, RC-6 as mark then space.
void BiPhase(TickWriter& w, std::uint32_t bits, int count, int half, bool oneMarkFirst) {
    for (int i = count - 1; i >= 0; --i) {
        const bool markFirst = (((bits >> i) & 1) != 0) == oneMarkFirst;
        w.Add(markFirst, half);
        w.Add(!markFirst, half);
    }
}

std::uint32_t NecBits(const IrFrame& f) {
    const std::uint32_t s = f.scancode;
    switch (f.protocol) {
    case IrProtocol::Nec: {
        const std::uint32_t a = s >> 8 & 0xFF, c = s & 0xFF;
        return a | (a ^ 0xFF) << 8 | c << 16 | (c ^ 0xFF) << 24;
    }
    case IrProtocol::Necx:
        return (s >> 16 & 0xFF) | (s >> 8 & 0xFF) << 8 | (s & 0xFF) << 16 | ((s & 0xFF) ^ 0xFF) << 24;
    case IrProtocol::Samsung32: {
        const std::uint32_t a = s >> 8 & 0xFF, c = s & 0xFF;
        return a | a << 8 | c << 16 | (c ^ 0xFF) << 24;
    }
    default:  // NEC-32: first byte in scancode bits 16-23, second 24-31, third 0-7, fourth 8-15
        return (s >> 16 & 0xFF) | (s >> 24 & 0xFF) << 8 | (s & 0xFF) << 16 | (s >> 8 & 0xFF) << 24;
    }
}

void Rc6Frame(TickWriter& w, std::uint32_t mode, bool trailer, std::uint32_t data, int dataBits) {
    w.Pair(6, 2);
    BiPhase(w, 1u << 3 | mode, 4, 1, true);  // start bit and mode
    BiPhase(w, trailer ? 1u : 0u, 1, 2, true);
    BiPhase(w, data, dataBits, 1, true);
}

bool Encode(const IrFrame& f, IrDurations& out, IrForm form) {
    const bool followUp = form == IrForm::FollowUp;
    const bool trailer = form == IrForm::Rc6Trailer;
    const IrProtocolInfo& info = ProtocolInfo(f.protocol);
    if (f.protocol == IrProtocol::None || (f.scancode & ~info.scancodeMask) != 0) return false;
    const std::uint32_t s = f.scancode;
    TickWriter w(out);
    switch (f.protocol) {
    case IrProtocol::None:
    case IrProtocol::PulseDistance:
    case IrProtocol::PulseWidth:
    case IrProtocol::BiPhase:
    case IrProtocol::Levels:
        return false;
    case IrProtocol::Nec:
    case IrProtocol::Necx:
    case IrProtocol::Nec32:
        if (followUp) {
            w.Pair(16, 4);
            w.Add(true, 1);
            break;
        }
        [[fallthrough]];
    case IrProtocol::Samsung32:
        w.Pair(f.protocol == IrProtocol::Samsung32 ? 8 : 16, 8);
        PulseDistance(w, NecBits(f), 32, 1, 1, 3);
        w.Add(true, 1);
        break;
    case IrProtocol::Jvc:
        if (!followUp) w.Pair(16, 8);
        PulseDistance(w, (s >> 8) | (s & 0xFF) << 8, 16, 1, 1, 3);
        w.Add(true, 1);
        break;
    case IrProtocol::Sony12:
    case IrProtocol::Sony15:
    case IrProtocol::Sony20: {
        // Command (7 bits), then the device, then Sony20's extended byte,
        // each least significant bit first, as pulse widths.
        const std::uint32_t device = s >> 16;
        std::uint32_t bits = (s & 0x7F) | device << 7;
        int count = f.protocol == IrProtocol::Sony15 ? 15 : 12;
        if (f.protocol == IrProtocol::Sony20) {
            bits |= (s >> 8 & 0xFF) << 12;
            count = 20;
        }
        w.Pair(4, 1);
        for (int i = 0; i < count; ++i) w.Pair((bits >> i) & 1 ? 2 : 1, 1);
        break;
    }
    case IrProtocol::Sharp: {
        // 5 address bits, 8 command bits, then the expansion and check bits
        // (1 and 0); the echo inverts all but the address.
        std::uint32_t bits = (s >> 8 & 0x1F) | (s & 0xFF) << 5 | 1u << 13;
        if (followUp) bits ^= 0x7FE0u;
        PulseDistance(w, bits, 15, 8, 17, 42);
        w.Add(true, 8);
        break;
    }
    case IrProtocol::Rc5:
    case IrProtocol::Rc5x20: {
        // Start bit, field bit (command bit 6 inverted), toggle, 5 address bits.
        const bool x = f.protocol == IrProtocol::Rc5x20;
        const std::uint32_t command = x ? s >> 8 & 0x7F : s & 0x7F;
        const std::uint32_t address = x ? s >> 16 & 0x1F : s >> 8 & 0x1F;
        const std::uint32_t head =
            1u << 7 | ((command & 0x40) ? 0u : 1u) << 6 | (f.toggle ? 1u : 0u) << 5 | address;
        BiPhase(w, head, 8, 1, false);
        if (x) {
            w.Add(false, 4);
            BiPhase(w, (command & 0x3F) << 6 | (s & 0x3F), 12, 1, false);
        } else {
            BiPhase(w, command & 0x3F, 6, 1, false);
        }
        break;
    }
    case IrProtocol::Rc6_0:
        Rc6Frame(w, 0, f.toggle, s, 16);
        break;
    case IrProtocol::Rc6_6a20:
        Rc6Frame(w, 6, trailer, s, 20);
        break;
    case IrProtocol::Rc6_6a24:
        Rc6Frame(w, 6, trailer, s, 24);
        break;
    case IrProtocol::Rc6_6a32:
        if ((s & 0xFFFF0000u) == kMceCustomer) return false;  // that is the MCE form
        Rc6Frame(w, 6, trailer, s, 32);
        break;
    case IrProtocol::Rc6Mce:
        if ((s & 0xFFFF0000u) != kMceCustomer) return false;
        Rc6Frame(w, 6, trailer, s | (f.toggle ? kMceToggle : 0u), 32);
        break;
    }
    return w.Finish();
}

}  // namespace

const IrProtocolInfo& ProtocolInfo(IrProtocol protocol) {
    const auto index = static_cast<std::size_t>(protocol);
    return kProtocols[index < static_cast<std::size_t>(IrProtocolCount) ? index : 0];
}

std::optional<IrProtocol> FindIrProtocol(std::string_view name) {
    for (const IrProtocolInfo& info : kProtocols)
        if (info.protocol != IrProtocol::None && EqualsIgnoreCase(info.name, name)) return info.protocol;
    return std::nullopt;
}

bool EncodeIrFrame(const IrFrame& frame, IrDurations& out, IrForm form) {
    out.count = 0;
    const IrProtocol p = frame.protocol;
    const bool rc6a = p == IrProtocol::Rc6_6a20 || p == IrProtocol::Rc6_6a24 || p == IrProtocol::Rc6_6a32 ||
                      p == IrProtocol::Rc6Mce;
    const bool followUp = p == IrProtocol::Nec || p == IrProtocol::Necx || p == IrProtocol::Nec32 ||
                          p == IrProtocol::Jvc || p == IrProtocol::Sharp;
    if ((form == IrForm::FollowUp && !followUp) || (form == IrForm::Rc6Trailer && !rc6a)) return false;
    return Encode(frame, out, form);
}

IrAddressCommand SplitScancode(const IrFrame& f) {
    const std::uint32_t s = f.scancode;
    switch (f.protocol) {
    case IrProtocol::Necx:
        return {s >> 8, s & 0xFF};
    case IrProtocol::Nec32:
        return {s >> 16, s & 0xFFFF};
    case IrProtocol::Sony12:
    case IrProtocol::Sony15:
        return {s >> 16, s & 0x7F};
    case IrProtocol::Sony20:
        return {s >> 8, s & 0x7F};
    case IrProtocol::Rc5x20:
        return {s >> 16, s & 0xFFFF};
    case IrProtocol::Rc6_6a20:
    case IrProtocol::Rc6_6a24:
    case IrProtocol::Rc6_6a32:
    case IrProtocol::Rc6Mce:
        return {s >> 16, s & 0xFFFF};
    default:
        return {s >> 8, s & 0xFF};
    }
}

std::string DescribeIrFrame(const IrFrame& frame) {
    if (frame.protocol == IrProtocol::None) return "not recognised";
    const IrProtocolInfo& info = ProtocolInfo(frame.protocol);
    if (frame.protocol == IrProtocol::Levels) {
        char text[64];
        std::snprintf(text, sizeof text, "levels %u durations, %u mark and %u space lengths",
                      frame.scancode & 0xFF, frame.scancode >> 8 & 0xF, frame.scancode >> 12 & 0xF);
        return text;
    }
    if (IsLevelReading(frame.protocol)) {
        char text[64];
        const int shown = frame.bits < 32 ? frame.bits : 32;
        std::snprintf(text, sizeof text, "%.*s %d bits 0x%0*X%s", static_cast<int>(info.label.size()),
                      info.label.data(), frame.bits, shown > 0 ? (shown + 3) / 4 : 1,
                      static_cast<unsigned>(frame.scancode), frame.bits > 32 ? "..." : "");
        return text;
    }
    const IrAddressCommand split = SplitScancode(frame);
    char toggle[16] = "";
    if (info.hasToggle) std::snprintf(toggle, sizeof toggle, " toggle %d", frame.toggle ? 1 : 0);
    char text[96];
    std::snprintf(text, sizeof text, "%.*s 0x%02X 0x%02X%s (%.*s:0x%04x)", static_cast<int>(info.label.size()),
                  info.label.data(), static_cast<unsigned>(split.address), static_cast<unsigned>(split.command),
                  toggle, static_cast<int>(info.name.size()), info.name.data(),
                  static_cast<unsigned>(frame.scancode));
    return text;
}

}  // namespace orbisk
