// Fuzz input as a file: the tag readers take a file descriptor, so the bytes go into an
// anonymous in-memory file opened for reading and writing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>

namespace sundral::fuzzsupport {

class TMemFile {
public:
    TMemFile(const uint8_t* Data, size_t Size) : FHandle(memfd_create("fuzz", 0)) {
        if (FHandle < 0) return;
        size_t Done = 0;
        while (Done < Size) {
            const ssize_t Put = write(FHandle, Data + Done, Size - Done);
            if (Put <= 0) break;
            Done += size_t(Put);
        }
        lseek(FHandle, 0, SEEK_SET);
    }
    ~TMemFile() {
        if (FHandle >= 0) close(FHandle);
    }
    TMemFile(const TMemFile&) = delete;
    TMemFile& operator=(const TMemFile&) = delete;

    int Handle() const { return FHandle; }

private:
    int FHandle;
};

} // namespace sundral::fuzzsupport
