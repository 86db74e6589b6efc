#include "formats/AuWaveInFormat.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "formats/AuWaveRiff.h"

namespace sundral {

namespace {

std::string Text(const char* Format, auto... Args) {
    char buf[160];
    std::snprintf(buf, sizeof buf, Format, Args...);
    return buf;
}

// What an unknown format tag is called in a refusal: the two companding encodings people
// meet in telephone recordings by name, anything else by number.
std::string TagRefusal(uint32_t Tag) {
    return Text("format tag %u is not supported", Tag);
}

// The wave type of a plain format tag; wtUnsupported for tags the reader does not know.
TWavType TypeOfTag(uint32_t Tag) {
    switch (Tag) {
    case WAVE_FORMAT_PCM:
        return TWavType::wtPCM;
    case WAVE_FORMAT_DVI_ADPCM:
        return TWavType::wtDVIADPCM;
    case WAVE_FORMAT_ADPCM:
        return TWavType::wtMSADPCM;
    case WAVE_FORMAT_MPEGLAYER3:
        return TWavType::wtACM;
    case WAVE_FORMAT_IEEE_FLOAT:
        return TWavType::wtIEEEFloat;
    case WAVE_FORMAT_ALAW:
        return TWavType::wtALaw;
    case WAVE_FORMAT_MULAW:
        return TWavType::wtMuLaw;
    default:
        return TWavType::wtUnsupported;
    }
}

// Reads the "fmt " body into Format; an empty result, or why the body cannot be used: an
// unknown tag or sub-format, or a body too short for the fields its type needs.
std::string ParseFmt(const uint8_t* Body, uint32_t Size, TByteOrder Order, TWaveFormat& Format) {
    if (Size < 16) return Text("the \"fmt \" chunk of %u bytes is too short", Size);
    Format.FormatTag = Order.U16(Body);
    Format.Channels = Order.U16(Body + 2);
    Format.SampleRate = Order.U32(Body + 4);
    Format.BlockAlign = Order.U16(Body + 12);
    Format.BitsPerSample = Order.U16(Body + 14);
    Format.BigEndian = Order.Big;
    if (Format.FormatTag == WAVE_FORMAT_EXTENSIBLE) {
        // The sub-format follows the standard 22 extra bytes at offset 24; a shorter body
        // keeps it in its last 16 bytes, which must not overlap the fields above.
        if (Size < 32) return Text("the extensible \"fmt \" chunk of %u bytes is too short", Size);
        const uint8_t* guid = Body + (Size >= 40 ? 24 : Size - 16);
        if (std::memcmp(guid, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT.data(), 16) == 0) {
            Format.WavType = TWavType::wtExtIEEEFloat;
        } else if (std::memcmp(guid, KSDATAFORMAT_SUBTYPE_PCM.data(), 16) == 0) {
            Format.WavType = TWavType::wtExtPCM;
        } else if (std::memcmp(guid + 2, KSDATAFORMAT_SUBTYPE_PCM.data() + 2, 14) == 0) {
            // A standard sub-format carries a plain format tag in its first two bytes; of
            // those, the companded ones read as with their plain tag.
            const uint16_t tag = GetU16(guid);
            Format.WavType = TypeOfTag(tag);
            if (Format.WavType != TWavType::wtALaw && Format.WavType != TWavType::wtMuLaw)
                return TagRefusal(tag);
        } else {
            return "the extensible format's sub-format is not supported";
        }
    } else {
        Format.WavType = TypeOfTag(Format.FormatTag);
        if (Format.WavType == TWavType::wtUnsupported) return TagRefusal(Format.FormatTag);
    }
    // In a big-endian file only the fields are big-endian: ADPCM blocks are byte streams
    // laid out as in any other file (block heads little-endian, codes low nibble first).
    // Other compressed types have no such agreed layout.
    if (Order.Big && Format.WavType == TWavType::wtACM)
        return Text("big-endian %s is not supported", WavTypeName(Format.WavType));
    // An extensible float format that gives no sample width takes it, as ffmpeg does, from
    // its valid bits (the plain float tag without a width stays refused, as there).
    if (Format.WavType == TWavType::wtExtIEEEFloat && Format.BitsPerSample == 0) {
        const uint16_t valid = Order.U16(Body + 18);
        if (valid == 32 || valid == 64) Format.BitsPerSample = valid;
    }
    if (Format.WavType == TWavType::wtDVIADPCM || Format.WavType == TWavType::wtMSADPCM) {
        if (Size < 20) return Text("the ADPCM \"fmt \" chunk of %u bytes is too short", Size);
        Format.SamplesPerBlock = Order.U16(Body + 18);
    }
    if (Format.WavType == TWavType::wtMSADPCM) {
        if (Size < 22) return Text("the ADPCM \"fmt \" chunk of %u bytes is too short", Size);
        Format.CoefCount = Order.U16(Body + 20);
        // The count comes from the file and sizes the coefficient table.
        if (Format.CoefCount == 0 || Format.CoefCount > kMsAdpcmMaxCoefs)
            return Text("Microsoft ADPCM with %u coefficient pairs", unsigned(Format.CoefCount));
        if (Size < 22 + 4u * Format.CoefCount)
            return "the Microsoft ADPCM coefficient table is cut short";
        for (uint32_t i = 0; i < Format.CoefCount; ++i) {
            Format.Coefs[i].Coef1 = Order.I16(Body + 22 + 4 * i);
            Format.Coefs[i].Coef2 = Order.I16(Body + 24 + 4 * i);
        }
    }
    return {};
}

enum class TScanState { ssFmt, ssFact, ssData };

} // namespace

uint32_t ImaFramesPerBlock(uint32_t BlockAlign, uint32_t Channels) {
    if (Channels == 0 || BlockAlign < 4 * Channels) return 0;
    uint32_t codeBytes = BlockAlign - 4 * Channels;
    return codeBytes * 2 / Channels + 1;
}

uint32_t WavePcmContainerBytes(const TWaveFormat& Format) {
    const uint32_t channels = Format.Channels;
    const uint32_t packed = (Format.BitsPerSample + 7u) / 8u;
    if (channels == 0 || packed == 0) return 0;
    const uint32_t align = Format.BlockAlign;
    if (align < channels * packed) return packed;
    return align % channels == 0 ? align / channels : 0;
}

TWavType ScanWaveHeader(TStream& Stream, TWaveFormat& Format, std::string& Reason) {
    Format = TWaveFormat{};
    Reason.clear();
    // Chunks are walked to the end of the stream, however large those before the audio.
    TRiffWalker walk(Stream, {INT64_MAX, false, true, kWaveFormSearchLimit});
    if (!walk.FindForm()) {
        Reason = "not a RIFF/WAVE file";
        return TWavType::wtUnsupported;
    }
    const TByteOrder order = walk.Order();
    TScanState state = TScanState::ssFmt;
    TWaveFormat found;
    TRiffChunkHead head;
    while (walk.Next(head)) {
        switch (state) {
        case TScanState::ssFmt:
            if (walk.Matches(head, "fmt ")) {
                // The size comes from the file: no layout uses more than the first
                // kWaveFmtBodyMax bytes, and only those are read.
                const uint32_t used = uint32_t(std::min<int64_t>(head.Size, kWaveFmtBodyMax));
                uint8_t body[kWaveFmtBodyMax];
                if (!walk.ReadBody(head, body, used)) {
                    Reason = "the \"fmt \" chunk is cut short";
                    return TWavType::wtUnsupported;
                }
                Reason = ParseFmt(body, used, order, found);
                if (!Reason.empty()) return TWavType::wtUnsupported;
                const TWavType t = found.WavType;
                state =
                    (t == TWavType::wtDVIADPCM || t == TWavType::wtMSADPCM || t == TWavType::wtACM)
                        ? TScanState::ssFact
                        : TScanState::ssData;
            }
            break;
        case TScanState::ssFact:
            if (walk.Matches(head, "fact")) {
                // The frame count is the first four body bytes: they must be there.
                uint8_t fact[4];
                if (head.Size < 4 || !walk.ReadBody(head, fact, 4)) {
                    Reason = "the \"fact\" chunk is cut short";
                    return TWavType::wtUnsupported;
                }
                found.FactFrames = order.U32(fact);
                // RF64 keeps a count past 32 bits in "ds64".
                if (found.FactFrames == UINT32_MAX && walk.Ds64().Offset >= 0)
                    found.FactFrames =
                        int64_t(std::min<uint64_t>(walk.Ds64().SampleCount, kRiffMaxSize));
                state = TScanState::ssData;
            } else if (walk.Matches(head, "data") && found.WavType != TWavType::wtACM) {
                // ADPCM without "fact": its blocks tell how many frames there are.
                found.DataSize = head.Size;
                found.DataStart = head.BodyOffset();
                Format = found;
                return Format.WavType;
            }
            break;
        case TScanState::ssData:
            if (walk.Matches(head, "data")) {
                found.DataSize = head.Size;
                found.DataStart = head.BodyOffset();
                Format = found;
                return Format.WavType;
            }
            break;
        }
    }
    // The walk ended (at the end of the stream) before the audio.
    switch (state) {
    case TScanState::ssFmt:
        Reason = "no \"fmt \" chunk";
        break;
    case TScanState::ssFact:
        Reason =
            Text("no \"fact\" chunk before the audio (%s needs one)", WavTypeName(found.WavType));
        break;
    case TScanState::ssData:
        Reason = "no \"data\" chunk";
        break;
    }
    return TWavType::wtUnsupported;
}

std::string WaveFormatProblem(const TWaveFormat& Format) {
    const uint32_t channels = Format.Channels;
    const uint32_t bits = Format.BitsPerSample;
    const uint32_t align = Format.BlockAlign;
    if (channels == 0) return "the format has no channels";
    if (Format.SampleRate == 0) return "the format has a sample rate of 0";
    switch (Format.WavType) {
    case TWavType::wtPCM:
    case TWavType::wtExtPCM: {
        if (bits == 0) return "PCM with 0 bits per sample";
        // Samples wider than 4 bytes are delivered as their upper 4 bytes.
        const uint32_t container = WavePcmContainerBytes(Format);
        if (container == 0 || container > 8)
            return Text("block align %u does not hold %u channels of %u-bit samples", align,
                        channels, bits);
        // At least one frame per buffer fill.
        if (channels * container > kWaveBufferSize)
            return Text("PCM frames of %u bytes are too large", channels * container);
        return {};
    }
    case TWavType::wtIEEEFloat:
    case TWavType::wtExtIEEEFloat:
        // Single or double floats only; buffer fills are whole double-width frames.
        if (bits != 32 && bits != 64) return Text("IEEE float with %u bits per sample", bits);
        if (channels * 8 > kWaveBufferSize) return Text("IEEE float with %u channels", channels);
        return {};
    case TWavType::wtDVIADPCM: {
        if (bits != 4) return Text("IMA ADPCM with %u bits per sample", bits);
        if (channels > 2) return Text("IMA ADPCM with %u channels", channels);
        const uint32_t frames = ImaFramesPerBlock(align, channels);
        if (frames == 0) return Text("block align %u is too small for IMA ADPCM", align);
        // Stereo codes come in 4-byte groups per channel, so whole pairs of groups.
        if (channels == 2 && (align - 8) % 8 != 0)
            return Text("block align %u does not hold whole IMA ADPCM stereo groups", align);
        // The block is decoded whole into the buffer, and its frame count is the seek unit.
        if (Format.SamplesPerBlock != frames)
            return Text("%u samples per block do not match IMA ADPCM blocks of %u bytes",
                        unsigned(Format.SamplesPerBlock), align);
        if (frames * 2 * channels > kWaveBufferSize)
            return Text("IMA ADPCM blocks of %u bytes are too large", align);
        return {};
    }
    case TWavType::wtMSADPCM: {
        if (channels > 2) return Text("Microsoft ADPCM with %u channels", channels);
        if (Format.CoefCount == 0 || Format.CoefCount > kMsAdpcmMaxCoefs)
            return Text("Microsoft ADPCM with %u coefficient pairs", unsigned(Format.CoefCount));
        const uint32_t spb = Format.SamplesPerBlock;
        if (align < 7 * channels)
            return Text("block align %u is too small for Microsoft ADPCM", align);
        if (spb < 2) return Text("Microsoft ADPCM with %u samples per block", spb);
        // Every code of the block must lie within it, and its output within the buffer.
        if ((spb - 2) * channels > (align - 7 * channels) * 2)
            return Text("%u samples per block do not fit Microsoft ADPCM blocks of %u bytes", spb,
                        align);
        if (spb * 2 * channels > kWaveBufferSize)
            return Text("Microsoft ADPCM blocks of %u samples are too large", spb);
        return {};
    }
    case TWavType::wtACM:
        return {}; // the codec manager judges its own format
    case TWavType::wtALaw:
    case TWavType::wtMuLaw:
        // One byte per sample; the expansion doubles a buffer's worth.
        if (bits != 8) return Text("G.711 with %u bits per sample", bits);
        if (align != channels)
            return Text("block align %u does not hold %u G.711 channels", align, channels);
        if (channels * 2 > kWaveBufferSize) return Text("G.711 with %u channels", channels);
        return {};
    case TWavType::wtUnsupported:
        break;
    }
    return "the format is not supported";
}

} // namespace sundral
