#include "formats/Mp3SpliceRun.h"

#include <algorithm>

#include "formats/Mp3SideInfo.h"
#include "platform/acmMp3.h"
#include "platform/lameEnc.h"

namespace sundral::mp3lossless {

using namespace mp3frames;
using mp3scan::TMp3Header;

namespace {
// The encoder puts this many samples in front of its input (its look-ahead).
constexpr uint32_t kEncoderDelay = 576;
// Reservoir bytes a frame may reach back: main_data_begin has 9 bits (MPEG-1), 8 (MPEG-2).
constexpr size_t kMaxReservoir = 511;
} // namespace

bool DecodeFrames(TSource& Source, mp3scan::TMp3FrameIndex& Index, const TMp3Header& Stream,
                  uint64_t From, uint64_t To, std::vector<int16_t>& Pcm) {
    // Context: two frames for the overlap and the synthesis filter, and as many more as the
    // deepest reservoir may reach into.
    uint64_t first = From;
    size_t reservoir = 0;
    for (int n = 0; first > 0 && (n < 2 || reservoir < kMaxReservoir) && n < 16; ++n) {
        --first;
        int64_t at = 0;
        TMp3Header h;
        if (!Index.Frame(first, at, h)) return false;
        if (n >= 1) reservoir += h.FrameBytes - std::min<size_t>(h.FrameBytes, PayloadOffset(h));
    }
    std::vector<uint8_t> bytes;
    for (uint64_t i = first; i < To; ++i) {
        std::vector<uint8_t> frame;
        TMp3Header h;
        if (!ReadFrame(Source, Index, i, frame, h)) return false;
        bytes.insert(bytes.end(), frame.begin(), frame.end());
    }
    const uint64_t frames = To - first;
    const uint64_t samples = frames * Stream.SamplesPerFrame * Stream.Channels;
    std::vector<int16_t> all(samples + Stream.SamplesPerFrame * Stream.Channels);
    const auto r = acm_mp3::Decode(bytes.data(), bytes.size(), Stream.SampleRate, Stream.Channels,
                                   reinterpret_cast<uint8_t*>(all.data()), all.size() * 2);
    // Every frame must come out, or the samples would not be where they belong.
    if (r.Result != acmOk || r.FramesDecoded != frames || r.DstUsed != samples * 2) return false;
    const size_t skip = size_t(From - first) * Stream.SamplesPerFrame * Stream.Channels;
    Pcm.assign(all.begin() + std::ptrdiff_t(skip), all.begin() + std::ptrdiff_t(samples));
    return true;
}

uint32_t RunLead(const TRunFormat& Format) {
    // One whole frame of context before the first frame kept, plus what the delays take.
    const uint32_t delays = kEncoderDelay + mp3scan::kDecoderDelay;
    const uint32_t framesIn = (delays + Format.SamplesPerFrame - 1) / Format.SamplesPerFrame + 1;
    return framesIn * Format.SamplesPerFrame - delays;
}

uint32_t RunTail(const TRunFormat& Format) {
    return 2 * Format.SamplesPerFrame;
}

std::vector<TFrameBytes> EncodeRun(const TRunFormat& Format, const std::vector<int16_t>& Pcm,
                                   uint32_t Frames, std::string& Error) {
    if (!LameAvailable()) {
        Error = "the MP3 encoder (libmp3lame) is not available";
        return {};
    }
    TBeConfig c;
    c.SampleRate = Format.SampleRate;
    c.Mode = int32_t((Format.StreamWord >> 6) & 3);
    c.Bitrate = Format.Kbps;
    c.NoRes = BeBool(true);
    c.Original = BeBool((Format.StreamWord >> 2) & 1);
    c.Copyright = BeBool((Format.StreamWord >> 3) & 1);
    THBeStream stream = nullptr;
    uint32_t chunk = 0, bufferSize = 0;
    if (beInitStream(BeConfigBytes(c), chunk, bufferSize, stream) != beErrOk || chunk == 0) {
        Error = "the MP3 encoder refuses the stream's settings";
        return {};
    }
    std::vector<uint8_t> out, buffer(bufferSize);
    bool ok = true;
    for (size_t at = 0; ok && at < Pcm.size(); at += chunk) {
        const uint32_t n = uint32_t(std::min<size_t>(chunk, Pcm.size() - at));
        uint32_t produced = 0;
        ok = beEncodeChunk(stream, n, Pcm.data() + at, buffer.data(), produced) == beErrOk;
        out.insert(out.end(), buffer.begin(), buffer.begin() + produced);
    }
    uint32_t produced = 0;
    ok = ok && beDeinitStream(stream, buffer.data(), produced) == beErrOk;
    out.insert(out.end(), buffer.begin(), buffer.begin() + produced);
    beCloseStream(stream);
    // The frames in front decode the lead; the run starts after them.
    const uint32_t skip =
        (RunLead(Format) + kEncoderDelay + mp3scan::kDecoderDelay) / Format.SamplesPerFrame;
    std::vector<TFrameBytes> frames;
    size_t at = 0;
    for (uint32_t i = 0; ok && i < skip + Frames; ++i) {
        TMp3Header h;
        if (at + 4 > out.size() || !mp3scan::ParseMp3Header(BigEndian32(&out[at]), h) ||
            at + h.FrameBytes > out.size()) {
            ok = false;
            break;
        }
        if (i >= skip)
            frames.emplace_back(out.begin() + std::ptrdiff_t(at),
                                out.begin() + std::ptrdiff_t(at + h.FrameBytes));
        at += h.FrameBytes;
    }
    if (!ok) {
        Error = "the MP3 encoder gave too few frames";
        return {};
    }
    return frames;
}

bool CarryReservoir(std::vector<TFrameBytes>& Run, const std::vector<uint8_t>& Reservoir) {
    if (Reservoir.empty()) return true;
    if (Run.empty()) return false;
    TFrameBytes& last = Run.back();
    TMp3Header h;
    TMp3SideInfo side;
    if (last.size() < 4 || !mp3scan::ParseMp3Header(BigEndian32(last.data()), h) ||
        !ParseSideInfo(last.data(), last.size(), h, side) || side.MainDataBegin != 0)
        return false;
    const size_t payloadAt = PayloadOffset(h);
    const size_t own = std::min<size_t>((side.MainDataBits + 7) / 8, last.size() - payloadAt);
    uint32_t word = 0;
    TMp3Header bigger;
    if (!SmallestFrameFor(BigEndian32(last.data()), own + Reservoir.size(), word, bigger))
        return false;
    TFrameBytes frame(bigger.FrameBytes, 0);
    PutBigEndian32(frame.data(), word);
    std::copy(last.begin() + 4, last.begin() + std::ptrdiff_t(payloadAt + own), frame.begin() + 4);
    std::copy(Reservoir.begin(), Reservoir.end(), frame.end() - std::ptrdiff_t(Reservoir.size()));
    UpdateFrameCrc(frame.data(), bigger);
    last = std::move(frame);
    return true;
}

} // namespace sundral::mp3lossless
