#pragma once
#include <memory>
#include <string>

namespace orbisk {

// Absolute path of the loaded library (or program) that contains this code,
// with symbolic links left as they are; empty when it cannot be determined.
// Any length.
std::string OwnModulePath();

// Keeps the library that contains this code loaded until the result is
// released; null where nothing needs to.
std::shared_ptr<void> KeepOwnModuleLoaded();

// The folder part of a path, without the final separator; "." for a bare name.
std::string FolderOf(const std::string& path);

}  // namespace orbisk
