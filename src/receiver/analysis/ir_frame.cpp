#include "receiver/analysis/ir_frame.h"

#include <cstdio>

#include "common/text.h"

namespace orbisk {
namespace {

// One row per protocol, at the index of its IrProtocol value (checked
// below).  Columns: protocol, permanent code number, kernel name, label,
// tick, unit, toggle, scancode mask, period, older code, kernel layout.
constexpr IrProtocolInfo kProtocols[IrProtocolCount] = {
    {IrProtocol::None, 0, "", "", 1.0, 1, false, 0, 0, false, false},
    {IrProtocol::Nec, 1, "nec", "NEC", 562.5, 1, false, 0xFFFF, 108000, true, true},
    {IrProtocol::Necx, 2, "necx", "NEC-X", 562.5, 1, false, 0xFFFFFF, 108000, true, true},
    {IrProtocol::Nec32, 3, "nec32", "NEC-32", 562.5, 1, false, 0xFFFFFFFF, 108000, true, true},
    {IrProtocol::Samsung32, 4, "samsung32", "Samsung32", 562.5, 1, false, 0xFFFF, 108000, true, true},
    {IrProtocol::Jvc, 5, "jvc", "JVC", 527.0, 1, false, 0xFFFF, 50000, true, true},
    {IrProtocol::Sony12, 6, "sony12", "Sony12", 600.0, 1, false, 0x1F007F, 45000, true, true},
    {IrProtocol::Sony15, 7, "sony15", "Sony15", 600.0, 1, false, 0xFF007F, 45000, true, true},
    {IrProtocol::Sony20, 8, "sony20", "Sony20", 600.0, 1, false, 0x1FFF7F, 45000, true, true},
    // Sharp's marks are 320 us and its bits 1 or 2 ms long: ticks of 40 us.
    {IrProtocol::Sharp, 9, "sharp", "Sharp", 40.0, 8, false, 0x1FFF, 40000, true, true},
    {IrProtocol::Rc5, 10, "rc5", "RC-5", 889.0, 1, true, 0x1F7F, 113800, true, true},
    {IrProtocol::Rc5x20, 11, "rc5x_20", "RC-5X", 889.0, 1, true, 0x1F7F3F, 113800, true, true},
    {IrProtocol::Rc6_0, 12, "rc6_0", "RC-6", 444.0, 1, true, 0xFFFF, 107000, true, true},
    {IrProtocol::Rc6_6a20, 13, "rc6_6a_20", "RC-6 6A-20", 444.0, 1, false, 0xFFFFF, 107000, true, true},
    {IrProtocol::Rc6_6a24, 14, "rc6_6a_24", "RC-6 6A-24", 444.0, 1, false, 0xFFFFFF, 107000, true, true},
    {IrProtocol::Rc6_6a32, 15, "rc6_6a_32", "RC-6 6A-32", 444.0, 1, false, 0xFFFFFFFF, 107000, true, true},
    {IrProtocol::Rc6Mce, 16, "rc6_mce", "RC-6 MCE", 444.0, 1, true, 0xFFFF7FFF, 107000, true, true},
    {IrProtocol::Denon, 17, "denon", "Denon", 40.0, 8, false, 0x1FFF, 40000, false, false},
    // Kaseikyo, 48 bits with the vendor's code: one protocol per vendor.
    {IrProtocol::Panasonic, 18, "panasonic", "Panasonic", 432.0, 1, false, 0xFFFFF, 130000, false, false},
    {IrProtocol::DenonK, 19, "denon_k", "Denon-K", 432.0, 1, false, 0xFFFFF, 130000, false, false},
    {IrProtocol::Jvc48, 20, "jvc48", "JVC-48", 432.0, 1, false, 0xFFFFF, 130000, false, false},
    {IrProtocol::SharpK, 21, "sharp_k", "Sharp-K", 432.0, 1, false, 0xFFFFFF, 130000, false, false},
    {IrProtocol::Samsung36, 22, "samsung36", "Samsung36", 500.0, 1, false, 0xFFFF0FFF, 120000, false, false},
    {IrProtocol::Sanyo, 23, "sanyo", "NEC42", 562.5, 1, false, 0x1FFFFF, 108000, false, true},
    {IrProtocol::Nec48, 24, "nec48", "NEC-48", 562.5, 1, false, 0xFFFFFFFF, 140000, false, false},
    {IrProtocol::Nec16, 25, "nec16", "NEC-16", 500.0, 1, false, 0xFFFF, 108000, false, false},
    // GI Cable's marks are half a unit of 490 us: ticks of 245 us.  Its
    // shortest space is 4.5 units, so the fit needs a unit of 3 ticks to
    // take in one short space.
    {IrProtocol::GiCable, 26, "gicable", "GI Cable", 245.0, 3, false, 0xFFF, 120000, false, false},
    {IrProtocol::Rca, 27, "rca", "RCA", 500.0, 1, false, 0xFFF, 70000, false, false},
    // RC-MM's unit is 1/6 ms: ticks of a sixth of that.
    {IrProtocol::Rcmm12, 28, "rcmm12", "RC-MM-12", 1000.0 / 36, 6, false, 0xFFF, 30000, false, true},
    {IrProtocol::Rcmm24, 29, "rcmm24", "RC-MM-24", 1000.0 / 36, 6, false, 0xFFFFFF, 30000, false, true},
    {IrProtocol::Rcmm32, 30, "rcmm32", "RC-MM-32", 1000.0 / 36, 6, false, 0xFFFFFFFF, 30000, false, true},
    // One half of an XMP frame: the halves are 13.8 ms apart, more than a
    // receiver's quiet time.  Marks of 210 us, nibbles as spaces of 760 us
    // and 136 us a step: ticks of 34 us.  Its unit for the fit is the
    // shortest space, which a frame need not have: 22 ticks takes in the
    // marks and every space.
    {IrProtocol::XmpHalf, 31, "xmp_half", "XMP half", 34.0, 22, false, 0xFFFFFFF, 80000, false, false},
    // Xiaomi's boxes and televisions: marks of 600 us and spaces 300 us a
    // step, in ticks of half a step.
    {IrProtocol::Xiaomi, 32, "xiaomi", "Xiaomi", 149.0, 4, false, 0xFFFFF, 30000, false, false},
    // Level readings: no kernel name, no ideal form.
    {IrProtocol::PulseDistance, 33, "", "pulse-distance", 1.0, 1, false, 0, 0, false, false},
    {IrProtocol::PulseWidth, 34, "", "pulse-width", 1.0, 1, false, 0, 0, false, false},
    {IrProtocol::BiPhase, 35, "", "bi-phase", 1.0, 1, false, 0, 0, false, false},
    {IrProtocol::Levels, 36, "", "levels", 1.0, 1, false, 0, 0, false, false},
};

constexpr bool RowsInOrderWithDistinctCodeNumbers() {
    for (int i = 0; i < IrProtocolCount; ++i) {
        if (static_cast<int>(kProtocols[i].protocol) != i) return false;
        for (int j = 0; j < i; ++j)
            if (kProtocols[j].codeNumber == kProtocols[i].codeNumber) return false;
    }
    return true;
}
static_assert(RowsInOrderWithDistinctCodeNumbers(), "kProtocols: one row per protocol in order, numbers distinct");

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
    // count marks of mark ticks, each followed by space(i): after a space,
    // or at the start, nothing merges, and they are written straight.
    template <typename SpaceOf>
    void Pairs(int count, int mark, SpaceOf&& space) {
        if ((count_ > 0 && lastMark_) || count_ + 2 * static_cast<std::size_t>(count) > out_.ticks.size()) {
            for (int i = 0; i < count; ++i) Pair(mark, space(i));
            return;
        }
        // Indexed from a local, as count_ too would be read again after every tick (see Finish).
        std::uint8_t* at = ticks_ + count_;
        for (int i = 0; i < count; ++i) {
            at[2 * i] = static_cast<std::uint8_t>(mark);
            at[2 * i + 1] = static_cast<std::uint8_t>(space(i));
        }
        count_ += 2 * static_cast<std::size_t>(count);
        if (count > 0) lastMark_ = false;
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
    w.Pairs(count, mark, [&](int i) { return (bits >> i) & 1 ? one : zero; });
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

// Pulse distance, most significant bit first.
void PulseDistanceMsb(TickWriter& w, std::uint32_t bits, int count, int mark, int zero, int one) {
    for (int i = count - 1; i >= 0; --i) w.Pair(mark, (bits >> i) & 1 ? one : zero);
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

// A Kaseikyo frame's 48 bits, least significant first: the vendor's
// code, its parity nibble, then the scancode's 20 bits (device nibble,
// subdevice, command) and a check byte, the exclusive or of the three
// bytes before it; Sharp-K carries 4 more bits in the last byte's low
// nibble and checks the exclusive or of the nibbles in its high one.
struct KaseikyoBytes {
    std::uint32_t low = 0;   // bits 0-31
    std::uint32_t high = 0;  // bits 32-47
};

std::uint32_t KaseikyoVendor(IrProtocol p) {
    switch (p) {
    case IrProtocol::Panasonic: return 0x2002;
    case IrProtocol::DenonK: return 0x3254;
    case IrProtocol::Jvc48: return 0x0103;
    default: return 0x5AAA;  // Sharp-K
    }
}

KaseikyoBytes KaseikyoFrame(const IrFrame& f) {
    const std::uint32_t vendor = KaseikyoVendor(f.protocol), s = f.scancode;
    const std::uint32_t parity = (vendor ^ vendor >> 4 ^ vendor >> 8 ^ vendor >> 12) & 0xF;
    const std::uint32_t b2 = parity | (s >> 16 & 0xF) << 4, b3 = s >> 8 & 0xFF, b4 = s & 0xFF;
    std::uint32_t b5 = b2 ^ b3 ^ b4;
    if (f.protocol == IrProtocol::SharpK) {
        const std::uint32_t extra = s >> 20 & 0xF;
        const std::uint32_t x = (b2 >> 4) ^ b3 ^ (b3 >> 4) ^ b4 ^ (b4 >> 4) ^ extra;
        b5 = extra | (x & 0xF) << 4;
    }
    return {vendor | b2 << 16 | b3 << 24, b4 | b5 << 8};
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
    if (!CanEncodeIrFrame(f)) return false;
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
    case IrProtocol::Sharp:
    case IrProtocol::Denon: {
        // 5 address bits, 8 command bits, then the expansion and check bits
        // (Sharp 1 and 0, Denon 0 and 0); the echo inverts all but the address.
        std::uint32_t bits = (s >> 8 & 0x1F) | (s & 0xFF) << 5 | (f.protocol == IrProtocol::Sharp ? 1u << 13 : 0u);
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
        Rc6Frame(w, 6, trailer, s, 32);
        break;
    case IrProtocol::Rc6Mce:
        Rc6Frame(w, 6, trailer, s | (f.toggle ? kMceToggle : 0u), 32);
        break;
    case IrProtocol::Panasonic:
    case IrProtocol::DenonK:
    case IrProtocol::Jvc48:
    case IrProtocol::SharpK: {
        const KaseikyoBytes k = KaseikyoFrame(f);
        w.Pair(8, 4);
        PulseDistance(w, k.low, 32, 1, 1, 3);
        PulseDistance(w, k.high, 16, 1, 1, 3);
        w.Add(true, 1);
        break;
    }
    case IrProtocol::Samsung36:
        // Device and subdevice, a separator, then 4 bits, the command and its inverse.
        w.Pair(9, 9);
        PulseDistance(w, s >> 16 & 0xFF, 8, 1, 1, 3);
        PulseDistance(w, s >> 24, 8, 1, 1, 3);
        w.Pair(1, 9);
        PulseDistance(w, (s >> 8 & 0xF) | (s & 0xFF) << 4 | ((s & 0xFF) ^ 0xFF) << 12, 20, 1, 1, 3);
        w.Add(true, 1);
        break;
    case IrProtocol::Sanyo: {
        // 13 address bits, their inverse, the command and its inverse.
        const std::uint32_t a = s >> 8, c = s & 0xFF;
        w.Pair(16, 8);
        PulseDistance(w, a | (a ^ 0x1FFF) << 13, 26, 1, 1, 3);
        PulseDistance(w, c | (c ^ 0xFF) << 8, 16, 1, 1, 3);
        w.Add(true, 1);
        break;
    }
    case IrProtocol::Nec48:
        // Two bytes, then two commands, each followed by its inverse.
        w.Pair(16, 8);
        PulseDistance(w, (s >> 24) | (s >> 16 & 0xFF) << 8 | (s >> 8 & 0xFF) << 16 | ((s >> 8 & 0xFF) ^ 0xFF) << 24, 32,
                      1, 1, 3);
        PulseDistance(w, (s & 0xFF) | ((s & 0xFF) ^ 0xFF) << 8, 16, 1, 1, 3);
        w.Add(true, 1);
        break;
    case IrProtocol::Nec16:
        // Two halves of 8 bits with an 8-unit space between them.
        w.Pair(16, 8);
        PulseDistance(w, s & 0xFF, 8, 1, 1, 3);
        w.Pair(1, 8);
        PulseDistance(w, s >> 8, 8, 1, 1, 3);
        w.Add(true, 1);
        break;
    case IrProtocol::GiCable: {
        // The command, 4 more bits, and a check nibble that makes the
        // nibbles sum to 0.
        const std::uint32_t sum = (s & 0xF) + (s >> 4 & 0xF) + (s >> 8 & 0xF);
        w.Pair(36, 18);
        PulseDistance(w, s | ((16 - sum % 16) & 0xF) << 12, 16, 2, 9, 18);
        w.Add(true, 2);
        break;
    }
    case IrProtocol::Rca:
        // 4 address bits and 8 command bits, then both inverted.
        w.Pair(8, 8);
        PulseDistanceMsb(w, s << 12 | (s ^ 0xFFF), 24, 1, 2, 4);
        w.Add(true, 1);
        break;
    case IrProtocol::Rcmm12:
    case IrProtocol::Rcmm24:
    case IrProtocol::Rcmm32: {
        // Two bits a symbol, most significant first: a mark and one of four spaces.
        const int bits = f.protocol == IrProtocol::Rcmm12 ? 12 : f.protocol == IrProtocol::Rcmm24 ? 24 : 32;
        w.Pair(15, 10);
        for (int i = bits - 2; i >= 0; i -= 2) w.Pair(6, 10 + 6 * static_cast<int>(s >> i & 3));
        w.Add(true, 6);
        break;
    }
    case IrProtocol::Xiaomi:
        // Twenty bits, two a symbol, most significant first: a mark and one of four spaces.
        w.Pair(7, 4);
        for (int i = 18; i >= 0; i -= 2) w.Pair(4, 4 + 2 * static_cast<int>(s >> i & 3));
        w.Add(true, 4);
        break;
    case IrProtocol::XmpHalf: {
        // Eight nibbles, the first first; the second makes them sum to 0 (mod 16).
        std::uint32_t sum = 0;
        for (int i = 0; i < 7; ++i) sum += s >> (4 * i) & 0xF;
        const std::uint32_t nibbles = (s & 0xF000000u) << 4 | ((16 - sum % 16) & 0xF) << 24 | (s & 0xFFFFFF);
        for (int i = 7; i >= 0; --i) w.Pair(6, 22 + 4 * static_cast<int>(nibbles >> (4 * i) & 0xF));
        w.Add(true, 6);
        break;
    }
    }
    return w.Finish();
}

}  // namespace

const IrProtocolInfo& ProtocolInfo(IrProtocol protocol) {
    const auto index = static_cast<std::size_t>(protocol);
    return kProtocols[index < static_cast<std::size_t>(IrProtocolCount) ? index : 0];
}

namespace {

// Without dashes and underscores: "rc-6-mce" and "rc6_mce" are one name.
std::string Squeezed(std::string_view name) {
    std::string out;
    for (const char c : name)
        if (c != '-' && c != '_') out += c;
    return out;
}

}  // namespace

std::optional<IrProtocol> FindIrProtocol(std::string_view name) {
    const std::string wanted = Squeezed(name);
    for (const IrProtocolInfo& info : kProtocols)
        if (info.protocol != IrProtocol::None && EqualsIgnoreCase(Squeezed(info.name), wanted)) return info.protocol;
    return std::nullopt;
}

bool CanEncodeIrFrame(const IrFrame& frame) {
    const IrProtocol p = frame.protocol;
    if (p == IrProtocol::None || IsLevelReading(p) || (frame.scancode & ~ProtocolInfo(p).scancodeMask) != 0)
        return false;
    // An RC-6 6A-32 frame with the MCE customer code is the MCE form.
    const bool mce = (frame.scancode & 0xFFFF0000u) == kMceCustomer;
    return p == IrProtocol::Rc6_6a32 ? !mce : p == IrProtocol::Rc6Mce ? mce : true;
}

bool EncodeIrFrame(const IrFrame& frame, IrDurations& out, IrForm form) {
    out.count = 0;
    const IrProtocol p = frame.protocol;
    const bool rc6a = p == IrProtocol::Rc6_6a20 || p == IrProtocol::Rc6_6a24 || p == IrProtocol::Rc6_6a32 ||
                      p == IrProtocol::Rc6Mce;
    const bool followUp = p == IrProtocol::Nec || p == IrProtocol::Necx || p == IrProtocol::Nec32 ||
                          p == IrProtocol::Jvc || p == IrProtocol::Sharp || p == IrProtocol::Denon;
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
    case IrProtocol::Samsung36:
    case IrProtocol::Nec48:
    case IrProtocol::Rcmm32:
    case IrProtocol::XmpHalf:
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
