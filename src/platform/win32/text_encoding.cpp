#include "platform/text_encoding.h"

#include <windows.h>

namespace orbisk {

bool Utf16ToNarrow(std::u16string_view wide, std::string& out) {
    out.clear();
    if (wide.empty()) return true;
    const auto* units = reinterpret_cast<const wchar_t*>(wide.data());
    const int length = static_cast<int>(wide.size());
    // No best-fit mapping: a character the code page lacks must be noticed,
    // not quietly turned into a look-alike that would be written back.  A
    // UTF-8 code page takes no default character; there only unpaired
    // surrogates fail.
    const UINT codePage = GetACP();
    const bool utf8 = codePage == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* const defaulted = utf8 ? nullptr : &usedDefault;
    int size = WideCharToMultiByte(codePage, flags, units, length, nullptr, 0, nullptr, defaulted);
    bool exact = size > 0 && !usedDefault;
    if (size <= 0) size = WideCharToMultiByte(codePage, 0, units, length, nullptr, 0, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(size > 0 ? size : 0));
    if (size > 0)
        WideCharToMultiByte(codePage, exact ? flags : 0, units, length, out.data(), size, utf8 ? nullptr : "?",
                            nullptr);
    return exact;
}

bool NarrowToUtf16(std::string_view narrow, std::u16string& out) {
    out.clear();
    if (narrow.empty()) return true;
    const int length = static_cast<int>(narrow.size());
    int size = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, narrow.data(), length, nullptr, 0);
    const bool exact = size > 0;
    if (!exact) size = MultiByteToWideChar(CP_ACP, 0, narrow.data(), length, nullptr, 0);
    out.resize(static_cast<std::size_t>(size > 0 ? size : 0));
    if (size > 0)
        MultiByteToWideChar(CP_ACP, exact ? MB_ERR_INVALID_CHARS : 0, narrow.data(), length,
                            reinterpret_cast<wchar_t*>(out.data()), size);
    return exact;
}

}  // namespace orbisk
