#pragma once
// Small text helpers shared by the settings file, the key table and the
// dialog.  Case folding is ASCII only: names that must match without regard
// to case are code texts and section names typed by users.
#include <cstddef>
#include <string>
#include <string_view>

namespace orbisk {

char AsciiUpper(char c);
std::string AsciiUpperCase(std::string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// The ASCII control characters: below space, and DEL.
bool IsControlCharacter(char c);
// The text with every control character replaced by '_': a name shown on a
// terminal or in a line of tab-separated fields stays one harmless field.
std::string ControlCharactersReplaced(std::string_view text);

// "1 key", "2 keys": a count and its noun, for messages people read.
std::string Counted(std::size_t count, std::string_view noun);

// Drops spaces and tabs at both ends.
std::string_view TrimBlanks(std::string_view text);

// The next word of line separated by spaces, tabs and carriage returns, or
// an empty view at its end; line keeps what follows the word.
std::string_view NextWord(std::string_view& line);

// Copies at most maxChars characters of text into dest and zeroes every byte
// after the copied text up to dest[maxChars], which is always written 0.
// dest must have room for maxChars + 1 bytes.
void BoundedCopy(char* dest, std::string_view text, std::size_t maxChars);

// The text up to the first NUL of a fixed-size field.
std::string_view FieldText(const char* field, std::size_t size);

}  // namespace orbisk
