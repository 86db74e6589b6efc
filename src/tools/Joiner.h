// The Joiner & Mixer window: two sound files of one type become one new file of that type,
// the second appended to the first (Joiner) or both played at once (Mixer).
//
// The controls are public members named as in the window's design (eFile1, bOpen2, rgMode,
// bStart, ...), each control's objectName the same text. The work is one run of the writer
// of the files' type, reading the mixer over the two readers of that type (Joiner.cpp: the
// form; JoinerRun.cpp: the checks, the run and its events). Files whose sample rates or
// channel counts differ are refused before anything is written, and so is an output that
// is one of the inputs. While a run lasts, Start, the Open File buttons and the mode are
// disabled: the readers and the mixer belong to the job until it ends. The output is written under
// a temporary name and takes its name only when the run succeeded; a failed run says why.
// Two MP3s joined with "Keep the original quality" checked are spliced without re-encoding
// (KeepQuality.h) on a worker; when the streams do not allow it the note line says why and
// the writer re-encodes them once instead.
//
// Threading: GUI thread only; the writer's events arrive on it through the dispatcher.
// Ownership: controls are Qt children of the window; the audio components belong to the
// window's component root. Closing or destroying the window stops a running writer
// synchronously (no event follows) and removes its unfinished file. The TDialogs passed in
// is not owned and must outlive the window.
#pragma once

#include <cstdint>
#include <memory>

#include <QDialog>
#include <QString>

#include "edit/ToolComponents.h"
#include "platform/qt/Dialogs.h"
#include "tools/KeepQuality.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace sundral {

class TComponent;
class TPendingOutput;
class TRadioGroup;
class TRunStatus;

inline constexpr int kJoinerClientWidth = 520;
inline constexpr int kJoinerClientHeight = 176;
// Below the buttons: the choice of joining without re-encoding and the note line.
inline constexpr int kJoinerChoicesHeight = 60;

class TfrmJoiner : public QDialog {
    Q_OBJECT
public:
    TfrmJoiner(TDialogs& Dialogs, QWidget* Owner);
    ~TfrmJoiner() override;

    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label1 = nullptr; // "File1:"
    QLineEdit* eFile1 = nullptr;
    QPushButton* bOpen1 = nullptr;
    QLabel* Label2 = nullptr; // "File2:"
    QLineEdit* eFile2 = nullptr;
    QPushButton* bOpen2 = nullptr;
    TRadioGroup* rgMode = nullptr; // 0 "Joiner", 1 "Mixer"
    QPushButton* bStart = nullptr;
    QPushButton* bClose = nullptr;
    // The strip under the buttons that follows a run and cancels it (JoinerStatus.cpp).
    TRunStatus* RunStatus1 = nullptr;
    void RunStatusCancel();

    QCheckBox* cbKeepQuality = nullptr; // MP3s joined without re-encoding
    QLabel* lNote = nullptr;            // why a run re-encodes after all
    TFileDialogOptions OpenDialog1;
    TFileDialogOptions SaveDialog1;

    // The readers, the mixer and the writers, named as in the design.
    const TToolComponents& Components() const { return *FTools; }
    QString SavedCaption;
    bool Processing() const { return FOutput != nullptr; }

    // Handlers, public so that tests can drive what a click would.
    void bOpen1Click();
    void bOpen2Click();
    void bStartClick();
    void bCloseClick();
    void WaveOut1Progress(TComponent* Sender);
    void MP3Out1Progress(TComponent* Sender);
    void WMAOut1Progress(TComponent* Sender);
    void WaveOut1Done(TComponent* Sender);
    // The index of codec 0's format that matches WMIn1 (CutSetup.h's rule).
    int32_t FindWmaFormatIndex();

protected:
    void closeEvent(QCloseEvent* Event) override;
    void done(int Result) override;

private:
    void CreateForm();
    void FormCreate();
    void FormClose();
    void OpenRow(QLineEdit* Edit, int Number);
    void ShowProgress(int32_t Progress);
    // The readers of Kind set to the two files, checked for sound and a common layout;
    // the message box tells why not and false comes back.
    bool CheckInputs(TSoundKind Kind);
    void StartRun(TSoundKind Kind, const QString& Output);
    void EndRun();
    // Joins two MP3s without re-encoding; falls back to StartRun when they do not allow it.
    void StartSplice(const QString& Output);
    void SpliceEnded(const mp3lossless::TCutResult& Result);
    void UpdateKeepQuality();
    // Start, both Open File buttons and the mode: what would change the running job.
    void SetRunControlsEnabled(bool Enabled);

    // The status strip's block (JoinerStatus.cpp).
    void CreateRunStatus();
    void RunShowStart(const QString& Output);
    void RunShowProgress(int32_t Progress);
    void RunShowEnd(bool Written, const std::string& Error);
    QString FRunOutput; // the name the run's output was chosen under

    TDialogs& FDialogs;
    std::unique_ptr<TComponent> FComponents;
    std::unique_ptr<TToolComponents> FTools;
    std::shared_ptr<TPendingOutput> FOutput; // the file a running job writes
    bool FWaitCursor = false;
    TSpliceJob FSplice;
};

} // namespace sundral
