#include "platform/host_messenger.h"

#include <pthread.h>
#include <windows.h>

namespace orbisk {
namespace {

class WindowMessenger final : public HostMessenger {
public:
    void Send(OrbiskHostWindow* window, std::uint32_t message, std::uintptr_t wparam,
              std::intptr_t lparam) override {
        SendMessageA(window, message, static_cast<WPARAM>(wparam), static_cast<LPARAM>(lparam));
    }

    // The host calls Stop on the thread that owns its window, while the engine
    // may be inside SendMessageA to that window: a plain join would wait for a
    // thread that waits for us.  So the wait also serves messages sent to this
    // thread; PeekMessage delivers them without taking posted ones off the queue.
    void Join(std::thread& thread) override {
        const HANDLE handle = static_cast<HANDLE>(pthread_gethandle(thread.native_handle()));
        if (handle != nullptr) {
            for (;;) {
                MSG msg;
                PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
                const DWORD woken = MsgWaitForMultipleObjectsEx(1, &handle, INFINITE, QS_SENDMESSAGE,
                                                                MWMO_INPUTAVAILABLE);
                if (woken != WAIT_OBJECT_0 + 1) break;  // ended, or the wait failed
            }
        }
        thread.join();
    }

    // As Join, for a condition the engine thread brings about: the messages
    // it sends to this thread are served while waiting.
    void WaitUntil(const std::function<bool()>& done) override {
        while (!done()) {
            MSG msg;
            PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
            MsgWaitForMultipleObjectsEx(0, nullptr, 1, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
        }
    }

    // The engine's key message runs the host's window procedure on this
    // thread as a message sent from another one.  The engine marks its send,
    // so only a message from another thread while it is in one counts.
    bool ServesSendOf(std::thread::id) const override { return InSendMessage() != FALSE; }
};

}  // namespace

std::unique_ptr<HostMessenger> MakeHostMessenger() { return std::make_unique<WindowMessenger>(); }

}  // namespace orbisk
