// MPEG audio streams for the reader: frames found by the scanner (no container library in the
// audio path), decoded one frame per unit; tags read through the container library's MP3
// demuxer, which knows ID3v2 in all its versions and falls back to ID3v1.
#include <algorithm>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "platform/mediaLibs.h"
#include "platform/mp3Scan.h"
#include "platform/wmfReaderSource.h"

namespace sundral::wmf::detail {

namespace {

// Frames decoded before a seek target: the bit reservoir reaches back at most 511 bytes
// (a handful of frames at the lowest rates) and the overlap one frame more.
constexpr uint64_t kPrerollFrames = 10;

void ReadTags(TStreamIo& Io, std::map<std::string, std::u16string>& Strings) {
    AVIOContext* avio = Io.MakeAvio();
    if (!avio) return;
    AVFormatContext* fmt = ff::avformat_alloc_context();
    if (fmt) {
        fmt->pb = avio;
        fmt->flags |= AVFMT_FLAG_CUSTOM_IO;
        fmt->probesize = 1 << 16;
        if (ff::avformat_open_input(&fmt, nullptr, ff::av_find_input_format("mp3"), nullptr) == 0) {
            MetadataToAttributes(fmt->metadata, Strings);
            ff::avformat_close_input(&fmt);
        } else {
            ff::avformat_free_context(fmt); // open_input frees it on failure; this is a no-op then
        }
    }
    TStreamIo::FreeAvio(avio);
}

// "MPEG-1 Audio Layer III", "MPEG-2.5 Audio Layer II", ...
std::u16string CodecName(const mp3scan::TMp3Header& Header) {
    static constexpr const char16_t* kVersions[] = {u"MPEG-2.5", u"MPEG-2", u"MPEG-1"};
    static constexpr const char16_t* kLayers[] = {u"I", u"II", u"III"};
    // The scanner only accepts layers 1 to 3.
    return std::u16string(kVersions[size_t(Header.Version)]) + u" Audio Layer " +
           kLayers[std::clamp<size_t>(Header.Layer, 1, 3) - 1];
}

class TMp3Source : public TPacketSource {
public:
    explicit TMp3Source(TStreamIo& Io)
        : FIo(Io), FIndex([&Io](int64_t Offset, uint8_t* Buffer,
                                size_t Count) { return Io.ReadAt(Offset, Buffer, Count); },
                          Io.Size()) {}

    bool Open() {
        FInfo = FIndex.Open();
        if (!FInfo.Valid) return false;
        FFacts.SampleRate = FInfo.First.SampleRate;
        FFacts.Channels = FInfo.First.Channels;
        FFacts.TotalSamples = FInfo.TotalSamples;
        FFacts.StartSkip = FInfo.StartSkip;
        FFacts.BitRate = FInfo.BitRate;
        FFacts.IsVBR = FInfo.IsVBR;
        FFacts.UnitsKeepTime = true;
        ReadTags(FIo, FFacts.Strings);
        FFacts.Strings["Codec"] = CodecName(FInfo.First);
        return true;
    }

    bool OpenDecoder(AVCodecContext*& Context) override {
        const AVCodecID id = FInfo.First.Layer == 1   ? AV_CODEC_ID_MP1
                             : FInfo.First.Layer == 2 ? AV_CODEC_ID_MP2
                                                      : AV_CODEC_ID_MP3;
        const AVCodec* codec = ff::avcodec_find_decoder(id);
        if (!codec) return false;
        Context = ff::avcodec_alloc_context3(codec);
        if (!Context) return false;
        Context->sample_rate = int(FFacts.SampleRate);
        ff::av_channel_layout_default(&Context->ch_layout, int(FFacts.Channels));
        return ff::avcodec_open2(Context, codec, nullptr) == 0;
    }

    bool Next(AVPacket* Packet, int64_t& BlockStart) override {
        int64_t offset = 0;
        mp3scan::TMp3Header h;
        if (!FIndex.Frame(FCursor, offset, h)) return false;
        // The last frame may be cut short by the end of the audio: the decoder gets what
        // there is (not the bytes of a tag that may follow) and takes the rest as silence.
        const size_t have =
            size_t(std::clamp<int64_t>(FInfo.AudioEnd - offset, 0, int64_t(h.FrameBytes)));
        ff::av_packet_unref(Packet);
        if (ff::av_new_packet(Packet, int(have)) < 0) return false;
        if (FIo.ReadAt(offset, Packet->data, have) < have) return false;
        BlockStart = int64_t(FCursor) * FInfo.First.SamplesPerFrame;
        ++FCursor;
        return true;
    }

    bool SeekBefore(int64_t DecoderSample) override {
        const uint64_t frame =
            uint64_t(std::max<int64_t>(DecoderSample, 0)) / FInfo.First.SamplesPerFrame;
        FCursor = frame > kPrerollFrames ? frame - kPrerollFrames : 0;
        return true;
    }

private:
    TStreamIo& FIo;
    mp3scan::TMp3FrameIndex FIndex;
    mp3scan::TMp3StreamInfo FInfo;
    uint64_t FCursor = 0;
};

} // namespace

std::unique_ptr<TPacketSource> OpenMp3Source(TStreamIo& Io, std::string& Reason) {
    auto source = std::make_unique<TMp3Source>(Io);
    if (source->Open()) return source;
    // An ID3v2 tag with no MPEG audio after it is an MP3 file without sound.
    uint8_t head[3] = {};
    if (Io.ReadAt(0, head, 3) == 3 && head[0] == 'I' && head[1] == 'D' && head[2] == '3')
        Reason = "the file holds no audio stream";
    return nullptr;
}

} // namespace sundral::wmf::detail
