#include "formats/WaveConverter.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <new>

#include "formats/AuWaveRiff.h"
#include "platform/acm.h"

namespace sundral {

TWaveConverter::TWaveConverter() {
    uint32_t size = 0;
    if (acmMetrics(nullptr, acmMetricMaxSizeFormat, &size) != acmOk) size = 0;
    // The format buffers have a fixed size; descriptions longer than they are never fit.
    FMaxFormatSize = std::min(size, kFormatBufferSize);
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
    // The form must open the stream, in exact case; the chunks may lie anywhere after it.
    TRiffWalker walk(Stream, {INT64_MAX, true, false});
    if (!walk.FindForm()) return LoadFailed(wcLoadNotWave);

    TRiffChunkHead head;
    while (walk.Next(head)) {
        if (walk.Matches(head, "fmt ")) {
            // The body is copied into a fixed buffer: it must fit both the buffer and the
            // codec manager's largest description, and be wholly present in the file.
            if (head.Size > FMaxFormatSize || !walk.BodyWithin(head, head.Size))
                return LoadFailed(wcLoadBadFormat);
            FCurrentFormat.fill(0);
            if (!walk.ReadBody(head, FCurrentFormat.data(), head.Size))
                return LoadFailed(wcLoadBadFormat);
        } else if (walk.Matches(head, "data") && head.Size > 0) {
            // A cut-short file holds fewer bytes than its "data" chunk claims: keep what
            // is there rather than padding the audio with bytes that were never read.
            const int64_t want = std::min<int64_t>(head.Size, walk.Limit() - head.BodyOffset());
            SetSize(want);
            int64_t got = 0;
            if (want > 0 &&
                Stream.Seek(head.BodyOffset(), TSeekOrigin::soBeginning) == head.BodyOffset())
                got = Stream.Read(Memory(), want);
            SetSize(std::max<int64_t>(got, 0));
        }
        // "fact" and any other chunk are passed by their size.
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
