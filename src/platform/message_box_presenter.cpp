// The message-box hook is the same on every platform.
#include <atomic>

#include "platform/system_services.h"

namespace orbisk {
namespace {
std::atomic<MessageBoxPresenter*> g_presenter{nullptr};
}  // namespace

void SetMessageBoxPresenter(MessageBoxPresenter* presenter) {
    g_presenter.store(presenter, std::memory_order_release);
}

MessageBoxPresenter* CurrentMessageBoxPresenter() { return g_presenter.load(std::memory_order_acquire); }

}  // namespace orbisk
