#include "dialog/qt/display_probe.h"

#include <dlfcn.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QLibraryInfo>
#include <QPluginLoader>
#include <QStringList>

#include <cerrno>
#include <cstddef>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace orbisk::qt {

namespace {

// The platforms Qt tries, in its order: those QT_QPA_PLATFORM lists, or else
// the session's kind before the build's default.
QStringList Candidates() {
    const QString named = qEnvironmentVariable("QT_QPA_PLATFORM");
    if (!named.isEmpty()) return named.split(u';', Qt::SkipEmptyParts);
    const QString desktop =
        (qEnvironmentVariable("XDG_CURRENT_DESKTOP") + qEnvironmentVariable("XDG_SESSION_DESKTOP")).toLower();
    if (qEnvironmentVariable("XDG_SESSION_TYPE") == u"wayland" && !desktop.contains(u"gnome"))
        return {"wayland", "xcb"};
    return {"xcb"};
}

// Whether a platform plug-in names itself so, read from the plug-ins'
// metadata without loading any of them.
bool HasPlatformPlugin(const QString& name) {
    QStringList folders;
    if (const QString own = qEnvironmentVariable("QT_QPA_PLATFORM_PLUGIN_PATH"); !own.isEmpty()) folders << own;
    for (const QString& path : qEnvironmentVariable("QT_PLUGIN_PATH").split(QDir::listSeparator(), Qt::SkipEmptyParts))
        folders << path + "/platforms";
    folders << QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/platforms";
    for (const QString& folder : folders) {
        for (const QFileInfo& file : QDir(folder).entryInfoList(QDir::Files)) {
            const QJsonObject meta = QPluginLoader(file.absoluteFilePath()).metaData();
            for (const QJsonValue key : meta.value("MetaData").toObject().value("Keys").toArray())
                if (key.toString().compare(name, Qt::CaseInsensitive) == 0) return true;
        }
    }
    return false;
}

using Clock = std::chrono::steady_clock;

// How long a display server may take to answer a new connection.
constexpr auto AnswerTime = std::chrono::seconds(2);

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// A socket that closes itself.
struct Socket {
    int fd = -1;
    Socket() = default;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    ~Socket() {
        if (fd >= 0) ::close(fd);
    }
};

enum class Reach { Refused, Connected, Silent };

// Connects without waiting past the deadline.  A UNIX socket whose queue is
// full (EAGAIN) or a TCP connection still pending at the deadline is a server
// that does not answer: a blocking connect would wait on it.
Reach ConnectBy(Socket& socket, int family, const sockaddr* address, socklen_t size, Clock::time_point deadline) {
    if (socket.fd >= 0) ::close(socket.fd);
    socket.fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (socket.fd < 0) return Reach::Refused;
    if (::connect(socket.fd, address, size) == 0) return Reach::Connected;
    if (errno == EAGAIN) return Reach::Silent;
    if (errno != EINPROGRESS) return Reach::Refused;
    pollfd wait{socket.fd, POLLOUT, 0};
    if (::poll(&wait, 1, MillisecondsLeft(deadline)) != 1) return Reach::Silent;
    int error = 0;
    socklen_t length = sizeof error;
    ::getsockopt(socket.fd, SOL_SOCKET, SO_ERROR, &error, &length);
    return error == 0 ? Reach::Connected : Reach::Refused;
}

Reach ConnectUnix(Socket& socket, const std::string& path, bool abstract, Clock::time_point deadline) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t offset = abstract ? 1 : 0;  // an abstract name starts with a NUL
    if (path.size() + offset >= sizeof address.sun_path) return Reach::Refused;
    std::memcpy(address.sun_path + offset, path.data(), path.size());
    const std::size_t length = offset + path.size() + (abstract ? 0 : 1);  // a path ends with its NUL
    const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length);
    return ConnectBy(socket, AF_UNIX, reinterpret_cast<const sockaddr*>(&address), size, deadline);
}

Reach ConnectTcp(Socket& socket, std::string host, int port, Clock::time_point deadline) {
    if (host.empty()) host = "localhost";
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return Reach::Refused;
    Reach reach = Reach::Refused;
    for (const addrinfo* a = found; a != nullptr && reach == Reach::Refused; a = a->ai_next)
        reach = ConnectBy(socket, a->ai_family, a->ai_addr, a->ai_addrlen, deadline);
    ::freeaddrinfo(found);
    return reach;
}

