#include "platform/module_path.h"

#include <dlfcn.h>
#include <limits.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

namespace orbisk {

std::string OwnModulePath() {
    // dladdr on a symbol of this object names the file it was loaded from,
    // whether that is orbisk.so or the orbisk program, as the loader was
    // given it.  Symbolic links are kept: a plug-in installed as a link keeps
    // its settings beside the link, where the host sees it.
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&OwnModulePath), &info) == 0 || info.dli_fname == nullptr)
        return {};
    std::string_view name = info.dli_fname;
    if (name.empty()) return {};
    if (name.front() == '/') return std::string(name);
    if (name.find('/') == std::string_view::npos) {
        // A program started through the search path is named without a
        // folder; only the kernel knows where it is.
        char* resolved = realpath("/proc/self/exe", nullptr);
        if (resolved == nullptr) return std::string(name);
        std::string path(resolved);
        free(resolved);
        return path;
    }
    // Relative to the folder the process was in when it loaded the file.
    char* cwd = getcwd(nullptr, 0);
    if (cwd == nullptr) return std::string(name);
    std::string path(cwd);
    free(cwd);
    while (name.starts_with("./")) name.remove_prefix(2);
    if (path != "/") path += '/';
    path += name;
    return path;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// The library is linked never to be unmapped (-z nodelete).
std::shared_ptr<void> KeepOwnModuleLoaded() { return nullptr; }

bool PathExists(const std::string& path) {
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0;
}

bool FolderWritable(const std::string& folder) {
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

namespace {

// The user's configuration folder as the XDG base directories define it:
// $XDG_CONFIG_HOME when it is an absolute path, otherwise ~/.config.
std::string ConfigHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') return xdg;
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') {
        const passwd* user = ::getpwuid(::geteuid());
        if (user == nullptr || user->pw_dir == nullptr || user->pw_dir[0] != '/') return {};
        home = user->pw_dir;
    }
    return std::string(home) + "/.config";
}

}  // namespace

std::string UserSettingsFolder() {
    const std::string home = ConfigHome();
    return home.empty() ? home : home + "/orbisk";
}

std::string UnsafeSettingsPath(const std::string& path, bool folder) {
    // As ssh treats its folder: the target of a link counts, and root's
    // files are as safe as the user's own.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT ? std::string() : "Orbisk cannot check " + path + ": " + std::strerror(errno);
    std::string why;
    if (folder ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode))
        why = folder ? "it is not a folder" : "it is not a file";
    else if (st.st_uid != ::geteuid() && st.st_uid != 0)
        why = "it belongs to another user";
    else if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        why = "group or others may write to it (chmod go-w " + path + ")";
    if (why.empty()) return why;
    return "Orbisk does not use " + path + ": " + why + ", and its settings name a command Orbisk runs";
}

std::string MakeSettingsFolder(const std::string& folder) {
    // mkdir -p; new folders are the user's alone.
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return "Orbisk cannot make its settings folder " + part + ": " + std::strerror(errno);
        if (slash == std::string::npos) return {};
    }
}

}  // namespace orbisk
