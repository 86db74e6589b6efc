// The Segment Cut window: open one sound file, list the segments to remove (start and end
// times), and write what remains of the file, joined in order, to a new file of its type.
//
// The controls and actions are public members named as in the window's design (bOpen,
// eStart, lvMain, aStartCut, ...), each control's objectName the same text, so tests find
// them with findChild. The handlers live in files by topic: SegmentCutList (the file, the
// time fields, the list and its actions) and SegmentCutRun (Start Now and the chain of jobs,
// whose logic is TSegmentChain's). The list holds each row's times exactly as typed.
// "Keep the original quality" joins an MP3's pieces without re-encoding on a worker (the note
// line says why when the stream does not allow it, and the chain runs instead); "Save the
// pieces as separate files" writes each piece to its own numbered file.
//
// Threading: GUI thread only; the writers' events arrive on it through the dispatcher.
// Ownership: controls and actions are Qt children of the window; the audio components and
// the media player belong to the window's component root. Closing or destroying the window
// stops a running job synchronously (no handler runs afterwards) and removes the run's
// files. The TDialogs passed in is not owned and must outlive the window.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QDialog>
#include <QString>

#include "edit/SegmentChain.h"
#include "platform/qt/Dialogs.h"
#include "tools/KeepQuality.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace sundral {

class TAction;
class TActionList;
class TComponent;
class TMediaPlayer;
class TRunStatus;
class TWaveform;
class TPendingOutput;

inline constexpr int kSegmentCutClientWidth = 427;
inline constexpr int kSegmentCutClientHeight = 364;
// Below the list: the two choices of how to write and the note line.
inline constexpr int kSegmentCutChoicesHeight = 82;

class TfrmSegmentCut : public QDialog {
    Q_OBJECT
public:
    TfrmSegmentCut(TDialogs& Dialogs, QWidget* Owner);
    ~TfrmSegmentCut() override;

    QLineEdit* eOpenFile = nullptr;
    QPushButton* bOpen = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label1 = nullptr; // "Start Time: "
    QLineEdit* eStart = nullptr;
    QLabel* Label2 = nullptr; // "---"
    QLabel* Label3 = nullptr; // "End Time: "
    QLineEdit* eEnd = nullptr;
    QLabel* Label4 = nullptr; // "Total File Time: "
    QLabel* lFileTime = nullptr;
    QPushButton* bAdd = nullptr;
    QTableWidget* lvMain = nullptr;
    QPushButton* bStart = nullptr;
    QPushButton* bUP = nullptr;
    QPushButton* bDown = nullptr;
    QPushButton* bRemove = nullptr;
    QPushButton* bRemoveAll = nullptr;
    QPushButton* bClose = nullptr;
    QCheckBox* cbKeepQuality = nullptr;   // an MP3 joined without re-encoding
    QCheckBox* cbSeparateFiles = nullptr; // the pieces as numbered files, not joined
    QLabel* lNote = nullptr;              // why a run re-encodes after all

    TActionList* ActionList1 = nullptr;
    TAction* aStartCut = nullptr;
    TAction* aMoveUp = nullptr;
    TAction* aMoveDown = nullptr;
    TAction* aRemove = nullptr;

    // The waveform, Play Join and the run's status strip (SegmentCutWave.cpp,
    // SegmentCutPlay.cpp): the file's peaks with each listed segment shaded; a drag fills
    // the time fields; Play Join plays the 2 s before and after the selected row's removed
    // stretch; the strip follows a run and offers Cancel.
    TWaveform* wfSegments = nullptr;
    QPushButton* bPlayJoin = nullptr;
    TRunStatus* RunStatus1 = nullptr;
    // One play of Play Join: the stretch asked for and where the player stood when it ended.
    struct TJoinPlay {
        int32_t FromMs = 0;
        int32_t ToMs = 0;
        int32_t ReachedMs = -1;
    };
    // The plays of the last Play Join, as they ended.
    const std::vector<TJoinPlay>& JoinPlays() const { return FJoinPlays; }
    bool JoinPlaying() const { return FJoinStep >= 0; }
    // Called as each play of Play Join ends, before the next one starts (tests read what the
    // sound output received there).
    std::function<void(const TJoinPlay&)> OnJoinPlayEnded;
    void bPlayJoinClick();
    void RunStatusCancel();

