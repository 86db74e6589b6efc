#include "cli/CliSegmentCut.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>

#include "audio/AuSilence.h"
#include "cli/CliFiles.h"
#include "cli/CliRun.h"
#include "cli/CliSplice.h"
#include "cli/CliTime.h"
#include "edit/Global.h"
#include "edit/SegmentChain.h"
#include "platform/filestream.h"

namespace sundral::cli {
namespace {

// One "FROM-TO" in milliseconds, rounded to the nearest; false with the reason in Error.
bool ParseRemove(const std::string& Text, TSegmentMs& Segment, std::string& Error) {
    const size_t dash = Text.find('-');
    if (dash == std::string::npos || Text.find('-', dash + 1) != std::string::npos) {
        Error = "--remove '" + Text + "': give FROM-TO";
        return false;
    }
    int32_t ms[2];
    const std::string ends[2] = {Text.substr(0, dash), Text.substr(dash + 1)};
    for (int i = 0; i < 2; ++i) {
        const auto position = ParsePosition(ends[i], false, Error);
        if (!position) {
            Error = "--remove: " + Error;
            return false;
        }
        const int64_t rounded = (position->Nanoseconds + 500'000) / 1'000'000;
        // Positions are held in 32-bit milliseconds, as in the windows.
        if (rounded > INT32_MAX) {
            Error = "--remove '" + Text + "': too far into a file";
            return false;
        }
        ms[i] = int32_t(rounded);
    }
    if (ms[0] >= ms[1]) {
        Error = "--remove '" + Text + "': FROM must lie before TO";
        return false;
    }
    Segment = {ms[0], ms[1]};
    return true;
}

// The silent stretches of Reader in milliseconds, each rounded inwards so that no sound at
// its edges goes with it; stretches shorter than a millisecond are left out.
std::vector<TSegmentMs> SilentSegments(TAuFileIn& Reader, const TSegmentCutOptions& Options) {
    TSilenceOptions options;
    options.ThresholdDb = Options.ThresholdDb;
    options.MinLengthSeconds = Options.MinLengthSeconds;
    const int64_t rate = Reader.SampleRate();
    std::vector<TSegmentMs> segments;
    for (const TSilentStretch& s : FindSilences(Reader, options)) {
        const int64_t from = (s.StartSample * 1000 + rate - 1) / rate;
        const int64_t to = std::min<int64_t>(s.EndSample * 1000 / rate, INT32_MAX);
        if (from < to) segments.push_back({int32_t(from), int32_t(to)});
    }
    return segments;
}

// Segments (each already with its margin) in order, those that overlap or touch made one.
std::vector<TSegmentMs> Merged(std::vector<TSegmentMs> Segments) {
    std::sort(Segments.begin(), Segments.end(),
              [](const TSegmentMs& A, const TSegmentMs& B) { return A.StartMs < B.StartMs; });
    std::vector<TSegmentMs> merged;
    for (const TSegmentMs& segment : Segments) {
        if (!merged.empty() && segment.StartMs <= merged.back().EndMs)
            merged.back().EndMs = std::max(merged.back().EndMs, segment.EndMs);
        else
            merged.push_back(segment);
    }
    return merged;
}

// Runs the chain's jobs one after another; 0 when the output was written.
int RunChain(TSegmentChain& Chain, TChainStep Step, const std::string& Out, bool ShowProgress) {
    while (Step.State == TChainState::csRunning) {
        if (Interrupted()) { // between two jobs
            Chain.Abandon();
            return Fail("interrupted; " + Out + " was not written");
        }
        if (ShowProgress) std::fprintf(stderr, "%s\n", Step.Caption.substr(3).c_str());
        TAuFileOut* writer = nullptr;
        try {
            writer = Chain.SetupJob();
        } catch (const std::exception& e) {
            Step = Chain.Fail(e.what());
            break;
        }
        if (!writer) { // a frame copy, done already
            Step = Chain.JobEnded({});
            continue;
        }
        const TRunResult result = RunToEnd(*writer, ShowProgress);
        if (result.Interrupted) {
            Chain.Abandon();
            return Fail("interrupted; " + Out + " was not written");
        }
        Step = Chain.JobEnded(result.Ok ? std::string() : result.Message);
    }
    if (Step.State == TChainState::csFailed)
        return Fail(Step.Message + "; " + Out + " was not written");
    return 0;
}

} // namespace

CLI::App* AddSegmentCutCommand(CLI::App& App, TSegmentCutOptions& Options, TCommonOptions& Common) {
    CLI::App* command = App.add_subcommand(
        "segment-cut", "Remove stretches from IN and write what remains, joined, to OUT");
    command->add_option("IN", Options.In, "The sound file to cut")->required();
    command->add_option("OUT", Options.Out, "The new file, of the same type as IN")->required();
    command->add_option("--remove", Options.Removes,
                        "A stretch FROM-TO to remove (time texts or seconds); repeat for more");
    command->add_flag("--exact", Options.Exact,
                      "Remove exactly FROM-TO (by default 100 ms more on each side)");
    command->add_flag("--remove-silence", Options.RemoveSilence,
                      "Also remove the silent stretches, as `silences` lists them");
    command
        ->add_option("--threshold", Options.ThresholdDb,
                     "With --remove-silence: level in dB below full scale (RMS over 20 ms) "
                     "under which it is silent")
        ->capture_default_str();
    command
        ->add_option("--min-length", Options.MinLengthSeconds,
                     "With --remove-silence: shortest silent stretch removed, in seconds")
        ->capture_default_str();
    command->add_flag("--reencode", Common.Reencode,
                      "MP3: decode and encode again (default: copy the frames and encode only "
                      "those around each junction)");
    command->add_flag("-q,--quiet", Common.Quiet, "No progress");
    command->add_flag("-f,--force", Common.Force, "Replace an existing OUT");
    return command;
}

int CommandSegmentCut(const TSegmentCutOptions& Options, const TCommonOptions& Common) {
    const TSoundKind kind = SoundKindOf(Options.In);
    if (kind == TSoundKind::skUnknown) return Usage(Options.In + ": use a .wav, .mp3 or .wma file");
    if (SoundKindOf(Options.Out) != kind)
        return Usage(Options.Out + ": the output must be of the same type as the input");
    if (SameFile(Options.In, Options.Out))
        return Usage(Options.Out + ": the output would overwrite the input");
    if (Options.Removes.empty() && !Options.RemoveSilence)
        return Usage("give the stretches to remove (--remove FROM-TO) or --remove-silence");
    std::vector<TSegmentMs> segments;
    std::string error;
    for (const std::string& text : Options.Removes) {
        TSegmentMs segment;
        if (!ParseRemove(text, segment, error)) return Usage(error);
        if (!segments.empty() && segment.StartMs < segments.back().EndMs)
            return Usage("the stretches to remove must be in ascending order and not overlap");
        segments.push_back(segment);
    }
    std::error_code exists;
    if (std::filesystem::exists(Options.Out, exists) && !Common.Force)
        return Fail(Options.Out + ": the file exists (use --force to replace it)");

    try {
        TComponent owner(nullptr);
        const TToolComponents components(&owner);
        TAuFileIn& reader = *components.Reader(kind, 1);
        reader.SetFileName(Options.In);
        if (!CheckReadable(reader, Options.In, error)) return Fail(error);
        const uint32_t rate = reader.SampleRate();
        const int64_t frames = std::max<int64_t>(reader.TotalSamples(), 0);
        const int64_t lengthMs = rate ? frames * 1000 / rate : 0;
        if (!segments.empty() && segments.back().EndMs > lengthMs)
            return Usage("--remove: " + MsToTimeText(segments.back().EndMs) +
                         " lies past the end of " + Options.In + " (" +
                         MsToTimeText(int32_t(std::min<int64_t>(lengthMs, INT32_MAX))) + ")");
        const int32_t fileMs = int32_t(std::min<int64_t>(lengthMs, INT32_MAX));
        int32_t margin = Options.Exact ? 0 : kSegmentMarginMs;
        if (Options.RemoveSilence) {
            // The given stretches take their margin here (the file's own start stays put), so
            // that the silent ones can join them without one.
            for (TSegmentMs& segment : segments) {
                if (segment.StartMs > 0) segment.StartMs = std::max(0, segment.StartMs - margin);
                segment.EndMs = int32_t(std::min<int64_t>(int64_t(segment.EndMs) + margin,
                                                          std::max(fileMs, segment.EndMs)));
            }
            margin = 0;
            TAuFileIn& scanner = *components.Reader(kind, 2);
            scanner.SetFileName(Options.In);
            const std::vector<TSegmentMs> silent = SilentSegments(scanner, Options);
            segments.insert(segments.end(), silent.begin(), silent.end());
            segments = Merged(std::move(segments));
            if (segments.empty())
                return Fail(Options.In + ": no silent stretch was found; " + Options.Out +
                            " was not written");
        }

        // From before the run's folder and output exist until they are gone again.
        const TInterruptGuard interrupts;
        TSegmentRun run;
        run.Source = Options.In;
        run.Output = Options.Out;
        run.WorkFolder = SegmentWorkFolder();
        run.Pieces = KeptPieces(segments, fileMs, margin);
        const bool progress = !Common.Quiet && isatty(STDERR_FILENO);
        if (kind == TSoundKind::skMp3 && !Common.Reencode) {
            std::vector<mp3lossless::TMp3Stretch> stretches;
            for (const TKeptPiece& piece : run.Pieces)
                stretches.push_back({Options.In, int64_t(piece.StartMs) * rate / 1000,
                                     piece.ToEnd ? -1 : int64_t(piece.EndMs) * rate / 1000});
            if (auto status = SpliceLossless(stretches, Options.Out, progress)) return *status;
        }
        TSegmentChain chain(components);
        const TChainStep first = chain.Begin(run);
        return RunChain(chain, first, Options.Out, progress);
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}

} // namespace sundral::cli
