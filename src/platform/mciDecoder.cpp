#include "platform/mciDecoder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include "platform/mciMedia.h"
#include "platform/mediaLibs.h"
#include "platform/wmfTypes.h"

namespace sundral::mci {

namespace {

// WAV only (MP3 and WMA go through the readers' decoder): no playlists or other demuxers
// that would pull in more files.
constexpr const char* kFormats = "wav";
// Sample rates and channel counts outside these come from a damaged or hostile header.
constexpr int kMaxSampleRate = 768000;
constexpr int kMaxChannels = 32;
// Packets a decoder may refuse in a row before the stream counts as undecodable.
constexpr int kMaxBadPackets = 64;

struct TFormatCloser {
    void operator()(AVFormatContext* P) const { ff::avformat_close_input(&P); }
};
struct TCodecCloser {
    void operator()(AVCodecContext* P) const { ff::avcodec_free_context(&P); }
};
struct TSwrCloser {
    void operator()(SwrContext* P) const { ff::swr_free(&P); }
};
struct TPacketCloser {
    void operator()(AVPacket* P) const { ff::av_packet_free(&P); }
};
struct TFrameCloser {
    void operator()(AVFrame* P) const { ff::av_frame_free(&P); }
};
using TFormatPtr = std::unique_ptr<AVFormatContext, TFormatCloser>;
using TCodecPtr = std::unique_ptr<AVCodecContext, TCodecCloser>;
using TSwrPtr = std::unique_ptr<SwrContext, TSwrCloser>;
using TPacketPtr = std::unique_ptr<AVPacket, TPacketCloser>;
using TFramePtr = std::unique_ptr<AVFrame, TFrameCloser>;

int Interrupted(void* Flag) {
    const auto* f = static_cast<const std::atomic<bool>*>(Flag);
    return f && f->load() ? 1 : 0;
}

// Opens the file's container, restricted to local files and plain sound containers, and
// finds its best audio stream. The stream's rate and channel count are checked here.
TMciError OpenContainer(const std::string& FileName, const std::atomic<bool>* Interrupt,
                        TFormatPtr& Fmt, int& Stream) {
    std::error_code ec;
    const auto status = std::filesystem::status(FileName, ec);
    if (!std::filesystem::exists(status)) return mciErrFileNotFound;
    if (std::filesystem::is_directory(status)) return mciErrCannotOpen;

    wmf::ApplyLogPolicy();
    AVFormatContext* ctx = ff::avformat_alloc_context();
    if (!ctx) return mciErrCannotOpen;
    ctx->interrupt_callback.callback = Interrupted;
    ctx->interrupt_callback.opaque = const_cast<std::atomic<bool>*>(Interrupt);
    AVDictionary* options = nullptr;
    ff::av_dict_set(&options, "protocol_whitelist", "file", 0);
    ff::av_dict_set(&options, "format_whitelist", kFormats, 0);
    // "file:" keeps a name that looks like a URL a local file name.
    const int opened =
        ff::avformat_open_input(&ctx, ("file:" + FileName).c_str(), nullptr, &options);
    ff::av_dict_free(&options);
    if (opened < 0) {
        if (opened == AVERROR(ENOENT)) return mciErrFileNotFound;
        if (opened == AVERROR(EACCES) || opened == AVERROR(EISDIR) || opened == AVERROR(EPERM))
            return mciErrCannotOpen;
        return mciErrUnsupported;
    }
    Fmt.reset(ctx);
    if (ff::avformat_find_stream_info(ctx, nullptr) < 0) return mciErrUnsupported;
    Stream = ff::av_find_best_stream(ctx, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (Stream < 0) return mciErrUnsupported;
    const AVCodecParameters* par = ctx->streams[Stream]->codecpar;
    // Rate and channel count size every buffer and position computation below.
    if (par->sample_rate <= 0 || par->sample_rate > kMaxSampleRate ||
        par->ch_layout.nb_channels <= 0 || par->ch_layout.nb_channels > kMaxChannels)
        return mciErrUnsupported;
    const AVRational tb = ctx->streams[Stream]->time_base;
    if (tb.num <= 0 || tb.den <= 0) return mciErrUnsupported;
    return mciOk;
}

// Sums and differences of timestamps and durations from the file, held to a range where
// later arithmetic cannot overflow: a damaged file gives a wrong position, never undefined
// behaviour.
constexpr int64_t kMaxTime = int64_t(1) << 53;
int64_t Bounded(int64_t Value) {
    return std::clamp(Value, -kMaxTime, kMaxTime);
}
int64_t Add(int64_t A, int64_t B) {
    return Bounded(Bounded(A) + Bounded(B));
}

uint32_t LittleEndian32(const uint8_t* P) {
    return P[0] | P[1] << 8 | P[2] << 16 | static_cast<uint32_t>(P[3]) << 24;
}

// Counts the frames a decode of the whole file yields, from the packets' durations less the
// encoder delay and padding the demuxer marks; -1 when a packet has no duration.
int64_t CountFrames(const std::string& FileName) {
    TFormatPtr fmt;
    int stream = -1;
    if (OpenContainer(FileName, nullptr, fmt, stream) != mciOk) return -1;
    const AVStream* st = fmt->streams[stream];
    const AVRational perFrame{1, st->codecpar->sample_rate};
    TPacketPtr packet(ff::av_packet_alloc());
    if (!packet) return -1;
    int64_t frames = 0;
    while (ff::av_read_frame(fmt.get(), packet.get()) >= 0) {
        if (packet->stream_index == stream) {
            if (packet->duration <= 0) {
                ff::av_packet_unref(packet.get());
                return -1;
            }
            frames = Add(frames, ff::av_rescale_q(packet->duration, st->time_base, perFrame));
            size_t size = 0;
            const uint8_t* skip =
                ff::av_packet_get_side_data(packet.get(), AV_PKT_DATA_SKIP_SAMPLES, &size);
            // The side data is 4 bytes of frames skipped at the start, 4 at the end, 2 more.
            if (skip && size >= 8) {
                frames -= std::min<int64_t>(LittleEndian32(skip), INT32_MAX);
                frames -= std::min<int64_t>(LittleEndian32(skip + 4), INT32_MAX);
            }
        }
        ff::av_packet_unref(packet.get());
    }
    return std::max<int64_t>(frames, 0);
}

} // namespace

struct TMciDecoder::TImpl {
    // Fixed at open; read by LengthMs on any thread.
    std::string FileName;
    uint32_t Rate = 0;
    uint16_t Channels = 0;
    AVCodecID CodecId = AV_CODEC_ID_NONE;
    AVRational TimeBase{1, 1};
    int64_t StreamDuration = AV_NOPTS_VALUE; // in TimeBase
    int64_t FormatDuration = AV_NOPTS_VALUE; // in AV_TIME_BASE
    int FrameSize = 0;                       // the codec's fixed frame length, 0 when none
    // How a seek finds where it landed: by the frames' timestamps; by the byte offset of the
    // first packet read, for WAV data in blocks of a fixed number of frames (the WAV demuxer
    // estimates ADPCM timestamps from the average byte rate); or not at all, decoding from
    // the start instead.
    enum class TSeekBy { sbTimestamps, sbBlocks, sbRestart } SeekBy = TSeekBy::sbTimestamps;
    int64_t DataStart = 0;      // byte offset of the first block
    int BlockAlign = 0;         // bytes per block
    int64_t FramesPerBlock = 0; // frames a block decodes to

