#include "formats/Mp3Splice.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>

#include "formats/Mp3FrameCopy.h"
#include "formats/Mp3SideInfo.h"
#include "formats/Mp3SpliceRun.h"

namespace sundral::mp3lossless {

using namespace mp3frames;
using mp3scan::TMp3Header;

namespace {

constexpr uint32_t kMaxTagField = 4095;
// How far a frame's audio reaches past its own samples: a granule of overlap and the
// analysis filter's 512 taps, rounded up.
constexpr int64_t kReach = 1152;

struct TOpened {
    TSource Source;
    std::unique_ptr<mp3scan::TMp3FrameIndex> Index;
    mp3scan::TMp3StreamInfo Info;
};

// A stretch placed in the output's raw timeline.
struct TPlaced {
    TOpened* File = nullptr;
    int64_t Start = 0, Length = 0; // delivered samples of the source
    int64_t Shift = 0;             // how far the window moved to lie on the frame grid
    int64_t OutStart = 0;          // raw output sample of its first sample
    int64_t Delta = 0;             // raw output sample - raw source sample (whole frames)
};

// What goes into output frame j: a source frame, or a frame of a re-encoded run.
struct TSlot {
    int32_t Stretch = -1; // -1: encoded
    int64_t SourceFrame = 0;
};

int64_t FloorMod(int64_t A, int64_t B) {
    return ((A % B) + B) % B;
}

class TSplicer {
public:
    TSplicer(const std::vector<TMp3Stretch>& Stretches, const TSpliceControl& Control)
        : FStretches(Stretches), FControl(Control) {}
    TCutResult Run(const std::string& Out);

private:
    std::string OpenAll();
    std::string Place();
    void PlanSlots();
    // Raw output samples [From, To) (interleaved) as the stretches give them; zeros where
    // no source has any.
    bool OutputPcm(int64_t From, int64_t To, std::vector<int16_t>& Pcm);
    std::string EncodeRuns();
    bool Stopped() const { return FControl.Stop && FControl.Stop->load(); }
    void Progress(int32_t Percent) {
        if (FControl.OnProgress) FControl.OnProgress(Percent);
    }

