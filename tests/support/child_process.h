#pragma once
// A program run by a test: standard input from /dev/null, standard output
// and error appended to one file; killed and reaped when the test ends.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace orbisk::test {

class ChildProcess {
public:
    // args[0] is looked up in PATH; env ("NAME=value") adds to this process's
    // environment; fd3, when given, is passed on as descriptor 3.
    ChildProcess(std::vector<std::string> args, const std::string& output, std::vector<std::string> env = {},
                 int fd3 = -1) {
        std::vector<char*> argv, envp;
        for (std::string& a : args) argv.push_back(a.data());
        for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
        for (std::string& e : env) envp.push_back(e.data());
        argv.push_back(nullptr);
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

    pid_t Pid() const { return pid_; }

    // Sends the signal and waits: the exit status, or 128 + the signal.
    int Stop(int signal = SIGTERM) {
        if (pid_ > 0) ::kill(pid_, signal);
        return Wait(60000);
    }

    // The exit status once ended within timeoutMs, otherwise -1.
    int Wait(int timeoutMs) {
        for (int waited = 0; pid_ > 0; waited += 10) {
            int raw = 0;
            if (::waitpid(pid_, &raw, WNOHANG) == pid_) {
                pid_ = -1;
                status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            } else if (waited >= timeoutMs) {
                return -1;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        return status_;
    }

private:
    pid_t pid_ = -1;
    int status_ = -1;
};

}  // namespace orbisk::test
