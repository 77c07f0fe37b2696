#include "platform/file_io.h"

#include <windows.h>

#include <filesystem>
#include <system_error>

#include "platform/file_io_common.h"
#include "platform/win32/wide_text.h"

namespace orbisk {
namespace {

// Another program (an editor, a virus scanner, a backup) may hold the file
// open without sharing for a moment; such a step is tried again for about a
// second before it counts as failed.
constexpr int kSharingRetries = 20;
constexpr DWORD kSharingRetryMs = 50;

std::error_code LastError() { return std::error_code(static_cast<int>(GetLastError()), std::system_category()); }

bool Transient(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_ACCESS_DENIED;
}

HANDLE OpenRetrying(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
    const std::wstring name = win32::Widen(path);
    for (int attempt = 0;; ++attempt) {
        const HANDLE h = CreateFileW(name.c_str(), access, share, nullptr, disposition,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) return h;
        const DWORD error = GetLastError();
        // Access denied is final for a read-only file; only a sharing
        // conflict is worth waiting for here.
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) ||
            attempt == kSharingRetries) {
            SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
        Sleep(kSharingRetryMs);
    }
}

bool WriteAll(HANDLE h, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::size_t left = bytes.size() - done;
        const DWORD chunk = left > 0x10000000u ? 0x10000000u : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!WriteFile(h, bytes.data() + done, chunk, &written, nullptr) || written == 0) return false;
        done += written;
    }
    return true;
}

// Creates a new, empty file beside target with a name no one else uses.
HANDLE CreateTemporaryBeside(const std::string& target, std::string& tempPath) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = TemporaryNameBeside(target, "\\/", GetCurrentProcessId());
        const HANDLE h = CreateFileW(win32::Widen(tempPath).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return h;
    }
    return INVALID_HANDLE_VALUE;
}

// A settings file that is a symbolic link is replaced where it points, so
// the link stays a link.
std::string WriteTarget(const std::string& path) {
    std::error_code ignored;
    const std::filesystem::path wide(win32::Widen(path));
    if (std::filesystem::is_symlink(wide, ignored)) {
        const std::filesystem::path link = std::filesystem::read_symlink(wide, ignored);
        if (!ignored) return win32::Narrow((wide.parent_path() / link).wstring());
    }
    return path;
}

}  // namespace

FileContents ReadWholeFile(const std::string& path) {
    FileContents out;
    if (path.empty()) return out;
    const HANDLE h = OpenRetrying(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  OPEN_EXISTING);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        out.outcome = (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
                          ? ReadOutcome::Missing
                          : ReadOutcome::Failed;
        out.error = std::error_code(static_cast<int>(error), std::system_category());
        return out;
    }
    if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        out.outcome = ReadOutcome::Failed;
        out.error = std::make_error_code(std::errc::invalid_argument);
        return out;
    }
    out.outcome = ReadOutcome::Ok;
    char buffer[65536];
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(h, buffer, sizeof buffer, &n, nullptr)) {
            out.outcome = ReadOutcome::Failed;
            out.error = LastError();
            out.bytes.clear();
            break;
        }
        if (n == 0 || !AppendWithinCap(out, buffer, n)) break;
    }
    CloseHandle(h);
    return out;
}

bool ReplaceFileAtomically(const std::string& path, const std::string& bytes, std::error_code& error) {
    error.clear();
    const auto fail = [&error](DWORD number) {
        error = std::error_code(static_cast<int>(number), std::system_category());
        return false;
    };
    if (path.empty()) return fail(ERROR_INVALID_NAME);
    const std::string target = WriteTarget(path);
    const DWORD attributes = GetFileAttributesW(win32::Widen(target).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return fail(ERROR_DIRECTORY);
        if (attributes & FILE_ATTRIBUTE_READONLY) return fail(ERROR_ACCESS_DENIED);
        // Write access now, or the replacement would get round what the
        // file's owner or another program holding it has decided.
        const HANDLE probe = OpenRetrying(target, GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          OPEN_EXISTING);
        if (probe == INVALID_HANDLE_VALUE) return fail(GetLastError());
        CloseHandle(probe);
    } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
        return fail(GetLastError());
    }

    std::string tempPath;
    const HANDLE h = CreateTemporaryBeside(target, tempPath);
    if (h == INVALID_HANDLE_VALUE) return fail(GetLastError());
    // Every failure below has a reason, even where the system gave none.
    const auto reason = [] {
        const DWORD number = GetLastError();
        return number != ERROR_SUCCESS ? number : ERROR_WRITE_FAULT;
    };
    DWORD failure = ERROR_SUCCESS;
    if (!WriteAll(h, bytes) || !FlushFileBuffers(h)) failure = reason();
    if (!CloseHandle(h) && failure == ERROR_SUCCESS) failure = reason();
    for (int attempt = 0; failure == ERROR_SUCCESS; ++attempt) {
        if (MoveFileExW(win32::Widen(tempPath).c_str(), win32::Widen(target).c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        const DWORD moveError = reason();
        if (!Transient(moveError) || attempt == kSharingRetries) {
            failure = moveError;
            break;
        }
        Sleep(kSharingRetryMs);
    }
    DeleteFileW(win32::Widen(tempPath).c_str());
    return fail(failure);
}

FileLock::~FileLock() {
    if (handle_ == -1) return;
    const auto h = reinterpret_cast<HANDLE>(handle_);
    // Closing releases the lock too, but only at some time after.
    if (outcome_ == LockOutcome::Held) {
        OVERLAPPED start{};
        UnlockFileEx(h, 0, 1, 0, &start);
    }
    CloseHandle(h);
}

FileLock LockForWriting(const std::string& path, std::chrono::milliseconds wait) {
    FileLock lock;
    if (path.empty()) return lock;
    const std::string target = WriteTarget(path);
    // Where the replacement itself fails, the lock is not needed.
    const DWORD attributes = GetFileAttributesW(win32::Widen(target).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return lock;
    lock.path_ = target + ".lock";
    // A reparse point (a symbolic link or junction) at the lock's name is
    // opened itself, never followed, and then refused.  The file inherits
    // the folder's permissions, as the settings file does.
    const HANDLE h = CreateFileW(win32::Widen(lock.path_).c_str(), GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        // A folder that cannot be written, or is missing: writing goes on as
        // it would have.
        const DWORD error = GetLastError();
        if (error == ERROR_ACCESS_DENIED || error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND ||
            error == ERROR_WRITE_PROTECT || error == ERROR_DIRECTORY)
            return lock;
        lock.outcome_ = LockOutcome::Failed;
        lock.error_ = std::error_code(static_cast<int>(error), std::system_category());
        return lock;
    }
    lock.handle_ = reinterpret_cast<std::intptr_t>(h);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info) || GetFileType(h) != FILE_TYPE_DISK ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
        lock.outcome_ = LockOutcome::NotAFile;
        return lock;
    }
    // One byte at the start, which may lie past the end of the empty file.
    lock.outcome_ = TryLockWithin(wait, [&] {
        OVERLAPPED start{};
        if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &start))
            return LockOutcome::Held;
        const DWORD error = GetLastError();
        if (error == ERROR_LOCK_VIOLATION) return LockOutcome::Busy;
        lock.error_ = std::error_code(static_cast<int>(error), std::system_category());
        return LockOutcome::Failed;
    });
    return lock;
}

const char* PlatformLineBreak() { return "\r\n"; }

}  // namespace orbisk
