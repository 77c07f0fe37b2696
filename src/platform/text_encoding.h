#pragma once
// The 8-bit text the settings hold, to and from UTF-16: UTF-8 on POSIX
// systems, the ANSI code page on Windows (the text its "A" functions and the
// dialog's controls take).  A settings file saved as UTF-16 is read through
// these and written back through them.
#include <string>
#include <string_view>

namespace orbisk {

// Each is false when some of the text has no exact counterpart (an unpaired
// surrogate, a character the code page lacks, bytes that are no character);
// out then holds the rest, with '?' in place of what could not be converted.
bool Utf16ToNarrow(std::u16string_view wide, std::string& out);
bool NarrowToUtf16(std::string_view narrow, std::u16string& out);

}  // namespace orbisk
