// orbisk serve against the real LIRC clients (irw, irexec, irsend from
// Debian's lirc package; no LIRC daemon is involved), under bad input and
// under load.  The keys come from orbisk simulate through the real orbisk.so.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "lirc_server_posix.h"
#include "support/child_process.h"
#include "support/lirc_load.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using orbisk::test::ChildProcess;
using orbisk::test::ConnectUnix;
using orbisk::test::ReadUntil;

// Waits until the file holds text; its content then.
std::string WaitForText(const std::string& file, const std::string& text, int timeoutMs = 20000) {
    std::string content;
    for (int waited = 0; waited < timeoutMs; waited += 20) {
        content = orbisk::test::ReadFile(file);
        if (content.find(text) != std::string::npos) break;
        std::this_thread::sleep_for(20ms);
    }
    return content;
}

// The sample remote's settings file and the orbisk program and plug-in,
// copied to a folder of their own; the simulator serves port 7 there.
class LircServe : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* file : {"orbisk", "orbisk.so"}) fs::copy_file(fs::path(ORBISK_BIN_DIR) / file, dir.File(file));
        std::string ini = orbisk::test::ReadFile(std::string(ORBISK_SOURCE_DIR) + "/samples/orbisk.ini");
        ini.replace(ini.find("COM=2"), 5, "COM=7");
        orbisk::test::WriteFile(dir.File("orbisk.ini"), ini);
    }

    void Simulate(std::vector<std::string> args) {
        args.insert(args.begin(), {dir.File("orbisk"), "simulate", "--com", "7"});
        simulator = std::make_unique<ChildProcess>(args, dir.File("simulate.txt"));
        ASSERT_TRUE(simulator->Started());
        for (int i = 0; i < 500 && !fs::is_symlink(dir.File("ports/com7")); ++i) std::this_thread::sleep_for(10ms);
    }

    void Serve(const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args = {dir.File("orbisk"), "serve", "--socket", socket};
        args.insert(args.end(), extra.begin(), extra.end());
        serve = std::make_unique<ChildProcess>(args, dir.File("serve.txt"));
        ASSERT_TRUE(serve->Started());
        for (int i = 0; i < 1000; ++i) {
            const int fd = ConnectUnix(socket);
            if (fd >= 0) {
                ::close(fd);
                return;
            }
            std::this_thread::sleep_for(10ms);
        }
        FAIL() << "orbisk serve did not listen: " << orbisk::test::ReadFile(dir.File("serve.txt"));
    }

    // irsend's output, once it has ended.
    std::string Irsend(const std::vector<std::string>& args) {
        std::vector<std::string> argv = {"irsend", "--device=" + socket};
        argv.insert(argv.end(), args.begin(), args.end());
        const std::string out = dir.File("irsend.txt");
        fs::remove(out);
        ChildProcess irsend(argv, out);
        irsendStatus = irsend.Wait(10000);
        return orbisk::test::ReadFile(out);
    }

    orbisk::test::TempDir dir;
    const std::string socket = dir.File("lircd");
    std::unique_ptr<ChildProcess> simulator, serve;
    int irsendStatus = -1;
};

struct Press {
    const char* code;
    const char* button;
    const char* remote;
};

TEST_F(LircServe, IrwAndIrexecTakeTheSimulatedKeysInOrder) {
    orbisk::test::WriteFile(dir.File("lircrc"),
                            "begin\n prog = irexec\n remote = TV\n button = Power\n config = echo Power >> " +
                                dir.File("exec.txt") + "\nend\nbegin\n prog = irexec\n remote = TV\n button = Mute\n"
                                " config = echo Mute >> " + dir.File("exec.txt") + "\nend\n");
    ASSERT_NO_FATAL_FAILURE(Simulate({"--delay", "1500", std::string(ORBISK_SOURCE_DIR) + "/samples/tv-remote.capture"}));
    ASSERT_NO_FATAL_FAILURE(Serve());
    ChildProcess irw({"irw", socket}, dir.File("irw.txt"));
    ChildProcess irexec({"irexec", dir.File("lircrc")}, dir.File("irexec.txt"), {"LIRC_SOCKET_PATH=" + socket});

    const std::string lines = WaitForText(dir.File("irw.txt"), "Power Sony_TV\n");
    // One press each, in the order played; VolumeUp of the TV is held.
    const Press presses[] = {{"000000002d4cad19", "Power", "TV"},          {"00000000453843fa", "VolumeUp", "TV"},
                             {"000000002d24d538", "VolumeDown", "TV"},     {"0000000034866425", "ChannelUp", "TV"},
                             {"000000006e3e575e", "Mute", "TV"},           {"00000000eb2e29b3", "VolumeUp", "Amplifier"},
                             {"00000000a007d1bd", "VolumeUp", "Amplifier"}, {"000000008bc0f0eb", "Power", "Sony_TV"}};
    std::istringstream in(lines);
    std::string code, repeat, button, remote;
    int press = -1;
    int expectedRepeat = 0;
    int volumeRepeats = 0;
    while (in >> code >> repeat >> button >> remote) {
        if (repeat == "00") {
            ++press;
            expectedRepeat = 0;
        }
        ASSERT_LT(press, 8) << lines;
        ASSERT_GE(press, 0) << lines;
        EXPECT_EQ(std::stoi(repeat, nullptr, 16), expectedRepeat++) << lines;
        EXPECT_EQ(code, presses[press].code) << lines;
        EXPECT_EQ(button, presses[press].button) << lines;
        EXPECT_EQ(remote, presses[press].remote) << lines;
        if (press == 1 && repeat != "00") {
            ++volumeRepeats;
        } else if (press != 1 && press != 5) {
            EXPECT_EQ(repeat, "00") << "a single frame never repeats\n" << lines;
        }
    }
    EXPECT_EQ(press, 7) << lines;
    EXPECT_GE(volumeRepeats, 1) << "held 600 ms, it repeats from 300 ms on\n" << lines;

    // A command per press: TV's Power and Mute, not the Sony TV's Power.
    WaitForText(dir.File("exec.txt"), "Mute\n", 5000);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(orbisk::test::ReadFile(dir.File("exec.txt")), "Power\nMute\n") << orbisk::test::ReadFile(dir.File("irexec.txt"));
}

