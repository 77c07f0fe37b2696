#pragma once
// The window in which the user looks over a remote's keys before importing
// them, and names the remote.
#include <optional>
#include <string>

#include "dialog/setup_view.h"

class QWidget;

namespace orbisk::qt {

// Modal over parent; the name as the user left it, or nothing when cancelled.
std::optional<std::string> ShowImportPreview(QWidget* parent, const ImportPreview& preview);

}  // namespace orbisk::qt
