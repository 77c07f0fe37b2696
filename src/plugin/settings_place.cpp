#include "plugin/settings_place.h"

#include "platform/module_path.h"
#include "settings/settings.h"

namespace orbisk {

SettingsPlace BesideLibrary(const std::string& libraryPath) {
    return {SettingsPath(libraryPath), FolderOf(libraryPath) + "/ports"};
}

SettingsPlace ChooseSettingsPlace(const std::string& libraryPath, const SettingsPlaceProbe& probe) {
    SettingsPlace beside = BesideLibrary(libraryPath);
    // A file beside the library always wins, even in a read-only folder: an
    // administrator may have put one there for every user.
    if (probe.pathExists(beside.settingsPath) || probe.folderWritable(FolderOf(libraryPath))) return beside;
    const std::string user = probe.userFolder();
    if (user.empty()) return beside;
    const std::string& path = beside.settingsPath;
    return {user + "/" + path.substr(path.find_last_of("/\\") + 1), user + "/ports"};
}

SettingsPlace SystemSettingsPlace(const std::string& libraryPath) {
    return ChooseSettingsPlace(libraryPath, {PathExists, FolderWritable, UserSettingsFolder});
}

}  // namespace orbisk
