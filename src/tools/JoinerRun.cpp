// Opening the two files, Start with its checks, and the run's progress and end.
#include <QCheckBox>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "audio/AuMixer.h"
#include "controls/RadioGroup.h"
#include "edit/CutSetup.h"
#include "edit/CutSetupWriters.h"
#include "edit/Global.h"
#include "edit/PendingOutput.h"
#include "formats/AuMp3Out.h"
#include "formats/AuWaveOut.h"
#include "formats/AuWinMedia.h"
#include "formats/AuWinMediaOut.h"
#include "platform/filestream.h"
#include "platform/qt/Application.h"
#include "tools/Joiner.h"

namespace sundral {
namespace {

constexpr char kNoInputMessage[] = "Please select the input file!";
constexpr char kDifferentTypesMessage[] = "Please select the same format file!";
constexpr char kUnknownTypeMessage[] = "Only MP3, WAV and WMA files can be joined or mixed.";
constexpr char kSameFileMessage[] =
    "The output file cannot replace an input file. Please choose another name.";
constexpr char kFailedMessage[] = "Processing failed: ";
constexpr char kProcessing[] = " - Processing ... ";

QString UpperExtension(const QLineEdit* Edit) {
    return QString::fromStdString(ExtensionOf(Edit->text().toStdString())).toUpper();
}

} // namespace

void TfrmJoiner::OpenRow(QLineEdit* Edit, int Number) {
    // The readers belong to the running job until it ends (their buttons are disabled).
    if (Processing()) return;
    // The folder of the file opened last.
    if (!Edit->text().isEmpty()) OpenDialog1.InitialDir = QFileInfo(Edit->text()).absolutePath();
    const std::optional<QString> chosen = FDialogs.OpenFile(this, OpenDialog1);
    if (!chosen) return;
    Edit->setText(*chosen);
    // The reader of the file's type takes the name; any other type sets none.
    const std::string name = Edit->text().toStdString();
    if (TAuFileIn* reader = FTools->Reader(SoundKindOf(name), Number)) reader->SetFileName(name);
}

void TfrmJoiner::bOpen1Click() {
    OpenRow(eFile1, 1);
}

void TfrmJoiner::bOpen2Click() {
    OpenRow(eFile2, 2);
}

bool TfrmJoiner::CheckInputs(TSoundKind Kind) {
    TAuFileIn& first = *FTools->Reader(Kind, 1);
    TAuFileIn& second = *FTools->Reader(Kind, 2);
    try {
        first.SetFileName(eFile1->text().toStdString());
        second.SetFileName(eFile2->text().toStdString());
        RequireSound(first);
        RequireSound(second);
        RequireSameLayout(first, second);
        return true;
    } catch (const std::exception& e) {
        FDialogs.ShowMessage(this, QString::fromStdString(e.what()));
        return false;
    }
}

void TfrmJoiner::bStartClick() {
    if (Processing()) return;
    if (eFile1->text().isEmpty() || eFile2->text().isEmpty()) {
        FDialogs.ShowMessage(this, QString::fromLatin1(kNoInputMessage));
        return;
    }
    if (UpperExtension(eFile1) != UpperExtension(eFile2)) {
        FDialogs.ShowMessage(this, QString::fromLatin1(kDifferentTypesMessage));
        return;
    }
    const TSoundKind kind = SoundKindOf(eFile1->text().toStdString());
    if (kind == TSoundKind::skUnknown) {
        FDialogs.ShowMessage(this, QString::fromLatin1(kUnknownTypeMessage));
        return;
    }
    if (rgMode->ItemIndex() == 0) FTools->AudioMixer1->SetMode(TAudioMixerMode::amConcatenate);
    if (rgMode->ItemIndex() == 1) FTools->AudioMixer1->SetMode(TAudioMixerMode::amMix);
    if (!CheckInputs(kind)) return;

    const char* extension = kind == TSoundKind::skMp3   ? "mp3"
                            : kind == TSoundKind::skWma ? "wma"
                                                        : "wav";
    SaveDialog1.Filter = QStringLiteral("Sound Files(*.%1)|*.%1").arg(QLatin1String(extension));
    SaveDialog1.DefaultExt = QLatin1String(extension);
    // Beside the first file, under the name the main window proposes.
    const QFileInfo first(eFile1->text());
    SaveDialog1.InitialDir = first.absolutePath();
    SaveDialog1.FileName = QStringLiteral("cut_") + first.fileName();
    const std::optional<QString> chosen = FDialogs.SaveFile(this, SaveDialog1);
    if (!chosen) return;
    const std::string output = chosen->toStdString();
    if (SameFile(eFile1->text().toStdString(), output) ||
        SameFile(eFile2->text().toStdString(), output)) {
        FDialogs.ShowMessage(this, QString::fromLatin1(kSameFileMessage));
        return;
    }
    if (QFileInfo::exists(*chosen) &&
        !FDialogs.AskYesNo(this, *chosen + QLatin1String(kOverwriteQuestion)))
        return;
    lNote->clear();
    if (rgMode->ItemIndex() == 0 && kind == TSoundKind::skMp3 && cbKeepQuality->isChecked())
        StartSplice(*chosen);
    else
        StartRun(kind, *chosen);
}

void TfrmJoiner::UpdateKeepQuality() {
    const std::string first = eFile1->text().toStdString();
    cbKeepQuality->setEnabled(rgMode->ItemIndex() == 0 &&
                              (first.empty() || SoundKindOf(first) == TSoundKind::skMp3));
}

void TfrmJoiner::StartSplice(const QString& Output) {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    FWaitCursor = true;
    SetRunControlsEnabled(false);
    setWindowTitle(SavedCaption + QLatin1String(kProcessing));
    try {
        FOutput = std::make_shared<TPendingOutput>(Output.toStdString());
    } catch (const std::exception& e) {
        EndRun();
        FDialogs.ShowMessage(this, QString::fromLatin1(kFailedMessage) + e.what());
        return;
    }
    RunShowStart(Output);
    std::vector<mp3lossless::TMp3Stretch> stretches = {{eFile1->text().toStdString(), 0, -1},
                                                       {eFile2->text().toStdString(), 0, -1}};
    FSplice.Start(
        this, std::move(stretches), FOutput, [this](int32_t Percent) { ShowProgress(Percent); },
        [this](const mp3lossless::TCutResult& Result) { Guarded([&] { SpliceEnded(Result); })(); });
}

void TfrmJoiner::SpliceEnded(const mp3lossless::TCutResult& Result) {
    if (!FOutput) return; // the window closed meanwhile
    if (Result.Status == mp3lossless::TCutStatus::csUnsuitable) {
        // The readers still hold the two files; the writer re-encodes them once.
        const QString output = QString::fromStdString(FOutput->Target());
        FOutput.reset();
        lNote->setText(ReencodingNote(Result.Message));
        if (FWaitCursor) { // StartRun sets it again
            FWaitCursor = false;
            QGuiApplication::restoreOverrideCursor();
        }
        StartRun(TSoundKind::skMp3, output);
        return;
    }
    const std::shared_ptr<TPendingOutput> output = std::move(FOutput);
    std::string error = Result.Status == mp3lossless::TCutStatus::csDone ? "" : Result.Message;
    if (error.empty()) output->Commit(error);
    EndRun();
    RunShowEnd(error.empty(), error);
    if (!error.empty())
        FDialogs.ShowMessage(this,
                             QString::fromLatin1(kFailedMessage) + QString::fromStdString(error));
}

void TfrmJoiner::StartRun(TSoundKind Kind, const QString& Output) {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    FWaitCursor = true;
    SetRunControlsEnabled(false);
    setWindowTitle(SavedCaption + QLatin1String(kProcessing));
    RunShowStart(Output);
    TAudioMixer& mixer = *FTools->AudioMixer1;
    mixer.SetVolume1(65535);
    mixer.SetVolume2(65535);
    try {
        FOutput = std::make_shared<TPendingOutput>(Output.toStdString());
        mixer.SetInput1(FTools->Reader(Kind, 1));
        mixer.SetInput2(FTools->Reader(Kind, 2));
        TAuFileOut& writer = *FTools->Writer(Kind);
        writer.SetFileName(FOutput->TempName());
        FTools->SetupWriter(Kind);
        writer.Run();
    } catch (const std::exception& e) {
        // Nothing runs: no OnDone will come to end the run.
        EndRun();
        RunShowEnd(false, e.what());
        FDialogs.ShowMessage(this, QString::fromLatin1(kFailedMessage) + e.what());
    }
}

void TfrmJoiner::EndRun() {
    FOutput.reset();
    setWindowTitle(SavedCaption);
    SetRunControlsEnabled(true);
    if (FWaitCursor) {
        FWaitCursor = false;
        QGuiApplication::restoreOverrideCursor();
    }
}

void TfrmJoiner::SetRunControlsEnabled(bool Enabled) {
    for (QWidget* control : {static_cast<QWidget*>(bStart), static_cast<QWidget*>(bOpen1),
                             static_cast<QWidget*>(bOpen2), static_cast<QWidget*>(rgMode)})
        control->setEnabled(Enabled);
}

void TfrmJoiner::ShowProgress(int32_t Progress) {
    setWindowTitle(SavedCaption + QLatin1String(kProcessing) + QString::number(Progress) +
                   QLatin1Char('%'));
    RunShowProgress(Progress);
}

void TfrmJoiner::WaveOut1Progress(TComponent* Sender) {
    (void)Sender;
    ShowProgress(FTools->WaveOut1->Progress());
}

void TfrmJoiner::MP3Out1Progress(TComponent* Sender) {
    (void)Sender;
    ShowProgress(FTools->MP3Out1->Progress());
}

void TfrmJoiner::WMAOut1Progress(TComponent* Sender) {
    (void)Sender;
    ShowProgress(FTools->WMAOut1->Progress());
}

void TfrmJoiner::WaveOut1Done(TComponent* Sender) {
    const std::shared_ptr<TPendingOutput> output = std::move(FOutput);
    const auto* writer = dynamic_cast<const TAuOutput*>(Sender);
    std::string error = writer ? writer->ExceptionMessage() : std::string();
    if (output && error.empty()) output->Commit(error);
    EndRun();
    RunShowEnd(output != nullptr, error);
    if (!error.empty())
        FDialogs.ShowMessage(this,
                             QString::fromLatin1(kFailedMessage) + QString::fromStdString(error));
}

int32_t TfrmJoiner::FindWmaFormatIndex() {
    return WmaFormatIndexFor(*FTools->WMIn1, *FTools->WMAOut1);
}

} // namespace sundral
