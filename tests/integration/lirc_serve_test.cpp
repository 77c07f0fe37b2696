// orbisk serve against the real LIRC clients (irw, irexec, irsend from
// Debian's lirc package; no LIRC daemon is involved), under bad input, under
// a service manager and under load.  The keys come from orbisk simulate
// through the real orbisk.so.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <random>
#include <sstream>

#include "support/child_process.h"
#include "support/lirc_load.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using orbisk::test::ChildProcess;
using orbisk::test::ConnectUnix;
using orbisk::test::ReadFile;
using orbisk::test::ReadUntil;

int BoundSocket(const std::string& path, int type) {
    const int fd = ::socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    return ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ? fd : -1;
}

// The program, the plug-in and the sample remote's settings file in a folder
// of their own; the simulator serves port 7 there.
class LircServe : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* file : {"orbisk", "orbisk.so"}) fs::copy_file(fs::path(ORBISK_BIN_DIR) / file, dir.File(file));
        std::string ini = ReadFile(std::string(ORBISK_SOURCE_DIR) + "/samples/orbisk.ini");
        orbisk::test::WriteFile(dir.File("orbisk.ini"), ini.replace(ini.find("COM=2"), 5, "COM=7"));
    }
    void Simulate(std::vector<std::string> args) {
        args.insert(args.begin(), {dir.File("orbisk"), "simulate", "--com", "7"});
        simulator = std::make_unique<ChildProcess>(args, dir.File("simulate.txt"));
        for (int i = 0; i < 500 && !fs::is_symlink(dir.File("ports/com7")); ++i) std::this_thread::sleep_for(10ms);
    }
    void Serve() {
        serve = std::make_unique<ChildProcess>(std::vector<std::string>{dir.File("orbisk"), "serve", "--socket", socket},
                                               dir.File("serve.txt"));
        int fd = -1;
        for (int i = 0; i < 1000 && (fd = ConnectUnix(socket)) < 0; ++i) std::this_thread::sleep_for(10ms);
        ASSERT_GE(fd, 0) << ReadFile(dir.File("serve.txt"));
        ::close(fd);
    }
    // A remote of 5,000 keys, whose LIST is a long reply.
    void AddBigRemote() {
        std::string big = "[Big]\n";
        for (int i = 0; i < 5000; ++i) big += std::to_string(10000000 + i) + "=Key" + std::to_string(i) + "\n";
        orbisk::test::WriteFile(dir.File("orbisk.ini"), ReadFile(dir.File("orbisk.ini")) + big);
    }
    // Waits until the file holds text; its content then.
    std::string WaitForText(const std::string& file, const std::string& text) {
        for (int i = 0; i < 1000 && ReadFile(file).find(text) == std::string::npos; ++i) std::this_thread::sleep_for(20ms);
        return ReadFile(file);
    }
    std::string Irsend(const std::vector<std::string>& args) {
        std::vector<std::string> argv = {"irsend", "--device=" + socket};
        argv.insert(argv.end(), args.begin(), args.end());
        fs::remove(dir.File("irsend.txt"));
        irsendStatus = ChildProcess(argv, dir.File("irsend.txt")).Wait(10000);
        return ReadFile(dir.File("irsend.txt"));
    }

    orbisk::test::TempDir dir;
    const std::string socket = dir.File("lircd");
    std::unique_ptr<ChildProcess> simulator, serve;
    int irsendStatus = -1;
};

