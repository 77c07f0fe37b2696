// The library's exported entry points: plain C names over the one Plugin
// instance of this loaded library.  ORBISK_EXPORT comes from the build: the
// platform's way of marking a symbol exported (empty where a module
// definition file lists the exports).
#include <memory>

#include "dialog/setup_dialog.h"
#include "orbisk/host.h"
#include "platform/host_messenger.h"
#include "platform/module_path.h"
#include "platform/serial_device.h"
#include "platform/system_clock.h"
#include "platform/system_services.h"
#include "plugin/plugin.h"

extern "C" {
ORBISK_EXPORT void* _SetupForm = nullptr;
}

namespace {

struct Module {
    std::unique_ptr<orbisk::SystemServices> system = orbisk::MakeSystemServices();
    std::unique_ptr<orbisk::HostMessenger> messenger = orbisk::MakeHostMessenger();
    std::unique_ptr<orbisk::SetupDialogFactory> dialogs = orbisk::MakeSetupDialogFactory(*system);
    orbisk::Plugin plugin{orbisk::Plugin::Platform{
        [](const std::string& libraryPath) {
            return orbisk::MakeSystemSerialPorts(orbisk::FolderOf(libraryPath) + "/ports");
        },
        system.get(), &orbisk::SystemTickClock(), dialogs.get(), &_SetupForm, messenger.get()}};
};

Module& TheModule() {
    static Module module;
    return module;
}

}  // namespace

extern "C" {

ORBISK_EXPORT const char* ORBISK_OPEN_CALL Open(const char* name, OrbiskHostWindow* window,
                                                const void* hostInfo) {
    return TheModule().plugin.Open(name, window, hostInfo, orbisk::OwnModulePath());
}

ORBISK_EXPORT void Start(void) { TheModule().plugin.Start(); }
ORBISK_EXPORT void Stop(void) { TheModule().plugin.Stop(); }
ORBISK_EXPORT void Setup(void) { TheModule().plugin.Setup(); }
ORBISK_EXPORT void Close(void) { TheModule().plugin.Close(); }

}
