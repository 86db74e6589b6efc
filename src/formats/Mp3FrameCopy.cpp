#include "formats/Mp3FrameCopy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "formats/Mp3SideInfo.h"

namespace sundral::mp3lossless {

using namespace mp3frames;
using mp3scan::TMp3Header;

namespace {
constexpr size_t kCopyBlock = 1 << 18;
}

TSource::~TSource() {
    if (FFd >= 0) ::close(FFd);
}

bool TSource::Open(const std::string& Path) {
    if (FFd >= 0) ::close(FFd);
    FFd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (FFd < 0 || ::fstat(FFd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    FSize = st.st_size;
    return true;
}

size_t TSource::ReadAt(int64_t Offset, uint8_t* Buffer, size_t Count) {
    if (FFd < 0 || Offset < 0 || Offset >= FSize) return 0;
    size_t done = 0;
    while (done < Count) {
        const ssize_t n = ::pread(FFd, Buffer + done, Count - done, off_t(Offset) + off_t(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += size_t(n);
    }
    return done;
}

std::vector<uint8_t> TSource::Bytes(int64_t Offset, size_t Count) {
    std::vector<uint8_t> b(Count);
    b.resize(ReadAt(Offset, b.data(), Count));
    return b;
}

TCutResult Outcome(TCutStatus Status, const std::string& Message) {
    TCutResult r;
    r.Status = Status;
    r.Message = Message;
    return r;
}

int64_t LeadingTagsEnd(TSource& Source) {
    int64_t pos = 0;
    for (;;) {
        const std::vector<uint8_t> h = Source.Bytes(pos, 10);
        if (h.size() != 10 || std::memcmp(h.data(), "ID3", 3) != 0) break;
        if ((h[6] | h[7] | h[8] | h[9]) & 0x80) break;
        const int64_t size =
            (int64_t(h[6]) << 21) | (int64_t(h[7]) << 14) | (int64_t(h[8]) << 7) | h[9];
        const int64_t next = pos + 10 + size + ((h[5] & 0x10) ? 10 : 0);
        if (next > Source.Size()) break;
        pos = next;
    }
    return pos;
}

bool ReadFrame(TSource& Source, mp3scan::TMp3FrameIndex& Index, uint64_t Frame,
               std::vector<uint8_t>& Bytes, TMp3Header& Header) {
    int64_t offset = 0;
    if (!Index.Frame(Frame, offset, Header)) return false;
    Bytes = Source.Bytes(offset, Header.FrameBytes);
    return Bytes.size() == Header.FrameBytes;
}

std::vector<uint8_t> ReservoirBefore(TSource& Source, mp3scan::TMp3FrameIndex& Index,
                                     uint64_t Frame, size_t Count) {
    // Collected backwards, frame by frame.
    std::vector<uint8_t> bytes(Count, 0);
    size_t missing = Count;
    int64_t expected = -1;
    for (uint64_t i = Frame; i-- > 0 && missing > 0;) {
        std::vector<uint8_t> frame;
        TMp3Header h;
        int64_t offset = 0;
        if (!Index.Frame(i, offset, h) || (expected >= 0 && offset + h.FrameBytes != expected))
            break;
        expected = offset;
        if (!ReadFrame(Source, Index, i, frame, h)) break;
        const size_t payload = PayloadOffset(h);
        if (frame.size() <= payload) continue;
        const size_t take = std::min(missing, frame.size() - payload);
        std::copy(frame.end() - std::ptrdiff_t(take), frame.end(),
                  bytes.begin() + std::ptrdiff_t(missing - take));
        missing -= take;
    }
    return bytes;
}

TLameExtension SourceExtension(TSource& Source, const mp3scan::TMp3StreamInfo& Info) {
    TLameExtension extension = DefaultLameExtension();
    if (Info.Tag.IsTagFrame()) {
        const std::vector<uint8_t> tag =
            Source.Bytes(Info.FirstAudio - Info.First.FrameBytes, Info.First.FrameBytes);
        FindLameExtension(tag.data(), tag.size(), Info.First, extension);
    }
    return extension;
}

TFrameWriter::TFrameWriter(const std::string& Path, uint32_t StreamWord,
                           const TLameExtension& Extension)
    : FPath(Path), FOut(std::fopen(Path.c_str(), "wb")), FStreamWord(StreamWord), FOffsets(100, 0),
      FBlock(kCopyBlock) {
    FOk = bool(FOut);
    FFields.Extension = Extension;
}

TFrameWriter::~TFrameWriter() = default;

void TFrameWriter::Copy(TSource& Source, int64_t From, int64_t To, bool Music) {
    for (int64_t at = From; FOk && at < To;) {
        const size_t n =
            Source.ReadAt(at, FBlock.data(), size_t(std::min<int64_t>(To - at, kCopyBlock)));
        if (n == 0) {
            FOk = false;
            break;
        }
        if (Music) FMusicCrc = TagCrc(FBlock.data(), n, FMusicCrc);
        FOk = std::fwrite(FBlock.data(), 1, n, FOut.get()) == n;
        at += int64_t(n);
    }
}

void TFrameWriter::CopyRaw(TSource& Source, int64_t From, int64_t To) {
    FlushRun();
    Copy(Source, From, To, false);
}

void TFrameWriter::WriteRaw(const std::vector<uint8_t>& Bytes) {
    FlushRun();
    FOk = FOk && std::fwrite(Bytes.data(), 1, Bytes.size(), FOut.get()) == Bytes.size();
}

void TFrameWriter::ReserveTag() {
    FTagFrame = BuildInfoFrame(FStreamWord, (FStreamWord >> 12) & 15, FFields);
    if (!FOk || FTagFrame.empty()) {
        FOk = false;
        return;
    }
    FTagAt = std::ftell(FOut.get());
    FOk = std::fwrite(FTagFrame.data(), 1, FTagFrame.size(), FOut.get()) == FTagFrame.size();
}

void TFrameWriter::Account(uint32_t FrameBytes, uint32_t BitRate) {
    // Seek table: the offset of every hundredth of the frames, from the first audio one.
    while (FTocNext < 100 && FTocNext * FExpected / 100 == FWritten) FOffsets[FTocNext++] = FBytes;
    if (FRate == 0) FRate = BitRate;
    if (BitRate != FRate) FFields.VariableRate = true;
    FBytes += FrameBytes;
    ++FWritten;
}

void TFrameWriter::Frame(const std::vector<uint8_t>& Bytes) {
    FlushRun();
    TMp3Header h;
    mp3scan::ParseMp3Header(BigEndian32(Bytes.data()), h);
    Account(uint32_t(Bytes.size()), h.BitRate);
    FMusicCrc = TagCrc(Bytes.data(), Bytes.size(), FMusicCrc);
    FOk = FOk && std::fwrite(Bytes.data(), 1, Bytes.size(), FOut.get()) == Bytes.size();
}

void TFrameWriter::CopyFrame(TSource& Source, int64_t Offset, const TMp3Header& Header) {
    Account(Header.FrameBytes, Header.BitRate);
    if (FRunSource == &Source && Offset == FRunEnd) {
        FRunEnd += Header.FrameBytes;
        return;
    }
    FlushRun();
    FRunSource = &Source;
    FRunStart = Offset;
    FRunEnd = Offset + Header.FrameBytes;
}

void TFrameWriter::FlushRun() {
    if (FRunSource) Copy(*FRunSource, FRunStart, FRunEnd, true);
    FRunSource = nullptr;
}

std::string TFrameWriter::Finish(uint32_t Delay, uint32_t Padding) {
    FlushRun();
    if (!FOk) return FPath + ": writing failed";
    while (FTocNext < 100) FOffsets[FTocNext++] = FBytes;
    const uint64_t bytes = FBytes + FTagFrame.size();
    if (bytes > UINT32_MAX || FWritten > UINT32_MAX)
        return "the result is larger than a tag frame can describe";
    for (size_t i = 0; i < 100; ++i)
        FFields.Toc[i] = uint8_t(std::min<uint64_t>(255, FOffsets[i] * 256 / bytes));
    FFields.Frames = uint32_t(FWritten);
    FFields.Bytes = uint32_t(bytes);
    FFields.Delay = Delay;
    FFields.Padding = Padding;
    FFields.MusicCrc = FMusicCrc;
    const std::vector<uint8_t> tag = BuildInfoFrame(FStreamWord, (FStreamWord >> 12) & 15, FFields);
    FOk = tag.size() == FTagFrame.size() && std::fseek(FOut.get(), FTagAt, SEEK_SET) == 0 &&
          std::fwrite(tag.data(), 1, tag.size(), FOut.get()) == tag.size();
    FOk = std::fflush(FOut.get()) == 0 && FOk;
    FOk = std::fclose(FOut.release()) == 0 && FOk;
    if (!FOk) return FPath + ": writing failed";
    return {};
}

} // namespace sundral::mp3lossless
