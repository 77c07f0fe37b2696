// The receiver thread against a fake port that serves scripted reads: bursts
// cut across reads, prompt stops while a read waits, fragments dropped after
// a silence, the receiver that runs without a port, and one whose port goes
// away and comes back.
#include "receiver/receiver_thread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <vector>

#include "platform/serial_device.h"
#ifndef _WIN32
#include "capture/posix/pty.h"  // pseudo-terminals: POSIX only
#endif
#include "settings/settings.h"
#include "support/fake_serial.h"
#include "support/fake_system.h"
#include "support/temp_dir.h"

namespace orbisk {
namespace {

using namespace std::chrono_literals;
using test::FakeSerialPorts;
using test::FakeSystemServices;
using Bytes = std::vector<std::uint8_t>;

constexpr auto kWatchdog = 5s;

// Records the published code at every wake-up; the decoder calls Set on the
// reader thread right after it has published.
class RecordingWake final : public WakeUp {
public:
    explicit RecordingWake(PublishedState& state) : state_(state) {}

    void Set() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            codes_.push_back(state_.LastCode.load(std::memory_order_acquire));
        }
        changed_.notify_all();
    }

    // The codes once n wake-ups have come, or what came before the watchdog.
    std::vector<std::uint64_t> WaitFor(std::size_t n) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, kWatchdog, [&] { return codes_.size() >= n; });
        return codes_;
    }

    std::size_t Count() {
        std::lock_guard<std::mutex> lock(mutex_);
        return codes_.size();
    }

private:
    PublishedState& state_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::uint64_t> codes_;
};

std::uint64_t Code(const Bytes& burst) {
    return DecodeBurst(burst.data(), static_cast<int>(burst.size()), 0);
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

class ReceiverTest : public ::testing::Test {
protected:
    ReceiverTest() {
        ports.present.insert(3);
        settings.COM = 3;
        settings.Interval = 200;
        settings.RepeatLength = 1;  // an empty burst publishes 0
        settings.SkipBegin = 0;
    }
    ~ReceiverTest() override { ports.line.Release(); }

    bool LogsReach(std::size_t n) {
        for (int i = 0; i < 1000 && system.Logs().size() < n; ++i) std::this_thread::sleep_for(5ms);
        return system.Logs().size() >= n;
    }

    // Stops on another thread, so that a stop that hangs fails the test
    // instead of blocking it.
    bool StopWithinWatchdog(bool& result) {
        auto stopping = std::async(std::launch::async, [this] { return receiver.StopReceiver(); });
        if (stopping.wait_for(kWatchdog) != std::future_status::ready) {
            ports.line.Release();
            stopping.wait();
            return false;
        }
        result = stopping.get();
        return true;
    }

    FakeSerialPorts ports;
    FakeSystemServices system;
    Settings settings;
    PublishedState published;
    RecordingWake wake{published};
    SerialLink link{ports, system};
    KeyBurstStore keyBursts;
    Receiver receiver{link, system, settings, published, wake, &keyBursts};
};

TEST_F(ReceiverTest, CutsBurstsThatSpanReads) {
    const Bytes a = {10, 5, 5, 10, 5};
    const Bytes b = {20, 0xFF, 10, 10, 20, 10, 30};  // 0xFF is a duration
    ports.line.Queue(Concat({a, {0xFE}, {b.begin(), b.begin() + 3}}));
    ports.line.Queue(Concat({{b.begin() + 3, b.end()}, {0xFE}}));
    ports.line.Queue({0xFE});

    ASSERT_TRUE(receiver.StartReceiver());
    EXPECT_EQ(wake.WaitFor(3), (std::vector<std::uint64_t>{Code(a), Code(b), 0}));
    // The latest key's burst is kept for the dialog, and only under its code.
    EXPECT_EQ(keyBursts.Get(Code(b)), b);
    EXPECT_TRUE(keyBursts.Get(Code(a)).empty());

    bool stopped = false;
    ASSERT_TRUE(StopWithinWatchdog(stopped));
    EXPECT_TRUE(stopped);
    EXPECT_EQ(ports.line.openDevices, 0);
    EXPECT_TRUE(system.Boxes().empty());
}

TEST_F(ReceiverTest, AFragmentIsDroppedOnceTheLineWasQuietForTheSilenceAfterItsLatestByte) {
    const Bytes fragment = {7, 8, 9};
    const Bytes key = {10, 5, 5, 10, 5};
    const Bytes full = Concat({Bytes(250, 5), {0xFE}, {7, 8, 9, 9}});
    struct Case {
        Bytes first;
        bool quiet;  // an empty read follows: the silence read ran out
        std::size_t wakes;
        std::uint64_t code;
    };
    const Case cases[] = {
        {fragment, true, 1, Code(key)},
        {full, true, 2, Code(key)},
        {fragment, false, 1, Code(Concat({fragment, key}))},
    };
    for (const Case& c : cases) {
        ports.line.timeouts.clear();
        ports.line.Queue(c.first);
        if (c.quiet) ports.line.Queue({});
        ports.line.Queue(Concat({key, {0xFE}}));
        const std::size_t before = wake.Count();
        ASSERT_TRUE(receiver.StartReceiver());
        EXPECT_EQ(wake.WaitFor(before + c.wakes).back(), c.code) << c.first.size() << " " << c.quiet;
        bool stopped = false;
        ASSERT_TRUE(StopWithinWatchdog(stopped));
        // After the opening and the interval's time-outs, the silence read's:
        // the device counts it from the latest byte, not from the read's start.
        ASSERT_GE(ports.line.timeouts.size(), 3u);
        EXPECT_EQ(ports.line.timeouts[2].silenceMs, static_cast<std::uint32_t>(FragmentSilenceMs));
        EXPECT_EQ(ports.line.timeouts[2].totalConstantMs + ports.line.timeouts[2].totalMultiplierMs, 0u);
    }
}

TEST_F(ReceiverTest, StartsWithTheOpeningTimeoutsThenTheInterval) {
    ASSERT_TRUE(receiver.StartReceiver());
    bool stopped = false;
    ASSERT_TRUE(StopWithinWatchdog(stopped));
    ASSERT_EQ(ports.line.timeouts.size(), 2u);
    EXPECT_EQ(ports.line.timeouts[0].totalConstantMs, 100u);
    EXPECT_EQ(ports.line.timeouts[1].totalConstantMs, 200u);
    EXPECT_EQ(ports.line.timeouts[1].endByte, std::optional<std::uint8_t>(0xFE));
    EXPECT_EQ(ports.line.bauds, std::vector<int>{115200});
}

TEST_F(ReceiverTest, StopWakesAReadThatWaitsForBytes) {
    ASSERT_TRUE(receiver.StartReceiver());
    ASSERT_TRUE(ports.line.WaitForBlockedRead());
    bool stopped = false;
    ASSERT_TRUE(StopWithinWatchdog(stopped));
    EXPECT_TRUE(stopped);
    EXPECT_FALSE(receiver.Running());
}

TEST_F(ReceiverTest, RepeatedStartAndStopNeverHangs) {
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(receiver.StartReceiver());
        if (i % 2 == 0) {
            ASSERT_TRUE(ports.line.WaitForBlockedRead());
        }
        bool stopped = false;
        ASSERT_TRUE(StopWithinWatchdog(stopped)) << "cycle " << i;
        EXPECT_TRUE(stopped);
    }
}

