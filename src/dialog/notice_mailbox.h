#pragma once
// The engine's notices on their way to the dialog's thread.  The engine
// reports every new code, and noise brings thousands a second; a message per
// notice fills the dialog's queue faster than it can show them, and it stays
// busy with stale codes long after the noise ends.  So the mailbox keeps only
// the latest state, at most one wake-up is outstanding, and the dialog, once
// woken, takes what changed since it last looked.
#include <cstdint>
#include <mutex>

namespace orbisk {

class SetupPresenter;

class NoticeMailbox {
public:
    // Any thread: keeps a key-down or key-up notice (others are ignored).
    // True when no wake-up is outstanding: the caller then posts one.
    bool Put(std::uint32_t message, std::uint32_t wparam, std::uint32_t lparam);
    // The dialog's thread: gives the presenter the latest code if a key went
    // down since the last delivery, then the release if the key is up now.
    // The next Put asks for a wake-up again.
    void Deliver(SetupPresenter& presenter);

private:
    std::mutex mutex_;
    bool wakeUpOutstanding_ = false;
    bool down_ = false;  // a key went down since the last delivery
    std::uint32_t high_ = 0, low_ = 0;  // the code it went down with last
    bool released_ = false;  // the latest notice was a release
};

}  // namespace orbisk