TEST_F(LircServe, IrsendListsTheRemotesAndTheirKeysAndIsToldSendingIsNotOffered) {
    ASSERT_NO_FATAL_FAILURE(Serve());
    EXPECT_EQ(Irsend({"list", "", ""}), "TV\nAmplifier\nSony_TV\n\n");
    EXPECT_EQ(irsendStatus, 0);
    EXPECT_EQ(Irsend({"list", "TV", ""}),
              "000000002d4cad19 Power\n00000000453843fa VolumeUp\n000000002d24d538 VolumeDown\n"
              "0000000034866425 ChannelUp\n000000006e3e575e Mute\n\n");
    EXPECT_NE(Irsend({"send_once", "TV", "Power"}).find("orbisk only receives"), std::string::npos);
    EXPECT_NE(irsendStatus, 0);
}

TEST_F(LircServe, SighupReloadsTheKeysAndStopReleasesTheHeldKey) {
    ASSERT_NO_FATAL_FAILURE(Simulate({"--delay", "300", "--loop", "--nec", "4", "8", "--hold", "1500"}));
    ASSERT_NO_FATAL_FAILURE(Serve({"--release", "_UP"}));
    const int client = ConnectUnix(socket);
    ASSERT_GE(client, 0);
    std::string seen = ReadUntil(client, " 00 Power TV\n");
    ASSERT_NE(seen.find(" 00 Power TV\n"), std::string::npos) << seen;

    // A key renamed in the settings file, as the setup dialog saves it.
    std::string ini = orbisk::test::ReadFile(dir.File("orbisk.ini"));
    ini.replace(ini.find("=Power"), 6, "=Standby");
    orbisk::test::WriteFile(dir.File("orbisk.ini"), ini);
    ::kill(serve->Pid(), SIGHUP);
    seen = ReadUntil(client, "BEGIN\nSIGHUP\nEND\n");
    ASSERT_NE(seen.find("BEGIN\nSIGHUP\nEND\n"), std::string::npos) << seen;
    seen = ReadUntil(client, " 01 Standby TV\n");
    ASSERT_NE(seen.find(" 01 Standby TV\n"), std::string::npos) << seen;

    // Stopped while the key is held: its release is the last line.
    EXPECT_EQ(serve->Stop(SIGTERM), 0);
    seen += ReadUntil(client, "\n_never_");
    EXPECT_TRUE(seen.ends_with(" Standby TV\n000000002d4cad19 00 Standby_UP TV\n")) << seen;
    EXPECT_FALSE(fs::exists(socket)) << "the socket file is removed";
    ::close(client);
}

