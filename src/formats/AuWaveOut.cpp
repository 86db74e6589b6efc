#include "formats/AuWaveOut.h"

#include <algorithm>
#include <array>
#include <bit>
#include <filesystem>
#include <system_error>

#include "formats/AuWaveOutHeaders.h"
#include "platform/TextConv.h"

namespace sundral {

static_assert(std::endian::native == std::endian::little,
              "16-bit input samples are read in place as little-endian");

namespace {

constexpr uint32_t kPcmStep = 16384;

constexpr const char* kErrWrite = "Error writing wave file";
constexpr const char* kErrTooLarge = "Wave file would exceed 4 GB";
constexpr const char* kErrAppendFile = "Cannot append data to this .wav file: ";
constexpr const char* kErrAppendFormat = "Cannot append data in different audio format.";
constexpr const char* kErrImaBits = "Cannot encode 8 bit sound into ADPCM.";
constexpr const char* kErrImaChannels = "Cannot encode more than 2 channels into ADPCM.";
constexpr const char* kErrImaBlockSize = "Block size does not suit ADPCM.";
constexpr const char* kErrFormat = "Cannot write this audio format to a .wav file.";

bool IsImaType(TWavType T) {
    return T == TWavType::wtDVIADPCM;
}

} // namespace

TWaveOut::TWaveOut(TComponent* AOwner) : TAuFileOut(AOwner) {}

TWaveOut::~TWaveOut() {
    StopWorker();
}

void TWaveOut::SetWavType(TWavType Value) {
    if (Busy()) return;
    if (Value != TWavType::wtPCM && Value != TWavType::wtDVIADPCM) return;
    if (Value == FRequestedType && Value == FWavType.load()) return;
    FRequestedType = Value;
    FWavType = Value;
}

void TWaveOut::SetBlockSize(uint16_t Value) {
    if (Busy() || Value == 0 || Value % 4 != 0) return;
    if (Value == FRequestedBlockSize && Value == FBlockSize.load()) return;
    FRequestedBlockSize = Value;
    FBlockSize = Value;
}

void TWaveOut::SetFileMode(TFileOutputMode Value) {
    FFileMode = Value;
}

void TWaveOut::Fail(const char* Message) {
    FFailed = true;
    throw EAuException(Message);
}

// ---------------------------------------------------------------------------------------
// Prepare
// ---------------------------------------------------------------------------------------
void TWaveOut::Prepare() {
    // Each run starts from what the UI asked for, not from what the last run switched to.
    FRunType = FRequestedType;
    FWavType = FRequestedType;
    FBlockSize = FRequestedBlockSize;
    FAppending = FHeaderReady = FFailed = FEndOfInput = FRf64 = false;
    FDs64Offset = -1;
    FRiffStart = FDataStart = FEnd = 0;
    FFactOffset = -1;
    FFramesBefore = FFramesTaken = 0;

    if (!FStreamAssigned && FWideFileName.empty()) throw EAuException("File name is not assigned.");
    TAuInput* input = Input();
    input->Init();
    FInputSize = input->Size();
    CheckInputFormat();
    if ((FChannels > 2 || FBitsPerSample > 16) && !FCreateNonMsHeaders)
        FRunType = TWavType::wtExtPCM;

    bool existing = false;
    if (FFileMode == TFileOutputMode::foAppend) {
        if (!FStreamAssigned) {
            std::error_code ec;
            if (std::filesystem::exists(Utf16ToUtf8(FWideFileName), ec)) {
                FOwnStream = std::make_unique<TAuFileStream>(
                    FWideFileName, uint16_t(FShareMode | fmOpenReadWrite));
                FStream = FOwnStream.get();
            }
        }
        existing = FStream != nullptr && FStream->Size() > 0;
    }
    if (existing) {
        const int64_t size = FStream->Size();
        TWaveAppendInfo info = WaveAppendScan(*FStream);
        const char* why = nullptr;
        const int64_t audioEnd = WaveAppendAudioEnd(info, size, &why);
        if (audioEnd < 0) throw EAuException(std::string(kErrAppendFile) + why + ".");
        PrepareAppend(info, audioEnd);
    } else {
        PrepareNewFile();
    }
    FWavType = FRunType;
}

void TWaveOut::CheckInputFormat() {
    TAuInput* input = Input();
    const uint32_t rate = input->SampleRate();
    const uint32_t channels = input->Channels();
    const uint32_t bits = input->BitsPerSample();
    // The header holds channels and block align in 16 bits and bytes per second in 32; the
    // data must be whole bytes per sample for block align to describe a frame.
    const bool fits = rate > 0 && channels > 0 && channels <= UINT16_MAX && bits >= 8 &&
                      bits <= 32 && bits % 8 == 0 && channels * (bits / 8) <= UINT16_MAX &&
                      uint64_t(rate) * channels * (bits / 8) <= UINT32_MAX;
    if (!fits) throw EAuException(kErrFormat);
    FSampleRate = rate;
    FChannels = uint16_t(channels);
    FBitsPerSample = uint16_t(bits);
    FFrameBytes = channels * (bits / 8);
}

void TWaveOut::PrepareAppend(const TWaveAppendInfo& Info, int64_t AudioEnd) {
    FRunType = Info.WavType;
    FBlockSize = Info.BlockAlign;
    const bool ima = IsImaType(FRunType);
    if (ima && FBitsPerSample != 16) throw EAuException(kErrImaBits);
    if (Info.SampleRate != FSampleRate || Info.Channels != FChannels ||
        (!ima && Info.BitsPerSample != FBitsPerSample))
        throw EAuException(kErrAppendFormat);

    FAppending = true;
    FRiffStart = Info.RiffSizeOffset - 4;
    FRf64 = Info.Rf64;
    FDs64Offset = Info.Ds64Offset;
    // With a place for 64-bit sizes the file may grow past what 32 bits describe.
    const bool room = FDs64Offset >= 0;
    FFieldMax = room ? kRiffMaxSize : FSizeLimit;
    FMaxEnd = room ? kRiffMaxSize : WaveMaxFileEnd(FRiffStart, FSizeLimit);
    FDataSizeOffset = Info.DataSizeOffset;
    FDataStart = Info.DataStart;
    // The new audio follows the old, over the old audio's pad byte if it has one.
    FEnd = AudioEnd;
    // Size of what this run adds, when the input knows it.
    int64_t adding = FInputSize > 0 ? FInputSize : 0;
    if (ima) {
        FFactOffset = Info.FactOffset;
        FSamplesPerBlock = ImaSamplesPerBlock(Info.BlockAlign, FChannels);
        // Every block already there plays in full, its padding included. (The scan's layout
        // check made the block align non-zero and a divisor of what is there.)
        FFramesBefore = (FEnd - FDataStart) / Info.BlockAlign * FSamplesPerBlock;
        const int64_t frames = adding / (2 * FChannels);
        const int64_t blocks = (frames + FSamplesPerBlock - 1) / FSamplesPerBlock;
        adding = blocks * Info.BlockAlign;
        if (FFramesBefore + frames > FFieldMax) throw EAuException(kErrTooLarge);
        FFrameBuffer.assign(size_t(FSamplesPerBlock) * FChannels, 0);
        FBlock.assign(Info.BlockAlign, 0);
    }
    const int64_t end = FEnd + adding;
    if (end + ((end - FDataStart) & 1) > FMaxEnd) throw EAuException(kErrTooLarge);
    if (FStream->Seek(FEnd, TSeekOrigin::soBeginning) != FEnd) throw EAuException(kErrWrite);
    FHeaderReady = true;
}

void TWaveOut::PrepareNewFile() {
    const bool ima = IsImaType(FRunType);
    const uint16_t blockSize = FBlockSize.load();
    if (ima) {
        if (FBitsPerSample != 16) throw EAuException(kErrImaBits);
        if (FChannels > 2) throw EAuException(kErrImaChannels);
        if (!ImaBlockSizeFits(blockSize, FChannels)) throw EAuException(kErrImaBlockSize);
        FSamplesPerBlock = ImaSamplesPerBlock(blockSize, FChannels);
    }
    const int plainSize = ima                              ? kImaHeaderSize
                          : FRunType == TWavType::wtExtPCM ? kExtHeaderSize
                                                           : kPcmHeaderSize;
    FRiffStart = 0;
    const bool known = FInputSize >= 0;
    int64_t frames = known ? FInputSize / FFrameBytes : 0;
    FPromised = known ? FInputSize : 0;
    if (ima && known) {
        frames = FInputSize / (2 * FChannels);
        FPromised = (frames + FSamplesPerBlock - 1) / FSamplesPerBlock * blockSize;
    }
    // The RIFF size counts the pad byte that follows audio of an odd size.
    const int64_t padded = FPromised + (FPromised & 1);
    // A known size decides now whether 32-bit sizes will do; an unknown one keeps a place
    // for the 64-bit sizes in case they will not.
    const bool big = known && (plainSize + padded - 8 > FSizeLimit || FPromised > FSizeLimit ||
                               (ima && frames > FSizeLimit));
    const bool room = !known || big;
    const int headerSize = plainSize + (room ? kDs64ChunkSize : 0);
    FFieldMax = room ? kRiffMaxSize : FSizeLimit;
    FMaxEnd = room ? kRiffMaxSize : WaveMaxFileEnd(0, FSizeLimit);
    FHeaderDataSize = known ? uint32_t(FPromised) : kUnknownSizeField;
    FHeaderRiffSize = known ? uint32_t(plainSize + padded - 8) : kUnknownSizeField;
    FHeaderFact = uint32_t(frames);

    if (FStream == nullptr) {
        FOwnStream = std::make_unique<TAuFileStream>(FWideFileName, fmCreate);
        FStream = FOwnStream.get();
    } else {
        // Rewriting a stream we were given (or an empty file opened to append to).
        if (FStream->Seek(0, TSeekOrigin::soBeginning) != 0) throw EAuException(kErrWrite);
        FStream->SetSize(0);
    }

    // The header as the layouts have it, or with the place for "ds64" after "WAVE".
    auto writeHeader = [&](const auto& Header) {
        if (!room) return WriteAll(Header.data(), int64_t(Header.size()));
        const std::vector<uint8_t> h = WithDs64Room(Header.data(), Header.size());
        WriteAll(h.data(), int64_t(h.size()));
    };
    switch (FRunType) {
    case TWavType::wtDVIADPCM: {
        FDataSizeOffset = kImaDataSizeOffset;
        FFactOffset = kImaFactOffset;
        auto h = MakeImaHeader(FSampleRate, FChannels, blockSize, FHeaderFact, FHeaderDataSize,
                               FHeaderRiffSize);
        writeHeader(h);
        FIma[0].StepIndex = FIma[1].StepIndex = 0;
        FFrameBuffer.assign(size_t(FSamplesPerBlock) * FChannels, 0);
        FBlock.assign(blockSize, 0);
        break;
    }
    case TWavType::wtExtPCM: {
        FDataSizeOffset = kExtDataSizeOffset;
        auto h = MakeExtensibleHeader(FSampleRate, FChannels, FBitsPerSample, FHeaderDataSize,
                                      FHeaderRiffSize);
        writeHeader(h);
        break;
    }
    default: {
        FDataSizeOffset = kPcmDataSizeOffset;
        auto h =
            MakePcmHeader(FSampleRate, FChannels, FBitsPerSample, FHeaderDataSize, FHeaderRiffSize);
        writeHeader(h);
        break;
    }
    }
    FDataStart = headerSize;
    if (room) {
        FDs64Offset = kDs64Offset;
        FDataSizeOffset += kDs64ChunkSize;
        if (FFactOffset >= 0) FFactOffset += kDs64ChunkSize;
    }
    if (big) {
        FRf64 = true;
        PatchRf64(headerSize + padded - 8, FPromised, frames);
        if (FStream->Seek(FEnd, TSeekOrigin::soBeginning) != FEnd) Fail(kErrWrite);
    }
    FHeaderReady = true;
}

// ---------------------------------------------------------------------------------------
// DoOutput
// ---------------------------------------------------------------------------------------
bool TWaveOut::DoOutput(bool Abort) {
    if (!Active()) return true;
    if (Abort || FEndOfInput) return false;
    try {
        return IsImaType(FRunType) ? WriteImaStep() : WritePcmStep();
    } catch (...) {
        // Whatever failed (the input or the file), Done describes what is there and no more.
        FFailed = true;
        throw;
    }
}

bool TWaveOut::WritePcmStep() {
    // Room for audio and, after an odd size, its pad byte.
    const int64_t span = FMaxEnd - FDataStart;
    const int64_t room = FDataStart + span - (span & 1) - FEnd;
    uint32_t ask = kPcmStep;
    // Near the size limit ask for no more than whole frames that still fit; with no room
    // left, any data at all means the file would grow too large.
    const int64_t fitting = room - room % FFrameBytes;
    if (fitting > 0 && fitting < ask) ask = uint32_t(fitting);
    const uint8_t* data = nullptr;
    uint32_t n = ask;
    Input()->GetData(data, n);
    if (n == 0) return false;
    if (int64_t(n) > room) Fail(kErrTooLarge);
    WriteAll(data, n); // straight from the input's buffer
    return true;
}

bool TWaveOut::WriteImaStep() {
    const uint32_t frameBytes = 2u * FChannels;
    const uint32_t wanted = FSamplesPerBlock * frameBytes;
    std::fill(FFrameBuffer.begin(), FFrameBuffer.end(), int16_t(0));
    bool eof = false;
    const uint32_t got = ReadFull(Input(), FFrameBuffer.data(), wanted, eof);
    if (eof) FEndOfInput = true;
    // Input that ends on a block boundary needs no block of silence after it.
    if (got == 0) return false;
    const int64_t frames = (got + frameBytes - 1) / frameBytes;
    const int64_t blockSize = int64_t(FBlock.size());
    if (FEnd + blockSize > FMaxEnd || FFramesBefore + FFramesTaken + frames > FFieldMax)
        Fail(kErrTooLarge);
    ImaEncodeBlock(FFrameBuffer.data(), FChannels, uint16_t(blockSize), FIma, FBlock.data());
    WriteAll(FBlock.data(), blockSize);
    FFramesTaken += frames;
    return true;
}

void TWaveOut::WriteAll(const void* Data, int64_t Count) {
    const int64_t written = FStream->Write(Data, Count);
    if (written > 0) FEnd += written;
    if (written != Count) Fail(kErrWrite);
}

// ---------------------------------------------------------------------------------------
// Done
// ---------------------------------------------------------------------------------------
void TWaveOut::Done() {
    // The first failure of the run is the one reported; a later one only adds to it.
    auto guarded = [this](void (TWaveOut::*Step)()) {
        try {
            (this->*Step)();
        } catch (const std::exception& e) {
            FFailed = true;
            if (ExceptionMessage().empty()) SetExceptionMessage(e.what());
        }
    };
    if (FHeaderReady) {
        if (!FAppending && !FFailed && !Stopped() && FInputSize >= 0 && !IsImaType(FRunType))
            guarded(&TWaveOut::PadToPromisedSize);
        guarded(&TWaveOut::WritePadByte);
        guarded(&TWaveOut::PatchHeader);
    }
    FHeaderReady = false;
    if (!FStreamAssigned) {
        FOwnStream.reset();
        FStream = nullptr;
    }
    if (Input()) Input()->Flush();
}

void TWaveOut::PadToPromisedSize() {
    // Silence: 0 for signed samples, 128 for 8-bit (which is unsigned).
    static const std::array<uint8_t, kPcmStep> kZeros{};
    std::array<uint8_t, kPcmStep> midpoints;
    const uint8_t* fill = kZeros.data();
    if (FBitsPerSample == 8) {
        midpoints.fill(128);
        fill = midpoints.data();
    }
    const int64_t target = FDataStart + FPromised;
    while (FEnd < target) WriteAll(fill, std::min<int64_t>(kPcmStep, target - FEnd));
}

void TWaveOut::WritePadByte() {
    // RIFF chunks are word-aligned: audio of an odd size is followed by one zero byte, which
    // the RIFF size counts and the data size does not. (Only PCM can be odd: IMA blocks are
    // whole words.) The next append writes over it.
    FPadded = false;
    if (((FEnd - FDataStart) & 1) == 0) return;
    static const uint8_t kZero = 0;
    if (FStream->Seek(FEnd, TSeekOrigin::soBeginning) != FEnd || FStream->Write(&kZero, 1) != 1)
        Fail(kErrWrite);
    FPadded = true;
}

void TWaveOut::PatchHeader() {
    const bool ima = IsImaType(FRunType);
    const int64_t dataSize = FEnd - FDataStart;
    const int64_t riffSize = FEnd + (FPadded ? 1 : 0) - FRiffStart - 8;
    const int64_t frames = ima ? FFramesBefore + FFramesTaken : dataSize / FFrameBytes;
    const bool big = riffSize > FSizeLimit || dataSize > FSizeLimit || (ima && frames > FSizeLimit);
    if (FRf64 || (big && FDs64Offset >= 0)) return PatchRf64(riffSize, dataSize, frames);
    // The limits checked while writing keep these in range; never write a wrapped size.
    if (big) Fail(kErrTooLarge);
    if (FAppending || uint32_t(dataSize) != FHeaderDataSize)
        PatchField(FDataSizeOffset, uint32_t(dataSize));
    if (ima && (FAppending || uint32_t(frames) != FHeaderFact))
        PatchField(FFactOffset, uint32_t(frames));
    if (FAppending || uint32_t(riffSize) != FHeaderRiffSize)
        PatchField(FRiffStart + kRiffSizeOffset, uint32_t(riffSize));
}

// The sizes go into "ds64" (made of the "JUNK" chunk that held its place), the 32-bit
// fields say 0xFFFFFFFF, and "RIFF" becomes "RF64" last.
void TWaveOut::PatchRf64(int64_t RiffSize, int64_t DataSize, int64_t Frames) {
    uint8_t ds64[8 + kDs64BodySize] = {'d', 's', '6', '4'};
    PutU64(ds64 + 8, uint64_t(RiffSize));
    PutU64(ds64 + 16, uint64_t(DataSize));
    PutU64(ds64 + 24, uint64_t(Frames));
    PutU32(ds64 + 32, 0); // no table
    // The chunk keeps its size field (28, or more for a larger "JUNK" chunk).
    PatchBytes(FDs64Offset, ds64, 4);
    PatchBytes(FDs64Offset + 8, ds64 + 8, kDs64BodySize);
    PatchField(FDataSizeOffset, UINT32_MAX);
    if (IsImaType(FRunType)) PatchField(FFactOffset, UINT32_MAX);
    PatchField(FRiffStart + kRiffSizeOffset, UINT32_MAX);
    PatchBytes(FRiffStart, "RF64", 4);
    FRf64 = true;
}

void TWaveOut::PatchField(int64_t Offset, uint32_t Value) {
    uint8_t bytes[4];
    PutU32(bytes, Value);
    PatchBytes(Offset, bytes, 4);
}

void TWaveOut::PatchBytes(int64_t Offset, const void* Bytes, int64_t Count) {
    if (FStream->Seek(Offset, TSeekOrigin::soBeginning) != Offset ||
        FStream->Write(Bytes, Count) != Count)
        Fail(kErrWrite);
}

} // namespace sundral
