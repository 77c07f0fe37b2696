// Message boxes fall back to one line on standard error; log entries reach
// the log socket and standard error without touching the host's own syslog
// settings; commands start detached, in a session of their own, without
// leaving a child behind, and one that cannot start says so.
#include "platform/system_services.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/posix/posix_system_services.h"
#include "support/temp_dir.h"

// The host's syslog settings are made by these calls: count them.
namespace {
int g_syslogSettingsCalls = 0;
}
extern "C" void openlog(const char*, int, int) { ++g_syslogSettingsCalls; }
extern "C" void closelog(void) { ++g_syslogSettingsCalls; }

namespace orbisk {
namespace {

using namespace std::chrono_literals;

class RecordingPresenter final : public MessageBoxPresenter {
public:
    explicit RecordingPresenter(bool canShow) : canShow_(canShow) {}
    bool ShowError(std::string_view caption, std::string_view text) override {
        shown += std::string(caption) + "|" + std::string(text) + ";";
        return canShow_;
    }
    std::string shown;

private:
    bool canShow_;
};

class PresenterReset {
public:
    ~PresenterReset() { SetMessageBoxPresenter(nullptr); }
};

TEST(ShowError, GoesToThePresenterOrFallsBackToOneLine) {
    PresenterReset reset;
    const auto system = MakeSystemServices();
    struct Case {
        bool installed;
        bool canShow;
        std::string presented;
        std::string printed;
    };
    const Case cases[] = {
        {false, false, "", "RAYCAP.QM Support: Cannot open COM port\n"},
        {true, true, "RAYCAP.QM Support|Cannot open COM port;", ""},
        {true, false, "RAYCAP.QM Support|Cannot open COM port;", "RAYCAP.QM Support: Cannot open COM port\n"},
    };
    for (const Case& c : cases) {
        RecordingPresenter presenter(c.canShow);
        SetMessageBoxPresenter(c.installed ? &presenter : nullptr);
        ::testing::internal::CaptureStderr();
        system->ShowError("Cannot open COM port");
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.printed);
        EXPECT_EQ(presenter.shown, c.presented);
    }
}

TEST(LogError, SendsOneEntryAndLeavesTheHostsSyslogSettingsAlone) {
    test::TempDir dir;
    const std::string socketPath = dir.File("log");
    const int log = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(log, 0);
    sockaddr_un address{AF_UNIX, {}};
    socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(log, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);

    g_syslogSettingsCalls = 0;
    ::testing::internal::CaptureStderr();
    MakePosixSystemServices(socketPath)->LogError("Cannot open COM port");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Vantrel Orbisk: Cannot open COM port\n");
    EXPECT_EQ(g_syslogSettingsCalls, 0);

    char datagram[512] = {};
    EXPECT_GT(::recv(log, datagram, sizeof datagram - 1, MSG_DONTWAIT), 0);
    ::close(log);
    // <user.err>Mmm dd hh:mm:ss ident[pid]: text, as syslog(3) writes it.
    EXPECT_THAT(std::string(datagram),
                ::testing::MatchesRegex("<11>[A-Z][a-z]{2} [ 1-3][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} Vantrel Orbisk\\[" +
                                        std::to_string(::getpid()) + "\\]: Cannot open COM port"));
}

TEST(StartHidden, SaysWhenTheCommandCannotStart) {
    const auto system = MakeSystemServices();
    for (const char* line : {"/nonexistent/restart-host --now", "no-such-program-orbisk", "/dev/null", "", " ",
                             "echo \"unterminated", "exit 3"})
        EXPECT_FALSE(system->StartHidden(line)) << line;
    EXPECT_TRUE(system->StartHidden("true"));
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
}

TEST(StartHidden, RunsTheCommandDetachedAndLeavesNoChild) {
    test::TempDir dir;
    const std::string result = dir.File("result");
    // The shell reports where its standard input leads and its session.
    const std::string command = "{ readlink /proc/$$/fd/0; cut -d' ' -f6 /proc/$$/stat; } > '" + result +
                                ".tmp' && mv '" + result + ".tmp' '" + result + "'";
    EXPECT_TRUE(MakeSystemServices()->StartHidden(command));

    // The intermediate child has been reaped and the command is not ours.
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);

    const auto end = std::chrono::steady_clock::now() + 10s;
    while (!std::filesystem::exists(result) && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(std::filesystem::exists(result)) << "the command did not run";
    const std::string report = test::ReadFile(result);
    const auto newline = report.find('\n');
    ASSERT_NE(newline, std::string::npos) << report;
    EXPECT_EQ(report.substr(0, newline), "/dev/null");
    const long session = std::stol(report.substr(newline + 1));
    EXPECT_NE(session, static_cast<long>(::getsid(0)));
}

}  // namespace
}  // namespace orbisk
