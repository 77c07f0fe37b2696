#pragma once
// The seam between the plug-in's lifecycle and the setup dialog.  The plug-in
// creates the dialog through a factory chosen at build time (Qt on Linux, a
// native view later), shows it modally, and forwards the engine's notices to
// it from the engine thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "orbisk/host.h"
#include "receiver/analysis/protocol_table.h"

namespace orbisk {

struct Settings;
class SystemServices;

// The codes a press gave besides its key code, under which keys learned by
// earlier versions are stored: its frame's older code and its shape code.
// 0 where there is none other, or it is not known.
struct OlderCodes {
    std::uint64_t frame = 0;
    std::uint64_t shape = 0;
    bool operator==(const OlderCodes&) const = default;
};

// What the dialog may use of the plug-in.  Owned by the plug-in, it outlives
// every dialog: LastShownCode survives from one Setup to the next.
struct DialogServices {
    Settings& settings;
    std::string settingsPath;
    std::function<void()> start;  // Reset: Stop, then Start
    std::function<void()> stop;
    std::uint64_t LastShownCode = 0;
    // Set when the user closed the dialog without saving after a failed
    // save: Setup then writes nothing either and reloads the file.
    bool changesDiscarded = false;
    // The host's window given to Open: a native dialog is owned by it.
    OrbiskHostWindow* hostWindow = nullptr;
    // The frame recognised in the press whose key-down notice carried this
    // code; protocol None when it was not recognised (or is not known).
    std::function<IrFrame(std::uint64_t code)> frameOf{};
    // The other codes of that press.
    std::function<OlderCodes(std::uint64_t code)> olderCodesOf{};
    // The receiver's bytes of the latest burst that gave this code; empty
    // when another key came since.
    std::function<std::vector<std::uint8_t>(std::uint64_t code)> burstOf{};
};

class SetupDialog {
public:
    virtual ~SetupDialog() = default;
    // Runs the dialog modally; the settings file has been written when it
    // returns, unless the user chose to discard the changes
    // (DialogServices::changesDiscarded).
    virtual void ShowModal() = 0;
    // Called on the engine thread: queues a notice for the dialog's own
    // thread, also before the dialog is first shown.  Never blocks.
    virtual void PostNotice(std::uint32_t message, std::uint32_t wparam, std::uint32_t lparam) = 0;
    // The value the plug-in exports as _SetupForm.
    virtual void* Handle() = 0;
};

class SetupDialogFactory {
public:
    virtual ~SetupDialogFactory() = default;
    // Null when no dialog can be shown here (no display); the factory has then
    // told the user why.
    virtual std::unique_ptr<SetupDialog> Create(DialogServices& services) = 0;
};

// Provided by the view library linked into the plug-in.
std::unique_ptr<SetupDialogFactory> MakeSetupDialogFactory(SystemServices& system);

}  // namespace orbisk
