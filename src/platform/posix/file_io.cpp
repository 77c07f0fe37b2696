#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "platform/module_path.h"
#include "platform/file_io_common.h"

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
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = TemporaryNameBeside(target, "/", static_cast<unsigned long>(::getpid()));
        // Never writable by group or others, whatever the umask: the file
        // names a command that the plug-in runs.  An existing file's own
        // bits are put back by the caller.
        const int fd = OpenRetrying(tempPath.c_str(),
                                    O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0644);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

std::error_code LastError() { return std::error_code(errno, std::system_category()); }

// Follows the chain of symbolic links that starts at path to the name it ends
// at, which need not exist: a dangling link is written through to its
// target, never replaced by a plain file.
bool FollowLinks(const std::string& path, std::string& target, std::error_code& error) {
    // As many links as the kernel itself follows before it gives up.
    constexpr int MaxLinks = 40;
    target = path;
    for (int links = 0;; ++links) {
        struct stat st{};
        if (::lstat(target.c_str(), &st) != 0) {
            if (errno == ENOENT) return true;
            error = LastError();
            return false;
        }
        if (!S_ISLNK(st.st_mode)) return true;
        if (links == MaxLinks) {
            error = std::error_code(ELOOP, std::system_category());
            return false;
        }
        std::string link(static_cast<std::size_t>(st.st_size) + 1, '\0');
        for (;;) {
            const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
            if (n < 0) {
                error = LastError();
                return false;
            }
            if (static_cast<std::size_t>(n) < link.size()) {
                link.resize(static_cast<std::size_t>(n));
                break;
            }
            link.resize(link.size() * 2 + 64);  // the link grew, or the size was not known
        }
        // A relative link is relative to the folder that holds it.
        target = !link.empty() && link.front() == '/' ? link : FolderOf(target) + "/" + link;
    }
}

}  // namespace

FileContents ReadWholeFile(const std::string& path) {
    FileContents out;
    if (path.empty()) return out;
    // O_NONBLOCK keeps a FIFO planted at the path from blocking the open.
    const int fd = OpenRetrying(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        out.outcome = (errno == ENOENT || errno == ENOTDIR) ? ReadOutcome::Missing : ReadOutcome::Failed;
        out.error = LastError();
        return out;
    }
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        // The kernel's reason, or why a folder or a device is no settings file.
        const int number = st.st_mode == 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        out.error = std::error_code(number, std::system_category());
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
            out.error = LastError();
            out.bytes.clear();
            break;
        }
        if (n == 0 || !AppendWithinCap(out, buffer, static_cast<std::size_t>(n))) break;
    }
    ::close(fd);
    return out;
}

bool ReplaceFileAtomically(const std::string& path, const std::string& bytes, std::error_code& error) {
    error.clear();
    const auto fail = [&error](int number) {
        error = std::error_code(number, std::system_category());
        return false;
    };
    if (path.empty()) return fail(ENOENT);
    std::string target;
    if (!FollowLinks(path, target, error)) return false;
    struct stat st{};
    bool existed = false;
    if (::stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return fail(EISDIR);
        if (!S_ISREG(st.st_mode)) return fail(EINVAL);
        existed = true;
        // The rename below would get round a read-only file; refuse to write
        // what could not be written in place.
        const int probe = OpenRetrying(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (probe < 0) return fail(errno);
        ::close(probe);
    } else if (errno != ENOENT) {
        return fail(errno);
    }

    std::string tempPath;
    const int fd = CreateTemporaryBeside(target, tempPath);
    if (fd < 0) return fail(errno);
    int failure = 0;
    const auto check = [&failure](bool ok) {
        if (!ok && failure == 0) failure = errno != 0 ? errno : EIO;
    };
    if (existed) {
        // Keep the old file's owner (when allowed) and permission bits;
        // the owner first, since a change of owner clears set-id bits.
        if (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) {
            const int ignored = ::fchown(fd, st.st_uid, st.st_gid);
            (void)ignored;
        }
        check(::fchmod(fd, st.st_mode & 07777) == 0);
    }
    if (failure == 0) check(WriteAll(fd, bytes.data(), bytes.size()));
    if (failure == 0) check(::fsync(fd) == 0);
    check(::close(fd) == 0);
    if (failure == 0) check(::rename(tempPath.c_str(), target.c_str()) == 0);
    if (failure != 0) {
        ::unlink(tempPath.c_str());
        return fail(failure);
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

FileLock::~FileLock() {
    // Closing the only descriptor of the open file releases its lock.
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

FileLock LockForWriting(const std::string& path, std::chrono::milliseconds wait) {
    FileLock lock;
    std::string target;
    std::error_code ignored;
    // Where the replacement itself fails, the lock is not needed.
    if (path.empty() || !FollowLinks(path, target, ignored)) return lock;
    struct stat st{};
    if (::stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return lock;
    lock.path_ = target + ".lock";
    // No link is followed at the lock's name (one planted there could make
    // the lock create a file elsewhere), and a FIFO there cannot block the
    // open.  flock, not fcntl, because its locks belong to the open file,
    // so two writers in one process exclude each other too.
    const int fd = OpenRetrying(lock.path_.c_str(),
                                O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0) {
        // A folder that cannot be written (a read-only installation, or a
        // lock file another user made): writing goes on as it would have.
        const int number = errno;
        if (number == EACCES || number == EPERM || number == EROFS || number == ENOENT || number == ENOTDIR)
            return lock;
        lock.outcome_ = number == ELOOP ? LockOutcome::NotAFile : LockOutcome::Failed;
        lock.error_ = std::error_code(number, std::system_category());
        return lock;
    }
    lock.handle_ = fd;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        lock.outcome_ = LockOutcome::NotAFile;
        return lock;
    }
    lock.outcome_ = TryLockWithin(wait, [&] {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return LockOutcome::Held;
        if (errno == EWOULDBLOCK || errno == EINTR) return LockOutcome::Busy;
        lock.error_ = LastError();
        return LockOutcome::Failed;
    });
    return lock;
}

const char* PlatformLineBreak() { return "\n"; }

}  // namespace orbisk
