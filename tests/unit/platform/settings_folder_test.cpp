// The user's settings folder on POSIX: never made by asking where it is, and
// refused when someone else could have written it.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/module_path.h"
#include "support/temp_dir.h"

namespace orbisk {
namespace {

TEST(SettingsFolder, SomeoneElsesOrAnOpenFolderOrFileIsRefused) {
    test::TempDir dir;
    struct Case {
        const char* name;
        bool makeFolder;  // else a file
        mode_t mode;
        uid_t owner;  // 0: ours
        bool asFolder;
        const char* why;  // empty: safe
    } const cases[] = {
        {"missing", true, 0, 0, true, ""},
        {"private", true, 0700, 0, true, ""},
        {"shared-read", true, 0755, 0, true, ""},
        {"open", true, 0777, 0, true, "group or others may write to it"},
        {"group", true, 0770, 0, true, "group or others may write to it"},
        {"theirs", true, 0700, 65534, true, "it belongs to another user"},
        {"file-for-folder", false, 0600, 0, true, "it is not a folder"},
        {"folder-for-file", true, 0700, 0, false, "it is not a file"},
        {"open-file", false, 0666, 0, false, "group or others may write to it"},
    };
    for (const Case& c : cases) {
        const std::string path = dir.File(c.name);
        if (c.mode != 0) {
            if (c.makeFolder)
                ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
            else
                test::WriteFile(path, "[Main]\n");
            ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);
            if (c.owner != 0 && ::chown(path.c_str(), c.owner, static_cast<gid_t>(-1)) != 0) continue;  // not root
        }
        const std::string why = UnsafeSettingsPath(path, c.asFolder);
        EXPECT_EQ(why.empty(), *c.why == '\0') << c.name << ": " << why;
        EXPECT_NE(why.find(c.why), std::string::npos) << c.name << ": " << why;
    }
}

TEST(SettingsFolder, AskingWhereMakesNothingAndMakingIsPrivate) {
    test::TempDir dir;
    ASSERT_EQ(::setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1), 0);
    const std::string folder = UserSettingsFolder();
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(folder, dir.File("config/orbisk"));
    EXPECT_FALSE(PathExists(dir.File("config")));
    ::umask(0);
    EXPECT_EQ(MakeSettingsFolder(folder), "");
    ::umask(022);
    struct stat st {};
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(UnsafeSettingsPath(folder, true), "");
    test::WriteFile(dir.File("file"), "");
    EXPECT_NE(MakeSettingsFolder(dir.File("file/orbisk")), "");
}

}  // namespace
}  // namespace orbisk
