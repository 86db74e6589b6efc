#include "edit/SegmentChain.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "audio/AuClassesTagged.h"
#include "audio/AuConcat.h"
#include "edit/CutSetup.h"
#include "edit/CutSetupWriters.h"
#include "edit/Global.h"
#include "edit/PendingOutput.h"
#include "edit/RunFolder.h"
#include "formats/AuMp3In.h"
#include "formats/AuMp3Out.h"
#include "formats/AuWaveOut.h"
#include "formats/AuWinMedia.h"
#include "formats/AuWinMediaOut.h"
#include "formats/Mp3Lossless.h"

namespace sundral {
namespace {

constexpr char kNothingRemainsMessage[] =
    "Nothing would remain of the file: the segments cover all of it.";

// RequireSound, with the file's name in every refusal ("cut2.wav: No such file or
// directory" rather than the bare system text).
void RequireReadable(TAuFileIn& Reader) {
    try {
        RequireSound(Reader);
    } catch (const EAuException& e) {
        const std::string text = e.what();
        if (text.rfind(Reader.FileName(), 0) == 0) throw;
        throw EAuException(Reader.FileName() + ": " + text);
    }
}

// The work folder's PCM files are named for what they hold, whatever the source's type.
constexpr char kPcmExtension[] = ".wav";

std::string TrackText(int32_t Piece, int32_t Count) {
    return std::to_string(Piece + 1) + "/" + std::to_string(Count);
}

} // namespace

std::string SegmentWorkFolder() {
    std::error_code error;
    const std::string appData = GetAppDataFolder();
    if (!appData.empty()) {
        const std::string folder = appData + "Orvane/Sundral/";
        std::filesystem::create_directories(folder, error);
        if (std::filesystem::is_directory(folder, error)) return folder;
    }
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    return program.parent_path().string() + "/";
}

TSegmentChain::TSegmentChain(const TToolComponents& Components) : FComponents(Components) {}

TSegmentChain::~TSegmentChain() {
    // The owner stops the writers (Abandon) while the components still exist; only the
    // files are left to remove here.
    End(TChainState::csFailed, {});
}

std::vector<std::string> TSegmentChain::Outputs(const TSegmentRun& Run) {
    if (!Run.SeparateFiles) return {Run.Output};
    std::vector<std::string> names;
    const int32_t count = int32_t(Run.Pieces.size());
    for (int32_t n = 1; n <= count; ++n) names.push_back(NumberedFileName(Run.Output, n, count));
    return names;
}

TChainStep TSegmentChain::Begin(const TSegmentRun& Run) {
    if (Running()) throw EAuException("The component is busy.");
    const TSoundKind kind = SoundKindOf(Run.Source);
    if (kind == TSoundKind::skUnknown) throw EAuException(kCutUnknownTypeMessage);
    if (Run.Pieces.empty()) throw EAuException(kNothingRemainsMessage);

    FFolder = TRunFolder::Make(Run.WorkFolder);
    FRunFolder = FFolder->Path();
    try {
        for (const std::string& output : Outputs(Run))
            FPending.push_back(std::make_unique<TPendingOutput>(output));
    } catch (...) {
        End(TChainState::csFailed, {});
        throw;
    }
    FRun = Run;
    FKind = kind;
    FExtension = ExtensionOf(Run.Source);
    FCutting = true;
    FStep = 0;
    return Next(CuttingCaption(1, PieceCount()));
}

TAuFileOut* TSegmentChain::SetupJob() {
    if (!Running()) throw EAuException("No segment cut is running.");
    return FCutting ? SetupCut(FStep) : SetupJoin(FStep);
}

TChainStep TSegmentChain::JobEnded(const std::string& Error) {
    if (!Running()) return {};
    if (!Error.empty()) return End(TChainState::csFailed, Error);
    ++FStep;
    if (FCutting) {
        if (FStep < PieceCount()) return Next(CuttingCaption(FStep + 1, PieceCount()));
        // All pieces are cut; a single one, or each of separate files, was an output itself.
        if (CutIsOutput()) return End(TChainState::csFinished, {});
        FCutting = false;
        FStep = 1;
        return Next(JoiningCaption(1, PieceCount()));
    }
    if (FStep == PieceCount()) return End(TChainState::csFinished, {});
    return Next(JoiningCaption(FStep, PieceCount()));
}

TChainStep TSegmentChain::Fail(const std::string& Message) {
    return End(TChainState::csFailed, Message);
}

void TSegmentChain::Abandon() {
    if (!Running()) return;
    FComponents.StopWriters();
    End(TChainState::csFailed, {});
}

TChainStep TSegmentChain::Next(const std::string& Caption) const {
    return {TChainState::csRunning, Caption, {}};
}

TChainStep TSegmentChain::End(TChainState State, const std::string& Message) {
    TChainStep step{State, {}, Message};
    if (State == TChainState::csFinished) {
        for (const auto& pending : FPending) {
            std::string error;
            if (!pending->Commit(error)) {
                step = {TChainState::csFailed, {}, error};
                break;
            }
        }
    }
    FPending.clear(); // removes the temporary outputs that did not take their names
    FFolder.reset();  // removes the folder, then lets go of its lock
    FRunFolder.clear();
    FCutting = false;
    FStep = 0;
    FPieces.clear();
    return step;
}

std::string TSegmentChain::WorkFile(const std::string& Name) const {
    return FRunFolder + Name;
}

bool TSegmentChain::CutIsOutput() const {
    return FRun.SeparateFiles || PieceCount() == 1;
}

std::string TSegmentChain::OutputOfCut(int32_t Piece) const {
    return FPending.at(FRun.SeparateFiles ? size_t(Piece) : 0)->TempName();
}

int64_t TSegmentChain::FrameAt(TAuFileIn& Reader, int32_t Ms) const {
    if (FRun.FileLengthMs > 0) return ScaleToSamples(Reader.TotalSamples(), Ms, FRun.FileLengthMs);
    return ScaleToSamples(Reader.SampleRate(), Ms, 1000);
}

TAuFileOut& TSegmentChain::OutputWriter(TAuFileIn* Input, int32_t Piece) {
    TAuFileOut& writer = *FComponents.Writer(FKind);
    // Reader 1 of the type holds the source while the writer takes its settings from it.
    TAuFileIn& source = *FComponents.Reader(FKind, 1);
    source.SetFileName(FRun.Source);
    RequireReadable(source);
    FComponents.SetupWriter(FKind);
    if (FRun.SeparateFiles) {
        if (auto* tagged = dynamic_cast<TAuTaggedFileOut*>(&writer)) {
            tagged->Id3v2Tags().SetTrack(TrackText(Piece, PieceCount()));
            if (FKind == TSoundKind::skMp3) tagged->Id3v1Tags().SetTrack(uint8_t(Piece + 1));
        }
    }
    writer.SetInput(Input);
    return writer;
}

TAuFileOut* TSegmentChain::SetupCut(int32_t Piece) {
    const TKeptPiece& piece = FRun.Pieces.at(size_t(Piece));
    TAuFileIn& reader = *FComponents.Reader(FKind, 1);
    reader.SetFileName(FRun.Source);
    RequireReadable(reader);
    const int64_t start = FrameAt(reader, piece.StartMs);
    const int64_t end = piece.ToEnd ? reader.TotalSamples() : FrameAt(reader, piece.EndMs);
    const int64_t frames = std::max<int64_t>(end - start, 0);
    const bool output = CutIsOutput();
    FPieces.resize(size_t(Piece) + 1);
    TPieceFile& file = FPieces[size_t(Piece)];

    if (FKind == TSoundKind::skMp3) {
        // A frame copy, when the stream allows one.
        file = {output ? OutputOfCut(Piece) : WorkFile(CutFileName(Piece + 1, FExtension)),
                TSoundKind::skMp3, frames};
        const int64_t copyEnd = piece.ToEnd ? -1 : end;
        mp3lossless::TCutResult copy;
        if (FRun.SeparateFiles) {
            // Each file is one of a set: the source's fields with its track "n/N".
            TId3v2Tags fields;
            if (auto* media = dynamic_cast<TWMIn*>(&reader))
                CopyId3v2Fields(media->Id3v2Tags(), fields);
            fields.SetTrack(TrackText(Piece, PieceCount()));
            copy = mp3lossless::CutMp3(FRun.Source, file.Name, start, copyEnd,
                                       Mp3PieceTags(fields, Piece + 1));
        } else {
            copy = mp3lossless::CutMp3(FRun.Source, file.Name, start, copyEnd);
        }
        if (copy.Status == mp3lossless::TCutStatus::csFailed)
            throw EAuException(FRun.Source + ": " + copy.Message);
        if (copy.Status == mp3lossless::TCutStatus::csDone) {
            file.Frames = copy.Samples;
            return nullptr;
        }
    }
    TAuFileOut* writer = FComponents.WaveOut1;
    if (output) {
        file = {OutputOfCut(Piece), FKind, frames};
        writer = &OutputWriter(&reader, Piece);
    } else {
        // Kept as PCM until the one encode at the end.
        file = {WorkFile(CutFileName(Piece + 1,
                                     FKind == TSoundKind::skWav ? FExtension : kPcmExtension)),
                TSoundKind::skWav, frames};
        writer->SetInput(&reader);
    }
    writer->SetFileName(file.Name);
    if (piece.ToEnd) {
        reader.SetStartSample(start);
        reader.SetEndSample(-1);
    } else {
        SetReaderRange(reader, {start, end});
    }
    return writer;
}

TAuFileOut* TSegmentChain::SetupJoin(int32_t Join) {
    // The last join reads every piece in one pass, straight into the output; the joins
    // before it keep their steps but have nothing left to do.
    if (Join + 1 < PieceCount()) return nullptr;
    // The encoder takes its settings from the source before the pieces are opened.
    TAuFileOut& writer = OutputWriter(nullptr, Join);
    auto parts = std::make_unique<TComponent>(nullptr);
    auto* pieces = new TAuConcatenator(parts.get());
    std::vector<TAuInput*> readers;
    for (const TPieceFile& file : FPieces) {
        TAuFileIn* reader = NewReader(file.Kind, parts.get());
        reader->SetFileName(file.Name);
        // Each file is read for as many frames as its piece holds.
        reader->SetStartSample(0);
        reader->SetEndSample(file.Frames > 0 ? file.Frames - 1 : -1);
        RequireReadable(*reader);
        readers.push_back(reader);
    }
    pieces->SetInputs(readers);
    writer.SetInput(pieces);
    writer.SetFileName(FPending.at(0)->TempName());
    // The writer no longer reads the previous run's parts, if any: they may go now.
    FJoinParts = std::move(parts);
    return &writer;
}

} // namespace sundral
