#include "formats/AuTagsFile.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace sundral::tagio {

bool ReadAt(int Handle, int64_t Offset, void* Buffer, size_t Count) {
    if (Handle < 0 || Offset < 0) return false;
    auto* bytes = static_cast<unsigned char*>(Buffer);
    while (Count > 0) {
        const ssize_t got = pread(Handle, bytes, Count, static_cast<off_t>(Offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false; // error or end of file before Count bytes
        bytes += got;
        Offset += got;
        Count -= static_cast<size_t>(got);
    }
    return true;
}

bool WriteAt(int Handle, int64_t Offset, const void* Buffer, size_t Count) {
    if (Handle < 0 || Offset < 0) return false;
    const auto* bytes = static_cast<const unsigned char*>(Buffer);
    while (Count > 0) {
        const ssize_t put = pwrite(Handle, bytes, Count, static_cast<off_t>(Offset));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        bytes += put;
        Offset += put;
        Count -= static_cast<size_t>(put);
    }
    return true;
}

bool WriteAll(int Handle, const void* Buffer, size_t Count) {
    if (Handle < 0) return false;
    const auto* bytes = static_cast<const unsigned char*>(Buffer);
    while (Count > 0) {
        const ssize_t put = write(Handle, bytes, Count);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        bytes += put;
        Count -= static_cast<size_t>(put);
    }
    return true;
}

int64_t FileSize(int Handle) {
    struct stat info {};
    if (Handle < 0 || fstat(Handle, &info) != 0) return -1;
    return static_cast<int64_t>(info.st_size);
}

int64_t Position(int Handle) {
    if (Handle < 0) return -1;
    return static_cast<int64_t>(lseek(Handle, 0, SEEK_CUR));
}

bool SetPosition(int Handle, int64_t Offset) {
    return Handle >= 0 && Offset >= 0 && lseek(Handle, static_cast<off_t>(Offset), SEEK_SET) >= 0;
}

} // namespace sundral::tagio
