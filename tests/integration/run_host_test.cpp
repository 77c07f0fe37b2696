// `orbisk run` as a user runs it: the real program and orbisk.so in a folder
// of their own, a pseudo-terminal linked as port 3, standard input held open
// and standard output read by the test.
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

#include "capture/capture.h"
#include "capture/posix/pty.h"
#include "commands/commands.h"
#include "support/temp_dir.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

struct RunHost : ::testing::Test {
    // A full standard output is filled before the start and never read.
    void Start(const std::string& settings, bool fullOutput = false) {
        std::filesystem::copy_file(ORBISK_BIN_DIR "/orbisk.so", dir.File("orbisk.so"));
        orbisk::test::WriteFile(dir.File("orbisk.ini"), settings);
        std::string error;
        ASSERT_TRUE(pty.Open(false, error) &&
                    orbisk::tool::LinkPort(dir.File("ports"), 3, pty.SlavePath(), error))
            << error;
        ASSERT_EQ(pipe2(in, O_CLOEXEC) | pipe2(out, O_CLOEXEC), 0);
        fcntl(out[1], F_SETFL, O_NONBLOCK);
        static const char filler[4096] = {};
        while (fullOutput && write(out[1], filler, sizeof filler) > 0) {
        }
        fcntl(out[1], F_SETFL, 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, dir.File("err").c_str(), O_WRONLY | O_CREAT, 0600);
        const std::string plugin = dir.File("orbisk.so");
        const char* argv[] = {ORBISK_BIN_DIR "/orbisk", "run", "--plugin", plugin.c_str(), nullptr};
        ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, const_cast<char**>(argv), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
    }
    ~RunHost() override {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        for (const int fd : {in[0], in[1], out[0]}) close(fd);
    }

    std::string Err() const { return orbisk::test::ReadFile(dir.File("err")); }
    bool ErrSays(const std::string& text) const {
        for (int i = 0; i < 500 && Err().find(text) == std::string::npos; ++i)
            std::this_thread::sleep_for(10ms);
        return Err().find(text) != std::string::npos;
    }
    // Standard output up to its end (or a newline, when asked), within 10 s.
    std::string Read(bool line = false) {
        std::string text;
        char c = 0;
        for (pollfd p{out[0], POLLIN, 0}; poll(&p, 1, 10000) == 1 && read(out[0], &c, 1) == 1;)
            if ((text += c, c == '\n' && line)) break;
        return text;
    }
    // The exit status, or -1 when still running after ms.
    int ExitStatus(int ms = 5000) {
        int status = 0;
        for (int i = 0; i < ms / 10; ++i) {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WEXITSTATUS(status);
            }
            std::this_thread::sleep_for(10ms);
        }
        return -1;
    }
    void PressKey() {
        const auto bytes = orbisk::tool::WireBytes(orbisk::tool::GenerateKeyPresses({{}}, {}));
        ASSERT_TRUE(pty.Write(bytes.data(), bytes.size()));
    }

    orbisk::test::TempDir dir;
    orbisk::tool::PseudoTerminal pty;
    pid_t pid = -1;
    int in[2] = {-1, -1}, out[2] = {-1, -1};
};

struct StartCase {
    const char* name;
    const char* settings;
    int status;  // -1: runs
    const char* says;
};

struct RunHostStart : RunHost, ::testing::WithParamInterface<StartCase> {};