TEST_F(ReceiverTest, ABurstCutShortByStopIsDroppedAtTheNextStart) {
    ports.line.Queue({7, 8, 9});
    ASSERT_TRUE(receiver.StartReceiver());
    ASSERT_TRUE(ports.line.WaitForBlockedRead());
    bool stopped = false;
    ASSERT_TRUE(StopWithinWatchdog(stopped));

    ASSERT_TRUE(receiver.StartReceiver());
    ports.line.Queue({0xFE});
    EXPECT_EQ(wake.WaitFor(1), std::vector<std::uint64_t>{0});
    ASSERT_TRUE(StopWithinWatchdog(stopped));
}

TEST_F(ReceiverTest, RunsWithoutAPortWhenItCannotBeOpened) {
    settings.COM = 9;
    ASSERT_TRUE(receiver.StartReceiver());
    EXPECT_TRUE(receiver.Running());
    EXPECT_EQ(system.Boxes(), std::vector<std::string>{MsgCannotOpenPort});
    std::this_thread::sleep_for(3 * std::chrono::milliseconds(PollDelayMs));  // a few idle polls
    bool stopped = true;
    ASSERT_TRUE(StopWithinWatchdog(stopped));
    EXPECT_FALSE(stopped);  // no port was held
    EXPECT_EQ(wake.Count(), 0u);
}

