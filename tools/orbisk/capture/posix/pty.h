#pragma once
// A pseudo-terminal that plays the receiver's end of a serial line, and the
// ports/comN link through which the plug-in finds it.  Header-only, so that
// the tests use the very same code as `orbisk simulate`.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

namespace orbisk::tool {

class PseudoTerminal {
public:
    PseudoTerminal() = default;
    ~PseudoTerminal() { Close(); }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Creates the pair.  keepSlaveOpen holds a descriptor of the slave as
    // well, so that the line survives a reader closing and reopening the
    // port: without it the master sees a hang-up each time the reader lets go.
    // cooked leaves the line in the terminal's default mode, as a real port
    // may be found.
    bool Open(bool keepSlaveOpen, std::string& error, bool cooked = false) {
        Close();
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0) return Failed("posix_openpt", error);
        char name[128];
        if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
            ::ptsname_r(master_, name, sizeof name) != 0)
            return Failed("pseudo-terminal set-up", error);
        slavePath_ = name;
        // Termios requests on the master act on the slave: make the line raw
        // now, so that bytes written before the reader sets it up are neither
        // echoed nor taken for line-editing characters.
        termios tio{};
        if (!cooked && ::tcgetattr(master_, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(master_, TCSANOW, &tio);
        }
        if (keepSlaveOpen) {
            slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
            if (slave_ < 0) return Failed(slavePath_.c_str(), error);
        }
        return true;
    }

    int Master() const { return master_; }
    const std::string& SlavePath() const { return slavePath_; }

    // Writes all bytes to the line; false when the line is gone.
    bool Write(const std::uint8_t* bytes, std::size_t count) {
        std::size_t done = 0;
        while (done < count) {
            const ssize_t n = ::write(master_, bytes + done, count - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    // True while a reader holds the slave for exclusive use (our serial
    // device sets the terminal's exclusive mode for as long as it is open).
    // Needs the slave descriptor of Open(true).
    bool ReaderAttached() const {
        int exclusive = 0;
        return slave_ >= 0 && ::ioctl(slave_, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
    }

    // Bytes written but not yet read from the slave; 0 without a slave
    // descriptor.
    int PendingBytes() const {
        int pending = 0;
        if (slave_ < 0 || ::ioctl(slave_, TIOCINQ, &pending) != 0) return 0;
        return pending;
    }

    // Closing the master hangs the line up for the reader.
    void CloseMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

    void Close() {
        CloseMaster();
        if (slave_ >= 0) ::close(slave_);
        slave_ = -1;
    }

private:
    bool Failed(const char* what, std::string& error) {
        error = std::string(what) + ": " + std::strerror(errno);
        Close();
        return false;
    }

    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

// Path of the link through which port number n reaches a device.
inline std::string PortLinkPath(const std::string& portFolder, int number) {
    return portFolder + "/com" + std::to_string(number);
}

// Makes <portFolder>/com<number> a symbolic link to target, creating the
// folder.  An existing link is replaced when it is left over from an earlier
// pseudo-terminal (it points into /dev/pts) or leads nowhere; a link to a
// real device, or anything that is not a link, is left alone and refused.
inline bool LinkPort(const std::string& portFolder, int number, const std::string& target,
                     std::string& error) {
    // Private, whatever the umask: a port folder others could write is
    // refused by the plug-in.
    if (::mkdir(portFolder.c_str(), 0700) != 0 && errno != EEXIST) {
        error = portFolder + ": " + std::strerror(errno);
        return false;
    }
    const std::string link = PortLinkPath(portFolder, number);
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = link + " exists and is not a link";
            return false;
        }
        char old[4096];
        const ssize_t n = ::readlink(link.c_str(), old, sizeof old - 1);
        const std::string oldTarget(old, n > 0 ? static_cast<std::size_t>(n) : 0);
        struct stat targetStat {};
        const bool dangling = ::stat(link.c_str(), &targetStat) != 0;
        if (!dangling && oldTarget.rfind("/dev/pts/", 0) != 0) {
            error = link + " already links to " + oldTarget + "; choose another port number";
            return false;
        }
        if (::unlink(link.c_str()) != 0 && errno != ENOENT) {
            error = link + ": " + std::strerror(errno);
            return false;
        }
    }
    if (::symlink(target.c_str(), link.c_str()) != 0) {
        error = link + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

// Removes the link if it still leads to target (another simulator may have
// taken the port number over meanwhile).
inline void UnlinkPort(const std::string& portFolder, int number, const std::string& target) {
    const std::string link = PortLinkPath(portFolder, number);
    char current[4096];
    const ssize_t n = ::readlink(link.c_str(), current, sizeof current - 1);
    if (n > 0 && std::string(current, static_cast<std::size_t>(n)) == target) ::unlink(link.c_str());
}

}  // namespace orbisk::tool
