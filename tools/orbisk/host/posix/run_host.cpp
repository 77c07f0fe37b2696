// orbisk run on Linux: the plug-in's send queues the key messages, and the
// main thread prints them until a signal, the end of standard input or the
// deadline.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>

#include "commands/commands.h"
#include "host/posix/host_events.h"
#include "host/run_host.h"

namespace orbisk::tool {

namespace {

int g_stopPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    // write is async-signal-safe; a full pipe already holds a wake-up.
    [[maybe_unused]] const ssize_t written = write(g_stopPipe[1], &byte, 1);
}

// True, and the pipe emptied, when a signal has come.
bool TakeSignal() {
    char buffer[16];
    bool signalled = false;
    while (read(g_stopPipe[0], buffer, sizeof buffer) > 0) signalled = true;
    return signalled;
}

// Key lines on their way to standard output, written without ever waiting
// for its reader, so that neither a stop signal nor the deadline waits for
// a reader that is slow or has stopped.
class Output {
public:
    Output() : out_(STDOUT_FILENO) {}

    void Add(const HostEventQueue::Batch& batch) { lines_.Add(batch); }
    bool Pending() const { return !lines_.Pending().empty() && !gone_; }
    bool Gone() const { return gone_; }

    void WriteSome() {
        const long n = out_.Write(lines_.Pending());
        if (n > 0) lines_.Written(static_cast<std::size_t>(n));
        gone_ = n < 0;  // closed by its reader, or an error: nothing more can go out
        if (!Pending()) ReportKeyLines(lines_.TakeDropped());
    }
    void ReportLast() { ReportKeyLines(lines_.TakeDropped(), gone_ ? 0 : lines_.Pending().size()); }

private:
    NonBlockingOutput out_;
    KeyLines lines_;
    bool gone_ = false;
};

enum class End { Signal, Input, Deadline, OutputGone };

// Prints the key lines as they come until a signal, the end of standard
// input, the deadline, or an output that is gone.
End PrintUntilEnd(HostEventQueue& queue, Output& lines, long long seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    bool stdinOpen = true;
    for (;;) {
        int timeoutMs = -1;
        if (seconds > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return End::Deadline;
            timeoutMs = static_cast<int>(left.count());
        }
        pollfd fds[4] = {{g_stopPipe[0], POLLIN, 0},
                         {queue.WakeFd(), POLLIN, 0},
                         {stdinOpen ? STDIN_FILENO : -1, POLLIN, 0},
                         {lines.Pending() ? STDOUT_FILENO : -1, POLLOUT, 0}};
        if (poll(fds, 4, timeoutMs) < 0) continue;  // EINTR: the pipe tells whether a signal came
        if (TakeSignal()) return End::Signal;
        if (fds[1].revents != 0) lines.Add(queue.Take());
        if (fds[2].revents != 0) {
            char buffer[256];
            const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return End::Input;
        }
        if (fds[3].revents != 0) lines.WriteSome();
        if (lines.Gone()) return End::OutputGone;
    }
}

// The last lines get kFinalOutputMs to go out; a signal ends the wait early.
void PrintRest(HostEventQueue& queue, Output& lines) {
    lines.Add(queue.Take());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kFinalOutputMs);
    while (lines.Pending()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd fds[2] = {{g_stopPipe[0], POLLIN, 0}, {STDOUT_FILENO, POLLOUT, 0}};
        if (poll(fds, 2, static_cast<int>(left.count())) < 0) continue;
        if (TakeSignal()) break;
        if (fds[1].revents != 0) lines.WriteSome();
    }
    lines.ReportLast();
}

}  // namespace

int HostPlugin(LoadedPlugin& plugin, const std::string& pluginPath, const char* name, long long seconds) {
    if (pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) return Fail("run", "cannot create a pipe");
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a signal ends a wait at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A reader that goes away ends the run like the end of input.
    signal(SIGPIPE, SIG_IGN);

    HostEventQueue queue;
    if (queue.WakeFd() < 0) return Fail("run", "cannot create a pipe");
    const HostInfoRecord hostInfo(ORBISK_HOST_VERSION(2, 7, 12));
    const char* description = plugin.Open(name, queue.Window(), hostInfo.bytes);

    const StartOutcome start = StartPlugin(plugin.Start);
    if (const auto failed = ReportStart(start, description, pluginPath, plugin)) return *failed;

    Output lines;
    PrintUntilEnd(queue, lines, seconds);
    // Nothing blocks the engine's send, so Stop returns at once; the plug-in
    // sends no release for a key held now, and we end it ourselves.
    plugin.Stop();
    queue.EndHeldKey();
    PrintRest(queue, lines);
    plugin.Close();
    return 0;
}

}  // namespace orbisk::tool
