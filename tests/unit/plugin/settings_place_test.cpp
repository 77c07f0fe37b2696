#include "plugin/settings_place.h"

#include <gtest/gtest.h>

namespace orbisk {
namespace {

TEST(SettingsPlaceTest, BesideTheLibraryUnlessItsFolderIsReadOnlyAndHoldsNoFile) {
    struct Case {
        bool fileBeside, folderWritable;
        const char* userFolder;
        const char* settingsPath;
        const char* portFolder;
    };
    const Case cases[] = {
        {false, true, "/home/u/.config/orbisk", "/opt/o/orbisk.ini", "/opt/o/ports"},
        {true, false, "/home/u/.config/orbisk", "/opt/o/orbisk.ini", "/opt/o/ports"},
        {false, false, "/home/u/.config/orbisk", "/home/u/.config/orbisk/orbisk.ini", "/home/u/.config/orbisk/ports"},
        {false, false, "", "/opt/o/orbisk.ini", "/opt/o/ports"},  // no user folder: as before
    };
    for (const Case& c : cases) {
        const SettingsPlace place = ChooseSettingsPlace(
            "/opt/o/orbisk.so", {[&](const std::string& path) { return c.fileBeside && path == "/opt/o/orbisk.ini"; },
                                 [&](const std::string& folder) { return c.folderWritable && folder == "/opt/o"; },
                                 [&] { return std::string(c.userFolder); }});
        EXPECT_EQ(place.settingsPath, c.settingsPath) << c.fileBeside << c.folderWritable << c.userFolder;
        EXPECT_EQ(place.portFolder, c.portFolder);
    }
}

TEST(SettingsPlaceTest, NeverThePackagesFolderNorAUserFolderSomeoneElseCouldWrite) {
    const std::string user = "/home/u/.config/orbisk";
    const struct {
        std::string userFolder, unsafe, settingsPath;  // settingsPath empty: refused
    } cases[] = {
        {user, "", user + "/orbisk.ini"},  // root's too, though it may write beside, and a file is there
        {"", "", ""},
        {user, user, ""},
        {user, user + "/orbisk.ini", ""},
        {user, user + "/ports", ""},
    };
    for (const auto& c : cases) {
        std::string made;
        const auto yes = [](const std::string&) { return true; };
        const SettingsPlace place = ChooseSettingsPlace(
            "/opt/o/orbisk.so",
            {yes, yes, [&] { return c.userFolder; },
             [&](const std::string& path, bool) { return path == c.unsafe ? "unsafe " + path : ""; },
             [&](const std::string& folder) { return made = folder, std::string(); },
             [](const std::string& folder) { return folder == "/opt/o"; }});
        EXPECT_EQ(place.settingsPath, c.settingsPath) << c.unsafe;
        EXPECT_EQ(place.problem.starts_with("unsafe " + c.unsafe), !c.unsafe.empty());
        EXPECT_EQ(place.problem.empty(), !c.settingsPath.empty());
        EXPECT_EQ(made, c.settingsPath.empty() ? "" : user);  // made only when used
    }
}

}  // namespace
}  // namespace orbisk
