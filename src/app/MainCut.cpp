// Cutting the selection: Start Cut writes the stretch between the thumbs into a new file of
// the input's type through the reader/writer pair for that type, on the writer's worker.
//
// The writer writes beside the chosen name under a temporary one (TPendingOutput) which
// replaces the chosen file only when the run succeeded, so a failed cut never destroys the
// file the user agreed to overwrite. A failed run says why in a message box.
//
// The run status strip under the controls follows the run: a progress bar and Cancel, then
// "Saved NAME (TIME)" or why it ended. Cancel stops the writer (or the lossless cut's worker)
// and its unfinished file is removed.
#include <filesystem>

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/Main.h"
#include "controls/RunStatus.h"
#include "controls/TrackBar2.h"
#include "edit/CutSetup.h"
#include "edit/CutSetupWriters.h"
#include "edit/Designs.h"
#include "edit/Global.h"
#include "edit/PendingOutput.h"
#include "formats/AuMp3In.h"
#include "formats/AuMp3Out.h"
#include "formats/AuWaveIn.h"
#include "formats/AuWaveOut.h"
#include "formats/AuWinMedia.h"
#include "formats/AuWinMediaOut.h"
#include "platform/filestream.h"
#include "platform/qt/Dialogs.h"

namespace sundral {
namespace {

constexpr char kCutFailedMessage[] = "Cutting failed: ";
constexpr char kSaveTitle[] = "Save the cut file";
constexpr char kCancelledLine[] = "Cancelled: the cut was stopped and no file was saved.";

} // namespace

void TfrmMain::bStartCutClick() {
    // One cut at a time: the button is disabled while one runs.
    if (FCutOutput) return;
    const QString input = eOpenFile->text();
    if (input.isEmpty() || !QFileInfo(input).isFile()) {
        FDialogs.ShowMessage(this, QString::fromLatin1(kNoFileMessage));
        tbAudio->update();
        return;
    }
    // What the time fields show is what is cut, also when one was never left.
    if (!CommitTimeFields()) return;
    const QFileInfo inputInfo(input);
    // The extension with its point, as written (".MP3" stays upper case).
    const QString extension =
        inputInfo.suffix().isEmpty() ? QString() : QStringLiteral(".") + inputInfo.suffix();
    const TSoundKind kind = SoundKindOf(input.toStdString());
    if (kind == TSoundKind::skUnknown) {
        FDialogs.ShowMessage(this, QString::fromLatin1(kCutUnknownTypeMessage));
        tbAudio->update();
        return;
    }

    TFileDialogOptions options;
    options.Filter = QStringLiteral("Sound Files|*") + extension;
    options.DefaultExt = extension.mid(1, 3);
    options.Title = QString::fromLatin1(kSaveTitle);
    options.FileName = QStringLiteral("cut_") + inputInfo.fileName();
    options.InitialDir = inputInfo.absolutePath();
    const std::optional<QString> chosen = FDialogs.SaveFile(this, options);
    if (!chosen) return;
    const QString output = *chosen;
    if (SameFile(input.toStdString(), output.toStdString())) {
        FDialogs.ShowMessage(this, QString::fromLatin1(kCutSameFileMessage));
        tbAudio->update();
        return;
    }
    if (QFileInfo::exists(output)) {
        const bool replace = FDialogs.AskYesNo(nullptr, output + QLatin1String(kOverwriteQuestion));
        tbAudio->update();
        if (!replace) return;
    }

    bStartCut->setEnabled(false);
    try {
        FCutOutput = std::make_shared<TPendingOutput>(output.toStdString());
        FCutCancelled = false;
        FCutLengthMs = UnitsToMs(tbAudio->PositionU()) - UnitsToMs(tbAudio->PositionL());
        lStatus->clear();
        rsCut->Start();
        CutProgress(nullptr, 0);
        const std::string temp = FCutOutput->TempName();
        if (kind == TSoundKind::skMp3 && cbLossless->isChecked())
            StartLosslessCut(input, temp);
        else if (kind == TSoundKind::skMp3)
            StartMp3Cut(input, temp);
        else if (kind == TSoundKind::skWav)
            StartWaveCut(input, temp);
        else
            StartWmaCut(input, temp);
    } catch (...) {
        // Nothing runs: no OnDone will come to enable the button again.
        FCutOutput.reset();
        bStartCut->setEnabled(true);
        setWindowTitle(QString::fromLatin1(kApplicationTitle));
        rsCut->Clear();
        throw;
    }
}

TSampleRange TfrmMain::SelectionRange(TAuFileIn& Reader) {
    return StepsToSamples(tbAudio->PositionL(), tbAudio->PositionU(), tbAudio->Max(),
                          Reader.TotalSamples(), Reader.SampleRate(), FStepMs);
}

void TfrmMain::StartMp3Cut(const QString& Input, const std::string& Output) {
    MP3In1->SetFileName(Input.toStdString());
    RequireSound(*MP3In1);
    SetReaderRange(*MP3In1, SelectionRange(*MP3In1));
    MP3Out1->SetFileName(Output);
    SetupMp3Writer(*MP3In1, *MP3Out1);
    MP3Out1->Run();
}

void TfrmMain::StartWaveCut(const QString& Input, const std::string& Output) {
    WaveIn1->SetFileName(Input.toStdString());
    RequireSound(*WaveIn1);
    SetReaderRange(*WaveIn1, SelectionRange(*WaveIn1));
    WaveOut1->SetFileName(Output);
    WaveOut1->Run();
}

void TfrmMain::StartWmaCut(const QString& Input, const std::string& Output) {
    WMIn1->SetFileName(Input.toStdString());
    RequireSound(*WMIn1);
    SetReaderRange(*WMIn1, SelectionRange(*WMIn1));
    WMAOut1->SetFileName(Output);
    SetupWmaWriter(*WMIn1, *WMAOut1);
    WMAOut1->Run();
}

int32_t TfrmMain::FindWmaFormatIndex() {
    return WmaFormatIndexFor(*WMIn1, *WMAOut1);
}

void TfrmMain::CutProgress(TComponent* Sender, int32_t Progress) {
    (void)Sender;
    // Events of a run that was cancelled after it had ended, still on their way, are late.
    if (!FCutOutput) return;
    setWindowTitle(QString::fromLatin1(kApplicationTitle) + QStringLiteral(" - Cutting ... ") +
                   QString::number(Progress) + QLatin1Char('%'));
    rsCut->SetPercent(Progress);
}

void TfrmMain::MP3Out1Progress(TComponent* Sender) {
    CutProgress(Sender, MP3Out1->Progress());
}

void TfrmMain::WMAOut1Progress(TComponent* Sender) {
    CutProgress(Sender, WMAOut1->Progress());
}

void TfrmMain::WaveOut1Progress(TComponent* Sender) {
    CutProgress(Sender, WaveOut1->Progress());
}

void TfrmMain::MP3Out1Done(TComponent* Sender) {
    const auto* writer = dynamic_cast<const TAuOutput*>(Sender);
    FinishCut(writer ? writer->ExceptionMessage() : std::string());
}

void TfrmMain::FinishCut(std::string Error) {
    // The end of a run that was cancelled after it had ended, still on its way, is late.
    if (!FCutOutput && !FCutCancelled) return;
    setWindowTitle(QString::fromLatin1(kApplicationTitle));
    bStartCut->setEnabled(true);
    const std::shared_ptr<TPendingOutput> output = std::move(FCutOutput);
    if (FCutCancelled) {
        // The temporary file goes with the last share of it.
        FCutCancelled = false;
        rsCut->ShowEnded(QString::fromLatin1(kCancelledLine));
        return;
    }
    if (output && Error.empty()) output->Commit(Error);
    if (!Error.empty()) {
        const QString message =
            QString::fromLatin1(kCutFailedMessage) + QString::fromStdString(Error);
        rsCut->ShowEnded(message);
        FDialogs.ShowMessage(this, message);
        return;
    }
    if (output) rsCut->ShowSaved(QString::fromStdString(output->Target()), FCutLengthMs);
}

void TfrmMain::CancelCut() {
    if (!FCutOutput) return;
    FCutCancelled = true;
    // A writer is stopped here and now; none of its events come after this. One that has
    // just ended is stopped too: its end, still on its way to the window, would otherwise
    // be taken for the end of the next run.
    for (TAuOutput* writer : {static_cast<TAuOutput*>(MP3Out1), static_cast<TAuOutput*>(WMAOut1),
                              static_cast<TAuOutput*>(WaveOut1)})
        writer->Stop(false);
    // A frame copy on a worker stops at its next block of frames; its end is not waited
    // for: its share of the unfinished file goes when it lets go of it.
    if (FCutWorking && FCutStop) FCutStop->store(true);
    FCutStop.reset();
    FCutWorking = false;
    FinishCut({});
}

} // namespace sundral