TEST_F(LircServe, IrwAndIrexecTakeTheSimulatedKeysInOrder) {
    const std::string log = dir.File("exec.txt");
    orbisk::test::WriteFile(dir.File("lircrc"), "begin\n prog = irexec\n remote = TV\n button = Power\n config = echo Power >> " +
                                                    log + "\nend\nbegin\n prog = irexec\n remote = TV\n button = Mute\n"
                                                    " config = echo Mute >> " + log + "\nend\n");
    Simulate({"--delay", "1500", std::string(ORBISK_SOURCE_DIR) + "/samples/tv-remote.capture"});
    ASSERT_NO_FATAL_FAILURE(Serve());
    ChildProcess irw({"irw", socket}, dir.File("irw.txt"));
    ChildProcess irexec({"irexec", dir.File("lircrc")}, dir.File("irexec.txt"), {"LIRC_SOCKET_PATH=" + socket});

    // The presses in the order played, each with its repeats counting up
    // from 00; only the held keys repeat (TV's VolumeUp for 600 ms).  Both
    // presses of the RC-5 key carry its one code, whatever the toggle bit.
    const std::string lines = WaitForText(dir.File("irw.txt"), "Power Sony_TV\n");
    // The keys were learned under the frames' older codes; the lines carry the frames' codes.
    const char* presses[] = {"0000000030781b59 Power TV",        "00000000f4ec8c68 VolumeUp TV",
                             "00000000c2a5044b VolumeDown TV",   "00000000d51adb4c ChannelUp TV",
                             "000000001a0b1f0c Mute TV",         "00000000cada5902 VolumeUp Amplifier",
                             "00000000cada5902 VolumeUp Amplifier", "00000000230fd041 Power Sony_TV"};
    const int maxRepeat[] = {0, 99, 0, 0, 0, 99, 99, 99};
    std::istringstream in(lines);
    std::string code, repeat, button, remote;
    int press = -1, count = 0, volumeRepeats = 0;
    while (in >> code >> repeat >> button >> remote) {
        count = repeat == "00" ? 0 : count + 1;
        press += count == 0;
        ASSERT_TRUE(press >= 0 && press < 8) << lines;
        EXPECT_EQ(code + " " + button + " " + remote, presses[press]) << lines;
        EXPECT_EQ(std::stoi(repeat, nullptr, 16), count) << lines;
        EXPECT_LE(count, maxRepeat[press]) << lines;
        volumeRepeats += press == 1 && count > 0;
    }
    EXPECT_EQ(press, 7) << lines;
    EXPECT_GE(volumeRepeats, 1) << lines;

    // One command per press, for TV's Power and Mute (not the Sony TV's).
    WaitForText(log, "Mute\n");
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(ReadFile(log), "Power\nMute\n") << ReadFile(dir.File("irexec.txt"));
}