    // The reading state; reopened to go back to the start.
    TFormatPtr Fmt;
    TCodecPtr Codec;
    TSwrPtr Swr;
    TPacketPtr Packet;
    TFramePtr Frame;
    int Stream = -1;
    const std::atomic<bool>* Interrupt = nullptr;
    bool Drained = false; // the decoder was sent the end of the stream
    // The first packet sent to the decoder since opening or seeking.
    int64_t FirstPos = -1;
    int FirstSize = 0;
    int64_t FirstDuration = 0;
    int BadPackets = 0;

    // The converter's input as last configured.
    int SwrFormat = -1;
    int SwrRate = 0;
    AVChannelLayout SwrLayout{};
    uint16_t OutChannels = 0;

    bool HasOrigin = false;
    int64_t Origin = 0; // timestamp of the first frame a decode from the start yields

    // Decoded frames not yet delivered: Pcm holds frames PcmFrame.. of the output.
    std::vector<int16_t> Pcm;
    size_t PcmUsed = 0; // frames of Pcm already delivered
    int64_t PcmFrame = 0;
    bool AtEnd = false;
    bool Positioned = true; // Pcm and the reader agree with Next()

    int64_t LengthMs = -2; // -2: not asked yet

    ~TImpl() { ff::av_channel_layout_uninit(&SwrLayout); }

