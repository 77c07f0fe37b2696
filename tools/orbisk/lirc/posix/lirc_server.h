#pragma once
// The Unix socket side of `orbisk serve`: the listening socket (made here, or
// passed in by systemd) and the connected clients, all served from one
// thread with poll.  Writes never block: what a client does not take stays
// in its bounded queue, and a client whose queue overflows is dropped.
#include <poll.h>
#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/posix/host_events.h"
#include "lirc/lirc_protocol.h"

namespace orbisk::tool::lirc {

// $XDG_RUNTIME_DIR/lircd for a user, /run/lirc/lircd for root (and for a
// user without a runtime folder, where the bind then says why it fails).
std::string DefaultSocketPath();

class Listener {
public:
    Listener() = default;
    ~Listener() { Close(); }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    // Binds path with these permissions.  A socket file that no one answers
    // on is stale and replaced; one that a live daemon answers on is refused,
    // as is a path that is no socket.
    bool Open(const std::string& path, mode_t mode, std::string& error);
    // Takes the one socket that systemd passes in; false when there is none.
    bool FromSystemd(std::string& error);

    int Fd() const { return fd_; }
    const std::string& Path() const { return path_; }
    bool Activated() const { return activated_; }
    // Closes, and removes the socket file this listener made if it is still
    // there.
    void Close();

private:
    int fd_ = -1;
    std::string path_;
    std::pair<dev_t, ino_t> made_{};  // the socket file bound, as lstat knows it
    bool activated_ = false;
};

class Server {
public:
    Server(int listenFd, std::size_t clientOutputLimit = Client::DefaultOutputLimit)
        : listenFd_(listenFd), outputLimit_(clientOutputLimit) {}
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    void SetCatalogue(Catalogue catalogue) { catalogue_ = std::make_shared<const Catalogue>(std::move(catalogue)); }

    // Where the summaries of drops and other notices go (otherwise standard
    // error as it is).
    void LogTo(NonBlockingOutput& log) { log_ = &log; }
    // Counts a notice for the next summary.
    void Note(std::string_view what, std::uint64_t times = 1) { notices_.Count(what, times); }

    // Queues bytes to every client and writes what each takes now.
    void Broadcast(std::string_view bytes);

    // Broadcasts the lines of a batch of key events.
    void Forward(const HostEventQueue::Batch& batch, const BroadcastOptions& options);

    // Waits up to timeoutMs for the listener, the clients and the extra
    // descriptors (whose revents it fills).  When an extra one is ready it
    // returns at once, for the caller to act on first (a stop, key events);
    // otherwise it accepts, reads and writes what is ready, for at most
    // PassTime: ready clients left over are served first by the next call.
    void Poll(std::vector<pollfd>& extra, int timeoutMs);
    static constexpr std::chrono::milliseconds PassTime{20};

    // From now on nothing is accepted, read or answered: only what is
    // already queued (a reply under way, key lines) is still written.
    void StopServing() { stopping_ = true; }
    // Stops serving, gives clients up to timeoutMs to take what is queued
    // for them, then writes the last summary.
    void Drain(int timeoutMs);

    std::size_t ClientCount() const { return clients_.size(); }
    std::uint64_t DroppedClients() const { return dropped_; }
    std::size_t QueuedBytes() const;

private:
    void Accept();
    void Read(int fd);
    // Writes what the client takes, and answers its commands while it takes
    // everything, the pass lasts and the server serves.  False when the
    // client is gone.
    bool Serve(int fd, Client& client);
    bool Write(int fd, Client& client);
    void Drop(int fd, const char* why);
    // Writes the summary when it is due, never waiting for the log's reader.
    void Report(bool force);

    int listenFd_;
    std::size_t outputLimit_;
    // Shared with the replies still being sent when it is replaced.
    std::shared_ptr<const Catalogue> catalogue_ = std::make_shared<const Catalogue>();
    std::map<int, Client> clients_;
    std::uint64_t dropped_ = 0;
    Notices notices_{"orbisk serve: "};
    NonBlockingOutput* log_ = nullptr;
    Broadcaster broadcaster_;
    std::vector<pollfd> fds_;
    // Out of descriptors, the listener stays readable: it is left out of the
    // poll for a moment instead of spinning on it.
    std::chrono::steady_clock::time_point acceptPausedUntil_{};
    // When the pass under way ends; a client is served only before then.
    std::chrono::steady_clock::time_point passEnd_{};
    int resumeAfter_ = -1;  // the next pass starts with the first client after this one
    bool stopping_ = false;
};

}  // namespace orbisk::tool::lirc
