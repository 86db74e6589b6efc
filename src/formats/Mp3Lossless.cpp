#include "formats/Mp3Lossless.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "formats/Mp3FrameCopy.h"
#include "formats/Mp3InfoFrame.h"
#include "formats/Mp3SideInfo.h"
#include "platform/mp3Scan.h"

namespace sundral::mp3lossless {

using namespace mp3frames;
using mp3scan::TMp3Header;
using mp3scan::TMpegVersion;

namespace {

constexpr char kStopped[] = "Stopped";
constexpr uint32_t kMaxTagField = 4095; // delay and padding are 12-bit fields
// The reader takes a file when one of its first 64 frames decodes; a decoder refuses a
// granule with more than 288 big values.
constexpr uint64_t kProbeFrames = 64;
constexpr uint32_t kMaxBigValues = 288;
// Copied frames between two looks at the control (a few hundred KiB at common rates).
constexpr uint64_t kFramesPerBlock = 1024;

// A frame of silence (no main data of its own) whose main data area ends with Tail: a later
// frame's main_data_begin can reach into those bytes.
std::vector<uint8_t> SilentFrame(uint32_t StreamWord, const std::vector<uint8_t>& Tail) {
    uint32_t word = 0;
    TMp3Header h;
    if (!SmallestFrameFor(StreamWord | (1u << 16), Tail.size(), word, h)) return {};
    std::vector<uint8_t> frame(h.FrameBytes, 0);
    PutBigEndian32(frame.data(), word);
    std::copy(Tail.begin(), Tail.end(), frame.end() - std::ptrdiff_t(Tail.size()));
    return frame;
}

// What the cut writes, worked out before anything is written.
struct TPlan {
    std::vector<std::vector<uint8_t>> Head; // frames written before the copied ones
    uint64_t CopyFrom = 0, CopyTo = 0;      // source audio frames copied as they are
    uint32_t Delay = 0, Padding = 0;
    uint64_t Frames = 0; // audio frames written
};

class TCutter {
public:
    TCutter(TSource& Source)
        : FSource(Source),
          FIndex([&Source](int64_t Offset, uint8_t* Buffer,
                           size_t Count) { return Source.ReadAt(Offset, Buffer, Count); },
                 Source.Size()) {}

    // Finds the stream and walks the file, once.
    const mp3scan::TMp3StreamInfo& Open() {
        if (!FOpened) FInfo = FIndex.Open();
        FOpened = true;
        return FInfo;
    }
    TCutResult Run(const std::string& Out, int64_t Start, int64_t End, const TReplacedTags* Tags,
                   const TCopyControl& Control);
    // Whether Run made its output file.
    bool Created() const { return FCreated; }
    // Whether one of the first frames is one a decoder accepts, as the reader asks of a
    // file before it takes it (after Open).
    bool SomeFrameDecodes();

private:
    bool FrameBytes(uint64_t Index, std::vector<uint8_t>& Bytes, TMp3Header& Header) {
        return ReadFrame(FSource, FIndex, Index, Bytes, Header);
    }
    std::vector<uint8_t> ReservoirBefore(uint64_t Index, size_t Count) {
        return mp3lossless::ReservoirBefore(FSource, FIndex, Index, Count);
    }
    // Frame Index made to hold its own main data (main_data_begin 0); empty when no bit rate
    // holds it.
    std::vector<uint8_t> SelfContained(uint64_t Index, const std::vector<uint8_t>& Frame,
                                       const TMp3Header& Header, const TMp3SideInfo& Side);
    // Whether frames of another stream (another rate or MPEG version) lie in [From, To).
    bool ForeignStream(int64_t From, int64_t To);
    // Checks the copied frames; the reason when they cannot be copied.
    std::string CheckStretch(const TPlan& Plan);

    bool Stopped() const { return FControl->Stop && FControl->Stop->load(); }
    void Progress(int32_t Percent) {
        if (FControl->OnProgress) FControl->OnProgress(Percent);
    }

