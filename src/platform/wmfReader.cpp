#include "platform/wmfReader.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
}

#include "platform/TextConv.h"
#include "platform/mediaLibs.h"
#include "platform/wmfReaderSource.h"

namespace sundral::wmf {

using detail::TPacketSource;
using detail::TStreamIo;

namespace {

constexpr uint16_t kStreamNumber = 1;

// Frames of silence handed out at a time in place of units the decoder refused.
constexpr int64_t kSilenceFrames = 4096;

// Units tried at open before a file whose units the decoder all refuses counts as holding no
// audio.
constexpr int kProbeUnits = 64;

// Decoded samples waiting for the consumer: enough to keep decoding ahead through a slow
// encoder step, little enough to stay a few hundred kilobytes at most. A full queue lets the
// decoding thread sleep until half of it was taken, so the two threads wake each other a few
// times per queue rather than for every sample.
constexpr size_t kAheadDepth = 16;

int64_t SamplesToTime(int64_t Samples, uint32_t Rate) {
    return Rate ? int64_t(std::llround(double(Samples) * 1e7 / Rate)) : 0;
}

TWmMediaType PcmType(uint32_t Rate, uint32_t Channels, uint32_t Bits) {
    TWmMediaType t;
    t.MajorType = WMMEDIATYPE_Audio;
    t.SubType = WMMEDIASUBTYPE_PCM;
    t.FixedSizeSamples = true;
    t.FormatType = WMFORMAT_WaveFormatEx;
    t.Format.FormatTag = 1;
    t.Format.Channels = uint16_t(Channels);
    t.Format.SamplesPerSec = Rate;
    t.Format.BlockAlign = uint16_t(Channels * Bits / 8);
    t.Format.AvgBytesPerSec = Rate * t.Format.BlockAlign;
    t.Format.BitsPerSample = uint16_t(Bits);
    t.SampleSize = t.Format.BlockAlign;
    return t;
}

} // namespace

struct TWmSyncReader::TImpl {
    std::unique_ptr<TStreamIo> Io;
    std::unique_ptr<TPacketSource> Source;
    std::string Refusal; // why the last open failed
    bool Discrete = false;
    uint32_t Bits = 16;
    bool ReadAllowed = false;

    AVCodecContext* Codec = nullptr;
    AVPacket* Packet = nullptr;
    AVFrame* Frame = nullptr;
    SwrContext* Swr = nullptr;
    AVChannelLayout SwrInLayout{};
    int SwrInFormat = -1;
    bool Flushed = false; // the end of the units was sent to the decoder
    bool Resync = false;  // the decoder refused a unit: the next one it takes tells the place

    int64_t Next = 0;    // the next sample to hand out
    int64_t OutPos = -1; // decoder position of the next decoded sample; -1: not yet known
    // Where the output decoded so far ends (decoder position less StartSkip, so it may be
    // negative); kNotKnown after a seek until the first output tells.
    static constexpr int64_t kNotKnown = INT64_MIN;
    int64_t FilledTo = kNotKnown;
    bool CheckLanding = false; // the first output after a seek must not start past Next
    bool Restarted = false;    // the seek already fell back to decoding from the start
    // The decoded frame being handed out, converted, and its first sample; before it, from
    // SilentFrom on, silence stands in for units the decoder refused.
    std::vector<uint8_t> Out;
    int64_t OutStart = 0;
    int64_t OutFrames = 0;
    int64_t SilentFrom = 0;
    std::vector<uint8_t> Silence; // a block of silent frames, handed out in pieces
    TWmBuffer Buffer;
    // ReadDecoded runs: Decode keeps a frame the consumer can take as it is in Frame
    // (OutNative) instead of converting it into Out.
    bool Native = false;
    bool OutNative = false;
    const uint8_t* OutPlane = nullptr;