    const std::vector<TMp3Stretch>& FStretches;
    const TSpliceControl& FControl;
    std::map<std::string, std::unique_ptr<TOpened>> FFiles;
    std::vector<TPlaced> FPlaced;
    TMp3Header FStream;
    uint32_t FStreamWord = 0;
    int64_t FSpf = 0;
    int64_t FDelay = 0, FEnd = 0, FTotal = 0;
    std::vector<TSlot> FSlots;
    std::map<int64_t, std::vector<TFrameBytes>> FRuns; // first output frame -> its frames
};

std::string TSplicer::OpenAll() {
    for (const auto& s : FStretches) {
        auto& f = FFiles[s.File];
        if (f) continue;
        f = std::make_unique<TOpened>();
        if (!f->Source.Open(s.File)) return s.File + ": cannot be read";
        TSource* source = &f->Source;
        f->Index = std::make_unique<mp3scan::TMp3FrameIndex>(
            [source](int64_t Offset, uint8_t* Buffer, size_t Count) {
                return source->ReadAt(Offset, Buffer, Count);
            },
            source->Size());
        f->Info = f->Index->Open();
        if (!f->Info.Valid)
            return s.File + ": no MPEG audio frames of a fixed size were found (free format?)";
        if (f->Info.First.Layer != 3) return s.File + ": layer I and II streams are not copied";
    }
    const TMp3Header& a = FFiles[FStretches.front().File]->Info.First;
    for (const auto& [name, f] : FFiles) {
        const TMp3Header& b = f->Info.First;
        if (b.Version != a.Version) return name + " has another MPEG version";
        if (b.SampleRate != a.SampleRate)
            return name + " has another sample rate (" + std::to_string(b.SampleRate) +
                   " Hz against " + std::to_string(a.SampleRate) + " Hz)";
        if (b.Channels != a.Channels) return name + " has another channel count";
    }
    FStream = a;
    return {};
}

std::string TSplicer::Place() {
    FSpf = FStream.SamplesPerFrame;
    int64_t at = 0;
    for (const auto& s : FStretches) {
        TOpened* f = FFiles[s.File].get();
        const int64_t total = f->Info.TotalSamples;
        const int64_t end = s.End < 0 || s.End > total ? total : s.End;
        const int64_t start = std::max<int64_t>(s.Start, 0);
        if (start >= end) continue;
        TPlaced p;
        p.File = f;
        p.Start = start;
        p.Length = end - start;
        const int64_t rawStart = start + f->Info.StartSkip;
        if (FPlaced.empty()) {
            // The tag's delay puts the first stretch on the grid.
            FDelay = FloorMod(rawStart - int64_t(mp3scan::kDecoderDelay), FSpf);
            at = FDelay + mp3scan::kDecoderDelay;
        } else {
            // A frame decodes to a whole frame of samples: a later stretch's window moves by
            // up to half a frame so that its frames can be copied.
            int64_t shift = FloorMod(at - rawStart, FSpf);
            if (shift >= FSpf / 2) shift -= FSpf;
            // Near the file's start it moves later; near its end, the samples past the last
            // frame decode as silence, as they do in the source.
            if (rawStart + shift < 0) shift += FSpf;
            p.Shift = shift;
        }
        p.OutStart = at;
        p.Delta = at - (rawStart + p.Shift);
        at += p.Length;
        FTotal += p.Length;
        FPlaced.push_back(p);
    }
    if (FPlaced.empty()) return "the stretches hold no audio";
    FEnd = at;
    return {};
}

void TSplicer::PlanSlots() {
    const int64_t frames = (FEnd - 1) / FSpf + 1;
    FSlots.assign(size_t(frames), TSlot{});
    for (int64_t j = 0; j < frames; ++j) {
        // A copied frame carries the audio a little beyond its own samples (the overlap of
        // the transform and the analysis filter): all of that must belong to its stretch, or
        // the encoded frames next to it cannot cancel what it adds across the junction.
        const int64_t from = j * FSpf - kReach, to = (j + 1) * FSpf + kReach;
        for (size_t k = 0; k < FPlaced.size(); ++k) {
            const TPlaced& p = FPlaced[k];
            // The first stretch may take in what lies before it, the last what follows.
            const int64_t lo = k == 0 ? INT64_MIN : p.OutStart;
            const int64_t hi = k + 1 == FPlaced.size() ? INT64_MAX : p.OutStart + p.Length;
            if (from < lo || to > hi) continue;
            const int64_t source = j - p.Delta / FSpf;
            if (source < 0 || source >= int64_t(p.File->Index->FramesFound())) break;
            // The first frame of the file has nothing to reach back into; others need the
            // frames before them.
            if (j == 0 && source != 0) break;
            FSlots[size_t(j)] = TSlot{int32_t(k), source};
            break;
        }
        // Two stretches never meet without at least one encoded frame between them.
        if (j > 0 && FSlots[size_t(j)].Stretch >= 0 && FSlots[size_t(j - 1)].Stretch >= 0 &&
            FSlots[size_t(j)].Stretch != FSlots[size_t(j - 1)].Stretch)
            FSlots[size_t(j)].Stretch = -1;
    }
}

bool TSplicer::OutputPcm(int64_t From, int64_t To, std::vector<int16_t>& Pcm) {
    const int64_t channels = FStream.Channels;
    Pcm.assign(size_t((To - From) * channels), 0);
    for (size_t k = 0; k < FPlaced.size(); ++k) {
        const TPlaced& p = FPlaced[k];
        const int64_t lo = std::max(From, k == 0 ? INT64_MIN : p.OutStart);
        const int64_t hi =
            std::min(To, k + 1 == FPlaced.size() ? INT64_MAX : p.OutStart + p.Length);
        if (lo >= hi) continue;
        const int64_t frames = int64_t(p.File->Index->FramesFound());
        const int64_t rawLo = std::max<int64_t>(lo - p.Delta, 0);
        const int64_t rawHi = std::min<int64_t>(hi - p.Delta, frames * FSpf);
        if (rawLo >= rawHi) continue;
        const int64_t f0 = rawLo / FSpf, f1 = (rawHi - 1) / FSpf + 1;
        std::vector<int16_t> pcm;
        if (!DecodeFrames(p.File->Source, *p.File->Index, FStream, uint64_t(f0), uint64_t(f1), pcm))
            return false;
        const int64_t skip = rawLo - f0 * FSpf;
        std::copy(pcm.begin() + std::ptrdiff_t(skip * channels),
                  pcm.begin() + std::ptrdiff_t((skip + rawHi - rawLo) * channels),
                  Pcm.begin() + std::ptrdiff_t((rawLo + p.Delta - From) * channels));
    }
    return true;
}

std::string TSplicer::EncodeRuns() {
    TRunFormat format;
    format.StreamWord = FStreamWord;
    format.Channels = FStream.Channels;
    format.SampleRate = FStream.SampleRate;
    format.SamplesPerFrame = uint32_t(FSpf);
    const TOpened& first = *FPlaced.front().File;
    format.Kbps = std::max<uint32_t>(8, (first.Info.BitRate + 500) / 1000);
    const size_t frames = FSlots.size();
    for (size_t j = 0; j < frames;) {
        if (FSlots[j].Stretch >= 0) {
            ++j;
            continue;
        }
        if (Stopped()) return "Stopped";
        size_t end = j;
        while (end < frames && FSlots[end].Stretch < 0) ++end;
        // The bytes the next copied frame reaches back into.
        std::vector<uint8_t> reservoir;
        if (end < frames) {
            const TSlot& next = FSlots[end];
            TOpened& f = *FPlaced[size_t(next.Stretch)].File;
            std::vector<uint8_t> bytes;
            TMp3Header h;
            TMp3SideInfo side;
            if (!ReadFrame(f.Source, *f.Index, uint64_t(next.SourceFrame), bytes, h) ||
                !ParseSideInfo(bytes.data(), bytes.size(), h, side))
                return "the MP3 stream is damaged near a junction";
            reservoir =
                ReservoirBefore(f.Source, *f.Index, uint64_t(next.SourceFrame), side.MainDataBegin);
        }
        const int64_t from = int64_t(j) * FSpf - RunLead(format);
        const int64_t to = int64_t(end) * FSpf + RunTail(format);
        std::vector<int16_t> pcm;
        if (!OutputPcm(from, to, pcm)) return "the MP3 stream is damaged near a junction";
        // Lower rates leave the last frame more room for the reservoir it must carry.
        std::vector<TFrameBytes> run;
        for (uint32_t kbps = format.Kbps;; kbps = kbps > 64 ? kbps - 32 : kbps / 2) {
            TRunFormat f = format;
            f.Kbps = kbps;
            std::string error;
            run = EncodeRun(f, pcm, uint32_t(end - j), error);
            if (run.empty()) return error;
            if (CarryReservoir(run, reservoir)) break;
            if (kbps <= 8) return "no frame holds the bit reservoir at a junction";
        }
        FRuns[int64_t(j)] = std::move(run);
        Progress(int32_t(50 * end / frames));
        j = end;
    }
    return {};
}

TCutResult TSplicer::Run(const std::string& Out) {
    if (FStretches.empty()) return Outcome(TCutStatus::csUnsuitable, "no stretches to join");
    if (std::string why = OpenAll(); !why.empty()) return Outcome(TCutStatus::csUnsuitable, why);
    if (std::string why = Place(); !why.empty()) return Outcome(TCutStatus::csUnsuitable, why);
    TOpened& first = *FPlaced.front().File;
    {
        std::vector<uint8_t> frame;
        TMp3Header h;
        if (!ReadFrame(first.Source, *first.Index, 0, frame, h))
            return Outcome(TCutStatus::csFailed, "the MP3 stream is damaged at its start");
        FStreamWord = BigEndian32(frame.data());
    }
    PlanSlots();
    const int64_t frames = int64_t(FSlots.size());
    const int64_t padding = frames * FSpf - FDelay - FTotal;
    if (FDelay > kMaxTagField || padding < 0 || padding > kMaxTagField)
        return Outcome(TCutStatus::csUnsuitable, "the join needs a delay the tag cannot hold");
    if (std::string why = EncodeRuns(); !why.empty()) {
        // A stop or a damaged stream ends it; what the encoder cannot do, re-encoding might.
        const bool fatal = why == "Stopped" || why.find("damaged") != std::string::npos;
        return Outcome(fatal ? TCutStatus::csFailed : TCutStatus::csUnsuitable, why);
    }

    TCutResult result;
    {
        TFrameWriter out(Out, FStreamWord, SourceExtension(first.Source, first.Info));
        if (!out.Ok()) return Outcome(TCutStatus::csFailed, Out + ": cannot be created");
        out.Expect(uint64_t(frames));
        out.CopyRaw(first.Source, 0, LeadingTagsEnd(first.Source));
        out.ReserveTag();
        bool stopped = false;
        for (int64_t j = 0; out.Ok() && j < frames;) {
            const TSlot& slot = FSlots[size_t(j)];
            if (slot.Stretch < 0) {
                for (const auto& f : FRuns[j]) out.Frame(f);
                j += int64_t(FRuns[j].size());
                continue;
            }
            TOpened& f = *FPlaced[size_t(slot.Stretch)].File;
            int64_t at = 0;
            TMp3Header h;
            f.Index->Frame(uint64_t(slot.SourceFrame), at, h);
            out.CopyFrame(f.Source, at, h);
            if (++j % 1024 == 0) {
                if ((stopped = Stopped())) break;
                Progress(int32_t(50 + 50 * j / frames));
            }
        }
        out.CopyRaw(first.Source, first.Info.AudioEnd, first.Source.Size());
        std::string why = stopped ? "Stopped" : out.Finish(uint32_t(FDelay), uint32_t(padding));
        if (!why.empty()) result = Outcome(TCutStatus::csFailed, why);
    }
    if (result.Status == TCutStatus::csFailed && !result.Message.empty()) {
        std::error_code ignored;
        std::filesystem::remove(Out, ignored);
        return result;
    }
    result = Outcome(TCutStatus::csDone, {});
    result.Samples = FTotal;
    result.Delay = uint32_t(FDelay);
    result.Padding = uint32_t(padding);
    for (const auto& p : FPlaced) result.Shifts.push_back(p.Shift);
    for (const auto& s : FSlots)
        if (s.Stretch < 0) ++result.EncodedFrames;
    Progress(100);
    return result;
}

} // namespace

TCutResult SpliceMp3(const std::vector<TMp3Stretch>& Stretches, const std::string& Out,
                     const TSpliceControl& Control) {
    TSplicer splicer(Stretches, Control);
    return splicer.Run(Out);
}

} // namespace sundral::mp3lossless
