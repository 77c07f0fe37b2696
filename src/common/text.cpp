#include "common/text.h"

#include <cstring>

namespace orbisk {

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string AsciiUpperCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = AsciiUpper(c);
    return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    return true;
}

bool IsControlCharacter(char c) { return static_cast<unsigned char>(c) < ' ' || c == '\x7F'; }

std::string ControlCharactersReplaced(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (IsControlCharacter(c)) c = '_';
    return out;
}

std::string_view TrimBlanks(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

std::string_view NextWord(std::string_view& line) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    std::size_t start = 0;
    while (start < line.size() && blank(line[start])) ++start;
    std::size_t end = start;
    while (end < line.size() && !blank(line[end])) ++end;
    const std::string_view word = line.substr(start, end - start);
    line.remove_prefix(end);
    return word;
}

void BoundedCopy(char* dest, std::string_view text, std::size_t maxChars) {
    const std::size_t n = text.size() < maxChars ? text.size() : maxChars;
    std::memcpy(dest, text.data(), n);
    std::memset(dest + n, 0, maxChars + 1 - n);
}

std::string_view FieldText(const char* field, std::size_t size) {
    const void* nul = std::memchr(field, '\0', size);
    return std::string_view(field, nul ? static_cast<const char*>(nul) - field : size);
}

std::string Counted(std::size_t count, std::string_view noun) {
    return std::to_string(count) + ' ' + std::string(noun) + (count == 1 ? "" : "s");
}

}  // namespace orbisk
