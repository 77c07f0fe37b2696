// Loading the plug-in with the dynamic linker.
#include <dlfcn.h>

#include "host/plugin_loader.h"

namespace orbisk::tool {

const char PluginFileName[] = "orbisk.so";

void* LoadLibraryFile(const std::string& path, std::string& error) {
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = dlerror();
        error = "cannot load " + path + ": " + (why ? why : "unknown error");
    }
    return library;
}

void* FindLibrarySymbol(void* library, const char* name) { return dlsym(library, name); }

}  // namespace orbisk::tool