    // Decoding ahead: a thread of the reader's own runs NextSample and queues copies of what
    // it gives, so that the consumer (a writer's worker, which encodes the previous sample
    // meanwhile) finds the next one decoded. Only that thread touches the decoder state while
    // it runs; every call that moves or reconfigures the reader stops it first.
    struct TAheadItem {
        std::vector<uint8_t> Data;
        TWmResult Result = wmOk;
        int64_t First = 0; // the first sample of Data, and the one after it
        int64_t After = 0;
    };
    std::thread AheadThread;
    std::mutex AheadLock;
    std::condition_variable AheadChanged;
    std::deque<TAheadItem> Ahead; // ends with a failed item once the decoding has ended
    bool AheadStop = false;
    bool DecoderWaits = false;    // the decoding thread sleeps on a full queue
    bool ConsumerWaits = false;   // the consumer sleeps on an empty queue
    std::vector<uint8_t> Current; // the consumer's sample, valid until its next call
    TWmBuffer CurrentBuffer;

    ~TImpl() { Release(); }

    void AheadLoop() {
        for (;;) {
            {
                std::unique_lock lock(AheadLock);
                if (Ahead.size() >= kAheadDepth) {
                    DecoderWaits = true;
                    AheadChanged.wait(lock,
                                      [&] { return AheadStop || Ahead.size() <= kAheadDepth / 2; });
                    DecoderWaits = false;
                }
                if (AheadStop) return;
            }
            TAheadItem item;
            item.First = Next;
            const TWmBuffer* sample = nullptr;
            item.Result = NextSample(sample);
            if (item.Result == wmOk)
                item.Data.assign(sample->FData, sample->FData + sample->FLength);
            item.After = Next;
            const bool ended = item.Result != wmOk;
            bool wake;
            {
                std::lock_guard lock(AheadLock);
                Ahead.push_back(std::move(item));
                wake = ConsumerWaits;
            }
            if (wake) AheadChanged.notify_all();
            if (ended) return;
        }
    }

    TWmResult TakeAhead(const TWmBuffer*& Sample, int64_t& First, int64_t& After) {
        if (!AheadThread.joinable()) {
            AheadStop = false;
            AheadThread = std::thread([this] { AheadLoop(); });
        }
        std::unique_lock lock(AheadLock);
        if (Ahead.empty()) {
            ConsumerWaits = true;
            AheadChanged.wait(lock, [&] { return !Ahead.empty(); });
            ConsumerWaits = false;
        }
        // The end (or a failure) stays at the front: every later call gets it again.
        if (Ahead.front().Result != wmOk) return Ahead.front().Result;
        TAheadItem item = std::move(Ahead.front());
        Ahead.pop_front();
        const bool wake = DecoderWaits && Ahead.size() <= kAheadDepth / 2;
        lock.unlock();
        if (wake) AheadChanged.notify_all();
        Current.swap(item.Data);
        CurrentBuffer.FData = Current.data();
        CurrentBuffer.FLength = uint32_t(Current.size());
        Sample = &CurrentBuffer;
        First = item.First;
        After = item.After;
        return wmOk;
    }

    // Stops decoding ahead and drops what was decoded but not handed out. With Rewind the
    // reader then stands where the consumer does (the first dropped sample), as if nothing had
    // been decoded ahead; without it (closing, or a SetRange that moves anyway) it does not
    // matter where it stands.
    void StopAhead(bool Rewind) {
        if (!AheadThread.joinable()) return;
        {
            std::lock_guard lock(AheadLock);
            AheadStop = true;
        }
        AheadChanged.notify_all();
        AheadThread.join();
        const bool dropped = !Ahead.empty() && Ahead.front().Result == wmOk;
        const int64_t resume = dropped ? Ahead.front().First : Next;
        Ahead.clear();
        if (Rewind && dropped) {
            Next = resume;
            Restarted = false;
            SeekTo(Next, Next == 0);
        }
    }

    void Release() {
        StopAhead(false);
        ff::avcodec_free_context(&Codec);
        ff::av_packet_free(&Packet);
        ff::av_frame_free(&Frame);
        ff::swr_free(&Swr);
        ff::av_channel_layout_uninit(&SwrInLayout);
        Source.reset();
        Io.reset();
    }

