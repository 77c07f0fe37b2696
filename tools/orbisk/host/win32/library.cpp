// Loading the plug-in as a Windows host does.
#include <windows.h>

#include "host/plugin_loader.h"
#include "commands/win32/win32_text.h"

namespace orbisk::tool {

const char PluginFileName[] = "orbisk.dll";

void* LoadLibraryFile(const std::string& path, std::string& error) {
    HMODULE library = LoadLibraryA(path.c_str());
    if (library == nullptr) error = "cannot load " + path + ": " + SystemErrorText(GetLastError());
    return reinterpret_cast<void*>(library);
}

void* FindLibrarySymbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

}  // namespace orbisk::tool
