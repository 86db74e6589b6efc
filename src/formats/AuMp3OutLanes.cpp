#include "formats/AuMp3OutLanes.h"

#include <algorithm>
#include <cstdlib>

#include "audio/AuComponent.h"
#include "formats/Mp3SideInfo.h"
#include "platform/Streams.h"
#include "platform/acmMp3.h"
#include "platform/lameEnc.h"
#include "platform/mp3Scan.h"

namespace sundral {

namespace {

constexpr int32_t kVbrMethodAbr = 4;
// The encoder's own delay, for a first chunk whose tag frame could not be read back.
constexpr uint32_t kEncoderDelay = 576;

std::string LameError(uint32_t Error) {
    return "LAME Error: " + std::to_string(Error);
}

} // namespace

bool TMp3Lanes::Suits(const TBeConfig& Record, uint32_t InputRate) {
    return acm_mp3::IsMpegSampleRate(InputRate) &&
           (Record.ReSampleRate == 0 || Record.ReSampleRate == InputRate) &&
           Record.EnableVBR == 0 &&
           !(Record.VbrMethod == kVbrMethodAbr && Record.VbrAbrKbps != 0) && Record.NoRes != 0 &&
           Record.WriteVBRHeader != 0 && Record.Preset == 0;
}

uint32_t TMp3Lanes::LanesHere() {
    // SUNDRAL_MP3_ENCODERS=N sets the count (1: one encoder), for comparisons and for
    // machines whose cores are better left to other work.
    if (const char* text = std::getenv("SUNDRAL_MP3_ENCODERS")) {
        const long wanted = std::strtol(text, nullptr, 10);
        return wanted < 2 ? 0 : uint32_t(std::min<long>(wanted, 16));
    }
    const uint32_t cores = std::thread::hardware_concurrency();
    return cores < 2 ? 0 : std::min<uint32_t>(cores, 4);
}

TMp3Lanes::TMp3Lanes(const TBeConfigBytes& Record, uint32_t Channels, uint32_t FrameSamples,
                     uint32_t Lanes)
    : FRecord(Record), FChannels(Channels), FFrameSamples(FrameSamples),
      FLanes(std::max<uint32_t>(Lanes, 1)) {
    for (uint32_t i = 0; i < FLanes; ++i) FThreads.emplace_back([this] { Run(); });
}

TMp3Lanes::~TMp3Lanes() {
    {
        std::lock_guard guard(FLock);
        FStop = true;
    }
    FChanged.notify_all();
    for (std::thread& t : FThreads) t.join();
}

void TMp3Lanes::Run() {
    for (;;) {
        std::shared_ptr<TJob> job;
        {
            std::unique_lock guard(FLock);
            FChanged.wait(guard, [this] { return FStop || !FQueue.empty(); });
            if (FStop) return;
            job = FQueue.front();
            FQueue.pop_front();
        }
        try {
            Encode(*job);
        } catch (const std::exception& e) {
            job->Error = e.what();
        }
        {
            std::lock_guard guard(FLock);
            job->Finished = true;
        }
        FChanged.notify_all();
    }
}

void TMp3Lanes::Encode(TJob& Job) const {
    TBeConfig c = BeConfigFromBytes(FRecord);
    c.WriteVBRHeader = BeBool(Job.First);
    uint32_t chunk = 0, outSize = 0;
    THBeStream stream = nullptr;
    if (const uint32_t e = beInitStream(BeConfigBytes(c), chunk, outSize, stream)) {
        Job.Error = LameError(e);
        return;
    }
    struct TClose {
        THBeStream S;
        ~TClose() { beCloseStream(S); }
    } close{stream};
    TMemoryStream all;
    std::vector<uint8_t> out(outSize);
    uint32_t got = 0;
    for (size_t at = 0; at < Job.Pcm.size(); at += chunk) {
        const auto n = uint32_t(std::min<size_t>(chunk, Job.Pcm.size() - at));
        if (const uint32_t e = beEncodeChunk(stream, n, Job.Pcm.data() + at, out.data(), got)) {
            Job.Error = LameError(e);
            return;
        }
        all.Write(out.data(), got);
    }
    if (const uint32_t e = beDeinitStream(stream, out.data(), got)) {
        Job.Error = LameError(e);
        return;
    }
    all.Write(out.data(), got);
    std::vector<int16_t>().swap(Job.Pcm);

    // The first chunk's encoder put a tag frame first; filled in, it gives the extension
    // (version, settings, delay) the whole stream's tag frame carries.
    uint32_t skip = Job.Skip;
    if (Job.First) {
        if (const uint32_t e = beWriteVBRHeader(stream, all, 0)) {
            Job.Error = LameError(e);
            return;
        }
        ++skip;
    }
    const uint8_t* p = all.Memory();
    const auto size = size_t(all.Size());
    size_t at = 0, keptFrom = 0;
    uint64_t frame = 0;
    mp3scan::TMp3Header h;
    while (at + 4 <= size) {
        if (!mp3scan::ParseMp3Header(mp3frames::BigEndian32(p + at), h) || at + h.FrameBytes > size)
            throw EAuException("the encoder's output is not a frame stream");
        if (Job.First && frame == 0) {
            mp3frames::TLameExtension e{};
            if (mp3frames::FindLameExtension(p, h.FrameBytes, h, e))
                Job.Tag.assign(e.begin(), e.end());
        }
        if (frame == skip) keptFrom = at;
        ++frame;
        at += h.FrameBytes;
        if (Job.Keep >= 0 && frame == skip + uint64_t(Job.Keep)) break;
    }
    if (frame <= skip) return; // nothing of the chunk's own
    Job.Frames = frame - skip;
    Job.Bytes.assign(p + keptFrom, p + at);
}

void TMp3Lanes::Submit(std::vector<int16_t> Pcm, uint32_t Skip, int64_t Keep) {
    auto job = std::make_shared<TJob>();
    job->Number = FJobs++;
    job->Pcm = std::move(Pcm);
    job->Skip = Skip;
    job->Keep = Keep;
    job->First = job->Number == 0;
    {
        std::lock_guard guard(FLock);
        FQueue.push_back(job);
        FPending.push_back(job);
    }
    FChanged.notify_all();
}

void TMp3Lanes::Deliver(const TSink& Sink, bool Wait) {
    for (;;) {
        std::shared_ptr<TJob> job;
        {
            std::unique_lock guard(FLock);
            if (FPending.empty()) return;
            // More chunks under way than lanes to take them: the oldest is awaited, so that
            // the input held stays bounded.
            const bool await = Wait || FPending.size() > size_t(FLanes) + 1;
            if (!FPending.front()->Finished) {
                if (!await) return;
                FChanged.wait(guard, [&] { return FPending.front()->Finished; });
            }
            job = FPending.front();
            FPending.pop_front();
        }
        Emit(*job, Sink);
    }
}

void TMp3Lanes::Emit(TJob& Job, const TSink& Sink) {
    if (!Job.Error.empty()) throw EAuException(Job.Error);
    if (Job.Bytes.empty()) return;
    if (!FTagOut) {
        if (Job.Tag.size() == FExtension.size()) {
            std::copy(Job.Tag.begin(), Job.Tag.end(), FExtension.begin());
            uint32_t padding = 0;
            mp3frames::ExtensionDelayPadding(FExtension, FDelay, padding);
        } else {
            FDelay = kEncoderDelay;
        }
        FStreamWord = mp3frames::BigEndian32(Job.Bytes.data());
        FPlaceholder = TagFrame();
        if (FPlaceholder.empty()) throw EAuException("no tag frame fits this stream");
        Sink(FPlaceholder.data(), FPlaceholder.size());
        FTagOut = true;
    }
    FFramesOut += Job.Frames;
    FBytesOut += Job.Bytes.size();
    FMusicCrc = mp3frames::TagCrc(Job.Bytes.data(), Job.Bytes.size(), FMusicCrc);
    Sink(Job.Bytes.data(), Job.Bytes.size());
    std::vector<uint8_t>().swap(Job.Bytes);
}

void TMp3Lanes::Add(const int16_t* Pcm, uint32_t Frames, const TSink& Sink) {
    const auto ch = int64_t(FChannels), f = int64_t(FFrameSamples);
    const int64_t w = kWarmUpFrames, k = kChunkFrames;
    FInput.insert(FInput.end(), Pcm, Pcm + int64_t(Frames) * ch);
    FTaken += Frames;
    // A chunk goes once the input reaches past its end by the warm-up.
    while (FTaken >= (FNextChunk + k + w) * f) {
        const int64_t from = std::max<int64_t>(0, (FNextChunk - w) * f);
        const int64_t to = (FNextChunk + k + w) * f;
        Submit({FInput.begin() + (from - FInputAt) * ch, FInput.begin() + (to - FInputAt) * ch},
               FNextChunk == 0 ? 0 : kWarmUpFrames, k);
        FNextChunk += k;
        // The next chunk's input starts a warm-up before it.
        const int64_t next = (FNextChunk - w) * f;
        FInput.erase(FInput.begin(), FInput.begin() + (next - FInputAt) * ch);
        FInputAt = next;
    }
    Deliver(Sink, false);
}

void TMp3Lanes::Finish(const TSink& Sink) {
    const auto ch = int64_t(FChannels), f = int64_t(FFrameSamples);
    const int64_t from = std::max<int64_t>(0, (FNextChunk - int64_t(kWarmUpFrames)) * f);
    Submit({FInput.begin() + (from - FInputAt) * ch, FInput.end()},
           FNextChunk == 0 ? 0 : kWarmUpFrames, -1);
    std::vector<int16_t>().swap(FInput);
    Deliver(Sink, true);
}

std::vector<uint8_t> TMp3Lanes::TagFrame() const {
    mp3frames::TInfoFrameFields fields;
    fields.Frames = uint32_t(FFramesOut);
    fields.Bytes = uint32_t(FBytesOut + FPlaceholder.size());
    // A constant rate: frame k of n lies k/n of the way through.
    for (size_t i = 0; i < fields.Toc.size(); ++i) fields.Toc[i] = uint8_t(i * 256 / 100);
    fields.Extension = FExtension;
    fields.Delay = FDelay;
    // Every frame holds FrameSamples: what is not delay or input is padding.
    const int64_t padding = int64_t(FFramesOut) * int64_t(FFrameSamples) - int64_t(FDelay) - FTaken;
    fields.Padding = uint32_t(std::clamp<int64_t>(padding, 0, 4095));
    fields.MusicCrc = FMusicCrc;
    return mp3frames::BuildInfoFrame(FStreamWord, (FStreamWord >> 12) & 15, fields);
}

} // namespace sundral
