#pragma once
// Small helpers the orbisk program's Windows parts share.
#include <windows.h>

#include <string>

namespace orbisk::tool {

// The system's text for an error code, without the trailing line break.
std::string SystemErrorText(DWORD code);

// A manual-reset event set by Ctrl-C, Ctrl-Break or the console closing,
// which then no longer end the process.  Installed on first use.
HANDLE ConsoleStopEvent();

}  // namespace orbisk::tool
