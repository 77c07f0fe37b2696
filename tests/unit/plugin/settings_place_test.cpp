#include "plugin/settings_place.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

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

#ifndef _WIN32  // owners and permission bits are POSIX matters
// On the real file system: the rule of the user's folder holds beside the
// library too, whose settings name a command run as whoever runs the host.
TEST(SettingsPlaceTest, BesideTheLibraryNothingAnotherUserCouldHaveWritten) {
    test::TempDir dir;
    // Mode and owner (0: ours) of the folder, the file (mode 0: none) and
    // the port folder, and the reason expected ("" used).
    const struct {
        mode_t folderMode; uid_t folderOwner; mode_t fileMode; uid_t fileOwner; mode_t portsMode; const char* why;
    } cases[] = {
        {0755, 0, 0600, 0, 0700, ""},
        {0755, 0, 0, 0, 0755, ""},
        {0755, 0, 0666, 0, 0700, "group or others may write"},
        {0755, 0, 0620, 0, 0700, "group or others may write"},
        {0755, 0, 0644, 65534, 0700, "belongs to another user"},
        {0777, 0, 0600, 0, 0700, "group or others may write"},
        {01777, 0, 0600, 0, 0700, "group or others may write"},
        {0775, 0, 0, 0, 0700, "group or others may write"},
        {0755, 65534, 0600, 0, 0700, "belongs to another user"},
        {0755, 0, 0600, 0, 0777, "group or others may write"},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string folder = dir.File(std::to_string(n++));
        ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
        ASSERT_EQ(::mkdir((folder + "/ports").c_str(), c.portsMode), 0);
        ::chmod((folder + "/ports").c_str(), c.portsMode);
        if (c.fileMode != 0) test::WriteFile(folder + "/orbisk.ini", "[Main]\nExecOnError=touch /tmp/x\n");
        if (c.fileMode != 0) ::chmod((folder + "/orbisk.ini").c_str(), c.fileMode);
        ::chmod(folder.c_str(), c.folderMode);
        if ((c.folderOwner != 0 && ::chown(folder.c_str(), c.folderOwner, static_cast<gid_t>(-1)) != 0) ||
            (c.fileOwner != 0 && ::chown((folder + "/orbisk.ini").c_str(), c.fileOwner, static_cast<gid_t>(-1)) != 0))
            continue;  // not root
        const SettingsPlace place = SystemSettingsPlace(folder + "/orbisk.so", false);
        EXPECT_EQ(place.settingsPath, *c.why == '\0' ? folder + "/orbisk.ini" : "") << folder;
        EXPECT_NE(place.problem.find(c.why), std::string::npos) << folder << ": " << place.problem;
    }
}

#endif
}  // namespace
}  // namespace orbisk
