// Message boxes fall back to one line on standard error; commands start
// detached, in a session of their own, without leaving a child behind.
#include "platform/system_services.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "support/temp_dir.h"

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

TEST(StartHidden, RunsTheCommandDetachedAndLeavesNoChild) {
    test::TempDir dir;
    const std::string result = dir.File("result");
    // The shell reports where its standard input leads and its session.
    const std::string command = "{ readlink /proc/$$/fd/0; cut -d' ' -f6 /proc/$$/stat; } > '" + result +
                                ".tmp' && mv '" + result + ".tmp' '" + result + "'";
    MakeSystemServices()->StartHidden(command);

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
