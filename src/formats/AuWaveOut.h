// TWaveOut: the sink that writes its input into a RIFF/WAVE file.
//
// What it writes, by WavType and the input's format:
//  - wtPCM: the 44-byte PCM header and the input's bytes as they come;
//  - extensible PCM: the 68-byte header, chosen by the writer itself when
//    CreateNonMsHeaders is false and the input has more than 2 channels or more than 16 bits
//    (WavType then reads wtExtPCM until the next run);
//  - wtDVIADPCM: the 60-byte IMA header and BlockSize-byte IMA blocks (16-bit mono or
//    stereo input only); the last block is padded with silence.
// With FileMode foAppend and an existing non-empty PCM or IMA file of the input's format,
// the audio is added at the end and the sizes in the existing header are brought up to date.
//
// Audio of an odd size is followed by a zero pad byte, as RIFF wants: the RIFF size counts
// it, the data size does not.
//
// Sizes: the header is written with the input's Size when it is known; Done patches it to
// what was really written whenever that differs (stopped, failed, unknown size, appended).
// Past what 32-bit sizes describe (SizeLimit), the file is RF64: its 64-bit sizes sit in a
// "ds64" chunk right after "WAVE". A known size decides at the start: only a file that will
// pass the limit gets the RF64 header. An unknown size gets a "JUNK" chunk in that place,
// which Done turns into "ds64" if the data went past the limit. Appending works on RF64
// files, and turns a RIFF file with such a "JUNK" chunk into RF64 when needed; a RIFF file
// without one that would pass the limit is refused with "Wave file would exceed 4 GB" (or,
// when the input's size was not known, the run ends so, with a header that describes what
// was written).
//
// Failures end the run with ExceptionMessage set and OnDone still delivered: a write that
// falls short anywhere gives "Error writing wave file" (the header then describes what is in
// the file); an input that fails gives its own message.
//
// Threading: properties are set on the UI thread while the writer is idle (WavType and
// BlockSize refuse changes while Busy). Prepare, DoOutput and Done run on the worker.
// Ownership: the input is not owned; a stream given through SetStream is not owned; the
// file stream the writer opens itself is, and it is closed at the end of each run.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "audio/AuClassesFile.h"
#include "formats/AuWaveOutAppend.h"
#include "formats/AuWaveOutIma.h"
#include "formats/AuWaveTypes.h"
#include "platform/filestream.h"

namespace sundral {

class TWaveOut : public TAuFileOut {
public:
    explicit TWaveOut(TComponent* AOwner);
    ~TWaveOut() override;

    // The encoding to write: only wtPCM and wtDVIADPCM are taken, and only while idle.
    // After a run it tells what that run wrote (wtExtPCM, or the type of the file appended
    // to); the next run starts again from the value last set here.
    TWavType WavType() const { return FWavType.load(); }
    void SetWavType(TWavType Value);
    // IMA block size in bytes: 0, values not a multiple of 4, and changes while busy are
    // ignored. Appending to an IMA file uses (and shows) that file's block size for the run.
    uint16_t BlockSize() const { return FBlockSize.load(); }
    void SetBlockSize(uint16_t Value);
    bool CreateNonMsHeaders() const { return FCreateNonMsHeaders; }
    void SetCreateNonMsHeaders(bool Value) { FCreateNonMsHeaders = Value; }
    // Both foRewrite and foAppend are taken.
    void SetFileMode(TFileOutputMode Value) override;
    // The largest value a 32-bit size field is given (0xFFFFFFFF); past it the file becomes
    // RF64. Tests lower it to keep their files small. Takes effect at the next run.
    int64_t SizeLimit() const { return FSizeLimit; }
    void SetSizeLimit(int64_t Value) { FSizeLimit = std::clamp<int64_t>(Value, 64, UINT32_MAX); }

protected:
    void Prepare() override;
    bool DoOutput(bool Abort) override;
    void Done() override;

private:
    void CheckInputFormat();
    void PrepareAppend(const TWaveAppendInfo& Info, int64_t AudioEnd);
    void PrepareNewFile();
    bool WritePcmStep();
    bool WriteImaStep();
    void WriteAll(const void* Data, int64_t Count);
    void PadToPromisedSize();
    void WritePadByte();
    void PatchHeader();
    void PatchField(int64_t Offset, uint32_t Value);
    void PatchRf64(int64_t RiffSize, int64_t DataSize, int64_t Frames);
    void PatchBytes(int64_t Offset, const void* Bytes, int64_t Count);
    void Fail(const char* Message);

    // Properties. The Requested* values are what the UI set; the atomics are what the
    // current or last run used, which the UI may read while the worker changes them.
    std::atomic<TWavType> FWavType{TWavType::wtPCM};
    std::atomic<uint16_t> FBlockSize{512};
    TWavType FRequestedType = TWavType::wtPCM;
    uint16_t FRequestedBlockSize = 512;
    bool FCreateNonMsHeaders = true;
    int64_t FSizeLimit = UINT32_MAX;

    // Everything below belongs to the worker during a run.
    std::unique_ptr<TAuFileStream> FOwnStream;
    TWavType FRunType = TWavType::wtPCM;
    bool FAppending = false;
    bool FHeaderReady = false; // a header describes the file; Done may patch it
    bool FFailed = false;      // the run ended on an error: patch, never pad
    bool FEndOfInput = false;
    bool FPadded = false; // a pad byte follows the audio
    uint32_t FSampleRate = 0;
    uint16_t FChannels = 0;
    uint16_t FBitsPerSample = 0;
    uint32_t FFrameBytes = 0;
    int64_t FInputSize = -1;

    // Where the file's fields lie and what they hold now.
    int64_t FRiffStart = 0;
    int64_t FDataSizeOffset = 0;
    int64_t FFactOffset = -1;
    int64_t FDataStart = 0;
    int64_t FEnd = 0;         // stream offset after the last byte written
    int64_t FMaxEnd = 0;      // the size fields allow no file longer than this
    int64_t FFieldMax = 0;    // the largest size or count the file can hold
    int64_t FDs64Offset = -1; // the "ds64" chunk, or the "JUNK" chunk that can become one
    bool FRf64 = false;       // the file is RF64 already
    int64_t FPromised = 0;    // data size the header was written with
    uint32_t FHeaderRiffSize = 0, FHeaderDataSize = 0, FHeaderFact = 0;

    // IMA: frames already in the file before this run's blocks, frames this run took from
    // the input, and the encoder's state and buffers (kept for the whole run).
    uint32_t FSamplesPerBlock = 0;
    int64_t FFramesBefore = 0;
    int64_t FFramesTaken = 0;
    TImaChannelState FIma[2];
    std::vector<int16_t> FFrameBuffer;
    std::vector<uint8_t> FBlock;
};

} // namespace sundral
