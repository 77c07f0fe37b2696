#include "platform/text_encoding.h"

#include <cstdint>

namespace orbisk {
namespace {

constexpr char32_t Replacement = U'?';

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The character that starts at narrow[i], or nothing for bytes that are not
// well-formed UTF-8 (overlong forms and encoded surrogates included); i
// moves past what was read.
bool NextUtf8(std::string_view narrow, std::size_t& i, char32_t& c) {
    const auto lead = static_cast<unsigned char>(narrow[i++]);
    int more;
    char32_t min;
    if (lead < 0x80) {
        c = lead;
        return true;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        more = 1, min = 0x80, c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        more = 2, min = 0x800, c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        more = 3, min = 0x10000, c = lead & 0x07;
    } else {
        return false;
    }
    for (; more > 0; --more) {
        if (i >= narrow.size() || (static_cast<unsigned char>(narrow[i]) & 0xC0) != 0x80) return false;
        c = (c << 6) | (static_cast<unsigned char>(narrow[i++]) & 0x3F);
    }
    return c >= min && c <= 0x10FFFF && !IsHighSurrogate(c) && !IsLowSurrogate(c);
}

}  // namespace

bool Utf16ToNarrow(std::u16string_view wide, std::string& out) {
    out.clear();
    out.reserve(wide.size());
    bool exact = true;
    for (std::size_t i = 0; i < wide.size(); ++i) {
        char32_t c = wide[i];
        if (IsHighSurrogate(c) && i + 1 < wide.size() && IsLowSurrogate(wide[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (wide[++i] - 0xDC00);
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            c = Replacement;
            exact = false;
        }
        AppendUtf8(out, c);
    }
    return exact;
}

bool NarrowToUtf16(std::string_view narrow, std::u16string& out) {
    out.clear();
    out.reserve(narrow.size());
    bool exact = true;
    for (std::size_t i = 0; i < narrow.size();) {
        char32_t c;
        if (!NextUtf8(narrow, i, c)) {
            c = Replacement;
            exact = false;
        }
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return exact;
}

}  // namespace orbisk
