#include "platform/acmMp3.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
}

#include "platform/mediaLibs.h"
#include "platform/wmfTypes.h"

namespace sundral::acm_mp3 {

namespace {

constexpr std::array<uint32_t, 9> kMpegRates = {8000,  11025, 12000, 16000, 22050,
                                                24000, 32000, 44100, 48000};

// Source bytes go to the parser in pieces copied into a padded buffer: the parser and the
// decoder may read a little past the end of what they are given.
constexpr size_t kChunkSize = 65536;

struct TParserCloser {
    void operator()(AVCodecParserContext* P) const { ff::av_parser_close(P); }
};
struct TCodecFreer {
    void operator()(AVCodecContext* C) const { ff::avcodec_free_context(&C); }
};
struct TPacketFreer {
    void operator()(AVPacket* P) const { ff::av_packet_free(&P); }
};
struct TFrameFreer {
    void operator()(AVFrame* F) const { ff::av_frame_free(&F); }
};
struct TSwrFreer {
    void operator()(SwrContext* S) const { ff::swr_free(&S); }
};

class TDecoder {
public:
    TDecoder(uint32_t SampleRate, uint32_t Channels, uint8_t* Dst, uint64_t DstLength)
        : FRate(SampleRate), FChannels(Channels), FDst(Dst), FDstLength(DstLength) {}
    ~TDecoder() { ff::av_channel_layout_uninit(&FOutLayout); }
    TDecoder(const TDecoder&) = delete;
    TDecoder& operator=(const TDecoder&) = delete;

    TAcmResult Open() {
        wmf::ApplyLogPolicy();
        const AVCodec* codec = ff::avcodec_find_decoder(AV_CODEC_ID_MP3);
        if (!codec) return acmErrNotPossible;
        FParser.reset(ff::av_parser_init(AV_CODEC_ID_MP3));
        FCodec.reset(ff::avcodec_alloc_context3(codec));
        FPacket.reset(ff::av_packet_alloc());
        FFrame.reset(ff::av_frame_alloc());
        if (!FParser || !FCodec || !FPacket || !FFrame) return acmErrNoMem;
        if (ff::avcodec_open2(FCodec.get(), codec, nullptr) < 0) return acmErrNotPossible;
        ff::av_channel_layout_default(&FOutLayout, static_cast<int>(FChannels));
        return acmOk;
    }

