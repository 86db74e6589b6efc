// Finding where an existing WAV file keeps its format and sizes, so that the writer can add
// audio at its end and fix the sizes afterwards.
//
// The scan walks the stream with the RIFF chunk walker, as far as the audio lies, however
// large the chunks before it: "RIFF" and "WAVE" may follow other bytes (within the reader's
// search limit), codes match in either letter case, bodies are skipped by their declared
// size and pad byte. It wants "fmt " (format tag 1 or 17 only), for IMA a "fact" chunk, then
// "data"; other chunks around them are passed. Big-endian files are not appended to; RF64
// files are, with the sizes their "ds64" chunk holds. Where a file cannot be appended to,
// Why says why, in words that follow "Cannot append data to this .wav file: ".
//
// Every offset and size comes from the file and is checked against the bytes actually read
// before it is used. Pure functions over a stream; the caller owns the stream. Any thread.
#pragma once

#include <cstdint>

#include "formats/AuWaveTypes.h"
#include "platform/Streams.h"

namespace sundral {

struct TWaveAppendInfo {
    TWavType WavType = TWavType::wtUnsupported; // wtPCM, wtDVIADPCM, or wtUnsupported
    uint16_t Channels = 0;
    uint32_t SampleRate = 0;
    uint16_t BlockAlign = 0;
    uint16_t BitsPerSample = 0;
    uint16_t SamplesPerBlock = 0; // IMA: the format body's field, 0 when the body lacks it
    int64_t RiffSizeOffset = 0;   // where the RIFF size field lies ("RIFF" code + 4)
    bool Rf64 = false;            // the sizes live in "ds64"
    // Where the "ds64" chunk lies (RF64), or a "JUNK" chunk right after "WAVE" that can
    // become one (RIFF); -1 when there is neither.
    int64_t Ds64Offset = -1;
    uint32_t FactValue = 0;  // IMA only
    int64_t FactOffset = -1; // IMA only: where the "fact" value lies
    int64_t DataSize = 0;    // as the data chunk (or "ds64") declares it
    int64_t DataSizeOffset = 0;
    int64_t DataStart = 0;     // offset of the first audio byte
    const char* Why = nullptr; // wtUnsupported: why the file cannot be appended to
};

// Scans the stream from offset 0. The stream position is left undefined.
TWaveAppendInfo WaveAppendScan(TStream& Stream);

// Where the audio of a stream of StreamSize bytes whose header the scan found ends, so that
// more can be added there without misreading what is there; -1 when it cannot be:
//  - the data chunk must be the last thing in the file (its declared size may be larger
//    than what is there, as after a crash, but not smaller: bytes after it would become
//    audio), its pad byte after an odd size aside (the new audio goes over it);
//  - the audio there must be whole frames (PCM) or whole blocks (IMA), or what is added
//    would be read out of step;
//  - the format must be one the writer produces: PCM frames of whole bytes (block align =
//    channels x bits / 8), or IMA with 4 bits, 1 or 2 channels, a block align the layout
//    fits and, when present, the matching samples-per-block field.
// Why, when given, receives the reason for -1 (nullptr otherwise).
int64_t WaveAppendAudioEnd(const TWaveAppendInfo& Info, int64_t StreamSize,
                           const char** Why = nullptr);
inline bool WaveAppendLayoutSound(const TWaveAppendInfo& Info, int64_t StreamSize) {
    return WaveAppendAudioEnd(Info, StreamSize) >= 0;
}

} // namespace sundral
