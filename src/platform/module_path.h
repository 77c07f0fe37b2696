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
// folder cannot hold them (made or not); empty where the platform keeps the
// settings only beside the plug-in, or it names none.
std::string UserSettingsFolder();
// Why a settings folder (the user's or the library's), or a path in it, must
// not be used: it is not a folder (not a file), belongs to another user, or
// group or others may write to it.  Empty when it is safe or missing.
std::string UnsafeSettingsPath(const std::string& path, bool folder);
// Makes the folder with its parents, private to the user, when missing; why
// it could not be, empty when it is there.
std::string MakeSettingsFolder(const std::string& folder);

}  // namespace orbisk
