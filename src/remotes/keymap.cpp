#include "remotes/keymap.h"

#include <unordered_map>

#include "common/code_text.h"
#include "common/text.h"
#include "receiver/analysis/burst_codes.h"

namespace orbisk {

namespace {

std::optional<IrProtocol> NamedProtocol(std::string_view protocol, std::string_view variant,
                                        std::uint32_t scancode) {
    const std::optional<IrProtocol> named = FindIrProtocol(variant.empty() ? protocol : variant);
    if (EqualsIgnoreCase(protocol, "nec")) {
        // Keymaps of variant nec hold NEC-X scancodes too: of the three NEC
        // forms, the wider of the variant and the scancode's size.
        const IrProtocol bySize =
            scancode > 0xFFFFFF ? IrProtocol::Nec32 : scancode > 0xFFFF ? IrProtocol::Necx : IrProtocol::Nec;
        const bool narrowerNec =
            named && (*named == IrProtocol::Nec || *named == IrProtocol::Necx || *named == IrProtocol::Nec32) &&
            ProtocolInfo(*named).scancodeMask <= ProtocolInfo(bySize).scancodeMask;
        return named && !narrowerNec ? *named : bySize;
    }
    // A variant names the recogniser's protocol itself ("rc6_mce").
    if (!variant.empty()) return named;
    if (EqualsIgnoreCase(protocol, "rc5")) return scancode > 0xFFFF ? IrProtocol::Rc5x20 : IrProtocol::Rc5;
    if (EqualsIgnoreCase(protocol, "sony"))
        return scancode > 0x1FFFFF || (scancode & 0xFF00) == 0
                   ? (scancode > 0x1F00FF ? IrProtocol::Sony15 : IrProtocol::Sony12)
                   : IrProtocol::Sony20;
    if (EqualsIgnoreCase(protocol, "rc6")) {
        if ((scancode & 0xFFFF0000u) == 0x800F0000u) return IrProtocol::Rc6Mce;
        return scancode > 0xFFFFFF ? IrProtocol::Rc6_6a32
               : scancode > 0xFFFFF ? IrProtocol::Rc6_6a24
               : scancode > 0xFFFF  ? IrProtocol::Rc6_6a20
                                    : IrProtocol::Rc6_0;
    }
    if (EqualsIgnoreCase(protocol, "rc-mm") || EqualsIgnoreCase(protocol, "rcmm"))
        return scancode > 0xFFFFFF ? IrProtocol::Rcmm32 : scancode > 0xFFF ? IrProtocol::Rcmm24 : IrProtocol::Rcmm12;
    return named;  // jvc, sharp, samsung32, sanyo
}

std::optional<IrProtocol> KeymapProtocol(std::string_view protocol, std::string_view variant,
                                         std::uint32_t scancode) {
    const std::optional<IrProtocol> p = NamedProtocol(protocol, variant, scancode);
    return p && ProtocolInfo(*p).kernelLayout ? p : std::nullopt;
}

}  // namespace

std::optional<IrFrame> KeymapFrame(const KeymapTable& table, std::uint32_t scancode) {
    const std::optional<IrProtocol> protocol = KeymapProtocol(table.protocol, table.variant, scancode);
    if (!protocol) return std::nullopt;
    IrFrame frame{*protocol, scancode, false};
    if (frame.protocol == IrProtocol::Rc6Mce) frame.scancode &= ~0x8000u;
    IrDurations check;
    if (!EncodeIrFrame(frame, check)) return std::nullopt;
    return frame;
}

KeymapImport PlanKeymapImport(const std::vector<KeymapTable>& tables) {
    KeymapImport plan;
    std::unordered_map<KeyCode, std::size_t> byCode;  // -> index in plan.keys
    std::size_t keys = 0;
    for (const KeymapTable& table : tables) keys += table.keys.size();
    byCode.reserve(keys);
    for (const KeymapTable& table : tables) {
        for (const auto& [scancode, name] : table.keys) {
            const KeymapKey key{&table, scancode, &name};
            const std::optional<IrFrame> frame = KeymapFrame(table, scancode);
            if (!frame) {
                plan.skipped.push_back(key);
                continue;
            }
            const KeyCode code = StableCode(*frame);
            const auto [it, added] = byCode.try_emplace(code, plan.keys.size());
            if (added)
                plan.keys.emplace_back(CodeText(code), key);
            else
                plan.shared.emplace_back(key, plan.keys[it->second].second);
        }
    }
    return plan;
}

}  // namespace orbisk
