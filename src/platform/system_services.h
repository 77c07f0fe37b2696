#pragma once
// What the plug-in needs of the operating system besides the serial port:
// a way to tell the user about an error, the system event log, and starting a
// command line hidden and detached.
#include <memory>
#include <string>
#include <string_view>

namespace orbisk {

class SystemServices {
public:
    virtual ~SystemServices() = default;

    // A modal error box with the caption "RAYCAP.QM Support", the error icon
    // and an OK button; returns when the user has dismissed it.
    virtual void ShowError(std::string_view text) = 0;

    // One error entry in the system log under the source "Vantrel Orbisk".
    // It leaves the process's own logging settings alone (a host may log
    // under its own name).  Where the platform has a console for the
    // plug-in's reports (standard error on POSIX) the entry goes there too,
    // so that a host run from a terminal shows it.  Any thread may call it.
    virtual void LogError(std::string_view text) = 0;

    // Starts the command line hidden and detached, and watches it for
    // CommandWatchMs only; never waits for it to end.  False when it could
    // not be started (the line is empty, the program is not found or cannot
    // be run, no process could be made) or ended with a non-zero exit
    // status within the watch, as a line with a syntax error does.
    virtual bool StartHidden(const std::string& commandLine) = 0;
};

// How long StartHidden watches a command for an early failure.
inline constexpr int CommandWatchMs = 250;

std::unique_ptr<SystemServices> MakeSystemServices();

// Where the message boxes go.  The dialog layer installs one that shows a
// real box when a GUI application exists; null restores the platform's own.
class MessageBoxPresenter {
public:
    virtual ~MessageBoxPresenter() = default;
    // Returns false when it cannot show a box now (no GUI); the caller then
    // falls back to the platform's plain report.
    virtual bool ShowError(std::string_view caption, std::string_view text) = 0;
};
void SetMessageBoxPresenter(MessageBoxPresenter* presenter);
MessageBoxPresenter* CurrentMessageBoxPresenter();

}  // namespace orbisk
