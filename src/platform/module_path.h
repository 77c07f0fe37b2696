#pragma once
#include <string>

namespace orbisk {

// Full path of the loaded library (or program) that contains this code;
// empty when it cannot be determined.  Any length.
std::string OwnModulePath();

// The folder part of a path, without the final separator; "." for a bare name.
std::string FolderOf(const std::string& path);

}  // namespace orbisk
