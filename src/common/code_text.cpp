#include "common/code_text.h"

namespace orbisk {

std::size_t FormatCodeText(std::uint64_t code, char (&out)[CodeTextCapacity]) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    char reversed[16];
    std::size_t n = 0;
    do {
        reversed[n++] = kDigits[code & 0xF];
        code >>= 4;
    } while (code != 0);
    while (n < static_cast<std::size_t>(CodeHexDigits)) reversed[n++] = '0';
    for (std::size_t i = 0; i < n; ++i) out[i] = reversed[n - 1 - i];
    out[n] = '\0';
    return n;
}

std::string CodeText(std::uint64_t code) {
    char buffer[CodeTextCapacity];
    return std::string(buffer, FormatCodeText(code, buffer));
}

}  // namespace orbisk
