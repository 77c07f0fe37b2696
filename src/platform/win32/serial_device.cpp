#include "platform/serial_device.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>

namespace orbisk {
namespace {

// The port is opened for overlapped I/O so that a read blocked for its whole
// total time-out can be woken: each read waits on its own completion and on
// the cancel event together.  (CancelSynchronousIo on a plain blocking read
// is not honoured by Wine.)
class Win32SerialDevice final : public SerialDevice {
public:
    Win32SerialDevice(HANDLE port, HANDLE readDone, HANDLE cancel)
        : port_(port), readDone_(readDone), cancel_(cancel) {}

    ~Win32SerialDevice() override {
        Close();
        CloseHandle(readDone_);
        CloseHandle(cancel_);
    }

    Win32SerialDevice(const Win32SerialDevice&) = delete;
    Win32SerialDevice& operator=(const Win32SerialDevice&) = delete;

    bool SetLineSettings(int baud) override {
        if (port_ == INVALID_HANDLE_VALUE || baud <= 0) return false;
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(port_, &dcb)) return false;
        // Applied over the port's current state: fields the string does not
        // name keep their values.
        char mode[256];
        std::snprintf(mode, sizeof mode,
                      "baud=%d parity=N data=8 stop=1 to=off xon=off odsr=off octs=off dtr=off "
                      "rts=off idsr=off",
                      baud);
        if (!BuildCommDCBA(mode, &dcb) || !SetCommState(port_, &dcb)) return false;
        // A driver may take the state and keep another rate: the receiver
        // cannot run at that, so it counts as refused.
        DCB applied{};
        applied.DCBlength = sizeof applied;
        return GetCommState(port_, &applied) && applied.BaudRate == static_cast<DWORD>(baud);
    }

    // A silence is counted here from the latest byte read (the port's own
    // time-outs count from each read's start) and replaces the total.
    bool SetReadTimeouts(const ReadTimeouts& timeouts) override {
        if (port_ == INVALID_HANDLE_VALUE) return false;
        timeouts_ = timeouts;
        return Apply(timeouts.totalMultiplierMs, timeouts.totalConstantMs);
    }

    bool Read(std::uint8_t* buffer, int& count) override {
        if (port_ == INVALID_HANDLE_VALUE || count < 0) return false;
        if (timeouts_.silenceMs != 0) {
            // What is left of the silence; at least 1 ms, so that bytes
            // already waiting are read.
            const auto start = Clock::now();
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                latestByte_.value_or(start) + std::chrono::milliseconds(timeouts_.silenceMs) - start);
            Apply(0, static_cast<DWORD>(std::clamp<long long>(left.count(), 1, timeouts_.silenceMs)));
        }
        const int want = count;
        const bool read = ReadOverlapped(buffer, count);
        if (read && count > 0) {
            // A read that asked for more and got no end byte ended at the gap
            // after its latest byte.
            const bool atGap = count < want && !(timeouts_.endByte && std::memchr(buffer, *timeouts_.endByte,
                                                                                    static_cast<std::size_t>(count)));
            latestByte_ = Clock::now() - std::chrono::milliseconds(atGap ? timeouts_.intervalMs : 0);
        }
        return read;
    }

    void CancelRead() override { SetEvent(cancel_); }

    bool Purge() override {
        return port_ != INVALID_HANDLE_VALUE &&
               PurgeComm(port_, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR) != 0;
    }

    bool Close() override {
        if (port_ == INVALID_HANDLE_VALUE) return true;
        if (!CloseHandle(port_)) return false;
        port_ = INVALID_HANDLE_VALUE;
        return true;
    }

private:
    using Clock = std::chrono::steady_clock;

    bool Apply(DWORD multiplierMs, DWORD constantMs) {
        COMMTIMEOUTS t{};
        t.ReadIntervalTimeout = timeouts_.intervalMs;
        t.ReadTotalTimeoutMultiplier = multiplierMs;
        t.ReadTotalTimeoutConstant = constantMs;
        t.WriteTotalTimeoutMultiplier = 2;
        t.WriteTotalTimeoutConstant = 2;
        return SetCommTimeouts(port_, &t) != 0;
    }

    bool ReadOverlapped(std::uint8_t* buffer, int& count) {
        // A cancel that came before this read ends it at once, like one that
        // comes while it waits.
        if (WaitForSingleObject(cancel_, 0) == WAIT_OBJECT_0) {
            ResetEvent(cancel_);
            count = 0;
            return true;
        }
        OVERLAPPED overlapped{};
        overlapped.hEvent = readDone_;
        ResetEvent(readDone_);
        DWORD got = 0;
        if (!ReadFile(port_, buffer, static_cast<DWORD>(count), nullptr, &overlapped)) {
            if (GetLastError() != ERROR_IO_PENDING) return false;
            const HANDLE events[2] = {readDone_, cancel_};
            const DWORD woken = WaitForMultipleObjects(2, events, FALSE, INFINITE);
            if (woken != WAIT_OBJECT_0) {
                // Cancelled (or the wait itself failed): abort the read, then
                // wait for it to finish, since it writes into buffer.
                CancelIo(port_);
                ResetEvent(cancel_);
            }
        }
        // A read that ran out its time-out, or was cancelled, has still
        // succeeded with what came; Wine reports the time-out as an error.
        if (!GetOverlappedResult(port_, &overlapped, &got, TRUE) &&
            GetLastError() != ERROR_OPERATION_ABORTED && GetLastError() != ERROR_TIMEOUT)
            return false;
        count = static_cast<int>(got);
        return true;
    }

    HANDLE port_;
    const HANDLE readDone_;  // manual-reset, completion of the read in progress
    const HANDLE cancel_;    // manual-reset, set by CancelRead until a read takes it
    // The reader thread's alone.
    ReadTimeouts timeouts_;
    std::optional<Clock::time_point> latestByte_;
};

class Win32SerialPorts final : public SerialPorts {
public:
    std::string Locate(int number) override { return SystemSerialPortPath({}, number); }

    std::unique_ptr<SerialDevice> OpenDevice(const std::string& path) override {
        // No sharing: the port is ours alone while it is open.
        const HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED,
                                        nullptr);
        if (port == INVALID_HANDLE_VALUE) return nullptr;
        const HANDLE readDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        const HANDLE cancel = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (readDone == nullptr || cancel == nullptr) {
            if (readDone != nullptr) CloseHandle(readDone);
            if (cancel != nullptr) CloseHandle(cancel);
            CloseHandle(port);
            return nullptr;
        }
        return std::make_unique<Win32SerialDevice>(port, readDone, cancel);
    }
};

}  // namespace

std::string SystemSerialPortPath(const std::string&, int number) {
    // The device namespace form reaches COM10 and above too, which the bare
    // name does not.
    if (number < 1) return {};
    return "\\\\.\\COM" + std::to_string(number);
}

std::unique_ptr<SerialPorts> MakeSystemSerialPorts(const std::string&) {
    return std::make_unique<Win32SerialPorts>();
}

}  // namespace orbisk
