#pragma once
// The Win32 system services with the watch of a started command chosen by
// the caller: MakeSystemServices watches for CommandWatchMs; tests under
// Wine, where a process takes longer than that to start, watch for longer.
#include <memory>

#include "platform/system_services.h"

namespace orbisk {

std::unique_ptr<SystemServices> MakeWin32SystemServices(int commandWatchMs);

}  // namespace orbisk
