#include "platform/filestream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "platform/AuException.h"
#include "platform/TextConv.h"

namespace sundral {
namespace {

// Lock bytes: an open holds a shared lock on the byte of each access it has and of each
// access it denies to others. They lie far past any data a sound file could hold.
constexpr off_t kLockBase = off_t(1) << 62;
constexpr off_t kHasRead = kLockBase + 0;
constexpr off_t kHasWrite = kLockBase + 1;
constexpr off_t kDeniesRead = kLockBase + 2;
constexpr off_t kDeniesWrite = kLockBase + 3;

// Checks and announcements of two opens in this process must not interleave.
std::mutex gShareLock;

bool HeldByOther(int Fd, off_t Byte) {
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = Byte;
    probe.l_len = 1;
    if (fcntl(Fd, F_OFD_GETLK, &probe) != 0) return false; // no locking here: no sharing rules
    return probe.l_type != F_UNLCK;
}

void Announce(int Fd, off_t Byte) {
    struct flock lock {};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = Byte;
    lock.l_len = 1;
    fcntl(Fd, F_OFD_SETLK, &lock);
}

[[noreturn]] void RaiseSystemError(int Error) {
    throw EAuException(std::strerror(Error));
}

} // namespace

TAuFileStream::TAuFileStream(const std::u16string& FileName, uint16_t Mode) {
    std::string path = Utf16ToUtf8(FileName);
    bool wantRead, wantWrite, denyRead, denyWrite;
    int flags = O_CLOEXEC;
    if (Mode == fmCreate) {
        flags |= O_RDWR | O_CREAT;
        wantRead = wantWrite = denyRead = denyWrite = true;
    } else {
        switch (Mode & 3) {
        case 0:
            flags |= O_RDONLY;
            wantRead = true;
            wantWrite = false;
            break;
        case 1:
            flags |= O_WRONLY;
            wantRead = false;
            wantWrite = true;
            break;
        default:
            flags |= O_RDWR;
            wantRead = wantWrite = true;
            break;
        }
        switch ((Mode >> 4) & 0xF) {
        case 2:
            denyRead = false;
            denyWrite = true;
            break;
        case 3:
            denyRead = true;
            denyWrite = false;
            break;
        case 4:
            denyRead = denyWrite = false;
            break;
        default:
            denyRead = denyWrite = true;
            break;
        }
    }
    std::lock_guard guard(gShareLock);
    // Open without truncating first: a refused create must not destroy the file.
    int fd = -1;
    if (Mode != fmCreate && (Mode & 3) == 1) {
        // Write-only opens still read-lock their announcement bytes, which needs read access.
        fd = ::open(path.c_str(), (flags & ~O_WRONLY) | O_RDWR);
    }
    if (fd < 0) fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) RaiseSystemError(errno);
    // Directories open read-only fine, but are not streams.
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        RaiseSystemError(EISDIR);
    }
    bool conflict = (wantRead && HeldByOther(fd, kDeniesRead)) ||
                    (wantWrite && HeldByOther(fd, kDeniesWrite)) ||
                    (denyRead && HeldByOther(fd, kHasRead)) ||
                    (denyWrite && HeldByOther(fd, kHasWrite));
    if (conflict) {
        ::close(fd);
        RaiseSystemError(EBUSY);
    }
    if (wantRead) Announce(fd, kHasRead);
    if (wantWrite) Announce(fd, kHasWrite);
    if (denyRead) Announce(fd, kDeniesRead);
    if (denyWrite) Announce(fd, kDeniesWrite);
    if (Mode == fmCreate && ::ftruncate(fd, 0) != 0) {
        int error = errno;
        ::close(fd);
        RaiseSystemError(error);
    }
    FHandle = fd;
}

TAuFileStream::~TAuFileStream() {
    if (FHandle >= 0) ::close(FHandle); // also drops the share announcements
}

int64_t TAuFileStream::Read(void* Buffer, int64_t Count) {
    auto* out = static_cast<uint8_t*>(Buffer);
    int64_t total = 0;
    while (total < Count) {
        ssize_t n = ::read(FHandle, out + total, static_cast<size_t>(Count - total));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            FLastError = errno;
            break;
        }
        if (n == 0) break;
        total += n;
    }
    return total;
}

int64_t TAuFileStream::Write(const void* Buffer, int64_t Count) {
    const auto* in = static_cast<const uint8_t*>(Buffer);
    int64_t total = 0;
    while (total < Count) {
        ssize_t n = ::write(FHandle, in + total, static_cast<size_t>(Count - total));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            FLastError = n < 0 ? errno : ENOSPC;
            break;
        }
        total += n;
    }
    return total;
}

int64_t TAuFileStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    int whence = Origin == TSeekOrigin::soBeginning ? SEEK_SET
                 : Origin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                    : SEEK_END;
    off_t r = ::lseek(FHandle, static_cast<off_t>(Offset), whence);
    return r < 0 ? -1 : static_cast<int64_t>(r);
}

int64_t TAuFileStream::Size() {
    struct stat st {};
    if (fstat(FHandle, &st) != 0) return TStream::Size();
    return static_cast<int64_t>(st.st_size);
}

void TAuFileStream::SetSize(int64_t NewSize) {
    if (::ftruncate(FHandle, static_cast<off_t>(NewSize)) != 0) FLastError = errno;
}

bool SameFile(const std::string& A, const std::string& B) {
    std::error_code error;
    if (std::filesystem::exists(B, error)) return std::filesystem::equivalent(A, B, error);
    return std::filesystem::weakly_canonical(A, error) ==
           std::filesystem::weakly_canonical(B, error);
}

} // namespace sundral
