// The POSIX serial device against a real pseudo-terminal reached through a
// ports/comN link, as the simulator provides one.  Reads are checked by their
// results only; a watchdog turns a read that never returns into a failure.
#include "platform/serial_device.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "capture/posix/pty.h"
#include "support/temp_dir.h"

namespace orbisk {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

constexpr auto kWatchdog = 5s;
constexpr int kPort = 7;

ReadTimeouts Timeouts(std::uint32_t interval, std::uint32_t multiplier, std::uint32_t constant) {
    ReadTimeouts t;
    t.intervalMs = interval;
    t.totalMultiplierMs = multiplier;
    t.totalConstantMs = constant;
    return t;
}

// Neither an interval nor a total limit: a read returns only with all it
// asked for, on a cancel or on a hang-up.
const ReadTimeouts kNoLimits = Timeouts(0, 0, 0);

struct ReadResult {
    bool ok = false;
    int count = -1;
    Bytes bytes;
};

class PosixSerialDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(pty.Open(true, error)) << error;
        ASSERT_TRUE(tool::LinkPort(portFolder, kPort, pty.SlavePath(), error)) << error;
        ports = MakeSystemSerialPorts(portFolder);
        device = ports->Open(kPort);
        ASSERT_NE(device, nullptr);
        ASSERT_TRUE(device->SetLineSettings(115200));
    }

    void Send(const Bytes& bytes) { ASSERT_TRUE(pty.Write(bytes.data(), bytes.size())); }

    // Waits until the bytes written have reached the reader's side of the line.
    bool WaitUntilPending(int n) {
        const auto end = std::chrono::steady_clock::now() + kWatchdog;
        while (pty.PendingBytes() < n) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(1ms);
        }
        return true;
    }

    // One read on another thread; on the watchdog it is cancelled and the
    // line hung up so that the test ends either way.
    bool ReadWithinWatchdog(int want, ReadResult& result, const std::function<void()>& whileReading = {}) {
        auto reading = std::async(std::launch::async, [this, want] {
            ReadResult r;
            r.bytes.assign(static_cast<std::size_t>(want), 0);
            r.count = want;
            r.ok = device->Read(r.bytes.data(), r.count);
            if (r.ok) r.bytes.resize(static_cast<std::size_t>(r.count));
            return r;
        });
        if (whileReading) whileReading();
        if (reading.wait_for(kWatchdog) != std::future_status::ready) {
            device->CancelRead();
            pty.CloseMaster();
            reading.wait();
            return false;
        }
        result = reading.get();
        return true;
    }

    test::TempDir dir;
    std::string portFolder = dir.Path() + "/ports";
    tool::PseudoTerminal pty;
    std::unique_ptr<SerialPorts> ports;
    std::unique_ptr<SerialDevice> device;
};

TEST_F(PosixSerialDeviceTest, OpensThroughTheLinkForExclusiveUse) {
    EXPECT_EQ(ports->Open(kPort), nullptr);
    EXPECT_TRUE(pty.ReaderAttached());
    EXPECT_TRUE(device->Close());
    EXPECT_FALSE(pty.ReaderAttached());
    EXPECT_NE(ports->Open(kPort), nullptr);
}

TEST_F(PosixSerialDeviceTest, AcceptsAnyRateTheDriverTakes) {
    struct Case {
        int baud;
        bool accepted;
    };
    // termios has no constant for 250000 or 12345; the driver takes them.
    const Case cases[] = {{1200, true},   {2400, true},   {4800, true},    {9600, true},
                          {19200, true},  {38400, true},  {57600, true},   {115200, true},
                          {230400, true}, {250000, true}, {12345, true},   {0, false},
                          {-9600, false}};
    for (const Case& c : cases) EXPECT_EQ(device->SetLineSettings(c.baud), c.accepted) << c.baud;
}

