#include "lirc/posix/lirc_server.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace orbisk::tool::lirc {

namespace {

bool Address(const std::string& path, sockaddr_un& address, std::string& error) {
    address = {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        error = "socket path '" + path + "' is empty or longer than " + std::to_string(sizeof address.sun_path - 1) +
                " bytes";
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

std::string Reason(const std::string& what) { return what + ": " + std::strerror(errno); }

// Whether a daemon answers on the socket file at path.
enum class Probe { Live, Stale, Unknown };
Probe ProbeSocket(const sockaddr_un& address) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return Probe::Unknown;
    Probe result = Probe::Unknown;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 || errno == EAGAIN)
        result = Probe::Live;  // EAGAIN: its backlog is full, but it is there
    else if (errno == ECONNREFUSED)
        result = Probe::Stale;
    ::close(fd);
    return result;
}

}  // namespace

std::string DefaultSocketPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (::geteuid() != 0 && runtime != nullptr && runtime[0] == '/') return std::string(runtime) + "/lircd";
    return "/run/lirc/lircd";
}

bool Listener::Open(const std::string& path, mode_t mode, std::string& error) {
    Close();
    sockaddr_un address;
    if (!Address(path, address, error)) return false;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            error = path + " exists and is not a socket; not replacing it";
            return false;
        }
        switch (ProbeSocket(address)) {
        case Probe::Live:
            error = path + " is in use: a running daemon answers on it (stop it, or choose --socket)";
            return false;
        case Probe::Unknown:
            error = Reason("cannot tell whether " + path + " is in use");
            return false;
        case Probe::Stale:
            if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
                error = Reason("cannot replace the stale socket " + path);
                return false;
            }
            break;
        }
    }
    // The LIRC daemon's folder under /run may not exist without its package.
    // A name without a folder is bound in the current one.
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash);
    if (!folder.empty() && ::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
        error = Reason("cannot create " + folder);
        return false;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error = Reason("cannot create a socket");
        return false;
    }
    // Bound owner-only, then opened up to the mode asked for: no moment in
    // which the socket is wider open than that.
    const mode_t oldMask = ::umask(0177);
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::umask(oldMask);
    if (!bound) {
        error = Reason("cannot bind " + path);
        ::close(fd);
        return false;
    }
    fd_ = fd;
    path_ = path;
    struct stat made {};
    if (::lstat(path.c_str(), &made) == 0) made_ = {made.st_dev, made.st_ino};
    if (::chmod(path.c_str(), mode) != 0 || ::listen(fd, SOMAXCONN) != 0) {
        error = Reason("cannot listen on " + path);
        Close();
        return false;
    }
    return true;
}

bool Listener::FromSystemd(std::string& error) {
    const int count = sd_listen_fds(1);
    if (count <= 0) return false;
    const int fd = SD_LISTEN_FDS_START;
    if (count != 1 || sd_is_socket_unix(fd, SOCK_STREAM, 1, nullptr, 0) <= 0) {
        error = "systemd passed " + std::to_string(count) + " sockets; expected one listening Unix stream socket";
        return false;
    }
    // Accept drains the backlog until it would block: never block in it.
    if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK) != 0) {
        error = Reason("cannot use the socket systemd passed");
        return false;
    }
    fd_ = fd;
    activated_ = true;
    sockaddr_un address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) path_ = address.sun_path;
    return true;
}

void Listener::Close() {
    if (fd_ < 0) return;
    ::close(fd_);
    // A socket systemd passed in is systemd's to remove, and one that has
    // been replaced at the path (by a server started meanwhile) is its own.
    struct stat st {};
    if (!activated_ && !path_.empty() && ::lstat(path_.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) &&
        made_ == std::pair{st.st_dev, st.st_ino})
        ::unlink(path_.c_str());
    fd_ = -1;
    path_.clear();
    made_ = {};
    activated_ = false;
}

Server::~Server() {
    for (const auto& [fd, client] : clients_) ::close(fd);
}

void Server::Broadcast(std::string_view bytes) {
    std::vector<int> gone;
    for (auto& [fd, client] : clients_)
        if (!client.Queue(bytes) || !Serve(fd, client)) gone.push_back(fd);
    for (const int fd : gone) Drop(fd, "it stopped reading");
}

void Server::Forward(const HostEventQueue::Batch& batch, const BroadcastOptions& options) {
    for (const HostKeyEvent& event : batch.events)
        if (const std::string lines = broadcaster_.Lines(event, options, *catalogue_); !lines.empty()) Broadcast(lines);
}

namespace {

bool Over(std::chrono::steady_clock::time_point end) { return std::chrono::steady_clock::now() >= end; }

}  // namespace

