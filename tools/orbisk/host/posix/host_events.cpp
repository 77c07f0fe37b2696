#include "host/posix/host_events.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <limits.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <type_traits>

namespace orbisk::tool {

namespace {

std::size_t CountThreads() {
    std::size_t count = 0;
    if (DIR* tasks = ::opendir("/proc/self/task")) {
        while (const dirent* entry = ::readdir(tasks))
            if (entry->d_name[0] != '.') ++count;
        ::closedir(tasks);
    }
    return count;
}

// Standard error redirected into an anonymous file: the plug-in may write as
// much as it likes without ever blocking on a reader.
class StderrCapture {
public:
    StderrCapture() {
        std::fflush(stderr);
        file_ = ::memfd_create("orbisk-start", MFD_CLOEXEC);
        saved_ = file_ >= 0 ? ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3) : -1;
        if (saved_ >= 0) ::dup2(file_, STDERR_FILENO);
    }
    std::string Finish() {
        std::string text;
        if (saved_ < 0) return text;
        std::fflush(stderr);
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
        char buffer[4096];
        ssize_t n = 0;
        ::lseek(file_, 0, SEEK_SET);
        while ((n = ::read(file_, buffer, sizeof buffer)) > 0)
            text.append(buffer, static_cast<std::size_t>(n));
        ::close(file_);
        return text;
    }

private:
    int file_ = -1;
    int saved_ = -1;
};

}  // namespace

StartOutcome StartPlugin(OrbiskVoidFn start) {
    sigset_t hostSignals;
    sigemptyset(&hostSignals);
    sigaddset(&hostSignals, SIGINT);
    sigaddset(&hostSignals, SIGTERM);
    sigaddset(&hostSignals, SIGPIPE);
    sigset_t previous;
    ::pthread_sigmask(SIG_BLOCK, &hostSignals, &previous);

    const std::size_t threadsBefore = CountThreads();
    StderrCapture capture;
    start();
    StartOutcome outcome;
    outcome.reports = capture.Finish();
    // A failed Start unwinds every thread it made.
    outcome.running = CountThreads() > threadsBefore;

    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    std::fwrite(outcome.reports.data(), 1, outcome.reports.size(), stderr);
    return outcome;
}

NonBlockingOutput::NonBlockingOutput(int fd) : fd_(fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return;
    socket_ = S_ISSOCK(st.st_mode);
    if (!S_ISFIFO(st.st_mode) && !S_ISCHR(st.st_mode)) return;
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    const int own = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    polled_ = own < 0 || ::dup2(own, fd) < 0;
    if (own >= 0) ::close(own);
}

long NonBlockingOutput::Write(std::string_view bytes) {
    ssize_t n = 0;
    if (socket_) {
        n = ::send(fd_, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    } else {
        // A pipe with room for one more page takes PIPE_BUF bytes at once.
        pollfd p{fd_, POLLOUT, 0};
        if (polled_ && ::poll(&p, 1, 0) != 1) return 0;
        n = ::write(fd_, bytes.data(), polled_ ? std::min<std::size_t>(bytes.size(), PIPE_BUF) : bytes.size());
    }
    if (n >= 0) return n;
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : -1;
}

HostEventQueue::HostEventQueue(std::size_t capacity) : capacity_(capacity) {
    static_assert(std::is_standard_layout_v<QueueWindow>);
    // Both ends non-blocking: the producer must never wait on a full pipe,
    // and draining stops when it is empty.
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) wake_[0] = wake_[1] = -1;
}

HostEventQueue::~HostEventQueue() {
    for (const int fd : wake_)
        if (fd >= 0) ::close(fd);
}

std::intptr_t HostEventQueue::Send(OrbiskHostWindow* self, std::uint32_t message, std::uintptr_t wparam,
                                   std::intptr_t lparam) {
    std::optional<HostKeyEvent> event = KeyEventFromMessage(message, wparam, lparam);
    if (event) reinterpret_cast<QueueWindow*>(self)->owner->Push(std::move(*event));
    return 0;
}

void HostEventQueue::Push(HostKeyEvent event) { Append(std::move(event), true); }

void HostEventQueue::Append(HostKeyEvent event, bool bounded) {
    std::lock_guard<std::mutex> lock(mutex_);
    // The held key follows what the plug-in said, dropped or not.
    if (event.value == ORBISK_KEY_RELEASE)
        held_.reset();
    else
        held_ = event;
    if (bounded && events_.size() >= capacity_) {
        ++dropped_;
        return;
    }
    events_.push_back(std::move(event));
    if (!wakeSent_ && wake_[1] >= 0) {
        const char byte = 1;
        wakeSent_ = ::write(wake_[1], &byte, 1) == 1;
    }
}

HostEventQueue::Batch HostEventQueue::Take() {
    Batch batch;
    std::lock_guard<std::mutex> lock(mutex_);
    if (wakeSent_) {
        char byte = 0;
        [[maybe_unused]] const ssize_t n = ::read(wake_[0], &byte, 1);
        wakeSent_ = false;
    }
    batch.events.swap(events_);
    batch.dropped = dropped_;
    dropped_ = 0;
    return batch;
}

std::optional<HostKeyEvent> HostEventQueue::HeldKey() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return held_;
}

bool HostEventQueue::EndHeldKey() {
    std::optional<HostKeyEvent> release = HeldKey();
    if (!release) return false;
    release->value = ORBISK_KEY_RELEASE;
    Append(std::move(*release), false);
    return true;
}

}  // namespace orbisk::tool