TEST_F(PosixSerialDeviceTest, ALineLeftCookedPassesEveryByteUnchanged) {
    std::string error;
    ASSERT_TRUE(device->Close());
    ASSERT_TRUE(pty.Open(true, error, /*cooked=*/true)) << error;
    ASSERT_TRUE(tool::LinkPort(portFolder, kPort, pty.SlavePath(), error)) << error;
    device = ports->Open(kPort);
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(device->SetLineSettings(115200));
    ASSERT_TRUE(device->SetReadTimeouts(kNoLimits));
    Bytes all(256);
    for (int i = 0; i < 256; ++i) all[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    Send(all);  // 0x03, 0x0D, 0x11, 0x13, 0x7F among them
    ReadResult r;
    ASSERT_TRUE(ReadWithinWatchdog(256, r));
    EXPECT_EQ(r.bytes, all);
}

TEST_F(PosixSerialDeviceTest, ReadReturnsOnceTheCountHasCome) {
    ASSERT_TRUE(device->SetReadTimeouts(kNoLimits));
    Send({1, 2, 0xFE, 4, 5});
    ReadResult r;
    ASSERT_TRUE(ReadWithinWatchdog(4, r));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.bytes, (Bytes{1, 2, 0xFE, 4}));
    ASSERT_TRUE(ReadWithinWatchdog(1, r));
    EXPECT_EQ(r.bytes, Bytes{5});
}

TEST_F(PosixSerialDeviceTest, ReadReturnsAtTheEndByteWithoutWaitingForTheGap) {
    // Neither a gap nor a total limit: only the end byte can end this read.
    ReadTimeouts t = kNoLimits;
    t.endByte = 0xFE;
    ASSERT_TRUE(device->SetReadTimeouts(t));
    Send({1, 2, 0xFE});
    ReadResult r;
    ASSERT_TRUE(ReadWithinWatchdog(255, r));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.bytes, (Bytes{1, 2, 0xFE}));
}

TEST_F(PosixSerialDeviceTest, ReadReturnsAPartialMessageAfterTheGap) {
    ASSERT_TRUE(device->SetReadTimeouts(Timeouts(2, 0, 0)));
    Send({9, 8, 7});
    ReadResult r;
    ASSERT_TRUE(ReadWithinWatchdog(255, r));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.bytes, (Bytes{9, 8, 7}));
}

TEST_F(PosixSerialDeviceTest, ReadWithNothingArrivingTimesOutSuccessfully) {
    ASSERT_TRUE(device->SetReadTimeouts(Timeouts(2, 1, 10)));
    ReadResult r;
    ASSERT_TRUE(ReadWithinWatchdog(8, r));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.count, 0);
}

// The silence counts from the latest byte read, not from the read's start,
// and only an empty wait proves it: a byte already waiting is still read.
TEST_F(PosixSerialDeviceTest, TheSilenceCountsFromTheLatestByteAndAWaitingByteIsRead) {
    ReadTimeouts t = Timeouts(2, 0, 0);
    ASSERT_TRUE(device->SetReadTimeouts(t));
    Send({1});
    ReadResult r;
    ASSERT_TRUE(ReadWithinWatchdog(8, r));
    EXPECT_EQ(r.bytes, Bytes{1});
    std::this_thread::sleep_for(30ms);  // longer than the silence below
    t.silenceMs = 20;
    ASSERT_TRUE(device->SetReadTimeouts(t));
    ASSERT_TRUE(ReadWithinWatchdog(8, r));
    EXPECT_TRUE(r.ok && r.count == 0) << r.count;
    Send({2});
    ASSERT_TRUE(WaitUntilPending(1));
    std::this_thread::sleep_for(30ms);
    ASSERT_TRUE(ReadWithinWatchdog(8, r));
    EXPECT_EQ(r.bytes, Bytes{2});
}

TEST_F(PosixSerialDeviceTest, CancelWakesABlockedRead) {
    ASSERT_TRUE(device->SetReadTimeouts(kNoLimits));
    ReadResult r;
    ASSERT_TRUE(ReadWithinWatchdog(16, r, [this] {
        std::this_thread::sleep_for(20ms);  // most likely blocked by now; either way it must return
        device->CancelRead();
    }));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.count, 0);
}

