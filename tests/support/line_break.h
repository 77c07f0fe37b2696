#pragma once
#include <string>

namespace orbisk {

// text with every "\n" written as lineBreak: what a writer that uses the
// platform's line break produces from a "\n" expectation.
inline std::string WithLineBreak(const std::string& text, const std::string& lineBreak) {
    std::string out;
    for (const char c : text) {
        if (c == '\n')
            out += lineBreak;
        else
            out += c;
    }
    return out;
}

}  // namespace orbisk
