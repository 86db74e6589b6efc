#include "audio/AuMixer.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "audio/AuProcs.h"

namespace sundral {

namespace {

// Far beyond any real offset (about 3000 years of 48 kHz audio), and small enough that
// offset + samples, times 4 bytes, stays inside 64 bits.
constexpr int64_t kMaxOffset = int64_t{1} << 52;

uint32_t SampleBytes(uint32_t Bits, const char* Name) {
    // Only these layouts have converters; any other size would be read as garbage.
    if (Bits != 8 && Bits != 16 && Bits != 24 && Bits != 32) {
        throw EAuException(std::string(Name) + " has an unsupported sample size of " +
                           std::to_string(Bits) + " bits");
    }
    return Bits / 8;
}

// Silence of each layout: 128 for unsigned 8-bit, 0 for the signed ones.
void FillSilence(uint8_t* Raw, uint32_t SampleBytes, uint32_t Samples) {
    std::memset(Raw, SampleBytes == 1 ? 128 : 0, std::size_t{Samples} * SampleBytes);
}

// The raw blocks come from operator new, aligned for any sample type, and the conversions
// always start at their first byte.
void ToFloat(const uint8_t* Raw, uint32_t SampleBytes, float* Dst, uint32_t Count) {
    switch (SampleBytes) {
    case 1:
        UInt8ToFloat(Raw, Dst, Count);
        break;
    case 2:
        Int16ToFloat(reinterpret_cast<const int16_t*>(Raw), Dst, Count);
        break;
    case 3:
        Int24ToFloat(Raw, Dst, Count);
        break;
    default:
        Int32ToFloat(reinterpret_cast<const int32_t*>(Raw), Dst, Count);
        break;
    }
}

// Src is clipped in place by the 16-, 24- and 32-bit writers.
void FromFloat(float* Src, uint8_t* Raw, uint32_t SampleBytes, uint32_t Count) {
    switch (SampleBytes) {
    case 1:
        FloatToUInt8(Src, Raw, Count);
        break;
    case 2:
        FloatToInt16(Src, reinterpret_cast<int16_t*>(Raw), Count);
        break;
    case 3:
        FloatToInt24(Src, Raw, Count);
        break;
    default:
        FloatToInt32(Src, reinterpret_cast<int32_t*>(Raw), Count);
        break;
    }
}

void Scale(float* Values, uint32_t Count, float Gain) {
    for (uint32_t i = 0; i < Count; ++i) Values[i] *= Gain;
}

// Reads up to Samples whole samples of Source into Raw; a trailing partial sample is dropped.
uint32_t ReadSamples(TAuInput* Source, uint8_t* Raw, uint32_t SampleBytes, uint32_t Samples,
                     bool& Ended) {
    bool eof = false;
    uint32_t got = ReadFull(Source, Raw, Samples * SampleBytes, eof);
    if (eof) Ended = true;
    return got / SampleBytes;
}

} // namespace

TAudioMixer::TAudioMixer(TComponent* AOwner) : TAuInput(AOwner) {}

void TAudioMixer::SetInput(std::atomic<TAuInput*>& Slot, TAuInput* Other, TAuInput* Value) {
    TAuInput* old = Slot.load();
    if (Value == old) return;
    if (FBusy) throw EAuException("The component is busy.");
    // The same source may sit in both slots; keep the notice while the other slot holds it.
    if (old != nullptr && old != Other) RemoveFreeNotification(old);
    Slot = Value;
    if (Value != nullptr) FreeNotification(Value);
}

void TAudioMixer::SetInput1(TAuInput* Value) {
    SetInput(FInput1, FInput2.load(), Value);
}

void TAudioMixer::SetInput2(TAuInput* Value) {
    SetInput(FInput2, FInput1.load(), Value);
}

void TAudioMixer::Notification(TComponent* AComponent, TOperation Operation) {
    if (Operation == TOperation::opRemove && AComponent != nullptr) {
        if (AComponent == FInput1.load()) FInput1 = nullptr;
        if (AComponent == FInput2.load()) FInput2 = nullptr;
    }
    TAuInput::Notification(AComponent, Operation);
}

TAuInput* TAudioMixer::AssignedInput1() {
    TAuInput* input = FInput1.load();
    if (input == nullptr) throw EAuException("Input not assigned");
    return input;
}

uint32_t TAudioMixer::GetBitsPerSample() {
    return AssignedInput1()->BitsPerSample();
}

uint32_t TAudioMixer::GetChannels() {
    return AssignedInput1()->Channels();
}

uint32_t TAudioMixer::GetSampleRate() {
    return AssignedInput1()->SampleRate();
}

uint32_t TAudioMixer::WholeFrames(uint32_t Samples) const {
    return (Samples + FChannels1 - 1) / FChannels1 * FChannels1;
}

void TAudioMixer::InitInput() {
    FBusy = true;
    FPosition = 0;
    FMixedSamples = 0;
    FEndOfData1 = false;
    FEndOfData2 = false;
    TAuInput* in1 = FInput1.load();
    TAuInput* in2 = FInput2.load();
    if (in1 == nullptr) throw EAuException("Input1 is not assigned");
    if (in2 == nullptr) throw EAuException("Input2 is not assigned");
    // One source cannot be read from two places at once, nor twice in one run.
    if (in1 == in2) throw EAuException("Input1 and Input2 are the same source");
    in1->Init();
    in2->Init();
    // An input that cannot be read would still "deliver" its defaults (8-bit, 8000 Hz):
    // refuse the run with its reason instead of making a file of the wrong format.
    for (auto [input, name] : {std::pair{in1, "Input1"}, std::pair{in2, "Input2"}}) {
        const std::string reason = input->InvalidReason();
        if (!reason.empty()) throw EAuException(std::string(name) + " cannot be read: " + reason);
    }

    FBytes1 = SampleBytes(in1->BitsPerSample(), "Input1");
    FBytes2 = SampleBytes(in2->BitsPerSample(), "Input2");
    FChannels1 = in1->Channels();
    // Blocks are whole frames of input 1, so a frame must fit into one.
    if (FChannels1 == 0 || FChannels1 > kBlockSamples) {
        throw EAuException("Input1 has an unsupported channel count of " +
                           std::to_string(FChannels1));
    }
    FRunMode = FMode.load();
    int64_t start = FInput2StartSample.load();
    int64_t channels2 = in2->Channels();
    FInput2Offset = 0;
    if (start > 0 && channels2 > 0)
        FInput2Offset = std::min(start, kMaxOffset / channels2) * channels2;

    int64_t size1 = in1->Size();
    int64_t size2 = in2->Size();
    if (size1 < 0 || size2 < 0) {
        FSize = -1; // one length unknown: so is the sum
    } else {
        auto frames = [this](int64_t Samples) {
            return (Samples + FChannels1 - 1) / FChannels1 * FChannels1;
        };
        int64_t c1 = frames(size1 / FBytes1);
        int64_t c2 = size2 / FBytes2;
        int64_t total = FRunMode == TAudioMixerMode::amConcatenate
                            ? c1 + frames(c2)
                            : std::max(c1, frames(c2 + FInput2Offset));
        FSize = total * FBytes1;
    }
    FFrameSize = static_cast<uint16_t>(FChannels1 * FBytes1);
    FBufferStart = 1;
    FBufferEnd = 0;

    FRaw1.assign(std::size_t{kBlockSamples} * FBytes1, 0);
    FRaw2.assign(std::size_t{kBlockSamples} * FBytes2, 0);
    FFloat1.assign(kBlockSamples, 0.0f);
    FFloat2.assign(kBlockSamples, 0.0f);
}

void TAudioMixer::FlushInput() {
    if (TAuInput* in1 = FInput1.load()) in1->Flush();
    if (TAuInput* in2 = FInput2.load()) in2->Flush();
    FRaw1 = {};
    FRaw2 = {};
    FFloat1 = {};
    FFloat2 = {};
    FBusy = false;
}

void TAudioMixer::ReadSource(const uint8_t*& Buffer, uint32_t& Bytes) {
    Buffer = nullptr;
    if ((FEndOfData1 && FEndOfData2) || FRaw1.empty()) {
        Bytes = 0;
        return;
    }
    uint32_t n = std::min(kBlockSamples, Bytes / FBytes1);
    n -= n % FChannels1;
    if (n == 0) {
        Bytes = 0; // less than one frame asked: nothing, and nothing consumed
        return;
    }
    float g1 = static_cast<float>(FVolume1.load()) / 65535.0f;
    float g2 = static_cast<float>(FVolume2.load()) / 65535.0f;
    uint32_t samples =
        FRunMode == TAudioMixerMode::amConcatenate ? Concatenate(n, g1, g2) : Mix(n, g1, g2);
    Buffer = FRaw1.data();
    Bytes = samples * FBytes1;
    FPosition += Bytes;
}

uint32_t TAudioMixer::Concatenate(uint32_t N, float G1, float G2) {
    uint8_t* raw1 = FRaw1.data();
    if (!FEndOfData1) {
        uint32_t s1 = ReadSamples(FInput1.load(), raw1, FBytes1, N, FEndOfData1);
        // A truncated last frame is completed, so input 2 does not start mid-frame.
        uint32_t whole = WholeFrames(s1);
        FillSilence(raw1 + s1 * FBytes1, FBytes1, whole - s1);
        // At full volume the samples go through untouched: the float round trip scales by
        // 32767/32768 (and floors 24-bit values), which would make a join lossy.
        if (G1 != 1.0f) {
            ToFloat(raw1, FBytes1, FFloat1.data(), whole);
            Scale(FFloat1.data(), whole, G1);
            FromFloat(FFloat1.data(), raw1, FBytes1, whole);
        }
        if (whole != 0) return whole;
    }
    // Input 1 gave nothing: input 2's first block comes in the same call.
    if (FEndOfData2) return 0;
    if (G2 == 1.0f && FBytes2 == FBytes1) {
        // Same sample size at full volume: straight into the output block, bit for bit.
        uint32_t s2 = ReadSamples(FInput2.load(), raw1, FBytes2, N, FEndOfData2);
        uint32_t whole = WholeFrames(s2);
        FillSilence(raw1 + s2 * FBytes1, FBytes1, whole - s2);
        return whole;
    }
    uint8_t* raw2 = FRaw2.data();
    uint32_t s2 = ReadSamples(FInput2.load(), raw2, FBytes2, N, FEndOfData2);
    uint32_t whole = WholeFrames(s2);
    FillSilence(raw2 + s2 * FBytes2, FBytes2, whole - s2);
    ToFloat(raw2, FBytes2, FFloat2.data(), whole);
    Scale(FFloat2.data(), whole, G2);
    FromFloat(FFloat2.data(), raw1, FBytes1, whole);
    return whole;
}

uint32_t TAudioMixer::Mix(uint32_t N, float G1, float G2) {
    uint8_t* raw1 = FRaw1.data();
    uint8_t* raw2 = FRaw2.data();
    uint32_t s1 = 0;
    if (!FEndOfData1) s1 = ReadSamples(FInput1.load(), raw1, FBytes1, N, FEndOfData1);
    FillSilence(raw1 + s1 * FBytes1, FBytes1, N - s1);

    // Input 2's part of the block: silence up to its start, then its samples.
    uint32_t s2 = 0;
    if (!FEndOfData2) {
        int64_t ahead = FInput2Offset - FMixedSamples;
        uint32_t lead = ahead > 0 ? static_cast<uint32_t>(std::min<int64_t>(ahead, N)) : 0;
        FillSilence(raw2, FBytes2, lead);
        s2 = lead;
        if (lead < N) {
            s2 +=
                ReadSamples(FInput2.load(), raw2 + lead * FBytes2, FBytes2, N - lead, FEndOfData2);
        }
    }
    FillSilence(raw2 + s2 * FBytes2, FBytes2, N - s2);

    uint32_t count = WholeFrames(std::max(s1, s2));
    float* f1 = FFloat1.data();
    float* f2 = FFloat2.data();
    ToFloat(raw1, FBytes1, f1, count);
    ToFloat(raw2, FBytes2, f2, count);
    for (uint32_t i = 0; i < count; ++i) f1[i] = (f1[i] * G1 + f2[i] * G2) / 2.0f;
    FromFloat(f1, raw1, FBytes1, count);
    FMixedSamples += count;
    return count;
}

} // namespace sundral
