#pragma once
// Linux kernel keymaps (the TOML files of Debian's ir-keytable package,
// /lib/udev/rc_keymaps/*.toml) and what `orbisk settings import` makes of
// them.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "receiver/analysis/ir_frame.h"

namespace orbisk::tool {

// One [[protocols]] table of a keymap: its name, protocol and variant as
// written, and its scancodes with their key names, in file order.
struct KeymapTable {
    std::string name;
    std::string protocol;
    std::string variant;
    std::vector<std::pair<std::uint32_t, std::string>> keys;
};

// Reads a keymap file; false with a one-line reason when it cannot be read
// or is not a keymap.
bool ReadKeymap(const std::string& path, std::vector<KeymapTable>& out, std::string& error);

// The recogniser's frame for a key of a keymap's table: the protocol from
// the table's protocol and variant and the scancode's size (nec keymaps hold
// NEC-X scancodes too), the scancode as the kernel matches it (an MCE
// scancode without its toggle bit 15); nullopt for a protocol the recogniser
// does not know or a scancode its protocol cannot carry.
std::optional<IrFrame> KeymapFrame(const KeymapTable& table, std::uint32_t scancode);

}  // namespace orbisk::tool
