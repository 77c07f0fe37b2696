#pragma once
// The window in which the user looks over a remote's keys before importing
// them, and names the remote.
#include <windows.h>

#include <optional>
#include <string>

#include "dialog/setup_view.h"

namespace orbisk::win32 {

// Modal over owner, from module's resources; the name as the user left it,
// or nothing when cancelled.
std::optional<std::string> ShowImportPreview(HMODULE module, HWND owner, const ImportPreview& preview);

}  // namespace orbisk::win32
