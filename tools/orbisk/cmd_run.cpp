// orbisk run: a host for the plug-in.  It loads orbisk.so, opens it as a
// Vantrel 2.7.12 host, starts it and prints every key message.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

#include "commands.h"
#include "host_events.h"
#include "plugin_loader.h"

namespace orbisk::tool {

namespace {

constexpr char kHelp[] =
    "usage: orbisk run [--plugin PATH] [--name NAME] [--seconds N]\n"
    "\n"
    "Loads the plug-in as a host does (Open with host version 2.7.12, then Start)\n"
    "and prints one line per key message, tab-separated:\n"
    "  press|repeat N|release  key name  remote-control name  code text\n"
    "Stops the plug-in and exits on Ctrl-C or SIGTERM, at the end of standard\n"
    "input, or after N seconds; a key still held then gets a release line of its\n"
    "own.  Lines wait in a queue while standard output is blocked, and a signal\n"
    "ends the run even then.  A plug-in that does not start is an error (exit\n"
    "status 2) that says what the plug-in reported.\n"
    "\n"
    "  --plugin PATH  the plug-in library (default: orbisk.so beside this program)\n"
    "  --name NAME    the name the host gives the plug-in (default: none, \"REMOTE\")\n"
    "  --seconds N    stop after N seconds\n";

// How long the last lines (a release for a held key among them) may wait for
// standard output to take them once the plug-in has stopped.
constexpr int kFinalOutputMs = 1000;

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

// Key lines on their way to standard output.  Only the main thread writes
// them, and a stop signal interrupts a write that blocks (the handlers are
// installed without SA_RESTART), so output that does not drain never keeps
// the host from stopping.
class KeyLines {
public:
    void Add(HostEventQueue::Batch batch) {
        for (const HostKeyEvent& event : batch.events) pending_ += FormatKeyLine(event);
        if (batch.dropped != 0)
            std::fprintf(stderr, "orbisk run: %llu key messages dropped while standard output was blocked\n",
                         static_cast<unsigned long long>(batch.dropped));
    }
    bool Pending() const { return !pending_.empty() && !gone_; }
    bool Gone() const { return gone_; }
    std::size_t Unwritten() const { return pending_.size(); }

    void WriteSome() {
        const ssize_t n = write(STDOUT_FILENO, pending_.data(), pending_.size());
        if (n > 0)
            pending_.erase(0, static_cast<std::size_t>(n));
        else if (n < 0 && errno != EINTR && errno != EAGAIN)
            gone_ = true;  // closed by its reader, or an error: nothing more can go out
    }

private:
    std::string pending_;
    bool gone_ = false;
};

enum class End { Signal, Input, Deadline, OutputGone };

// Prints the key lines as they come until a signal, the end of standard
// input, the deadline, or an output that is gone.
End PrintUntilEnd(HostEventQueue& queue, KeyLines& lines, long long seconds) {
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
void PrintRest(HostEventQueue& queue, KeyLines& lines) {
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
    if (lines.Pending())
        std::fprintf(stderr, "orbisk run: standard output took no more; %zu bytes of key lines not written\n",
                     lines.Unwritten());
}

// The reports of a failed Start as one line: "Cannot open COM port; ...".
std::string ReportsAsOneLine(const std::string& reports) {
    constexpr std::string_view kCaption = ORBISK_DESCRIPTION ": ";
    std::string line;
    std::size_t start = 0;
    while (start < reports.size()) {
        std::size_t end = reports.find('\n', start);
        if (end == std::string::npos) end = reports.size();
        std::string_view text(reports.data() + start, end - start);
        if (text.substr(0, kCaption.size()) == kCaption) text.remove_prefix(kCaption.size());
        if (!text.empty()) line.append(line.empty() ? "" : "; ").append(text);
        start = end + 1;
    }
    return line;
}

}  // namespace

int RunHost(const Args& args) {
    if (WantsHelp(args)) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    std::string pluginPath = DefaultPluginPath();
    std::string name;
    bool haveName = false;
    long long seconds = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--plugin" && hasValue) {
            pluginPath = args[++i];
        } else if (a == "--name" && hasValue) {
            name = args[++i];
            haveName = true;
        } else if (a == "--seconds" && hasValue) {
            if (!ParseNumber(args[++i], 1, 1000000, seconds))
                return Fail("run", "--seconds takes a whole number of seconds, got '" + args[i] + "'");
        } else {
            return Fail("run", "unexpected argument '" + a + "' (see 'orbisk run --help')");
        }
    }

    LoadedPlugin plugin;
    std::string error;
    if (!plugin.Load(pluginPath, error)) return Fail("run", error);

    if (pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) return Fail("run", "cannot create a pipe");
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a signal must interrupt a blocked write
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A reader that goes away ends the run like the end of input.
    signal(SIGPIPE, SIG_IGN);

    HostEventQueue queue;
    if (queue.WakeFd() < 0) return Fail("run", "cannot create a pipe");
    const HostInfoRecord hostInfo(ORBISK_HOST_VERSION(2, 7, 12));
    const char* description = plugin.Open(haveName ? name.c_str() : nullptr, queue.Window(), hostInfo.bytes);
    if (description == nullptr) description = "?";

    const StartOutcome start = StartPlugin(plugin.Start);
    if (!start.running) {
        plugin.Close();
        const std::string reports = ReportsAsOneLine(start.reports);
        return Fail("run", std::string(description) + " (" + pluginPath + ") did not start: " +
                               (reports.empty() ? "it reported nothing (see the system log)" : reports));
    }
    if (start.reports.empty())
        std::fprintf(stderr, "orbisk run: %s (%s) started; Ctrl-C stops\n", description, pluginPath.c_str());
    else
        std::fprintf(stderr, "orbisk run: %s (%s) started, but reported: %s; Ctrl-C stops\n", description,
                     pluginPath.c_str(), ReportsAsOneLine(start.reports).c_str());

    KeyLines lines;
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
