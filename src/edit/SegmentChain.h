// The segment cut's chain of jobs on the tool components: each kept piece of the source is
// cut into a file of the run's own work folder, then the pieces are joined (SegmentPlan.h
// names the steps). The joins keep their steps and captions, but only the last does any
// work: it reads every piece in turn through one concatenator (AuConcat.h) straight into
// the output, so nothing is joined into the work folder first and nothing is converted on
// the way. The Segment Cut window and `sundral-cli segment-cut` both run it.
//
// Only the last job encodes, once, with the source's settings (CutSetupWriters.h), so that
// quality and bit rate are the source's however many pieces there are. Everything before it
// is kept without loss: an MP3's pieces are frame copies exact to the sample (CutMp3), and
// PCM WAV where a copy is unsuitable; a WMA's pieces are PCM WAV. A single piece is cut straight
// into the output (a frame copy for an MP3).
//
// With SeparateFiles the pieces are not joined: piece n of N is cut straight into the
// numbered file beside the output (NumberedFileName), a frame copy for an MP3, exact for a
// WAV, encoded once for a WMA, with the source's tags and the track "n/N".
//
// A run: Begin with the pieces; then, for every job, SetupJob sets it up. A frame copy is
// done right there and SetupJob answers null; otherwise it wires the reader, mixer and
// writer and answers the writer, which the caller runs. When the job is done the caller
// hands its error (empty on success) to JobEnded, which moves to the next job or ends the
// run. The state is Cutting and Step as the step machine keeps them: Step counts the jobs of
// the current phase that have finished.
//
// The joins read each piece for as many frames as it holds, so no padding a writer adds to
// its last block ends up between the pieces.
//
// Every run gets a fresh folder below the work folder, so pieces of different runs never
// mix; it is removed with everything in it when the run ends, however it ends. The folder is
// locked while the run lives, and a run that starts removes the folders no live run holds
// (left by a process that was killed): RunFolder.h. The outputs are
// written under temporary names beside them (PendingOutput.h) and take their names only
// when the last job succeeded: a failed or abandoned run leaves no half-made output and the
// files it was to replace untouched.
//
// Threading: UI thread only (the writers' OnDone arrives there). Ownership: the components
// are the caller's and must outlive the chain; the run folder and the pending outputs are
// the chain's.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "edit/SegmentPlan.h"
#include "edit/ToolComponents.h"

namespace sundral {

class TComponent;
class TPendingOutput;
class TRunFolder;

// The folder the segment cut's runs work in, with a trailing '/': "Orvane/Sundral/" below
// the application-data folder, created when missing; the program's own folder when that
// cannot be made.
std::string SegmentWorkFolder();

// What a segment cut does.
struct TSegmentRun {
    std::string Source;
    std::string Output;
    std::string WorkFolder; // with a trailing '/'
    std::vector<TKeptPiece> Pieces;
    // The source's length as measured, which the pieces' times are parts of: a time t is the
    // frame round(t x TotalSamples / FileLengthMs). 0 or less: the reader's sample rate is
    // used instead (round(t x rate / 1000)).
    int32_t FileLengthMs = 0;
    // Each piece into its own numbered file beside Output instead of one joined file.
    bool SeparateFiles = false;
};

enum class TChainState { csIdle, csRunning, csFinished, csFailed };

struct TChainStep {
    TChainState State = TChainState::csIdle;
    std::string Caption; // of the job to run next: " - Cutting ... 1/2"
    std::string Message; // why the run failed
};

class TSegmentChain {
public:
    explicit TSegmentChain(const TToolComponents& Components);
    ~TSegmentChain();
    TSegmentChain(const TSegmentChain&) = delete;
    TSegmentChain& operator=(const TSegmentChain&) = delete;

    // Starts a run at its first job. Raises EAuException, with nothing left behind, when the
    // source's type is not one the tools write, no piece remains, or the run folder or the
    // temporary output cannot be made.
    TChainStep Begin(const TSegmentRun& Run);
    // Sets up the current job and returns its writer, ready to Run; null when the job was a
    // frame copy, done already (the caller then calls JobEnded with no error). Raises
    // EAuException when the job's files cannot be read or copied; the caller then ends the
    // run with Fail.
    TAuFileOut* SetupJob();
    // The current job's writer finished; Error is its ExceptionMessage. Moves to the next
    // job (csRunning), or ends the run: csFinished once the output has its name, csFailed
    // with the reason.
    TChainStep JobEnded(const std::string& Error);
    // Ends the run as failed with Message (after a job could not be set up or started).
    TChainStep Fail(const std::string& Message);
    // Stops a running job synchronously and cleans up; nothing of the run follows.
    void Abandon();

    bool Running() const { return !FPending.empty(); }
    bool Cutting() const { return FCutting; }
    int32_t Step() const { return FStep; }
    int32_t PieceCount() const { return int32_t(FRun.Pieces.size()); }
    // The run's folder (empty when idle).
    const std::string& RunFolder() const { return FRunFolder; }
    // The files a run writes: the output, or the numbered ones with SeparateFiles.
    static std::vector<std::string> Outputs(const TSegmentRun& Run);

private:
    // A piece as it lies in the work folder: its file, the type it was written in, and the
    // frames it holds.
    struct TPieceFile {
        std::string Name;
        TSoundKind Kind = TSoundKind::skUnknown;
        int64_t Frames = 0;
    };

    TChainStep Next(const std::string& Caption) const;
    TChainStep End(TChainState State, const std::string& Message);
    std::string WorkFile(const std::string& Name) const;
    // Whether the cut of Piece writes an output itself, and then which one.
    bool CutIsOutput() const;
    std::string OutputOfCut(int32_t Piece) const;
    // The writer of Kind set up for an output: tags and encoding from the source; with
    // separate files, also the track of Piece.
    TAuFileOut& OutputWriter(TAuFileIn* Input, int32_t Piece);
    TAuFileOut* SetupCut(int32_t Piece);
    TAuFileOut* SetupJoin(int32_t Join);
    int64_t FrameAt(TAuFileIn& Reader, int32_t Ms) const;

    const TToolComponents& FComponents;
    TSegmentRun FRun;
    TSoundKind FKind = TSoundKind::skUnknown;
    std::string FExtension;
    std::unique_ptr<TRunFolder> FFolder;
    std::string FRunFolder;
    std::vector<std::unique_ptr<TPendingOutput>> FPending; // empty when idle
    bool FCutting = false;
    int32_t FStep = 0;
    std::vector<TPieceFile> FPieces; // the pieces cut so far
    // The last join's readers of the pieces and the concatenator over them; kept until the
    // next join replaces them or the chain goes, so that the writer never reads a freed one.
    std::unique_ptr<TComponent> FJoinParts;
};

} // namespace sundral
