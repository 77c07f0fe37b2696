// orbisk serve: a host for the plug-in that hands its keys to LIRC clients
// (irw, irexec, media players) over the LIRC daemon's socket protocol.
#include <fcntl.h>
#include <signal.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "engine/key_table.h"
#include "host/posix/host_events.h"
#include "lirc/lirc_protocol.h"
#include "lirc/posix/lirc_server.h"
#include "host/plugin_loader.h"
#include "settings/ini_file.h"
#include "settings/settings.h"

namespace orbisk::tool {

namespace {

constexpr char kCommand[] = "serve";

constexpr char kHelp[] =
    "usage: orbisk serve [--socket PATH] [--mode OCTAL] [--unknown] [--release SUFFIX]\n"
    "                    [--plugin PATH] [--name NAME]\n"
    "\n"
    "Loads the plug-in as a host does, starts it, and serves its keys on a Unix\n"
    "socket in the LIRC daemon's protocol, so that LIRC clients (irw, irexec,\n"
    "irsend list, media players) take them.  Each press and auto-repeat goes to\n"
    "every client as one line: code, repeat count, key name, remote name.\n"
    "SIGHUP re-reads the settings file; SIGINT and SIGTERM stop (a held key's\n"
    "release goes out first) and remove the socket.\n"
    "\n"
    "  --socket PATH     the socket (default $XDG_RUNTIME_DIR/lircd, for root\n"
    "                    /run/lirc/lircd); a socket systemd passes in wins\n"
    "  --mode OCTAL      the socket's permissions (default 600, for root 666)\n"
    "  --unknown         also codes that name no learned key, with the code text\n"
    "                    as key name and <undefined> as remote name: one line\n"
    "                    per press, when it ends, with its repeats counted\n"
    "  --release SUFFIX  also releases, as the key name with SUFFIX appended\n"
    "  --plugin PATH     the plug-in library (default: the installed orbisk.so)\n"
    "  --name NAME       the name the host gives the plug-in (default: none)\n";

struct Options {
    std::string pluginPath = DefaultPluginPath();
    std::string socketPath = lirc::DefaultSocketPath();
    long long mode = ::geteuid() == 0 ? 0666 : 0600;
    std::string name;
    bool haveName = false;
    lirc::BroadcastOptions broadcast;
};

bool ParseOptions(const Args& args, Options& options, std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--unknown") {
            options.broadcast.unknown = true;
        } else if (!hasValue && (a == "--socket" || a == "--mode" || a == "--release" || a == "--plugin" ||
                                 a == "--name")) {
            error = a + " needs a value";
            return false;
        } else if (a == "--socket") {
            options.socketPath = args[++i];
        } else if (a == "--mode") {
            char* end = nullptr;
            const std::string& text = args[++i];
            options.mode = std::strtol(text.c_str(), &end, 8);
            if (text.empty() || *end != '\0' || options.mode < 0 || options.mode > 0777) {
                error = "--mode takes octal permissions such as 660, got '" + text + "'";
                return false;
            }
        } else if (a == "--release") {
            options.broadcast.releaseSuffix = args[++i];
            if (lirc::WireName(options.broadcast.releaseSuffix) != options.broadcast.releaseSuffix) {
                error = "--release takes a suffix without blanks, got '" + options.broadcast.releaseSuffix + "'";
                return false;
            }
        } else if (a == "--plugin") {
            options.pluginPath = args[++i];
        } else if (a == "--name") {
            options.name = args[++i];
            options.haveName = true;
        } else {
            error = "unexpected argument '" + a + "' (see 'orbisk serve --help')";
            return false;
        }
    }
    return true;
}

int g_signalPipe[2] = {-1, -1};

void OnSignal(int signal) {
    const char byte = static_cast<char>(signal);
    // write is async-signal-safe; a full pipe already holds a wake-up.
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}

