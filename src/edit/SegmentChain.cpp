#include "edit/SegmentChain.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "audio/AuMixer.h"
#include "edit/CutSetup.h"
#include "edit/Global.h"
#include "edit/PendingOutput.h"
#include "edit/RunFolder.h"

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

TChainStep TSegmentChain::Begin(const TSegmentRun& Run) {
    if (Running()) throw EAuException("The component is busy.");
    const TSoundKind kind = SoundKindOf(Run.Source);
    if (kind == TSoundKind::skUnknown) throw EAuException(kCutUnknownTypeMessage);
    if (Run.Pieces.empty()) throw EAuException(kNothingRemainsMessage);

    FFolder = TRunFolder::Make(Run.WorkFolder);
    FRunFolder = FFolder->Path();
    try {
        FPending = std::make_unique<TPendingOutput>(Run.Output);
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

TAuFileOut& TSegmentChain::SetupJob() {
    if (!Running()) throw EAuException("No segment cut is running.");
    return FCutting ? SetupCut(FStep) : SetupJoin(FStep);
}

TChainStep TSegmentChain::JobEnded(const std::string& Error) {
    if (!Running()) return {};
    if (!Error.empty()) return End(TChainState::csFailed, Error);
    ++FStep;
    if (FCutting) {
        if (FStep < PieceCount()) return Next(CuttingCaption(FStep + 1, PieceCount()));
        // All pieces are cut; a single one was written as the output itself.
        if (PieceCount() == 1) return End(TChainState::csFinished, {});
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
    if (FPending && State == TChainState::csFinished) {
        std::string error;
        if (!FPending->Commit(error)) step = {TChainState::csFailed, {}, error};
    }
    FPending.reset(); // removes the temporary output unless it took its name
    FFolder.reset();  // removes the folder, then lets go of its lock
    FRunFolder.clear();
    FCutting = false;
    FStep = 0;
    FPieceFrames.clear();
    return step;
}

std::string TSegmentChain::WorkFile(const std::string& Name) const {
    return FRunFolder + Name;
}

std::string TSegmentChain::Target(bool Last, const std::string& WorkName) const {
    return Last ? FPending->TempName() : WorkFile(WorkName);
}

int64_t TSegmentChain::FrameAt(TAuFileIn& Reader, int32_t Ms) const {
    if (FRun.FileLengthMs > 0) return ScaleToSamples(Reader.TotalSamples(), Ms, FRun.FileLengthMs);
    return ScaleToSamples(Reader.SampleRate(), Ms, 1000);
}

TAuFileOut& TSegmentChain::SetupCut(int32_t Piece) {
    const TKeptPiece& piece = FRun.Pieces.at(size_t(Piece));
    TAuFileIn& reader = *FComponents.Reader(FKind, 1);
    reader.SetFileName(FRun.Source);
    RequireReadable(reader);
    const int64_t start = FrameAt(reader, piece.StartMs);
    const int64_t end = piece.ToEnd ? reader.TotalSamples() : FrameAt(reader, piece.EndMs);
    if (piece.ToEnd) {
        reader.SetStartSample(start);
        reader.SetEndSample(-1);
    } else {
        SetReaderRange(reader, {start, end});
    }
    FPieceFrames.resize(size_t(Piece) + 1);
    FPieceFrames[size_t(Piece)] = std::max<int64_t>(end - start, 0);
    TAuFileOut& writer = *FComponents.Writer(FKind);
    writer.SetInput(&reader);
    writer.SetFileName(Target(PieceCount() == 1, CutFileName(Piece + 1, FExtension)));
    FComponents.SetupWriter(FKind);
    return writer;
}

TAuFileOut& TSegmentChain::SetupJoin(int32_t Join) {
    TAuFileIn& first = *FComponents.Reader(FKind, 1);
    TAuFileIn& second = *FComponents.Reader(FKind, 2);
    first.SetFileName(
        WorkFile(Join == 1 ? CutFileName(1, FExtension) : JoinFileName(Join - 1, FExtension)));
    second.SetFileName(WorkFile(CutFileName(Join + 1, FExtension)));
    // Each file is read for as many frames as its pieces were cut with: a lossy writer
    // fills its last block with silence, which would otherwise end up between the pieces.
    int64_t firstFrames = 0;
    for (int32_t piece = 0; piece < Join; ++piece) firstFrames += FPieceFrames.at(size_t(piece));
    const int64_t secondFrames = FPieceFrames.at(size_t(Join));
    for (auto [reader, frames] :
         {std::pair{&first, firstFrames}, std::pair{&second, secondFrames}}) {
        reader->SetStartSample(0);
        reader->SetEndSample(frames > 0 ? frames - 1 : -1);
        RequireReadable(*reader);
    }
    TAudioMixer& mixer = *FComponents.AudioMixer1;
    mixer.SetMode(TAudioMixerMode::amConcatenate);
    mixer.SetInput1(&first);
    mixer.SetInput2(&second);
    TAuFileOut& writer = *FComponents.Writer(FKind);
    writer.SetInput(&mixer);
    writer.SetFileName(Target(Join + 1 == PieceCount(), JoinFileName(Join, FExtension)));
    FComponents.SetupWriter(FKind);
    return writer;
}

} // namespace sundral
