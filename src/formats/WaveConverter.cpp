#include "formats/WaveConverter.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <new>

#include "platform/acm.h"

namespace sundral {

namespace {

uint32_t GetU32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void PutU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

} // namespace

TWaveConverter::TWaveConverter() {
    uint32_t size = 0;
    if (acmMetrics(nullptr, acmMetricMaxSizeFormat, &size) != acmOk) size = 0;
    // The format buffers have a fixed size; descriptions longer than they are never fit.
    FMaxFormatSize = std::min(size, FormatBufferSize);
    FCurrentFormat.fill(0);
    FTargetFormat.fill(0);
}

int TWaveConverter::LoadFailed(int Code) {
    Clear();
    FCurrentFormat.fill(0);
    return Code;
}

int TWaveConverter::LoadWaveStream(TStream& Stream) {
    Clear();
    FCurrentFormat.fill(0);
    uint8_t head[12];
    if (Stream.Seek(0, TSeekOrigin::soBeginning) != 0 || !Stream.ReadExact(head, 12) ||
        std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0)
        return LoadFailed(wcLoadNotWave);

    const int64_t size = Stream.Size();
    // Every offset is tried as the start of a chunk; a recognised chunk's body is skipped
    // as a whole, so nothing inside the audio is mistaken for a chunk header.
    int64_t pos = 12;
    while (pos + 8 <= size) {
        uint8_t chunk[8];
        if (Stream.Seek(pos, TSeekOrigin::soBeginning) != pos || !Stream.ReadExact(chunk, 8)) break;
        const int64_t chunkSize = GetU32(chunk + 4);
        const int64_t body = pos + 8;
        const int64_t remaining = size - body;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            // The body is copied into a fixed buffer: it must fit both the buffer and the
            // codec manager's largest description, and be wholly present in the file.
            if (chunkSize > FMaxFormatSize || chunkSize > remaining)
                return LoadFailed(wcLoadBadFormat);
            FCurrentFormat.fill(0);
            if (!Stream.ReadExact(FCurrentFormat.data(), chunkSize))
                return LoadFailed(wcLoadBadFormat);
            pos = body + chunkSize;
        } else if (std::memcmp(chunk, "fact", 4) == 0) {
            // The size comes from the file; the skip stops at its end.
            pos = body + std::min(chunkSize, remaining);
        } else if (std::memcmp(chunk, "data", 4) == 0 && chunkSize > 0) {
            // A cut-short file holds fewer bytes than its "data" chunk claims: keep what
            // is there rather than padding the audio with bytes that were never read.
            const int64_t want = std::min(chunkSize, remaining);
            SetSize(want);
            const int64_t got = want > 0 ? Stream.Read(Memory(), want) : 0;
            SetSize(std::max<int64_t>(got, 0));
            pos = body + Size();
        } else {
            ++pos;
        }
    }
    SetPosition(0);
    return 0;
}

int TWaveConverter::ConvertData() {
    TAcmStreamHandle stream = nullptr;
    TAcmResult r = acmStreamOpen(&stream, nullptr, FCurrentFormat.data(), FTargetFormat.data(),
                                 nullptr, 0, 0, acmStreamOpenNonRealtime);
    if (r != acmOk) return static_cast<int>(r);
    r = ConvertOpened(stream);
    // The stream is closed whatever happened before; the first failure is the answer.
    TAcmResult closed = acmStreamClose(stream, 0);
    return static_cast<int>(r != acmOk ? r : closed);
}

uint32_t TWaveConverter::ConvertOpened(TAcmStream* Stream) {
    uint64_t estimate = 0;
    TAcmResult r =
        acmStreamSize(Stream, static_cast<uint64_t>(Size()), &estimate, acmStreamSizeSource);
    if (r != acmOk) return r;
    // Left uninitialised: the estimate is an upper bound, and only the bytes the codec
    // writes (DstLengthUsed) are ever read, so untouched pages cost nothing.
    std::unique_ptr<uint8_t[]> dst;
    try {
        dst.reset(new uint8_t[estimate]);
    } catch (const std::bad_alloc&) {
        return acmErrNoMem;
    }

    TAcmStreamHeader header;
    header.Src = Memory();
    header.SrcLength = static_cast<uint64_t>(Size());
    header.Dst = dst.get();
    header.DstLength = estimate;
    if ((r = acmStreamPrepareHeader(Stream, &header, 0)) != acmOk) return r;
    r = acmStreamConvert(Stream, &header, acmStreamConvertBlockAlign);
    if (r == acmOk && header.DstLengthUsed > estimate) r = acmErrDestTooSmall;
    if (r == acmOk) {
        try {
            // Keep what the codec produced, not the estimate: the rest of the buffer was
            // never written.
            SetSize(static_cast<int64_t>(header.DstLengthUsed));
            if (header.DstLengthUsed > 0) std::memcpy(Memory(), dst.get(), header.DstLengthUsed);
            SetPosition(0);
            FCurrentFormat = FTargetFormat;
        } catch (const std::bad_alloc&) {
            r = acmErrNoMem;
        }
    }
    TAcmResult unprepared = acmStreamUnprepareHeader(Stream, &header, 0);
    return r != acmOk ? r : unprepared;
}

int TWaveConverter::SaveWaveStream(TStream& Stream) {
    const int64_t keep = Position();
    int result = wcSaveFailed;
    try {
        const int64_t dataSize = Size();
        // The RIFF size field is 32 bits and counts the 36 header bytes after it.
        if (dataSize <= int64_t{0xFFFFFFFF} - 36) {
            uint8_t head[44];
            std::memcpy(head, "RIFF", 4);
            PutU32(head + 4, static_cast<uint32_t>(36 + dataSize));
            std::memcpy(head + 8, "WAVEfmt ", 8);
            PutU32(head + 16, 16);
            std::memcpy(head + 20, FCurrentFormat.data(), 16);
            std::memcpy(head + 36, "data", 4);
            PutU32(head + 40, static_cast<uint32_t>(dataSize));
            if (Stream.WriteExact(head, sizeof head) &&
                (dataSize == 0 || Stream.CopyFrom(*this, 0) == dataSize))
                result = 0;
        }
    } catch (const std::exception&) {
        result = wcSaveFailed;
    }
    SetPosition(keep);
    return result;
}

} // namespace sundral
