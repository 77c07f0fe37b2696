#pragma once
// Paths and texts are UTF-8 inside Orbisk; Windows takes any name in full
// only through its wide (UTF-16) calls, and a folder named outside the ANSI
// code page (Ünï 日本) has no ANSI name at all.
#include <string>
#include <string_view>

namespace orbisk::win32 {

// UTF-8 to UTF-16.  Text that is not UTF-8 (a path in the ANSI code page,
// as a command line gives it) is read in the ANSI code page, as the ANSI
// calls would.
std::wstring Widen(std::string_view text);

// UTF-16 to UTF-8.
std::string Narrow(std::wstring_view text);

}  // namespace orbisk::win32
