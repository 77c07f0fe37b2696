#include "plugin/settings_place.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/module_path.h"
#include "settings/settings.h"

namespace orbisk {

namespace {

// Where a system package installs the plug-in; empty for other builds.
constexpr char PackagePluginFolder[] = ORBISK_PACKAGE_PLUGIN_FOLDER;

SettingsPlace Refused(std::string problem) { return {{}, {}, std::move(problem)}; }

// Its settings name a command the plug-in runs, as whoever runs it: a folder
// or file another user could have written is never used, beside the library
// or in the user's folder.  Why not; empty when it may be used.
std::string UnsafePlace(const SettingsPlaceProbe& probe, const std::string& folder, const SettingsPlace& place) {
    if (!probe.unsafe) return {};
    for (const auto& [part, isFolder] :
         {std::pair{folder, true}, {place.settingsPath, false}, {place.portFolder, true}})
        if (std::string why = probe.unsafe(part, isFolder); !why.empty()) return why;
    return {};
}

SettingsPlace Checked(const SettingsPlaceProbe& probe, const std::string& folder, SettingsPlace place) {
    std::string why = UnsafePlace(probe, folder, place);
    return why.empty() ? place : Refused(std::move(why));
}

}  // namespace

SettingsPlace BesideLibrary(const std::string& libraryPath) {
    return {SettingsPath(libraryPath), FolderOf(libraryPath) + "/ports"};
}

SettingsPlace ChooseSettingsPlace(const std::string& libraryPath, const SettingsPlaceProbe& probe) {
    SettingsPlace beside = BesideLibrary(libraryPath);
    const std::string folder = FolderOf(libraryPath);
    const bool packaged = probe.packageFolder && probe.packageFolder(folder);
    // A file beside the library always wins, even in a read-only folder: an
    // administrator may have put one there for every user.  Not in the
    // package's folder: what root wrote there would be every user's, and
    // outlive the package.
    if (!packaged && (probe.pathExists(beside.settingsPath) || probe.folderWritable(folder)))
        return Checked(probe, folder, beside);
    const std::string user = probe.userFolder();
    if (user.empty())
        return packaged ? Refused("Orbisk has no settings folder: neither XDG_CONFIG_HOME nor HOME names one")
                        : Checked(probe, folder, beside);
    const std::string& path = beside.settingsPath;
    SettingsPlace place{user + "/" + path.substr(path.find_last_of("/\\") + 1), user + "/ports"};
    if (std::string why = UnsafePlace(probe, user, place); !why.empty()) return Refused(std::move(why));
    if (probe.makeFolder)
        if (std::string why = probe.makeFolder(user); !why.empty()) return Refused(std::move(why));
    return place;
}

SettingsPlace SystemSettingsPlace(const std::string& libraryPath, bool make) {
    SettingsPlaceProbe probe{PathExists, FolderWritable, UserSettingsFolder, UnsafeSettingsPath};
    if (make) probe.makeFolder = MakeSettingsFolder;
    probe.packageFolder = [](const std::string& folder) {
        std::error_code error;
        return PackagePluginFolder[0] != '\0' && std::filesystem::equivalent(folder, PackagePluginFolder, error);
    };
    return ChooseSettingsPlace(libraryPath, probe);
}

}  // namespace orbisk