    const detail::TStreamFacts& Facts() const { return Source->Facts(); }
    uint32_t FrameBytes() const { return Facts().Channels * Bits / 8; }

    bool StartDecoding() {
        if (Codec) return true;
        Packet = ff::av_packet_alloc();
        Frame = ff::av_frame_alloc();
        if (!Packet || !Frame) return false;
        if (!Source->OpenDecoder(Codec)) return false;
        return true;
    }

    // Converts Frame to the output format into Out; false when it cannot.
    bool Convert() {
        const int channels = int(Facts().Channels);
        if (!Swr || SwrInFormat != Frame->format ||
            ff::av_channel_layout_compare(&SwrInLayout, &Frame->ch_layout) != 0) {
            ff::swr_free(&Swr);
            AVChannelLayout outLayout{};
            ff::av_channel_layout_default(&outLayout, channels);
            const AVSampleFormat outFormat = Bits == 8    ? AV_SAMPLE_FMT_U8
                                             : Bits == 16 ? AV_SAMPLE_FMT_S16
                                                          : AV_SAMPLE_FMT_S32;
            const int rate = int(Facts().SampleRate);
            const int r =
                ff::swr_alloc_set_opts2(&Swr, &outLayout, outFormat, rate, &Frame->ch_layout,
                                        AVSampleFormat(Frame->format), rate, 0, nullptr);
            ff::av_channel_layout_uninit(&outLayout);
            if (r < 0 || ff::swr_init(Swr) < 0) return false;
            ff::av_channel_layout_uninit(&SwrInLayout);
            ff::av_channel_layout_copy(&SwrInLayout, &Frame->ch_layout);
            SwrInFormat = Frame->format;
        }
        const uint32_t wide = uint32_t(channels) * (Bits == 24 ? 4 : Bits / 8);
        Out.resize(size_t(Frame->nb_samples) * wide);
        uint8_t* dest = Out.data();
        const int got =
            ff::swr_convert(Swr, &dest, Frame->nb_samples,
                            const_cast<const uint8_t**>(Frame->extended_data), Frame->nb_samples);
        if (got < 0) return false;
        if (Bits == 24) {
            // 32-bit samples packed to their upper three bytes, in place.
            for (size_t i = 0; i < size_t(got) * channels; ++i)
                std::memmove(&Out[i * 3], &Out[i * 4 + 1], 3);
        }
        OutFrames = got;
        return true;
    }

    // Whether Frame's samples go to a 16-bit output by a change of sample type alone (the
    // conversion of float is monotonic, so a consumer of extremes may convert after).
    bool TakesAsIs() const {
        const int f = Frame->format;
        if (f != AV_SAMPLE_FMT_FLTP && f != AV_SAMPLE_FMT_FLT && f != AV_SAMPLE_FMT_S16)
            return false;
        AVChannelLayout own{};
        ff::av_channel_layout_default(&own, int(Facts().Channels));
        const bool same = ff::av_channel_layout_compare(&own, &Frame->ch_layout) == 0;
        ff::av_channel_layout_uninit(&own);
        return same;
    }

    TWmResult ReadDecoded(const std::function<bool(const TWmDecoded&)>& Take) {
        const int64_t total = Facts().TotalSamples;
        TWmDecoded d;
        d.Channels = Facts().Channels;
        TWmResult r = wmErrNoMoreSamples;
        Native = true;
        try {
            while (Next < total) {
                if (OutFrames > 0 && SilentFrom <= Next && Next < OutStart) {
                    d.Format = -1;
                    d.Planes = nullptr;
                    d.Offset = 0;
                    d.Frames = std::min(OutStart, total) - Next;
                    Next += d.Frames;
                } else if (OutFrames > 0 && OutStart + OutFrames > Next) {
                    const int64_t from = std::max(Next, OutStart);
                    OutPlane = Out.data();
                    d.Format = OutNative ? Frame->format : AV_SAMPLE_FMT_S16;
                    d.Planes = OutNative ? Frame->extended_data : &OutPlane;
                    d.Offset = from - OutStart;
                    d.Frames = std::min(OutStart + OutFrames, total) - from;
                    Next = from + d.Frames;
                } else {
                    OutFrames = 0;
                    if ((r = Decode()) != wmOk) break;
                    continue;
                }
                if (!Take(d)) {
                    r = wmOk;
                    break;
                }
            }
        } catch (...) {
            Native = OutNative = false;
            OutFrames = 0;
            ff::av_frame_unref(Frame);
            throw;
        }
        Native = false;
        if (OutNative) {
            // A frame not handed out yet (Take stopped at the silence before it) is left
            // converted for GetNextSample.
            OutNative = false;
            if (OutFrames > 0 && !Convert()) r = wmErrFail;
            ff::av_frame_unref(Frame);
        }
        return r;
    }

