#include <windows.h>

#include "plugin/module.h"

namespace orbisk {
namespace {

Module* module = nullptr;

}  // namespace

Module& TheModule() {
    if (module == nullptr) module = new Module;
    return *module;
}

}  // namespace orbisk

// The module goes at unload, not as a static object: at process exit (a
// non-null reserved argument) Windows has already ended the other threads,
// and waiting for them or their locks would hold the exit for good, so
// nothing is touched then.  A FreeLibrary finds no thread of the library
// running: while one may run the library keeps itself loaded.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        delete orbisk::module;
        orbisk::module = nullptr;
    }
    return TRUE;
}