bool CatchSignals(std::string& error) {
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = "cannot create a pipe";
        return false;
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (const int s : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(s, &action, nullptr);
    // A client gone mid-write is an error from send, never a signal.
    ::signal(SIGPIPE, SIG_IGN);
    return true;
}

// The keys LIST shows: read from the settings file as the plug-in reads it.
lirc::Catalogue LoadCatalogue(const std::string& settingsPath) {
    KeyTable table;
    table.Rebuild(IniFile(settingsPath).Read().document);
    return lirc::CatalogueFrom(table);
}

class Service {
public:
    Service(const Options& options, LoadedPlugin& plugin, lirc::Server& server)
        : options_(options),
          plugin_(plugin),
          server_(server),
          settingsPath_(SystemSettingsPlace(std::filesystem::absolute(options.pluginPath).string()).settingsPath) {}

    void Begin() {
        server_.SetCatalogue(LoadCatalogue(settingsPath_));
        plugin_.Open(options_.haveName ? options_.name.c_str() : nullptr, queue_.Window(), hostInfo_.bytes);
        // Without a receiver the socket still serves (LIST, and keys after a
        // reload once the port is there); the plug-in's report says why.
        // The plug-in's threads inherit the mask: SIGHUP, like the stop
        // signals, is for this thread only.
        sigset_t hangUp, previous;
        sigemptyset(&hangUp);
        sigaddset(&hangUp, SIGHUP);
        ::pthread_sigmask(SIG_BLOCK, &hangUp, &previous);
        const bool running = StartPlugin(plugin_.Start).running;
        ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        if (!running)
            std::fprintf(stderr, "orbisk serve: the plug-in did not start; no keys until SIGHUP reloads it\n");
    }

    // Stopped, a held key is released here: the plug-in itself stays silent.
    void End() {
        plugin_.Stop();
        queue_.EndHeldKey();
        Forward();
        plugin_.Close();
    }

    void Reload() {
        End();
        Begin();
        server_.Broadcast(lirc::SighupPacket);
    }

    int WakeFd() const { return queue_.WakeFd(); }

    void Forward() {
        const HostEventQueue::Batch batch = queue_.Take();
        server_.Forward(batch, options_.broadcast);
        if (batch.dropped > 0) server_.Note("key events lost: the server fell behind", batch.dropped);
    }

private:
    const Options& options_;
    LoadedPlugin& plugin_;
    lirc::Server& server_;
    const std::string settingsPath_;
    const HostInfoRecord hostInfo_{ORBISK_HOST_VERSION(2, 7, 12)};
    HostEventQueue queue_;
};

}  // namespace

int RunServe(const Args& args) {
    Options options;
    if (const auto done = BeginCommand(kCommand, kHelp, args, ParseOptions, options)) return *done;

    // Nothing written on standard error (by this program or the plug-in)
    // may hold up the clients or the stop signals: a pipe that no one
    // drains is full after some thousand lines.
    NonBlockingOutput log(STDERR_FILENO);
    LoadedPlugin plugin;
    std::string error;
    if (!plugin.Load(options.pluginPath, error)) return Fail(kCommand, error);
    lirc::Listener listener;
    if (!listener.FromSystemd(error)) {
        if (!error.empty()) return Fail(kCommand, error);
        if (!listener.Open(options.socketPath, static_cast<mode_t>(options.mode), error))
            return Fail(kCommand, error);
    }
    if (!CatchSignals(error)) return Fail(kCommand, error);

    lirc::Server server(listener.Fd());
    server.LogTo(log);
    Service service(options, plugin, server);
    service.Begin();
    std::fprintf(stderr, "orbisk serve: serving keys on %s%s; Ctrl-C stops, SIGHUP reloads the settings\n",
                 listener.Path().c_str(), listener.Activated() ? " (from systemd)" : "");
    sd_notifyf(0, "READY=1\nSTATUS=Serving keys on %s", listener.Path().c_str());

    for (;;) {
        std::vector<pollfd> extra = {{service.WakeFd(), POLLIN, 0}, {g_signalPipe[0], POLLIN, 0}};
        server.Poll(extra, -1);
        if (extra[0].revents != 0) service.Forward();
        if (extra[1].revents == 0) continue;
        char signals[16];
        const ssize_t n = ::read(g_signalPipe[0], signals, sizeof signals);
        bool stop = false;
        bool reload = false;
        for (ssize_t i = 0; i < n; ++i) (signals[i] == SIGHUP ? reload : stop) = true;
        if (stop) break;
        if (reload) {
            sd_notify(0, "RELOADING=1\nSTATUS=Reloading the settings");
            service.Reload();
            std::fprintf(stderr, "orbisk serve: settings reloaded\n");
            sd_notifyf(0, "READY=1\nSTATUS=Serving keys on %s", listener.Path().c_str());
        }
    }

    // Nothing more is accepted or answered: the clients only take the last
    // lines.
    server.StopServing();
    sd_notify(0, "STOPPING=1");
    service.End();
    // Let clients take the last lines (a held key's release) before closing.
    server.Drain(500);
    listener.Close();
    return 0;
}

}  // namespace orbisk::tool
