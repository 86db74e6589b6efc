// The main window: open one sound file, listen to it whole or to the selection, mark the
// selection with the track bar's two thumbs, the time fields or Mark Start / Mark End, and
// cut it into a new file of the same type.
//
// The controls, actions and audio components are public members named as in the window's
// design (bOpen, eOpenFile, tbAudio, aPlay, MP3Out1, ...); each control's objectName is the
// same text, so tests find them with findChild. CreateForm (MainForm.cpp) creates them with
// their design values, like a stored form description; the handlers live in Main*.cpp files
// by topic: MainOpen (opening a file and measuring it), MainPlay (playback, play cursor,
// marks, action updates), MainSelection
// (thumbs and time fields), MainCut (the cut), MainLinks (banner links, About menu, side
// windows), MainDesktop (files handed in by drop, command line or a later start).
//
// Positions on the track bar are steps of the grid chosen with the grid switch (half a second,
// or a tenth; remembered between runs): step p below Max is p x the step, and the step at Max
// is the end of the file (edit/CutSetup.h); the times shown, played and cut all follow that
// rule. A click on the waveform places the play cursor on the grid; Play starts there, and a
// click while playing jumps there. The extras around the design's controls (grid switch,
// cursor readout, Play Edges, the lossless check box and the run status strip) are made in
// MainExtras.cpp; the lossless MP3 cut is MainLossless.cpp. The length comes from the reader that
// cuts the file; an MP3 or WMA is measured on a worker while the window shows "Measuring the
// length..." and keeps the file that was open until then.
//
// Threading: GUI thread only; the writers' events arrive on it through the dispatcher.
// Ownership: controls and actions are Qt children of the window; the audio components and
// the media player belong to the window's component root and go with the window (a running
// cut is stopped first and its unfinished file removed). The TDialogs passed in is not owned
// and must outlive the window.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include <QString>
#include <QWidget>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;

namespace sundral {

class TAction;
class TAuFileIn;
struct TSampleRange;
class TActionList;
class TComponent;
class TDialogs;
class TLinkLabel;
class TMediaPlayer;
class TMP3In;
class TMP3Out;
class TPendingOutput;
class TRunStatus;
class TTrackBar2;
class TWaveform;
class TWaveIn;
class TWaveOut;
class TWMAOut;
class TWMIn;

// Sent by a later start of the program to the running instance: bring the window forward.
inline constexpr uint16_t WM_ACTIVATEINSTANCE = 0x1A01;

// Client size of the main window, fixed.
inline constexpr int kMainClientWidth = 513;
inline constexpr int kMainClientHeight = 313;
// The band the window grows by at the bottom: the lossless check box and the run status.
inline constexpr int kMainBandHeight = 56;

class TfrmMain : public QWidget {
    Q_OBJECT
public:
    explicit TfrmMain(TDialogs& Dialogs, QWidget* Parent = nullptr);
    ~TfrmMain() override;

    // Handler of WM_ACTIVATEINSTANCE: makes the window visible, restores it when minimised,
    // raises it and makes it the active window.
    void WMActivateInstance();
    // Opens a file handed in from outside (command line, a later start, a drop) as Open File
    // does with the file chosen in its dialog.
    void OpenSoundFile(const QString& FileName);
    // A file a later start of the program handed over: opened at once, or, while a modal
    // window (a tool window, a message) is open in front, once the last one has closed.
    void OpenHandedFile(const QString& FileName);

    TDialogs& Dialogs() const { return FDialogs; }
    bool PlayingSelection() const { return FPlayingSelection; }
    // True while a file chosen to open is being measured on a worker.
    bool Measuring() const { return FMeasuring; }
    // The open file's length in milliseconds (0 when none is open).
    int32_t LengthMs() const { return FLengthMs; }
    // The grid's step in milliseconds (kStepMs or kFineStepMs).
    int32_t StepMs() const { return FStepMs; }
    // Switches the grid; the thumbs keep the times they stood for as nearly as the new grid
    // allows, and the choice is remembered.
    void SetStepMs(int32_t StepMs);
    // Places the play cursor on step Step: the track bar's line, the waveform's cursor and
    // the readout; while playing, the play jumps there.
    void PlaceCursor(int32_t Step);
    // Where Play Edges is: 0 not playing them, 1 the first edge, 2 the pause, 3 the last.
    int EdgePhase() const { return FEdgePhase; }