// Missing at start, or lost: the reader waits for the port and opens it
// once it is there, but a lost port only as the device it was.
TEST_F(ReceiverTest, APortMissingAtStartIsOpenedOnceItAppears) {
    settings.COM = 9;
    ASSERT_TRUE(receiver.StartReceiver());
    EXPECT_EQ(system.Boxes(), std::vector<std::string>{MsgCannotOpenPort});
    ports.Change([&] { ports.present.insert(9); });
    ASSERT_TRUE(LogsReach(1));
    EXPECT_EQ(system.Logs(), std::vector<std::string>{PortFoundText(9)});
    ports.line.Queue({0xFE});
    EXPECT_EQ(wake.WaitFor(1), std::vector<std::uint64_t>{0});
    bool stopped = false;
    ASSERT_TRUE(StopWithinWatchdog(stopped));
    EXPECT_TRUE(stopped);
}

TEST_F(ReceiverTest, ALostPortComesBackOnlyAsTheDeviceItWas) {
    ASSERT_TRUE(receiver.StartReceiver());
    // Its link removed, the number leads to a built-in port that opens.
    ports.Change([&] {
        ports.present = {2};
        ports.leadsTo[3] = "COM2";
    });
    ports.line.HangUp(true);
    ASSERT_TRUE(LogsReach(1));
    const auto tries = [&] { return ports.Change([&] { return ports.opened.size(); }); };
    for (int i = 0; i < 1000 && tries() < 2; ++i) std::this_thread::sleep_for(5ms);  // one try
    ports.line.HangUp(false);
    ports.Change([&] { ports.present.insert(3); });
    ASSERT_TRUE(LogsReach(2));
    EXPECT_EQ(system.Logs(), (std::vector<std::string>{PortLostText(3), PortBackText(3)}));
    for (const std::string& device : ports.Change([&] { return ports.opened; })) EXPECT_EQ(device, "COM3");
    bool stopped = false;
    ASSERT_TRUE(StopWithinWatchdog(stopped));
}

TEST_F(ReceiverTest, DoesNotStartWhenThePolicyHalts) {
    settings.COM = 9;
    settings.HaltOnError = true;
    settings.ExecOnError = "restart-host";
    EXPECT_FALSE(receiver.StartReceiver());
    EXPECT_FALSE(receiver.Running());
    EXPECT_EQ(system.Commands(), std::vector<std::string>{"restart-host"});
}

TEST_F(ReceiverTest, StopWithoutAThreadOnlyClosesThePort) {
    EXPECT_FALSE(receiver.StopReceiver());
    ASSERT_TRUE(link.OpenPort(3));
    EXPECT_TRUE(receiver.StopReceiver());
    EXPECT_FALSE(link.IsOpen());
}

#ifndef _WIN32
// A pseudo-terminal behind the ports/comN link, as a USB adapter behind
// /dev/serial/by-id: unplugging it hangs the line up.
TEST_F(ReceiverTest, AnUnpluggedReceiverIsReportedAndReopenedByItsLink) {
    test::TempDir dir;
    const auto realPorts = MakeSystemSerialPorts(dir.Path());
    SerialLink realLink(*realPorts, system);
    Receiver real(realLink, system, settings, published, wake);
    const auto plug = [&](tool::PseudoTerminal& pty) {
        std::string error;
        return pty.Open(false, error) && tool::LinkPort(dir.Path(), 3, pty.SlavePath(), error);
    };
    const Bytes a = {10, 5, 5, 10, 5}, b = {20, 10, 10, 20, 10, 30};
    const Bytes wireA = Concat({a, {0xFE}}), wireB = Concat({b, {0xFE}});
    tool::PseudoTerminal first, second;
    ASSERT_TRUE(plug(first));
    ASSERT_TRUE(real.StartReceiver());
    ASSERT_TRUE(first.Write(wireA.data(), wireA.size()));
    EXPECT_EQ(wake.WaitFor(1), std::vector<std::uint64_t>{Code(a)});

    first.Close();  // unplugged
    ASSERT_TRUE(LogsReach(1)) << "the loss was not reported";
    ASSERT_TRUE(plug(second));  // back, as another device behind the same link
    ASSERT_TRUE(LogsReach(2)) << "the port was not reopened";
    EXPECT_EQ(system.Logs(), (std::vector<std::string>{PortLostText(3), PortBackText(3)}));
    ASSERT_TRUE(second.Write(wireB.data(), wireB.size()));
    EXPECT_EQ(wake.WaitFor(2), (std::vector<std::uint64_t>{Code(a), Code(b)}));

    second.Close();
    ASSERT_TRUE(LogsReach(3));
    auto stopping = std::async(std::launch::async, [&] { return real.StopReceiver(); });
    ASSERT_EQ(stopping.wait_for(kWatchdog), std::future_status::ready);
    EXPECT_FALSE(stopping.get());  // stopped while waiting to reopen: no port held
}
#endif

}  // namespace
}  // namespace orbisk
