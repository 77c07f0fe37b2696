// The lifecycle with fake ports, message boxes and dialog, and real threads.
#include "plugin/plugin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

#include "common/code_text.h"
#include "common/text.h"
#include "platform/host_messenger.h"
#include "platform/serial_device.h"
#include "platform/system_services.h"
#include "settings/ini_file.h"
#include "support/engine_harness.h"
#include "support/fake_serial.h"
#include "support/fake_system.h"
#include "support/temp_dir.h"

namespace orbisk {
namespace {

using namespace std::chrono_literals;

// A host that records every key message with the record's texts as they are
// while it handles the message.  The window is only a token it is sent to.
struct RecordingHost final : HostMessenger {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> messages;

    OrbiskHostWindow* Window() { return reinterpret_cast<OrbiskHostWindow*>(this); }

    void Send(OrbiskHostWindow* window, std::uint32_t message, std::uintptr_t wparam,
              std::intptr_t lparam) override {
        auto* host = reinterpret_cast<RecordingHost*>(window);
        const auto* record = reinterpret_cast<const OrbiskKeyEventRecord*>(wparam);
        std::function<void()> handler;
        {
            std::lock_guard<std::mutex> lock(host->mutex);
            host->messages.push_back(std::to_string(message) + " " + std::to_string(lparam) + " " +
                                     std::string(FieldText(record->KeyName, sizeof record->KeyName)) +
                                     "/" + OrbiskRecordRemoteName(record) + "/" +
                                     OrbiskRecordCodeText(record));
            host->changed.notify_all();
            handler = std::exchange(host->onKey, nullptr);
        }
        if (handler) handler();
    }
    // What the host does, once, inside its handling of the next key message.
    void OnNextKey(std::function<void()> handler) {
        std::lock_guard<std::mutex> lock(mutex);
        onKey = std::move(handler);
    }
    std::function<void()> onKey;
    void Join(std::thread& thread) override { thread.join(); }
    // Waits (with a generous watchdog) until count messages have come.
    std::vector<std::string> WaitFor(std::size_t count) {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait_for(lock, 10s, [&] { return messages.size() >= count; });
        return messages;
    }
    std::vector<std::string> Snapshot() {
        std::lock_guard<std::mutex> lock(mutex);
        return messages;
    }
};

class FakeDialog final : public SetupDialog {
public:
    std::function<void()> onShow;
    std::mutex mutex;
    std::vector<std::uint32_t> notices;
    int shown = 0;

    void ShowModal() override {
        ++shown;
        if (onShow) onShow();
    }
    void PostNotice(std::uint32_t message, std::uint32_t, std::uint32_t) override {
        std::lock_guard<std::mutex> lock(mutex);
        notices.push_back(message);
    }
    void* Handle() override { return this; }
};

class FakeDialogs final : public SetupDialogFactory {
public:
    std::function<void(FakeDialog&, DialogServices&)> configure;
    int created = 0;
    std::unique_ptr<SetupDialog> Create(DialogServices& services) override {
        ++created;
        auto dialog = std::make_unique<FakeDialog>();
        if (configure) configure(*dialog, services);
        return dialog;
    }
};

struct HostInfo {
    unsigned char bytes[64] = {};
    explicit HostInfo(std::uint32_t version) { OrbiskSetHostVersion(bytes, version); }
};

constexpr std::uint32_t kGoodVersion = 0x02070C00;

class PluginTest : public ::testing::Test {
protected:
    PluginTest()
        // No port ever opens: under the default error policy the receiver then
        // runs without one, and the tests publish codes themselves.
        : plugin(Plugin::Platform{[](const std::string&) { return std::make_unique<test::FakeSerialPorts>(); },
                                  &system, &clock, &dialogs, &setupForm, &host, {}, {}}) {}

    std::string LibraryPath() const { return dir.File("orbisk.so"); }
    void OpenWith(std::uint32_t version) {
        HostInfo info(version);
        plugin.Open(nullptr, host.Window(), info.bytes, LibraryPath());
    }
    void Publish(std::uint64_t code) { test::PublishBurst(plugin.Published(), plugin.Event(), code); }

