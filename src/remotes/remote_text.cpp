#include "remotes/remote_text.h"

#include "common/text.h"
#include "platform/file_io.h"

namespace orbisk {

bool SplitRemoteLines(std::string_view text, const std::string& path, std::vector<std::string_view>& lines,
                      std::string& error) {
    lines.clear();
    if (text.size() > MaxSettingsFileBytes) {
        // Its keys could not fit in a settings file.
        error = path + ": larger than " + std::to_string(MaxSettingsFileBytes >> 20) + " MiB";
        return false;
    }
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // a UTF-8 byte-order mark
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        for (const char c : line) {
            if (c != '\t' && IsControlCharacter(c)) {
                const char* digits = "0123456789ABCDEF";
                const unsigned byte = static_cast<unsigned char>(c);
                return RemoteLineError(path, lines.size() + 1,
                                       std::string("control character 0x") + digits[byte >> 4] + digits[byte & 0xF] +
                                           ": not a text file of remotes",
                                       error);
            }
        }
        lines.push_back(TrimBlanks(line));
    }
    return true;
}

bool ParseRemoteNumber(std::string_view word, std::uint64_t max, std::uint64_t& out) {
    const bool hex = word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X');
    if (hex) word.remove_prefix(2);
    if (word.empty()) return false;
    const std::uint64_t base = hex ? 16 : 10;
    std::uint64_t value = 0;
    for (const char c : word) {
        std::uint64_t digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<std::uint64_t>(c - '0');
        } else if (hex && c >= 'a' && c <= 'f') {
            digit = static_cast<std::uint64_t>(c - 'a' + 10);
        } else if (hex && c >= 'A' && c <= 'F') {
            digit = static_cast<std::uint64_t>(c - 'A' + 10);
        } else {
            return false;
        }
        if (digit > max || value > (max - digit) / base) return false;
        value = value * base + digit;
    }
    out = value;
    return true;
}

bool RemoteLineError(const std::string& path, std::size_t line, std::string_view reason, std::string& error) {
    error = path + ": line " + std::to_string(line) + ": " + std::string(reason);
    return false;
}

std::string Quoted(std::string_view word) {
    constexpr std::size_t kShown = 40;
    return "'" + std::string(word.substr(0, kShown)) + (word.size() > kShown ? "...'" : "'");
}

}  // namespace orbisk
