#include "cli/CliCommands.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "audio/AuMixer.h"
#include "cli/CliFiles.h"
#include "cli/CliRun.h"
#include "cli/CliSplice.h"
#include "cli/CliTime.h"
#include "edit/Global.h"
#include "edit/PendingOutput.h"
#include "formats/Mp3Lossless.h"
#include "platform/filestream.h"

namespace sundral::cli {
namespace {

std::string DurationText(int64_t Frames, uint32_t Rate) {
    if (Rate == 0 || Frames < 0) return MsToTimeText(0);
    int64_t ms = Frames * 1000 / Rate;
    if (ms > INT32_MAX) ms = INT32_MAX;
    return MsToTimeText(static_cast<int32_t>(ms));
}

// Checks made before anything is opened for writing.
int CheckOutput(const std::string& Out, TSoundKind Kind, const std::vector<std::string>& Inputs,
                const TCommonOptions& Options) {
    if (SoundKindOf(Out) != Kind)
        return Usage(Out + ": the output must have the input's type (" + SoundKindName(Kind) + ")");
    for (const auto& in : Inputs) {
        if (SameFile(in, Out)) return Usage(Out + ": the output would overwrite an input");
    }
    std::error_code ec;
    if (std::filesystem::exists(Out, ec) && !Options.Force)
        return Fail(Out + ": the file exists (use --force to replace it)");
    return 0;
}

int RunAndCommit(TAuOutput& Writer, TPendingOutput& Output, const std::string& Out,
                 const TCommonOptions& Options) {
    bool bar = !Options.Quiet && isatty(STDERR_FILENO);
    TRunResult r = RunToEnd(Writer, bar);
    if (!r.Ok) {
        if (r.Interrupted) return Fail("interrupted; " + Out + " was not written");
        return Fail(r.Message + "; " + Out + " was not written");
    }
    std::string message;
    if (!Output.Commit(message)) return Fail(message);
    return 0;
}

} // namespace

int CommandInfo(const std::string& File, bool Json) {
    try {
        TComponent owner(nullptr);
        std::string message;
        TAuFileIn* reader = OpenReadable(File, &owner, message);
        if (!reader) return Fail(message);
        uint32_t rate = reader->SampleRate();
        int64_t frames = reader->TotalSamples();
        if (frames < 0) frames = 0;
        const TMediaFacts media = ReadMediaFacts(*reader);
        if (Json) {
            nlohmann::ordered_json j;
            j["file"] = File;
            j["format"] = SoundKindName(SoundKindOf(File));
            j["type"] = TypeName(*reader);
            j["sampleRate"] = rate;
            j["channels"] = reader->Channels();
            j["bitsPerSample"] = reader->BitsPerSample();
            j["totalSamples"] = frames;
            j["duration"] = DurationText(frames, rate);
            j["seconds"] = rate ? static_cast<double>(frames) / rate : 0.0;
            if (media.Known) {
                j["bitrate"] = media.Bitrate;
                j["vbr"] = media.IsVBR;
                j["protected"] = media.IsProtected;
            }
            nlohmann::ordered_json tags = nlohmann::ordered_json::object();
            for (const auto& [name, value] : media.Tags) tags[name] = value;
            j["tags"] = tags;
            std::cout << j.dump(2) << "\n";
        } else {
            std::cout << "File:         " << File << "\n"
                      << "Format:       " << SoundKindName(SoundKindOf(File)) << " ("
                      << TypeName(*reader) << ")\n"
                      << "Sample rate:  " << rate << " Hz\n"
                      << "Channels:     " << reader->Channels() << "\n"
                      << "Bits:         " << reader->BitsPerSample() << "\n"
                      << "Samples:      " << frames << "\n"
                      << "Duration:     " << DurationText(frames, rate) << "\n";
            if (media.Known) {
                std::cout << "Bit rate:     " << media.Bitrate / 1000 << " kbps\n"
                          << "VBR:          " << (media.IsVBR ? "yes" : "no") << "\n"
                          << "Protected:    " << (media.IsProtected ? "yes" : "no") << "\n";
            }
            std::cout << (media.Tags.empty() ? "Tags:         (none)\n" : "Tags:\n");
            for (const auto& [name, value] : media.Tags) {
                std::string label = name + ":";
                label[0] = char(std::toupper(static_cast<unsigned char>(label[0])));
                std::cout << "  " << label
                          << std::string(label.size() < 12 ? 12 - label.size() : 1, ' ') << value
                          << "\n";
            }
        }
        return 0;
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}

int CommandCut(const std::string& In, const std::string& Out,
               const std::optional<std::string>& From, const std::optional<std::string>& To,
               bool Samples, const TCommonOptions& Options) {
    std::string error;
    TCliPosition from;
    if (From) {
        auto p = ParsePosition(*From, Samples, error);
        if (!p) return Usage("--from: " + error);
        from = *p;
    }
    std::optional<TCliPosition> to;
    if (To) {
        to = ParsePosition(*To, Samples, error);
        if (!to) return Usage("--to: " + error);
    }
    try {
        const TInterruptGuard interrupts; // from before the output exists
        TSoundKind kind = SoundKindOf(In);
        TComponent owner(nullptr);
        // The reader is opened (and the decoding libraries loaded) only when the frames are
        // not copied: a copied MP3 is measured by its frames.
        TAuFileIn* reader = nullptr;
        const auto openReader = [&]() -> bool {
            reader = NewReader(kind, &owner);
            reader->SetFileName(In);
            return CheckReadable(*reader, In, error);
        };
        const bool copy = kind == TSoundKind::skMp3 && !Options.Reencode;
        mp3lossless::TMp3CutSource frames;
        uint32_t rate = 0;
        int64_t total = 0;
        if (copy && frames.Open(In)) {
            rate = frames.SampleRate();
            total = frames.Samples();
        } else {
            if (!openReader()) return Fail(error);
            rate = reader->SampleRate();
            // A file whose audio is empty reports -1 frames; it holds none.
            total = std::max<int64_t>(reader->TotalSamples(), 0);
        }
        if (int status = CheckOutput(Out, kind, {In}, Options)) return status;
        int64_t start = PositionToFrames(from, rate);
        int64_t end = -1; // inclusive; -1 is the end of the file
        if (to) {
            int64_t count = StretchFrames(from, *to, rate);
            if (count < 0) return Usage("--to lies before --from");
            if (count == 0) return Usage("--from and --to give an empty range");
            end = start + count - 1;
        }
        // A file without audio cuts to a file without audio; otherwise the cut must start
        // on a frame of the file.
        if (start > 0 && start >= total) {
            return Fail("--from lies past the end of " + In + " (" + DurationText(total, rate) +
                        ")");
        }
        if (end >= total) end = -1;

        // Written under a temporary name beside OUT and moved over it only when the run
        // succeeded: a failed or interrupted run leaves no half-made OUT, nor destroys the
        // OUT that --force would have replaced.
        TPendingOutput output(Out);
        if (copy) {
            // The frames are copied; where they cannot be, the stretch is re-encoded.
            using namespace mp3lossless;
            // The file read by the frames, or (when they found no stream) anew.
            const TCutResult lossless =
                reader ? CutMp3(In, output.TempName(), start, end < 0 ? -1 : end + 1)
                       : frames.Cut(output.TempName(), start, end < 0 ? -1 : end + 1);
            if (lossless.Status == TCutStatus::csFailed) return Fail(In + ": " + lossless.Message);
            if (lossless.Status == TCutStatus::csDone) {
                if (!output.Commit(error)) return Fail(error);
                return 0;
            }
            std::cerr << "sundral-cli: note: " << In << ": " << lossless.Message
                      << "; re-encoding instead\n";
            if (!reader && !openReader()) return Fail(error);
        }
        TAuFileOut* writer = NewWriter(kind, &owner);
        writer->SetFileName(output.TempName());
        writer->SetInput(reader);
        SetupWriterFrom(*writer, *reader, Options.BitReservoir);
        auto* streamed = static_cast<TAuStreamedInput*>(reader);
        streamed->SetStartSample(start);
        streamed->SetEndSample(end);
        return RunAndCommit(*writer, output, Out, Options);
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}

int CommandJoin(const std::string& A, const std::string& B, const std::string& Out, bool Mix,
                const TCommonOptions& Options) {
    try {
        const TInterruptGuard interrupts; // from before the output exists
        TSoundKind kind = SoundKindOf(A);
        if (SoundKindOf(B) != kind) return Usage("A and B must be files of the same type");
        if (!Mix && kind == TSoundKind::skMp3 && !Options.Reencode) {
            if (int status = CheckOutput(Out, kind, {A, B}, Options)) return status;
            // The frames are copied; only those around the junction are encoded again.
            if (auto status = SpliceLossless({{A, 0, -1}, {B, 0, -1}}, Out,
                                             !Options.Quiet && isatty(STDERR_FILENO)))
                return *status;
        }
        TComponent owner(nullptr);
        TAuFileIn* first = NewReader(kind, &owner);
        TAuFileIn* second = NewReader(kind, &owner);
        first->SetFileName(A);
        second->SetFileName(B);
        std::string error;
        if (!CheckReadable(*first, A, error) || !CheckReadable(*second, B, error))
            return Fail(error);
        if (first->SampleRate() != second->SampleRate() ||
            first->Channels() != second->Channels()) {
            return Fail("A and B differ in sample rate or channels (" +
                        std::to_string(first->SampleRate()) + " Hz/" +
                        std::to_string(first->Channels()) + " against " +
                        std::to_string(second->SampleRate()) + " Hz/" +
                        std::to_string(second->Channels()) + ")");
        }
        if (int status = CheckOutput(Out, kind, {A, B}, Options)) return status;

        auto* mixer = new TAudioMixer(&owner);
        mixer->SetMode(Mix ? TAudioMixerMode::amMix : TAudioMixerMode::amConcatenate);
        mixer->SetVolume1(65535);
        mixer->SetVolume2(65535);
        mixer->SetInput1(first);
        mixer->SetInput2(second);
        TPendingOutput output(Out);
        TAuFileOut* writer = NewWriter(kind, &owner);
        writer->SetFileName(output.TempName());
        writer->SetInput(mixer);
        // The first file's tags and encoding, as the Joiner & Mixer window does.
        SetupWriterFrom(*writer, *first, Options.BitReservoir);
        return RunAndCommit(*writer, output, Out, Options);
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}

} // namespace sundral::cli
