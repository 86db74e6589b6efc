// Start Now and the chain of jobs: the checks made before anything is written, the save
// dialog for the file's type, and the step machine that runs one job after another from
// the writers' OnDone (its logic is TSegmentChain's; the window shows where it stands).
//
// A job that fails ends the chain: the message says why, the caption returns, Start Now is
// enabled again, and no output is left half-made.
#include <QCheckBox>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include "audio/AuClassesFile.h"
#include "controls/RunStatus.h"
#include "edit/CutSetup.h"
#include "edit/Global.h"
#include "edit/PendingOutput.h"
#include "formats/AuMp3In.h"
#include "platform/filestream.h"
#include "platform/qt/Actions.h"
#include "platform/qt/Application.h"
#include "tools/SegmentCut.h"

namespace sundral {
namespace {

constexpr char kSequenceMessage[] = "Please make sure that the list of data in sequence!";
constexpr char kNothingRemainsMessage[] =
    "Nothing would remain of the file: the segments cover all of it.";
constexpr char kFailedMessage[] = "Segment Cut failed: ";

// The save dialog's settings for the source's type.
void SetSaveDialog(TFileDialogOptions& Dialog, TSoundKind Kind) {
    const char* extension = Kind == TSoundKind::skMp3   ? "mp3"
                            : Kind == TSoundKind::skWma ? "wma"
                                                        : "wav";
    Dialog.Filter = QStringLiteral("Sound Files(*.%1)|*.%1").arg(QLatin1String(extension));
    Dialog.DefaultExt = QLatin1String(extension);
}

} // namespace

void TfrmSegmentCut::UpdateKeepQuality() {
    const std::string source = eOpenFile->text().toStdString();
    cbKeepQuality->setEnabled(source.empty() || SoundKindOf(source) == TSoundKind::skMp3);
}

void TfrmSegmentCut::aStartCutUpdate(TAction* Sender) {
    Sender->SetEnabled(lvMain->rowCount() > 0 && !eOpenFile->text().isEmpty() && !Running());
}

void TfrmSegmentCut::aStartCutExecute() {
    if (Running()) return;
    const QString source = eOpenFile->text();
    const std::string sourceName = source.toStdString();
    if (source.isEmpty() || !QFileInfo(source).isFile()) {
        FDialogs.ShowMessage(this, QString::fromLatin1(kNoFileMessage));
        return;
    }
    const std::vector<TSegmentRow> rows = Rows();
    if (!RowsInSequence(rows)) {
        FDialogs.ShowMessage(this, QString::fromLatin1(kSequenceMessage));
        return;
    }
    const TSoundKind kind = SoundKindOf(sourceName);
    if (kind == TSoundKind::skUnknown) {
        FDialogs.ShowMessage(this, QString::fromLatin1(kCutUnknownTypeMessage));
        return;
    }
    const std::vector<TKeptPiece> pieces = KeptPieces(rows, FileLengthMs);
    if (pieces.empty()) {
        FDialogs.ShowMessage(this, QString::fromLatin1(kNothingRemainsMessage));
        return;
    }

    SetSaveDialog(SaveDialog1, kind);
    // Beside the source, under the name the main window proposes.
    const QFileInfo sourceInfo(source);
    SaveDialog1.InitialDir = sourceInfo.absolutePath();
    SaveDialog1.FileName = QStringLiteral("cut_") + sourceInfo.fileName();
    OutputFileName.clear();
    const std::optional<QString> chosen = FDialogs.SaveFile(this, SaveDialog1);
    if (!chosen) return;
    if (SameFile(sourceName, chosen->toStdString())) {
        FDialogs.ShowMessage(this, QString::fromLatin1(kCutSameFileMessage));
        return;
    }
    TSegmentRun run;
    run.Source = sourceName;
    run.Output = chosen->toStdString();
    run.WorkFolder = WorkFolder;
    run.Pieces = pieces;
    // A time t is the frame round(t x rate): the times typed are the times cut. The last
    // piece runs to the reader's end whatever the length shown.
    run.FileLengthMs = 0;
    run.SeparateFiles = cbSeparateFiles->isChecked();
    // Every file the run would replace is asked about, the numbered ones each.
    for (const std::string& output : TSegmentChain::Outputs(run)) {
        const QString name = QString::fromStdString(output);
        if (run.SeparateFiles && SameFile(sourceName, output)) {
            FDialogs.ShowMessage(this, QString::fromLatin1(kCutSameFileMessage));
            return;
        }
        if (QFileInfo::exists(name) &&
            !FDialogs.AskYesNo(this, name + QLatin1String(kOverwriteQuestion)))
            return;
    }
    OutputFileName = *chosen;

    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    FWaitCursor = true;
    bStart->setEnabled(false);
    lNote->clear();
    TimePoints = sundral::TimePoints(pieces, lFileTime->text().toStdString());
    // Separate pieces of an MP3 are frame copies anyway; joined ones need the splice.
    if (kind == TSoundKind::skMp3 && cbKeepQuality->isChecked() && !run.SeparateFiles)
        StartSplice(run);
    else
        StartChain(run);
}

void TfrmSegmentCut::StartChain(const TSegmentRun& Run) {
    TChainStep step;
    try {
        step = FChain->Begin(Run);
    } catch (const std::exception& e) {
        step = {TChainState::csFailed, {}, e.what()};
    }
    Follow(step);
}

void TfrmSegmentCut::StartSplice(const TSegmentRun& Run) {
    std::vector<mp3lossless::TMp3Stretch> stretches;
    try {
        TAuFileIn& reader = *FTools->MP3In1;
        reader.SetFileName(Run.Source);
        RequireSound(reader);
        const uint32_t rate = reader.SampleRate();
        for (const TKeptPiece& piece : Run.Pieces)
            stretches.push_back({Run.Source, ScaleToSamples(rate, piece.StartMs, 1000),
                                 piece.ToEnd ? -1 : ScaleToSamples(rate, piece.EndMs, 1000)});
        FSpliceOutput = std::make_shared<TPendingOutput>(Run.Output);
    } catch (const std::exception& e) {
        EndRun({TChainState::csFailed, {}, e.what()});
        return;
    }
    FSpliceRun = Run;
    setWindowTitle(SavedCaption + QStringLiteral(" - Cutting ... 0%"));
    RunStatus1->Start();
    FSplice.Start(
        this, std::move(stretches), FSpliceOutput,
        [this](int32_t Percent) {
            setWindowTitle(SavedCaption + QStringLiteral(" - Cutting ... %1%").arg(Percent));
            RunStatus1->SetPercent(Percent);
        },
        [this](const mp3lossless::TCutResult& Result) { Guarded([&] { SpliceEnded(Result); })(); });
}

void TfrmSegmentCut::SpliceEnded(const mp3lossless::TCutResult& Result) {
    std::shared_ptr<TPendingOutput> output = std::move(FSpliceOutput);
    if (!output) return; // the window closed meanwhile
    if (Result.Status == mp3lossless::TCutStatus::csUnsuitable) {
        output.reset();
        lNote->setText(ReencodingNote(Result.Message));
        StartChain(FSpliceRun);
        return;
    }
    std::string error = Result.Status == mp3lossless::TCutStatus::csDone ? "" : Result.Message;
    if (error.empty()) output->Commit(error);
    EndRun({error.empty() ? TChainState::csFinished : TChainState::csFailed, {}, error});
}

void TfrmSegmentCut::WaveOut1Done(TComponent* Sender) {
    const auto* writer = dynamic_cast<const TAuOutput*>(Sender);
    Follow(FChain->JobEnded(writer ? writer->ExceptionMessage() : std::string()));
}

void TfrmSegmentCut::Follow(TChainStep Step) {
    while (Step.State == TChainState::csRunning) {
        // The caption first: it names the job about to start.
        setWindowTitle(SavedCaption + QString::fromStdString(Step.Caption));
        RunShowStep();
        try {
            if (TAuFileOut* writer = FChain->SetupJob()) {
                writer->Run();
                return;
            }
            Step = FChain->JobEnded({}); // a frame copy, done already
        } catch (const std::exception& e) {
            Step = FChain->Fail(e.what());
        }
    }
    EndRun(Step);
}

void TfrmSegmentCut::EndRun(const TChainStep& Step) {
    RunShowEnd(Step);
    setWindowTitle(SavedCaption);
    bStart->setEnabled(true);
    if (FWaitCursor) {
        FWaitCursor = false;
        QGuiApplication::restoreOverrideCursor();
    }
    if (Step.State == TChainState::csFailed)
        FDialogs.ShowMessage(this, QString::fromLatin1(kFailedMessage) +
                                       QString::fromStdString(Step.Message));
}

} // namespace sundral
