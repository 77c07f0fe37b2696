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

#include "receiver/analysis/protocol_table.h"

namespace orbisk {

// One [[protocols]] table of a keymap: its name, protocol and variant as
// written, and its scancodes with their key names, in file order.
struct KeymapTable {
    std::string name;
    std::string protocol;
    std::string variant;
    std::vector<std::pair<std::uint32_t, std::string>> keys;
    std::size_t line = 0;
    // Its whole-number fields: the timings of a pulse_distance table
    // (header_pulse, bit_1_space, bits, ...).
    std::vector<std::pair<std::string, std::int64_t>> numbers{};
};

// Reads a keymap file; false with a one-line reason when it cannot be read
// or is not a keymap: a file larger than a settings file may be, nesting
// deeper than a keymap does, a value of the wrong type, or a key name with a
// control character.
bool ReadKeymap(const std::string& path, std::vector<KeymapTable>& out, std::string& error);
// The same for a keymap's text; path names it in the reason.
bool ParseKeymap(std::string_view text, const std::string& path, std::vector<KeymapTable>& out,
                 std::string& error);

// The recogniser's frame for a key of a keymap's table: the protocol from
// the table's protocol and variant and the scancode's size (nec keymaps hold
// NEC-X scancodes too), the scancode as the kernel matches it (an MCE
// scancode without its toggle bit 15); nullopt for a protocol the recogniser
// does not know or a scancode its protocol cannot carry.
std::optional<IrFrame> KeymapFrame(const KeymapTable& table, std::uint32_t scancode);

// A key of a keymap's table.
struct KeymapKey {
    const KeymapTable* table = nullptr;
    std::uint32_t scancode = 0;
    const std::string* name = nullptr;
};

// What an import makes of the keymap's keys, in keymap order: each key of a
// recognised protocol under its code text, each code once; the first key
// with a code has it, and later ones (the same scancode written twice, as
// 0x0408 and 1032) are left out beside the key that has it.
struct KeymapImport {
    std::vector<std::pair<std::string, KeymapKey>> keys;
    std::vector<KeymapKey> skipped;                       // protocols Orbisk does not recognise
    std::vector<std::pair<KeymapKey, KeymapKey>> shared;  // left out, and the key with its code
};
KeymapImport PlanKeymapImport(const std::vector<KeymapTable>& tables);

}  // namespace orbisk
