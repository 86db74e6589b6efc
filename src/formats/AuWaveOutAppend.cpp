#include "formats/AuWaveOutAppend.h"

#include <algorithm>
#include <cstdlib>

#include "formats/AuWaveOutHeaders.h"

namespace sundral {
namespace {

bool CodeMatches(const uint8_t* At, const char (&Code)[5]) {
    for (int i = 0; i < 4; ++i) {
        const int d = std::abs(int(At[i]) - int(uint8_t(Code[i])));
        if (d != 0 && d != 32) return false;
    }
    return true;
}

enum class TScanState { ExpectFmt, ExpectFact, ExpectData };

} // namespace

TWaveAppendInfo WaveAppendScan(TStream& Stream) {
    TWaveAppendInfo info;
    uint8_t area[kAppendHeaderArea];
    if (Stream.Seek(0, TSeekOrigin::soBeginning) != 0) return info;
    const int64_t got = Stream.Read(area, kAppendHeaderArea);
    // n bounds every access below: nothing past what was read is looked at.
    const int64_t n = std::clamp<int64_t>(got, 0, kAppendHeaderArea);

    // "RIFF" and then "WAVE", each found by sliding one byte at a time.
    int64_t p = 0;
    while (p + 4 <= n && !CodeMatches(area + p, "RIFF")) ++p;
    if (p + 8 > n) return info;
    const int64_t riffSizeOffset = p + 4;
    p += 8;
    while (p + 4 <= n && !CodeMatches(area + p, "WAVE")) ++p;
    if (p + 4 > n) return info;
    p += 4;

    TWaveAppendInfo found;
    found.RiffSizeOffset = riffSizeOffset;
    TScanState state = TScanState::ExpectFmt;
    for (;;) {
        // A chunk head (code and size) must lie in what was read.
        if (p + 8 > n) return info;
        const uint8_t* code = area + p;
        const int64_t bodySize = GetU32(area + p + 4);
        const int64_t body = p + 8;
        // The body may be read or skipped only within the header area.
        const bool bodyInArea = body + bodySize <= n;
        if (state == TScanState::ExpectFmt && CodeMatches(code, "fmt ")) {
            // The fields up to bits per sample are 16 bytes; they must have been read.
            if (bodySize < 16 || !bodyInArea) return info;
            const uint8_t* f = area + body;
            const uint16_t tag = GetU16(f);
            if (tag == WAVE_FORMAT_PCM)
                found.WavType = TWavType::wtPCM;
            else if (tag == WAVE_FORMAT_DVI_ADPCM)
                found.WavType = TWavType::wtDVIADPCM;
            else
                return info;
            found.Channels = GetU16(f + 2);
            found.SampleRate = GetU32(f + 4);
            found.BlockAlign = GetU16(f + 12);
            found.BitsPerSample = GetU16(f + 14);
            // Samples per block sits at 18; only a body of at least 20 bytes holds it.
            if (bodySize >= 20) found.SamplesPerBlock = GetU16(f + 18);
            state = found.WavType == TWavType::wtDVIADPCM ? TScanState::ExpectFact
                                                          : TScanState::ExpectData;
        } else if (state == TScanState::ExpectFact && CodeMatches(code, "fact")) {
            // The frame count is the first 4 body bytes; they must have been read.
            if (bodySize < 4 || body + 4 > n) return info;
            found.FactValue = GetU32(area + body);
            found.FactOffset = body;
            state = TScanState::ExpectData;
        } else if (state == TScanState::ExpectData && CodeMatches(code, "data")) {
            found.DataSizeOffset = p + 4;
            found.DataSize = uint32_t(bodySize);
            found.DataStart = body;
            return found;
        }
        // Any other chunk, and the ones handled above, is passed by its declared size.
        if (!bodyInArea) return info;
        p = body + bodySize;
    }
}

bool WaveAppendLayoutSound(const TWaveAppendInfo& Info, int64_t StreamSize) {
    if (Info.WavType == TWavType::wtUnsupported) return false;
    if (Info.DataStart <= 0 || Info.DataStart > StreamSize) return false;
    const int64_t present = StreamSize - Info.DataStart;
    if (present > int64_t(Info.DataSize)) return false; // other bytes follow the audio
    if (Info.Channels == 0 || Info.SampleRate == 0) return false;
    if (Info.WavType == TWavType::wtPCM) {
        const uint32_t bits = Info.BitsPerSample;
        if (bits == 0 || bits % 8 != 0 || bits > 32) return false;
        // Block align divides below; matching channels x bits / 8 (both non-zero) makes it
        // non-zero, and makes a frame of the file a frame of the input.
        if (uint32_t(Info.BlockAlign) != Info.Channels * bits / 8) return false;
        return present % Info.BlockAlign == 0;
    }
    if (Info.BitsPerSample != 4 || Info.FactOffset < 0) return false;
    // The writer encodes blocks of this size and divides by it: the layout must fit it.
    if (!ImaBlockSizeFits(Info.BlockAlign, Info.Channels)) return false;
    if (Info.SamplesPerBlock != 0 &&
        Info.SamplesPerBlock != ImaSamplesPerBlock(Info.BlockAlign, Info.Channels))
        return false;
    return present % Info.BlockAlign == 0;
}

} // namespace sundral
