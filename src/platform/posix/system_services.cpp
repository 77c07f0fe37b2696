#include "platform/system_services.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/posix_system_services.h"

namespace orbisk {
namespace {

constexpr char kCaption[] = "RAYCAP.QM Support";
constexpr char kLogIdent[] = "Vantrel Orbisk";
constexpr char kSystemLogSocket[] = "/dev/log";
constexpr int kUserErrorPriority = 1 * 8 + 3;  // facility user, severity error
constexpr int kStatusFd = 3;                   // the exec status pipe in the command's child
constexpr int kShellWatchSteps = CommandWatchMs / 10;  // 10 ms each

void WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

// One report line, "<who>: <text>", written in one piece so that output of
// other threads cannot cut into it.
void PrintReport(std::string_view who, std::string_view text) {
    std::string line;
    line.reserve(who.size() + 2 + text.size() + 1);
    line.append(who).append(": ").append(text).append("\n");
    WriteAll(STDERR_FILENO, line);
}

// An RFC 3164 message as syslog(3) would send it after openlog(ident,
// LOG_PID, LOG_USER), without touching the process's openlog state.
std::string SyslogDatagram(std::string_view text) {
    char stamp[32] = "";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (::localtime_r(&now, &local) != nullptr) std::strftime(stamp, sizeof stamp, "%b %e %H:%M:%S", &local);
    std::string datagram = "<" + std::to_string(kUserErrorPriority) + ">" + stamp + " " + kLogIdent + "[" +
                           std::to_string(::getpid()) + "]: ";
    datagram.append(text);
    return datagram;
}

// A datagram socket as most log daemons offer; a stream socket takes the
// message with a NUL after it.
void SendToLog(const std::string& socketPath, const std::string& datagram) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path) return;
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    const auto* target = reinterpret_cast<const sockaddr*>(&address);
    for (const int type : {SOCK_DGRAM, SOCK_STREAM}) {
        const int fd = ::socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
        if (fd < 0) return;
        bool wrongType = false;
        if (type == SOCK_DGRAM) {
            ssize_t n;
            do {
                n = ::sendto(fd, datagram.data(), datagram.size(), MSG_NOSIGNAL, target, sizeof address);
            } while (n < 0 && errno == EINTR);
            wrongType = n < 0 && errno == EPROTOTYPE;
        } else if (::connect(fd, target, sizeof address) == 0) {
            WriteAll(fd, datagram + '\0');
        }
        ::close(fd);
        if (!wrongType) return;
    }
}

// The words of a command line: blanks separate words, quotes group them
// ('...' literally; "..." with \" and \\), a backslash outside quotes takes
// the next character as it is.  Nothing is expanded.  Empty on an unclosed
// quote or a line without words.
// Runs in the grandchild between fork and exec: async-signal-safe calls only
// (glibc's execvp allocates nothing), since the parent may have other threads
// holding locks we would inherit.  An exec that fails leaves its errno in the
// status pipe; one that succeeds closes the pipe by FD_CLOEXEC.
[[noreturn]] void ExecDetached(char* const argv[], const sigset_t& emptyMask, int statusFd) {
    if (statusFd != kStatusFd && ::dup3(statusFd, kStatusFd, O_CLOEXEC) < 0) ::_exit(127);
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
    }
    // The host's descriptors (its sockets, our serial port) are not the
    // command's business; a kernel without close_range leaves only those
    // without FD_CLOEXEC open.
    ::close_range(kStatusFd + 1, ~0U, 0);
    // The calling thread's blocked signals and the host's ignored ones would
    // otherwise carry over into the command.
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig) ::sigaction(sig, &standard, nullptr);
    ::sigprocmask(SIG_SETMASK, &emptyMask, nullptr);
    ::execvp(argv[0], argv);
    const int error = errno;
    while (::write(kStatusFd, &error, sizeof error) < 0 && errno == EINTR) {
    }
    ::_exit(127);
}

class PosixSystemServices final : public SystemServices {
public:
    explicit PosixSystemServices(std::string logSocketPath) : logSocketPath_(std::move(logSocketPath)) {}

    void ShowError(std::string_view text) override {
        MessageBoxPresenter* presenter = CurrentMessageBoxPresenter();
        if (presenter != nullptr && presenter->ShowError(kCaption, text)) return;
        PrintReport(kCaption, text);
    }

    void LogError(std::string_view text) override {
        SendToLog(logSocketPath_, SyslogDatagram(text));
        PrintReport(kLogIdent, text);
    }

    bool StartHidden(const std::string& commandLine) override {
        // The line goes to the shell, as it always has on Linux, so settings
        // files that use pipes, quotes or "&&" keep working.
        if (commandLine.find_first_not_of(" \t\r\n") == std::string::npos) return false;
        std::string shell = "/bin/sh", dashC = "-c", line = commandLine;
        char* argv[] = {shell.data(), dashC.data(), line.data(), nullptr};
        sigset_t emptyMask;
        sigemptyset(&emptyMask);
        int status[2];
        if (::pipe2(status, O_CLOEXEC) != 0) return false;

        // Double fork: the intermediate child starts a session of its own, so
        // the command is adopted by init (never a zombie of the host) and can
        // never acquire a controlling terminal.  It watches the shell for a
        // moment first: a shell that exits with a non-zero status by then
        // could not run the command (126, 127), could not parse the line (2)
        // or ran a command that failed at once; the status pipe reports it.
        const pid_t child = ::fork();
        if (child < 0) {
            ::close(status[0]);
            ::close(status[1]);
            return false;
        }
        if (child == 0) {
            ::setsid();
            const pid_t grandchild = ::fork();
            if (grandchild == 0) ExecDetached(argv, emptyMask, status[1]);
            if (grandchild < 0) ::_exit(1);
            const struct timespec step {0, 10'000'000};
            for (int i = 0; i < kShellWatchSteps; ++i) {
                int shellStatus = 0;
                if (::waitpid(grandchild, &shellStatus, WNOHANG) == grandchild) {
                    if (WIFEXITED(shellStatus) && WEXITSTATUS(shellStatus) != 0) {
                        const int error = ENOENT;
                        while (::write(status[1], &error, sizeof error) < 0 && errno == EINTR) {
                        }
                    }
                    break;
                }
                ::nanosleep(&step, nullptr);
            }
            ::_exit(0);
        }
        ::close(status[1]);
        int childStatus = 0;
        while (::waitpid(child, &childStatus, 0) < 0 && errno == EINTR) {
        }
        // The pipe ends empty when the shell started and did not give up on
        // the command; otherwise it brings an errno.
        int execError = 0;
        ssize_t n;
        do {
            n = ::read(status[0], &execError, sizeof execError);
        } while (n < 0 && errno == EINTR);
        ::close(status[0]);
        const bool forked = WIFEXITED(childStatus) && WEXITSTATUS(childStatus) == 0;
        return forked && n == 0;
    }

private:
    std::string logSocketPath_;
};

}  // namespace

std::unique_ptr<SystemServices> MakePosixSystemServices(std::string logSocketPath) {
    return std::make_unique<PosixSystemServices>(std::move(logSocketPath));
}

std::unique_ptr<SystemServices> MakeSystemServices() { return MakePosixSystemServices(kSystemLogSocket); }

}  // namespace orbisk
