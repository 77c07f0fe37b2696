#include "platform/host_messenger.h"

namespace orbisk {
namespace {

// The host's send runs on the engine thread itself, so nothing the joining
// thread does is needed to finish it.
class CallbackMessenger final : public HostMessenger {
public:
    void Send(OrbiskHostWindow* window, std::uint32_t message, std::uintptr_t wparam,
              std::intptr_t lparam) override {
        if (window->send != nullptr) window->send(window, message, wparam, lparam);
    }
    void Join(std::thread& thread) override { thread.join(); }
};

}  // namespace

std::unique_ptr<HostMessenger> MakeHostMessenger() { return std::make_unique<CallbackMessenger>(); }

}  // namespace orbisk
