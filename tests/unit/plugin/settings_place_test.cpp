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

}  // namespace
}  // namespace orbisk
