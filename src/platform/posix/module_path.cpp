#include "platform/module_path.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

namespace orbisk {

std::string OwnModulePath() {
    // dladdr on a symbol of this object names the file it was loaded from,
    // whether that is orbisk.so or the orbisk program; realpath makes it
    // absolute however the host spelled it.
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&OwnModulePath), &info) == 0 || info.dli_fname == nullptr)
        return {};
    char* resolved = realpath(info.dli_fname, nullptr);
    if (resolved == nullptr) return info.dli_fname;
    std::string path(resolved);
    free(resolved);
    return path;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

}  // namespace orbisk
