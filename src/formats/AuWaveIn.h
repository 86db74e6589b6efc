// TWaveIn: the file source for RIFF/WAVE files (also big-endian "RIFX" and 64-bit "RF64").
// It delivers interleaved little-endian integer PCM: PCM and extensible PCM as stored (turned
// little-endian); IEEE float (plain or extensible, 32- or 64-bit) as 32-bit integers; IMA and
// Microsoft ADPCM, A-law and µ-law as 16-bit; and files with format tag 85 as the PCM the
// codec manager makes of the whole file when it is opened.
//
// Every type seeks to the exact frame asked for: PCM and float by their stored frame size,
// tag 85 within the converted PCM, ADPCM to the block holding the frame and then past the
// block's leading frames, inside the reader.
//
// PCM samples sit in containers as wide as the block align makes them (24 bits in 4 bytes,
// 20 in 3) and are delivered at the container's width; containers wider than 4 bytes (64-bit
// integers, 36 bits in 5 bytes) are delivered as their upper 4 bytes, i.e. as 32-bit PCM.
//
// Reading never goes past the "data" chunk: a "data" size larger than the file is cut to the
// whole frames present; ADPCM delivers at most the "fact" frame count and at most what the
// blocks present hold (of a block cut short, the frames whose codes are present).
//
// Threading: OpenSource/CloseSource run under FileLock (format queries from the UI thread,
// Init from the worker); ReadSource/SeekSource run under DataLock on the worker. A pointer
// handed out by ReadSource stays valid until the next ReadSource or SeekSource.
// Ownership: the file stream the reader opens and the converted PCM of a tag-85 file are its
// own; a stream given through SetStream belongs to the caller (rewound at close).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "audio/AuClassesFile.h"
#include "formats/AuWaveInFormat.h"
#include "formats/AuWaveTypes.h"

namespace sundral {

class TWaveIn : public TAuFileIn {
public:
    explicit TWaveIn(TComponent* AOwner);
    ~TWaveIn() override;

    // Opens the file (unless a stream was assigned) and scans its header: sets Valid, Size,
    // BitsPerSample, Channels and SampleRate. Does nothing while already open.
    void OpenSource() override;
    // Releases what OpenSource acquired. Does nothing while closed.
    void CloseSource() override;

    // The wave type found by the last open (a format query or Init opens the file).
    TWavType WavType() const { return FWavType; }
    // The header found by the last open (for a tag-85 file: that of the converted PCM).
    const TWaveFormat& Format() const { return FFormat; }

protected:
    void ReadSource(const uint8_t*& Buffer, uint32_t& Bytes) override;
    bool SeekSource(int64_t& SampleNum) override;

private:
    bool OpenAcm();
    void SetStreamPosition(int64_t Value);
    uint32_t ReadStream(uint8_t* Dest, uint32_t Count);
    void FillBuffer();
    void FillPcm(uint32_t FrameBytes);
    void FillFloat();
    void FillAdpcm();
    void FillG711();

    TWavType FWavType = TWavType::wtUnsupported;
    TWaveFormat FFormat;
    // The stream the audio is read from: the file's, or the converted PCM of a tag-85 file.
    TStream* FSource = nullptr;
    std::unique_ptr<TMemoryStream> FConverted;
    int64_t FReadPos = 0; // position of FSource, kept here to spare a query per read
    int64_t FDataEnd = 0; // end of the audio in FSource (never past the stream's end)
    bool FSinglePrecision = false;
    uint32_t FContainerBytes = 0; // PCM: bytes one stored sample occupies
    // ADPCM: frames the blocks deliver in total, the block to decode next, and the frames
    // of that block to drop after a seek into its middle.
    int64_t FAdpcmFrames = 0;
    int64_t FBlockIndex = 0;
    uint32_t FSkipFrames = 0;
    std::vector<uint8_t> FBlock; // one ADPCM block, or G.711 codes, as read
    alignas(16) std::array<uint8_t, kWaveBufferSize> FBuffer{};
};

} // namespace sundral
