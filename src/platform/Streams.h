// Byte streams: the abstract stream the file layers read and write, and a growable
// in-memory stream. Positions and sizes are 64-bit.
//
// Threading: a stream is used by one thread at a time (its owner serialises access).
#pragma once

#include <cstdint>
#include <vector>

namespace sundral {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
    virtual ~TStream() = default;
    // Read and Write move at most Count bytes and return how many moved; a short count is
    // not an error (end of data, or a failed write: callers compare).
    virtual int64_t Read(void* Buffer, int64_t Count) = 0;
    virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
    // Returns the new position, or -1 when the move failed.
    virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;
    virtual int64_t Size();
    virtual void SetSize(int64_t NewSize) = 0;

    int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(int64_t Value) { Seek(Value, TSeekOrigin::soBeginning); }
    // Reads exactly Count bytes or returns false (position then undefined).
    bool ReadExact(void* Buffer, int64_t Count) { return Read(Buffer, Count) == Count; }
    bool WriteExact(const void* Buffer, int64_t Count) { return Write(Buffer, Count) == Count; }
    // Copies Count bytes (all the rest when Count is 0) from Source; returns bytes copied.
    int64_t CopyFrom(TStream& Source, int64_t Count);
};

class TMemoryStream : public TStream {
public:
    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    int64_t Size() override { return static_cast<int64_t>(FData.size()); }
    void SetSize(int64_t NewSize) override;
    void Clear() {
        FData.clear();
        FPosition = 0;
    }

    uint8_t* Memory() { return FData.data(); }
    const uint8_t* Memory() const { return FData.data(); }

private:
    std::vector<uint8_t> FData;
    int64_t FPosition = 0;
};

} // namespace sundral
