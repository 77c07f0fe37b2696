// The user's settings folder on POSIX: refused when someone else could have
// written it, and never made by asking where it is.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/module_path.h"
#include "support/temp_dir.h"

namespace orbisk {
namespace {

TEST(SettingsFolder, RefusedWhenNotTheUsersAloneAndNeverMadeByAsking) {
    test::TempDir dir;
    // Name (a folder unless it ends in "file"), mode, owner (0: ours), what
    // it is asked as, and the reason expected ("" safe).
    const struct { std::string name; mode_t mode; uid_t owner; bool asFolder; const char* why; } cases[] = {
        {"private", 0755, 0, true, ""},
        {"open", 0777, 0, true, "group or others may write"},
        {"theirs", 0700, 65534, true, "belongs to another user"},
        {"file", 0600, 0, true, "not a folder"},
        {"open-file", 0620, 0, false, "group or others may write"},
    };
    for (const auto& c : cases) {
        const std::string path = dir.File(c.name);
        c.name.ends_with("file") ? test::WriteFile(path, "") : (void)::mkdir(path.c_str(), 0700);
        ::chmod(path.c_str(), c.mode);
        if (c.owner != 0 && ::chown(path.c_str(), c.owner, static_cast<gid_t>(-1)) != 0) continue;  // not root
        const std::string why = UnsafeSettingsPath(path, c.asFolder);
        EXPECT_TRUE(why.find(c.why) != std::string::npos && why.empty() == (*c.why == '\0')) << c.name << why;
    }
    ::setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
    const std::string folder = UserSettingsFolder();
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_FALSE(PathExists(dir.File("config")));
    const mode_t mask = ::umask(0);
    EXPECT_EQ(MakeSettingsFolder(folder), "");
    ::umask(mask);
    EXPECT_EQ(UnsafeSettingsPath(folder, true), "") << "made private, whatever the umask";
}

}  // namespace
}  // namespace orbisk
