#pragma once
// How key messages reach the host's window, and how the host's thread waits
// for the engine thread.  The wait is the platform's business because the
// engine may be inside a synchronous message to a window that the waiting
// thread itself owns: where that is possible the wait must keep serving such
// messages, or Stop and the message wait for each other for ever.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "orbisk/host.h"

namespace orbisk {

class HostMessenger {
public:
    virtual ~HostMessenger() = default;

    // Engine thread: one synchronous message to the host window; returns once
    // the host has handled it.  The window is never null.
    virtual void Send(OrbiskHostWindow* window, std::uint32_t message, std::uintptr_t wparam,
                      std::intptr_t lparam) = 0;

    // The host's thread: returns when the thread has ended and is joined.
    virtual void Join(std::thread& thread) = 0;

    // The host's thread: returns once done() holds, which the engine thread
    // brings about, perhaps by a key message to the host window.
    virtual void WaitUntil(const std::function<bool()>& done) { Poll(done); }
    static void Poll(const std::function<bool()>& done) {
        while (!done()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    // Asked while the engine thread is inside a key message: true when the
    // calling thread may be the one handling it, which the engine then waits
    // for.  Where the host's handler runs on the sending thread, that is the
    // engine thread itself.
    virtual bool ServesSendOf(std::thread::id engine) const { return std::this_thread::get_id() == engine; }
};

std::unique_ptr<HostMessenger> MakeHostMessenger();

}  // namespace orbisk
