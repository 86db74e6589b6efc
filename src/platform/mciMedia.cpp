#include "platform/mciMedia.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "platform/wmfReader.h"

namespace sundral::mci {

namespace {

using namespace wmf;

// The file as the reader's stream, read with pread at its own position. While the interrupt
// flag is set every read fails: the reader then runs out of data at once.
class TFileStream : public IWmStream {
public:
    explicit TFileStream(int Fd) : FFd(Fd) {}
    ~TFileStream() override { ::close(FFd); }

    void SetInterrupt(const std::atomic<bool>* Flag) { FInterrupt.store(Flag); }

    TWmResult Read(void* Buffer, uint32_t Count, uint32_t* Done) override {
        if (Done) *Done = 0;
        const std::atomic<bool>* flag = FInterrupt.load();
        if (flag && flag->load()) return wmErrFail;
        ssize_t got;
        do {
            got = ::pread(FFd, Buffer, Count, FPos);
        } while (got < 0 && errno == EINTR);
        if (got <= 0) return wmErrFail;
        FPos += got;
        if (Done) *Done = uint32_t(got);
        return wmOk;
    }
    TWmResult Write(const void*, uint32_t, uint32_t* Done) override {
        if (Done) *Done = 0;
        return wmErrFail;
    }
    TWmResult Seek(int64_t Move, uint32_t Origin, uint64_t* NewPosition) override {
        uint64_t size = 0;
        Stat(size);
        const int64_t base = Origin == 1 ? FPos : Origin == 2 ? int64_t(size) : 0;
        if (Move > INT64_MAX - base || base + Move < 0) return wmErrInvalidArg;
        FPos = base + Move;
        if (NewPosition) *NewPosition = uint64_t(FPos);
        return wmOk;
    }
    TWmResult SetSize(uint64_t NewSize) override { return Seek(int64_t(NewSize), 0, nullptr); }
    TWmResult Stat(uint64_t& Size) override {
        struct stat st {};
        if (::fstat(FFd, &st) != 0) return wmErrFail;
        Size = uint64_t(std::max<off_t>(st.st_size, 0));
        return wmOk;
    }

private:
    int FFd;
    int64_t FPos = 0;
    std::atomic<const std::atomic<bool>*> FInterrupt{nullptr};
};

constexpr uint32_t kBits = 16;

} // namespace

struct TMciMediaDecoder::TImpl {
    std::shared_ptr<TFileStream> Stream;
    std::unique_ptr<TWmSyncReader> Reader;
    uint16_t StreamNumber = 0;
    uint32_t Rate = 0;
    uint16_t Channels = 0;
    uint16_t OutChannels = 0;
    int64_t Total = 0;
    int64_t Next = 0;
    // The decoded sample in hand and how many of its frames were delivered.
    const TWmBuffer* Sample = nullptr;
    uint32_t SampleFrames = 0;
    uint32_t SampleUsed = 0;

