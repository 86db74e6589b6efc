// The main window: open one sound file, listen to it whole or to the selection, mark the
// selection with the track bar's two thumbs, the time fields or Mark Start / Mark End, and
// cut it into a new file of the same type.
//
// The controls, actions and audio components are public members named as in the window's
// design (bOpen, eOpenFile, tbAudio, aPlay, MP3Out1, ...); each control's objectName is the
// same text, so tests find them with findChild. CreateForm (MainForm.cpp) creates them with
// their design values, like a stored form description; the handlers live in Main*.cpp files
// by topic: MainPlay (file, playback, play cursor, marks, action updates), MainSelection
// (thumbs and time fields), MainCut (the cut), MainLinks (banner links, About menu, side
// windows), MainDesktop (files handed in by drop, command line or a later start).
//
// Positions on the track bar are half-second steps: step p is p x 500 ms.
//
// Threading: GUI thread only; the writers' events arrive on it through the dispatcher.
// Ownership: controls and actions are Qt children of the window; the audio components and
// the media player belong to the window's component root and go with the window (a running
// cut is stopped first and its unfinished file removed). The TDialogs passed in is not owned
// and must outlive the window.
#pragma once

#include <cstdint>
#include <memory>

#include <QString>
#include <QWidget>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;

namespace sundral {

class TAction;
class TActionList;
class TComponent;
class TDialogs;
class TLinkLabel;
class TMediaPlayer;
class TMP3In;
class TMP3Out;
class TPendingOutput;
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
// One track-bar step in milliseconds.
inline constexpr int kStepMs = 500;

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

    TDialogs& Dialogs() const { return FDialogs; }
    bool PlayingSelection() const { return FPlayingSelection; }

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
    void CenterOnScreen();
    void FormCreate();
    void FormShow();

    QString UnitsToTimeText(int32_t Units) const;
    void ShowSelectionTimes();
    void OpenFileName(const QString& FileName);
    void StopPlayback();
    // Resumes a paused play, or plays the file afresh: the whole of it or the selection.
    void StartPlay(bool Selection);
    void CutProgress(TComponent* Sender, int32_t Progress);
    void StartMp3Cut(const QString& Input, const std::string& Output);
    void StartWaveCut(const QString& Input, const std::string& Output);
    void StartWmaCut(const QString& Input, const std::string& Output);

    TDialogs& FDialogs;
    std::unique_ptr<TComponent> FComponents;
    std::unique_ptr<TPendingOutput> FCutOutput; // the file a running cut writes
    bool FPlayingSelection = false;
    bool FPlaced = false; // centred on the screen at the first show only
};

} // namespace sundral
