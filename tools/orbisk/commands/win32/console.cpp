// The orbisk program's ties to Windows: standard streams, console stop
// requests, error texts, and why a port did not open.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "commands/commands.h"
#include "commands/win32/win32_text.h"

namespace orbisk::tool {

namespace {

HANDLE g_stopEvent = nullptr;

BOOL WINAPI OnConsoleControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT) return FALSE;
    SetEvent(g_stopEvent);
    return TRUE;
}

}  // namespace

const char PathSeparator[] = "\\";

// Line breaks are written as they are, so that the output is the same
// bytes as on Linux.
void PrepareStandardStreams() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

int TerminalColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) {
        const int columns = info.srWindow.Right - info.srWindow.Left + 1;
        if (columns >= 40) return columns;
    }
    return 80;
}

std::string SystemErrorText(DWORD code) {
    char text[512] = {};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                             sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == ' ' || text[n - 1] == '.')) --n;
    if (n == 0) return "error " + std::to_string(code);
    return std::string(text, n);
}

HANDLE ConsoleStopEvent() {
    // The program's first thread sets this up before it starts others.
    if (g_stopEvent == nullptr) {
        g_stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    }
    return g_stopEvent;
}

std::string PortOpenFailure(const std::string&, int port, const std::string& path) {
    const std::string name = "COM" + std::to_string(port);
    if (path.empty()) return name + " names no port";
    // Open it once more to learn why it failed.
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const DWORD code = GetLastError();
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    const std::string head = "cannot open " + name + " (" + path + "): ";
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
        return head + "no such port; is the adapter plugged in? (see Device Manager, Ports)";
    if (code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION)
        return head + "the port is in use by another program";
    return head + SystemErrorText(code);
}

}  // namespace orbisk::tool