void Server::Poll(std::vector<pollfd>& extra, int timeoutMs) {
    fds_.assign(extra.begin(), extra.end());
    const auto now = std::chrono::steady_clock::now();
    const bool accepting = !stopping_ && now >= acceptPausedUntil_;
    if (!stopping_ && !accepting) timeoutMs = timeoutMs < 0 ? 100 : std::min(timeoutMs, 100);
    if (const auto due = notices_.DueAt()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(*due - now).count();
        const int dueMs = static_cast<int>(std::clamp<long long>(left, 0, 1000));
        timeoutMs = timeoutMs < 0 ? dueMs : std::min(timeoutMs, dueMs);
    }
    fds_.push_back({listenFd_, static_cast<short>(accepting ? POLLIN : 0), 0});
    // A client with commands still to answer is not read from until they
    // are: its own sends then wait, and nothing piles up here.  Stopped,
    // only what is queued goes out.
    for (const auto& [fd, client] : clients_) {
        const bool answering = !stopping_ && !client.WantsInput();
        fds_.push_back({fd, static_cast<short>((!stopping_ && client.WantsInput() ? POLLIN : 0) |
                                               (client.PendingBytes() > 0 || answering ? POLLOUT : 0)),
                        0});
    }
    const int ready = ::poll(fds_.data(), fds_.size(), timeoutMs);
    Report(false);
    for (std::size_t i = 0; i < extra.size(); ++i) extra[i].revents = ready > 0 ? fds_[i].revents : 0;
    if (ready <= 0 || std::any_of(extra.begin(), extra.end(), [](const pollfd& p) { return p.revents != 0; }))
        return;
    // However many clients are ready, the caller hears of a stop or a key
    // within a pass's time.
    passEnd_ = std::chrono::steady_clock::now() + PassTime;
    if (fds_[extra.size()].revents & POLLIN) Accept();
    // The clients in descriptor order (the map's), from where the last pass
    // stopped: a flood on the first ones cannot starve the others.
    const auto first = fds_.begin() + static_cast<std::ptrdiff_t>(extra.size()) + 1;
    const std::size_t count = static_cast<std::size_t>(fds_.end() - first);
    const std::size_t start = static_cast<std::size_t>(
        std::upper_bound(first, fds_.end(), resumeAfter_, [](int fd, const pollfd& p) { return fd < p.fd; }) - first);
    for (std::size_t k = 0; k < count && !Over(passEnd_); ++k) {
        const pollfd& p = first[static_cast<std::ptrdiff_t>((start + k) % count)];
        if (p.revents == 0) continue;
        resumeAfter_ = p.fd;
        const auto it = clients_.find(p.fd);
        if (it == clients_.end()) continue;
        if (p.revents & POLLIN) {
            Read(p.fd);
        } else if ((p.revents & (POLLHUP | POLLERR)) || ((p.revents & POLLOUT) && !Serve(p.fd, it->second))) {
            Drop(p.fd, nullptr);  // hung up
        }
    }
}

void Server::Accept() {
    // Everything waiting, so that a burst of connections is served at once.
    while (!Over(passEnd_)) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (errno == EMFILE || errno == ENFILE) {
                Note(Reason("cannot accept a client"));
                acceptPausedUntil_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
            }
            return;
        }
        clients_.emplace(fd, Client(outputLimit_));
    }
}

void Server::Read(int fd) {
    char buffer[4096];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n <= 0) {
        Drop(fd, nullptr);  // hung up
        return;
    }
    Client& client = clients_.at(fd);
    client.Receive(std::string_view(buffer, static_cast<std::size_t>(n)));
    if (!Serve(fd, client)) Drop(fd, nullptr);
}

bool Server::Serve(int fd, Client& client) {
    do {
        if (!Write(fd, client)) return false;
    } while (client.PendingBytes() == 0 && !stopping_ && !Over(passEnd_) && client.Answer(catalogue_));
    return true;
}

bool Server::Write(int fd, Client& client) {
    while (client.PendingBytes() > 0) {
        const std::string_view pending = client.Pending();
        // MSG_NOSIGNAL: a client gone mid-line is an error here, not SIGPIPE.
        const ssize_t n = ::send(fd, pending.data(), pending.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            client.Sent(static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        }
    }
    return true;
}

void Server::Drop(int fd, const char* why) {
    if (why != nullptr) {
        ++dropped_;
        Note(std::string("client dropped: ") + why);
    }
    ::close(fd);
    clients_.erase(fd);
}

void Server::Drain(int timeoutMs) {
    StopServing();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (QueuedBytes() > 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        std::vector<pollfd> none;
        Poll(none, static_cast<int>(left.count()));
    }
    Report(true);
}

void Server::Report(bool force) {
    const auto now = std::chrono::steady_clock::now();
    const auto summary = notices_.Due(now, force);
    if (!summary) return;
    const bool written = log_ != nullptr ? log_->Write(*summary) == static_cast<long>(summary->size())
                                         : std::fwrite(summary->data(), 1, summary->size(), stderr) == summary->size();
    notices_.Done(now, written);
}

std::size_t Server::QueuedBytes() const {
    std::size_t total = 0;
    for (const auto& [fd, client] : clients_) total += client.HeldBytes();
    return total;
}

}  // namespace orbisk::tool::lirc
