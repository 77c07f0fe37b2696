#pragma once
// Qt ends the whole process when none of the platforms it tries can start (a
// display named but unreachable, an unknown QT_QPA_PLATFORM).  Inside a host
// that would take the host down, so the dialog finds a platform that can
// start before it makes the application, and names it to Qt.
#include <string>

namespace orbisk::qt {

struct DisplayChoice {
    std::string platform;  // the QT_QPA_PLATFORM entry to start ("xcb", "wayland:opts")
    std::string problem;   // why no platform can start; empty when one can
};

// The first of the platforms Qt would try that can start here.
DisplayChoice ChooseDisplay();

}  // namespace orbisk::qt