TEST_F(LircServe, BadInputLeavesTheServerServing) {
    ASSERT_NO_FATAL_FAILURE(Serve());
    std::mt19937 random(7);
    std::string noise(256 * 1024, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    const std::string longLine = std::string(1 << 20, 'L') + "\n";
    const auto sendAll = [](int fd, const std::string& bytes) {
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0) return;  // dropped for not reading: fine
            done += static_cast<std::size_t>(n);
        }
    };
    // Random bytes and a 1 MiB line from clients that never read; half a
    // command, then a hang-up; a flood of commands, then a hang-up.
    for (const std::string& bytes : {noise, longLine}) {
        const int fd = ConnectUnix(socket);
        sendAll(fd, bytes);
        ::close(fd);
    }
    int fd = ConnectUnix(socket);
    sendAll(fd, "LIST T");
    ::close(fd);
    fd = ConnectUnix(socket);
    std::string flood;
    for (int i = 0; i < 20000; ++i) flood += "LIST TV\n";
    sendAll(fd, flood);
    ::close(fd);

    fd = ConnectUnix(socket);
    sendAll(fd, std::string(2000, 'x') + "\nVERSION\n");
    const std::string reply = ReadUntil(fd, "orbisk ");
    EXPECT_NE(reply.find("ERROR\nDATA\n1\ncommand too long\nEND\n"), std::string::npos) << reply;
    EXPECT_NE(reply.find("BEGIN\nVERSION\nSUCCESS\nDATA\n1\norbisk "), std::string::npos) << reply;
    ::close(fd);
    EXPECT_EQ(Irsend({"list", "", ""}), "TV\nAmplifier\nSony_TV\n\n");
    EXPECT_EQ(serve->Wait(0), -1) << "still running";
}

// What a service manager does: pass the listening socket as descriptor 3
// and take readiness notices on a datagram socket.
TEST_F(LircServe, UnderSystemdItServesThePassedSocketAndReportsItsState) {
    orbisk::tool::lirc::Listener passed;
    std::string error;
    ASSERT_TRUE(passed.Open(socket, 0600, error)) << error;
    const int listenFd = passed.Fd() == 3 ? ::dup(passed.Fd()) : passed.Fd();
    ::fcntl(listenFd, F_SETFL, ::fcntl(listenFd, F_GETFL) & ~O_NONBLOCK);  // as systemd passes it
    const int notify = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", dir.File("notify").c_str());
    ASSERT_EQ(::bind(notify, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    const auto nextNotice = [&] {
        pollfd p{notify, POLLIN, 0};
        char text[512] = {};
        if (::poll(&p, 1, 10000) == 1) ::recv(notify, text, sizeof text - 1, 0);
        return std::string(text);
    };
    // The shell gives its own process id, which exec keeps, as LISTEN_PID.
    serve = std::make_unique<ChildProcess>(
        std::vector<std::string>{"/bin/sh", "-c", "LISTEN_PID=$$ exec \"$0\" serve --socket /nowhere/else",
                                 dir.File("orbisk")},
        dir.File("serve.txt"), std::vector<std::string>{"LISTEN_FDS=1", "NOTIFY_SOCKET=" + dir.File("notify")},
        listenFd);
    EXPECT_EQ(nextNotice().substr(0, 8), "READY=1\n") << orbisk::test::ReadFile(dir.File("serve.txt"));
    EXPECT_EQ(Irsend({"list", "", ""}), "TV\nAmplifier\nSony_TV\n\n");
    ::kill(serve->Pid(), SIGHUP);
    EXPECT_EQ(nextNotice().substr(0, 12), "RELOADING=1\n");
    EXPECT_EQ(nextNotice().substr(0, 8), "READY=1\n");
    EXPECT_EQ(serve->Stop(SIGTERM), 0);
    EXPECT_EQ(nextNotice(), "STOPPING=1");
    EXPECT_TRUE(fs::exists(socket)) << "the passed socket is the manager's to remove";
    ::close(notify);
}

TEST(LircSocket, LiveRefusedStaleReplacedOtherFilesKept) {
    orbisk::test::TempDir dir;
    const std::string path = dir.File("lircd");
    std::string error;
    {
        // Bound and closed without removing the file, as after a crash.
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
    }
    orbisk::tool::lirc::Listener live;
    ASSERT_TRUE(live.Open(path, 0660, error)) << error;
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0660u);

    orbisk::tool::lirc::Listener second;
    EXPECT_FALSE(second.Open(path, 0600, error));
    EXPECT_NE(error.find("in use"), std::string::npos) << error;
    const int probe = ConnectUnix(path);
    EXPECT_GE(probe, 0) << "the live one keeps its socket";
    ::close(probe);
    live.Close();
    EXPECT_FALSE(fs::exists(path));

    orbisk::test::WriteFile(path, "not a socket");
    EXPECT_FALSE(second.Open(path, 0600, error));
    EXPECT_EQ(orbisk::test::ReadFile(path), "not a socket");
}

TEST(LircLoad, FiftyClientsTenThousandKeysTheSilentOneDropped) {
    orbisk::test::TempDir dir;
    const orbisk::test::LircLoadResult result = orbisk::test::RunLircLoad(dir.File("lircd"), 50, 10000);
    ASSERT_TRUE(result.listening);
    EXPECT_EQ(result.readers, 49);
    EXPECT_EQ(result.readersWithEveryLine, 49) << "every reading client gets every line, in order";
    EXPECT_EQ(result.droppedClients, 1u) << "the one that never reads";
    EXPECT_EQ(result.clientsLeft, 49u);
    EXPECT_LE(result.maxQueuedBytes, 50 * orbisk::tool::lirc::Client::DefaultOutputLimit);
}

}  // namespace
