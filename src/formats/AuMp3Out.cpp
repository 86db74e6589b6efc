#include "formats/AuMp3Out.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/taglibTags.h"

namespace sundral {

namespace {

constexpr const char* kErrNoLame = "libmp3lame.so.0 library could not be loaded.";
constexpr const char* kErrNoFileName = "File name is not assigned.";
constexpr const char* kErrFormat = "Cannot encode this audio format into mp3.";

constexpr int32_t kRecordModeMono = 3;
constexpr int32_t kVbrMethodNew = 2;
constexpr int32_t kVbrMethodAbr = 4;

[[noreturn]] void RaiseLameError(uint32_t Error) {
    throw EAuException("LAME Error: " + std::to_string(Error));
}

} // namespace

TMP3Out::TMP3Out(TComponent* AOwner) : TAuTaggedFileOut(AOwner) {
    // Loaded with the component; Prepare tries again while the encoder is missing.
    LameAvailable();
    TagLibAvailable();
}

TMP3Out::~TMP3Out() {
    StopWorker();
}

TBeConfigBytes TMP3Out::ConfigRecord(uint32_t SampleRate, uint32_t Channels) const {
    TBeConfig c;
    c.SampleRate = SampleRate;
    if (Channels == 1)
        c.Mode = kRecordModeMono;
    else
        c.Mode = FMode == TMP3Mode::mmDual ? 0 : int32_t(FMode);
    c.Bitrate = Mp3BitRateKbps(FBitRate);
    c.MaxBitrate = Mp3BitRateKbps(FMaximumBitrate);
    c.CRC = BeBool(FCRC);
    c.Copyright = BeBool(FCopyright);
    c.Original = BeBool(FOriginal);
    // Every file gets the tag frame, constant rate too: it carries the encoder's delay and
    // padding, without which decoders play silence before and after the audio.
    c.WriteVBRHeader = BeBool(true);
    c.EnableVBR = BeBool(FEnableVBR);
    c.VBRQuality = FEnableVBR ? int32_t(FVBRQuality) : 0;
    c.VbrAbrKbps = FAverageKbps != 0 ? FAverageKbps : Mp3BitRateKbps(FAverageBitrate);
    c.VbrMethod = c.VbrAbrKbps != 0 ? kVbrMethodAbr : kVbrMethodNew;
    c.NoRes = BeBool(!FEnableBitReservoir);
    c.StrictISO = BeBool(FStrictISO);
    return BeConfigBytes(c);
}

// ---------------------------------------------------------------------------------------
// Prepare
// ---------------------------------------------------------------------------------------
void TMP3Out::Prepare() {
    FFlushed = false;
    FAudioStart = FAudioBytes = 0;
    FPendingBytes.clear();
    FPendingBytes.reserve(kWriteBytes + 8192);
    FHeld.clear();
    FHeldAt = 0;
    FHeldEnded = false;
    if (!LameAvailable()) throw EAuException(kErrNoLame);
    if (!FStreamAssigned && FWideFileName.empty()) throw EAuException(kErrNoFileName);
    TAuInput* input = Input();
    input->Init();
    const uint32_t rate = input->SampleRate();
    const uint32_t channels = input->Channels();
    const uint32_t bits = input->BitsPerSample();
    if (rate == 0 || !TMp3PcmFeed::Supports(bits, channels)) throw EAuException(kErrFormat);

    TBeConfigBytes record = ConfigRecord(rate, channels);
    if (FAverageKbps != 0) {
        HoldTrial(rate, bits / 8 * channels);
        TBeConfig aimed = BeConfigFromBytes(record);
        const auto trial = [&](uint32_t Mean) {
            TBeConfig c = aimed;
            c.VbrAbrKbps = Mean;
            return TrialKbps(BeConfigBytes(c), FHeld, bits, channels, rate);
        };
        aimed.VbrAbrKbps = AimedMeanKbps(FAverageKbps, trial, kMinAverageKbps, kMaxAverageKbps);
        record = BeConfigBytes(aimed);
    }
    uint32_t chunkSamples = 0, outputSize = 0;
    if (const uint32_t error = beInitStream(record, chunkSamples, outputSize, FEncoder))
        RaiseLameError(error);
    const uint32_t encoderChannels = BeConfigFromBytes(record).Mode == kRecordModeMono ? 1 : 2;
    FEncoderChannels = encoderChannels;
    // Input Channels x (chunk samples) bytes of 16-bit input: half a chunk's frames.
    FFeed.Setup(bits, channels, encoderChannels, chunkSamples / 2);
    FOutput.assign(outputSize, 0);
    // A constant-rate stream without the reservoir, long enough for two chunks or more, is
    // made by encoders on several cores: as many frames as one encoder's, and as good.
    const uint32_t lanes = TMp3Lanes::LanesHere();
    const int64_t inputBytes = input->Size();
    const int64_t frameSamples = chunkSamples / encoderChannels;
    if (lanes >= 2 && TMp3Lanes::Suits(BeConfigFromBytes(record), rate) && inputBytes > 0 &&
        inputBytes / (bits / 8 * channels) >= 2 * TMp3Lanes::kChunkFrames * frameSamples) {
        beCloseStream(FEncoder);
        FEncoder = nullptr;
        FLanes =
            std::make_unique<TMp3Lanes>(record, encoderChannels, uint32_t(frameSamples), lanes);
    }

    if (!FStreamAssigned) {
        FOwnStream = std::make_unique<TAuFileStream>(FWideFileName, fmCreate);
        FStream = FOwnStream.get();
    }
    FAudioStart = FStream->Position();
    if (FAudioStart < 0) throw EAuException(kErrWrite);
}

// ---------------------------------------------------------------------------------------
// DoOutput
// ---------------------------------------------------------------------------------------
bool TMP3Out::DoOutput(bool Abort) {
    if (!Active()) return true;
    if (Abort) return false;
    bool eof = false;
    const uint32_t got = NextInput(eof);
    if (got == 0) return false;
    uint32_t samples = 0, produced = 0;
    const int16_t* pcm = FFeed.Convert(got, samples);
    if (FLanes) {
        FLanes->Add(pcm, samples / FEncoderChannels, LanesSink());
        return !eof;
    }
    if (const uint32_t error = beEncodeChunk(FEncoder, samples, pcm, FOutput.data(), produced))
        RaiseLameError(error);
    WriteAll(FOutput.data(), produced);
    return !eof;
}

void TMP3Out::HoldTrial(uint32_t Rate, uint32_t FrameBytes) {
    FHeld.resize(size_t(Rate) * kAimTrialSeconds * FrameBytes);
    FHeld.resize(ReadFull(Input(), FHeld.data(), uint32_t(FHeld.size()), FHeldEnded));
    FHeldAt = 0;
}

uint32_t TMP3Out::NextInput(bool& Eof) {
    if (FHeldAt >= FHeld.size()) return ReadFull(Input(), FFeed.Buffer(), FFeed.StepBytes(), Eof);
    // The held input is whole frames, and so is a step: a step never straddles its end.
    const uint32_t got = uint32_t(std::min<size_t>(FFeed.StepBytes(), FHeld.size() - FHeldAt));
    std::memcpy(FFeed.Buffer(), FHeld.data() + FHeldAt, got);
    FHeldAt += got;
    if (FHeldAt >= FHeld.size()) {
        Eof = FHeldEnded;
        std::vector<uint8_t>().swap(FHeld);
        FHeldAt = 0;
    }
    return got;
}

void TMP3Out::WriteAll(const void* Data, uint32_t Count) {
    // An encoder call gives a frame or two: they are gathered into larger writes.
    const auto* bytes = static_cast<const uint8_t*>(Data);
    FPendingBytes.insert(FPendingBytes.end(), bytes, bytes + Count);
    if (FPendingBytes.size() >= kWriteBytes) WritePending();
}

void TMP3Out::WritePending() {
    const int64_t count = int64_t(FPendingBytes.size());
    if (count == 0) return;
    const bool written = FStream->Write(FPendingBytes.data(), count) == count;
    FPendingBytes.clear();
    if (!written) throw EAuException(kErrWrite);
}

// ---------------------------------------------------------------------------------------
// Done
// ---------------------------------------------------------------------------------------
void TMP3Out::Done() {
    // Each step runs whatever failed before it; the first failure is the one reported.
    auto guarded = [this](auto&& Step) {
        try {
            Step();
        } catch (const std::exception& e) {
            if (ExceptionMessage().empty()) SetExceptionMessage(e.what());
        }
    };
    const bool encoded = (FEncoder != nullptr || FLanes != nullptr) && FStream != nullptr;
    // TagLib fills the ID3v2 fields left empty from an ID3v1 block it finds (a shortened,
    // Latin-1 copy), so with TagLib the writer's block goes in after it.
    const bool tagStep =
        encoded && FOwnStream != nullptr && !FFileName.empty() && TagLibAvailable();
    if (encoded) {
        guarded([this] { WritePending(); });
        guarded([this] { FlushEncoder(); });
        if (FFlushed) guarded([this] { WriteTagFrame(); });
        if (!tagStep) guarded([this] { AppendId3v1(); });
        FAudioBytes = FStream->Size() - FAudioStart;
    }
    ReleaseRun();
    if (tagStep) {
        guarded([this] { WriteId3v2(); });
        guarded([this] { AppendId3v1AfterTags(); });
    }
    if (Input()) guarded([this] { Input()->Flush(); });
}

TMp3Lanes::TSink TMP3Out::LanesSink() {
    return [this](const uint8_t* Data, size_t Count) { WriteAll(Data, uint32_t(Count)); };
}

void TMP3Out::FlushEncoder() {
    if (FLanes) {
        FLanes->Finish(LanesSink());
        FFlushed = true;
        WritePending();
        return;
    }
    uint32_t produced = 0;
    if (const uint32_t error = beDeinitStream(FEncoder, FOutput.data(), produced))
        RaiseLameError(error);
    FFlushed = true;
    WriteAll(FOutput.data(), produced);
    WritePending();
}

void TMP3Out::WriteTagFrame() {
    if (FLanes) {
        // Over the placeholder the lanes put first, then on at the end.
        const std::vector<uint8_t> tag = FLanes->TagFrame();
        uint8_t head[2];
        if (tag.empty() || FStream->Seek(FAudioStart, TSeekOrigin::soBeginning) != FAudioStart ||
            !FStream->ReadExact(head, 2) || head[0] != 0xFF ||
            FStream->Seek(FAudioStart, TSeekOrigin::soBeginning) != FAudioStart ||
            !FStream->WriteExact(tag.data(), int64_t(tag.size())) ||
            FStream->Seek(0, TSeekOrigin::soEnd) < 0)
            throw EAuException(kErrWrite);
        return;
    }
    if (beWriteVBRHeader(FEncoder, *FStream, FAudioStart) != beErrOk) throw EAuException(kErrWrite);
}

void TMP3Out::ReleaseRun() {
    if (FEncoder != nullptr) beCloseStream(FEncoder);
    FEncoder = nullptr;
    FLanes.reset();
    if (!FStreamAssigned) {
        FOwnStream.reset();
        FStream = nullptr;
    }
    std::vector<uint8_t>().swap(FOutput);
    std::vector<uint8_t>().swap(FPendingBytes);
    std::vector<uint8_t>().swap(FHeld);
    FHeldAt = 0;
}

} // namespace sundral
