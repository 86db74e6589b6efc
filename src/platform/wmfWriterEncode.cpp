#include "platform/wmfWriterEncode.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include "platform/mediaLibs.h"

namespace sundral::wmf {

namespace {

constexpr int kIoBufferSize = 64 * 1024;
// Fixed, so that a network sink knows where packets begin.
constexpr uint32_t kPacketSize = 3200;

AVSampleFormat InputSampleFormat(uint16_t Bits) {
    switch (Bits) {
    case 8:
        return AV_SAMPLE_FMT_U8;
    case 16:
        return AV_SAMPLE_FMT_S16;
    case 32:
        return AV_SAMPLE_FMT_S32;
    default:
        return AV_SAMPLE_FMT_S32; // 24-bit: widened to 32 bits first
    }
}

} // namespace

TWmEncodePipe::~TWmEncodePipe() {
    if (FIo != nullptr) {
        ff::av_freep(&FIo->buffer);
        ff::avio_context_free(&FIo);
    }
    if (FFormat != nullptr) ff::avformat_free_context(FFormat);
    ff::avcodec_free_context(&FCodec);
    ff::swr_free(&FSwr);
    ff::av_frame_free(&FFrame);
    ff::av_packet_free(&FPacket);
    if (FFifo != nullptr) ff::av_audio_fifo_free(FFifo);
    for (uint8_t*& plane : FPlanes) ff::av_freep(&plane);
}

TWmResult TWmEncodePipe::Open(const TWmEncodeSettings& Settings, TWmStatus& Status) {
    FSettings = Settings;
    const TWmCodecFormat& format = Settings.Format;
    Status = TWmStatus::wmsMissingCodec;
    const AVCodec* codec =
        ff::avcodec_find_encoder(Settings.Codec == 0 ? AV_CODEC_ID_WMAV2 : AV_CODEC_ID_WMAV1);
    if (codec == nullptr) return wmErrNoCodec;
    if (ff::avformat_alloc_output_context2(&FFormat, nullptr, "asf", nullptr) < 0 || !FFormat)
        return wmErrOutOfMemory;
    FCodec = ff::avcodec_alloc_context3(codec);
    FFrame = ff::av_frame_alloc();
    FPacket = ff::av_packet_alloc();
    if (FCodec == nullptr || FFrame == nullptr || FPacket == nullptr) return wmErrOutOfMemory;
    FCodec->sample_fmt = AV_SAMPLE_FMT_FLTP;
    FCodec->sample_rate = int(format.SampleRate);
    ff::av_channel_layout_default(&FCodec->ch_layout, format.Channels);
    FCodec->bit_rate = format.Bitrate;
    FCodec->time_base = AVRational{1, int(format.SampleRate)};
    if (FFormat->oformat->flags & AVFMT_GLOBALHEADER) FCodec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (ff::avcodec_open2(FCodec, codec, nullptr) < 0 || FCodec->frame_size <= 0)
        return wmErrNoCodec;
    FFrameSize = FCodec->frame_size;

    // The input as the encoder wants it: planar float at the stream's rate and channels.
    Status = TWmStatus::wmsEncodeFailed;
    AVChannelLayout inLayout{};
    ff::av_channel_layout_default(&inLayout, Settings.Input.Channels);
    const int swrResult =
        ff::swr_alloc_set_opts2(&FSwr, &FCodec->ch_layout, AV_SAMPLE_FMT_FLTP, FCodec->sample_rate,
                                &inLayout, InputSampleFormat(Settings.Input.BitsPerSample),
                                int(Settings.Input.SamplesPerSec), 0, nullptr);
    ff::av_channel_layout_uninit(&inLayout);
    if (swrResult < 0 || ff::swr_init(FSwr) < 0) return wmErrInvalidArg;
    FFifo = ff::av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, format.Channels, FFrameSize * 4);
    FPlanes.assign(format.Channels, nullptr);
    FFrame->nb_samples = FFrameSize;
    FFrame->format = AV_SAMPLE_FMT_FLTP;
    FFrame->sample_rate = FCodec->sample_rate;
    if (FFifo == nullptr ||
        ff::av_channel_layout_copy(&FFrame->ch_layout, &FCodec->ch_layout) < 0 ||
        ff::av_frame_get_buffer(FFrame, 0) < 0)
        return wmErrOutOfMemory;

