// The orbisk program's ties to Linux: standard streams, and why a port did
// not open.
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "commands/commands.h"

namespace orbisk::tool {

const char PathSeparator[] = "/";

void PrepareStandardStreams() {}

int TerminalColumns() {
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col >= 40) return size.ws_col;
    const char* columns = std::getenv("COLUMNS");
    const int fromEnv = columns != nullptr ? std::atoi(columns) : 0;
    return fromEnv >= 40 ? fromEnv : 80;
}

std::string PortOpenFailure(const std::string& portFolder, int port, const std::string& path) {
    const std::string link = portFolder + "/com" + std::to_string(port);
    if (path.empty()) return "COM" + std::to_string(port) + " names no port";
    const std::string head = "cannot open COM" + std::to_string(port) + " (" + path + "): ";
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return head + "no such device; link your adapter as " + link +
               " (e.g. ln -s /dev/serial/by-id/<adapter> " + link + ")";
    if (::stat(path.c_str(), &st) != 0)
        return head + "the link leads nowhere; is the adapter plugged in?";
    if (::access(path.c_str(), R_OK | W_OK) != 0)
        return head + "permission denied; add yourself to the dialout group (then log in again)";
    return head + "the port is in use by another program, or is not a serial port";
}

}  // namespace orbisk::tool
