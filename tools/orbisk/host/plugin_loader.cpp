#include "host/plugin_loader.h"

#include "commands/commands.h"
#include "platform/module_path.h"

namespace orbisk::tool {

LoadedPlugin::~LoadedPlugin() {
    // The plug-in may have started a toolkit that keeps threads and handlers
    // until exit; unloading it under them is not safe, so it stays mapped.
}

bool LoadedPlugin::Load(const std::string& path, std::string& error) {
    handle_ = LoadLibraryFile(path, error);
    if (handle_ == nullptr) return false;
    const auto entry = [&](const char* name) -> void* {
        void* symbol = FindLibrarySymbol(handle_, name);
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

std::string DefaultPluginPath() {
    // ORBISK_PLUGIN_FOLDER is the installed plug-in's folder in a system
    // layout (the program in bin/, the plug-in under lib/), empty otherwise.
    // A plug-in beside the program wins: a build tree, a copy to try out.
    const std::string beside = InProgramFolder(PluginFileName);
    const std::string installed = ORBISK_PLUGIN_FOLDER;
    if (installed.empty() || PathExists(beside)) return beside;
    return installed + PathSeparator + PluginFileName;
}

SettingsPlace DefaultSettingsPlace(bool make) { return SystemSettingsPlace(DefaultPluginPath(), make); }

}  // namespace orbisk::tool
