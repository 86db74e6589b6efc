#include "platform/Streams.h"

#include <algorithm>
#include <cstring>

namespace sundral {

int64_t TStream::Size() {
    int64_t here = Seek(0, TSeekOrigin::soCurrent);
    int64_t end = Seek(0, TSeekOrigin::soEnd);
    Seek(here, TSeekOrigin::soBeginning);
    return end;
}

int64_t TStream::CopyFrom(TStream& Source, int64_t Count) {
    if (Count == 0) {
        Source.SetPosition(0);
        Count = Source.Size();
    }
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<int64_t>(Count, 1 << 16)));
    int64_t copied = 0;
    while (copied < Count) {
        int64_t want = std::min<int64_t>(Count - copied, static_cast<int64_t>(buffer.size()));
        int64_t got = Source.Read(buffer.data(), want);
        if (got <= 0) break;
        int64_t put = Write(buffer.data(), got);
        copied += put;
        if (put != got) break;
    }
    return copied;
}

int64_t TMemoryStream::Read(void* Buffer, int64_t Count) {
    if (Count <= 0 || FPosition >= Size()) return 0;
    int64_t n = std::min(Count, Size() - FPosition);
    std::memcpy(Buffer, FData.data() + FPosition, static_cast<size_t>(n));
    FPosition += n;
    return n;
}

int64_t TMemoryStream::Write(const void* Buffer, int64_t Count) {
    if (Count <= 0) return 0;
    if (FPosition + Count > Size()) FData.resize(static_cast<size_t>(FPosition + Count));
    std::memcpy(FData.data() + FPosition, Buffer, static_cast<size_t>(Count));
    FPosition += Count;
    return Count;
}

int64_t TMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    int64_t base = Origin == TSeekOrigin::soBeginning ? 0
                   : Origin == TSeekOrigin::soCurrent ? FPosition
                                                      : Size();
    int64_t target = base + Offset;
    if (target < 0) return -1;
    FPosition = target;
    return FPosition;
}

void TMemoryStream::SetSize(int64_t NewSize) {
    FData.resize(static_cast<size_t>(std::max<int64_t>(NewSize, 0)));
    FPosition = std::min(FPosition, Size());
}

} // namespace sundral
