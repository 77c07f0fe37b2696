#pragma once
// Many LIRC clients on the socket of orbisk serve while key events go out,
// one of them connected but never reading.  The server runs in this process
// on its own thread, fed through the host window as the plug-in's engine
// thread feeds it; the readers share one thread.  And a running orbisk serve
// stopped in a flood of commands.  Used by the load tests and by
// bench_lirc_serve, which adds the timings.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "common/code_text.h"
#include "host/posix/host_events.h"
#include "lirc/lirc_protocol.h"
#include "lirc/posix/lirc_server.h"
#include "support/child_process.h"

namespace orbisk::test {

struct LircLoadResult {
    bool listening = false;
    int readers = 0;
    int readersWithEveryLine = 0;  // got exactly the expected bytes
    std::uint64_t droppedClients = 0;
    std::size_t clientsLeft = 0;
    std::size_t maxQueuedBytes = 0;  // over all clients, at any broadcast
    double seconds = 0;              // first event sent to last line read
};

inline int ConnectUnix(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

// Reads until text has arrived on fd or timeoutMs passed; what was read.
inline std::string ReadUntil(int fd, const std::string& text, int timeoutMs = 10000) {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.find(text) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        char buffer[4096];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

// The key event number i: presses and up to 49 repeats of ten keys, each
// with its own code, so that a lost or reordered line shows.
inline tool::HostKeyEvent LoadEvent(int i) {
    return {i % 50, "Key_" + std::to_string(i / 50 % 10), "Load_remote", CodeText(static_cast<std::uint32_t>(i))};
}

inline LircLoadResult RunLircLoad(const std::string& socketPath, int clients, int events) {
    LircLoadResult result;
    tool::lirc::Listener listener;
    std::string error;
    if (!listener.Open(socketPath, 0600, error)) return result;
    result.listening = true;
    tool::HostEventQueue queue;
    tool::lirc::Server server(listener.Fd());
    const tool::lirc::BroadcastOptions options;

    std::atomic<bool> stop{false};
    std::size_t maxQueued = 0;
    std::thread serverThread([&] {
        while (!stop.load(std::memory_order_acquire)) {
            std::vector<pollfd> extra = {{queue.WakeFd(), POLLIN, 0}};
            server.Poll(extra, 20);
            if (extra[0].revents != 0) server.Forward(queue.Take(), options);
            maxQueued = std::max(maxQueued, server.QueuedBytes());
        }
    });

    // Every client, the silent one included, is known to be accepted once
    // its first reply is back.
    std::vector<int> fds;
    for (int c = 0; c < clients; ++c) {
        const int fd = ConnectUnix(socketPath);
        if (fd < 0) break;
        fds.push_back(fd);
        ::send(fd, "VERSION\n", 8, MSG_NOSIGNAL);
        ReadUntil(fd, "END\n");
    }
    const int silent = fds.empty() ? -1 : fds.back();
    if (!fds.empty()) fds.pop_back();
    result.readers = static_cast<int>(fds.size());

    std::string expected;
    for (int i = 0; i < events; ++i) expected += *tool::lirc::BroadcastLine(LoadEvent(i), options, {});

    std::vector<std::size_t> offset(fds.size(), 0);
    std::vector<bool> intact(fds.size(), true);
    std::atomic<std::size_t> slowest{0};  // bytes that every reader has
    std::thread readerThread([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        std::vector<pollfd> polls;
        for (const int fd : fds) polls.push_back({fd, POLLIN, 0});
        while (slowest.load() < expected.size() && std::chrono::steady_clock::now() < deadline) {
            if (::poll(polls.data(), polls.size(), 100) <= 0) continue;
            for (std::size_t r = 0; r < polls.size(); ++r) {
                if (polls[r].revents == 0) continue;
                char buffer[65536];
                const ssize_t n = ::recv(polls[r].fd, buffer, sizeof buffer, MSG_DONTWAIT);
                if (n <= 0) {
                    polls[r].fd = -1;  // dropped: it never gets the rest
                    intact[r] = false;
                    continue;
                }
                const std::size_t count = static_cast<std::size_t>(n);
                if (offset[r] + count > expected.size() ||
                    std::memcmp(buffer, expected.data() + offset[r], count) != 0)
                    intact[r] = false;
                offset[r] += count;
            }
            std::size_t least = expected.size();
            for (std::size_t r = 0; r < offset.size(); ++r) least = std::min(least, intact[r] ? offset[r] : 0);
            slowest.store(offset.empty() ? expected.size() : least);
        }
        slowest.store(expected.size());  // done, or given up: the producer goes on
    });

    // The producer goes as fast as the readers take the lines, as a client
    // that reads does, at most some 1,000 lines ahead of the slowest.
    const auto start = std::chrono::steady_clock::now();
    OrbiskHostWindow* window = queue.Window();
    const std::size_t lineBytes = expected.size() / static_cast<std::size_t>(std::max(events, 1));  // all alike
    for (int i = 0; i < events; ++i) {
        while (static_cast<std::size_t>(i) * lineBytes > slowest.load() + 1000 * lineBytes)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        const tool::HostKeyEvent event = LoadEvent(i);
        OrbiskKeyEventRecord record{};
        std::snprintf(record.KeyName, sizeof record.KeyName, "%s", event.keyName.c_str());
        record.CodeText = event.codeText.c_str();
        record.RemoteNameText = event.remoteName.c_str();
        window->send(window, ORBISK_KEY_MESSAGE, reinterpret_cast<std::uintptr_t>(&record), event.value);
    }
    readerThread.join();
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    stop.store(true, std::memory_order_release);
    serverThread.join();

    for (std::size_t r = 0; r < fds.size(); ++r)
        if (intact[r] && offset[r] == expected.size()) ++result.readersWithEveryLine;
    result.droppedClients = server.DroppedClients();
    result.clientsLeft = server.ClientCount();
    result.maxQueuedBytes = maxQueued;
    for (const int fd : fds) ::close(fd);
    if (silent >= 0) ::close(silent);
    return result;
}

struct ServeStopResult {
    int clients = 0;         // connected, probes included
    int probes = 0;          // idle clients that send a command just after SIGTERM
    int probesAnswered = 0;  // of those, the ones answered
    int status = -1;         // the exit status; -1: still running after a minute
    double stopSeconds = 0;  // SIGTERM to the end of the process
};

// A running orbisk serve on socketPath: readers that only read, flooders
// that send LIST of remote and garbage and read whatever comes back, for
// floodMs; then SIGTERM, after which each probe sends one command.
inline ServeStopResult FloodThenStop(const std::string& socketPath, ChildProcess& serve, const std::string& remote,
                                     int readers, int flooders, int probes, int floodMs) {
    ServeStopResult result;
    std::string flood;
    std::mt19937 random(7);
    for (int i = 0; flood.size() < 64 * 1024; ++i) {
        flood += "LIST " + remote + "\n";
        if (i % 4 == 3)
            for (int n = 0; n < 40; ++n) flood += static_cast<char>(' ' + random() % 95);
        if (i % 4 == 3) flood += '\n';
    }
    std::vector<int> probeFds;
    for (int c = 0; c < probes; ++c) {
        const int fd = ConnectUnix(socketPath);
        if (fd < 0) break;
        ::send(fd, "VERSION\n", 8, MSG_NOSIGNAL);
        ReadUntil(fd, "END\n");  // accepted
        probeFds.push_back(fd);
    }
    std::vector<pollfd> polls;
    for (int c = 0; c < readers + flooders; ++c) {
        const int fd = ConnectUnix(socketPath);
        if (fd < 0) break;
        ::fcntl(fd, F_SETFL, O_NONBLOCK);
        polls.push_back({fd, static_cast<short>(POLLIN | (c < flooders ? POLLOUT : 0)), 0});
    }
    result.probes = static_cast<int>(probeFds.size());
    result.clients = result.probes + static_cast<int>(polls.size());
    // Until the server has closed them all, or a minute.
    std::vector<std::size_t> sent(polls.size(), 0);
    std::thread clients([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        std::size_t open = polls.size();
        while (open > 0 && std::chrono::steady_clock::now() < deadline) {
            if (::poll(polls.data(), polls.size(), 100) <= 0) continue;
            for (std::size_t c = 0; c < polls.size(); ++c) {
                pollfd& p = polls[c];
                if (p.revents & POLLOUT) {
                    const std::size_t at = sent[c] % flood.size();
                    const ssize_t n = ::send(p.fd, flood.data() + at, flood.size() - at, MSG_NOSIGNAL);
                    if (n > 0) sent[c] += static_cast<std::size_t>(n);
                }
                char buffer[65536];
                if ((p.revents & (POLLIN | POLLHUP | POLLERR)) && ::recv(p.fd, buffer, sizeof buffer, 0) <= 0) {
                    ::close(p.fd);
                    p.fd = -1;
                    --open;
                }
            }
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(floodMs));
    const auto stop = std::chrono::steady_clock::now();
    ::kill(serve.Pid(), SIGTERM);
    for (const int fd : probeFds) ::send(fd, "VERSION\n", 8, MSG_NOSIGNAL);
    result.status = serve.Wait(60000);
    result.stopSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - stop).count();
    for (const int fd : probeFds) {
        // The server is gone: what it sent, up to the end of the connection.
        const std::string got = ReadUntil(fd, "\n_never_", result.status < 0 ? 100 : 10000);
        result.probesAnswered += got.find("VERSION\nSUCCESS") != std::string::npos;
        ::close(fd);
    }
    clients.join();
    for (const pollfd& p : polls)
        if (p.fd >= 0) ::close(p.fd);
    return result;
}

}  // namespace orbisk::test
