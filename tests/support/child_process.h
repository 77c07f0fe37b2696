#pragma once
// A program run by a test: standard input from /dev/null, standard output
// and error into one file; ended with a signal and reaped when the test ends.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace orbisk::test {

class ChildProcess {
public:
    // args[0] is a path, or a name looked up in PATH; env entries
    // ("NAME=value") come on top of this process's environment.  fd3, when
    // given, is passed on as descriptor 3 (as systemd passes a socket).
    ChildProcess(const std::vector<std::string>& args, const std::string& output,
                 const std::vector<std::string>& env = {}, int fd3 = -1) {
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        std::vector<std::string> envText(env);
        for (char** e = environ; *e != nullptr; ++e) envText.emplace_back(*e);
        std::vector<char*> envp;
        for (std::string& e : envText) envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        if (fd3 >= 0) posix_spawn_file_actions_adddup2(&actions, fd3, 3);
        if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~ChildProcess() { Stop(SIGKILL); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }

    // Sends the signal and waits for the end; the exit status, or 128 plus
    // the signal that ended it.
    int Stop(int signal = SIGTERM) {
        if (pid_ <= 0) return status_;
        ::kill(pid_, signal);
        return Wait();
    }

    // Waits for the end by itself, up to timeoutMs; -1 while still running.
    int Wait(int timeoutMs = -1) {
        if (pid_ <= 0) return status_;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        int raw = 0;
        for (;;) {
            const pid_t done = ::waitpid(pid_, &raw, timeoutMs < 0 ? 0 : WNOHANG);
            if (done == pid_) break;
            if (done < 0 || std::chrono::steady_clock::now() >= deadline) return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        pid_ = -1;
        status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        return status_;
    }

    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int status_ = -1;
};

}  // namespace orbisk::test
