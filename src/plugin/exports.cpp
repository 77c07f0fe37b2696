// The library's exported entry points: plain C names over the one Plugin
// instance of this loaded library.  ORBISK_EXPORT comes from the build: the
// platform's way of marking a symbol exported (empty where a module
// definition file lists the exports).
#include "orbisk/host.h"
#include "platform/module_path.h"
#include "plugin/module.h"

extern "C" {
ORBISK_EXPORT void* _SetupForm = nullptr;
}

extern "C" {

ORBISK_EXPORT const char* ORBISK_OPEN_CALL Open(const char* name, OrbiskHostWindow* window,
                                                const void* hostInfo) {
    return orbisk::TheModule().plugin.Open(name, window, hostInfo, orbisk::OwnModulePath());
}

ORBISK_EXPORT void Start(void) { orbisk::TheModule().plugin.Start(); }
ORBISK_EXPORT void Stop(void) { orbisk::TheModule().plugin.Stop(); }
ORBISK_EXPORT void Setup(void) { orbisk::TheModule().plugin.Setup(); }
ORBISK_EXPORT void Close(void) { orbisk::TheModule().plugin.Close(); }

}
