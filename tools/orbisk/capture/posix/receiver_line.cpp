// The simulator's lines on Linux: a pseudo-terminal linked as ports/comN, or
// an existing tty.
#include "capture/receiver_line.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "capture/posix/pty.h"

namespace orbisk::tool {

namespace {

bool SetNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

// Writes all bytes, dropping the rest when the line is full (EAGAIN).
bool WriteDropping(int fd, const std::uint8_t* bytes, std::size_t count, std::string& error) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd, bytes + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) return true;
        if (n <= 0) {
            error = std::string("writing to the line: ") + std::strerror(n < 0 ? errno : EIO);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

class PseudoTerminalLine final : public ReceiverLine {
public:
    PseudoTerminalLine(std::string portFolder, int port) : portFolder_(std::move(portFolder)), port_(port) {}
    ~PseudoTerminalLine() override {
        if (linked_) UnlinkPort(portFolder_, port_, pty_.SlavePath());
    }

    bool Open(std::string& error) {
        if (!pty_.Open(true, error)) return false;
        if (!SetNonBlocking(pty_.Master())) {
            error = std::string("pseudo-terminal: ") + std::strerror(errno);
            return false;
        }
        linked_ = LinkPort(portFolder_, port_, pty_.SlavePath(), error);
        return linked_;
    }

    bool Write(const std::uint8_t* bytes, std::size_t count, std::string& error) override {
        return WriteDropping(pty_.Master(), bytes, count, error);
    }
    bool CanSeeReader() const override { return true; }
    bool ReaderAttached() const override { return pty_.ReaderAttached(); }
    int PendingBytes() const override { return pty_.PendingBytes(); }
    std::string Describe() const override {
        return "serving COM" + std::to_string(port_) + " at " + PortLinkPath(portFolder_, port_) + " -> " +
               pty_.SlavePath();
    }

private:
    PseudoTerminal pty_;
    const std::string portFolder_;
    const int port_;
    bool linked_ = false;
};

class TtyLine final : public ReceiverLine {
public:
    explicit TtyLine(std::string path) : path_(std::move(path)) {}
    ~TtyLine() override {
        if (fd_ >= 0) ::close(fd_);
    }

    bool Open(std::string& error) {
        fd_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        termios tio{};
        if (fd_ < 0 || ::tcgetattr(fd_, &tio) != 0) {
            error = path_ + ": " + std::strerror(errno);
            return false;
        }
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS | CSTOPB);
        ::cfsetspeed(&tio, B115200);
        if (::tcsetattr(fd_, TCSANOW, &tio) != 0) {
            error = path_ + ": cannot make the line raw: " + std::strerror(errno);
            return false;
        }
        return true;
    }

    bool Write(const std::uint8_t* bytes, std::size_t count, std::string& error) override {
        return WriteDropping(fd_, bytes, count, error);
    }
    bool CanSeeReader() const override { return false; }
    bool ReaderAttached() const override { return true; }
    int PendingBytes() const override {
        int pending = 0;
        return ::ioctl(fd_, TIOCOUTQ, &pending) == 0 ? pending : 0;
    }
    std::string Describe() const override { return "writing to " + path_; }

private:
    const std::string path_;
    int fd_ = -1;
};

}  // namespace

std::unique_ptr<ReceiverLine> ServePort(const std::string& portFolder, int port, std::string& error) {
    auto line = std::make_unique<PseudoTerminalLine>(portFolder, port);
    if (!line->Open(error)) return nullptr;
    return line;
}

std::unique_ptr<ReceiverLine> OpenSerialLine(const std::string& name, std::string& error) {
    auto line = std::make_unique<TtyLine>(name);
    if (!line->Open(error)) return nullptr;
    return line;
}

}  // namespace orbisk::tool
