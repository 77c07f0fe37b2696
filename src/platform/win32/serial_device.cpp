#include "platform/serial_device.h"
#include "platform/read_deadline.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>

namespace orbisk {
namespace {

// The device times every read itself, as the POSIX back-end does, so that a
// read can end at the end byte: the port's own time-outs know no end byte
// and would hold every message for the interval after it.  The port has no
// read time-outs, so a read of n bytes returns once n have come: a read
// takes the bytes the driver reports waiting (ClearCommError) and returns
// at once, and a read waits for the next byte with an overlapped read of
// one byte against the cancel event and its own deadline, cancelled with
// CancelIo when the time runs out.
class Win32SerialDevice final : public SerialDevice {
public:
    Win32SerialDevice(HANDLE port, HANDLE ioDone, HANDLE cancel)
        : port_(port), ioDone_(ioDone), cancel_(cancel) {}

    ~Win32SerialDevice() override {
        Close();
        CloseHandle(ioDone_);
        CloseHandle(cancel_);
    }

    Win32SerialDevice(const Win32SerialDevice&) = delete;
    Win32SerialDevice& operator=(const Win32SerialDevice&) = delete;

    static bool PreparePort(HANDLE port) {
        COMMTIMEOUTS t{};  // no read time-outs
        t.WriteTotalTimeoutMultiplier = 2;
        t.WriteTotalTimeoutConstant = 2;
        return SetCommTimeouts(port, &t) != 0;
    }

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

    bool SetReadTimeouts(const ReadTimeouts& timeouts) override {
        if (port_ == INVALID_HANDLE_VALUE) return false;
        timeouts_ = timeouts;
        return true;
    }

    bool Read(std::uint8_t* buffer, int& count) override;

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
    using Clock = ReadDeadline::Clock;
    enum class Wait { Byte, TimedOut, Cancelled, Failed };

    // One overlapped read of want bytes; it waits up to ms for them, or
    // until CancelRead.  got counts what was read, also when the wait ended
    // otherwise: a byte that came as the read was cancelled is kept.
    Wait ReadFor(std::uint8_t* buffer, DWORD want, DWORD ms, int& got) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = ioDone_;
        if (!ReadFile(port_, buffer, want, nullptr, &overlapped) && GetLastError() != ERROR_IO_PENDING)
            return Wait::Failed;
        Wait result = Wait::Byte;
        if (!HasOverlappedIoCompleted(&overlapped)) {
            const HANDLE handles[2] = {ioDone_, cancel_};
            switch (WaitForMultipleObjects(2, handles, FALSE, ms)) {
            case WAIT_OBJECT_0: break;
            case WAIT_OBJECT_0 + 1:
                ResetEvent(cancel_);
                result = Wait::Cancelled;
                break;
            case WAIT_TIMEOUT: result = Wait::TimedOut; break;
            default: result = Wait::Failed; break;
            }
            // The read writes into buffer and overlapped: it has ended
            // before they are left.
            if (result != Wait::Byte) CancelIo(port_);
        }
        DWORD n = 0;
        if (!GetOverlappedResult(port_, &overlapped, &n, TRUE) &&
            (GetLastError() != ERROR_OPERATION_ABORTED || result == Wait::Byte))
            return Wait::Failed;
        got = static_cast<int>(n);
        return result;
    }

    // Takes the bytes the driver holds, up to want, without waiting;
    // TimedOut when none is waiting.
    Wait Drain(std::uint8_t* buffer, int want, int& got) {
        got = 0;
        COMSTAT status{};
        DWORD errors = 0;
        if (!ClearCommError(port_, &errors, &status)) return Wait::Failed;
        if (status.cbInQue == 0) return Wait::TimedOut;
        // They are there: the read does not wait, unless the driver
        // miscounted, and then it waits no longer than 0 ms.
        return ReadFor(buffer, std::min(status.cbInQue, static_cast<DWORD>(want)), 0, got);
    }

    HANDLE port_;
    const HANDLE ioDone_;  // manual-reset, completion of the read in progress
    const HANDLE cancel_;  // manual-reset, set by CancelRead until a read takes it
    // The reader thread's alone.
    ReadTimeouts timeouts_;
    std::optional<Clock::time_point> latestByte_;
};

bool Win32SerialDevice::Read(std::uint8_t* buffer, int& count) {
    if (port_ == INVALID_HANDLE_VALUE || count < 0) return false;
    // A cancel that came before this read ends it at once, like one that
    // comes while it waits.
    if (WaitForSingleObject(cancel_, 0) == WAIT_OBJECT_0) {
        ResetEvent(cancel_);
        count = 0;
        return true;
    }
    const ReadTimeouts& t = timeouts_;
    const ReadDeadline limits(t, count, Clock::now(), latestByte_);
    int got = 0;
    std::optional<Clock::time_point> lastByte;
    while (got < count) {
        // Bytes already waiting are read first, even past a deadline: they
        // may have come before it, while this thread was not running.
        int n = 0;
        Wait woken = Drain(buffer + got, count - got, n);
        if (woken == Wait::TimedOut && n == 0) {
            const std::optional<Clock::time_point> deadline = limits.Next(lastByte);
            DWORD waitMs = INFINITE;
            if (deadline) {
                const Clock::time_point now = Clock::now();
                if (now >= *deadline) break;  // a time-out: what came so far is the result
                waitMs = static_cast<DWORD>(std::chrono::ceil<std::chrono::milliseconds>(*deadline - now).count());
            }
            woken = ReadFor(buffer + got, 1, waitMs, n);
        }
        if (n > 0) {
            const bool ended = t.endByte && std::memchr(buffer + got, *t.endByte, static_cast<std::size_t>(n));
            got += n;
            latestByte_ = lastByte = Clock::now();
            if (ended) break;  // the message is complete: no gap to wait for
        }
        if (woken == Wait::Cancelled) break;
        if (woken == Wait::Failed) {
            // Bytes that did arrive before a hang-up are still delivered;
            // the next Read reports the failure.
            if (got > 0) break;
            return false;
        }
    }
    count = got;
    return true;
}

class Win32SerialPorts final : public SerialPorts {
public:
    std::string Locate(int number) override { return SystemSerialPortPath({}, number); }

    std::unique_ptr<SerialDevice> OpenDevice(const std::string& path) override {
        // No sharing: the port is ours alone while it is open.
        const HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED,
                                        nullptr);
        if (port == INVALID_HANDLE_VALUE) return nullptr;
        const HANDLE ioDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        const HANDLE cancel = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (ioDone == nullptr || cancel == nullptr || !Win32SerialDevice::PreparePort(port)) {
            if (ioDone != nullptr) CloseHandle(ioDone);
            if (cancel != nullptr) CloseHandle(cancel);
            CloseHandle(port);
            return nullptr;
        }
        return std::make_unique<Win32SerialDevice>(port, ioDone, cancel);
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
