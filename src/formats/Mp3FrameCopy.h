// What the frame-copying MP3 writers (CutMp3, SpliceMp3) share: a source file read at
// offsets, the ID3v2 tags in front of its frames, the reservoir bytes a frame reaches back
// into, the encoder extension of its tag frame, and the writer of the new file, which keeps
// the tag frame's counts, seek table and music checksum while frames go out.
//
// Threading: one object per thread. Ownership: a TSource owns its file, a TFrameWriter its
// output file (left as it is on failure: the caller removes it).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "formats/Mp3InfoFrame.h"
#include "formats/Mp3Lossless.h"
#include "platform/mp3Scan.h"

namespace sundral::mp3lossless {

struct TFileCloser {
    void operator()(std::FILE* F) const { std::fclose(F); }
};
using TFile = std::unique_ptr<std::FILE, TFileCloser>;

// Read with positioned reads: one system call per request, no seeking.
class TSource {
public:
    TSource() = default;
    ~TSource();
    TSource(const TSource&) = delete;
    TSource& operator=(const TSource&) = delete;

    bool Open(const std::string& Path);
    int64_t Size() const { return FSize; }
    size_t ReadAt(int64_t Offset, uint8_t* Buffer, size_t Count);
    std::vector<uint8_t> Bytes(int64_t Offset, size_t Count);

private:
    int FFd = -1;
    int64_t FSize = 0;
};

TCutResult Outcome(TCutStatus Status, const std::string& Message);

// End of the ID3v2 tags at the start of the file (several may follow each other).
int64_t LeadingTagsEnd(TSource& Source);

// The bytes of audio frame Index and its header; false when the frame is missing or short.
bool ReadFrame(TSource& Source, mp3scan::TMp3FrameIndex& Index, uint64_t Frame,
               std::vector<uint8_t>& Bytes, mp3scan::TMp3Header& Header);

// The Count reservoir bytes that end where frame Index's main data area begins; zeros where
// the stream has none (its start, or a gap), as a decoder starting there would have.
std::vector<uint8_t> ReservoirBefore(TSource& Source, mp3scan::TMp3FrameIndex& Index,
                                     uint64_t Frame, size_t Count);

// The encoder extension of the source's tag frame, or a default one.
mp3frames::TLameExtension SourceExtension(TSource& Source, const mp3scan::TMp3StreamInfo& Info);

// Writes the new file: the source's leading tags, a tag frame, the audio frames, trailing
// tags; then fills the tag frame with what went out.
class TFrameWriter {
public:
    // StreamWord: a header word of the stream (version, rate, channel mode); Extension as
    // SourceExtension gives it.
    TFrameWriter(const std::string& Path, uint32_t StreamWord,
                 const mp3frames::TLameExtension& Extension);
    ~TFrameWriter();
    TFrameWriter(const TFrameWriter&) = delete;
    TFrameWriter& operator=(const TFrameWriter&) = delete;

    // Announces how many audio frames will be written (for the seek table).
    void Expect(uint64_t Frames) { FExpected = Frames; }
    // Bytes that are not audio (tags), as they are.
    void CopyRaw(TSource& Source, int64_t From, int64_t To);
    // Bytes that are not audio, made by the caller (a piece's own tags).
    void WriteRaw(const std::vector<uint8_t>& Bytes);
    // Reserves the tag frame; call once, after the leading tags.
    void ReserveTag();
    void Frame(const std::vector<uint8_t>& Bytes);
    // The source's audio frame at Offset, as it is; frames that follow each other in the
    // source go out as one block.
    void CopyFrame(TSource& Source, int64_t Offset, const mp3scan::TMp3Header& Header);
    // Writes out the copied frames held back so far.
    void Flush() { FlushRun(); }
    // Fills the tag frame; empty on success, else the reason.
    std::string Finish(uint32_t Delay, uint32_t Padding);
    bool Ok() const { return FOk; }

private:
    void Account(uint32_t FrameBytes, uint32_t BitRate);
    void Copy(TSource& Source, int64_t From, int64_t To, bool Music);
    void FlushRun();

    std::string FPath;
    TFile FOut;
    uint32_t FStreamWord;
    mp3frames::TInfoFrameFields FFields;
    std::vector<uint8_t> FTagFrame;
    long FTagAt = -1;
    bool FOk = true;
    uint64_t FExpected = 0, FWritten = 0, FBytes = 0;
    size_t FTocNext = 0;
    uint32_t FRate = 0;
    std::vector<uint64_t> FOffsets; // stream offset of each hundredth of the frames
    uint16_t FMusicCrc = 0;
    std::vector<uint8_t> FBlock;
    TSource* FRunSource = nullptr;
    int64_t FRunStart = 0, FRunEnd = 0;
};

} // namespace sundral::mp3lossless
