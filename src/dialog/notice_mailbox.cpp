#include "dialog/notice_mailbox.h"

#include <utility>

#include "dialog/setup_presenter.h"
#include "orbisk/host.h"

namespace orbisk {

bool NoticeMailbox::Put(std::uint32_t message, std::uint32_t wparam, std::uint32_t lparam) {
    const std::lock_guard lock(mutex_);
    if (message == ORBISK_KEY_DOWN_NOTICE) {
        down_ = true;
        high_ = wparam;
        low_ = lparam;
        released_ = false;
    } else if (message == ORBISK_KEY_UP_NOTICE) {
        released_ = true;
    } else {
        return false;
    }
    return !std::exchange(wakeUpOutstanding_, true);
}

void NoticeMailbox::Deliver(SetupPresenter& presenter) {
    bool down, released;
    std::uint32_t high, low;
    {
        const std::lock_guard lock(mutex_);
        down = std::exchange(down_, false);
        released = std::exchange(released_, false);
        high = high_;
        low = low_;
        wakeUpOutstanding_ = false;
    }
    // Outside the lock: the presenter may take its time, and the engine
    // must never wait for the dialog.
    if (down) presenter.KeyDownNotice(high, low);
    if (released) presenter.KeyUpNotice();
}

}  // namespace orbisk
