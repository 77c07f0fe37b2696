// orbisk run: a host for the plug-in.  It loads orbisk.so, opens it as a
// Vantrel 2.7.12 host, starts it and prints every key message.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "commands.h"
#include "common/text.h"
#include "plugin_loader.h"

namespace orbisk::tool {

namespace {

constexpr char kHelp[] =
    "usage: orbisk run [--plugin PATH] [--name NAME] [--seconds N]\n"
    "\n"
    "Loads the plug-in as a host does (Open with host version 2.7.12, then Start)\n"
    "and prints one line per key message, tab-separated:\n"
    "  press|repeat N|release  key name  remote-control name  code text\n"
    "Stops the plug-in and exits on Ctrl-C, at the end of standard input, or\n"
    "after N seconds.\n"
    "\n"
    "  --plugin PATH  the plug-in library (default: orbisk.so beside this program)\n"
    "  --name NAME    the name the host gives the plug-in (default: none, \"REMOTE\")\n"
    "  --seconds N    stop after N seconds\n";

int g_stopPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    // write is async-signal-safe; a full pipe already holds a wake-up.
    [[maybe_unused]] const ssize_t written = write(g_stopPipe[1], &byte, 1);
}

std::intptr_t PrintKey(OrbiskHostWindow*, std::uint32_t message, std::uintptr_t wparam,
                       std::intptr_t lparam) {
    if (message != ORBISK_KEY_MESSAGE || wparam == 0) return 0;
    const auto* record = reinterpret_cast<const OrbiskKeyEventRecord*>(wparam);
    std::string event;
    if (lparam == ORBISK_KEY_PRESS)
        event = "press";
    else if (lparam == ORBISK_KEY_RELEASE)
        event = "release";
    else
        event = "repeat " + std::to_string(lparam);
    const std::string_view key = FieldText(record->KeyName, sizeof record->KeyName);
    const char* remote = OrbiskRecordRemoteName(record);
    const char* code = OrbiskRecordCodeText(record);
    std::printf("%s\t%.*s\t%s\t%s\n", event.c_str(), static_cast<int>(key.size()), key.data(),
                remote ? remote : "", code ? code : "");
    std::fflush(stdout);
    return 0;
}

// Waits for a signal, the end of standard input, or the deadline.
void WaitForEnd(long long seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    bool stdinOpen = true;
    for (;;) {
        int timeoutMs = -1;
        if (seconds > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return;
            timeoutMs = static_cast<int>(left.count());
        }
        pollfd fds[2] = {{g_stopPipe[0], POLLIN, 0}, {stdinOpen ? 0 : -1, POLLIN, 0}};
        const int ready = poll(fds, 2, timeoutMs);
        if (ready < 0) continue;  // EINTR: the pipe tells whether a signal came
        if (fds[0].revents != 0) return;
        if (fds[1].revents != 0) {
            char buffer[256];
            const ssize_t n = read(0, buffer, sizeof buffer);
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return;
        }
    }
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

    if (pipe(g_stopPipe) != 0) return Fail("run", "cannot create a pipe");
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    OrbiskHostWindow window{PrintKey};
    const HostInfoRecord hostInfo(ORBISK_HOST_VERSION(2, 7, 12));
    const char* description = plugin.Open(haveName ? name.c_str() : nullptr, &window, hostInfo.bytes);
    std::fprintf(stderr, "orbisk run: %s (%s) started; Ctrl-C stops\n", description ? description : "?",
                 pluginPath.c_str());
    plugin.Start();
    WaitForEnd(seconds);
    plugin.Stop();
    plugin.Close();
    return 0;
}

}  // namespace orbisk::tool
