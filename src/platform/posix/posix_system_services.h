#pragma once
// The POSIX system services with the system log socket chosen by the caller:
// MakeSystemServices uses /dev/log; tests listen on a socket of their own.
#include <memory>
#include <string>

#include "platform/system_services.h"

namespace orbisk {

std::unique_ptr<SystemServices> MakePosixSystemServices(std::string logSocketPath);

}  // namespace orbisk
