// The real orbisk.so, loaded with dlopen from a folder of its own, fed by a
// pseudo-terminal linked as its port.
#include <fcntl.h>
#include <sys/stat.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "common/text.h"
#include "orbisk/host.h"
#include "host/plugin_loader.h"
#include "capture/posix/pty.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Message {
    std::intptr_t value;
    std::string keyName, remote, code;
    std::vector<unsigned char> recordBytes;
};

struct Host {
    OrbiskHostWindow window{&Host::Send};
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Message> messages;

    static std::intptr_t Send(OrbiskHostWindow* self, std::uint32_t message, std::uintptr_t wparam,
                              std::intptr_t lparam) {
        auto* host = reinterpret_cast<Host*>(self);
        if (message != ORBISK_KEY_MESSAGE) return 0;
        const auto* record = reinterpret_cast<const OrbiskKeyEventRecord*>(wparam);
        const auto* bytes = reinterpret_cast<const unsigned char*>(record);
        Message m{lparam, std::string(orbisk::FieldText(record->KeyName, sizeof record->KeyName)),
                  OrbiskRecordRemoteName(record), OrbiskRecordCodeText(record),
                  std::vector<unsigned char>(bytes, bytes + sizeof *record)};
        std::lock_guard<std::mutex> lock(host->mutex);
        host->messages.push_back(std::move(m));
        host->changed.notify_all();
        return 0;
    }
    std::vector<Message> WaitFor(std::size_t count) {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait_for(lock, 10s, [&] { return messages.size() >= count; });
        return messages;
    }
    std::vector<Message> WaitForRelease() {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait_for(lock, 10s, [&] { return !messages.empty() && messages.back().value == -1; });
        return messages;
    }
};

constexpr std::uint32_t kHostVersion = ORBISK_HOST_VERSION(2, 7, 12);

// Loads a private copy of the plug-in from dir, with this settings file, and
// opens it as a host of this version would.  Each copy has its own settings
// file, ports folder and module state; it stays loaded, as the toolkit it
// may start keeps process-wide state.
void OpenCopy(const orbisk::test::TempDir& dir, orbisk::tool::LoadedPlugin& plugin,
              const std::string& settings, std::uint32_t version = kHostVersion,
              OrbiskHostWindow* window = nullptr, const char* name = nullptr) {
    // The plug-in's dialog layer needs a display; tests have none.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    orbisk::test::WriteFile(dir.File("orbisk.ini"), settings);
    fs::copy_file(fs::path(ORBISK_BIN_DIR) / "orbisk.so", dir.File("orbisk.so"));
    std::string error;
    ASSERT_TRUE(plugin.Load(dir.File("orbisk.so"), error)) << error;
    const orbisk::tool::HostInfoRecord info(version);
    EXPECT_STREQ(plugin.Open(name, window, info.bytes), "RAYCAP.QM Support");
}

// Standard error of this process, captured into a file while alive.
class StderrCapture {
public:
    explicit StderrCapture(const std::string& path) : path_(path) {
        std::fflush(stderr);
        saved_ = dup(2);
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 2);
        close(fd);
    }
    std::string Finish() {
        std::fflush(stderr);
        dup2(saved_, 2);
        close(saved_);
        return orbisk::test::ReadFile(path_);
    }

private:
    std::string path_;
    int saved_ = -1;
};

// The lines of a captured standard error that the plug-in wrote.
std::string PluginLines(const std::string& text) {
    std::string lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        if (text.compare(start, 18, "RAYCAP.QM Support:") == 0) lines += text.substr(start, end - start);
        start = end;
    }
    return lines;
}

// An NEC frame as a receiver with a 50 us unit reports it.
std::vector<std::uint8_t> NecFrame(unsigned address, unsigned command) {
    std::vector<std::uint8_t> d = {180, 90};
    const std::uint32_t bits = address | (~address & 0xFF) << 8 | command << 16 | (~command & 0xFF) << 24;
    for (int i = 0; i < 32; ++i) {
        d.push_back(11);
        d.push_back((bits >> i) & 1 ? 34 : 11);
    }
    d.push_back(11);
    d.push_back(0xFE);
    return d;
}

// A receiver on a pseudo-terminal, linked as port 3 of the copy's folder.
class PluginLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(pty.Open(false, error)) << error;
        ASSERT_TRUE(orbisk::tool::LinkPort(dir.File("ports"), 3, pty.SlavePath(), error)) << error;
    }
    void Open(const std::string& extraSettings, const char* name = nullptr) {
        OpenCopy(dir, plugin, "[Main]\nCOM=3\n" + extraSettings, kHostVersion, &host.window, name);
    }
    void Write(const std::vector<std::uint8_t>& bytes) { ASSERT_TRUE(pty.Write(bytes.data(), bytes.size())); }

    orbisk::test::TempDir dir;
    orbisk::tool::PseudoTerminal pty;
    orbisk::tool::LoadedPlugin plugin;
    Host host;
};

