#include "platform/serial_device.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>

#include "platform/posix/serial_speed.h"
#include "platform/read_deadline.h"

namespace orbisk {
namespace {

using Clock = ReadDeadline::Clock;

// The time to a deadline as ppoll takes it: to the microsecond, so that a
// read ends at its deadline and not at the next whole millisecond.
timespec TimeUntil(Clock::time_point deadline, Clock::time_point now) {
    const auto left = std::chrono::ceil<std::chrono::microseconds>(deadline - now);
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
    return {static_cast<time_t>(seconds.count()),
            static_cast<long>(std::chrono::duration_cast<std::chrono::nanoseconds>(left - seconds).count())};
}

class PosixSerialDevice final : public SerialDevice {
public:
    PosixSerialDevice(int fd, int cancelReadEnd, int cancelWriteEnd)
        : fd_(fd), cancelReadEnd_(cancelReadEnd), cancelWriteEnd_(cancelWriteEnd) {}

    ~PosixSerialDevice() override {
        Close();
        ::close(cancelReadEnd_);
        ::close(cancelWriteEnd_);
    }

    PosixSerialDevice(const PosixSerialDevice&) = delete;
    PosixSerialDevice& operator=(const PosixSerialDevice&) = delete;

    bool SetLineSettings(int baud) override {
        if (fd_ < 0) return false;
        termios tio{};
        if (tcgetattr(fd_, &tio) != 0) return false;
        // A port starts cooked: line editing, echo, XON/XOFF and CR/NL
        // translation would eat or change duration bytes such as 0x0D, 0x11,
        // 0x13 and 0x7F.
        cfmakeraw(&tio);
        tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
        tio.c_cflag |= CS8 | CLOCAL | CREAD;
        tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
        tio.c_cc[VMIN] = 1;
        tio.c_cc[VTIME] = 0;
        if (tcsetattr(fd_, TCSANOW, &tio) != 0) return false;
        return SetSerialSpeed(fd_, baud) && DropModemLines();
    }

    bool SetReadTimeouts(const ReadTimeouts& timeouts) override {
        if (fd_ < 0) return false;
        std::lock_guard<std::mutex> lock(timeoutsMutex_);
        timeouts_ = timeouts;
        return true;
    }

    bool Read(std::uint8_t* buffer, int& count) override;

    void CancelRead() override {
        // Level-triggered: the byte stays in the pipe until a Read drains it,
        // so a cancel that comes just before the reader enters Read is not
        // lost.  A full pipe already holds a pending cancel.
        const std::uint8_t token = 1;
        ssize_t written;
        do {
            written = ::write(cancelWriteEnd_, &token, 1);
        } while (written < 0 && errno == EINTR);
    }

    bool Purge() override { return fd_ >= 0 && tcflush(fd_, TCIOFLUSH) == 0; }

    bool Close() override {
        if (fd_ < 0) return true;
        // Lift the exclusive mode so that whoever opens the port next is not
        // refused because of us; closing the descriptor releases the lock.
        ::ioctl(fd_, TIOCNXCL);
        // Linux frees the descriptor even when close reports an error, so it
        // is never retried and the device counts as closed either way.
        ::close(fd_);
        fd_ = -1;
        return true;
    }

private:
    bool DropModemLines() {
        int lines = TIOCM_DTR | TIOCM_RTS;
        if (::ioctl(fd_, TIOCMBIC, &lines) == 0) return true;
        // Pseudo-terminals and some USB bridges have no modem-control lines.
        return errno == ENOTTY || errno == EINVAL;
    }

    ReadTimeouts CurrentTimeouts() {
        std::lock_guard<std::mutex> lock(timeoutsMutex_);
        return timeouts_;
    }

    void DrainCancel() {
        std::uint8_t sink[64];
        while (::read(cancelReadEnd_, sink, sizeof sink) > 0) {
        }
    }

