#include "plugin_loader.h"

#include <dlfcn.h>

#include "commands.h"

namespace orbisk::tool {

LoadedPlugin::~LoadedPlugin() {
    // The plug-in may have started a toolkit that keeps threads and handlers
    // until exit; unloading it under them is not safe, so it stays mapped.
}

bool LoadedPlugin::Load(const std::string& path, std::string& error) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* why = dlerror();
        error = "cannot load " + path + ": " + (why ? why : "unknown error");
        return false;
    }
    const auto entry = [&](const char* name) -> void* {
        void* symbol = dlsym(handle_, name);
        if (symbol == nullptr && error.empty()) error = path + " does not export " + name;
        return symbol;
    };
    Open = reinterpret_cast<OrbiskOpenFn>(entry("Open"));
    Start = reinterpret_cast<OrbiskVoidFn>(entry("Start"));
    Stop = reinterpret_cast<OrbiskVoidFn>(entry("Stop"));
    Setup = reinterpret_cast<OrbiskVoidFn>(entry("Setup"));
    Close = reinterpret_cast<OrbiskVoidFn>(entry("Close"));
    SetupForm = static_cast<void**>(entry("_SetupForm"));
    return error.empty();
}

std::string DefaultPluginPath() { return ProgramFolder() + "/orbisk.so"; }

}  // namespace orbisk::tool
