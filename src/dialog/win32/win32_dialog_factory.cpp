// The native setup dialog as the plug-in sees it.  Windows shows message
// boxes from any thread by itself, so unlike the Qt view this factory leaves
// the platform's message boxes alone.
#include <memory>

#include "dialog/setup_dialog.h"
#include "dialog/win32/setup_form.h"
#include "platform/system_services.h"

namespace orbisk {

namespace {

constexpr char NoWindowMessage[] = "The setup dialog cannot be shown: its window could not be created.";

class Win32SetupDialogFactory final : public SetupDialogFactory {
public:
    explicit Win32SetupDialogFactory(SystemServices& system) : system_(system) {}

    std::unique_ptr<SetupDialog> Create(DialogServices& services) override {
        std::unique_ptr<SetupDialog> form = TSetupForm::Create(services);
        if (form == nullptr) system_.ShowError(NoWindowMessage);
        return form;
    }

private:
    SystemServices& system_;
};

}  // namespace

std::unique_ptr<SetupDialogFactory> MakeSetupDialogFactory(SystemServices& system) {
    return std::make_unique<Win32SetupDialogFactory>(system);
}

}  // namespace orbisk
