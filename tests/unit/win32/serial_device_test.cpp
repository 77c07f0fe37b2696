// The Windows serial port through Wine's COM ports: a null-modem pair whose
// COM6 end the test writes (the receiver) and whose COM5 end the back-end
// reads.  COM5 starts as a cooked terminal line (tests/win32/wine_ports.sh).
#include "platform/serial_device.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

namespace orbisk {
namespace {

constexpr int kReaderPort = 5;

// The receiver's end of the pair.
class Transmitter {
public:
    Transmitter()
        : port_(CreateFileA("\\\\.\\COM6", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                            nullptr)) {}
    ~Transmitter() {
        if (port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
    }
    bool Ok() const { return port_ != INVALID_HANDLE_VALUE; }
    bool Write(const std::vector<std::uint8_t>& bytes) {
        DWORD written = 0;
        return WriteFile(port_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
               written == bytes.size();
    }

private:
    HANDLE port_;
};

class Win32SerialTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(transmitter.Ok()) << "COM6 missing: run the tests through ctest";
        device = ports->Open(kReaderPort);
        ASSERT_NE(device, nullptr);
        ASSERT_TRUE(device->SetLineSettings(115200));
        ASSERT_TRUE(device->Purge());
    }
    std::unique_ptr<SerialPorts> ports = MakeSystemSerialPorts("");
    std::unique_ptr<SerialDevice> device;
    Transmitter transmitter;
};

TEST_F(Win32SerialTest, EveryByteValueArrivesUnchanged) {
    std::vector<std::uint8_t> all(256);
    for (int i = 0; i < 256; ++i) all[i] = static_cast<std::uint8_t>(i);
    ASSERT_TRUE(device->SetReadTimeouts({2, 10, 100, {}}));
    ASSERT_TRUE(transmitter.Write(all));

    std::vector<std::uint8_t> got;
    for (int reads = 0; reads < 50 && got.size() < all.size(); ++reads) {
        std::uint8_t buffer[255];
        int count = sizeof buffer;
        ASSERT_TRUE(device->Read(buffer, count));
        got.insert(got.end(), buffer, buffer + count);
    }
    EXPECT_EQ(got, all);
}

TEST_F(Win32SerialTest, AReadEndsAfterAGapWithWhatCameOrAtItsTotalWithNothing) {
    // A total time-out of a minute: only the gap after the bytes can end it.
    ASSERT_TRUE(device->SetReadTimeouts({2, 10, 60000, {}}));
    ASSERT_TRUE(transmitter.Write({1, 2, 3, 0xFE}));
    std::uint8_t buffer[255];
    int count = sizeof buffer;
    ASSERT_TRUE(device->Read(buffer, count));
    EXPECT_EQ(std::vector<std::uint8_t>(buffer, buffer + count), (std::vector<std::uint8_t>{1, 2, 3, 0xFE}));

    // Nothing within 10 x 1 + 50 ms: a time-out, which is no failure.
    ASSERT_TRUE(device->SetReadTimeouts({2, 1, 50, {}}));
    count = 10;
    EXPECT_TRUE(device->Read(buffer, count));
    EXPECT_EQ(count, 0);
}

// A message is handed on at its end byte, though the gap rule would hold
// the read for a minute; the rest of it comes while the read waits.
TEST_F(Win32SerialTest, AReadEndsAtTheEndByteWithoutWaitingForTheGap) {
    ASSERT_TRUE(device->SetReadTimeouts({60000, 0, 0, 0xFE}));
    ASSERT_TRUE(transmitter.Write({1, 2}));
    std::promise<void> returned;
    std::atomic<bool> cancelled{false};
    std::thread sender([&] {
        Sleep(50);
        EXPECT_TRUE(transmitter.Write({3, 0xFE}));
        // Only a read that waits out the gap is still there to be woken.
        if (returned.get_future().wait_for(std::chrono::seconds(20)) == std::future_status::timeout) {
            cancelled = true;
            device->CancelRead();
        }
    });
    std::vector<std::uint8_t> got;
    std::uint8_t buffer[255];
    for (int reads = 0; reads < 4 && (got.empty() || got.back() != 0xFE); ++reads) {
        int count = sizeof buffer;
        if (!device->Read(buffer, count)) break;
        got.insert(got.end(), buffer, buffer + count);
    }
    returned.set_value();
    sender.join();
    EXPECT_EQ(got, (std::vector<std::uint8_t>{1, 2, 3, 0xFE}));
    EXPECT_FALSE(cancelled) << "the read waited for the gap after its end byte";
}

// The silence counts from the latest byte read, not from the read's start,
// and a byte already waiting is still read.
TEST_F(Win32SerialTest, TheSilenceCountsFromTheLatestByteAndAWaitingByteIsRead) {
    ASSERT_TRUE(device->SetReadTimeouts({2, 10, 60000, {}}));
    ASSERT_TRUE(transmitter.Write({1}));
    std::uint8_t buffer[8];
    int count = sizeof buffer;
    ASSERT_TRUE(device->Read(buffer, count));
    EXPECT_EQ(count, 1);
    Sleep(40);  // longer than the silence below
    ASSERT_TRUE(device->SetReadTimeouts({2, 0, 0, {}, 20}));
    count = sizeof buffer;
    EXPECT_TRUE(device->Read(buffer, count));
    EXPECT_EQ(count, 0);
    ASSERT_TRUE(transmitter.Write({2}));
    Sleep(40);
    count = sizeof buffer;
    ASSERT_TRUE(device->Read(buffer, count));
    EXPECT_EQ(std::vector<std::uint8_t>(buffer, buffer + count), std::vector<std::uint8_t>{2});
}

TEST_F(Win32SerialTest, CancelWakesABlockedReadAndOneAboutToStart) {
    ASSERT_TRUE(device->SetReadTimeouts({2, 10, 60000, {}}));
    std::uint8_t buffer[255];
    int count = sizeof buffer;
    const DWORD start = GetTickCount();
    std::thread canceller([&] {
        Sleep(100);
        device->CancelRead();
    });
    EXPECT_TRUE(device->Read(buffer, count));
    canceller.join();
    EXPECT_EQ(count, 0);
    EXPECT_LT(GetTickCount() - start, 10000u) << "the read waited for its total time-out";

    // A cancel before the read is not lost, and is used up by it.
    device->CancelRead();
    count = sizeof buffer;
    EXPECT_TRUE(device->Read(buffer, count));
    EXPECT_EQ(count, 0);
    ASSERT_TRUE(device->SetReadTimeouts({2, 10, 100, {}}));
    ASSERT_TRUE(transmitter.Write({7}));
    count = sizeof buffer;
    EXPECT_TRUE(device->Read(buffer, count));
    EXPECT_EQ(count, 1);
}

TEST_F(Win32SerialTest, TheDialogsRatesAreTakenAndNonsenseIsRefused) {
    for (const int rate : {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200})
        EXPECT_TRUE(device->SetLineSettings(rate)) << rate;
    for (const int rate : {0, -9600}) EXPECT_FALSE(device->SetLineSettings(rate)) << rate;
}

}  // namespace
}  // namespace orbisk
