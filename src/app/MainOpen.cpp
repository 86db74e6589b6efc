// Opening a file: its length comes from the reader that will cut it. A WAV tells its length
// in its header; an MP3 or a WMA may have to be read through, so it is measured on a worker
// and the window says so meanwhile. Until the new file is known the window keeps the file
// that was open, and a file that cannot be opened leaves it open.
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>

#include "app/Main.h"
#include "controls/TrackBar2.h"
#include "edit/CutSetup.h"
#include "edit/SoundLength.h"
#include "platform/qt/Application.h"
#include "platform/qt/Dialogs.h"
#include "platform/qt/FormBuilder.h"
#include "platform/qt/Worker.h"

namespace sundral {
namespace {

constexpr char kOpenErrorMessage[] = "Open file error. Please check whether the file is protected.";
constexpr char kMeasuringText[] = "Measuring the length of %1...";

} // namespace

void TfrmMain::bOpenClick() {
    TFileDialogOptions options;
    options.Filter = QString::fromLatin1(kSoundFilesFilter);
    // The folder of the file opened last.
    if (!eOpenFile->text().isEmpty())
        options.InitialDir = QFileInfo(eOpenFile->text()).absolutePath();
    const std::optional<QString> chosen = FDialogs.OpenFile(this, options);
    if (!chosen) return;
    OpenFileName(*chosen);
}

void TfrmMain::OpenSoundFile(const QString& FileName) {
    OpenFileName(FileName);
}

void TfrmMain::OpenFileName(const QString& FileName) {
    const uint64_t open = ++FOpenCount;
    const std::string name = FileName.toStdString();
    const auto measured = [this, open, FileName](const TMeasured& Measured) {
        // Only the last file chosen counts.
        if (open != FOpenCount) return;
        FMeasuring = false;
        lStatus->clear();
        if (Measured.Failure.empty())
            FileMeasured(FileName, Measured.Length.LengthMs);
        else
            OpenFailed(Measured.Failure);
    };
    if (!NeedsWorkerToMeasure(name)) {
        measured(TryMeasureSound(name));
        return;
    }
    FMeasuring = true;
    lStatus->setText(QString::fromLatin1(kMeasuringText).arg(QFileInfo(FileName).fileName()));
    RunOnWorker<TMeasured>(
        this, [name] { return TryMeasureSound(name); },
        [measured](TMeasured Measured) { Guarded([&] { measured(Measured); })(); });
}

void TfrmMain::FileMeasured(const QString& FileName, int32_t LengthMs) {
    // The cursor and the timer belong to the file that was playing.
    StopPlayback();
    eOpenFile->setText(FileName);
    FLengthMs = LengthMs;
    FMeasured = true;
    tbAudio->SetMax(StepsOf(LengthMs, FStepMs));
    tbAudio->SetPositionL(0);
    tbAudio->SetPositionU(tbAudio->Max());
    // The change event writes both fields when a thumb moved; a selection that was already
    // whole raises none, and the times of the old file may differ.
    tbAudioChange();
    ShowCursor();
    UpdateLosslessBox();
}

void TfrmMain::OpenFailed(const std::string& Reason) {
    FDialogs.ShowMessage(this, QString::fromLatin1(kOpenErrorMessage) + QStringLiteral("\n\n") +
                                   QString::fromStdString(Reason));
    tbAudio->update();
}

} // namespace sundral
