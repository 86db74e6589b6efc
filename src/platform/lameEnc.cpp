#include "platform/lameEnc.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/lameTagFrame.h"
#include "platform/libload.h"

namespace sundral {

struct TBeStream {
    const libload::TLameApi* Api = nullptr;
    lame_global_flags* Flags = nullptr;
    uint32_t Channels = 0;
    uint32_t ChunkSamples = 0; // 16-bit values per chunk, all channels
    uint32_t OutputSize = 0;
    bool Flushed = false;
    bool WantsTag = false; // the record asked for the tag frame
    // Set when the library's own tag frame would not fit: the adapter then reserves a frame
    // of a rate that holds the block ahead of the first output and fills it itself.
    bool OwnTag = false;
    bool TagReserved = false;
    TTagFrameStream TagStream;
    std::vector<uint8_t> TagFrame;
    uint64_t AudioBytes = 0;
    uint16_t AudioCrc = 0;
};

namespace {

constexpr uint32_t kVbrMethodAbr = 4;
// The largest Layer III frame is 1441 bytes (320 kbit/s at 32 kHz, padded).
constexpr size_t kMaxFrameBytes = 2048;

// The library fills shared tables while a stream is set up or released.
std::mutex gSetupLock;

bool Complete(const libload::TLameApi& A) {
    return A.lame_init && A.lame_close && A.lame_set_in_samplerate && A.lame_set_out_samplerate &&
           A.lame_set_num_channels && A.lame_set_mode && A.lame_set_brate && A.lame_set_preset &&
           A.lame_set_VBR && A.lame_set_VBR_q && A.lame_set_VBR_mean_bitrate_kbps &&
           A.lame_set_VBR_min_bitrate_kbps && A.lame_set_VBR_max_bitrate_kbps &&
           A.lame_set_emphasis && A.lame_set_extension && A.lame_set_error_protection &&
           A.lame_set_copyright && A.lame_set_original && A.lame_set_disable_reservoir &&
           A.lame_set_strict_ISO && A.lame_set_quality && A.lame_set_bWriteVbrTag &&
           A.lame_set_write_id3tag_automatic && A.lame_init_params && A.lame_get_framesize &&
           A.lame_encode_buffer && A.lame_encode_buffer_interleaved && A.lame_encode_flush &&
           A.lame_get_lametag_frame && A.lame_get_version && A.lame_get_out_samplerate &&
           A.lame_get_mode && A.lame_get_brate && A.lame_get_VBR && A.lame_get_encoder_delay &&
           A.lame_get_encoder_padding && A.lame_get_frameNum;
}

// Sample rates an MPEG-1, -2 or -2.5 Layer III stream can carry.
bool MpegSampleRate(uint32_t Rate) {
    static constexpr std::array<uint32_t, 9> kRates = {8000,  11025, 12000, 16000, 22050,
                                                       24000, 32000, 44100, 48000};
    return std::find(kRates.begin(), kRates.end(), Rate) != kRates.end();
}

// The record's quality field: the low byte counts only when the high byte is its complement.
int RecordQuality(uint16_t Value) {
    const uint8_t low = uint8_t(Value), high = uint8_t(Value >> 8);
    if (Value == 0 || high != uint8_t(~low)) return -1;
    return std::min<int>(low, 9);
}

// Applies the record; false when a field has no meaning the encoder can take.
bool Configure(const libload::TLameApi& L, lame_global_flags* G, const TBeConfig& C) {
    if (C.Mode < 0 || C.Mode > 3) return false;
    const int channels = C.Mode == 3 ? 1 : 2;
    L.lame_set_num_channels(G, channels);
    L.lame_set_in_samplerate(G, int(C.SampleRate));
    int outRate = int(C.ReSampleRate);
    if (outRate == 0 && MpegSampleRate(C.SampleRate)) outRate = int(C.SampleRate);
    L.lame_set_out_samplerate(G, outRate);
    L.lame_set_mode(G, MPEG_mode(C.Mode));

    // The encoder stops the process on limits that contradict each other: a ceiling wins
    // over the floor and over the mean.
    const int maxKbps = int(C.MaxBitrate);
    int minKbps = int(C.Bitrate);
    if (maxKbps != 0 && minKbps > maxKbps) minKbps = 0;
    if (C.VbrMethod == int32_t(kVbrMethodAbr) && C.VbrAbrKbps != 0) {
        int meanKbps = int(C.VbrAbrKbps);
        if (maxKbps != 0 && meanKbps > maxKbps) meanKbps = maxKbps;
        if (minKbps > meanKbps) minKbps = 0;
        L.lame_set_VBR(G, vbr_abr);
        L.lame_set_VBR_mean_bitrate_kbps(G, meanKbps);
    } else if (C.EnableVBR != 0) {
        L.lame_set_VBR(G, vbr_default);
        L.lame_set_VBR_q(G, std::clamp<int>(C.VBRQuality, 0, 9));
    } else {
        L.lame_set_VBR(G, vbr_off);
        if (C.Bitrate != 0) L.lame_set_brate(G, int(C.Bitrate));
    }
    if (C.VbrMethod == int32_t(kVbrMethodAbr) || C.EnableVBR != 0) {
        if (minKbps != 0) L.lame_set_VBR_min_bitrate_kbps(G, minKbps);
        if (maxKbps != 0) L.lame_set_VBR_max_bitrate_kbps(G, maxKbps);
    }

    L.lame_set_emphasis(G, int(C.Emphasis));
    L.lame_set_extension(G, C.Private != 0);
    L.lame_set_error_protection(G, C.CRC != 0);
    L.lame_set_copyright(G, C.Copyright != 0);
    L.lame_set_original(G, C.Original != 0);
    L.lame_set_disable_reservoir(G, C.NoRes != 0);
    L.lame_set_strict_ISO(G, C.StrictISO != 0);
    if (const int q = RecordQuality(C.Quality); q >= 0) L.lame_set_quality(G, q);
    L.lame_set_bWriteVbrTag(G, C.WriteVBRHeader != 0);
    L.lame_set_write_id3tag_automatic(G, 0); // tags are the writer's business
    // A preset describes the whole encoding and so comes last.
    if (C.Preset != 0) L.lame_set_preset(G, C.Preset);
    return L.lame_init_params(G) >= 0;
}

// The stream as the library set it up: version, rate, channels and header flags.
TTagFrameStream StreamOf(const libload::TLameApi& L, lame_global_flags* G, const TBeConfig& C) {
    TTagFrameStream t;
    t.Mpeg1 = L.lame_get_version(G) == 1;
    t.SampleRate = uint32_t(L.lame_get_out_samplerate(G));
    const int mode = int(L.lame_get_mode(G));
    t.ChannelMode = mode >= 0 && mode <= 3 ? mode : 0;
    t.Crc = C.CRC != 0;
    t.Copyright = C.Copyright != 0;
    t.Original = C.Original != 0;
    return t;
}

// Puts the reserved tag frame ahead of the stream's first bytes; returns its size (0 once
// it is out, and always when the library writes its own).
uint32_t ReserveTagFrame(TBeStream& S, uint8_t* Output) {
    if (!S.OwnTag || S.TagReserved) return 0;
    std::memcpy(Output, S.TagFrame.data(), S.TagFrame.size());
    S.TagReserved = true;
    return uint32_t(S.TagFrame.size());
}

// The library's bytes after the reserved frame: the audio the tag frame counts and sums.
void CountAudio(TBeStream& S, const uint8_t* Data, int Count) {
    if (Count <= 0) return;
    S.AudioBytes += uint64_t(Count);
    if (S.OwnTag) S.AudioCrc = TagCrc16(Data, size_t(Count), S.AudioCrc);
}

} // namespace

bool LameAvailable() {
    return Complete(libload::LoadLame());
}

uint32_t beInitStream(const TBeConfigBytes& Config, uint32_t& Samples, uint32_t& BufferSize,
                      THBeStream& Stream) {
    Stream = nullptr;
    Samples = BufferSize = 0;
    const TBeConfig c = BeConfigFromBytes(Config);
    if (c.ConfigKind != kBeConfigLame || c.StructVersion < 1 || c.StructSize < kBeConfigSize)
        return beErrInvalidFormat;
    const libload::TLameApi& api = libload::LoadLame();
    if (!Complete(api)) return beErrNoMoreHandles;

    std::lock_guard guard(gSetupLock);
    lame_global_flags* flags = api.lame_init();
    if (flags == nullptr) return beErrNoMoreHandles;
    int frameSize = Configure(api, flags, c) ? api.lame_get_framesize(flags) : 0;
    TTagFrameStream tagStream;
    bool ownTag = false;
    if (frameSize > 0 && c.WriteVBRHeader != 0) {
        tagStream = StreamOf(api, flags, c);
        // The library's frame of a constant rate has the stream's rate and is dropped when
        // too small; at variable rates it picks one that holds it.
        ownTag = api.lame_get_VBR(flags) == vbr_off &&
                 !LibraryTagFits(tagStream, uint32_t(api.lame_get_brate(flags)));
    }
    if (ownTag) {
        TBeConfig plain = c;
        plain.WriteVBRHeader = 0;
        api.lame_close(flags);
        flags = api.lame_init();
        if (flags == nullptr) return beErrNoMoreHandles;
        frameSize = Configure(api, flags, plain) ? api.lame_get_framesize(flags) : 0;
    }
    std::vector<uint8_t> placeholder =
        ownTag ? TagFramePlaceholder(tagStream) : std::vector<uint8_t>{};
    if (frameSize <= 0 || (ownTag && placeholder.empty())) {
        api.lame_close(flags);
        return beErrInvalidFormatParameters;
    }
    auto* stream = new TBeStream;
    stream->Api = &api;
    stream->Flags = flags;
    stream->Channels = c.Mode == 3 ? 1 : 2;
    stream->ChunkSamples = uint32_t(frameSize) * stream->Channels;
    stream->WantsTag = c.WriteVBRHeader != 0;
    stream->OwnTag = ownTag;
    stream->TagStream = tagStream;
    stream->TagFrame = std::move(placeholder);
    // What the library asks of an output buffer: 1.25 times the frames given, plus 7200;
    // and room for the reserved tag frame ahead of the first output.
    stream->OutputSize =
        (uint32_t(frameSize) * 5 + 3) / 4 + 7200 + uint32_t(stream->TagFrame.size());
    Samples = stream->ChunkSamples;
    BufferSize = stream->OutputSize;
    Stream = stream;
    return beErrOk;
}

uint32_t beEncodeChunk(THBeStream Stream, uint32_t Samples, const int16_t* Input, uint8_t* Output,
                       uint32_t& Produced) {
    Produced = 0;
    if (Stream == nullptr || Stream->Flushed) return beErrInvalidHandle;
    if (Samples > Stream->ChunkSamples) return beErrBufferTooSmall;
    const int frames = int(Samples / Stream->Channels);
    if (frames == 0) return beErrOk;
    const libload::TLameApi& l = *Stream->Api;
    const uint32_t reserved = ReserveTagFrame(*Stream, Output);
    uint8_t* out = Output + reserved;
    const int outSize = int(Stream->OutputSize - reserved);
    // The library takes non-const samples for interleaved input but only reads them.
    const int n = Stream->Channels == 1
                      ? l.lame_encode_buffer(Stream->Flags, Input, Input, frames, out, outSize)
                      : l.lame_encode_buffer_interleaved(Stream->Flags, const_cast<int16_t*>(Input),
                                                         frames, out, outSize);
    if (n < 0) return n == -1 ? beErrBufferTooSmall : beErrInvalidFormatParameters;
    CountAudio(*Stream, out, n);
    Produced = reserved + uint32_t(n);
    return beErrOk;
}

uint32_t beDeinitStream(THBeStream Stream, uint8_t* Output, uint32_t& Produced) {
    Produced = 0;
    if (Stream == nullptr || Stream->Flushed) return beErrInvalidHandle;
    const uint32_t reserved = ReserveTagFrame(*Stream, Output);
    uint8_t* out = Output + reserved;
    const int n =
        Stream->Api->lame_encode_flush(Stream->Flags, out, int(Stream->OutputSize - reserved));
    if (n < 0) return n == -1 ? beErrBufferTooSmall : beErrInvalidFormatParameters;
    CountAudio(*Stream, out, n);
    Stream->Flushed = true;
    Produced = reserved + uint32_t(n);
    return beErrOk;
}

uint32_t beWriteVBRHeader(THBeStream Stream, TStream& Target, int64_t AudioStart) {
    if (Stream == nullptr || !Stream->Flushed) return beErrInvalidHandle;
    if (!Stream->WantsTag) return beErrOk;
    const libload::TLameApi& l = *Stream->Api;
    std::vector<uint8_t> frame(kMaxFrameBytes);
    size_t size = 0;
    if (Stream->OwnTag) {
        TTagFrameContents c;
        c.AudioFrames = uint32_t(l.lame_get_frameNum(Stream->Flags));
        c.StreamBytes = uint32_t(Stream->TagFrame.size() + Stream->AudioBytes);
        c.EncoderDelay = uint32_t(l.lame_get_encoder_delay(Stream->Flags));
        c.Padding = uint32_t(l.lame_get_encoder_padding(Stream->Flags));
        c.AudioCrc = Stream->AudioCrc;
        c.Kbps = uint32_t(l.lame_get_brate(Stream->Flags));
        if (l.get_lame_short_version != nullptr) c.Version = l.get_lame_short_version();
        frame = Stream->TagFrame;
        FillTagFrame(frame, Stream->TagStream, c);
        size = frame.size();
    } else {
        size = l.lame_get_lametag_frame(Stream->Flags, frame.data(), frame.size());
        // Asked for and not there: decoders would play the encoder's delay and padding.
        if (size == 0) return beErrNoTagFrame;
        if (size > frame.size()) return beErrBufferTooSmall;
    }
    // The reserved frame must be where the output began: a frame header starts there.
    uint8_t head[2];
    if (Target.Seek(AudioStart, TSeekOrigin::soBeginning) != AudioStart ||
        !Target.ReadExact(head, 2) || head[0] != 0xFF || (head[1] & 0xE0) != 0xE0 ||
        Target.Seek(AudioStart, TSeekOrigin::soBeginning) != AudioStart)
        return beErrNoTagFrame;
    if (!Target.WriteExact(frame.data(), int64_t(size))) return beErrNoTagFrame;
    return beErrOk;
}

uint32_t beCloseStream(THBeStream Stream) {
    if (Stream == nullptr) return beErrInvalidHandle;
    {
        std::lock_guard guard(gSetupLock);
        Stream->Api->lame_close(Stream->Flags);
    }
    delete Stream;
    return beErrOk;
}

} // namespace sundral
