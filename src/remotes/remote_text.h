#pragma once
// What the readers of remote databases' text files (Flipper .ir, lircd.conf)
// share: the whole text checked and cut into numbered lines, numbers that
// must fit, and messages that name the file and line.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orbisk {

// The text's lines without line breaks and surrounding blanks, lines[i]
// being line i + 1.  False with the reason for a text larger than a settings
// file may be or holding a control character other than a tab (a binary
// file; a name that would reach a terminal or the settings file).
bool SplitRemoteLines(std::string_view text, const std::string& path, std::vector<std::string_view>& lines,
                      std::string& error);

// A whole decimal or 0x hexadecimal number no larger than max; no sign.
bool ParseRemoteNumber(std::string_view word, std::uint64_t max, std::uint64_t& out);

// "path: line N: reason"; always false, for `return Fail...`.
bool RemoteLineError(const std::string& path, std::size_t line, std::string_view reason, std::string& error);

// The word as it goes into a message: quoted, cut after 40 characters.
std::string Quoted(std::string_view word);

}  // namespace orbisk
