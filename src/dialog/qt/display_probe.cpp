#include "dialog/qt/display_probe.h"

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QLibraryInfo>
#include <QPluginLoader>
#include <QStringList>

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
    const auto connect = reinterpret_cast<Connect>(::dlsym(xcb, "xcb_connect"));
    const auto hasError = reinterpret_cast<HasError>(::dlsym(xcb, "xcb_connection_has_error"));
    const auto disconnect = reinterpret_cast<Disconnect>(::dlsym(xcb, "xcb_disconnect"));
    if (connect == nullptr || hasError == nullptr || disconnect == nullptr) return "libxcb.so.1 is not usable";
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
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    bool connected = false;
    if (path.size() < sizeof address.sun_path) {
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        connected = fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        if (fd >= 0) ::close(fd);
    }
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