    // Frames of the sample in hand into Out, mixed to OutChannels: each output channel takes
    // the mean of the source channels that fall on it (c, c + OutChannels, ...), or repeats
    // the source channel c modulo Channels when there are more outputs than sources.
    void Deliver(int16_t* Out, uint32_t Frames) {
        const uint8_t* data = nullptr;
        uint32_t length = 0;
        Sample->GetBufferAndLength(data, length);
        const int16_t* in = reinterpret_cast<const int16_t*>(data) + size_t(SampleUsed) * Channels;
        if (OutChannels == Channels) {
            std::memcpy(Out, in, size_t(Frames) * Channels * sizeof(int16_t));
            return;
        }
        for (uint32_t f = 0; f < Frames; ++f, in += Channels, Out += OutChannels) {
            for (uint16_t c = 0; c < OutChannels; ++c) {
                if (OutChannels > Channels) {
                    Out[c] = in[c % Channels];
                    continue;
                }
                int32_t sum = 0, n = 0;
                for (uint16_t s = c; s < Channels; s += OutChannels, ++n) sum += in[s];
                Out[c] = int16_t(sum / std::max(n, 1));
            }
        }
    }
};

TMciMediaDecoder::TMciMediaDecoder(std::unique_ptr<TImpl> Impl) : FImpl(std::move(Impl)) {}
TMciMediaDecoder::~TMciMediaDecoder() {
    if (FImpl->Reader) FImpl->Reader->Close();
}

std::unique_ptr<TMciMediaDecoder> TMciMediaDecoder::Open(const std::string& FileName,
                                                         TMciError& Error) {
    const int fd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        Error = errno == ENOENT || errno == ENOTDIR ? mciErrFileNotFound : mciErrCannotOpen;
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        Error = mciErrCannotOpen;
        return nullptr;
    }
    auto impl = std::make_unique<TImpl>();
    impl->Stream = std::make_shared<TFileStream>(fd);
    Error = mciErrUnsupported;
    if (WMCreateSyncReader(impl->Reader) != wmOk || impl->Reader->OpenStream(impl->Stream) != wmOk)
        return nullptr;
    TWmSyncReader& reader = *impl->Reader;
    TWmMediaType type;
    if (reader.GetOutputProps(0, type) != wmOk) return nullptr;
    impl->Rate = type.Format.SamplesPerSec;
    impl->Channels = type.Format.Channels;
    type.Format.BitsPerSample = kBits;
    type.Format.BlockAlign = uint16_t(impl->Channels * kBits / 8);
    if (impl->Rate == 0 || impl->Channels == 0 || reader.SetOutputProps(0, type) != wmOk ||
        reader.GetStreamNumberForOutput(0, impl->StreamNumber) != wmOk ||
        reader.SetReadStreamSamples(impl->StreamNumber, false) != wmOk)
        return nullptr;
    uint16_t stream = 0, length = 8;
    TWmAttrType attr;
    uint64_t duration = 0;
    if (reader.GetAttributeByName(stream, "Duration", attr, reinterpret_cast<uint8_t*>(&duration),
                                  length) != wmOk)
        return nullptr;
    // The readers turn the duration into samples the same way.
    impl->Total = int64_t(std::llround(double(duration) * impl->Rate / 1e7));
    if (impl->Total <= 0) {
        Error = mciErrCannotDecode; // a sound file with no sound in it
        return nullptr;
    }
    impl->OutChannels = impl->Channels;
    Error = mciOk;
    return std::unique_ptr<TMciMediaDecoder>(new TMciMediaDecoder(std::move(impl)));
}

uint32_t TMciMediaDecoder::SampleRate() const {
    return FImpl->Rate;
}
uint16_t TMciMediaDecoder::SourceChannels() const {
    return FImpl->Channels;
}
uint16_t TMciMediaDecoder::OutputChannels() const {
    return FImpl->OutChannels;
}
void TMciMediaDecoder::SetOutputChannels(uint16_t Value) {
    if (Value != 0) FImpl->OutChannels = Value;
}
int64_t TMciMediaDecoder::TotalFrames() const {
    return FImpl->Total;
}
int64_t TMciMediaDecoder::LengthMs() const {
    return FImpl->Total * 1000 / FImpl->Rate;
}
int64_t TMciMediaDecoder::NextFrame() const {
    return FImpl->Next;
}
void TMciMediaDecoder::SetInterrupt(const std::atomic<bool>* Flag) {
    FImpl->Stream->SetInterrupt(Flag);
    // The reader decodes ahead on a thread of its own, which may still hold the old flag: a
    // seek to where delivery stands joins that thread, so the flag's owner may go after this.
    if (!Flag) Seek(FImpl->Next);
}

bool TMciMediaDecoder::Seek(int64_t Frame) {
    TImpl& d = *FImpl;
    Frame = std::max<int64_t>(Frame, 0);
    d.Sample = nullptr;
    d.Next = Frame;
    const int64_t at = std::min(Frame, d.Total);
    return d.Reader->SetRange(uint64_t(std::llround(double(at) * 1e7 / d.Rate)), 0) == wmOk;
}

int64_t TMciMediaDecoder::Read(int16_t* Buffer, int64_t MaxFrames) {
    TImpl& d = *FImpl;
    int64_t done = 0;
    while (done < MaxFrames && d.Next < d.Total) {
        if (!d.Sample || d.SampleUsed >= d.SampleFrames) {
            d.Sample = nullptr;
            uint64_t time = 0, duration = 0;
            const TWmResult r = d.Reader->GetNextSample(d.StreamNumber, d.Sample, time, duration);
            if (r != wmOk) {
                d.Sample = nullptr;
                if (r == wmErrNoMoreSamples) break;
                return done > 0 ? done : -1;
            }
            const uint8_t* data = nullptr;
            uint32_t length = 0;
            d.Sample->GetBufferAndLength(data, length);
            d.SampleFrames = length / (d.Channels * kBits / 8);
            d.SampleUsed = 0;
            continue;
        }
        const uint32_t n =
            uint32_t(std::min<int64_t>(d.SampleFrames - d.SampleUsed, MaxFrames - done));
        d.Deliver(Buffer + done * d.OutChannels, n);
        d.SampleUsed += n;
        d.Next += n;
        done += n;
    }
    return done;
}

} // namespace sundral::mci
