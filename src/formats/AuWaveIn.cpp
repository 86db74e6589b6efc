#include "formats/AuWaveIn.h"

#include <algorithm>
#include <cstring>

#include "audio/AuProcs.h"
#include "formats/AuWaveInAdpcm.h"
#include "formats/WaveConverter.h"
#include "platform/acm.h"

namespace sundral {

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

    OpenOwnStream();
    FSource = FStream;
    if (FSource) {
        // A type whose parameters the reader cannot use keeps its name but is not valid.
        FWavType = ScanWaveHeader(*FSource, FFormat);
        FValid = FWavType != TWavType::wtUnsupported && WaveFormatUsable(FFormat);
    }

    const TWaveFormat& f = FFormat;
    // The declared data size may run past the end of a cut-short file: only what is there
    // is read.
    const int64_t present = FSource ? std::max<int64_t>(FSource->Size() - f.DataStart, 0) : 0;
    const int64_t dataBytes = std::min<int64_t>(f.DataSize, present);
    // Non-zero for the PCM and float types once WaveFormatUsable accepted the format.
    const uint32_t storedFrame = f.Channels * (f.BitsPerSample / 8u);
    switch (FValid ? FWavType : TWavType::wtUnsupported) {
    case TWavType::wtUnsupported:
        break;
    case TWavType::wtPCM:
    case TWavType::wtExtPCM:
        FSize = dataBytes - dataBytes % storedFrame;
        FDataEnd = f.DataStart + FSize;
        FBitsPerSample = f.BitsPerSample;
        break;
    case TWavType::wtIEEEFloat:
    case TWavType::wtExtIEEEFloat: {
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
        // "fact" may claim more frames than the blocks present hold.
        const int64_t blocks = (dataBytes + f.BlockAlign - 1) / f.BlockAlign;
        FAdpcmFrames = std::min<int64_t>(f.FactFrames, blocks * f.SamplesPerBlock);
        FSize = FAdpcmFrames * 2 * f.Channels;
        FBitsPerSample = 16;
        FBlock.assign(f.BlockAlign, 0);
        break;
    }
    case TWavType::wtACM:
        FValid = OpenAcm();
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
                         TWaveConverter::FormatBufferSize, acmFormatSuggestTag) != acmOk)
        return false;
    if (converter.ConvertData() != 0) return false;
    auto image = std::make_unique<TMemoryStream>();
    if (converter.SaveWaveStream(*image) != 0) return false;
    TWaveFormat f;
    if (ScanWaveHeader(*image, f) != TWavType::wtPCM || !WaveFormatUsable(f)) return false;
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
    case TWavType::wtUnsupported:
        break;
    }
}

void TWaveIn::FillPcm(uint32_t FrameBytes) {
    uint32_t n = ReadStream(FBuffer.data(), WaveBufferSize - WaveBufferSize % FrameBytes);
    FBufferEnd = n - n % FrameBytes;
}

void TWaveIn::FillFloat() {
    const uint32_t frame = FFormat.Channels * (FFormat.BitsPerSample / 8u);
    // Whole double-width frames, so that either width fills whole frames.
    uint32_t n =
        ReadStream(FBuffer.data(), WaveBufferSize - WaveBufferSize % (FFormat.Channels * 8));
    n -= n % frame;
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
        // A short final block is decoded with its missing bytes as zero.
        std::fill(FBlock.begin() + got, FBlock.end(), uint8_t{0});
        uint32_t frames = f.WavType == TWavType::wtDVIADPCM
                              ? DecodeImaBlock(FBlock.data(), f.BlockAlign, f.Channels, out)
                              : DecodeMsAdpcmBlock(FBlock.data(), f.Channels, f.SamplesPerBlock,
                                                   f.Coefs.data(), f.CoefCount, out);
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
    case TWavType::wtExtIEEEFloat: {
        const int64_t frame = f.Channels * (f.BitsPerSample / 8);
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
