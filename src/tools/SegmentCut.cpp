// The Segment Cut window's controls, actions and components with their design values, and
// its life: creation, leaving the time fields, closing.
#include "tools/SegmentCut.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFont>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include "app/AppResources.h"
#include "audio/AuComponent.h"
#include "audio/AuMixer.h"
#include "edit/MediaPlayer.h"
#include "edit/PendingOutput.h"
#include "formats/AuMp3Out.h"
#include "formats/AuWaveOut.h"
#include "formats/AuWinMediaOut.h"
#include "platform/qt/Actions.h"
#include "platform/qt/Application.h"
#include "platform/qt/FormBuilder.h"

namespace sundral {
namespace {

constexpr char kZeroTime[] = "00:00:00.0";

} // namespace

TfrmSegmentCut::TfrmSegmentCut(TDialogs& Dialogs, QWidget* Owner)
    : QDialog(Owner), FDialogs(Dialogs) {
    CreateForm();
    FormCreate();
}

TfrmSegmentCut::~TfrmSegmentCut() {
    // A running job stops before its components go; the run's files go with the chain.
    FormClose();
    DetachWaveform();
    FChain.reset();
    FComponents.reset();
}

void TfrmSegmentCut::CreateForm() {
    setObjectName(QStringLiteral("frmSegmentCut"));
    setWindowTitle(QStringLiteral("Segment Cut"));
    SetFixedDialog(this, kSegmentCutClientWidth,
                   kSegmentCutClientHeight + kSegmentCutChoicesHeight);
    SetDesignFont(this);
    setStyleSheet(SkinStyleSheet());

    // Created in tab order.
    bOpen = Button(this, "bOpen", "&Open File", {8, 10, 90, 25});
    eOpenFile = Named(new QLineEdit(this), "eOpenFile");
    eOpenFile->setReadOnly(true);
    eOpenFile->setGeometry(106, 12, 313, 21);

    GroupBox1 =
        Named(new QGroupBox(QStringLiteral("Please enter the time to be cut"), this), "GroupBox1");
    GroupBox1->setGeometry(8, 44, 411, 84);
    Label1 = Text(GroupBox1, "Label1", "Start Time: ", {10, 26, 68, 16});
    eStart = TimeField(GroupBox1, "eStart", "Start Time", {78, 24, 76, 21});
    Label2 = Text(GroupBox1, "Label2", "---", {154, 26, 22, 16});
    Label2->setAlignment(Qt::AlignCenter);
    Label3 = Text(GroupBox1, "Label3", "End Time: ", {178, 26, 60, 16});
    eEnd = TimeField(GroupBox1, "eEnd", "End Time", {238, 24, 76, 21});
    bAdd = Button(GroupBox1, "bAdd", "&Add to List", {320, 22, 83, 25});
    Label4 = Text(GroupBox1, "Label4", "Total File Time: ", {10, 56, 90, 16});
    lFileTime = Text(GroupBox1, "lFileTime", kZeroTime, {102, 56, 100, 16});

    lvMain = Named(new QTableWidget(0, 2, this), "lvMain");
    lvMain->setGeometry(8, 138, 318, 218);
    lvMain->setHorizontalHeaderLabels({QStringLiteral("Start"), QStringLiteral("End")});
    lvMain->setColumnWidth(0, 120);
    lvMain->setColumnWidth(1, 120);
    lvMain->verticalHeader()->hide();
    lvMain->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvMain->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvMain->setSelectionMode(QAbstractItemView::SingleSelection);
    lvMain->setShowGrid(true);

    bStart = Button(this, "bStart", "&Start Now", {336, 138, 83, 25});
    bUP = Button(this, "bUP", "&Up", {336, 172, 83, 25});
    bDown = Button(this, "bDown", "&Down", {336, 206, 83, 25});
    bRemove = Button(this, "bRemove", "&Remove", {336, 240, 83, 25});
    bRemoveAll = Button(this, "bRemoveAll", "Remove &All", {336, 274, 83, 25});
    bClose = Button(this, "bClose", "&Close", {336, 331, 83, 25});
    cbKeepQuality = KeepQualityBox(this, {8, 364, 411, 20});
    cbSeparateFiles =
        Named(new QCheckBox(QStringLiteral("Save the pieces as separate files"), this),
              "cbSeparateFiles");
    cbSeparateFiles->setGeometry(8, 386, 411, 20);
    lNote = NoteLine(this, {8, 410, 411, 32});
    connect(eOpenFile, &QLineEdit::textChanged, this, [this] { UpdateKeepQuality(); });

    connect(bOpen, &QPushButton::clicked, this, Guarded([this] { bOpenClick(); }));
    connect(bAdd, &QPushButton::clicked, this, Guarded([this] { bAddClick(); }));
    connect(bRemoveAll, &QPushButton::clicked, this, Guarded([this] { bRemoveAllClick(); }));
    connect(bClose, &QPushButton::clicked, this, Guarded([this] { bCloseClick(); }));
    eStart->installEventFilter(this);
    eEnd->installEventFilter(this);
    // Enter in a time field adds the segment.
    connect(eStart, &QLineEdit::returnPressed, this, Guarded([this] { bAddClick(); }));
    connect(eEnd, &QLineEdit::returnPressed, this, Guarded([this] { bAddClick(); }));
    CreateActions();

    OpenDialog1.Filter = QString::fromLatin1(kSoundFilesFilter);
    SaveDialog1.Filter = QStringLiteral("Sound Files|*.wav");

    FComponents = std::make_unique<TComponent>(nullptr);
    FComponents->SetName("frmSegmentCut");
    MediaPlayer1 = new TMediaPlayer(FComponents.get());
    MediaPlayer1->SetName("MediaPlayer1");
    FTools = std::make_unique<TToolComponents>(FComponents.get());
    FTools->AudioMixer1->SetMode(TAudioMixerMode::amConcatenate);
    FTools->MP3Out1->SetMode(TMP3Mode::mmMono);
    const auto done = [this](TComponent* Sender) { WaveOut1Done(Sender); };
    FTools->WaveOut1->OnDone = done;
    FTools->MP3Out1->OnDone = done;
    FTools->WMAOut1->OnDone = done;
    FChain = std::make_unique<TSegmentChain>(*FTools);
    CreateWaveform();
}

void TfrmSegmentCut::CreateActions() {
    ActionList1 = new TActionList(this, QStringLiteral("ActionList1"));
    struct TActionDesign {
        TAction** Field;
        const char* Name;
        const char* Caption;
        QPushButton* Button;
        void (TfrmSegmentCut::*Execute)();
        void (TfrmSegmentCut::*Update)(TAction*);
    };
    const TActionDesign designs[] = {
        {&aStartCut, "aStartCut", "&Start Now", bStart, &TfrmSegmentCut::aStartCutExecute,
         &TfrmSegmentCut::aStartCutUpdate},
        {&aMoveUp, "aMoveUp", "&Up", bUP, &TfrmSegmentCut::aMoveUpExecute,
         &TfrmSegmentCut::aMoveUpUpdate},
        {&aMoveDown, "aMoveDown", "&Down", bDown, &TfrmSegmentCut::aMoveDownExecute,
         &TfrmSegmentCut::aMoveDownUpdate},
        {&aRemove, "aRemove", "&Remove", bRemove, &TfrmSegmentCut::aRemoveExecute,
         &TfrmSegmentCut::aRemoveUpdate},
    };
    for (const TActionDesign& design : designs) {
        auto* action = new TAction(ActionList1, QString::fromLatin1(design.Name),
                                   QString::fromUtf8(design.Caption), false);
        const auto execute = design.Execute;
        const auto update = design.Update;
        action->OnExecute = [this, execute](TAction*) { (this->*execute)(); };
        action->OnUpdate = [this, update](TAction* Sender) { (this->*update)(Sender); };
        action->LinkButton(design.Button);
        *design.Field = action;
    }
}

void TfrmSegmentCut::FormCreate() {
    SavedCaption = windowTitle();
    WorkFolder = SegmentWorkFolder();
    FTools->AudioMixer1->SetVolume1(65535);
    FTools->AudioMixer1->SetVolume2(65535);
    TimePoints.clear();
}

void TfrmSegmentCut::FormClose() {
    // Nothing of a running chain may follow the window's closing.
    FChain->Abandon();
    StopJoinPlay();
    FSplice.Stop();
    FSpliceOutput.reset();
    if (FWaitCursor) {
        FWaitCursor = false;
        QGuiApplication::restoreOverrideCursor();
    }
    TimePoints.clear();
}

void TfrmSegmentCut::closeEvent(QCloseEvent* Event) {
    FormClose();
    QDialog::closeEvent(Event);
}

void TfrmSegmentCut::done(int Result) {
    FormClose();
    QDialog::done(Result);
}

void TfrmSegmentCut::bCloseClick() {
    close();
}

bool TfrmSegmentCut::eventFilter(QObject* Watched, QEvent* Event) {
    if ((Watched == eStart || Watched == eEnd) && IsFieldExit(Event)) {
        if (Watched == eStart)
            Guarded([this] { eStartExit(); })();
        else
            Guarded([this] { eEndExit(); })();
    }
    return QDialog::eventFilter(Watched, Event);
}

} // namespace sundral