    Status = TWmStatus::wmsContainerFailed;
    AVStream* stream = ff::avformat_new_stream(FFormat, nullptr);
    if (stream == nullptr || ff::avcodec_parameters_from_context(stream->codecpar, FCodec) < 0)
        return wmErrOutOfMemory;
    stream->time_base = FCodec->time_base;
    bool seekable = true;
    for (TWmWriterSink* sink : Settings.Sinks) seekable = seekable && sink->Seekable();
    auto* buffer = static_cast<uint8_t*>(ff::av_malloc(kIoBufferSize));
    FIo = ff::avio_alloc_context(buffer, kIoBufferSize, 1, this, nullptr, &WritePacket,
                                 seekable ? &SeekStream : nullptr);
    if (FIo == nullptr) {
        ff::av_free(buffer);
        return wmErrOutOfMemory;
    }
    FFormat->pb = FIo;
    FFormat->flags |= AVFMT_FLAG_CUSTOM_IO;
    // A stream goes out packet by packet; a file is written in large pieces.
    FFormat->flush_packets = seekable ? 0 : 1;
    // The priming frame's packet lies before zero; the container can hold that.
    FFormat->avoid_negative_ts = AVFMT_AVOID_NEG_TS_DISABLED;
    ff::av_opt_set_int(FFormat->priv_data, "packet_size", kPacketSize, 0);
    for (const auto& [key, value] : Settings.Metadata)
        ff::av_dict_set(&FFormat->metadata, key.c_str(), value.c_str(), 0);
    if (ff::avformat_write_header(FFormat, nullptr) < 0)
        return FSinkFailed ? wmErrWriteFailed : wmErrFail;
    ff::avio_flush(FIo);
    if (FSinkFailed || FIo->error < 0) return wmErrWriteFailed;
    for (TWmWriterSink* sink : Settings.Sinks) sink->OnHeaderEnd(FEnd, kPacketSize);

    // Decoders drop the first frame's output: make it one of silence.
    ff::av_samples_set_silence(FFrame->extended_data, 0, FFrameSize, format.Channels,
                               AV_SAMPLE_FMT_FLTP);
    return EncodeFrame(Status);
}

TWmResult TWmEncodePipe::Write(const uint8_t* Pcm, uint32_t Bytes, TWmStatus& Status) {
    const TWaveFormatEx& in = FSettings.Input;
    // In pieces of at most a second, so that frame counts stay small.
    const uint32_t pieceFrames = std::max<uint32_t>(in.SamplesPerSec, 1);
    for (uint32_t frames = Bytes / in.BlockAlign; frames > 0;) {
        const uint32_t n = std::min(frames, pieceFrames);
        const uint8_t* data = Pcm;
        if (in.BitsPerSample == 24) {
            // Packed 24-bit samples have no sample format of their own in the resampler:
            // each little-endian triple becomes the upper three bytes of a 32-bit sample.
            const size_t samples = size_t(n) * in.Channels;
            if (FWide.size() < samples) FWide.resize(samples);
            for (size_t i = 0; i < samples; ++i) {
                const uint8_t* b = Pcm + 3 * i;
                FWide[i] =
                    int32_t(uint32_t(b[0]) << 8 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 24);
            }
            data = reinterpret_cast<const uint8_t*>(FWide.data());
        }
        const TWmResult r = Convert(&data, int(n), Status);
        if (r != wmOk) return r;
        Pcm += size_t(n) * in.BlockAlign;
        frames -= n;
    }
    return wmOk;
}

TWmResult TWmEncodePipe::Convert(const uint8_t** In, int InFrames, TWmStatus& Status) {
    Status = TWmStatus::wmsEncodeFailed;
    const int room = ff::swr_get_out_samples(FSwr, InFrames);
    if (room < 0) return wmErrFail;
    if (room > FPlaneCapacity) {
        for (uint8_t*& plane : FPlanes) {
            ff::av_freep(&plane);
            plane = static_cast<uint8_t*>(ff::av_malloc(size_t(room) * sizeof(float)));
            if (plane == nullptr) return wmErrOutOfMemory;
        }
        FPlaneCapacity = room;
    }
    const int got = ff::swr_convert(FSwr, FPlanes.data(), room, In, InFrames);
    if (got < 0) return wmErrFail;
    if (got > 0 &&
        ff::av_audio_fifo_write(FFifo, reinterpret_cast<void**>(FPlanes.data()), got) < got)
        return wmErrOutOfMemory;
    while (ff::av_audio_fifo_size(FFifo) >= FFrameSize) {
        if (ff::av_frame_make_writable(FFrame) < 0) return wmErrOutOfMemory;
        ff::av_audio_fifo_read(FFifo, reinterpret_cast<void**>(FFrame->extended_data), FFrameSize);
        const TWmResult r = EncodeFrame(Status);
        if (r != wmOk) return r;
    }
    return wmOk;
}