    // Banner.
    QLabel* imgTitle = nullptr;
    TLinkLabel* Image1 = nullptr;
    TLinkLabel* lTitle = nullptr;
    QLabel* lTitleHint = nullptr;
    TLinkLabel* lUpdate = nullptr;
    QLabel* iUpdate = nullptr;
    // File, selection and playback.
    QPushButton* bOpen = nullptr;
    QLineEdit* eOpenFile = nullptr;
    TWaveform* wfAudio = nullptr; // MainWaveform.cpp
    TTrackBar2* tbAudio = nullptr;
    QLineEdit* eStart = nullptr;
    QLabel* Label3 = nullptr; // "---" between the time fields
    QLineEdit* eEnd = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* lFileTime = nullptr;
    QLabel* lStatus = nullptr; // says when a file is being measured
    QPushButton* bPlay = nullptr;
    QPushButton* bPlaySelection = nullptr;
    QPushButton* bPause = nullptr;
    QPushButton* bStop = nullptr;
    QPushButton* bMarkStart = nullptr;
    QPushButton* bMarkEnd = nullptr;
    QPushButton* bStartCut = nullptr;
    QPushButton* bSegmentCut = nullptr;
    QPushButton* bJoiner = nullptr;
    QPushButton* bAbout = nullptr;
    QMenu* pmAbout = nullptr;
    QAction* miHomepage = nullptr;
    QAction* miDonate = nullptr;
    QAction* miAbout = nullptr;
    QAction* miExit = nullptr;
    QTimer* Timer1 = nullptr;
    // Around the design's controls.
    QLabel* lPosition = nullptr; // the play cursor's time
    QPushButton* bPlayEdges = nullptr;
    QLabel* lGrid = nullptr;
    QPushButton* bGridCoarse = nullptr; // "0.5 s"
    QPushButton* bGridFine = nullptr;   // "0.1 s"
    QCheckBox* cbLossless = nullptr;    // "Keep the original quality (no re-encoding)"
    TRunStatus* rsCut = nullptr;

    TActionList* ActionList1 = nullptr;
    TAction* aPlay = nullptr;
    TAction* aPause = nullptr;
    TAction* aStop = nullptr;
    TAction* aMarkStart = nullptr;
    TAction* aMarkEnd = nullptr;
    TAction* aPlaySelection = nullptr;

    // Audio components, owned by the window's component root.
    TMediaPlayer* MediaPlayer1 = nullptr;
    TMP3In* MP3In1 = nullptr;
    TMP3Out* MP3Out1 = nullptr;
    TWMIn* WMIn1 = nullptr;
    TWMAOut* WMAOut1 = nullptr;
    TWaveIn* WaveIn1 = nullptr;
    TWaveOut* WaveOut1 = nullptr;