// Whether the X server that xcb would reach for this display is silent: it
// takes the connection (or leaves it pending) but does not answer the setup
// request by the deadline, as a stale forwarded display does.  xcb_connect
// would wait for it without limit, and inside a host that is the thread that
// called Setup.  Asking first on a socket of our own, with a deadline, leaves
// nothing behind when the server keeps silent: a thread abandoned in
// xcb_connect would return into a plug-in the host may have unloaded, and a
// forked child of a host with threads may only exec.  The addresses are
// tried in xcb's order; a display the probe cannot place is left to xcb.
bool XServerSilent(const std::string& host, const std::string& protocol, int display) {
    const auto deadline = Clock::now() + AnswerTime;
    const bool local = protocol != "tcp" && protocol != "inet" && protocol != "inet6";
    Socket socket;
    Reach reach = Reach::Refused;
    if (local && (host.empty() || host == "unix" || protocol == "unix")) {
        const std::string path = "/tmp/.X11-unix/X" + std::to_string(display);
        reach = ConnectUnix(socket, path, true, deadline);
        if (reach == Reach::Refused) reach = ConnectUnix(socket, path, false, deadline);
        if (reach == Reach::Refused && protocol.empty() && host.empty())
            reach = ConnectTcp(socket, host, 6000 + display, deadline);
    } else if (protocol.empty() || !local) {
        reach = ConnectTcp(socket, host, 6000 + display, deadline);
    }
    if (reach != Reach::Connected) return reach == Reach::Silent;
    // A setup request without authorisation: a server answers it at once,
    // with a refusal at worst.  Closing the connection is an answer too.
    static constexpr unsigned char setup[12] = {'l', 0, 11, 0};
    if (::send(socket.fd, setup, sizeof setup, MSG_NOSIGNAL) != sizeof setup) return false;
    pollfd wait{socket.fd, POLLIN, 0};
    return ::poll(&wait, 1, MillisecondsLeft(deadline)) != 1;
}

// A plain socket connection fails for a display nobody serves; the X client
// library also sees a server that refuses us.  It is the one Qt's xcb
// platform loads anyway, so it stays loaded.
std::string XcbProblem() {
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty()) return "DISPLAY is not set";
    void* xcb = ::dlopen("libxcb.so.1", RTLD_LAZY | RTLD_LOCAL);
    if (xcb == nullptr) return "the X client library libxcb.so.1 is missing";
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    using Disconnect = void (*)(void*);
    using Parse = int (*)(const char*, char**, int*, int*);
    const auto connect = reinterpret_cast<Connect>(::dlsym(xcb, "xcb_connect"));
    const auto hasError = reinterpret_cast<HasError>(::dlsym(xcb, "xcb_connection_has_error"));
    const auto disconnect = reinterpret_cast<Disconnect>(::dlsym(xcb, "xcb_disconnect"));
    const auto parse = reinterpret_cast<Parse>(::dlsym(xcb, "xcb_parse_display"));
    if (connect == nullptr || hasError == nullptr || disconnect == nullptr || parse == nullptr)
        return "libxcb.so.1 is not usable";
    char* host = nullptr;
    int number = 0;
    if (parse(display.constData(), &host, &number, nullptr) != 0) {
        const std::string hostName = host;
        std::free(host);
        // "protocol/host:display": xcb gives the host without its protocol.
        const std::string name = display.toStdString();
        const std::size_t slash = name.rfind('/');
        const std::string protocol = slash == std::string::npos ? "" : name.substr(0, slash);
        if (XServerSilent(hostName, protocol, number))
            return "X display " + name + " does not answer";
    }
    void* connection = connect(display.constData(), nullptr);
    const bool connected = connection != nullptr && hasError(connection) == 0;
    if (connection != nullptr) disconnect(connection);
    return connected ? std::string() : "cannot connect to X display " + display.toStdString();
}

// Where a Wayland client connects, as the Wayland client library finds it.
std::string WaylandProblem() {
    if (!qEnvironmentVariableIsEmpty("WAYLAND_SOCKET")) return {};  // a connection already handed over
    const QByteArray display = qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ? qgetenv("WAYLAND_DISPLAY") : "wayland-0";
    std::string path = display.toStdString();
    if (!path.starts_with('/')) {
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        if (runtime.isEmpty()) return "XDG_RUNTIME_DIR is not set";
        path = runtime.toStdString() + "/" + path;
    }
    Socket socket;
    const bool connected = ConnectUnix(socket, path, false, Clock::now() + AnswerTime) == Reach::Connected;
    return connected ? std::string() : "cannot connect to Wayland display " + path;
}

}  // namespace

DisplayChoice ChooseDisplay() {
    std::string problems;
    for (const QString& entry : Candidates()) {
        const QString name = entry.section(u':', 0, 0).toLower();
        std::string problem;
        if (!HasPlatformPlugin(name))
            problem = "Qt has no platform \"" + name.toStdString() + "\"";
        else if (name == u"xcb")
            problem = XcbProblem();
        else if (name.startsWith(u"wayland"))
            problem = WaylandProblem();
        if (problem.empty()) return {entry.toStdString(), {}};
        problems += (problems.empty() ? "" : "; ") + problem;
    }
    return {{}, problems.empty() ? "QT_QPA_PLATFORM names no platform" : problems};
}

}  // namespace orbisk::qt