TEST_F(LircServe, IrsendListsAndBadInputLeavesTheServerServing) {
    AddBigRemote();
    ASSERT_NO_FATAL_FAILURE(Serve());
    std::mt19937 random(7);
    std::string noise(256 * 1024, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    std::string flood;
    for (int i = 0; i < 20000; ++i) flood += i % 2 ? "LIST TV\n" : "LIST Big\n";
    // Random bytes, a 1 MiB line, a flood of commands (all never reading
    // the replies), half a command: each then hangs up.
    for (const std::string& bytes : {noise, std::string(1 << 20, 'L') + "\n", flood, std::string("LIST T")}) {
        const int fd = ConnectUnix(socket);
        for (std::size_t done = 0, n = 0; done < bytes.size(); done += n) {
            pollfd p{fd, POLLOUT, 0};
            const ssize_t sent = ::poll(&p, 1, 500) == 1 ? ::send(fd, bytes.data() + done, bytes.size() - done,
                                                                  MSG_NOSIGNAL | MSG_DONTWAIT)
                                                         : -1;
            if (sent <= 0) break;  // no longer read: the replies wait for it
            n = static_cast<std::size_t>(sent);
        }
        ::close(fd);
    }
    EXPECT_EQ(Irsend({"list", "", ""}), "TV\nAmplifier\nSony_TV\nBig\n\n");
    const std::string keys = Irsend({"list", "Big", ""});
    EXPECT_EQ(std::count(keys.begin(), keys.end(), '\n'), 5001);
    EXPECT_NE(keys.find("\n0000000010004999 Key4999\n"), std::string::npos) << "the thousands of keys whole";
    EXPECT_EQ(irsendStatus, 0);
    EXPECT_EQ(Irsend({"list", "TV", ""}),
              "000000002d4cad19 Power\n00000000453843fa VolumeUp\n000000002d24d538 VolumeDown\n"
              "0000000034866425 ChannelUp\n000000006e3e575e Mute\n\n");
    EXPECT_NE(Irsend({"send_once", "TV", "Power"}).find("orbisk only receives"), std::string::npos);
    EXPECT_NE(irsendStatus, 0);
    EXPECT_EQ(serve->Stop(SIGTERM), 0);
    EXPECT_FALSE(fs::exists(socket)) << "its own socket file is removed";
}

TEST_F(LircServe, ASettingsFileSavedAsUtf16IsListedAsThePluginReadsIt) {
    orbisk::test::WriteFile(dir.File("orbisk.ini"), orbisk::test::Utf16File(ReadFile(dir.File("orbisk.ini"))));
    ASSERT_NO_FATAL_FAILURE(Serve());
    EXPECT_EQ(Irsend({"list", "", ""}), "TV\nAmplifier\nSony_TV\n\n");
}

// Standard error a full pipe that no one reads (the plug-in reports its
// missing port there, the server its reload): it serves, and stops on SIGTERM.
TEST_F(LircServe, FullStandardErrorNeverHoldsTheServer) {
    const std::string fifo = dir.File("stderr");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    const int filler = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    static const char page[4096] = {};
    while (::write(filler, page, sizeof page) > 0) {
    }
    serve = std::make_unique<ChildProcess>(std::vector<std::string>{dir.File("orbisk"), "serve", "--socket", socket},
                                           fifo);
    for (const int signal : {0, SIGHUP}) {
        ::kill(serve->Pid(), signal);  // 0: none
        int client = -1;
        for (int i = 0; i < 1000 && (client = ConnectUnix(socket)) < 0; ++i) std::this_thread::sleep_for(10ms);
        ::send(client, "VERSION\n", 8, MSG_NOSIGNAL);
        EXPECT_NE(ReadUntil(client, "VERSION\nSUCCESS", 5000).find("VERSION\nSUCCESS"), std::string::npos) << signal;
        ::close(client);
    }
    ::kill(serve->Pid(), SIGTERM);
    EXPECT_EQ(serve->Wait(5000), 0);
    for (const int fd : {reader, filler}) ::close(fd);
}

// As a service manager runs it: the listening socket passed as descriptor 3
// (blocking, as systemd passes it), notices on a datagram socket.
TEST_F(LircServe, UnderAServiceManagerSighupReloadsAndStopReleasesTheHeldKey) {
    Simulate({"--delay", "300", "--loop", "--nec", "4", "8", "--hold", "1500"});
    orbisk::tool::lirc::Listener passed;
    std::string error;
    ASSERT_TRUE(passed.Open(socket, 0600, error)) << error;
    const int listenFd = passed.Fd() == 3 ? ::dup(passed.Fd()) : passed.Fd();
    ::fcntl(listenFd, F_SETFL, ::fcntl(listenFd, F_GETFL) & ~O_NONBLOCK);
    const int notify = BoundSocket(dir.File("notify"), SOCK_DGRAM);
    const auto notice = [&] {
        char text[256] = {};
        pollfd p{notify, POLLIN, 0};
        if (::poll(&p, 1, 10000) == 1) ::recv(notify, text, sizeof text - 1, 0);
        return std::string(text).substr(0, std::string(text).find('\n'));
    };
    // exec keeps the shell's process id, which systemd gives as LISTEN_PID.
    serve = std::make_unique<ChildProcess>(
        std::vector<std::string>{"sh", "-c", "LISTEN_PID=$$ exec \"$0\" serve --release _UP", dir.File("orbisk")},
        dir.File("serve.txt"), std::vector<std::string>{"LISTEN_FDS=1", "NOTIFY_SOCKET=" + dir.File("notify")}, listenFd);
    EXPECT_EQ(notice(), "READY=1") << ReadFile(dir.File("serve.txt"));
    const int client = ConnectUnix(socket);
    std::string seen = ReadUntil(client, " 00 Power TV\n");
    ASSERT_NE(seen.find(" 00 Power TV\n"), std::string::npos) << seen;

    // A key renamed in the settings file, as the setup dialog saves it.
    std::string ini = ReadFile(dir.File("orbisk.ini"));
    orbisk::test::WriteFile(dir.File("orbisk.ini"), ini.replace(ini.find("=Power"), 6, "=Standby"));
    ::kill(serve->Pid(), SIGHUP);
    EXPECT_EQ(notice(), "RELOADING=1");
    EXPECT_EQ(notice(), "READY=1");
    seen = ReadUntil(client, "BEGIN\nSIGHUP\nEND\n");
    seen = ReadUntil(client, " 01 Standby TV\n");
    ASSERT_NE(seen.find(" 01 Standby TV\n"), std::string::npos) << seen;

    EXPECT_EQ(serve->Stop(SIGTERM), 0);
    EXPECT_EQ(notice(), "STOPPING=1");
    seen += ReadUntil(client, "\n_never_");
    EXPECT_TRUE(seen.ends_with(" Standby TV\n0000000030781b59 00 Standby_UP TV\n")) << seen;
    EXPECT_TRUE(fs::exists(socket)) << "a passed socket is the manager's to remove";
    ::close(client);
    ::close(notify);
}

// Stopped in a flood of LIST commands and garbage: it ends, and answers
// nothing sent after the stop (its clients get at most half a second).
TEST_F(LircServe, SigtermInAFloodEndsItAndNothingIsAnsweredAfterIt) {
    AddBigRemote();
    ASSERT_NO_FATAL_FAILURE(Serve());
    const orbisk::test::ServeStopResult result = orbisk::test::FloodThenStop(socket, *serve, "Big", 100, 100, 50, 1000);
    EXPECT_EQ(result.clients, 250);
    EXPECT_EQ(result.status, 0) << ReadFile(dir.File("serve.txt"));
    EXPECT_LE(result.probesAnswered, result.probes / 10) << "of " << result.probes << " commands sent after SIGTERM";
}

TEST(LircSocket, LiveRefusedStaleReplacedOtherFilesKept) {
    orbisk::test::TempDir dir;
    const std::string path = dir.File("lircd");
    ::close(BoundSocket(path, SOCK_STREAM));  // stale, as after a crash
    orbisk::tool::lirc::Listener live, second;
    std::string error;
    ASSERT_TRUE(live.Open(path, 0660, error)) << error;
    struct stat st {};
    EXPECT_TRUE(::stat(path.c_str(), &st) == 0 && (st.st_mode & 0777) == 0660);
    EXPECT_FALSE(second.Open(path, 0600, error));
    EXPECT_NE(error.find("in use"), std::string::npos) << error;
    live.Close();
    orbisk::test::WriteFile(path, "not a socket");
    EXPECT_FALSE(second.Open(path, 0600, error));
    EXPECT_EQ(ReadFile(path), "not a socket");
}

// A bare name is bound in the current folder, and a server stopping after
// another took over its path leaves the other's socket.
TEST(LircSocket, BareNameIsASocketHereAndOnlyTheOwnSocketIsRemoved) {
    orbisk::test::TempDir dir;
    const fs::path before = fs::current_path();
    fs::current_path(dir.Path());
    ::close(BoundSocket("lircd", SOCK_STREAM));  // stale
    orbisk::tool::lirc::Listener first, second;
    std::string error;
    EXPECT_TRUE(first.Open("lircd", 0600, error) && fs::is_socket("lircd")) << error;
    fs::current_path(before);
    fs::remove(dir.File("lircd"));
    ASSERT_TRUE(second.Open(dir.File("lircd"), 0600, error)) << error;
    first.Close();
    EXPECT_TRUE(fs::is_socket(dir.File("lircd"))) << "the second server's socket is still there";
}

TEST(LircLoad, FiftyClientsTenThousandKeysTheSilentOneDropped) {
    orbisk::test::TempDir dir;
    const orbisk::test::LircLoadResult result = orbisk::test::RunLircLoad(dir.File("lircd"), 50, 10000);
    EXPECT_EQ(result.readers, 49);
    EXPECT_EQ(result.readersWithEveryLine, 49) << "every reading client gets every line, in order";
    EXPECT_EQ(result.droppedClients, 1u) << "the one that never reads";
    EXPECT_EQ(result.clientsLeft, 49u);
}

}  // namespace
