#include "platform/module_path.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

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

}  // namespace orbisk
