#include "formats/AuTagsFile.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace sundral::tagio {

bool ReadAt(int Handle, int64_t Offset, void* Buffer, size_t Count) {
    if (Handle < 0 || Offset < 0) return false;
    auto* Bytes = static_cast<unsigned char*>(Buffer);
    while (Count > 0) {
        const ssize_t Got = pread(Handle, Bytes, Count, static_cast<off_t>(Offset));
        if (Got < 0 && errno == EINTR) continue;
        if (Got <= 0) return false; // error or end of file before Count bytes
        Bytes += Got;
        Offset += Got;
        Count -= static_cast<size_t>(Got);
    }
    return true;
}

bool WriteAt(int Handle, int64_t Offset, const void* Buffer, size_t Count) {
    if (Handle < 0 || Offset < 0) return false;
    const auto* Bytes = static_cast<const unsigned char*>(Buffer);
    while (Count > 0) {
        const ssize_t Put = pwrite(Handle, Bytes, Count, static_cast<off_t>(Offset));
        if (Put < 0 && errno == EINTR) continue;
        if (Put <= 0) return false;
        Bytes += Put;
        Offset += Put;
        Count -= static_cast<size_t>(Put);
    }
    return true;
}

bool WriteAll(int Handle, const void* Buffer, size_t Count) {
    if (Handle < 0) return false;
    const auto* Bytes = static_cast<const unsigned char*>(Buffer);
    while (Count > 0) {
        const ssize_t Put = write(Handle, Bytes, Count);
        if (Put < 0 && errno == EINTR) continue;
        if (Put <= 0) return false;
        Bytes += Put;
        Count -= static_cast<size_t>(Put);
    }
    return true;
}

int64_t FileSize(int Handle) {
    struct stat Info {};
    if (Handle < 0 || fstat(Handle, &Info) != 0) return -1;
    return static_cast<int64_t>(Info.st_size);
}

int64_t Position(int Handle) {
    if (Handle < 0) return -1;
    return static_cast<int64_t>(lseek(Handle, 0, SEEK_CUR));
}

bool SetPosition(int Handle, int64_t Offset) {
    return Handle >= 0 && Offset >= 0 && lseek(Handle, static_cast<off_t>(Offset), SEEK_SET) >= 0;
}

} // namespace sundral::tagio
