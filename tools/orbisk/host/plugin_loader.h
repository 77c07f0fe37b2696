#pragma once
// Loads the plug-in library the way a host does and gives its entry points.
#include <string>

#include "orbisk/host.h"
#include "plugin/settings_place.h"

namespace orbisk::tool {

class LoadedPlugin {
public:
    LoadedPlugin() = default;
    ~LoadedPlugin();
    LoadedPlugin(const LoadedPlugin&) = delete;
    LoadedPlugin& operator=(const LoadedPlugin&) = delete;

    // False with a one-line reason when the library or an entry point is
    // missing.
    bool Load(const std::string& path, std::string& error);

    OrbiskOpenFn Open = nullptr;
    OrbiskVoidFn Start = nullptr;
    OrbiskVoidFn Stop = nullptr;
    OrbiskVoidFn Setup = nullptr;
    OrbiskVoidFn Close = nullptr;
    void** SetupForm = nullptr;  // the exported dialog variable

private:
    void* handle_ = nullptr;
};

// The plug-in beside the orbisk program, or else the one in the folder a
// system installation puts it in.
std::string DefaultPluginPath();

// Where that plug-in keeps its settings file and its port links (see
// SystemSettingsPlace); with make false nothing is created.
SettingsPlace DefaultSettingsPlace(bool make = true);

// The platform's part (posix/ or win32/): the plug-in's file name, loading a
// library (null with a one-line reason) and finding an exported symbol in it.
extern const char PluginFileName[];
void* LoadLibraryFile(const std::string& path, std::string& error);
void* FindLibrarySymbol(void* library, const char* name);

// A host information record that reports a version word
// (ORBISK_HOST_VERSION(a, b, c) for version a.b.c).
struct HostInfoRecord {
    unsigned char bytes[64] = {};
    explicit HostInfoRecord(std::uint32_t version) { OrbiskSetHostVersion(bytes, version); }
};

}  // namespace orbisk::tool