    // Decodes until a converted frame holding samples at or after Next is in Out.
    TWmResult Decode() {
        for (;;) {
            const int r = ff::avcodec_receive_frame(Codec, Frame);
            if (r == 0) {
                const int64_t start = OutPos - int64_t(Facts().StartSkip);
                const int64_t end = start + Frame->nb_samples;
                OutPos += Frame->nb_samples;
                const int64_t silentFrom =
                    FilledTo != kNotKnown && FilledTo < start ? FilledTo : start;
                FilledTo = end;
                if (CheckLanding) {
                    CheckLanding = false;
                    if (start > Next && !Restarted) {
                        // The seek landed after the target: decode from the start instead.
                        Restarted = true;
                        ff::av_frame_unref(Frame);
                        if (!SeekTo(Next, true)) return wmErrFail;
                        continue;
                    }
                }
                if (end <= Next || Frame->nb_samples <= 0) {
                    ff::av_frame_unref(Frame);
                    continue;
                }
                OutNative = Native && TakesAsIs();
                if (OutNative)
                    OutFrames = Frame->nb_samples;
                else if (!Convert())
                    return wmErrFail;
                OutStart = start;
                SilentFrom = silentFrom;
                if (!OutNative) ff::av_frame_unref(Frame);
                return wmOk;
            }
            if (r == AVERROR_EOF) return wmErrNoMoreSamples;
            if (r != AVERROR(EAGAIN)) {
                // A unit the decoder took but could not decode: as one it refused.
                Resync = true;
                continue;
            }
            int64_t blockStart = 0;
            if (!Flushed && Source->Next(Packet, blockStart)) {
                // Output runs on from the first unit after a (re)start.
                if (OutPos < 0) OutPos = blockStart < 0 ? 0 : blockStart;
                // A unit the decoder refuses gives no samples. Where units keep time, each
                // one starts at its own place; elsewhere the decoder starts afresh at the next
                // unit it takes (it drops what it held back, as after a flush). Either way the
                // gap turns into silence and later samples keep their places.
                const bool taken = ff::avcodec_send_packet(Codec, Packet) == 0;
                if (taken && blockStart >= 0 && (Facts().UnitsKeepTime || Resync)) {
                    OutPos = blockStart;
                }
                Resync = !taken;
            } else if (!Flushed) {
                Flushed = true;
                ff::avcodec_send_packet(Codec, nullptr);
            } else {
                return wmErrNoMoreSamples;
            }
        }
    }

    // Whether the decoder makes sound of any of the first units (a file of junk that only
    // looks like frames holds none). Leaves the reader at the start.
    bool FirstUnitsDecode() {
        if (!StartDecoding()) return false;
        bool decoded = false;
        for (int taken = 0; taken < kProbeUnits;) {
            const int r = ff::avcodec_receive_frame(Codec, Frame);
            if (r == 0) {
                decoded = Frame->nb_samples > 0;
                ff::av_frame_unref(Frame);
                if (decoded) break;
                continue;
            }
            if (r == AVERROR_EOF) break;
            if (r != AVERROR(EAGAIN)) continue;
            int64_t blockStart = 0;
            if (!Flushed && Source->Next(Packet, blockStart)) {
                ff::avcodec_send_packet(Codec, Packet);
                ++taken;
            } else if (!Flushed) {
                Flushed = true;
                ff::avcodec_send_packet(Codec, nullptr);
            } else {
                break;
            }
        }
        return SeekTo(0, true) && decoded;
    }