    TMediaPlayer* MediaPlayer1 = nullptr;
    TFileDialogOptions OpenDialog1;
    TFileDialogOptions SaveDialog1;

    // The readers, the mixer and the writers, named as in the design.
    const TToolComponents& Components() const { return *FTools; }
    const TSegmentChain& Chain() const { return *FChain; }

    QString SavedCaption;
    std::string WorkFolder; // below which each run makes its own folder; ends in '/'
    QString OutputFileName;
    int32_t FileLengthMs = 0; // as the reader that cuts the file announces it
    // True while a file chosen to open is being measured on a worker.
    bool Measuring() const { return FMeasuring; }
    // The kept pieces' start and end times, two per piece.
    std::vector<std::string> TimePoints;
    int32_t PieceCount() const { return FChain->PieceCount(); }
    bool Cutting() const { return FChain->Cutting(); }
    int32_t Step() const { return FChain->Step(); }
    // True while a run (the chain or the join without re-encoding) writes.
    bool Running() const { return FChain->Running() || FSplice.Running(); }

    // The list's rows as typed; the selected row, -1 when none is.
    std::vector<TSegmentRow> Rows() const;
    int SelectedIndex() const;

    // Handlers, public so that tests can drive what a click or a leave would.
    void bOpenClick();
    void eStartExit();
    void eEndExit();
    void bAddClick();
    void aMoveUpExecute();
    void aMoveUpUpdate(TAction* Sender);
    void aMoveDownExecute();
    void aMoveDownUpdate(TAction* Sender);
    void aRemoveExecute();
    void aRemoveUpdate(TAction* Sender);
    void bRemoveAllClick();
    void aStartCutExecute();
    void aStartCutUpdate(TAction* Sender);
    void bCloseClick();
    void WaveOut1Done(TComponent* Sender);

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
    void done(int Result) override;

private:
    void CreateForm();
    void CreateActions();
    void FormCreate();
    void FormClose();

    void TimeFieldExit(QLineEdit* Field);
    void SelectRow(int Index);
    void SwapRows(int A, int B);
    // Runs the chain's next job, or ends the run as Step says.
    void Follow(TChainStep Step);
    void EndRun(const TChainStep& Step);
    void StartChain(const TSegmentRun& Run);
    // Joins the pieces of an MP3 without re-encoding; falls back to the chain when the
    // stream does not allow it.
    void StartSplice(const TSegmentRun& Run);
    void SpliceEnded(const mp3lossless::TCutResult& Result);
    void UpdateKeepQuality();

    // The waveform's block (SegmentCutWave.cpp, SegmentCutPlay.cpp).
    void CreateWaveform();
    // The list's model reports its rows going as the window's children are deleted.
    void DetachWaveform();
    void MarkListedSegments();
    void FillFieldsFromWaveform(int64_t Start, int64_t End);
    void SelectFieldTimes();
    void UpdatePlayJoin();
    void RunShowStep();
    void RunShowEnd(const TChainStep& Step);
    void PlayJoinPart();
    void JoinPartEnded(uint64_t Generation);
    void StopJoinPlay();
    void WatchJoinPlays();
    std::vector<TJoinPlay> FJoinPlays;
    std::vector<TJoinPlay> FJoinPlan;
    int FJoinStep = -1; // the part playing; -1 when none
    // Numbers the plays; read on the play's thread when it ends.
    std::atomic<uint64_t> FJoinGeneration{0};

    TDialogs& FDialogs;
    std::unique_ptr<TComponent> FComponents;
    std::unique_ptr<TToolComponents> FTools;
    std::unique_ptr<TSegmentChain> FChain;
    TSpliceJob FSplice;
    TSegmentRun FSpliceRun;                        // what the running join writes
    std::shared_ptr<TPendingOutput> FSpliceOutput; // its output until it succeeds
    bool FWaitCursor = false;
    bool FMeasuring = false;
    uint64_t FOpenCount = 0; // numbers the opens, so that only the last one's length counts
};

} // namespace sundral
