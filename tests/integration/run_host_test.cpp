// `orbisk run` as a user runs it: the real program and orbisk.so from a
// folder of their own, a pseudo-terminal linked as the port, standard input
// held open by the test and standard output read by it.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "capture.h"
#include "pty.h"
#include "support/temp_dir.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class RunHost : public ::testing::Test {
protected:
    void SetUp() override {
        fs::copy_file(fs::path(ORBISK_BIN_DIR) / "orbisk", dir.File("orbisk"));
        fs::copy_file(fs::path(ORBISK_BIN_DIR) / "orbisk.so", dir.File("orbisk.so"));
        std::string error;
        ASSERT_TRUE(pty.Open(false, error)) << error;
        ASSERT_TRUE(orbisk::tool::LinkPort(dir.File("ports"), 3, pty.SlavePath(), error)) << error;
    }
    void TearDown() override { End(); }

    // Ends the program, if it still runs, and closes the test's ends.
    void End() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        for (const int fd : {input_, output_})
            if (fd >= 0) close(fd);
        pid_ = input_ = output_ = -1;
        out_.clear();
    }

    // Starts `orbisk run` with this settings file.  A full standard output
    // is filled by the test before the start and never read.
    void Start(const std::string& settings, bool fullOutput = false) {
        orbisk::test::WriteFile(dir.File("orbisk.ini"), settings);
        int in[2], out[2];
        ASSERT_EQ(pipe2(in, O_CLOEXEC), 0);
        ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
        if (fullOutput) {
            fcntl(out[1], F_SETFL, O_NONBLOCK);
            const std::string filler(4096, 'x');
            while (write(out[1], filler.data(), filler.size()) > 0) {
            }
            fcntl(out[1], F_SETFL, 0);  // the program gets a blocking pipe
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, dir.File("stderr.txt").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const std::string program = dir.File("orbisk");
        char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>("run"), nullptr};
        ASSERT_EQ(posix_spawn(&pid_, argv[0], &actions, nullptr, argv, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        input_ = in[1];
        output_ = out[0];
    }

    std::string Stderr() const { return orbisk::test::ReadFile(dir.File("stderr.txt")); }

    bool WaitForStderr(const std::string& text) {
        for (const auto end = Clock::now() + 10s; Clock::now() < end; std::this_thread::sleep_for(10ms))
            if (Stderr().find(text) != std::string::npos) return true;
        return false;
    }

    // Reads standard output until it holds text, or to its end when text is
    // empty; at most 10 s.
    std::string ReadOutput(const std::string& text = {}) {
        for (const auto end = Clock::now() + 10s; Clock::now() < end;) {
            pollfd p{output_, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            char buffer[4096];
            const ssize_t n = read(output_, buffer, sizeof buffer);
            if (n <= 0) break;
            out_.append(buffer, static_cast<std::size_t>(n));
            if (!text.empty() && out_.find(text) != std::string::npos) break;
        }
        return out_;
    }

    // The exit status, or -1 when the program is still running after 5 s.
    int WaitForExit() {
        for (const auto end = Clock::now() + 5s; Clock::now() < end; std::this_thread::sleep_for(10ms)) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
        }
        return -1;
    }

    void PressKey() {
        const std::vector<std::uint8_t> bytes = orbisk::tool::WireBytes(
            orbisk::tool::GenerateKeyPresses({{orbisk::tool::IrProtocol::Nec, 4, 8, 0, 0}}, {}));
        ASSERT_TRUE(pty.Write(bytes.data(), bytes.size()));
    }

    orbisk::test::TempDir dir;
    orbisk::tool::PseudoTerminal pty;
    pid_t pid_ = -1;
    int input_ = -1, output_ = -1;
    std::string out_;
};

TEST_F(RunHost, StartThatFailsIsNotReportedAsStarted) {
    struct Case {
        const char* settings;
        bool runs;
        const char* says;
    };
    const Case cases[] = {
        // The plug-in runs without its port, and says so.
        {"[Main]\nCOM=9\n", true, "started, but reported: Cannot open COM port; Ctrl-C stops"},
        // Only the command is started: nothing on standard error at all.
        {"[Main]\nCOM=9\nHaltOnError=1\nExecOnError=true\n", false,
         "did not start: it reported nothing (see the system log)"},
    };
    for (const Case& c : cases) {
        Start(c.settings);
        if (c.runs)
            EXPECT_TRUE(WaitForStderr(c.says)) << Stderr();
        else
            EXPECT_EQ(WaitForExit(), 2) << c.settings;
        EXPECT_NE(Stderr().find(c.says), std::string::npos) << Stderr();
        EXPECT_EQ(Stderr().find("started;"), std::string::npos) << Stderr();
        End();
    }
}

// The plug-in sends no release when stopped with a key held; our host ends
// the key itself.
TEST_F(RunHost, SignalWhileAKeyIsHeldPrintsItsRelease) {
    Start("[Main]\nCOM=3\nWaitR=60000\n");  // held for the limit, 10 s
    ASSERT_TRUE(WaitForStderr("started; Ctrl-C stops")) << Stderr();
    PressKey();
    const std::string press = ReadOutput("\n");
    ASSERT_EQ(press.rfind("press\t", 0), 0u) << press;
    const std::string key = press.substr(6);  // name, remote and code as pressed
    kill(pid_, SIGTERM);
    EXPECT_EQ(ReadOutput(), press + "release\t" + key);
    EXPECT_EQ(WaitForExit(), 0);
}

TEST_F(RunHost, SignalEndsItWhileStandardOutputIsBlocked) {
    Start("[Main]\nCOM=3\n", true);
    ASSERT_TRUE(WaitForStderr("started; Ctrl-C stops")) << Stderr();
    PressKey();
    std::this_thread::sleep_for(300ms);  // press and release are due by now
    kill(pid_, SIGTERM);
    EXPECT_EQ(WaitForExit(), 0);
    EXPECT_NE(Stderr().find("bytes of key lines not written"), std::string::npos) << Stderr();
}

}  // namespace
