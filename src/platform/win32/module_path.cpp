#include "platform/module_path.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

namespace orbisk {

std::string OwnModulePath() {
    // The module that holds this function: orbisk.dll inside a host, not the
    // host's executable.  Its name comes wide and goes on as UTF-8, so that a
    // folder outside the ANSI code page keeps its name.
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&OwnModulePath), &self))
        return {};
    // The name is cut (and the result equals the size) when the buffer is too
    // small; grow until it fits.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return win32::Narrow(path);
        }
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
}

std::string FolderOf(const std::string& path) {
    const auto separator = path.find_last_of("\\/");
    if (separator == std::string::npos) {
        // "C:name" lies in the current folder of drive C.
        if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
        return ".";
    }
    // The root of a drive or of the current drive keeps its separator.
    if (separator == 0 || (separator == 2 && path[1] == ':')) return path.substr(0, separator + 1);
    return path.substr(0, separator);
}

std::shared_ptr<void> KeepOwnModuleLoaded() {
    // One more reference to this module, given back with the result: a host
    // that frees the library meanwhile leaves it loaded, and running, rather
    // than unloading code that a thread still executes.
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&KeepOwnModuleLoaded), &self))
        return nullptr;
    return std::shared_ptr<void>(self, [](void* module) { FreeLibrary(static_cast<HMODULE>(module)); });
}

bool PathExists(const std::string& path) {
    return GetFileAttributesW(win32::Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool FolderWritable(const std::string&) {
    // Never asked: the settings stay beside the DLL on Windows.
    return true;
}

std::string UserSettingsFolder() { return {}; }
std::string UnsafeSettingsPath(const std::string&, bool) { return {}; }
std::string MakeSettingsFolder(const std::string&) { return {}; }

}  // namespace orbisk