TEST_F(PosixSerialDeviceTest, ACancelBeforeTheReadIsNotLostAndEndsOnlyOneRead) {
    ASSERT_TRUE(device->SetReadTimeouts(kNoLimits));
    device->CancelRead();
    device->CancelRead();
    ReadResult r;
    ASSERT_TRUE(ReadWithinWatchdog(16, r));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.count, 0);

    Send({3, 4});
    ASSERT_TRUE(ReadWithinWatchdog(2, r));
    EXPECT_EQ(r.bytes, (Bytes{3, 4}));
}

TEST_F(PosixSerialDeviceTest, HangUpFailsTheReadAndEveryLaterOne) {
    ASSERT_TRUE(device->SetReadTimeouts(kNoLimits));
    pty.CloseMaster();
    for (int i = 0; i < 3; ++i) {
        ReadResult r;
        ASSERT_TRUE(ReadWithinWatchdog(16, r));
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.count, 16);  // unchanged
    }
}

TEST_F(PosixSerialDeviceTest, PurgeDropsWhatTheDriverHolds) {
    Send({1, 2, 3});
    ASSERT_TRUE(WaitUntilPending(3));
    EXPECT_TRUE(device->Purge());
    EXPECT_EQ(pty.PendingBytes(), 0);
}

TEST_F(PosixSerialDeviceTest, AClosedDeviceRefusesEverything) {
    ASSERT_TRUE(device->Close());
    std::uint8_t buffer[4];
    int count = 4;
    EXPECT_FALSE(device->Read(buffer, count));
    EXPECT_EQ(count, 4);
    EXPECT_FALSE(device->SetLineSettings(9600));
    EXPECT_FALSE(device->Purge());
    EXPECT_TRUE(device->Close());
}

class PortPathTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::string folder = dir.Path();
};

TEST_F(PortPathTest, LinksInThePortFolderWinOverBuiltInPorts) {
    ASSERT_EQ(::symlink("/nonexistent/device", (folder + "/com9").c_str()), 0);
    test::WriteFile(folder + "/com4", "not a terminal");
    struct Case {
        std::string portFolder;
        int number;
        std::string path;
    };
    const Case cases[] = {
        {folder, 9, folder + "/com9"},  // a dangling link still names the user's choice
        {folder, 4, folder + "/com4"},
        {folder, 3, "/dev/ttyS2"},
        {folder, 1, "/dev/ttyS0"},
        {folder, 0, ""},
        {folder, -5, ""},
        {"", 7, "/dev/ttyS6"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SystemSerialPortPath(c.portFolder, c.number), c.path) << c.portFolder << " " << c.number;

    const auto ports = MakeSystemSerialPorts(folder);
    EXPECT_EQ(ports->Open(9), nullptr);
    EXPECT_EQ(ports->Open(4), nullptr);  // only terminals are serial ports
    EXPECT_EQ(ports->Open(0), nullptr);
    EXPECT_EQ(ports->Open(-1), nullptr);
}

TEST_F(PortPathTest, LinkPortReplacesOnlyStaleLinks) {
    std::string error;
    ASSERT_EQ(::symlink("/dev/pts/999999", (folder + "/com1").c_str()), 0);
    ASSERT_EQ(::symlink("/dev/null", (folder + "/com2").c_str()), 0);
    test::WriteFile(folder + "/com3", "");
    EXPECT_TRUE(tool::LinkPort(folder, 1, "/dev/pts/5", error)) << error;
    EXPECT_FALSE(tool::LinkPort(folder, 2, "/dev/pts/5", error));
    EXPECT_FALSE(tool::LinkPort(folder, 3, "/dev/pts/5", error));
    EXPECT_TRUE(tool::LinkPort(folder + "/new", 4, "/dev/pts/5", error)) << error;

    tool::UnlinkPort(folder, 2, "/dev/pts/5");  // not ours: kept
    tool::UnlinkPort(folder, 1, "/dev/pts/5");
    EXPECT_EQ(SystemSerialPortPath(folder, 2), folder + "/com2");
    EXPECT_EQ(SystemSerialPortPath(folder, 1), "/dev/ttyS0");
}

}  // namespace
}  // namespace orbisk