TWmResult TWmEncodePipe::EncodeFrame(TWmStatus& Status) {
    FFrame->pts = FNextPts;
    FNextPts += FFrameSize;
    Status = TWmStatus::wmsEncodeFailed;
    if (ff::avcodec_send_frame(FCodec, FFrame) < 0) return wmErrFail;
    return Drain(Status);
}

TWmResult TWmEncodePipe::Drain(TWmStatus& Status) {
    AVStream* stream = FFormat->streams[0];
    for (;;) {
        const int r = ff::avcodec_receive_packet(FCodec, FPacket);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return wmOk;
        Status = TWmStatus::wmsEncodeFailed;
        if (r < 0) return wmErrFail;
        FPacket->stream_index = 0;
        ff::av_packet_rescale_ts(FPacket, FCodec->time_base, stream->time_base);
        const int w = ff::av_write_frame(FFormat, FPacket);
        ff::av_packet_unref(FPacket);
        Status = FSinkFailed ? TWmStatus::wmsError : TWmStatus::wmsContainerFailed;
        if (FSinkFailed) return wmErrWriteFailed;
        if (w < 0) return wmErrFail;
    }
}

TWmResult TWmEncodePipe::Finish(TWmStatus& Status) {
    // What the resampler still holds, then the rest of the last frame as silence.
    TWmResult r = Convert(nullptr, 0, Status);
    if (r != wmOk) return r;
    const int left = ff::av_audio_fifo_size(FFifo);
    if (left > 0) {
        if (ff::av_frame_make_writable(FFrame) < 0) return wmErrOutOfMemory;
        ff::av_audio_fifo_read(FFifo, reinterpret_cast<void**>(FFrame->extended_data), left);
        ff::av_samples_set_silence(FFrame->extended_data, left, FFrameSize - left,
                                   FFrame->ch_layout.nb_channels, AV_SAMPLE_FMT_FLTP);
        r = EncodeFrame(Status);
        if (r != wmOk) return r;
    }
    Status = TWmStatus::wmsEncodeFailed;
    if (ff::avcodec_send_frame(FCodec, nullptr) < 0) return wmErrFail;
    r = Drain(Status);
    if (r != wmOk) return r;
    Status = TWmStatus::wmsContainerFailed;
    const int t = ff::av_write_trailer(FFormat);
    ff::avio_flush(FIo);
    if (FSinkFailed || FIo->error < 0) {
        Status = TWmStatus::wmsError;
        return wmErrWriteFailed;
    }
    return t < 0 ? wmErrFail : wmOk;
}

int TWmEncodePipe::WritePacket(void* Opaque, uint8_t* Buffer, int Size) {
    auto* self = static_cast<TWmEncodePipe*>(Opaque);
    for (TWmWriterSink* sink : self->FSettings.Sinks)
        if (sink->OnData(self->FPosition, Buffer, size_t(Size)) != wmOk) self->FSinkFailed = true;
    self->FPosition += Size;
    self->FEnd = std::max(self->FEnd, self->FPosition);
    return self->FSinkFailed ? AVERROR(EIO) : Size;
}

int64_t TWmEncodePipe::SeekStream(void* Opaque, int64_t Offset, int Whence) {
    auto* self = static_cast<TWmEncodePipe*>(Opaque);
    switch (Whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return self->FEnd;
    case SEEK_SET:
        break;
    case SEEK_CUR:
        Offset += self->FPosition;
        break;
    case SEEK_END:
        Offset += self->FEnd;
        break;
    default:
        return -1;
    }
    if (Offset < 0) return -1;
    self->FPosition = Offset;
    return Offset;
}

} // namespace sundral::wmf
