#pragma once
#include <string>

namespace orbisk {

// Absolute path of the loaded library (or program) that contains this code,
// with symbolic links left as they are; empty when it cannot be determined.
// Any length.
std::string OwnModulePath();

// The folder part of a path, without the final separator; "." for a bare name.
std::string FolderOf(const std::string& path);

// What choosing the settings file's place needs to know of the file system.
// True when something is at the path: a file, a folder, or a symbolic link,
// even one whose target does not exist.
bool PathExists(const std::string& path);
// True when this process may create files in the folder.
bool FolderWritable(const std::string& folder);
// The folder of this user's own Orbisk settings, for a plug-in whose own
// folder cannot hold them, made with its parents when missing; empty where
// the platform keeps the settings only beside the plug-in, or when it cannot
// be made.
std::string UserSettingsFolder();

}  // namespace orbisk