TEST(PluginExports, ExactlyTheEntryPointsAndTheDialogVariable) {
    const std::string command = std::string("nm -D --defined-only ") + ORBISK_BIN_DIR + "/orbisk.so";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> names;
    char line[512];
    while (fgets(line, sizeof line, pipe)) {
        char type = 0;
        char name[400] = {};
        if (sscanf(line, "%*s %c %399s", &type, name) == 2) names.insert(name);
    }
    pclose(pipe);
    EXPECT_EQ(names, (std::set<std::string>{"Close", "Open", "Setup", "Start", "Stop", "_SetupForm"}));
}

TEST_F(PluginLibrary, KeyPressRepeatAndReleaseReachTheHostWithTheRecordFilled) {
    ASSERT_NO_FATAL_FAILURE(Open("", "Living room"));
    {
        // Start opens and purges the port before it returns, so what is
        // written from here on is read.
        plugin.Start();
        Write(NecFrame(0x04, 0x08));
        const auto press = host.WaitFor(1);
        ASSERT_EQ(press.size(), 1u);
        EXPECT_EQ(press[0].value, 0);
        EXPECT_EQ(press[0].remote, "<undefined>");
        EXPECT_EQ(press[0].keyName, press[0].code) << "an unknown code is reported by its text";
        EXPECT_EQ(press[0].code.size(), 8u);

        const auto& bytes = press[0].recordBytes;
        ASSERT_EQ(bytes.size(), 244u);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data())), "Living room");
        EXPECT_EQ(std::memcmp(bytes.data() + 60, "UNI\0", 4), 0);
        EXPECT_EQ(std::memcmp(bytes.data() + 188, "EXT\0", 4), 0);
        const unsigned char words[12] = {2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        EXPECT_EQ(std::memcmp(bytes.data() + 192, words, 12), 0);
        const unsigned char zeros[16] = {};
        EXPECT_EQ(std::memcmp(bytes.data() + 204, zeros, 16), 0) << "reserved words and 32-bit refs";
        EXPECT_EQ(std::memcmp(bytes.data() + 220, zeros, 8), 0);

        // Held: repeat frames every 108 ms until the first auto-repeat.
        for (int i = 0; i < 5; ++i) {
            std::this_thread::sleep_for(100ms);
            Write({180, 45, 11, 0xFE});
        }
        const auto all = host.WaitForRelease();
        ASSERT_GE(all.size(), 3u) << "press, at least one repeat, release";
        for (std::size_t i = 1; i + 1 < all.size(); ++i) EXPECT_EQ(all[i].value, static_cast<std::intptr_t>(i));
        EXPECT_EQ(all.back().value, -1) << "released once the bursts stop";
        EXPECT_EQ(all.back().code, press[0].code);
        plugin.Stop();
        plugin.Close();
    }
}

TEST_F(PluginLibrary, LearnedKeyIsReportedByNameAndOverlongBurstIsCut) {
    // 255 durations and a terminator arrive as an empty burst: code 0.
    ASSERT_NO_FATAL_FAILURE(Open("[Sample]\n0000000=Noise\n"));
    plugin.Start();
    std::vector<std::uint8_t> burst(255, 20);
    burst.push_back(0xFE);
    Write(burst);
    const auto messages = host.WaitFor(1);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages[0].keyName, "Noise");
    EXPECT_EQ(messages[0].remote, "Sample");
    EXPECT_EQ(messages[0].code, "0000000");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(messages[0].recordBytes.data())), "REMOTE");
    plugin.Stop();
    plugin.Close();
}

TEST_F(PluginLibrary, MissingPortUnderTheDefaultPolicyIsOneLineOnStandardError) {
    ASSERT_NO_FATAL_FAILURE(OpenCopy(dir, plugin, "[Main]\nCOM=9\n"));
    StderrCapture capture(dir.File("stderr.txt"));
    plugin.Start();
    plugin.Stop();
    plugin.Close();
    EXPECT_EQ(capture.Finish(), "RAYCAP.QM Support: Cannot open COM port\n");
}

TEST_F(PluginLibrary, MissingPortWithExecOnErrorStartsTheCommandAndShowsNothing) {
    const std::string marker = dir.File("started");
    ASSERT_NO_FATAL_FAILURE(
        OpenCopy(dir, plugin, "[Main]\nCOM=9\nHaltOnError=1\nExecOnError=touch " + marker + "\n"));
    StderrCapture capture(dir.File("stderr.txt"));
    plugin.Start();
    plugin.Close();
    // No message box line: only the copy of the log entry.
    EXPECT_EQ(capture.Finish(), std::string("Vantrel Orbisk: ") +
                                    "Cannot open COM port, application was closed. Please check configuration "
                                    "file of Orbisk plugin.\n");
    for (int i = 0; i < 500 && !fs::exists(marker); ++i) std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(fs::exists(marker));
}

