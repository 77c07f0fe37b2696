#pragma once
// Serial ports without hardware: a port set whose devices answer as scripted
// and serve reads from a queue of chunks.  A read with nothing queued blocks
// until a chunk is queued or the read is cancelled, like a real port with
// nothing arriving; the cancel is sticky, like the real device's.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/serial_device.h"

namespace orbisk::test {

// What the devices of one FakeSerialPorts share with the test; it outlives
// the devices, so the test can look at it after the port was closed.
struct FakeLine {
    // Answers of the devices.
    bool lineSettingsOk = true;
    bool timeoutsOk = true;
    bool purgeOk = true;
    bool closeOk = true;
    bool readsFail = false;

    // What the devices were asked.
    std::vector<int> bauds;
    std::vector<ReadTimeouts> timeouts;
    int purges = 0;
    int closeCalls = 0;
    int openDevices = 0;  // devices alive and not closed

    // The reader side, shared between the test thread and the reader thread.
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::vector<std::uint8_t>> chunks;
    bool cancelPending = false;
    int readsStarted = 0;
    int readsBlocked = 0;  // reads waiting now with nothing queued
    bool released = false; // ends every waiting read for good (test cleanup)

    void Queue(std::vector<std::uint8_t> chunk) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            chunks.push_back(std::move(chunk));
        }
        changed.notify_all();
    }

    // Waits until a read is blocked with nothing to serve; false after the
    // watchdog time.
    bool WaitForBlockedRead(std::chrono::milliseconds watchdog = std::chrono::seconds(5)) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, watchdog, [this] { return readsBlocked > 0; });
    }

    // The device hangs up: every read fails, one waiting now too.
    void HangUp(bool hungUp) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            readsFail = hungUp;
        }
        changed.notify_all();
    }

    void Release() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            released = true;
        }
        changed.notify_all();
    }
};

class FakeSerialDevice final : public SerialDevice {
public:
    explicit FakeSerialDevice(FakeLine& line) : line_(line) { ++line_.openDevices; }
    ~FakeSerialDevice() override {
        if (!closed_) --line_.openDevices;
    }

    bool SetLineSettings(int baud) override {
        line_.bauds.push_back(baud);
        return line_.lineSettingsOk;
    }
    bool SetReadTimeouts(const ReadTimeouts& timeouts) override {
        line_.timeouts.push_back(timeouts);
        return line_.timeoutsOk;
    }
    bool Read(std::uint8_t* buffer, int& count) override {
        std::unique_lock<std::mutex> lock(line_.mutex);
        ++line_.readsStarted;
        while (line_.chunks.empty() && !line_.cancelPending && !line_.released && !line_.readsFail) {
            ++line_.readsBlocked;
            line_.changed.notify_all();
            line_.changed.wait(lock);
            --line_.readsBlocked;
        }
        if (line_.readsFail) return false;
        if (line_.cancelPending) {
            line_.cancelPending = false;
            count = 0;
            return true;
        }
        if (line_.chunks.empty()) {
            count = 0;
            return true;
        }
        std::vector<std::uint8_t>& chunk = line_.chunks.front();
        const std::size_t n = std::min(chunk.size(), static_cast<std::size_t>(count));
        std::copy(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n), buffer);
        chunk.erase(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
        if (chunk.empty()) line_.chunks.pop_front();
        count = static_cast<int>(n);
        return true;
    }
    void CancelRead() override {
        {
            std::lock_guard<std::mutex> lock(line_.mutex);
            line_.cancelPending = true;
        }
        line_.changed.notify_all();
    }
    bool Purge() override {
        ++line_.purges;
        return line_.purgeOk;
    }
    bool Close() override {
        ++line_.closeCalls;
        if (!line_.closeOk) return false;
        if (!closed_) --line_.openDevices;
        closed_ = true;
        return true;
    }

private:
    FakeLine& line_;
    bool closed_ = false;
};

// Port n leads to the device "COMn" unless leadsTo says otherwise.  While a
// reader runs, the test changes and reads the ports through Change.
class FakeSerialPorts final : public SerialPorts {
public:
    std::set<int> present;  // n: the device "COMn" opens
    std::map<int, std::string> leadsTo;
    std::vector<std::string> opened;  // every device asked for
    FakeLine line;

    std::string Locate(int number) override {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto to = leadsTo.find(number);
        return to != leadsTo.end() ? to->second : "COM" + std::to_string(number);
    }
    std::unique_ptr<SerialDevice> OpenDevice(const std::string& device) override {
        std::lock_guard<std::mutex> lock(mutex_);
        opened.push_back(device);
        for (const int n : present)
            if (device == "COM" + std::to_string(n)) return std::make_unique<FakeSerialDevice>(line);
        return nullptr;
    }
    template <typename F>
    auto Change(F&& change) {
        std::lock_guard<std::mutex> lock(mutex_);
        return change();
    }

private:
    std::mutex mutex_;
};

}  // namespace orbisk::test