    // Parses Size bytes at Data (followed by AV_INPUT_BUFFER_PADDING_SIZE readable bytes)
    // and decodes every frame completed on the way.
    TAcmResult Feed(const uint8_t* Data, int Size) {
        // The parser consumes input or hands out a frame on each call; the guard only stops a
        // parser that does neither from looping forever.
        for (int idle = 0; Size > 0 && idle < 4;) {
            uint8_t* out = nullptr;
            int outSize = 0;
            int used = ff::av_parser_parse2(FParser.get(), FCodec.get(), &out, &outSize, Data, Size,
                                            AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
            if (used < 0) return acmErrNoMem;
            used = std::min(used, Size);
            Data += used;
            Size -= used;
            if (outSize > 0) {
                TAcmResult r = DecodePacket(out, outSize);
                if (r != acmOk) return r;
            } else if (used == 0) {
                ++idle;
            }
        }
        return acmOk;
    }

    // Hands out the frame the parser still holds at the end of the source (Padding points at
    // AV_INPUT_BUFFER_PADDING_SIZE zero bytes).
    TAcmResult Drain(const uint8_t* Padding) {
        for (int round = 0; round < 4; ++round) {
            uint8_t* out = nullptr;
            int outSize = 0;
            ff::av_parser_parse2(FParser.get(), FCodec.get(), &out, &outSize, Padding, 0,
                                 AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
            if (outSize <= 0) break;
            TAcmResult r = DecodePacket(out, outSize);
            if (r != acmOk) return r;
        }
        return acmOk;
    }

    // Sends the decoder its end of stream and collects the frames it still holds.
    TAcmResult Finish() { return DecodePacket(nullptr, 0); }

    TMp3DecodeResult& Stats() { return FStats; }

private:
    TAcmResult DecodePacket(uint8_t* Data, int Size) {
        AVPacket* pkt = nullptr;
        if (Data) {
            pkt = FPacket.get();
            pkt->data = Data;
            pkt->size = Size;
        }
        int ret = ff::avcodec_send_packet(FCodec.get(), pkt);
        // A damaged frame is refused here (or when its output is collected below); the
        // decoder drops it and goes on with the next one.
        if (ret < 0 && ret != AVERROR_EOF && ret != AVERROR(EAGAIN)) ++FStats.PacketsRejected;
        for (;;) {
            ret = ff::avcodec_receive_frame(FCodec.get(), FFrame.get());
            if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) break;
            if (ret < 0) {
                ++FStats.PacketsRejected;
                break;
            }
            TAcmResult r = Emit(FFrame.get());
            ff::av_frame_unref(FFrame.get());
            if (r != acmOk) return r;
        }
        return acmOk;
    }

    TAcmResult Emit(AVFrame* Frame) {
        // The destination size was bounded for frames at the declared rate; frames at
        // another rate belong to a different stream and are not part of this one.
        if (Frame->sample_rate != static_cast<int>(FRate) || Frame->nb_samples <= 0) {
            ++FStats.FramesDropped;
            return acmOk;
        }
        int inChannels = Frame->ch_layout.nb_channels;
        if (inChannels < 1 || inChannels > 2) {
            ++FStats.FramesDropped;
            return acmOk;
        }
        if (!FSwr || Frame->format != FInFormat || inChannels != FInChannels) {
            TAcmResult r = SetUpConverter(Frame);
            if (r != acmOk) return r;
        }
        uint64_t blockAlign = FChannels * 2u;
        uint64_t room = (FDstLength - FStats.DstUsed) / blockAlign;
        // Same rate in and out: the converter returns exactly the frame's sample count.
        if (static_cast<uint64_t>(Frame->nb_samples) > room) return acmErrDestTooSmall;
        uint8_t* out = FDst + FStats.DstUsed;
        int n =
            ff::swr_convert(FSwr.get(), &out, Frame->nb_samples,
                            const_cast<const uint8_t**>(Frame->extended_data), Frame->nb_samples);
        if (n < 0) return acmErrNotPossible;
        FStats.DstUsed += static_cast<uint64_t>(n) * blockAlign;
        ++FStats.FramesDecoded;
        return acmOk;
    }

    TAcmResult SetUpConverter(AVFrame* Frame) {
        FSwr.reset();
        SwrContext* swr = nullptr;
        if (ff::swr_alloc_set_opts2(&swr, &FOutLayout, AV_SAMPLE_FMT_S16, static_cast<int>(FRate),
                                    &Frame->ch_layout, static_cast<AVSampleFormat>(Frame->format),
                                    Frame->sample_rate, 0, nullptr) < 0)
            return acmErrNoMem;
        FSwr.reset(swr);
        int inChannels = Frame->ch_layout.nb_channels;
        if (inChannels != static_cast<int>(FChannels)) {
            // Mono spreads to both sides at full level; stereo folds to the mean of the two.
            const double up[2] = {1.0, 1.0};
            const double down[2] = {0.5, 0.5};
            if (ff::swr_set_matrix(swr, inChannels == 1 ? up : down, inChannels) < 0)
                return acmErrNotPossible;
        }
        if (ff::swr_init(swr) < 0) return acmErrNotPossible;
        FInFormat = Frame->format;
        FInChannels = inChannels;
        return acmOk;
    }

    uint32_t FRate;
    uint32_t FChannels;
    uint8_t* FDst;
    uint64_t FDstLength;
    AVChannelLayout FOutLayout{};
    int FInFormat = -1;
    int FInChannels = 0;
    std::unique_ptr<AVCodecParserContext, TParserCloser> FParser;
    std::unique_ptr<AVCodecContext, TCodecFreer> FCodec;
    std::unique_ptr<AVPacket, TPacketFreer> FPacket;
    std::unique_ptr<AVFrame, TFrameFreer> FFrame;
    std::unique_ptr<SwrContext, TSwrFreer> FSwr;
    TMp3DecodeResult FStats;
};

// Smallest frame in bytes and its sample count for each layer at a rate. Layer I counts in
// 4-byte slots. Bit rates are each layer's lowest: 32 kbit/s for every MPEG-1 layer and for
// MPEG-2 layer I, 8 kbit/s for MPEG-2/2.5 layers II and III.
struct TFrameShape {
    uint64_t Bytes;
    uint64_t Samples;
};

std::array<TFrameShape, 3> SmallestFrames(uint32_t SampleRate) {
    bool lsf = SampleRate < 32000;
    uint64_t low = lsf ? 8000 : 32000;
    return {{{(12 * 32000 / SampleRate) * 4, 384},
             {144 * low / SampleRate, 1152},
             {(lsf ? 72 : 144) * low / SampleRate, lsf ? 576u : 1152u}}};
}

} // namespace

bool IsMpegSampleRate(uint32_t SampleRate) {
    return std::find(kMpegRates.begin(), kMpegRates.end(), SampleRate) != kMpegRates.end();
}

uint64_t MaxSampleFrames(uint64_t SrcLength, uint32_t SampleRate) {
    if (!IsMpegSampleRate(SampleRate)) return 0;
    // Every frame holds at most Samples/Bytes samples per byte of its own size, so the best
    // ratio over the layers bounds the whole buffer; one more frame covers a partial tail.
    uint64_t most = 0;
    for (const TFrameShape& f : SmallestFrames(SampleRate))
        most = std::max(most, (SrcLength * f.Samples + f.Bytes - 1) / f.Bytes);
    return most + 1152;
}

TMp3DecodeResult Decode(const uint8_t* Src, uint64_t SrcLength, uint32_t SampleRate,
                        uint32_t Channels, uint8_t* Dst, uint64_t DstLength) {
    if (!medialibs::LoadFfmpeg()) {
        TMp3DecodeResult failed;
        failed.Result = acmErrNotPossible;
        return failed;
    }
    TDecoder decoder(SampleRate, Channels, Dst, DstLength);
    TMp3DecodeResult& stats = decoder.Stats();
    if ((stats.Result = decoder.Open()) != acmOk) return stats;

    std::vector<uint8_t> chunk;
    try {
        chunk.assign(kChunkSize + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    } catch (const std::bad_alloc&) {
        stats.Result = acmErrNoMem;
        return stats;
    }
    for (uint64_t done = 0; done < SrcLength;) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(kChunkSize, SrcLength - done));
        std::memcpy(chunk.data(), Src + done, n);
        std::memset(chunk.data() + n, 0, AV_INPUT_BUFFER_PADDING_SIZE);
        if ((stats.Result = decoder.Feed(chunk.data(), static_cast<int>(n))) != acmOk) return stats;
        done += n;
    }
    std::memset(chunk.data(), 0, AV_INPUT_BUFFER_PADDING_SIZE);
    if ((stats.Result = decoder.Drain(chunk.data())) != acmOk) return stats;
    if ((stats.Result = decoder.Finish()) != acmOk) return stats;
    stats.SrcUsed = SrcLength;
    if (stats.FramesDecoded == 0) stats.Result = acmErrNoAudio;
    return stats;
}

} // namespace sundral::acm_mp3