    bool SeekTo(int64_t Sample, bool FromStart) {
        OutFrames = 0;
        Flushed = false;
        Resync = false;
        OutPos = -1;
        // From the very start, output runs from sample 0 on; after a seek its first frame
        // only tells where it is.
        FilledTo = FromStart ? 0 : kNotKnown;
        if (Codec) ff::avcodec_flush_buffers(Codec);
        const int64_t decoderSample = FromStart ? 0 : Sample + Facts().StartSkip;
        CheckLanding = !FromStart;
        return Source->SeekBefore(decoderSample);
    }

    // Silent frames from Next up to Until (a block at a time).
    TWmResult HandOutSilence(int64_t Until, const TWmBuffer*& Sample) {
        const uint32_t frameBytes = FrameBytes();
        const int64_t count = std::min(Until, Next + kSilenceFrames) - Next;
        Silence.assign(size_t(kSilenceFrames) * frameBytes, Bits == 8 ? 0x80 : 0);
        Buffer.FData = Silence.data();
        Buffer.FLength = uint32_t(count) * frameBytes;
        Next += count;
        Sample = &Buffer;
        return wmOk;
    }

    TWmResult NextSample(const TWmBuffer*& Sample) {
        const int64_t total = Facts().TotalSamples;
        const uint32_t frameBytes = FrameBytes();
        while (Next < total) {
            // Silence for refused units.
            if (OutFrames > 0 && SilentFrom <= Next && Next < OutStart)
                return HandOutSilence(std::min(OutStart, total), Sample);
            if (OutFrames > 0 && OutStart + OutFrames > Next) {
                // A seek that landed late fell back to the start, so Out never starts past
                // Next.
                const int64_t from = std::max(Next, OutStart);
                const int64_t count = std::min(OutStart + OutFrames, total) - from;
                Buffer.FData = Out.data() + size_t(from - OutStart) * frameBytes;
                Buffer.FLength = uint32_t(count) * frameBytes;
                Next = from + count;
                Sample = &Buffer;
                return wmOk;
            }
            OutFrames = 0;
            const TWmResult r = Decode();
            if (r != wmOk) return r;
        }
        return wmErrNoMoreSamples;
    }
};

TWmResult WMCreateSyncReader(std::unique_ptr<TWmSyncReader>& Reader) {
    Reader.reset();
    if (!RuntimeStarted()) return wmErrNotStarted;
    Reader.reset(new TWmSyncReader());
    return wmOk;
}

TWmSyncReader::TWmSyncReader() : FImpl(std::make_unique<TImpl>()) {}
TWmSyncReader::~TWmSyncReader() = default;

TWmResult TWmSyncReader::OpenStream(std::shared_ptr<IWmStream> Stream) {
    if (!Stream) return wmErrInvalidArg;
    FImpl->Release();
    uint64_t base = 0, size = 0;
    if (Stream->Seek(0, 1, &base) != wmOk || Stream->Stat(size) != wmOk || base > size)
        return wmErrFail;
    FImpl->Io = std::make_unique<TStreamIo>(Stream, int64_t(base), int64_t(size - base));
    std::string& reason = FImpl->Refusal;
    reason.clear();
    FImpl->Source = detail::OpenAsfSource(*FImpl->Io, reason);
    if (!FImpl->Source && reason.empty()) FImpl->Source = detail::OpenMp3Source(*FImpl->Io, reason);
    if (FImpl->Source && !FImpl->Facts().Protected &&
        (FImpl->Facts().TotalSamples <= 0 || !FImpl->FirstUnitsDecode())) {
        FImpl->Release();
        reason = "the file holds no audio";
    }
    if (!FImpl->Source) {
        if (reason.empty()) reason = "not an MP3 or WMA file";
        FImpl->Io.reset();
        return wmErrFail;
    }
    FImpl->Discrete = false;
    FImpl->Bits = 16;
    FImpl->ReadAllowed = false;
    FImpl->Next = 0;
    FImpl->FilledTo = 0;
    return wmOk;
}

std::string TWmSyncReader::RefusalReason() const {
    return FImpl->Refusal;
}

TWmResult TWmSyncReader::GetOutputCount(uint32_t& Count) {
    if (!FImpl->Source) return wmErrFail;
    Count = 1;
    return wmOk;
}

TWmResult TWmSyncReader::GetOutputProps(uint32_t Output, TWmMediaType& Type) {
    if (!FImpl->Source || Output != 0) return wmErrInvalidArg;
    const auto& f = FImpl->Facts();
    Type = PcmType(f.SampleRate, f.Channels, FImpl->Bits);
    return wmOk;
}

TWmResult TWmSyncReader::SetOutputSetting(uint32_t Output, const std::string& Name,
                                          TWmAttrType Type, const uint8_t* Value, uint16_t Length) {
    if (!FImpl->Source || Output != 0 || !Value) return wmErrInvalidArg;
    if (Name == g_wszEnableDiscreteOutput && Type == TWmAttrType::wmtBool && Length == 4) {
        int32_t v;
        std::memcpy(&v, Value, 4);
        FImpl->Discrete = v != 0;
        return wmOk;
    }
    // The speaker layout asked for: formats keep the stream's own channels either way.
    if (Name == g_wszSpeakerConfig && Type == TWmAttrType::wmtDword && Length == 4) return wmOk;
    return wmErrNotFound;
}

TWmResult TWmSyncReader::GetOutputFormatCount(uint32_t Output, uint32_t& Count) {
    if (!FImpl->Source || Output != 0) return wmErrInvalidArg;
    Count = FImpl->Discrete ? 3 : 2;
    return wmOk;
}

TWmResult TWmSyncReader::GetOutputFormat(uint32_t Output, uint32_t Format, TWmMediaType& Type) {
    uint32_t count = 0;
    if (GetOutputFormatCount(Output, count) != wmOk || Format >= count) return wmErrInvalidArg;
    static constexpr uint32_t kBits[] = {8, 16, 24};
    const auto& f = FImpl->Facts();
    Type = PcmType(f.SampleRate, f.Channels, kBits[Format]);
    return wmOk;
}

TWmResult TWmSyncReader::SetOutputProps(uint32_t Output, const TWmMediaType& Type) {
    if (!FImpl->Source || Output != 0) return wmErrInvalidArg;
    const auto& f = FImpl->Facts();
    const TWaveFormatEx& w = Type.Format;
    const bool bitsOk =
        w.BitsPerSample == 8 || w.BitsPerSample == 16 || (w.BitsPerSample == 24 && FImpl->Discrete);
    if (!IsEqualGUID(Type.MajorType, WMMEDIATYPE_Audio) ||
        !IsEqualGUID(Type.FormatType, WMFORMAT_WaveFormatEx) || w.Channels != f.Channels ||
        w.SamplesPerSec != f.SampleRate || !bitsOk)
        return wmErrInvalidArg;
    FImpl->StopAhead(true);
    FImpl->Bits = w.BitsPerSample;
    FImpl->OutFrames = 0;
    FImpl->SwrInFormat = -1;
    return wmOk;
}

TWmResult TWmSyncReader::GetStreamNumberForOutput(uint32_t Output, uint16_t& StreamNum) {
    if (!FImpl->Source || Output != 0) return wmErrInvalidArg;
    StreamNum = kStreamNumber;
    return wmOk;
}

TWmResult TWmSyncReader::SetReadStreamSamples(uint16_t StreamNum, bool Compressed) {
    if (!FImpl->Source || StreamNum != kStreamNumber) return wmErrInvalidArg;
    if (Compressed) return wmErrInvalidArg; // only decoded samples are offered
    if (FImpl->Facts().Protected) return wmErrProtected;
    FImpl->ReadAllowed = true;
    return wmOk;
}

TWmResult TWmSyncReader::GetAttributeByName(uint16_t& StreamNum, const std::string& Name,
                                            TWmAttrType& Type, uint8_t* Value, uint16_t& Length) {
    if (!FImpl->Source) return wmErrFail;
    if (StreamNum != 0) return wmErrNotFound;
    const auto& f = FImpl->Facts();
    uint8_t scalar[8];
    std::u16string text;
    uint16_t need;
    if (Name == "Duration") {
        Type = TWmAttrType::wmtQword;
        const uint64_t v = uint64_t(SamplesToTime(f.TotalSamples, f.SampleRate));
        std::memcpy(scalar, &v, 8);
        need = 8;
    } else if (Name == "Bitrate" || Name == "IsVBR") {
        Type = Name == "Bitrate" ? TWmAttrType::wmtDword : TWmAttrType::wmtBool;
        const uint32_t v = Name == "Bitrate" ? f.BitRate : (f.IsVBR ? 1u : 0u);
        std::memcpy(scalar, &v, 4);
        need = 4;
    } else {
        auto it = f.Strings.find(Name);
        if (it == f.Strings.end()) return wmErrNotFound;
        Type = TWmAttrType::wmtString;
        // Texts longer than a 16-bit byte length allows are cut.
        text = it->second.substr(0, 32000);
        need = uint16_t((text.size() + 1) * 2);
    }
    if (!Value) {
        Length = need;
        return wmOk;
    }
    if (Length < need) {
        Length = need;
        return wmErrInvalidArg;
    }
    if (Type == TWmAttrType::wmtString) {
        for (size_t i = 0; i <= text.size(); ++i) {
            const char16_t c = i < text.size() ? text[i] : u'\0';
            Value[i * 2] = uint8_t(c & 0xFF);
            Value[i * 2 + 1] = uint8_t(c >> 8);
        }
    } else {
        std::memcpy(Value, scalar, need);
    }
    Length = need;
    return wmOk;
}

TWmResult TWmSyncReader::GetNextSample(uint16_t StreamNum, const TWmBuffer*& Sample,
                                       uint64_t& SampleTime, uint64_t& Duration) {
    Sample = nullptr;
    if (!FImpl->Source || StreamNum != kStreamNumber || !FImpl->ReadAllowed) return wmErrInvalidArg;
    if (!FImpl->StartDecoding()) return wmErrFail;
    int64_t first = 0, after = 0;
    const TWmResult r = FImpl->TakeAhead(Sample, first, after);
    if (r != wmOk) return r;
    const uint32_t rate = FImpl->Facts().SampleRate;
    SampleTime = uint64_t(SamplesToTime(first, rate));
    Duration = uint64_t(SamplesToTime(after, rate)) - SampleTime;
    return wmOk;
}

TWmResult TWmSyncReader::SetRange(uint64_t Start, int64_t /*Duration*/) {
    if (!FImpl->Source) return wmErrFail;
    FImpl->StopAhead(false);
    const auto& f = FImpl->Facts();
    const int64_t sample = int64_t(std::llround(double(Start) * f.SampleRate / 1e7));
    FImpl->Next = std::min(sample, f.TotalSamples);
    FImpl->Restarted = false;
    if (FImpl->Next >= f.TotalSamples) {
        FImpl->OutFrames = 0;
        return wmOk;
    }
    return FImpl->SeekTo(FImpl->Next, FImpl->Next == 0) ? wmOk : wmErrFail;
}

TWmResult TWmSyncReader::ReadDecoded(const std::function<bool(const TWmDecoded&)>& Take) {
    if (!FImpl->Source || !FImpl->ReadAllowed || FImpl->Bits != 16) return wmErrInvalidArg;
    if (!FImpl->StartDecoding()) return wmErrFail;
    FImpl->StopAhead(true);
    return FImpl->ReadDecoded(Take);
}

TWmResult TWmSyncReader::Close() {
    FImpl->Release();
    return wmOk;
}

} // namespace sundral::wmf
