// The stand-in view for builds without a GUI toolkit: Setup runs without a
// dialog, as it does when no display is available.
#include "dialog/setup_dialog.h"

namespace orbisk {

namespace {
class NoDialogFactory final : public SetupDialogFactory {
public:
    std::unique_ptr<SetupDialog> Create(DialogServices&) override { return nullptr; }
};
}  // namespace

std::unique_ptr<SetupDialogFactory> MakeSetupDialogFactory(SystemServices&) {
    return std::make_unique<NoDialogFactory>();
}

}  // namespace orbisk
