#pragma once
// The host side shared by our own hosts on Linux (orbisk run, orbisk serve).  The
// plug-in calls send on its engine thread and waits for it to return, so a
// host that prints or writes to a socket there can hold the engine, and with
// it Stop, for as long as its output is blocked.  HostEventQueue instead
// copies each key message out of the record and queues it; the host's main
// thread takes the events when its wake-up descriptor turns readable and
// writes them at its own pace.
//
// The queue also remembers the key the plug-in last reported down.  The
// plug-in sends no release when it is stopped while a key is held (a host
// may count on silence after Stop), so our hosts end such a key themselves
// with EndHeldKey.
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/key_lines.h"
#include "orbisk/host.h"

namespace orbisk::tool {

// Standard output or error written without ever waiting for its reader,
// who may stop reading for good.  A pipe or terminal gets a description of
// its own in non-blocking mode in place of the inherited one (so every
// writer in this process stops waiting, and the processes that share the
// old one keep its mode); a socket is sent to without waiting; a file never
// waits.
class NonBlockingOutput {
public:
    explicit NonBlockingOutput(int fd);

    // The bytes taken now: 0 when the output takes none without waiting,
    // -1 when it is gone (closed by its reader, or an error).
    long Write(std::string_view bytes);
    int Fd() const { return fd_; }

private:
    int fd_;
    bool socket_ = false;
    bool polled_ = false;  // could not be reopened: small writes once poll allows
};

class HostEventQueue {
public:
    // Bounded: a host whose output stays blocked while a remote (or line
    // noise) goes on sending must not grow without limit.  4096 events are
    // minutes of normal use; what does not fit is dropped and counted.
    static constexpr std::size_t DefaultCapacity = 4096;

    explicit HostEventQueue(std::size_t capacity = DefaultCapacity);
    ~HostEventQueue();
    HostEventQueue(const HostEventQueue&) = delete;
    HostEventQueue& operator=(const HostEventQueue&) = delete;

    // The window to pass to Open: its send queues every key message.
    OrbiskHostWindow* Window() { return &window_.base; }

    // Any thread (the engine's, inside send).  Never waits for the consumer.
    void Push(HostKeyEvent event);

    // Readable while events wait to be taken; for poll on the main thread.
    // -1 when the descriptor could not be made (then poll Take instead).
    int WakeFd() const { return wake_[0]; }

    using Batch = HostKeyBatch;
    // Everything queued, and the wake-up descriptor drained.
    Batch Take();

    // The key the plug-in last pressed or repeated and has not released.
    std::optional<HostKeyEvent> HeldKey() const;

    // Call once the plug-in has stopped (its Stop returned): queues a release
    // of the held key, whatever room is left, and forgets it.  True when
    // there was one.
    bool EndHeldKey();

private:
    // Standard layout with the host window first, so send can find us.
    struct QueueWindow {
        OrbiskHostWindow base;
        HostEventQueue* owner;
    };
    static std::intptr_t Send(OrbiskHostWindow* self, std::uint32_t message, std::uintptr_t wparam,
                              std::intptr_t lparam);
    void Append(HostKeyEvent event, bool bounded);

    QueueWindow window_{{&HostEventQueue::Send}, this};
    const std::size_t capacity_;
    mutable std::mutex mutex_;
    std::vector<HostKeyEvent> events_;
    std::uint64_t dropped_ = 0;
    std::optional<HostKeyEvent> held_;
    bool wakeSent_ = false;
    int wake_[2] = {-1, -1};
};

}  // namespace orbisk::tool