    int fd_;
    const int cancelReadEnd_;
    const int cancelWriteEnd_;
    std::mutex timeoutsMutex_;
    ReadTimeouts timeouts_;
    std::optional<Clock::time_point> latestByte_;  // read by the reader thread only
};

bool PosixSerialDevice::Read(std::uint8_t* buffer, int& count) {
    if (fd_ < 0 || count < 0) return false;
    const ReadTimeouts t = CurrentTimeouts();
    const ReadDeadline limits(t, count, Clock::now(), latestByte_);

    int got = 0;
    std::optional<Clock::time_point> lastByte;
    while (got < count) {
        const Clock::time_point now = Clock::now();
        const std::optional<Clock::time_point> deadline = limits.Next(lastByte);
        // Past the deadline, bytes already waiting are still read: they may
        // have come before it, while this thread was not running.
        const timespec wait = !deadline || now >= *deadline ? timespec{0, 0} : TimeUntil(*deadline, now);

        pollfd fds[2] = {{fd_, POLLIN, 0}, {cancelReadEnd_, POLLIN, 0}};
        const int ready = ::ppoll(fds, 2, deadline ? &wait : nullptr, nullptr);
        if (ready < 0) {
            if (errno == EINTR) continue;  // the remaining time is recomputed above
            return false;
        }
        if (ready == 0) {
            if (deadline && Clock::now() >= *deadline) break;  // a time-out: what came so far is the result
            continue;
        }

        if (fds[1].revents & POLLIN) {
            DrainCancel();
            break;
        }
        const short events = fds[0].revents;
        const bool hungUp = (events & (POLLHUP | POLLERR | POLLNVAL)) != 0;
        if (events & POLLIN) {
            const ssize_t n = ::read(fd_, buffer + got, static_cast<std::size_t>(count - got));
            if (n > 0) {
                const bool ended = t.endByte && std::memchr(buffer + got, *t.endByte, static_cast<std::size_t>(n));
                got += static_cast<int>(n);
                latestByte_ = lastByte = Clock::now();
                if (ended) break;  // the message is complete: no gap to wait for
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EAGAIN && !hungUp) continue;
            // 0 from a terminal or EIO: the other end is gone (an adapter
            // pulled out, the master of a pseudo-terminal closed).
        } else if (!hungUp) {
            continue;
        }
        // Bytes that did arrive before the hang-up are still delivered; the
        // next Read reports the failure.
        if (got > 0) break;
        return false;
    }
    count = got;
    return true;
}

class PosixSerialPorts final : public SerialPorts {
public:
    explicit PosixSerialPorts(std::string portFolder) : portFolder_(std::move(portFolder)) {}

    std::string Locate(int number) override { return SystemSerialPortPath(portFolder_, number); }

    std::unique_ptr<SerialDevice> OpenDevice(const std::string& path) override {
        // O_NONBLOCK keeps open from waiting for carrier detect; Read polls
        // anyway, so the descriptor stays non-blocking.
        int fd;
        do {
            fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) return nullptr;
        // Only terminals are serial ports.  The advisory lock keeps out other
        // readers that lock as we do; TIOCEXCL refuses further opens by
        // anyone but root.
        if (!::isatty(fd) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            return nullptr;
        }
        ::ioctl(fd, TIOCEXCL);
        int cancelPipe[2];
        if (::pipe2(cancelPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
            ::close(fd);
            return nullptr;
        }
        return std::make_unique<PosixSerialDevice>(fd, cancelPipe[0], cancelPipe[1]);
    }

private:
    std::string portFolder_;
};

}  // namespace

std::string SystemSerialPortPath(const std::string& portFolder, int number) {
    // A link in the port folder wins, even a dangling one: it names the
    // adapter the user chose, and falling back to a built-in port behind
    // their back would read from the wrong device.
    if (!portFolder.empty()) {
        std::string link = portFolder + "/com" + std::to_string(number);
        struct stat st {};
        if (::lstat(link.c_str(), &st) == 0) return link;
    }
    if (number < 1) return {};
    return "/dev/ttyS" + std::to_string(number - 1);
}

std::unique_ptr<SerialPorts> MakeSystemSerialPorts(const std::string& portFolder) {
    return std::make_unique<PosixSerialPorts>(portFolder);
}

}  // namespace orbisk
