// A stream over an operating-system file handle, opened from a wide (UTF-16) path with
// access and share modes.
//
// Mode 0xFFFF (fmCreate) creates or truncates the file for reading and writing, not shared.
// Any other mode opens an existing file: access in the low two bits (0 read, 1 write,
// 2 read and write), sharing in bits 4..7 (0 and 1: none, 2: others may read, 3: others may
// write, 4: others may read and write).
//
// Sharing is enforced between opens made through this class, in this process and in other
// processes alike, with open-file-description locks on bytes far beyond any real data: each
// open announces its access and what it denies, and an open that conflicts with one already
// announced is refused with the system's text for a busy file. Other programs are not held
// to it (Linux file locks are advisory).
//
// Threading: one thread at a time per stream.
#pragma once

#include <string>

#include "platform/Streams.h"

namespace sundral {

constexpr uint16_t fmCreate = 0xFFFF;
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareExclusive = 0x0010;
constexpr uint16_t fmShareDenyWrite = 0x0020;
constexpr uint16_t fmShareDenyRead = 0x0030;
constexpr uint16_t fmShareDenyNone = 0x0040;

class TAuFileStream : public TStream {
public:
    // Raises EAuException with the system's error text when the file cannot be opened.
    TAuFileStream(const std::u16string& FileName, uint16_t Mode);
    ~TAuFileStream() override;

    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    int64_t Size() override;
    void SetSize(int64_t NewSize) override;

    int Handle() const { return FHandle; }
    // errno of the last failed Read or Write (0 when none failed).
    int LastError() const { return FLastError; }

private:
    int FHandle = -1;
    int FLastError = 0;
};

// True when both names reach the same file (the second need not exist yet).
bool SameFile(const std::string& A, const std::string& B);

} // namespace sundral
