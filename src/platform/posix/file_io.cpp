#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "platform/module_path.h"

namespace orbisk {
namespace {

int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Creates a new, empty file beside target with a name no one else uses.
// Returns its descriptor and name, or -1.
int CreateTemporaryBeside(const std::string& target, std::string& tempPath) {
    static std::atomic<unsigned> counter{0};
    const std::size_t slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    // Keep the temporary name within NAME_MAX however long the target's is.
    const std::string base =
        (slash == std::string::npos ? target : target.substr(slash + 1)).substr(0, 200);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto ticks = static_cast<unsigned long long>(
            std::chrono::steady_clock::now().time_since_epoch().count());
        char suffix[64];
        std::snprintf(suffix, sizeof suffix, ".%ld.%u.%llx.tmp", static_cast<long>(::getpid()),
                      counter.fetch_add(1, std::memory_order_relaxed), ticks & 0xFFFFFFu);
        tempPath = folder + "." + base + suffix;
        // 0666 lets the umask decide, as for any new file.
        const int fd = OpenRetrying(tempPath.c_str(),
                                    O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

}  // namespace

FileContents ReadWholeFile(const std::string& path) {
    FileContents out;
    if (path.empty()) return out;
    // O_NONBLOCK keeps a FIFO planted at the path from blocking the open.
    const int fd = OpenRetrying(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        out.outcome = (errno == ENOENT || errno == ENOTDIR) ? ReadOutcome::Missing : ReadOutcome::Failed;
        return out;
    }
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        out.outcome = ReadOutcome::Failed;
        return out;
    }
    // The size is only a hint: the file may grow while it is read.
    if (st.st_size > 0)
        out.bytes.reserve(static_cast<std::size_t>(st.st_size) < MaxSettingsFileBytes
                              ? static_cast<std::size_t>(st.st_size)
                              : MaxSettingsFileBytes);
    out.outcome = ReadOutcome::Ok;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            out.outcome = ReadOutcome::Failed;
            out.bytes.clear();
            break;
        }
        if (n == 0) break;
        const std::size_t room = MaxSettingsFileBytes - out.bytes.size();
        if (static_cast<std::size_t>(n) > room) {
            out.bytes.append(buffer, room);
            out.outcome = ReadOutcome::TooLarge;
            break;
        }
        out.bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return out;
}

bool ReplaceFileAtomically(const std::string& path, const std::string& bytes) {
    if (path.empty()) return false;
    // A settings file reached through a symbolic link is replaced where it
    // really lives, so the link stays a link.
    std::string target = path;
    struct stat st{};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    bool existed = false;
    if (::stat(target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) return false;
        existed = true;
        // The rename below would get round a read-only file; refuse to write
        // what could not be written in place.
        const int probe = OpenRetrying(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (probe < 0) return false;
        ::close(probe);
    } else if (errno != ENOENT) {
        return false;
    }

    std::string tempPath;
    const int fd = CreateTemporaryBeside(target, tempPath);
    if (fd < 0) return false;
    bool ok = true;
    if (existed) {
        // Keep the old file's owner (when allowed) and permission bits;
        // the owner first, since a change of owner clears set-id bits.
        if (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) {
            const int ignored = ::fchown(fd, st.st_uid, st.st_gid);
            (void)ignored;
        }
        ok = ::fchmod(fd, st.st_mode & 07777) == 0;
    }
    ok = ok && WriteAll(fd, bytes.data(), bytes.size()) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok || ::rename(tempPath.c_str(), target.c_str()) != 0) {
        ::unlink(tempPath.c_str());
        return false;
    }
    // The rename is only durable once the folder is on disk.  The file has
    // been replaced either way, so a failure here is not reported.
    const std::string folder = FolderOf(target);
    const int dir = OpenRetrying(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

const char* PlatformLineBreak() { return "\n"; }

}  // namespace orbisk
