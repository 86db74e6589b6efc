#include "cli/CliSplit.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>

#include "audio/AuSilence.h"
#include "cli/CliFiles.h"
#include "cli/CliRun.h"
#include "cli/CliTime.h"
#include "edit/CutSetup.h"
#include "edit/PendingOutput.h"
#include "edit/SplitPlan.h"
#include "formats/AuMp3Out.h"
#include "formats/AuWinMedia.h"
#include "formats/AuWinMediaOut.h"
#include "formats/Mp3Lossless.h"
#include "platform/TextConv.h"
#include "platform/filestream.h"

namespace sundral::cli {
namespace {

// More pieces than this are taken for a mistake in the command (such as --every 0.001).
constexpr size_t kMaxPieces = 10000;
// A cue sheet is a few kilobytes; anything far larger is not one.
constexpr std::streamsize kMaxCueBytes = 1 << 20;

struct TPlan {
    std::vector<TSplitPiece> Pieces;
    std::string Album; // the cue sheet's title; empty otherwise
};

int ReadCue(const std::string& Path, TCueSheet& Sheet) {
    std::ifstream file(Path, std::ios::binary);
    if (!file) return Fail(Path + ": cannot be read");
    std::string text(size_t(kMaxCueBytes) + 1, '\0');
    file.read(text.data(), kMaxCueBytes + 1);
    if (file.bad()) return Fail(Path + ": cannot be read");
    text.resize(size_t(file.gcount()));
    if (text.size() > size_t(kMaxCueBytes)) return Fail(Path + ": too large for a cue sheet");
    std::string error;
    if (!ParseCueSheet(text, Sheet, error)) return Fail(Path + ": " + error);
    return 0;
}

// The pieces the options ask for; 0 or the exit status.
int PlanPieces(const TSplitOptions& Options, TAuFileIn& Reader, TComponent& Owner, TPlan& Plan) {
    const uint32_t rate = Reader.SampleRate();
    const int64_t total = std::max<int64_t>(Reader.TotalSamples(), 0);
    std::string error;
    if (!Options.At.empty()) {
        std::vector<int64_t> points;
        for (const std::string& text : Options.At) {
            const auto position = ParsePosition(text, Options.Samples, error);
            if (!position) return Usage("--at: " + error);
            points.push_back(PositionToFrames(*position, rate));
        }
        int unused = 0;
        Plan.Pieces = PiecesAtPoints(std::move(points), total, unused);
        if (unused > 0)
            std::cerr << "sundral-cli: note: " << unused << " of the --at points divide nothing "
                      << "(at the start, at or past the end, or given twice)\n";
    } else if (!Options.Every.empty()) {
        const auto step = ParsePosition(Options.Every, Options.Samples, error);
        if (!step) return Usage("--every: " + error);
        const int64_t frames = PositionToFrames(*step, rate);
        if (frames <= 0) return Usage("--every: give a length above zero");
        if ((total + frames - 1) / frames > int64_t(kMaxPieces))
            return Usage("--every: that makes more than " + std::to_string(kMaxPieces) + " pieces");
        Plan.Pieces = PiecesEvery(frames, total);
    } else if (Options.Silence) {
        TSilenceOptions options;
        options.ThresholdDb = Options.ThresholdDb;
        options.MinLengthSeconds = Options.MinLengthSeconds;
        TAuFileIn* scanner = OpenReadable(Options.In, &Owner, error);
        if (!scanner) return Fail(error);
        std::vector<TSilentRange> silences;
        for (const TSilentStretch& s : FindSilences(*scanner, options))
            silences.push_back({s.StartSample, s.EndSample});
        if (silences.empty())
            return Fail(Options.In + ": no silent stretch was found; nothing was written");
        Plan.Pieces = PiecesBetween(silences, total);
    } else {
        TCueSheet sheet;
        if (int status = ReadCue(Options.Cue, sheet)) return status;
        if (!PiecesFromCue(sheet, rate, total, Plan.Pieces, error))
            return Fail(Options.Cue + ": " + error);
        Plan.Album = sheet.Title;
    }
    if (Plan.Pieces.empty()) return Fail(Options.In + ": holds no sound to split");
    if (Plan.Pieces.size() > kMaxPieces)
        return Usage("that makes more than " + std::to_string(kMaxPieces) + " pieces");
    return 0;
}

// The source's tags with piece Index's track number n/N, title, artist and album.
void PieceTags(const TId3v2Tags& Source, const TPlan& Plan, size_t Index, TId3v2Tags& To) {
    CopyId3v2Fields(Source, To);
    const TSplitPiece& piece = Plan.Pieces[Index];
    To.SetTrack(std::to_string(Index + 1) + "/" + std::to_string(Plan.Pieces.size()));
    if (!piece.Title.empty()) To.SetTitle(Utf8ToUtf16(piece.Title));
    if (!piece.Performer.empty()) To.SetArtist(Utf8ToUtf16(piece.Performer));
    if (!Plan.Album.empty()) To.SetAlbum(Utf8ToUtf16(Plan.Album));
}

// Decodes the piece and writes it through the type's writer; 0 or the exit status.
int WriteThroughWriter(const TSplitOptions& Options, const TCommonOptions& Common,
                       const TId3v2Tags& SourceTags, const TPlan& Plan, size_t Index,
                       const std::string& Temp, const std::string& Name) {
    TComponent owner(nullptr);
    std::string error;
    TAuFileIn* reader = OpenReadable(Options.In, &owner, error);
    if (!reader) return Fail(error);
    const TSoundKind kind = SoundKindOf(Options.In);
    TAuFileOut* writer = NewWriter(kind, &owner);
    writer->SetFileName(Temp);
    writer->SetInput(reader);
    SetupWriterFrom(*writer, *reader, Common.BitReservoir);
    if (auto* mp3 = dynamic_cast<TMP3Out*>(writer)) {
        PieceTags(SourceTags, Plan, Index, mp3->Id3v2Tags());
        // The writer's tag step takes the track as a whole number; "n/N" would set none.
        mp3->Id3v2Tags().SetTrack(std::to_string(Index + 1));
        FillId3v1FromId3v2(mp3->Id3v2Tags(), mp3->Id3v1Tags());
    } else if (auto* wma = dynamic_cast<TWMAOut*>(writer)) {
        PieceTags(SourceTags, Plan, Index, wma->Id3v2Tags());
    }
    const TSplitPiece& piece = Plan.Pieces[Index];
    const int64_t total = std::max<int64_t>(reader->TotalSamples(), 0);
    auto* streamed = static_cast<TAuStreamedInput*>(reader);
    streamed->SetStartSample(piece.Start);
    streamed->SetEndSample(piece.End >= total ? -1 : piece.End - 1); // inclusive
    const TRunResult r = RunToEnd(*writer, !Common.Quiet && isatty(STDERR_FILENO));
    if (r.Interrupted) return Fail("interrupted; no piece was written");
    if (!r.Ok) return Fail(Name + ": " + r.Message + "; no piece was written");
    return 0;
}

} // namespace

CLI::App* AddSplitCommand(CLI::App& App, TSplitOptions& Options, TCommonOptions& Common) {
    CLI::App* command = App.add_subcommand(
        "split", "Write the pieces of IN to files named after PATTERN ({n}, {name}, {title})");
    command->add_option("IN", Options.In, "The sound file to split")->required();
    command
        ->add_option("PATTERN", Options.Pattern,
                     "The pieces' names: {n} the number, {name} IN's name, {title} the cue "
                     "sheet's title (else 'Track {n}'); IN's extension when it has none")
        ->required();
    command->add_option("--at", Options.At, "Split at this position; repeat for more");
    command->add_option("--every", Options.Every, "Split into pieces this long");
    command->add_flag("--silence", Options.Silence,
                      "Keep the sound between the silences `silences` finds, one piece each");
    command
        ->add_option("--threshold", Options.ThresholdDb,
                     "With --silence: level in dB below full scale under which it is silent")
        ->capture_default_str();
    command
        ->add_option("--min-length", Options.MinLengthSeconds,
                     "With --silence: shortest silence that divides, in seconds")
        ->capture_default_str();
    command->add_option("--cue", Options.Cue, "Split along the tracks of this cue sheet");
    command->add_flag("--samples", Options.Samples, "--at and --every are sample numbers");
    command->add_flag("--reencode", Common.Reencode,
                      "MP3: decode and encode again (default: copy the frames, exact to the "
                      "sample)");
    command->add_flag("-q,--quiet", Common.Quiet, "No progress");
    command->add_flag("-f,--force", Common.Force, "Replace existing files");
    command->add_flag("--bit-reservoir", Common.BitReservoir,
                      "MP3 with --reencode: let the encoder use its bit reservoir");
    return command;
}

int CommandSplit(const TSplitOptions& Options, const TCommonOptions& Common) {
    const int modes = int(!Options.At.empty()) + int(!Options.Every.empty()) +
                      int(Options.Silence) + int(!Options.Cue.empty());
    if (modes != 1) return Usage("give exactly one of --at, --every, --silence and --cue");
    if (!(Options.ThresholdDb <= 0))
        return Usage("--threshold is in dB below full scale: 0 or less, for example -50");
    if (!(Options.MinLengthSeconds >= 0) || !std::isfinite(Options.MinLengthSeconds))
        return Usage("--min-length must be zero or more seconds");
    const TSoundKind kind = SoundKindOf(Options.In);
    if (kind == TSoundKind::skUnknown) return Usage(Options.In + ": use a .wav, .mp3 or .wma file");
    try {
        TComponent owner(nullptr);
        std::string error;
        TAuFileIn* reader = OpenReadable(Options.In, &owner, error);
        if (!reader) return Fail(error);
        TPlan plan;
        if (int status = PlanPieces(Options, *reader, owner, plan)) return status;

        std::vector<std::string> names;
        if (!PieceNames({Options.Pattern, Options.In}, plan.Pieces, names, error))
            return Usage(error);
        // Every name is checked before anything is written.
        for (const std::string& name : names) {
            if (SoundKindOf(name) != kind)
                return Usage(name + ": the pieces must have the input's type (" +
                             SoundKindName(kind) + ")");
            if (SameFile(Options.In, name)) return Usage(name + ": a piece would overwrite IN");
            std::error_code ec;
            if (std::filesystem::exists(name, ec) && !Common.Force)
                return Fail(name + ": the file exists (use --force to replace it)");
        }

        TId3v2Tags sourceTags;
        if (auto* media = dynamic_cast<TWMIn*>(reader))
            CopyId3v2Fields(media->Id3v2Tags(), sourceTags);
        const bool show = !Common.Quiet && isatty(STDERR_FILENO);
        bool noted = false;
        // From before the first temporary file exists until the last is gone or moved.
        const TInterruptGuard interrupts;
        std::vector<std::unique_ptr<TPendingOutput>> outputs;
        for (size_t i = 0; i < plan.Pieces.size(); ++i) {
            if (Interrupted()) return Fail("interrupted; no piece was written");
            if (show) std::fprintf(stderr, "%s\n", names[i].c_str());
            outputs.push_back(std::make_unique<TPendingOutput>(names[i]));
            const std::string& temp = outputs.back()->TempName();
            if (kind == TSoundKind::skMp3 && !Common.Reencode) {
                using namespace mp3lossless;
                TId3v2Tags tags;
                PieceTags(sourceTags, plan, i, tags);
                const TSplitPiece& piece = plan.Pieces[i];
                const TCutResult cut = CutMp3(Options.In, temp, piece.Start, piece.End,
                                              Mp3PieceTags(tags, int32_t(i + 1)));
                if (cut.Status == TCutStatus::csFailed)
                    return Fail(Options.In + ": " + cut.Message + "; no piece was written");
                if (cut.Status == TCutStatus::csDone) continue;
                if (!noted)
                    std::cerr << "sundral-cli: note: " << Options.In << ": " << cut.Message
                              << "; re-encoding instead\n";
                noted = true;
            }
            if (int status =
                    WriteThroughWriter(Options, Common, sourceTags, plan, i, temp, names[i]))
                return status;
        }
        if (Interrupted()) return Fail("interrupted; no piece was written");
        for (auto& output : outputs)
            if (!output->Commit(error)) return Fail(error);
        return 0;
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}

} // namespace sundral::cli
