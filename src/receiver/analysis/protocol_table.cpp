#include "receiver/analysis/protocol_table.h"

#include <cstdio>

#include "common/text.h"
#include "receiver/analysis/protocols/protocol_kit.h"

namespace orbisk {

// Each protocol file's family (protocols/).
extern const IrProtocolFamily kNecFamily, kNecLongFamily, kJvcFamily, kSonyFamily, kSharpFamily, kRc5Family,
    kRc6Family, kKaseikyoFamily, kSamsung36Family, kGiCableFamily, kRcaFamily, kRcmmFamily, kXiaomiFamily,
    kXmpFamily;

namespace {

// The protocol table: one row per protocol, at the index of its IrProtocol
// value (checked below).  Columns as IrProtocolInfo has them: protocol,
// permanent code number, kernel name, label, tick, unit, toggle, scancode
// mask, period, older code, kernel layout, address shift, command mask,
// least frames, echo, and the family that writes and reads its frames.
// The timings behind the ticks are in the family's file.  A new protocol:
// its file under protocols/, the next free number in IrProtocol, its row
// here, and its family's place in kReadingOrder below.
constexpr IrProtocolInfo kProtocols[IrProtocolCount] = {
    {IrProtocol::None, 0, "", "", 1.0, 1, false, 0, 0, false, false, 8, 0xFF, 1, 0, nullptr},
    {IrProtocol::Nec, 1, "nec", "NEC", 562.5, 1, false, 0xFFFF, 108000, true, true, 8, 0xFF, 1, 0, &kNecFamily},
    {IrProtocol::Necx, 2, "necx", "NEC-X", 562.5, 1, false, 0xFFFFFF, 108000, true, true, 8, 0xFF, 1, 0, &kNecFamily},
    {IrProtocol::Nec32, 3, "nec32", "NEC-32", 562.5, 1, false, 0xFFFFFFFF, 108000, true, true, 16, 0xFFFF, 1, 0, &kNecFamily},
    {IrProtocol::Samsung32, 4, "samsung32", "Samsung32", 562.5, 1, false, 0xFFFF, 108000, true, true, 8, 0xFF, 1, 0, &kNecFamily},
    {IrProtocol::Jvc, 5, "jvc", "JVC", 527.0, 1, false, 0xFFFF, 50000, true, true, 8, 0xFF, 1, 0, &kJvcFamily},
    {IrProtocol::Sony12, 6, "sony12", "Sony12", 600.0, 1, false, 0x1F007F, 45000, true, true, 16, 0x7F, 3, 0, &kSonyFamily},
    {IrProtocol::Sony15, 7, "sony15", "Sony15", 600.0, 1, false, 0xFF007F, 45000, true, true, 16, 0x7F, 3, 0, &kSonyFamily},
    {IrProtocol::Sony20, 8, "sony20", "Sony20", 600.0, 1, false, 0x1FFF7F, 45000, true, true, 8, 0x7F, 3, 0, &kSonyFamily},
    {IrProtocol::Sharp, 9, "sharp", "Sharp", 40.0, 8, false, 0x1FFF, 40000, true, true, 8, 0xFF, 1, 40000, &kSharpFamily},
    {IrProtocol::Rc5, 10, "rc5", "RC-5", 889.0, 1, true, 0x1F7F, 113800, true, true, 8, 0xFF, 1, 0, &kRc5Family},
    {IrProtocol::Rc5x20, 11, "rc5x_20", "RC-5X", 889.0, 1, true, 0x1F7F3F, 113800, true, true, 16, 0xFFFF, 1, 0, &kRc5Family},
    {IrProtocol::Rc6_0, 12, "rc6_0", "RC-6", 444.0, 1, true, 0xFFFF, 107000, true, true, 8, 0xFF, 1, 0, &kRc6Family},
    {IrProtocol::Rc6_6a20, 13, "rc6_6a_20", "RC-6 6A-20", 444.0, 1, false, 0xFFFFF, 107000, true, true, 16, 0xFFFF, 1, 0, &kRc6Family},
    {IrProtocol::Rc6_6a24, 14, "rc6_6a_24", "RC-6 6A-24", 444.0, 1, false, 0xFFFFFF, 107000, true, true, 16, 0xFFFF, 1, 0, &kRc6Family},
    {IrProtocol::Rc6_6a32, 15, "rc6_6a_32", "RC-6 6A-32", 444.0, 1, false, 0xFFFFFFFF, 107000, true, true, 16, 0xFFFF, 1, 0, &kRc6Family},
    {IrProtocol::Rc6Mce, 16, "rc6_mce", "RC-6 MCE", 444.0, 1, true, 0xFFFF7FFF, 107000, true, true, 16, 0xFFFF, 1, 0, &kRc6Family},
    {IrProtocol::Denon, 17, "denon", "Denon", 40.0, 8, false, 0x1FFF, 40000, false, false, 8, 0xFF, 1, 40000, &kSharpFamily},
    // Kaseikyo, 48 bits with the vendor's code: one protocol per vendor.
    {IrProtocol::Panasonic, 18, "panasonic", "Panasonic", 432.0, 1, false, 0xFFFFF, 130000, false, false, 8, 0xFF, 1, 0, &kKaseikyoFamily},
    {IrProtocol::DenonK, 19, "denon_k", "Denon-K", 432.0, 1, false, 0xFFFFF, 130000, false, false, 8, 0xFF, 1, 0, &kKaseikyoFamily},
    {IrProtocol::Jvc48, 20, "jvc48", "JVC-48", 432.0, 1, false, 0xFFFFF, 130000, false, false, 8, 0xFF, 1, 0, &kKaseikyoFamily},
    {IrProtocol::SharpK, 21, "sharp_k", "Sharp-K", 432.0, 1, false, 0xFFFFFF, 130000, false, false, 8, 0xFF, 1, 0, &kKaseikyoFamily},
    {IrProtocol::Samsung36, 22, "samsung36", "Samsung36", 500.0, 1, false, 0xFFFF0FFF, 120000, false, false, 16, 0xFFFF, 1, 0, &kSamsung36Family},
    {IrProtocol::Sanyo, 23, "sanyo", "NEC42", 562.5, 1, false, 0x1FFFFF, 108000, false, true, 8, 0xFF, 1, 0, &kNecLongFamily},
    {IrProtocol::Nec48, 24, "nec48", "NEC-48", 562.5, 1, false, 0xFFFFFFFF, 140000, false, false, 16, 0xFFFF, 1, 0, &kNecLongFamily},
    {IrProtocol::Nec16, 25, "nec16", "NEC-16", 500.0, 1, false, 0xFFFF, 108000, false, false, 8, 0xFF, 1, 0, &kNecLongFamily},
    // GI Cable's shortest space is 4.5 units of 490 us, so the fit needs a
    // unit of 3 ticks to take in one short space.
    {IrProtocol::GiCable, 26, "gicable", "GI Cable", 245.0, 3, false, 0xFFF, 120000, false, false, 8, 0xFF, 1, 0, &kGiCableFamily},
    {IrProtocol::Rca, 27, "rca", "RCA", 500.0, 1, false, 0xFFF, 70000, false, false, 8, 0xFF, 1, 0, &kRcaFamily},
    {IrProtocol::Rcmm12, 28, "rcmm12", "RC-MM-12", 1000.0 / 36, 6, false, 0xFFF, 30000, false, true, 8, 0xFF, 1, 0, &kRcmmFamily},
    {IrProtocol::Rcmm24, 29, "rcmm24", "RC-MM-24", 1000.0 / 36, 6, false, 0xFFFFFF, 30000, false, true, 8, 0xFF, 1, 0, &kRcmmFamily},
    {IrProtocol::Rcmm32, 30, "rcmm32", "RC-MM-32", 1000.0 / 36, 6, false, 0xFFFFFFFF, 30000, false, true, 16, 0xFFFF, 1, 0, &kRcmmFamily},
    // XMP's unit for the fit is the shortest space, which a frame need not
    // have: 22 ticks takes in the marks and every space.
    {IrProtocol::XmpHalf, 31, "xmp_half", "XMP half", 34.0, 22, false, 0xFFFFFFF, 80000, false, false, 16, 0xFFFF, 1, 0, &kXmpFamily},
    {IrProtocol::Xiaomi, 32, "xiaomi", "Xiaomi", 149.0, 4, false, 0xFFFFF, 30000, false, false, 8, 0xFF, 1, 0, &kXiaomiFamily},
    // Level readings: no kernel name, no ideal form.
    {IrProtocol::PulseDistance, 33, "", "pulse-distance", 1.0, 1, false, 0, 0, false, false, 8, 0xFF, 1, 0, nullptr},
    {IrProtocol::PulseWidth, 34, "", "pulse-width", 1.0, 1, false, 0, 0, false, false, 8, 0xFF, 1, 0, nullptr},
    {IrProtocol::BiPhase, 35, "", "bi-phase", 1.0, 1, false, 0, 0, false, false, 8, 0xFF, 1, 0, nullptr},
    {IrProtocol::Levels, 36, "", "levels", 1.0, 1, false, 0, 0, false, false, 8, 0xFF, 1, 0, nullptr},
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

// The families' readers in the order they are tried.  Sharp's and
// Denon's first: the others read a scale of short marks and spaces of one
// tick, theirs 8 and 17.
constexpr const IrProtocolFamily* kReadingOrder[] = {
    &kSharpFamily, &kNecFamily,      &kJvcFamily,       &kSonyFamily,    &kRc6Family,  &kRc5Family,
    &kNecLongFamily, &kKaseikyoFamily, &kSamsung36Family, &kGiCableFamily, &kRcaFamily,  &kRcmmFamily,
    &kXiaomiFamily, &kXmpFamily,
};

}  // namespace

std::span<const IrProtocolFamily* const> ReadingOrder() { return kReadingOrder; }

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
    const IrProtocolInfo& info = ProtocolInfo(frame.protocol);
    if (info.family == nullptr || (frame.scancode & ~info.scancodeMask) != 0) return false;
    return info.family->carries == nullptr || info.family->carries(frame);
}

bool EncodeIrFrame(const IrFrame& frame, IrDurations& out, IrForm form) {
    out.count = 0;
    if (!CanEncodeIrFrame(frame)) return false;
    TickWriter w(out);
    if (!ProtocolInfo(frame.protocol).family->encode(frame, form, w)) return false;
    return w.Finish();
}

IrAddressCommand SplitScancode(const IrFrame& f) {
    const IrProtocolInfo& info = ProtocolInfo(f.protocol);
    return {f.scancode >> info.addressShift, f.scancode & info.commandMask};
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