    test::TempDir dir;
    test::FakeSystemServices system;
    SteadyTickClock clock;
    FakeDialogs dialogs;
    void* setupForm = nullptr;
    RecordingHost host;
    Plugin plugin;
};

TEST(HostVersion, AcceptsOnly27WithThirdComponentOfAtLeast12) {
    const struct {
        std::uint32_t version;
        bool accepted;
    } cases[] = {
        {0x02070C00, true},  {0x02070CFF, true},  {0x0207FF00, true},  {0x02070BFF, false},
        {0x02080000, false}, {0x02060C00, false}, {0x03000000, false}, {0x00000000, false},
    };
    for (const auto& c : cases) EXPECT_EQ(HostVersionAccepted(c.version), c.accepted) << std::hex << c.version;
}

TEST_F(PluginTest, OpenReadsTheVersionWordLittleEndianAtOffset28) {
    EXPECT_STREQ(plugin.Open(nullptr, host.Window(), HostInfo(0x02070C00).bytes, LibraryPath()),
                 "RAYCAP.QM Support");
    EXPECT_TRUE(plugin.VersionAccepted());
    EXPECT_TRUE(system.Boxes().empty()) << "Open never reports";
}

TEST_F(PluginTest, RefusedOrMissingVersionShowsTheMessageAtEveryStart) {
    plugin.Open(nullptr, host.Window(), nullptr, LibraryPath());
    plugin.Start();
    plugin.Start();
    EXPECT_FALSE(plugin.Running());
    EXPECT_EQ(system.Boxes(), (std::vector<std::string>{"Incorrect core version.", "Incorrect core version."}));
}

TEST_F(PluginTest, StartWithoutOpenIsRefusedNotACrash) {
    plugin.Start();
    plugin.Stop();
    plugin.Close();
    EXPECT_FALSE(plugin.Running());
}

TEST_F(PluginTest, UnopenablePortUnderTheDefaultPolicyStillRuns) {
    OpenWith(kGoodVersion);
    plugin.Start();
    EXPECT_TRUE(plugin.Running());
    plugin.Start();  // running: nothing happens, no second message
    EXPECT_EQ(system.Boxes(), std::vector<std::string>{"Cannot open COM port"});
    plugin.Stop();
    plugin.Stop();
    EXPECT_FALSE(plugin.Running());
}

TEST_F(PluginTest, ARestartFromInsideThePortErrorBoxIsRefused) {
    OpenWith(kGoodVersion);
    bool nested = false;
    system.onShowError = [&](std::string_view) {
        if (std::exchange(nested, true)) return;
        plugin.Stop();
        plugin.Start();
    };
    plugin.Start();
    EXPECT_TRUE(plugin.Running());
    EXPECT_EQ(system.Boxes(), std::vector<std::string>{"Cannot open COM port"});
    plugin.Stop();
}

TEST_F(PluginTest, KeyTravelsFromPublicationToHostWithNamesFromTheSettingsFile) {
    test::WriteFile(dir.File("orbisk.ini"), "[TV]\n0A3F21C=Power\n");
    OpenWith(kGoodVersion);
    plugin.Start();
    Publish(0xA3F21C);
    const auto messages = host.WaitFor(1);
    ASSERT_GE(messages.size(), 1u);
    EXPECT_EQ(messages[0], "1025 0 Power/TV/0A3F21C");
    plugin.Stop();
}

TEST_F(PluginTest, StopWhileAKeyIsHeldSendsNoRelease) {
    OpenWith(kGoodVersion);
    plugin.Start();
    Publish(0x1234);
    ASSERT_EQ(host.WaitFor(1).size(), 1u);
    plugin.Stop();
    EXPECT_EQ(host.Snapshot().size(), 1u);
}

TEST_F(PluginTest, CloseStopsARunningPluginAndCloseWithoutOpenIsHarmless) {
    plugin.Close();
    OpenWith(kGoodVersion);
    plugin.Start();
    plugin.Close();
    EXPECT_FALSE(plugin.Running());
    EXPECT_EQ(plugin.Keys(), nullptr);
}

TEST_F(PluginTest, SetupOnAStoppedPluginRunsOnlyWhileTheDialogIsUp) {
    OpenWith(kGoodVersion);
    bool runningInside = false, activeInside = false;
    void* formInside = nullptr;
    dialogs.configure = [&](FakeDialog& dialog, DialogServices&) {
        dialog.onShow = [&] {
            runningInside = plugin.Running();
            activeInside = plugin.SetupActive();
            formInside = setupForm;
        };
    };
    plugin.Setup();
    EXPECT_TRUE(runningInside);
    EXPECT_TRUE(activeInside);
    EXPECT_NE(formInside, nullptr) << "_SetupForm names the live dialog";
    EXPECT_EQ(setupForm, nullptr);
    EXPECT_FALSE(plugin.Running());
    EXPECT_FALSE(plugin.SetupActive());
}

TEST_F(PluginTest, SetupOnARunningPluginRestartsWithTheSettingsTheDialogWrote) {
    OpenWith(kGoodVersion);
    plugin.Start();
    dialogs.configure = [&](FakeDialog& dialog, DialogServices& services) {
        dialog.onShow = [&services] { IniFile(services.settingsPath).WriteInteger("Main", "COM", 5); };
    };
    plugin.Setup();
    EXPECT_TRUE(plugin.Running());
    EXPECT_EQ(plugin.CurrentSettings().COM.load(), 5);
    plugin.Stop();
}

TEST_F(PluginTest, WhileTheDialogIsOpenKeysGoToItAndNotToTheHost) {
    OpenWith(kGoodVersion);
    FakeDialog* seen = nullptr;
    dialogs.configure = [&](FakeDialog& dialog, DialogServices&) {
        seen = &dialog;
        dialog.onShow = [&] {
            Publish(0x42);
            for (int i = 0; i < 1000; ++i) {
                {
                    std::lock_guard<std::mutex> lock(dialog.mutex);
                    if (!dialog.notices.empty()) break;
                }
                std::this_thread::sleep_for(5ms);
            }
            std::lock_guard<std::mutex> lock(dialog.mutex);
            EXPECT_EQ(dialog.notices, std::vector<std::uint32_t>{ORBISK_KEY_DOWN_NOTICE});
        };
    };
    plugin.Setup();
    EXPECT_NE(seen, nullptr);
    EXPECT_TRUE(host.Snapshot().empty());
}

TEST_F(PluginTest, SetupWithARefusedVersionShowsNoDialogButStillWritesTheWaitTimes) {
    plugin.Open(nullptr, host.Window(), HostInfo(0x02080000).bytes, LibraryPath());
    int shown = 0;
    dialogs.configure = [&](FakeDialog& dialog, DialogServices&) { dialog.onShow = [&] { ++shown; }; };
    plugin.Setup();
    EXPECT_EQ(shown, 0);
    EXPECT_EQ(system.Boxes(), std::vector<std::string>{"Incorrect core version."});
    IniFile file(plugin.SettingsFilePath());
    EXPECT_EQ(file.ReadInteger("Main", "Wait1", 0), 300);
    EXPECT_EQ(file.ReadInteger("Main", "WaitN", 0), 100);
    EXPECT_EQ(file.ReadInteger("Main", "WaitR", 0), 200);
}

TEST_F(PluginTest, SetupWithARefusedSettingsFolderSaysWhyAndShowsNoDialog) {
    Plugin refused(Plugin::Platform{[](const std::string&) { return std::make_unique<test::FakeSerialPorts>(); },
                                    &system, &clock, &dialogs, nullptr, &host, {},
                                    [](const std::string&) { return SettingsPlace{{}, {}, "not yours"}; }});
    refused.Open(nullptr, host.Window(), HostInfo(kGoodVersion).bytes, LibraryPath());
    refused.Setup();
    EXPECT_EQ(dialogs.created, 0);
    EXPECT_EQ(system.Logs(), std::vector<std::string>{"not yours"});
    EXPECT_EQ(system.Boxes(), std::vector<std::string>{"not yours"});
}

TEST_F(PluginTest, StopCloseOrSetupFromInsideAKeyMessageReturnAndTheNextKeyComes) {
    const struct {
        const char* name;
        void (*call)(Plugin&, const std::string& library);
        bool running;
    } cases[] = {
        {"Stop", [](Plugin& p, const std::string&) { p.Stop(); }, false},
        {"Close", [](Plugin& p, const std::string&) { p.Close(); }, false},
        {"Setup", [](Plugin& p, const std::string&) { p.Setup(); }, true},
        {"Stop and Start", [](Plugin& p, const std::string&) { p.Stop(); p.Start(); }, true},
        {"Open", [](Plugin& p, const std::string& library) { p.Open("again", nullptr, HostInfo(kGoodVersion).bytes, library); },
         true},
    };
    OpenWith(kGoodVersion);
    std::uint64_t code = 0x100;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        plugin.Start();
        std::atomic<bool> done{false};
        host.OnNextKey([&] {
            c.call(plugin, LibraryPath());
            done.store(true, std::memory_order_release);
        });
        const std::size_t before = host.Snapshot().size();
        Publish(++code);
        host.WaitFor(before + 1);
        for (int i = 0; i < 2000 && !done.load(std::memory_order_acquire); ++i) std::this_thread::sleep_for(5ms);
        ASSERT_TRUE(done.load(std::memory_order_acquire));
        EXPECT_EQ(plugin.Running(), c.running);
        plugin.Open(nullptr, host.Window(), HostInfo(kGoodVersion).bytes, LibraryPath());
        plugin.Start();
        Publish(++code);
        EXPECT_EQ(host.WaitFor(before + 2).size(), before + 2) << "the key after it";
        plugin.Stop();
    }
}

TEST_F(PluginTest, SetupWithAKeyHeldReleasesItAtTheHostFirst) {
    OpenWith(kGoodVersion);
    plugin.Start();
    Publish(0x1234);
    ASSERT_EQ(host.WaitFor(1).size(), 1u);
    dialogs.configure = [&](FakeDialog& dialog, DialogServices&) {
        dialog.onShow = [&] { host.WaitFor(2); };
    };
    plugin.Setup();
    EXPECT_EQ(host.Snapshot(), (std::vector<std::string>{"1025 0 0001234/<undefined>/0001234",
                                                         "1025 -1 0001234/<undefined>/0001234"}));
    plugin.Stop();
}

TEST_F(PluginTest, CallsOutOfTheUsualOrderGetAClearResult) {
    // Opened again while running: it goes on with a whole record.
    OpenWith(kGoodVersion);
    plugin.Start();
    plugin.Open("Second", host.Window(), HostInfo(kGoodVersion).bytes, LibraryPath());
    EXPECT_TRUE(plugin.Running());
    EXPECT_STREQ(plugin.Record().SourceName, "Second");
    Publish(0x77);
    EXPECT_EQ(host.WaitFor(1), std::vector<std::string>{"1025 0 0000077/<undefined>/0000077"});
    // Opened again for a refused host: it stops and never starts again.
    plugin.Open(nullptr, host.Window(), HostInfo(0x02080000).bytes, LibraryPath());
    EXPECT_FALSE(plugin.Running());
    plugin.Start();
    EXPECT_FALSE(plugin.Running());
    // Started after Close: the keys come back from the file.
    OpenWith(kGoodVersion);
    plugin.Close();
    plugin.Start();
    EXPECT_TRUE(plugin.Running());
    // Closed while the dialog is up: the dialog's Reset still works, and the
    // plug-in closes when the dialog ends.
    dialogs.configure = [&](FakeDialog& dialog, DialogServices& services) {
        dialog.onShow = [&] {
            plugin.Close();
            services.stop();
            services.start();
            EXPECT_TRUE(plugin.Running());
        };
    };
    plugin.Setup();
    EXPECT_FALSE(plugin.Running());
    EXPECT_EQ(plugin.Keys(), nullptr);
    const std::vector<std::string> boxes = system.Boxes();
    EXPECT_EQ(std::count(boxes.begin(), boxes.end(), "Incorrect core version."), 1);
}

TEST_F(PluginTest, SetupWritesOnlyTheWaitTimesTheUserChanged) {
    const struct {
        std::uint32_t chosenWaitN;  // 0: the dialog changes nothing; 1: nor does it, but the file changes
        const char* after;
    } cases[] = {
        {0, "[Main]\nWait1=300\nWaitN=5\nWaitR=200\n"},  // limited to 10 in memory only
        {150, "[Main]\nWait1=300\nWaitN=150\nWaitR=200\n"},
        {1, "[Main]\nWait1=450\nWaitN=5\nWaitR=200\n"},  // Wait1 edited by hand meanwhile
    };
    for (const auto& c : cases) {
        test::WriteFile(dir.File("orbisk.ini"), "[Main]\nWait1=300\nWaitN=5\nWaitR=200\n");
        OpenWith(kGoodVersion);
        ASSERT_EQ(plugin.CurrentSettings().WaitN.load(), MinWaitNMs);
        dialogs.configure = [&](FakeDialog& dialog, DialogServices& services) {
            dialog.onShow = [&] {
                if (c.chosenWaitN == 1) IniFile(services.settingsPath).WriteInteger("Main", "Wait1", 450);
                if (c.chosenWaitN > 1) services.settings.WaitN = c.chosenWaitN;
            };
        };
        plugin.Setup();
        EXPECT_EQ(test::ReadFile(dir.File("orbisk.ini")), c.after);
        // The plug-in goes on with what the file says now.
        EXPECT_EQ(plugin.CurrentSettings().Wait1.load(), IniFile(dir.File("orbisk.ini")).ReadInteger("Main", "Wait1", 0));
    }
}

TEST_F(PluginTest, SettingsProblemsAreReportedOnceAndInTheSystemLog) {
    const std::string utf16("\xFF\xFE[\0M\0]\0\n", 9);
    test::WriteFile(dir.File("orbisk.ini"), utf16);
    OpenWith(kGoodVersion);
    plugin.Setup();
    plugin.Setup();
    const std::string unreadable =
        UnreadableSettingsText(dir.File("orbisk.ini"), "the file is UTF-16 text with an odd number of bytes");
    const std::vector<std::string> boxes = system.Boxes();  // the missing port's too
    EXPECT_EQ(std::count(boxes.begin(), boxes.end(), unreadable), 1);
    EXPECT_EQ(system.Logs(), std::vector<std::string>{unreadable});
    EXPECT_EQ(test::ReadFile(dir.File("orbisk.ini")), utf16);

    // A library in a "folder" that is a file: the wait times cannot be saved.
    test::WriteFile(dir.File("file"), "");
    plugin.Open(nullptr, host.Window(), HostInfo(kGoodVersion).bytes, dir.File("file/orbisk.so"));
    plugin.Setup();
    const std::string failed = SaveFailedText(dir.File("file/orbisk.ini"), "Not a directory");
    EXPECT_EQ(system.Boxes().back(), failed);
    EXPECT_EQ(system.Logs().back(), failed);
}

TEST_F(PluginTest, SettingsFileSitsBesideTheLibraryWithTheIniExtension) {
    OpenWith(kGoodVersion);
    EXPECT_EQ(plugin.SettingsFilePath(), dir.File("orbisk.ini"));
}

TEST_F(PluginTest, SettingsFileAndPortLinksFollowThePlatformsPlace) {
    std::string portFolder;
    Plugin placed(Plugin::Platform{[&](const std::string& folder) {
                                       portFolder = folder;
                                       return std::make_unique<test::FakeSerialPorts>();
                                   },
                                   &system, &clock, &dialogs, nullptr, &host, {}, [this](const std::string& library) {
                                       return library == LibraryPath() ? SettingsPlace{dir.File("u.ini"), dir.File("u")}
                                                                       : SettingsPlace{};
                                   }});
    placed.Open(nullptr, host.Window(), HostInfo(kGoodVersion).bytes, LibraryPath());
    EXPECT_EQ(placed.SettingsFilePath(), dir.File("u.ini"));
    EXPECT_EQ(portFolder, dir.File("u"));
}

}  // namespace
}  // namespace orbisk
