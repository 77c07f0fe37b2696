#pragma once
// A key code written as upper-case hexadecimal, zero-padded to at least
// CodeHexDigits digits.  This is the form codes take in the settings file, in
// the key table, in the key event record and on screen.
#include <cstddef>
#include <cstdint>
#include <string>

namespace orbisk {

inline constexpr int CodeHexDigits = 7;

// Room for 16 digits and the terminator; codes from the receiver use 7 or 8.
inline constexpr std::size_t CodeTextCapacity = 20;

// Writes the code text and a terminating NUL into out; returns its length.
std::size_t FormatCodeText(std::uint64_t code, char (&out)[CodeTextCapacity]);

std::string CodeText(std::uint64_t code);

}  // namespace orbisk
