#include "formats/AuWaveInFormat.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace sundral {

namespace {

uint16_t GetU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t GetU32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Codes match when each byte pair is equal or differs by exactly 32, so letter case does not
// matter.
bool CodeMatches(const uint8_t* p, const char* Code) {
    for (int i = 0; i < 4; ++i) {
        int d = p[i] - static_cast<uint8_t>(Code[i]);
        if (d != 0 && d != 32 && d != -32) return false;
    }
    return true;
}

// The header area held in memory; the scan consumes it front to back.
class THeaderWindow {
public:
    explicit THeaderWindow(TStream& Stream) {
        FBytes.resize(static_cast<size_t>(WaveHeaderLimit));
        int64_t got = 0;
        if (Stream.Seek(0, TSeekOrigin::soBeginning) == 0) {
            while (got < WaveHeaderLimit) {
                int64_t n = Stream.Read(FBytes.data() + got, WaveHeaderLimit - got);
                if (n <= 0) break;
                got += n;
            }
        }
        FBytes.resize(static_cast<size_t>(got));
    }

    // Consumes N more bytes; false when the stream or the header area ends first.
    bool Take(int64_t N) {
        if (N < 0 || N > Available()) return false;
        FConsumed += N;
        return true;
    }
    // The last N bytes consumed.
    const uint8_t* Last(int64_t N) const { return FBytes.data() + (FConsumed - N); }
    int64_t Consumed() const { return FConsumed; }
    int64_t Available() const { return static_cast<int64_t>(FBytes.size()) - FConsumed; }
    // Chunk bodies are word-aligned in RIFF, yet some writers leave the pad byte out. A
    // chunk code never starts with a zero byte, so a zero after an odd body is the pad.
    void SkipPad(uint32_t BodySize) {
        if ((BodySize & 1) && Available() > 0 && FBytes[static_cast<size_t>(FConsumed)] == 0)
            ++FConsumed;
    }

private:
    std::vector<uint8_t> FBytes;
    int64_t FConsumed = 0;
};

// Reads a chunk's size and body; Body points at it afterwards.
bool TakeChunk(THeaderWindow& W, const uint8_t*& Body, uint32_t& BodySize) {
    if (!W.Take(4)) return false;
    BodySize = GetU32(W.Last(4));
    // The size comes from the file: the body must lie within the header area.
    if (!W.Take(BodySize)) return false;
    Body = W.Last(BodySize);
    W.SkipPad(BodySize);
    return true;
}

// Reads the "fmt " body into Format; false for an unknown tag or sub-format, or a body that
// is too short for the fields its type needs or too long for the reader's buffers.
bool ParseFmt(const uint8_t* Body, uint32_t Size, TWaveFormat& Format) {
    if (Size < 16 || Size > WaveFmtBodyMax) return false;
    Format.FormatTag = GetU16(Body);
    Format.Channels = GetU16(Body + 2);
    Format.SampleRate = GetU32(Body + 4);
    Format.BlockAlign = GetU16(Body + 12);
    Format.BitsPerSample = GetU16(Body + 14);
    switch (Format.FormatTag) {
    case WAVE_FORMAT_PCM:
        Format.WavType = TWavType::wtPCM;
        break;
    case WAVE_FORMAT_DVI_ADPCM:
        Format.WavType = TWavType::wtDVIADPCM;
        break;
    case WAVE_FORMAT_ADPCM:
        Format.WavType = TWavType::wtMSADPCM;
        break;
    case WAVE_FORMAT_MPEGLAYER3:
        Format.WavType = TWavType::wtACM;
        break;
    case WAVE_FORMAT_IEEE_FLOAT:
        Format.WavType = TWavType::wtIEEEFloat;
        break;
    case WAVE_FORMAT_EXTENSIBLE: {
        // The sub-format is the last 16 bytes; it must not overlap the fields above.
        if (Size < 32) return false;
        const uint8_t* guid = Body + Size - 16;
        if (std::memcmp(guid, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT.data(), 16) == 0)
            Format.WavType = TWavType::wtExtIEEEFloat;
        else if (std::memcmp(guid, KSDATAFORMAT_SUBTYPE_PCM.data(), 16) == 0)
            Format.WavType = TWavType::wtExtPCM;
        else
            return false;
        break;
    }
    default:
        return false;
    }
    if (Format.WavType == TWavType::wtDVIADPCM || Format.WavType == TWavType::wtMSADPCM) {
        if (Size < 20) return false;
        Format.SamplesPerBlock = GetU16(Body + 18);
    }
    if (Format.WavType == TWavType::wtMSADPCM) {
        if (Size < 22) return false;
        Format.CoefCount = GetU16(Body + 20);
        // The count comes from the file and sizes the coefficient table.
        if (Format.CoefCount == 0 || Format.CoefCount > MsAdpcmMaxCoefs ||
            Size < 22 + 4u * Format.CoefCount)
            return false;
        for (uint32_t i = 0; i < Format.CoefCount; ++i) {
            Format.Coefs[i].Coef1 = static_cast<int16_t>(GetU16(Body + 22 + 4 * i));
            Format.Coefs[i].Coef2 = static_cast<int16_t>(GetU16(Body + 24 + 4 * i));
        }
    }
    return true;
}

enum class TScanState { ssRiff, ssWave, ssFmt, ssFact, ssData };

} // namespace