    int64_t PcmFrames() const { return int64_t(Pcm.size() / OutChannels); }
    int64_t Next() const { return PcmFrame + int64_t(PcmUsed); }

    TMciError OpenReader() {
        Codec.reset();
        Swr.reset();
        SwrFormat = -1;
        Fmt.reset();
        TMciError error = OpenContainer(FileName, Interrupt, Fmt, Stream);
        if (error != mciOk) return error;
        const AVStream* st = Fmt->streams[Stream];
        const AVCodec* decoder = ff::avcodec_find_decoder(st->codecpar->codec_id);
        if (!decoder) return mciErrUnsupported;
        Codec.reset(ff::avcodec_alloc_context3(decoder));
        if (!Codec || ff::avcodec_parameters_to_context(Codec.get(), st->codecpar) < 0)
            return mciErrCannotDecode;
        Codec->pkt_timebase = st->time_base;
        Codec->thread_count = 1;
        if (ff::avcodec_open2(Codec.get(), decoder, nullptr) < 0) return mciErrCannotDecode;
        if (!Packet) Packet.reset(ff::av_packet_alloc());
        if (!Frame) Frame.reset(ff::av_frame_alloc());
        if (!Packet || !Frame) return mciErrCannotDecode;
        Drained = false;
        FirstPos = -1;
        BadPackets = 0;
        Pcm.clear();
        PcmUsed = 0;
        AtEnd = false;
        return mciOk;
    }

