#pragma once
// The one Plugin instance of a loaded library with the platform parts it
// runs on.  Where it lives and when it goes is the platform's business: the
// library's end differs between a process that exits and one that unloads.
#include <memory>

#include "dialog/setup_dialog.h"
#include "platform/host_messenger.h"
#include "platform/module_path.h"
#include "platform/serial_device.h"
#include "platform/system_clock.h"
#include "platform/system_services.h"
#include "plugin/plugin.h"
#include "plugin/settings_place.h"

extern "C" {
extern void* _SetupForm;
}

namespace orbisk {

struct Module {
    std::unique_ptr<SystemServices> system = MakeSystemServices();
    std::unique_ptr<HostMessenger> messenger = MakeHostMessenger();
    std::unique_ptr<SetupDialogFactory> dialogs = MakeSetupDialogFactory(*system);
    Plugin plugin{Plugin::Platform{
        [](const std::string& portFolder) { return MakeSystemSerialPorts(portFolder); },
        system.get(), &SystemTickClock(), dialogs.get(), &_SetupForm, messenger.get(), &KeepOwnModuleLoaded,
        [](const std::string& library) { return SystemSettingsPlace(library); }}};
};

Module& TheModule();

}  // namespace orbisk