uint32_t ImaFramesPerBlock(uint32_t BlockAlign, uint32_t Channels) {
    if (Channels == 0 || BlockAlign < 4 * Channels) return 0;
    uint32_t codeBytes = BlockAlign - 4 * Channels;
    return codeBytes * 2 / Channels + 1;
}

TWavType ScanWaveHeader(TStream& Stream, TWaveFormat& Format) {
    Format = TWaveFormat{};
    THeaderWindow w(Stream);
    if (!w.Take(4)) return TWavType::wtUnsupported;
    TScanState state = TScanState::ssRiff;
    TWaveFormat found;
    for (;;) {
        const uint8_t* code = w.Last(4);
        const uint8_t* body = nullptr;
        uint32_t size = 0;
        bool ok = true;
        switch (state) {
        case TScanState::ssRiff:
        case TScanState::ssWave: {
            // "RIFF" may follow other bytes: the code window slides one byte at a time.
            const bool riff = state == TScanState::ssRiff;
            if (CodeMatches(code, riff ? "RIFF" : "WAVE")) {
                ok = w.Take(4);
                state = riff ? TScanState::ssWave : TScanState::ssFmt;
            } else {
                ok = w.Take(1);
            }
            break;
        }
        case TScanState::ssFmt:
            if (CodeMatches(code, "fmt ")) {
                if (!TakeChunk(w, body, size) || !ParseFmt(body, size, found))
                    return TWavType::wtUnsupported;
                const TWavType t = found.WavType;
                state =
                    (t == TWavType::wtDVIADPCM || t == TWavType::wtMSADPCM || t == TWavType::wtACM)
                        ? TScanState::ssFact
                        : TScanState::ssData;
            } else {
                ok = TakeChunk(w, body, size);
            }
            ok = ok && w.Take(4);
            break;
        case TScanState::ssFact:
            ok = TakeChunk(w, body, size);
            if (ok && CodeMatches(code, "fact")) {
                // The frame count is the first four body bytes: they must be there.
                if (size < 4) return TWavType::wtUnsupported;
                found.FactFrames = GetU32(body);
                state = TScanState::ssData;
            }
            ok = ok && w.Take(4);
            break;
        case TScanState::ssData:
            if (CodeMatches(code, "data")) {
                if (!w.Take(4)) return TWavType::wtUnsupported;
                found.DataSize = GetU32(w.Last(4));
                found.DataStart = w.Consumed();
                Format = found;
                return Format.WavType;
            }
            ok = TakeChunk(w, body, size) && w.Take(4);
            break;
        }
        if (!ok) return TWavType::wtUnsupported;
    }
}

bool WaveFormatUsable(const TWaveFormat& Format) {
    const uint32_t channels = Format.Channels;
    const uint32_t bits = Format.BitsPerSample;
    if (channels == 0 || Format.SampleRate == 0) return false;
    switch (Format.WavType) {
    case TWavType::wtPCM:
    case TWavType::wtExtPCM:
        // Whole bytes per sample, and at least one frame per buffer fill.
        return bits != 0 && bits % 8 == 0 && channels * (bits / 8) <= WaveBufferSize;
    case TWavType::wtIEEEFloat:
    case TWavType::wtExtIEEEFloat:
        // Single or double floats only; buffer fills are whole double-width frames.
        return (bits == 32 || bits == 64) && channels * 8 <= WaveBufferSize;
    case TWavType::wtDVIADPCM: {
        if (bits != 4 || channels > 2) return false;
        const uint32_t ba = Format.BlockAlign;
        const uint32_t frames = ImaFramesPerBlock(ba, channels);
        // Stereo codes come in 4-byte groups per channel, so whole pairs of groups.
        if (frames == 0 || (channels == 2 && (ba - 8) % 8 != 0)) return false;
        // The block is decoded whole into the buffer, and its frame count is the seek unit.
        return Format.SamplesPerBlock == frames && frames * 2 * channels <= WaveBufferSize;
    }
    case TWavType::wtMSADPCM: {
        if (channels > 2 || Format.CoefCount == 0 || Format.CoefCount > MsAdpcmMaxCoefs)
            return false;
        const uint32_t ba = Format.BlockAlign;
        const uint32_t spb = Format.SamplesPerBlock;
        if (ba < 7 * channels || spb < 2) return false;
        // Every code of the block must lie within it, and its output within the buffer.
        return (spb - 2) * channels <= (ba - 7 * channels) * 2 &&
               spb * 2 * channels <= WaveBufferSize;
    }
    case TWavType::wtACM:
        return true; // the codec manager judges its own format
    case TWavType::wtUnsupported:
        break;
    }
    return false;
}

} // namespace sundral
