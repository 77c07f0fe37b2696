#include "plugin/settings_place.h"

#include <gtest/gtest.h>

namespace orbisk {
namespace {

TEST(SettingsPlaceTest, BesideTheLibraryUnlessItsFolderIsReadOnlyAndHoldsNoFileOrIsThePackages) {
    constexpr const char* U = "/home/u/.config/orbisk";
    struct Case {
        bool fileBeside, folderWritable, packageFolder;
        const char* userFolder;
        const char* unsafe;  // the path the user calls unsafe
        const char* settingsPath;  // empty: refused
        const char* portFolder;
    };
    const Case cases[] = {
        {false, true, false, U, "", "/opt/o/orbisk.ini", "/opt/o/ports"},
        {true, false, false, U, "", "/opt/o/orbisk.ini", "/opt/o/ports"},
        {false, false, false, U, "", "/home/u/.config/orbisk/orbisk.ini", "/home/u/.config/orbisk/ports"},
        {false, false, false, "", "", "/opt/o/orbisk.ini", "/opt/o/ports"},  // no user folder: as before
        // The package's folder, even root's with a file there.
        {true, true, true, U, "", "/home/u/.config/orbisk/orbisk.ini", "/home/u/.config/orbisk/ports"},
        {true, true, true, "", "", "", ""},
        // Another user's folder, file or port links.
        {false, false, false, U, "/home/u/.config/orbisk", "", ""},
        {true, true, true, U, "/home/u/.config/orbisk/orbisk.ini", "", ""},
        {false, false, false, U, "/home/u/.config/orbisk/ports", "", ""},
    };
    for (const Case& c : cases) {
        std::string made;
        SettingsPlaceProbe probe;
        probe.pathExists = [&](const std::string& path) { return c.fileBeside && path == "/opt/o/orbisk.ini"; };
        probe.folderWritable = [&](const std::string& folder) { return c.folderWritable && folder == "/opt/o"; };
        probe.userFolder = [&] { return std::string(c.userFolder); };
        probe.unsafe = [&](const std::string& path, bool) { return path == c.unsafe ? "unsafe " + path : ""; };
        probe.makeFolder = [&](const std::string& folder) { return made = folder, std::string(); };
        probe.packageFolder = [&](const std::string& folder) { return c.packageFolder && folder == "/opt/o"; };
        const SettingsPlace place = ChooseSettingsPlace("/opt/o/orbisk.so", probe);
        const std::string label = std::to_string(&c - cases);
        EXPECT_EQ(place.settingsPath, c.settingsPath) << label;
        EXPECT_EQ(place.portFolder, c.portFolder) << label;
        EXPECT_EQ(place.problem.empty(), *c.settingsPath != '\0') << label;
        if (*c.unsafe != '\0') {
            EXPECT_EQ(place.problem, std::string("unsafe ") + c.unsafe) << label;
        }
        // The user folder is made only when it is used.
        EXPECT_EQ(made, place.settingsPath.starts_with(U) ? U : "") << label;
    }
}

}  // namespace
}  // namespace orbisk
