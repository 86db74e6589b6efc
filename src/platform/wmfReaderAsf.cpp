// ASF (WMA) streams for the reader, demultiplexed by the container library.
//
// Opening walks every packet once (reading, not decoding) to learn the exact length: a WMA
// decoder outputs one frame per block of a stream without bit reservoir, and with one the
// number of frames each superframe header announces. Its output runs one frame behind its
// input, and the last frame never comes out. The walk also records where each block's frames
// start, so that a seek knows the sample position of the blocks it lands on.
#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/intreadwrite.h>
}

#include "platform/mediaLibs.h"
#include "platform/wmfReaderSource.h"

namespace sundral::wmf::detail {

namespace {

// Blocks decoded before a seek target: the decoder holds its first blocks back after a flush
// and the next one overlaps with them.
constexpr size_t kPrerollBlocks = 3;
// Headers bigger than this are not read whole for the protection check.
constexpr int64_t kMaxHeader = 16 << 20;

constexpr uint8_t kAsfHeader[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                    0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr uint8_t kContentEncryption[16] = {0xFB, 0xB3, 0x11, 0x22, 0x23, 0xBD, 0xD2, 0x11,
                                            0xB4, 0xB7, 0x00, 0xA0, 0xC9, 0x55, 0xFC, 0x6E};
constexpr uint8_t kExtContentEncryption[16] = {0x14, 0xE6, 0x8A, 0x29, 0x22, 0x26, 0x17, 0x4C,
                                               0xB9, 0x35, 0xDA, 0xE0, 0x7E, 0xE9, 0x28, 0x9C};

// Whether the header object holds a content encryption object (of either generation).
bool AsfProtected(TStreamIo& Io) {
    uint8_t head[30];
    if (Io.ReadAt(0, head, 30) != 30) return false;
    const int64_t size = int64_t(AV_RL64(head + 16));
    // The header size comes from the file: only a plausible one is walked.
    if (size < 30 || size > std::min(Io.Size(), kMaxHeader)) return false;
    std::vector<uint8_t> header(static_cast<size_t>(size));
    if (Io.ReadAt(0, header.data(), header.size()) != header.size()) return false;
    for (size_t at = 30; at + 24 <= header.size();) {
        const uint8_t* obj = header.data() + at;
        if (!std::memcmp(obj, kContentEncryption, 16) ||
            !std::memcmp(obj, kExtContentEncryption, 16))
            return true;
        const uint64_t objSize = AV_RL64(obj + 16);
        // An object size from the file that would not move on, or runs out, ends the walk.
        if (objSize < 24 || objSize > header.size() - at) break;
        at += size_t(objSize);
    }
    return false;
}

// Samples per WMA frame, as the decoder derives it from rate and version.
uint32_t WmaFrameLength(uint32_t SampleRate, int Version) {
    if (SampleRate <= 16000) return 512;
    if (SampleRate <= 22050 || (SampleRate <= 32000 && Version == 1)) return 1024;
    return 2048;
}

struct TBlock {
    int64_t Pos;   // the container packet it came in
    int64_t Start; // decoded samples of the stream before this block
};

class TAsfSource : public TPacketSource {
public:
    explicit TAsfSource(TStreamIo& Io) : FIo(Io) { FPacket = ff::av_packet_alloc(); }
    ~TAsfSource() override {
        CloseContainer();
        ff::av_packet_free(&FPacket);
    }

    // False with Reason empty when the stream is no ASF file.
    bool Open(std::string& Reason) {
        if (!FPacket) return false;
        uint8_t guid[16];
        if (FIo.ReadAt(0, guid, 16) != 16 || std::memcmp(guid, kAsfHeader, 16) != 0) return false;
        FFacts.Protected = AsfProtected(FIo);
        if (!OpenContainer(&Reason)) return false;
        const AVCodecParameters* par = FFormat->streams[FStream]->codecpar;
        FFacts.SampleRate = uint32_t(par->sample_rate);
        FFacts.Channels = uint32_t(par->ch_layout.nb_channels);
        FFacts.BitRate = uint32_t(std::clamp<int64_t>(par->bit_rate, 0, UINT32_MAX));
        FFacts.IsVBR = false;
        MetadataToAttributes(FFormat->metadata, FFacts.Strings);
        if (const AVCodecDescriptor* codec = ff::avcodec_descriptor_get(par->codec_id))
            FFacts.Strings["Codec"] =
                std::u16string(codec->long_name, codec->long_name + std::strlen(codec->long_name));
        FBlockAlign = par->block_align;
        const int version = par->codec_id == AV_CODEC_ID_WMAV1 ? 1 : 2;
        FFrameLength = WmaFrameLength(FFacts.SampleRate, version);
        const uint8_t* extra = par->extradata;
        const int flagsAt = version == 1 ? 2 : 4;
        if (extra && par->extradata_size >= flagsAt + 2)
            FReservoir = (AV_RL16(extra + flagsAt) & 2) != 0;
        if (FFacts.Protected) return true; // its samples are never read

        // One pass over the packets: every block and the frames it decodes to.
        int64_t frames = 0;
        while (ReadOwnPacket()) {
            ForEachBlock([&](const uint8_t* Block, int Size) {
                FBlocks.push_back({FPacket->pos, frames * int64_t(FFrameLength)});
                frames += FReservoir ? (Size > 0 ? (Block[0] & 0x0F) : 0) : 1;
            });
        }
        // The decoder holds one frame back for the overlap and the last never comes out;
        // with a bit reservoir the first superframe's count also takes in a frame that
        // continues into the next one, so one more frame than announced never comes out.
        const int64_t lost = FReservoir ? 2 : 1;
        FFacts.TotalSamples = frames > lost ? (frames - lost) * int64_t(FFrameLength) : 0;
        return Restart();
    }

    bool OpenDecoder(AVCodecContext*& Context) override {
        const AVCodecParameters* par = FFormat->streams[FStream]->codecpar;
        const AVCodec* codec = ff::avcodec_find_decoder(par->codec_id);
        if (!codec) return false;
        Context = ff::avcodec_alloc_context3(codec);
        if (!Context || ff::avcodec_parameters_to_context(Context, par) < 0) return false;
        return ff::avcodec_open2(Context, codec, nullptr) == 0;
    }

    bool Next(AVPacket* Packet, int64_t& BlockStart) override {
        while (FBlockOffset >= FPacket->size || FPacket->size == 0) {
            if (!ReadOwnPacket()) return false;
            FBlockOffset = 0;
            // Which recorded block this packet starts with: the first of its container
            // packet when that packet is new, else the one after the last block handed out.
            if (FPacket->pos != FLastPos) {
                auto it = std::lower_bound(FBlocks.begin(), FBlocks.end(), FPacket->pos,
                                           [](const TBlock& B, int64_t P) { return B.Pos < P; });
                FCursor = size_t(it - FBlocks.begin());
                FLastPos = FPacket->pos;
            }
        }
        const int size = BlockSize();
        ff::av_packet_unref(Packet);
        if (ff::av_packet_ref(Packet, FPacket) < 0) return false;
        Packet->data += FBlockOffset;
        Packet->size = size;
        FBlockOffset += size;
        // Past the recorded blocks (a stream that changed under us) there is no place.
        BlockStart = FCursor < FBlocks.size() ? FBlocks[FCursor].Start : -1;
        ++FCursor;
        return true;
    }

    bool SeekBefore(int64_t DecoderSample) override {
        auto it = std::upper_bound(FBlocks.begin(), FBlocks.end(), DecoderSample,
                                   [](int64_t S, const TBlock& B) { return S < B.Start; });
        size_t block = it == FBlocks.begin() ? 0 : size_t(it - FBlocks.begin()) - 1;
        block = block > kPrerollBlocks ? block - kPrerollBlocks : 0;
        if (block == 0) return Restart();
        // Container timestamps are rounded to milliseconds: aim at the block's container
        // packet by time, landing at or before it; the blocks are then recognised by place.
        AVStream* st = FFormat->streams[FStream];
        const int64_t sample = std::max<int64_t>(FBlocks[block].Start - FFrameLength, 0);
        const int64_t ts =
            ff::av_rescale_q(sample, AVRational{1, int(FFacts.SampleRate)}, st->time_base);
        if (ff::av_seek_frame(FFormat, FStream, ts, AVSEEK_FLAG_BACKWARD) < 0) return Restart();
        ResetCursor();
        return true;
    }

private:
    // Opens the container on the first WMA stream the decoder takes. When there is none,
    // Reason (if given) says why: the kind of audio the file holds instead, or none.
    bool OpenContainer(std::string* Reason = nullptr) {
        std::string reason = "the WMA file's header cannot be read";
        const bool opened = OpenStreams(reason);
        if (!opened && Reason) *Reason = reason;
        return opened;
    }

    bool OpenStreams(std::string& Reason) {
        FAvio = FIo.MakeAvio();
        FFormat = ff::avformat_alloc_context();
        if (!FAvio || !FFormat) return false;
        FFormat->pb = FAvio;
        FFormat->flags |= AVFMT_FLAG_CUSTOM_IO;
        FFormat->probesize = 1 << 20;
        if (ff::avformat_open_input(&FFormat, nullptr, ff::av_find_input_format("asf"), nullptr) !=
            0)
            return false;
        FStream = -1;
        Reason = "the file holds no audio stream";
        for (unsigned i = 0; i < FFormat->nb_streams && FStream < 0; ++i) {
            const AVCodecParameters* par = FFormat->streams[i]->codecpar;
            if (par->codec_type != AVMEDIA_TYPE_AUDIO) continue;
            const char* other =
                par->codec_id == AV_CODEC_ID_WMAPRO        ? "WMA Pro"
                : par->codec_id == AV_CODEC_ID_WMALOSSLESS ? "WMA Lossless"
                : par->codec_id == AV_CODEC_ID_WMAVOICE    ? "WMA Voice"
                : par->codec_id == AV_CODEC_ID_WMAV1 || par->codec_id == AV_CODEC_ID_WMAV2
                    ? nullptr
                    : "this audio codec";
            if (other) {
                Reason = std::string(other) + " is not supported";
                continue;
            }
            // Channel counts and rates come from the file: only what the decoder can take.
            if (par->sample_rate >= 8000 && par->sample_rate <= 48000 &&
                par->ch_layout.nb_channels >= 1 && par->ch_layout.nb_channels <= 2)
                FStream = int(i);
            else
                Reason = "the WMA stream's rate or channel count is not supported";
        }
        for (unsigned i = 0; i < FFormat->nb_streams; ++i)
            if (int(i) != FStream) FFormat->streams[i]->discard = AVDISCARD_ALL;
        return FStream >= 0;
    }

    void CloseContainer() {
        if (FFormat) ff::avformat_close_input(&FFormat);
        TStreamIo::FreeAvio(FAvio);
    }

    // Back to the first packet: the container is opened anew (its own seek to the start
    // depends on an index the file may lack).
    bool Restart() {
        CloseContainer();
        if (!OpenContainer()) return false;
        ResetCursor();
        FCursor = 0;
        return true;
    }

    void ResetCursor() {
        ff::av_packet_unref(FPacket);
        FBlockOffset = 0;
        FLastPos = -1;
        FCursor = 0;
    }

    bool ReadOwnPacket() {
        for (;;) {
            ff::av_packet_unref(FPacket);
            if (ff::av_read_frame(FFormat, FPacket) < 0) return false;
            if (FPacket->stream_index == FStream && FPacket->size > 0) return true;
        }
    }

    // Blocks of the stream's block size; a packet that is not a multiple is one block.
    int BlockSize() const {
        const int left = FPacket->size - FBlockOffset;
        if (FBlockAlign <= 0 || FPacket->size % FBlockAlign != 0) return left;
        return std::min(left, FBlockAlign);
    }

    template <typename F> void ForEachBlock(F&& Fn) {
        for (FBlockOffset = 0; FBlockOffset < FPacket->size;) {
            const int size = BlockSize();
            Fn(FPacket->data + FBlockOffset, size);
            FBlockOffset += size;
        }
        FBlockOffset = 0;
    }

    TStreamIo& FIo;
    AVIOContext* FAvio = nullptr;
    AVFormatContext* FFormat = nullptr;
    int FStream = -1;
    AVPacket* FPacket = nullptr;
    int FBlockOffset = 0;
    int FBlockAlign = 0;
    uint32_t FFrameLength = 2048;
    bool FReservoir = false;
    std::vector<TBlock> FBlocks;
    size_t FCursor = 0;
    int64_t FLastPos = -1;
};

} // namespace

std::unique_ptr<TPacketSource> OpenAsfSource(TStreamIo& Io, std::string& Reason) {
    auto source = std::make_unique<TAsfSource>(Io);
    if (source->Open(Reason)) return source;
    return nullptr;
}

} // namespace sundral::wmf::detail
