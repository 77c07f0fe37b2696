#pragma once
// Where a plug-in library keeps its settings file and its port links.
// Beside the library, as always; a library in a folder the user cannot write
// to that holds no settings file (a system-wide installation) uses the
// user's own settings folder instead, when the platform has one.  The folder
// a system package installs the plug-in into never holds settings, whoever
// runs it, root included.  Nor is a folder or file another user could have
// written, wherever it is (on platforms that can tell).
#include <functional>
#include <string>

namespace orbisk {

struct SettingsPlace {
    std::string settingsPath;  // the settings file
    std::string portFolder;    // where the ports/comN links live
    // Why no settings file can be used (a file or folder another user could
    // have written); both paths are then empty.
    std::string problem{};
};

// The file-system facts the choice depends on (see platform/module_path.h).
struct SettingsPlaceProbe {
    std::function<bool(const std::string& path)> pathExists;
    std::function<bool(const std::string& folder)> folderWritable;
    std::function<std::string()> userFolder;  // empty: none
    // Why a path of the chosen place (folder, file, port folder) must not be
    // used; empty when it is safe or missing.  Unset: every path is safe.
    std::function<std::string(const std::string& path, bool folder)> unsafe{};
    // Makes the user folder when missing; why it could not be.  Unset:
    // nothing is made.
    std::function<std::string(const std::string& folder)> makeFolder{};
    // True for the folder a system package installs the plug-in into.
    std::function<bool(const std::string& folder)> packageFolder{};
};

// The settings file and the port links beside the library.
SettingsPlace BesideLibrary(const std::string& libraryPath);

SettingsPlace ChooseSettingsPlace(const std::string& libraryPath, const SettingsPlaceProbe& probe);

// The choice made with the running system's file system; with make false
// nothing is created (a question of where, not a use).
SettingsPlace SystemSettingsPlace(const std::string& libraryPath, bool make = true);

}  // namespace orbisk
