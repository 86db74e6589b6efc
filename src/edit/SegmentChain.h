// The segment cut's chain of jobs on the tool components: each kept piece of the source is
// cut into a file of the run's own work folder, then the pieces are joined pairwise through
// the concatenating mixer until the last join writes the output (SegmentPlan.h). The
// Segment Cut window and `sundral-cli segment-cut` both run it.
//
// A run: Begin with the pieces; then, for every job, SetupJob wires the reader, mixer and
// writer of the source's type and returns the writer, which the caller runs; when the writer
// is done the caller hands its error (empty on success) to JobEnded, which moves to the next
// job or ends the run. The state is Cutting and Step as the step machine keeps them: Step
// counts the jobs of the current phase that have finished.
//
// The joins read each piece for as many frames as it was cut with, so the silence a lossy
// encoder pads its last block with does not end up between the pieces.
//
// Every run gets a fresh folder below the work folder, so pieces of different runs never
// mix; it is removed with everything in it when the run ends, however it ends. The folder is
// locked while the run lives, and a run that starts removes the folders no live run holds
// (left by a process that was killed): RunFolder.h. The output is
// written under a temporary name beside it (PendingOutput.h) and takes its name only when
// the last job succeeded: a failed or abandoned run leaves no half-made output and the file
// it was to replace untouched.
//
// Threading: UI thread only (the writers' OnDone arrives there). Ownership: the components
// are the caller's and must outlive the chain; the run folder and the pending output are the
// chain's.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "edit/SegmentPlan.h"
#include "edit/ToolComponents.h"

namespace sundral {

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
    // Sets up the current job and returns its writer, ready to Run. Raises EAuException when
    // the job's files cannot be read; the caller then ends the run with Fail.
    TAuFileOut& SetupJob();
    // The current job's writer finished; Error is its ExceptionMessage. Moves to the next
    // job (csRunning), or ends the run: csFinished once the output has its name, csFailed
    // with the reason.
    TChainStep JobEnded(const std::string& Error);
    // Ends the run as failed with Message (after a job could not be set up or started).
    TChainStep Fail(const std::string& Message);
    // Stops a running job synchronously and cleans up; nothing of the run follows.
    void Abandon();

    bool Running() const { return FPending != nullptr; }
    bool Cutting() const { return FCutting; }
    int32_t Step() const { return FStep; }
    int32_t PieceCount() const { return int32_t(FRun.Pieces.size()); }
    // The run's folder (empty when idle).
    const std::string& RunFolder() const { return FRunFolder; }

private:
    TChainStep Next(const std::string& Caption) const;
    TChainStep End(TChainState State, const std::string& Message);
    std::string WorkFile(const std::string& Name) const;
    // The target of a job: the temporary output for the last one, else a work file.
    std::string Target(bool Last, const std::string& WorkName) const;
    TAuFileOut& SetupCut(int32_t Piece);
    TAuFileOut& SetupJoin(int32_t Join);
    int64_t FrameAt(TAuFileIn& Reader, int32_t Ms) const;

    const TToolComponents& FComponents;
    TSegmentRun FRun;
    TSoundKind FKind = TSoundKind::skUnknown;
    std::string FExtension;
    std::unique_ptr<TRunFolder> FFolder;
    std::string FRunFolder;
    std::unique_ptr<TPendingOutput> FPending;
    bool FCutting = false;
    int32_t FStep = 0;
    std::vector<int64_t> FPieceFrames; // frames each piece was cut with
};

} // namespace sundral