    TSource& FSource;
    const TCopyControl* FControl = nullptr;
    bool FOpened = false;
    bool FCreated = false;
    mp3scan::TMp3FrameIndex FIndex;
    mp3scan::TMp3StreamInfo FInfo;
};

std::vector<uint8_t> TCutter::SelfContained(uint64_t Index, const std::vector<uint8_t>& Frame,
                                            const TMp3Header& Header, const TMp3SideInfo& Side) {
    const size_t payloadAt = PayloadOffset(Header);
    // The main data area as the decoder sees it: reservoir bytes, then the frame's own.
    std::vector<uint8_t> area = ReservoirBefore(Index, Side.MainDataBegin);
    area.insert(area.end(), Frame.begin() + std::ptrdiff_t(payloadAt), Frame.end());
    uint32_t word = 0;
    TMp3Header h;
    if (!SmallestFrameFor(BigEndian32(Frame.data()), area.size(), word, h)) return {};
    std::vector<uint8_t> out(h.FrameBytes, 0);
    PutBigEndian32(out.data(), word);
    std::copy(Frame.begin() + 4, Frame.begin() + std::ptrdiff_t(payloadAt), out.begin() + 4);
    ClearMainDataBegin(out.data(), h);
    UpdateFrameCrc(out.data(), h);
    // Own main data first; the bytes later frames reach back into end the area, as before;
    // the room between is ancillary data.
    const size_t own = std::min<size_t>((Side.MainDataBits + 7) / 8, area.size());
    std::copy(area.begin(), area.begin() + std::ptrdiff_t(own),
              out.begin() + std::ptrdiff_t(payloadAt));
    std::copy(area.begin() + std::ptrdiff_t(own), area.end(),
              out.end() - std::ptrdiff_t(area.size() - own));
    return out;
}

bool TCutter::ForeignStream(int64_t From, int64_t To) {
    // Two frames of another stream, one after the other, somewhere in the first 64 KiB.
    To = std::min(To, From + 65536);
    const std::vector<uint8_t> bytes = FSource.Bytes(From, size_t(std::max<int64_t>(To - From, 0)));
    for (size_t at = 0; at + 4 <= bytes.size(); ++at) {
        TMp3Header h, next;
        if (bytes[at] != 0xFF || !mp3scan::ParseMp3Header(BigEndian32(&bytes[at]), h) ||
            mp3scan::SameStream(h, FInfo.First))
            continue;
        uint8_t w[4];
        if (FSource.ReadAt(From + int64_t(at) + h.FrameBytes, w, 4) == 4 &&
            mp3scan::ParseMp3Header(BigEndian32(w), next) && mp3scan::SameStream(h, next))
            return true;
    }
    return false;
}

std::string TCutter::CheckStretch(const TPlan& Plan) {
    int64_t expected = -1;
    for (uint64_t i = Plan.CopyFrom; i <= Plan.CopyTo; ++i) {
        int64_t offset = 0;
        TMp3Header h;
        if (!FIndex.Frame(i, offset, h))
            return "the stream ends before its frame " + std::to_string(i + 1) +
                   " (it is shorter than its tag says)";
        if (h.Channels != FInfo.First.Channels) return "the channel count changes in the stream";
        if (expected >= 0 && offset != expected && ForeignStream(expected, offset))
            return "the sample rate changes in the stream";
        expected = offset + h.FrameBytes;
    }
    // After the stream's last frame, a stream at another rate may go on.
    int64_t next = 0;
    TMp3Header nextHeader;
    if (!FIndex.Frame(Plan.CopyTo + 1, next, nextHeader) && ForeignStream(expected, FInfo.AudioEnd))
        return "the sample rate changes in the stream";
    return {};
}

bool TCutter::SomeFrameDecodes() {
    std::vector<uint8_t> frame;
    TMp3Header h;
    TMp3SideInfo side;
    for (uint64_t i = 0; i < kProbeFrames && FrameBytes(i, frame, h); ++i)
        if (ParseSideInfo(frame.data(), frame.size(), h, side) && side.BigValues <= kMaxBigValues)
            return true;
    return false;
}

TCutResult TCutter::Run(const std::string& Out, int64_t Start, int64_t End,
                        const TReplacedTags* Tags, const TCopyControl& Control) {
    FControl = &Control;
    FCreated = false;
    Open();
    if (!FInfo.Valid)
        return Outcome(TCutStatus::csUnsuitable,
                       "no MPEG audio frames of a fixed size were found (free format?)");
    if (FInfo.First.Layer != 3)
        return Outcome(TCutStatus::csUnsuitable, "layer I and II streams are not copied");
    const uint32_t spf = FInfo.First.SamplesPerFrame;
    const int64_t total = FInfo.TotalSamples;
    if (End < 0 || End > total) End = total;
    Start = std::max<int64_t>(Start, 0);
    if (Start >= End) return Outcome(TCutStatus::csUnsuitable, "the stretch holds no audio");

    // Decoder output numbering: sample r comes from audio frame r / spf.
    const int64_t first = Start + FInfo.StartSkip, last = End - 1 + FInfo.StartSkip;
    const int64_t heard = first / spf, lastFrame = last / spf;
    const int64_t front = FInfo.First.Version == TMpegVersion::mvMpeg1 ? 1 : 2;
    // A last frame cut short by the end of the audio decodes with what it has; copied, it
    // would end the new file short too, or take in what follows it.
    int64_t lastAt = 0;
    TMp3Header lastHeader;
    if (FIndex.Frame(uint64_t(lastFrame), lastAt, lastHeader) &&
        lastAt + int64_t(lastHeader.FrameBytes) > FInfo.AudioEnd)
        return Outcome(TCutStatus::csUnsuitable, "the last frame is cut short");

    TPlan plan;
    plan.CopyTo = uint64_t(lastFrame);
    int64_t copiedFrom = heard - front; // source frame of the first output audio frame
    uint32_t extraFrames = 0;           // frames written before it
    if (copiedFrom < 0) {
        // The source's own decode starts from nothing here too: copy from its first frame.
        copiedFrom = 0;
        plan.CopyFrom = 0;
    } else {
        std::vector<uint8_t> frame;
        TMp3Header h;
        TMp3SideInfo side;
        if (!FrameBytes(uint64_t(copiedFrom), frame, h) ||
            !ParseSideInfo(frame.data(), frame.size(), h, side))
            return Outcome(TCutStatus::csFailed, "the MP3 stream is damaged near the cut");
        plan.CopyFrom = uint64_t(copiedFrom);
        if (side.MainDataBegin > 0) {
            std::vector<uint8_t> own = SelfContained(uint64_t(copiedFrom), frame, h, side);
            if (!own.empty()) {
                plan.Head.push_back(std::move(own));
                plan.CopyFrom = uint64_t(copiedFrom) + 1;
            } else {
                plan.Head.push_back(
                    SilentFrame(BigEndian32(frame.data()),
                                ReservoirBefore(uint64_t(copiedFrom), side.MainDataBegin)));
                extraFrames = 1;
            }
        }
    }
    int64_t offset = first - copiedFrom * spf + int64_t(extraFrames) * spf;
    if (offset < int64_t(mp3scan::kDecoderDelay)) {
        // The decoder's own delay is longer than what lies in front: a silent frame first.
        std::vector<uint8_t> frame;
        TMp3Header h;
        if (!FrameBytes(uint64_t(copiedFrom), frame, h))
            return Outcome(TCutStatus::csFailed, "the MP3 stream is damaged near the cut");
        plan.Head.insert(plan.Head.begin(), SilentFrame(BigEndian32(frame.data()), {}));
        ++extraFrames;
        offset += spf;
    }
    for (const auto& f : plan.Head)
        if (f.empty()) return Outcome(TCutStatus::csFailed, "no frame holds the bit reservoir");
    const int64_t delay = offset - mp3scan::kDecoderDelay;
    plan.Frames = plan.Head.size() + (plan.CopyTo - plan.CopyFrom + 1);
    const int64_t padding = int64_t(plan.Frames) * spf - delay - (End - Start);
    if (delay < 0 || delay > kMaxTagField || padding < 0 || padding > kMaxTagField)
        return Outcome(TCutStatus::csUnsuitable, "the cut needs a delay the tag cannot hold");
    plan.Delay = uint32_t(delay);
    plan.Padding = uint32_t(padding);

    std::vector<uint8_t> body;
    TMp3Header bodyHeader;
    if (!FrameBytes(plan.CopyFrom, body, bodyHeader))
        return Outcome(TCutStatus::csFailed, "the MP3 stream is damaged near the cut");
    if (std::string why = CheckStretch(plan); !why.empty())
        return Outcome(TCutStatus::csUnsuitable, why);

    if (Stopped()) return Outcome(TCutStatus::csFailed, kStopped);
    TFrameWriter out(Out, BigEndian32(body.data()), SourceExtension(FSource, FInfo));
    FCreated = true;
    if (!out.Ok()) return Outcome(TCutStatus::csFailed, Out + ": cannot be created");
    out.Expect(plan.Frames);
    if (Tags)
        out.WriteRaw(Tags->Front);
    else
        out.CopyRaw(FSource, 0, LeadingTagsEnd(FSource));
    out.ReserveTag();
    for (const auto& f : plan.Head) out.Frame(f);
    const uint64_t copies = plan.CopyTo - plan.CopyFrom + 1;
    for (uint64_t i = plan.CopyFrom; out.Ok() && i <= plan.CopyTo; ++i) {
        int64_t at = 0;
        TMp3Header h;
        FIndex.Frame(i, at, h);
        out.CopyFrame(FSource, at, h);
        if ((i - plan.CopyFrom + 1) % kFramesPerBlock == 0) {
            out.Flush();
            if (Stopped()) return Outcome(TCutStatus::csFailed, kStopped);
            Progress(int32_t(99 * (i - plan.CopyFrom + 1) / copies));
        }
    }
    if (Stopped()) return Outcome(TCutStatus::csFailed, kStopped);
    // A piece with its own tags replaces the source's ID3v1 block, when there is one.
    int64_t tailEnd = FSource.Size();
    if (Tags && !Tags->Back.empty() && tailEnd - FInfo.AudioEnd >= 128 &&
        FSource.Bytes(tailEnd - 128, 3) == std::vector<uint8_t>{'T', 'A', 'G'})
        tailEnd -= 128;
    out.CopyRaw(FSource, FInfo.AudioEnd, tailEnd);
    if (Tags && tailEnd != FSource.Size()) out.WriteRaw(Tags->Back);
    if (std::string why = out.Finish(plan.Delay, plan.Padding); !why.empty())
        return Outcome(TCutStatus::csFailed, why);
    Progress(100);
    TCutResult r = Outcome(TCutStatus::csDone, {});
    r.Samples = End - Start;
    r.Delay = plan.Delay;
    r.Padding = plan.Padding;
    return r;
}

} // namespace

namespace {

// A stopped cut leaves nothing behind.
TCutResult Settle(const TCutter& Cutter, TCutResult Result, const std::string& Out) {
    if (Cutter.Created() && Result.Status == TCutStatus::csFailed && Result.Message == kStopped) {
        std::error_code ignored;
        std::filesystem::remove(Out, ignored);
    }
    return Result;
}

TCutResult Cut(const std::string& In, const std::string& Out, int64_t Start, int64_t End,
               const TReplacedTags* Tags, const TCopyControl& Control) {
    TSource source;
    if (!source.Open(In)) return Outcome(TCutStatus::csFailed, In + ": cannot be read");
    TCutter cutter(source);
    return Settle(cutter, cutter.Run(Out, Start, End, Tags, Control), Out);
}

// An ASF file is the reader's whatever its name, even where its packets hold bytes that look
// like MPEG frames.
constexpr uint8_t kAsfHeader[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                    0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};

} // namespace

struct TMp3CutSource::TImpl {
    TSource Source;
    std::unique_ptr<TCutter> Cutter;
    mp3scan::TMp3StreamInfo Info;
};

TMp3CutSource::TMp3CutSource() : FImpl(std::make_unique<TImpl>()) {}
TMp3CutSource::~TMp3CutSource() = default;

bool TMp3CutSource::Open(const std::string& In) {
    FImpl = std::make_unique<TImpl>();
    if (!FImpl->Source.Open(In) ||
        FImpl->Source.Bytes(0, 16) == std::vector<uint8_t>(kAsfHeader, kAsfHeader + 16))
        return false;
    FImpl->Cutter = std::make_unique<TCutter>(FImpl->Source);
    FImpl->Info = FImpl->Cutter->Open();
    return FImpl->Info.Valid && FImpl->Info.First.Layer == 3 && FImpl->Info.TotalSamples > 0 &&
           FImpl->Cutter->SomeFrameDecodes();
}

int64_t TMp3CutSource::Samples() const {
    return FImpl->Info.TotalSamples;
}

uint32_t TMp3CutSource::SampleRate() const {
    return FImpl->Info.First.SampleRate;
}

TCutResult TMp3CutSource::Cut(const std::string& Out, int64_t Start, int64_t End,
                              const TCopyControl& Control) {
    if (!FImpl->Cutter) return Outcome(TCutStatus::csFailed, "no file was opened");
    return Settle(*FImpl->Cutter, FImpl->Cutter->Run(Out, Start, End, nullptr, Control), Out);
}

TCutResult CutMp3(const std::string& In, const std::string& Out, int64_t Start, int64_t End,
                  const TCopyControl& Control) {
    return Cut(In, Out, Start, End, nullptr, Control);
}

TCutResult CutMp3(const std::string& In, const std::string& Out, int64_t Start, int64_t End,
                  const TReplacedTags& Tags, const TCopyControl& Control) {
    return Cut(In, Out, Start, End, &Tags, Control);
}

} // namespace sundral::mp3lossless
