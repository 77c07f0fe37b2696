#pragma once
// Flipper Zero's infra-red files ("Filetype: IR signals file" or "IR library
// file", "Version: 1"): their buttons, each a decoded protocol, address and
// command or a raw capture; and the key a decoded button gives, as Orbisk
// names protocols and writes scancodes ("nec:0x0408", the forms orbisk
// generate plays).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orbisk {

// Flipper's own limit on a raw capture's durations.
inline constexpr std::size_t MaxFlipperDurations = 1024;

struct FlipperButton {
    std::string name;
    std::size_t line = 0;  // of its name:, for messages
    bool raw = false;
    // type: parsed.  address and command are the files' 4 bytes, least
    // significant first.
    std::string protocol;  // as written: "NEC", "NECext", "Kaseikyo"
    std::uint32_t address = 0;
    std::uint32_t command = 0;
    // Why Flipper would not send it, with the line: an address or command of
    // bytes but not four.  Such a button gives no key; the file's others do.
    std::string damaged;
    // type: raw: microseconds, mark first.
    std::uint32_t frequency = 0;
    std::vector<std::uint32_t> durations;
};

// The buttons of a .ir file's text, in file order; false with
// "path: line N: reason" for anything Flipper would not have written: an
// unknown key, a field missing or given twice, a number out of range, no
// more than MaxFlipperDurations durations, none of them zero.  A parsed
// button whose address or command is bytes but not four is read, damaged.
bool ParseFlipperIr(std::string_view text, const std::string& path, std::vector<FlipperButton>& out,
                    std::string& error);

// A protocol's key: the kernel's protocol name as Orbisk's protocol table
// has it, and the scancode in that protocol's layout.
struct ProtocolKey {
    std::string_view protocol;
    std::uint32_t scancode = 0;

    bool operator==(const ProtocolKey&) const = default;
};
// "nec:0x0408": at least four lower-case hexadecimal digits.
std::string ProtocolKeyText(const ProtocolKey& key);

// The key a parsed button's frame gives; nullopt with the reason for a raw
// button, a protocol with no key (Kaseikyo of another vendor, NEC42ext
// whose copies are not inverted) or an address or command wider than its
// protocol carries.
std::optional<ProtocolKey> FlipperKey(const FlipperButton& button, std::string& reason);

// The reverse: the parsed button (protocol, address and command) whose key
// FlipperKey gives back as this one; nullopt where Flipper has no protocol
// for it.
std::optional<FlipperButton> FlipperParsed(const ProtocolKey& key);

}  // namespace orbisk