    // Handlers, public so that tests can drive what a timer or a click would.
    void bOpenClick();
    void Timer1Timer();
    void aPlayExecute();
    void aPlaySelectionExecute();
    void aPauseExecute();
    void aStopExecute();
    void aMarkStartExecute();
    void aMarkEndExecute();
    void bPlayEdgesClick();
    // Cancel on the run status strip: stops the running cut and removes its file.
    void CancelCut();
    void aPlayUpdate(TAction* Sender);
    void aPauseUpdate(TAction* Sender);
    void aStopUpdate(TAction* Sender);
    void tbAudioChange();
    void eStartChange();
    void eEndChange();
    void eStartExit();
    void eEndExit();
    void bStartCutClick();
    void MP3Out1Progress(TComponent* Sender);
    void WMAOut1Progress(TComponent* Sender);
    void WaveOut1Progress(TComponent* Sender);
    void MP3Out1Done(TComponent* Sender);
    int32_t FindWmaFormatIndex();
    void bSegmentCutClick();
    void bJoinerClick();
    void bAboutClick();
    void Image1Click();
    void lTitleClick();
    void miDonateClick();
    void miAboutClick();
    void miExitClick();

protected:
    void showEvent(QShowEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;
    void dragEnterEvent(QDragEnterEvent* Event) override;
    void dropEvent(QDropEvent* Event) override;

private:
    void CreateForm();
    void CreateBanner();
    void CreateControls();
    void CreateActions();
    void CreateComponents();
    void CreateWaveform();
    void CreateExtras();
    void LoadSettings();
    // The check box follows the open file: it applies to MP3 input only.
    void UpdateLosslessBox();
    // Shows the play cursor at the track bar's line in the waveform and the readout.
    void ShowCursor();
    void PlayEdge(int32_t FromMs, int32_t ToMs);
    void StopEdges();
    void CenterOnScreen();
    void FormCreate();
    void FormShow();

    // The time a step stands for, and its text.
    int32_t UnitsToMs(int32_t Units) const;
    QString UnitsToTimeText(int32_t Units) const;
    void ShowSelectionTimes();
    void OpenFileName(const QString& FileName);
    void FileMeasured(const QString& FileName, int32_t LengthMs);
    void OpenFailed(const std::string& Reason);
    // Runs the leave-the-field checks of both time fields, as a cut or a play starting from
    // a field that was never left needs; false when one refused.
    bool CommitTimeFields();
    // The checks made on leaving a time field; an accepted time moves the field's thumb.
    bool LeaveTimeField(QLineEdit* Field);
    // Puts a refused field back to its thumb's time and shows why.
    void RefuseTimeField(QLineEdit* Field, const char* Message);
    void StopPlayback();
    // Resumes a paused play, or plays the file afresh: the whole of it or the selection.
    void StartPlay(bool Selection);
    void CutProgress(TComponent* Sender, int32_t Progress);
    // The frames the thumbs select in the reader's file.
    TSampleRange SelectionRange(TAuFileIn& Reader);
    void StartMp3Cut(const QString& Input, const std::string& Output);
    // Copies the selection's frames on a worker; re-encodes when they cannot be copied.
    void StartLosslessCut(const QString& Input, const std::string& Output);
    // The run ended: Error empty when the temporary file is to be committed.
    void FinishCut(std::string Error);
    void StartWaveCut(const QString& Input, const std::string& Output);
    void StartWmaCut(const QString& Input, const std::string& Output);

    TDialogs& FDialogs;
    std::unique_ptr<TComponent> FComponents;
    // The file a running cut writes; shared with a lossless cut's worker, so that the file
    // is removed only after the worker let go of it.
    std::shared_ptr<TPendingOutput> FCutOutput;
    int32_t FCutLengthMs = 0;   // what the running cut will play
    bool FCutCancelled = false; // Cancel pressed while a worker still writes
    bool FCutWorking = false;   // a lossless cut runs on a worker
    // Set to stop the lossless cut's worker; shared with it.
    std::shared_ptr<std::atomic<bool>> FCutStop;
    int32_t FStepMs = 500;
    QTimer* FEdgeTimer = nullptr; // the pause between the two edges
    int FEdgePhase = 0;           // 0 none, 1 the first edge, 2 the gap, 3 the last edge
    int32_t FEdgeStopStep = 0;    // where the first edge's cursor stops
    int32_t FEdgeFromMs = 0, FEdgeToMs = 0, FEdgeLastFromMs = 0;
    bool FPlayingSelection = false;
    bool FMeasuring = false;
    uint64_t FOpenCount = 0; // numbers the opens, so that only the last one's length counts
    int32_t FLengthMs = 0;
    bool FMeasured = false; // a file's length has been measured; the fields show its times
    bool FPlaced = false;   // centred on the screen at the first show only
};

} // namespace sundral
