#include "platform/system_services.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>

namespace orbisk {
namespace {

constexpr char kCaption[] = "RAYCAP.QM Support";
// openlog keeps the pointer, so the ident must outlive every syslog call.
constexpr char kLogIdent[] = "Vantrel Orbisk";

std::atomic<MessageBoxPresenter*> g_presenter{nullptr};

void WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

// Runs in the grandchild between fork and exec: async-signal-safe calls only,
// since the parent may have other threads holding locks we would inherit.
[[noreturn]] void ExecDetached(char* const argv[], const sigset_t& emptyMask) {
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
    }
    // The host's descriptors (its sockets, our serial port) are not the
    // command's business; a kernel without close_range leaves only those
    // without FD_CLOEXEC open.
    ::close_range(3, ~0U, 0);
    // The calling thread's blocked signals and the host's ignored ones would
    // otherwise carry over into the command.
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig) ::sigaction(sig, &standard, nullptr);
    ::sigprocmask(SIG_SETMASK, &emptyMask, nullptr);
    ::execve("/bin/sh", argv, environ);
    ::_exit(127);
}

class PosixSystemServices final : public SystemServices {
public:
    void ShowError(std::string_view text) override {
        MessageBoxPresenter* presenter = CurrentMessageBoxPresenter();
        if (presenter != nullptr && presenter->ShowError(kCaption, text)) return;
        std::string line;
        line.reserve(sizeof kCaption + 2 + text.size() + 1);
        line.append(kCaption).append(": ").append(text).append("\n");
        // One write, so that output of other threads cannot cut into the line.
        WriteAll(STDERR_FILENO, line);
    }

    void LogError(std::string_view text) override {
        openlog(kLogIdent, LOG_PID, LOG_USER);
        syslog(LOG_ERR, "%.*s", static_cast<int>(text.size()), text.data());
        closelog();
    }

    void StartHidden(const std::string& commandLine) override {
        // Everything the children need is prepared before fork.
        char shell[] = "sh";
        char dashC[] = "-c";
        std::string command = commandLine;
        char* const argv[] = {shell, dashC, command.data(), nullptr};
        sigset_t emptyMask;
        sigemptyset(&emptyMask);

        // Double fork: the intermediate child starts a session of its own and
        // exits at once, so the command is adopted by init (never a zombie of
        // the host) and can never acquire a controlling terminal.
        const pid_t child = ::fork();
        if (child < 0) return;
        if (child == 0) {
            ::setsid();
            const pid_t grandchild = ::fork();
            if (grandchild == 0) ExecDetached(argv, emptyMask);
            ::_exit(grandchild < 0 ? 1 : 0);
        }
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }
};

}  // namespace

std::unique_ptr<SystemServices> MakeSystemServices() { return std::make_unique<PosixSystemServices>(); }

void SetMessageBoxPresenter(MessageBoxPresenter* presenter) {
    g_presenter.store(presenter, std::memory_order_release);
}

MessageBoxPresenter* CurrentMessageBoxPresenter() { return g_presenter.load(std::memory_order_acquire); }

}  // namespace orbisk
