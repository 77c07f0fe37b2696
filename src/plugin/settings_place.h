#pragma once
// Where a plug-in library keeps its settings file and its port links.
// Beside the library, as always; a library in a folder the user cannot write
// to that holds no settings file (a system-wide installation) uses the
// user's own settings folder instead, when the platform has one.
#include <functional>
#include <string>

namespace orbisk {

struct SettingsPlace {
    std::string settingsPath;  // the settings file
    std::string portFolder;    // where the ports/comN links live
};

// The file-system facts the choice depends on (see platform/module_path.h).
struct SettingsPlaceProbe {
    std::function<bool(const std::string& path)> pathExists;
    std::function<bool(const std::string& folder)> folderWritable;
    std::function<std::string()> userFolder;  // empty: none
};

// The settings file and the port links beside the library.
SettingsPlace BesideLibrary(const std::string& libraryPath);

SettingsPlace ChooseSettingsPlace(const std::string& libraryPath, const SettingsPlaceProbe& probe);

// The choice made with the running system's file system.
SettingsPlace SystemSettingsPlace(const std::string& libraryPath);

}  // namespace orbisk