    // Configures the converter for the frame's format, rate and layout when they changed.
    bool SetUpConverter(const AVFrame* F) {
        if (Swr && F->format == SwrFormat && F->sample_rate == SwrRate &&
            ff::av_channel_layout_compare(&F->ch_layout, &SwrLayout) == 0)
            return true;
        // A frame's own rate and channel count size the conversion; the same limits hold.
        if (F->sample_rate <= 0 || F->sample_rate > kMaxSampleRate ||
            F->ch_layout.nb_channels <= 0 || F->ch_layout.nb_channels > kMaxChannels)
            return false;
        AVChannelLayout in{}, out{};
        if (F->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
            ff::av_channel_layout_default(&in, F->ch_layout.nb_channels);
        else if (ff::av_channel_layout_copy(&in, &F->ch_layout) < 0)
            return false;
        if (OutChannels == in.nb_channels)
            ff::av_channel_layout_copy(&out, &in);
        else
            ff::av_channel_layout_default(&out, OutChannels);
        SwrContext* swr = nullptr;
        const int made =
            ff::swr_alloc_set_opts2(&swr, &out, AV_SAMPLE_FMT_S16, int(Rate), &in,
                                    AVSampleFormat(F->format), F->sample_rate, 0, nullptr);
        Swr.reset(swr);
        // Channels with no known places: each output channel takes the mean of every
        // OutChannels-th input channel.
        bool matrixSet = true;
        if (made >= 0 && in.order == AV_CHANNEL_ORDER_UNSPEC && in.nb_channels != OutChannels) {
            const int n = in.nb_channels;
            std::vector<double> matrix(size_t(n) * OutChannels, 0.0);
            for (int i = 0; i < n; ++i)
                matrix[size_t(i % OutChannels) * n + i] =
                    1.0 / ((n + OutChannels - 1) / OutChannels);
            matrixSet = ff::swr_set_matrix(swr, matrix.data(), n) >= 0;
        }
        ff::av_channel_layout_uninit(&in);
        ff::av_channel_layout_uninit(&out);
        if (made < 0 || !matrixSet || ff::swr_init(swr) < 0) {
            Swr.reset();
            return false;
        }
        SwrFormat = F->format;
        SwrRate = F->sample_rate;
        ff::av_channel_layout_uninit(&SwrLayout);
        ff::av_channel_layout_copy(&SwrLayout, &F->ch_layout);
        return true;
    }

    // Decodes the next frame into Frame: 1 done, 0 end of stream, -1 failure.
    int DecodeFrame() {
        for (;;) {
            const int received = ff::avcodec_receive_frame(Codec.get(), Frame.get());
            if (received == 0) return 1;
            if (received == AVERROR_EOF) return 0;
            if (received != AVERROR(EAGAIN)) {
                // A frame the decoder refused, as for a damaged packet below.
                if (++BadPackets > kMaxBadPackets) return -1;
                continue;
            }
            if (Drained) return 0;
            const int read = ff::av_read_frame(Fmt.get(), Packet.get());
            if (read == AVERROR_EXIT) return -1;
            if (read < 0) {
                // End of the file, or a read error: the decoder hands out what it holds.
                ff::avcodec_send_packet(Codec.get(), nullptr);
                Drained = true;
                continue;
            }
            if (Packet->stream_index != Stream) {
                ff::av_packet_unref(Packet.get());
                continue;
            }
            if (FirstPos < 0 && Packet->pos >= 0) {
                FirstPos = Packet->pos;
                FirstSize = Packet->size;
                FirstDuration = Packet->duration;
            }
            const int sent = ff::avcodec_send_packet(Codec.get(), Packet.get());
            ff::av_packet_unref(Packet.get());
            // A damaged packet is skipped, as players do; a stream of them is a failure.
            if (sent < 0 && sent != AVERROR(EAGAIN)) {
                if (++BadPackets > kMaxBadPackets) return -1;
            } else {
                BadPackets = 0;
            }
        }
    }

    // Converts Frame into Pcm (replacing it). False when the frame cannot be converted.
    bool ConvertFrame() {
        if (!SetUpConverter(Frame.get())) return false;
        const int room = ff::swr_get_out_samples(Swr.get(), Frame->nb_samples);
        if (room < 0) return false;
        Pcm.resize(size_t(room) * OutChannels);
        uint8_t* out[1] = {reinterpret_cast<uint8_t*>(Pcm.data())};
        const int made =
            ff::swr_convert(Swr.get(), out, room, const_cast<const uint8_t**>(Frame->extended_data),
                            Frame->nb_samples);
        ff::av_frame_unref(Frame.get());
        if (made < 0) return false;
        Pcm.resize(size_t(made) * OutChannels);
        PcmUsed = 0;
        return true;
    }

    // Where a frame with this timestamp lands in the output. Timestamps coarser than a sample
    // (ASF counts milliseconds) are put on the codec's frame grid.
    int64_t FrameAt(int64_t Pts, int Samples) const {
        int64_t at =
            Bounded(ff::av_rescale_q(Add(Pts, -Origin), TimeBase, AVRational{1, int(Rate)}));
        const int unit = FrameSize > 0 ? FrameSize : Samples;
        if (int64_t(TimeBase.num) * Rate > TimeBase.den && unit > 0)
            at = (at >= 0 ? at + unit / 2 : at - unit / 2) / unit * unit;
        return at;
    }

    // Next block of output into Pcm: 1, 0 at the end, -1 on failure.
    int NextBlock() {
        if (AtEnd) return 0;
        const int64_t next = Next();
        const int got = DecodeFrame();
        if (got <= 0) {
            if (got == 0) AtEnd = true;
            Pcm.clear();
            PcmUsed = 0;
            PcmFrame = next;
            return got;
        }
        if (!ConvertFrame()) return -1;
        PcmFrame = next;
        return 1;
    }

    // Back to the very start: a fresh reader, so the output is what a decode from the start
    // gives.
    TMciError Restart() {
        const TMciError error = OpenReader();
        return error != mciOk ? error : DecodeFirst();
    }

    // Decodes the first frame of a fresh reader, which fixes the origin of the timestamps.
    TMciError DecodeFirst() {
        const int got = DecodeFrame();
        if (got < 0) return mciErrCannotDecode;
        PcmFrame = 0;
        if (got == 0) {
            AtEnd = true;
            return mciOk;
        }
        if (!HasOrigin) {
            HasOrigin = Frame->best_effort_timestamp != AV_NOPTS_VALUE;
            Origin = HasOrigin ? Frame->best_effort_timestamp : 0;
        }
        return ConvertFrame() ? mciOk : mciErrCannotDecode;
    }

    // WAV data: blocks when the first packet shows whole blocks of whole frames, else a decode
    // from the start. Called after the first packet was decoded.
    void ChooseSeek(int Align) {
        if (std::strcmp(Fmt->iformat->name, "wav") != 0) return;
        SeekBy = TSeekBy::sbRestart;
        if (Align <= 0 || FirstPos < 0 || FirstSize <= 0 || FirstSize % Align != 0) return;
        const int64_t blocks = FirstSize / Align;
        const int64_t frames = ff::av_rescale_q(FirstDuration, TimeBase, AVRational{1, int(Rate)});
        if (frames <= 0 || frames % blocks != 0) return;
        SeekBy = TSeekBy::sbBlocks;
        DataStart = FirstPos;
        BlockAlign = Align;
        FramesPerBlock = frames / blocks;
    }

    // Decodes forward, dropping output, until frame Target is the next one.
    bool SkipTo(int64_t Target) {
        while (Next() < Target) {
            if (PcmUsed < size_t(PcmFrames())) {
                PcmUsed += size_t(std::min<int64_t>(Target - Next(), PcmFrames() - PcmUsed));
                continue;
            }
            const int got = NextBlock();
            if (got < 0) return false;
            if (got == 0) return true;
        }
        return true;
    }

    // Seeks the container to a timestamp at or before frame From and decodes the first frame
    // there. False when that did not land at or before From.
    bool SeekBefore(int64_t From) {
        const int64_t ts = Add(Origin, ff::av_rescale_q(From, AVRational{1, int(Rate)}, TimeBase));
        if (ff::av_seek_frame(Fmt.get(), Stream, ts, AVSEEK_FLAG_BACKWARD) < 0) return false;
        ff::avcodec_flush_buffers(Codec.get());
        Drained = false;
        FirstPos = -1;
        AtEnd = false;
        Pcm.clear();
        PcmUsed = 0;
        if (DecodeFrame() != 1) return false;
        int64_t at = 0;
        if (SeekBy == TSeekBy::sbBlocks) {
            // Block data has no decoder delay: the first frame comes from the first packet.
            const int64_t offset = FirstPos - DataStart;
            if (FirstPos < 0 || offset < 0 || offset % BlockAlign != 0) return false;
            at = offset / BlockAlign * FramesPerBlock;
        } else {
            const int64_t pts = Frame->best_effort_timestamp;
            if (pts == AV_NOPTS_VALUE) return false;
            at = FrameAt(pts, Frame->nb_samples);
        }
        if (at > From || !ConvertFrame()) return false;
        PcmFrame = at;
        return true;
    }

    bool Seek(int64_t Target) {
        Target = std::max<int64_t>(Target, 0);
        const int64_t next = Next();
        if (Positioned) {
            // Within the block in hand, or close ahead: no seek needed.
            if (Target >= PcmFrame && Target <= next) {
                PcmUsed = size_t(Target - PcmFrame);
                return true;
            }
            if (Target > next && Target - next <= int64_t(Rate)) return SkipTo(Target);
        }
        Positioned = true;
        // Start earlier than asked, so the decoder has the frames the first one builds on;
        // when the seek lands late, go further back, down to the start.
        if (HasOrigin && SeekBy != TSeekBy::sbRestart) {
            for (int64_t preroll = Rate / 2; Target - preroll > 0; preroll *= 4)
                if (SeekBefore(Target - preroll)) return SkipTo(Target);
        }
        return Restart() == mciOk && SkipTo(Target);
    }
};

TMciDecoder::TMciDecoder(std::unique_ptr<TImpl> Impl) : FImpl(std::move(Impl)) {}
TMciDecoder::TMciDecoder(std::unique_ptr<TMciMediaDecoder> Media) : FMedia(std::move(Media)) {}

namespace {
// A RIFF/WAVE file (or its 64-bit and big-endian kin) goes to FFmpeg; anything else to the
// readers' decoder, which takes MP3 and WMA and refuses the rest.
bool LooksLikeWave(const std::string& FileName) {
    std::FILE* f = std::fopen(FileName.c_str(), "rb");
    if (!f) return false;
    char head[12] = {};
    const size_t got = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    return got == sizeof head &&
           (!std::memcmp(head, "RIFF", 4) || !std::memcmp(head, "RIFX", 4) ||
            !std::memcmp(head, "RF64", 4)) &&
           !std::memcmp(head + 8, "WAVE", 4);
}
} // namespace
TMciDecoder::~TMciDecoder() = default;

std::unique_ptr<TMciDecoder> TMciDecoder::Open(const std::string& FileName, TMciError& Error) {
    if (FileName.empty()) {
        Error = mciErrFileNameEmpty;
        return nullptr;
    }
    if (!LooksLikeWave(FileName)) {
        auto media = TMciMediaDecoder::Open(FileName, Error);
        if (!media) return nullptr;
        return std::unique_ptr<TMciDecoder>(new TMciDecoder(std::move(media)));
    }
    if (!medialibs::LoadFfmpeg()) {
        Error = mciErrCannotDecode;
        return nullptr;
    }
    auto impl = std::make_unique<TImpl>();
    impl->FileName = FileName;
    Error = impl->OpenReader();
    if (Error != mciOk) return nullptr;
    const AVStream* st = impl->Fmt->streams[impl->Stream];
    impl->Rate = uint32_t(st->codecpar->sample_rate);
    impl->Channels = uint16_t(st->codecpar->ch_layout.nb_channels);
    impl->OutChannels = impl->Channels;
    impl->CodecId = st->codecpar->codec_id;
    impl->TimeBase = st->time_base;
    impl->StreamDuration = st->duration;
    impl->FormatDuration = impl->Fmt->duration;
    impl->FrameSize = std::max(st->codecpar->frame_size, 0);
    Error = impl->DecodeFirst();
    if (Error != mciOk) return nullptr;
    impl->ChooseSeek(st->codecpar->block_align);
    if (impl->AtEnd) {
        Error = mciErrCannotDecode; // a sound file with no sound in it
        return nullptr;
    }
    return std::unique_ptr<TMciDecoder>(new TMciDecoder(std::move(impl)));
}

uint32_t TMciDecoder::SampleRate() const {
    if (FMedia) return FMedia->SampleRate();
    return FImpl->Rate;
}
uint16_t TMciDecoder::SourceChannels() const {
    if (FMedia) return FMedia->SourceChannels();
    return FImpl->Channels;
}
uint16_t TMciDecoder::OutputChannels() const {
    if (FMedia) return FMedia->OutputChannels();
    return FImpl->OutChannels;
}

void TMciDecoder::SetOutputChannels(uint16_t Value) {
    if (FMedia) return FMedia->SetOutputChannels(Value);
    if (Value == 0 || Value == FImpl->OutChannels) return;
    // What is decoded but not delivered is dropped; the next Seek or Read decodes it again.
    TImpl& d = *FImpl;
    d.PcmFrame = d.Next();
    d.Pcm.clear();
    d.PcmUsed = 0;
    d.OutChannels = Value;
    d.Swr.reset();
    d.SwrFormat = -1;
    d.Positioned = false;
}

void TMciDecoder::SetInterrupt(const std::atomic<bool>* Flag) {
    if (FMedia) return FMedia->SetInterrupt(Flag);
    FImpl->Interrupt = Flag;
    if (FImpl->Fmt) FImpl->Fmt->interrupt_callback.opaque = const_cast<std::atomic<bool>*>(Flag);
}

int64_t TMciDecoder::LengthMs() {
    if (FMedia) return FMedia->LengthMs();
    TImpl& d = *FImpl;
    if (d.LengthMs != -2) return d.LengthMs;
    // The container's length, counted only when the container states none.
    int64_t ms = -1;
    if (d.StreamDuration != AV_NOPTS_VALUE && d.StreamDuration > 0)
        ms = ff::av_rescale_q_rnd(d.StreamDuration, d.TimeBase, AVRational{1, 1000}, AV_ROUND_DOWN);
    if (ms < 0 && d.FormatDuration != AV_NOPTS_VALUE && d.FormatDuration > 0)
        ms = d.FormatDuration / (AV_TIME_BASE / 1000);
    if (ms < 0) {
        const int64_t frames = CountFrames(d.FileName);
        if (frames >= 0) ms = Bounded(frames) * 1000 / d.Rate;
    }
    d.LengthMs = ms;
    return ms;
}

bool TMciDecoder::Seek(int64_t Frame) {
    if (FMedia) return FMedia->Seek(Frame);
    return FImpl->Seek(Frame);
}

int64_t TMciDecoder::Read(int16_t* Buffer, int64_t MaxFrames) {
    if (FMedia) return FMedia->Read(Buffer, MaxFrames);
    TImpl& d = *FImpl;
    if (!d.Positioned && !d.Seek(d.Next())) return -1;
    int64_t done = 0;
    while (done < MaxFrames) {
        const int64_t left = d.PcmFrames() - int64_t(d.PcmUsed);
        if (left <= 0) {
            const int got = d.NextBlock();
            if (got < 0) return done > 0 ? done : -1;
            if (got == 0) break;
            continue;
        }
        const int64_t n = std::min(left, MaxFrames - done);
        std::memcpy(Buffer + done * d.OutChannels, d.Pcm.data() + d.PcmUsed * d.OutChannels,
                    size_t(n) * d.OutChannels * sizeof(int16_t));
        d.PcmUsed += size_t(n);
        done += n;
    }
    return done;
}

int64_t TMciDecoder::NextFrame() const {
    if (FMedia) return FMedia->NextFrame();
    return FImpl->Next();
}

} // namespace sundral::mci
