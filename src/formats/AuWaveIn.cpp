#include "formats/AuWaveIn.h"

#include <algorithm>
#include <cstring>

#include "audio/AuProcs.h"
#include "formats/AuWaveG711.h"
#include "formats/AuWaveInAdpcm.h"
#include "formats/WaveConverter.h"
#include "platform/acm.h"

namespace sundral {

namespace {

// Reverses the bytes of each Width-byte sample in the first Count bytes of Data.
void SwapBytes(uint8_t* Data, uint32_t Count, uint32_t Width) {
    for (uint32_t at = 0; at + Width <= Count; at += Width)
        std::reverse(Data + at, Data + at + Width);
}

} // namespace

TWaveIn::TWaveIn(TComponent* AOwner) : TAuFileIn(AOwner) {}

TWaveIn::~TWaveIn() {
    CloseSource();
}

void TWaveIn::OpenSource() {
    std::lock_guard guard(FFileLock);
    if (FOpenCount > 0) return;
    FValid = false;
    FSinglePrecision = false;
    FWavType = TWavType::wtUnsupported;
    FFormat = TWaveFormat{};
    FSize = 0;
    FBitsPerSample = FChannels = FSampleRate = 0;
    FConverted.reset();
    FSource = nullptr;
    FReadPos = FDataEnd = 0;
    FAdpcmFrames = FBlockIndex = 0;
    FSkipFrames = 0;
    FContainerBytes = 0;
    FInvalidReason.clear();

    OpenOwnStream();
    FSource = FStream;
    if (FSource) {
        // A type whose parameters the reader cannot use keeps its name but is not valid.
        FWavType = ScanWaveHeader(*FSource, FFormat, FInvalidReason);
        if (FWavType != TWavType::wtUnsupported) FInvalidReason = WaveFormatProblem(FFormat);
        FValid = FWavType != TWavType::wtUnsupported && FInvalidReason.empty();
    } else {
        FInvalidReason = "no stream to read";
    }

    const TWaveFormat& f = FFormat;
    // The declared data size may run past the end of a cut-short file: only what is there
    // is read.
    const int64_t present = FSource ? std::max<int64_t>(FSource->Size() - f.DataStart, 0) : 0;
    const int64_t dataBytes = std::min<int64_t>(f.DataSize, present);
    switch (FValid ? FWavType : TWavType::wtUnsupported) {
    case TWavType::wtUnsupported:
        break;
    case TWavType::wtPCM:
    case TWavType::wtExtPCM: {
        // Samples sit in containers of the block align's size (1..8 bytes once
        // WaveFormatProblem accepted the format); wider than 4 bytes are delivered as their
        // upper 4 bytes, which hold the sample's most significant bits.
        FContainerBytes = WavePcmContainerBytes(f);
        const uint32_t stored = f.Channels * FContainerBytes;
        const uint32_t delivered = std::min(FContainerBytes, 4u);
        const int64_t frames = dataBytes / stored;
        FDataEnd = f.DataStart + frames * stored;
        FSize = frames * f.Channels * delivered;
        FBitsPerSample = delivered * 8;
        break;
    }
    case TWavType::wtIEEEFloat:
    case TWavType::wtExtIEEEFloat: {
        const uint32_t storedFrame = f.Channels * (f.BitsPerSample / 8u);
        const int64_t stored = dataBytes - dataBytes % storedFrame;
        FDataEnd = f.DataStart + stored;
        FSinglePrecision = f.BitsPerSample == 32;
        // Doubles become 32-bit integers: half the bytes.
        FSize = FSinglePrecision ? stored : stored / 2;
        FBitsPerSample = 32;
        break;
    }
    case TWavType::wtDVIADPCM:
    case TWavType::wtMSADPCM: {
        FDataEnd = f.DataStart + dataBytes;
        // Block align and samples per block were checked against each other at the scan;
        // "fact" may claim more frames than the blocks present hold, and a file cut short
        // mid-block holds only the frames whose codes are there.
        const int64_t blocks = dataBytes / f.BlockAlign;
        const uint32_t tail = uint32_t(dataBytes % f.BlockAlign);
        const int64_t held = blocks * f.SamplesPerBlock + AdpcmFramesPresent(f, tail);
        // Without "fact" every block present plays in full.
        FAdpcmFrames = f.FactFrames < 0 ? held : std::min<int64_t>(f.FactFrames, held);
        FSize = FAdpcmFrames * 2 * f.Channels;
        FBitsPerSample = 16;
        FBlock.assign(f.BlockAlign, 0);
        break;
    }
    case TWavType::wtALaw:
    case TWavType::wtMuLaw: {
        // One byte per sample, delivered as 16 bits.
        const int64_t frames = dataBytes / f.Channels;
        FContainerBytes = 1;
        FDataEnd = f.DataStart + frames * f.Channels;
        FSize = frames * f.Channels * 2;
        FBitsPerSample = 16;
        FBlock.assign(kWaveBufferSize / 2, 0);
        break;
    }
    case TWavType::wtACM:
        FValid = OpenAcm();
        if (!FValid) FInvalidReason = "the codec manager cannot convert this file";
        break;
    }
    if (FValid) {
        FChannels = FFormat.Channels;
        FSampleRate = FFormat.SampleRate;
        SetStreamPosition(FFormat.DataStart);
    }
    FOpenCount = 1;
}

// The whole file goes through the codec manager now; what it makes is a PCM RIFF image in
// memory that is then read like any PCM file.
bool TWaveIn::OpenAcm() {
    TWaveConverter converter;
    converter.LoadWaveStream(*FSource);
    converter.TargetFormat()[0] = static_cast<uint8_t>(acmWaveFormatPCM);
    converter.TargetFormat()[1] = 0;
    if (acmFormatSuggest(nullptr, converter.CurrentFormat().data(), converter.TargetFormat().data(),
                         TWaveConverter::kFormatBufferSize, acmFormatSuggestTag) != acmOk)
        return false;
    if (converter.ConvertData() != 0) return false;
    auto image = std::make_unique<TMemoryStream>();
    if (converter.SaveWaveStream(*image) != 0) return false;
    TWaveFormat f;
    std::string reason;
    if (ScanWaveHeader(*image, f, reason) != TWavType::wtPCM || !WaveFormatUsable(f) ||
        WavePcmContainerBytes(f) * 8 != f.BitsPerSample)
        return false;
    const int64_t present = std::max<int64_t>(image->Size() - f.DataStart, 0);
    const int64_t dataBytes = std::min<int64_t>(f.DataSize, present);
    FSize = dataBytes - dataBytes % (f.Channels * (f.BitsPerSample / 8u));
    FDataEnd = f.DataStart + FSize;
    FBitsPerSample = f.BitsPerSample;
    FFormat = f;
    FConverted = std::move(image);
    FSource = FConverted.get();
    return true;
}

void TWaveIn::CloseSource() {
    std::lock_guard guard(FFileLock);
    if (FOpenCount <= 0) return;
    FSource = nullptr;
    FConverted.reset();
    ReleaseOwnStream();
    FOpenCount = 0;
}

void TWaveIn::SetStreamPosition(int64_t Value) {
    // A stream that cannot go there has nothing more to give.
    FReadPos =
        FSource && FSource->Seek(Value, TSeekOrigin::soBeginning) == Value ? Value : FDataEnd;
}

uint32_t TWaveIn::ReadStream(uint8_t* Dest, uint32_t Count) {
    const int64_t left = FDataEnd - FReadPos;
    if (left <= 0 || Count == 0) return 0;
    const int64_t n = FSource->Read(Dest, std::min<int64_t>(Count, left));
    if (n <= 0) return 0;
    FReadPos += n;
    return static_cast<uint32_t>(n);
}

void TWaveIn::ReadSource(const uint8_t*& Buffer, uint32_t& Bytes) {
    if (!FBusy) throw EAuException("The Stream is not opened");
    if (FBufferStart > FBufferEnd) FillBuffer();
    const uint32_t frame = FChannels * (FBitsPerSample / 8);
    uint32_t n = frame == 0 ? 0 : Bytes - Bytes % frame;
    const uint32_t held = FBufferStart <= FBufferEnd ? FBufferEnd - FBufferStart + 1 : 0;
    n = std::min(n, held);
    Buffer = FBuffer.data() + (FBufferStart - 1);
    FBufferStart += n;
    Bytes = n;
}

void TWaveIn::FillBuffer() {
    FBufferStart = 1;
    FBufferEnd = 0;
    if (!FValid) return;
    switch (FWavType) {
    case TWavType::wtPCM:
    case TWavType::wtExtPCM:
        FillPcm(FFormat.Channels * FContainerBytes);
        break;
    case TWavType::wtACM:
        FillPcm(FFormat.Channels * (FFormat.BitsPerSample / 8u));
        break;
    case TWavType::wtIEEEFloat:
    case TWavType::wtExtIEEEFloat:
        FillFloat();
        break;
    case TWavType::wtDVIADPCM:
    case TWavType::wtMSADPCM:
        FillAdpcm();
        break;
    case TWavType::wtALaw:
    case TWavType::wtMuLaw:
        FillG711();
        break;
    case TWavType::wtUnsupported:
        break;
    }
}

void TWaveIn::FillG711() {
    // Half a buffer of codes expands to a full buffer of 16-bit samples.
    const uint32_t channels = FFormat.Channels;
    uint32_t n = ReadStream(FBlock.data(), uint32_t(FBlock.size() - FBlock.size() % channels));
    n -= n % channels;
    auto* out = reinterpret_cast<int16_t*>(FBuffer.data());
    if (FWavType == TWavType::wtALaw)
        for (uint32_t i = 0; i < n; ++i) out[i] = ALawExpand(FBlock[i]);
    else
        for (uint32_t i = 0; i < n; ++i) out[i] = MuLawExpand(FBlock[i]);
    FBufferEnd = n * 2;
}

void TWaveIn::FillPcm(uint32_t FrameBytes) {
    uint32_t n = ReadStream(FBuffer.data(), kWaveBufferSize - kWaveBufferSize % FrameBytes);
    n -= n % FrameBytes;
    // Big-endian samples turned round, so that the rest sees them little-endian.
    if (FFormat.BigEndian && FContainerBytes > 1) SwapBytes(FBuffer.data(), n, FContainerBytes);
    if (FContainerBytes > 4) {
        // Keep the upper 4 bytes of every sample, packed at the start of the buffer.
        const uint32_t samples = n / FContainerBytes;
        const uint8_t* from = FBuffer.data() + (FContainerBytes - 4);
        for (uint32_t i = 0; i < samples; ++i, from += FContainerBytes)
            std::memmove(FBuffer.data() + 4 * i, from, 4);
        n = samples * 4;
    }
    FBufferEnd = n;
}

void TWaveIn::FillFloat() {
    const uint32_t frame = FFormat.Channels * (FFormat.BitsPerSample / 8u);
    // Whole double-width frames, so that either width fills whole frames.
    uint32_t n =
        ReadStream(FBuffer.data(), kWaveBufferSize - kWaveBufferSize % (FFormat.Channels * 8));
    n -= n % frame;
    if (FFormat.BigEndian) SwapBytes(FBuffer.data(), n, FFormat.BitsPerSample / 8u);
    if (FSinglePrecision) {
        FloatToInt32InPlace(FBuffer.data(), n);
        FBufferEnd = n;
    } else {
        DoubleToInt32InPlace(FBuffer.data(), n);
        FBufferEnd = n / 2;
    }
}

void TWaveIn::FillAdpcm() {
    const TWaveFormat& f = FFormat;
    const uint32_t frameBytes = 2u * f.Channels;
    auto* out = reinterpret_cast<int16_t*>(FBuffer.data());
    for (;;) {
        const int64_t first = FBlockIndex * f.SamplesPerBlock;
        if (first >= FAdpcmFrames) return;
        const uint32_t got = ReadStream(FBlock.data(), f.BlockAlign);
        if (got == 0) return;
        // A short final block is decoded whole (its missing bytes as zero) but only the
        // frames whose codes were read are delivered.
        std::fill(FBlock.begin() + got, FBlock.end(), uint8_t{0});
        uint32_t frames = f.WavType == TWavType::wtDVIADPCM
                              ? DecodeImaBlock(FBlock.data(), f.BlockAlign, f.Channels, out)
                              : DecodeMsAdpcmBlock(FBlock.data(), f.Channels, f.SamplesPerBlock,
                                                   f.Coefs.data(), f.CoefCount, out);
        frames = std::min(frames, AdpcmFramesPresent(f, got));
        frames = static_cast<uint32_t>(std::min<int64_t>(frames, FAdpcmFrames - first));
        ++FBlockIndex;
        const uint32_t skip = FSkipFrames;
        FSkipFrames = 0;
        if (skip < frames) {
            FBufferStart = 1 + skip * frameBytes;
            FBufferEnd = frames * frameBytes;
            return;
        }
    }
}

bool TWaveIn::SeekSource(int64_t& SampleNum) {
    FBufferStart = 1;
    FBufferEnd = 0;
    if (!FValid || SampleNum < 0) return false;
    const TWaveFormat& f = FFormat;
    switch (FWavType) {
    case TWavType::wtPCM:
    case TWavType::wtExtPCM:
    case TWavType::wtACM:
    case TWavType::wtIEEEFloat:
    case TWavType::wtExtIEEEFloat:
    case TWavType::wtALaw:
    case TWavType::wtMuLaw: {
        const bool pcm = FWavType == TWavType::wtPCM || FWavType == TWavType::wtExtPCM ||
                         FWavType == TWavType::wtALaw || FWavType == TWavType::wtMuLaw;
        const int64_t frame = f.Channels * (pcm ? FContainerBytes : f.BitsPerSample / 8u);
        const int64_t frames = (FDataEnd - f.DataStart) / frame;
        SetStreamPosition(f.DataStart + std::min(SampleNum, frames) * frame);
        return true;
    }
    case TWavType::wtDVIADPCM:
    case TWavType::wtMSADPCM: {
        // To the block holding the frame; its leading frames are dropped after decoding.
        const int64_t s = std::min(SampleNum, FAdpcmFrames);
        FBlockIndex = s / f.SamplesPerBlock;
        FSkipFrames = static_cast<uint32_t>(s % f.SamplesPerBlock);
        SetStreamPosition(f.DataStart + FBlockIndex * f.BlockAlign);
        return true;
    }
    case TWavType::wtUnsupported:
        break;
    }
    return false;
}

} // namespace sundral