TEST_P(RunHostStart, SaysStartedOnlyWhenThePluginRuns) {
    Start(GetParam().settings);
    ASSERT_TRUE(ErrSays(GetParam().says)) << Err();
    EXPECT_EQ(ExitStatus(500), GetParam().status);
    EXPECT_EQ(Err().find("started;"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    RunHost, RunHostStart,
    ::testing::Values(
        // Without its port the plug-in runs, and says why it hears nothing.
        StartCase{"MissingPort", "[Main]\nCOM=9\n", -1,
                  "started, but reported: Cannot open COM port; Ctrl-C stops"},
        // This policy shows no box: it logs (a copy on standard error) and starts the command.
        StartCase{"MissingPortThatOnlyStartsACommand", "[Main]\nCOM=9\nHaltOnError=1\nExecOnError=true\n", 2,
                  "did not start: Vantrel Orbisk: Cannot open COM port, application was closed."}),
    [](const auto& info) { return std::string(info.param.name); });

// The receiver plugged in after the start: its link appears 3 s later.
TEST_F(RunHost, APortMissingAtStartIsOpenedOnceItsLinkAppears) {
    Start("[Main]\nCOM=31\n");
    ASSERT_TRUE(ErrSays("started, but reported: Cannot open COM port")) << Err();
    std::this_thread::sleep_for(3s);
    std::string error;
    ASSERT_TRUE(orbisk::tool::LinkPort(dir.File("ports"), 31, pty.SlavePath(), error)) << error;
    ASSERT_TRUE(ErrSays("The IR receiver on COM31 has appeared")) << Err();
    PressKey();
    EXPECT_EQ(Read(true).rfind("press\t", 0), 0u);
}

// The plug-in sends no release when stopped with a key held; the host does.
TEST_F(RunHost, SignalWhileAKeyIsHeldPrintsItsRelease) {
    Start("[Main]\nCOM=3\nWaitR=60000\n");  // held for 10 s, the limit
    ASSERT_TRUE(ErrSays("started; Ctrl-C stops")) << Err();
    PressKey();
    const std::string press = Read(true);
    ASSERT_EQ(press.rfind("press\t", 0), 0u) << press;
    kill(pid, SIGTERM);
    EXPECT_EQ(Read(), "release\t" + press.substr(6));
    EXPECT_EQ(ExitStatus(), 0);
}

// A kernel keymap imported into the settings file: presses of its
// scancodes, jittered and biased as a real receiver reports them, arrive
// named as the keymap names them, and a second press of the same key (its
// toggle bit flipped) is a press of its own.
TEST_F(RunHost, ImportedKeymapNamesTheKeys) {
    const std::string keymap = "/lib/udev/rc_keymaps/rc6_mce.toml";
    if (!std::filesystem::exists(keymap)) GTEST_SKIP() << "ir-keytable is not installed";
    const std::string imported = dir.File("imported.ini");
    orbisk::test::WriteFile(imported, "[Main]\nCOM=3\n");
    ASSERT_EQ(orbisk::tool::RunSettings({"import", keymap, "--remote", "MCE", imported}), 0);
    Start(orbisk::test::ReadFile(imported));
    ASSERT_TRUE(ErrSays("started; Ctrl-C stops")) << Err();
    const std::pair<std::uint32_t, const char*> keys[] = {
        {0x800f0410, "KEY_VOLUMEUP"}, {0x800f0411, "KEY_VOLUMEDOWN"}, {0x800f0411, "KEY_VOLUMEDOWN"},
        {0x800f0401, "KEY_NUMERIC_1"}, {0x800f040c, "KEY_SLEEP"}};
    std::vector<orbisk::tool::KeyPress> presses;
    for (const auto& [scancode, name] : keys) presses.push_back({{orbisk::IrProtocol::Rc6Mce, scancode, false}, 0, 300});
    orbisk::tool::GeneratorOptions receiver;
    receiver.jitterPercent = 6;
    receiver.biasMicros = 90;
    // Each burst at its time, as a receiver sends it.
    const auto start = std::chrono::steady_clock::now();
    for (const orbisk::tool::TimedBurst& burst : orbisk::tool::GenerateKeyPresses(presses, receiver)) {
        std::this_thread::sleep_until(start + std::chrono::milliseconds(burst.atMs));
        const auto bytes = orbisk::tool::WireBytes({burst});
        ASSERT_TRUE(pty.Write(bytes.data(), bytes.size()));
    }
    for (const auto& [scancode, name] : keys) {
        std::string line;
        do line = Read(true);
        while (line.rfind("release\t", 0) == 0);
        EXPECT_EQ(line.rfind(std::string("press\t") + name + "\tMCE\t", 0), 0u) << line;
    }
}

// A remote database's file of each format imported: presses of its keys,
// jittered and biased as a real receiver reports them, arrive by name.
struct ImportedRemote : RunHost {
    void Check(const char* file, const std::string& text,
               const std::vector<std::pair<orbisk::IrFrame, const char*>>& keys) {
        const std::string imported = dir.File("imported.ini");
        orbisk::test::WriteFile(dir.File(file), text);
        orbisk::test::WriteFile(imported, "[Main]\nCOM=3\n");
        ASSERT_EQ(orbisk::tool::RunSettings({"import", dir.File(file), "--remote", "R", imported}), 0);
        Start(orbisk::test::ReadFile(imported));
        ASSERT_TRUE(ErrSays("started; Ctrl-C stops")) << Err();
        std::vector<orbisk::tool::KeyPress> presses;
        for (const auto& [frame, name] : keys) presses.push_back({frame, 0, 300});
        orbisk::tool::GeneratorOptions receiver;
        receiver.jitterPercent = 5;
        receiver.biasMicros = 60;
        const auto start = std::chrono::steady_clock::now();
        for (const orbisk::tool::TimedBurst& burst : orbisk::tool::GenerateKeyPresses(presses, receiver)) {
            std::this_thread::sleep_until(start + std::chrono::milliseconds(burst.atMs));
            const auto bytes = orbisk::tool::WireBytes({burst});
            ASSERT_TRUE(pty.Write(bytes.data(), bytes.size()));
        }
        for (const auto& [frame, name] : keys) {
            std::string line;
            do line = Read(true);
            while (line.rfind("release\t", 0) == 0);
            EXPECT_EQ(line.rfind(std::string("press\t") + name + "\tR\t", 0), 0u) << line;
        }
    }
};

TEST_F(ImportedRemote, FlipperIrFile) {
    // A decoded key and a raw capture of NEC 0x04 0x02 (published timing).
    std::string raw = "9000 4500";
    for (const unsigned byte : {0x04u, 0xFBu, 0x02u, 0xFDu})
        for (int bit = 0; bit < 8; ++bit) raw += (byte >> bit & 1) ? " 560 1690" : " 560 560";
    Check("tv.ir",
          "Filetype: IR signals file\nVersion: 1\n#\nname: Mute\ntype: parsed\nprotocol: NEC\n"
          "address: 04 00 00 00\ncommand: 08 00 00 00\n#\nname: Up\ntype: raw\nfrequency: 38000\n"
          "duty_cycle: 0.33\ndata: " + raw + " 560\n",
          {{{orbisk::IrProtocol::Nec, 0x0408, false}, "Mute"}, {{orbisk::IrProtocol::Nec, 0x0402, false}, "Up"}});
}

TEST_F(ImportedRemote, LircdConf) {
    Check("mce.conf",
          "begin remote\n  name mceusb\n  bits 16\n  flags RC6|CONST_LENGTH\n  header 2667 889\n  one 444 444\n"
          "  zero 444 444\n  pre_data_bits 21\n  pre_data 0x37FF0\n  gap 105000\n  toggle_bit_mask 0x8000\n"
          "  rc6_mask 0x100000000\n  begin codes\n    KEY_MUTE 0x00007bf1\n  end codes\nend remote\n",
          {{{orbisk::IrProtocol::Rc6Mce, 0x800f040e, false}, "KEY_MUTE"}});
}

TEST_F(ImportedRemote, KernelKeymapOfTimings) {
    Check("samsung.toml",
          "[[protocols]]\nname = 'Samsung'\nprotocol = 'pulse_distance'\nheader_pulse = 4500\n"
          "header_space = 4500\nbit_pulse = 600\nbit_0_space = 500\nbit_1_space = 1600\nbits = 32\n"
          "trailer_pulse = 600\n[protocols.scancodes]\n0xe0e040bf = 'KEY_POWER'\n",
          {{{orbisk::IrProtocol::Samsung32, 0x0702, false}, "KEY_POWER"}});
}

TEST_F(RunHost, SignalEndsItWhileStandardOutputIsBlocked) {
    Start("[Main]\nCOM=3\n", true);
    ASSERT_TRUE(ErrSays("started; Ctrl-C stops")) << Err();
    PressKey();
    std::this_thread::sleep_for(300ms);  // press and release are due by now
    kill(pid, SIGTERM);
    EXPECT_EQ(ExitStatus(), 0);
    EXPECT_TRUE(ErrSays("bytes of key lines not written")) << Err();
}

// A stop signal while a slow reader takes the lines of a flood: the last
// lines get their second, whatever the reader does.
TEST_F(RunHost, SignalEndsItWithinItsSecondWhileAReaderIsSlow) {
    Start("[Main]\nCOM=3\nWaitR=30\n", true);
    ASSERT_TRUE(ErrSays("started; Ctrl-C stops")) << Err();
    std::vector<orbisk::tool::KeyPress> flood;
    for (std::uint32_t i = 0; i < 4000; ++i) flood.push_back({orbisk::IrFrame{orbisk::IrProtocol::Nec, ((i / 256) << 8) | (i % 256), false}, 0, 0});
    const auto bytes = orbisk::tool::WireBytes(orbisk::tool::GenerateKeyPresses(flood, {}));
    ASSERT_TRUE(pty.Write(bytes.data(), bytes.size()));
    std::this_thread::sleep_for(1s);
    kill(pid, SIGTERM);
    const auto start = std::chrono::steady_clock::now();
    int status = -1;
    for (char page[4096]; status < 0 && std::chrono::steady_clock::now() - start < 10s;)
        status = read(out[0], page, sizeof page) < 0 ? -2 : ExitStatus(400);
    EXPECT_EQ(status, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3000ms);
}

}  // namespace