// A settings file anyone may write is not the host user's: its command never
// runs, and the log says why.
TEST_F(PluginLibrary, ASettingsFileOthersMayWriteIsRefusedAndItsCommandNeverRuns) {
    const std::string marker = dir.File("started");
    ASSERT_NO_FATAL_FAILURE(
        OpenCopy(dir, plugin, "[Main]\nCOM=9\nHaltOnError=1\nExecOnError=touch " + marker + "\n"));
    plugin.Close();
    ::chmod(dir.File("orbisk.ini").c_str(), 0666);
    StderrCapture capture(dir.File("stderr.txt"));
    const orbisk::tool::HostInfoRecord info(kHostVersion);
    plugin.Open(nullptr, nullptr, info.bytes);
    plugin.Start();
    plugin.Stop();
    plugin.Close();
    const std::string err = capture.Finish();
    EXPECT_NE(err.find("Orbisk does not use " + dir.File("orbisk.ini") + ": group or others may write to it"),
              std::string::npos) << err;
    // None of the file's settings is taken: not its policy, not its command.
    EXPECT_EQ(err.find("application was closed"), std::string::npos) << err;
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(fs::exists(marker));
}

TEST_F(PluginLibrary, SetupWithARefusedHostShowsTheMessageAndWritesTheWaitTimes) {
    ASSERT_NO_FATAL_FAILURE(OpenCopy(dir, plugin, "[Main]\nWait1=450\n", ORBISK_HOST_VERSION(2, 6, 12)));
    StderrCapture capture(dir.File("stderr.txt"));
    plugin.Setup();
    plugin.Close();
    // The toolkit may add notes of its own; the plug-in's report is one line.
    EXPECT_EQ(PluginLines(capture.Finish()), "RAYCAP.QM Support: Incorrect core version.\n");
    const std::string ini = orbisk::test::ReadFile(dir.File("orbisk.ini"));
    EXPECT_NE(ini.find("Wait1=450"), std::string::npos);
    EXPECT_NE(ini.find("WaitN=100"), std::string::npos);
    EXPECT_NE(ini.find("WaitR=200"), std::string::npos);
}

TEST(PluginLibraryLink, InstalledAsALinkKeepsItsSettingsBesideTheLink) {
    orbisk::test::TempDir dir;
    fs::create_directory(dir.File("real"));
    fs::create_directory(dir.File("host"));
    fs::copy_file(fs::path(ORBISK_BIN_DIR) / "orbisk.so", dir.File("real/orbisk.so"));
    fs::create_symlink("../real/orbisk.so", dir.File("host/orbisk.so"));
    orbisk::test::WriteFile(dir.File("host/orbisk.ini"), "[Main]\nWait1=450\n");
    orbisk::tool::LoadedPlugin plugin;
    std::string error;
    ASSERT_TRUE(plugin.Load(dir.File("host/orbisk.so"), error)) << error;
    // A refused host: Setup shows no dialog but writes the wait times.
    plugin.Open(nullptr, nullptr, orbisk::tool::HostInfoRecord(ORBISK_HOST_VERSION(2, 6, 12)).bytes);
    StderrCapture capture(dir.File("stderr.txt"));
    plugin.Setup();
    plugin.Close();
    capture.Finish();
    EXPECT_EQ(orbisk::test::ReadFile(dir.File("host/orbisk.ini")), "[Main]\nWait1=450\nWaitN=100\nWaitR=200\n");
    EXPECT_FALSE(fs::exists(dir.File("real/orbisk.ini")));
}

}  // namespace

namespace {

// Each version word through a fresh copy of the library, since an accepted
// version is never taken back within one load.
struct VersionCase {
    unsigned char bytes[4];  // most significant first
    bool accepted;
};

class HostVersions : public ::testing::TestWithParam<VersionCase> {};

TEST_P(HostVersions, DecideWhetherStartRuns) {
    const VersionCase& c = GetParam();
    orbisk::test::TempDir dir;
    orbisk::tool::LoadedPlugin plugin;
    const std::uint32_t version = static_cast<std::uint32_t>(c.bytes[0]) << 24 | c.bytes[1] << 16 |
                                  c.bytes[2] << 8 | c.bytes[3];
    ASSERT_NO_FATAL_FAILURE(OpenCopy(dir, plugin, "[Main]\nCOM=9\n", version));  // no such port
    StderrCapture capture(dir.File("stderr.txt"));
    plugin.Start();
    plugin.Close();
    EXPECT_EQ(PluginLines(capture.Finish()), c.accepted ? "RAYCAP.QM Support: Cannot open COM port\n"
                                                        : "RAYCAP.QM Support: Incorrect core version.\n");
}

INSTANTIATE_TEST_SUITE_P(Words, HostVersions,
                         ::testing::Values(VersionCase{{2, 7, 12, 0}, true}, VersionCase{{2, 7, 12, 0xFF}, true},
                                           VersionCase{{2, 7, 0xFF, 0}, true},
                                           VersionCase{{2, 7, 11, 0xFF}, false},
                                           VersionCase{{2, 8, 0, 0}, false}, VersionCase{{2, 6, 12, 0}, false},
                                           VersionCase{{3, 0, 0, 0}, false}),
                         [](const auto& info) {
                             const auto& b = info.param.bytes;
                             return "v" + std::to_string(b[0]) + "_" + std::to_string(b[1]) + "_" +
                                    std::to_string(b[2]) + "_" + std::to_string(b[3]);
                         });

}  // namespace
