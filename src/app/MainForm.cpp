// The main window's controls, actions and audio components with their design values.
#include <QAction>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include "app/AppResources.h"
#include "app/Main.h"
#include "app/WebLinks.h"
#include "controls/LinkLabel.h"
#include "controls/TrackBar2.h"
#include "platform/qt/Actions.h"
#include "platform/qt/Application.h"
#include "platform/qt/FormBuilder.h"

namespace sundral {
namespace {

constexpr int kBannerHeight = 50;
constexpr char kZeroTime[] = "00:00:00.0";

} // namespace

void TfrmMain::CreateForm() {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Orvane Sundral"));
    // Single fixed border, system menu and minimise box only.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(kMainClientWidth, kMainClientHeight);
    setAcceptDrops(true);
    // The design font is 11 pixels high; the named face is taken when installed.
    SetDesignFont(this);
    setStyleSheet(SkinStyleSheet());
    setWindowIcon(QIcon(AppPicture(QStringLiteral("icon48.png"))));

    CreateBanner();
    CreateControls();
    CreateActions();
    CreateComponents();
    CreateWaveform();
    CreateExtras();
}

void TfrmMain::CreateBanner() {
    imgTitle = Named(new QLabel(this), "imgTitle");
    imgTitle->setPixmap(AppPicture(QStringLiteral("banner-main.jpg")));
    imgTitle->setScaledContents(true);
    imgTitle->setGeometry(0, 0, kMainClientWidth, kBannerHeight);

    Image1 = Named(new TLinkLabel(this), "Image1");
    Image1->setPixmap(AppPicture(QStringLiteral("icon32.png")));
    Image1->setGeometry(9, 9, 32, 32);
    Image1->OnClick = [this](TLinkLabel*) { Image1Click(); };

    lTitle = Named(new TLinkLabel(this), "lTitle");
    lTitle->setText(QString::fromLatin1(kMakerSiteText));
    QFont titleFont = lTitle->font();
    titleFont.setBold(true);
    titleFont.setPixelSize(13);
    lTitle->setFont(titleFont);
    lTitle->SetColor(Qt::white);
    lTitle->setGeometry(50, 7, 220, 18);
    lTitle->OnClick = [this](TLinkLabel*) { lTitleClick(); };

    lTitleHint = Named(new QLabel(QStringLiteral("Cut MP3, WAV, WMA files into pieces"), this),
                       "lTitleHint");
    lTitleHint->setStyleSheet(QStringLiteral("color: white;"));
    lTitleHint->setGeometry(50, 27, 260, 16);

    lUpdate = Named(new TLinkLabel(this), "lUpdate");
    lUpdate->setText(QStringLiteral("Check for updates..."));
    lUpdate->SetURL(QString::fromLatin1(kUpdateCheckUrl));
    lUpdate->SetHoverColor(Qt::red);
    lUpdate->adjustSize();
    lUpdate->move(kMainClientWidth - lUpdate->width() - 10, 27);

    iUpdate = Named(new QLabel(this), "iUpdate");
    iUpdate->setPixmap(AppPicture(QStringLiteral("update16.png")));
    iUpdate->setGeometry(lUpdate->x() - 20, 27, 16, 16);
}

void TfrmMain::CreateControls() {
    // Created in tab order.
    bOpen = Button(this, "bOpen", "&Open File", {8, 60, 90, 25});
    eOpenFile = Named(new QLineEdit(this), "eOpenFile");
    eOpenFile->setReadOnly(true);
    eOpenFile->setGeometry(106, 62, 399, 21);

    tbAudio = Named(new TTrackBar2(this), "tbAudio");
    tbAudio->setGeometry(8, 92, 496, 50);
    tbAudio->SetSecondThumb(true);
    tbAudio->SetMax(50);
    tbAudio->SetPositionU(50);
    tbAudio->SetThumbSize(12);
    tbAudio->SetTickSize(2);
    tbAudio->SetTrackCenterColor(QColor(0x00, 0x80, 0x00));
    tbAudio->SetTickColor(Qt::black);
    tbAudio->setCursor(Qt::PointingHandCursor);

    eStart = TimeField(this, "eStart", "Start Time", {8, 150, 76, 21});
    Label3 = Named(new QLabel(QStringLiteral("---"), this), "Label3");
    Label3->setAlignment(Qt::AlignCenter);
    Label3->setGeometry(84, 152, 24, 16);
    eEnd = TimeField(this, "eEnd", "End Time", {108, 150, 76, 21});
    Label1 = Named(new QLabel(QStringLiteral("Splitted File Size: "), this), "Label1");
    Label1->setGeometry(300, 153, 110, 16);
    Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lFileTime = Named(new QLabel(QString::fromLatin1(kZeroTime), this), "lFileTime");
    lFileTime->setGeometry(412, 153, 90, 16);
    lStatus = Named(new QLabel(this), "lStatus");
    lStatus->setGeometry(8, 252, 390, 16);

    bPlay = Button(this, "bPlay", "&Play", {8, 184, 90, 25});
    bPlaySelection = Button(this, "bPlaySelection", "P&lay Selection", {104, 184, 100, 25});
    bPause = Button(this, "bPause", "P&ause", {210, 184, 90, 25});
    bStop = Button(this, "bStop", "&Stop", {306, 184, 90, 25});
    bMarkStart = Button(this, "bMarkStart", "&Mark Start", {8, 218, 90, 25});
    bMarkEnd = Button(this, "bMarkEnd", "Mark &End", {104, 218, 100, 25});
    bStartCut = Button(this, "bStartCut", "Start &Cut", {404, 184, 100, 59});
    QFont cutFont = bStartCut->font();
    cutFont.setBold(true);
    bStartCut->setFont(cutFont);

    bSegmentCut = Button(this, "bSegmentCut", "&Segment Cut", {8, 276, 110, 27});
    bJoiner = Button(this, "bJoiner", "&Joiner && Mixer", {124, 276, 120, 27});
    bAbout = Button(this, "bAbout", "A&bout", {414, 276, 90, 27});

    pmAbout = Named(new QMenu(this), "pmAbout");
    miHomepage = Named(pmAbout->addAction(QStringLiteral("&Homepage")), "miHomepage");
    pmAbout->addSeparator();
    miDonate = Named(pmAbout->addAction(QStringLiteral("&Donate")), "miDonate");
    pmAbout->addSeparator();
    miAbout = Named(pmAbout->addAction(QStringLiteral("&About...")), "miAbout");
    pmAbout->addSeparator();
    miExit = Named(pmAbout->addAction(QStringLiteral("&Exit")), "miExit");

    Timer1 = Named(new QTimer(this), "Timer1");
    Timer1->setInterval(500);

    // Handlers connected to Qt signals are guarded: an error goes to the error report.
    connect(bOpen, &QPushButton::clicked, this, Guarded([this] { bOpenClick(); }));
    connect(bStartCut, &QPushButton::clicked, this, Guarded([this] { bStartCutClick(); }));
    connect(bSegmentCut, &QPushButton::clicked, this, Guarded([this] { bSegmentCutClick(); }));
    connect(bJoiner, &QPushButton::clicked, this, Guarded([this] { bJoinerClick(); }));
    connect(bAbout, &QPushButton::clicked, this, Guarded([this] { bAboutClick(); }));
    connect(miHomepage, &QAction::triggered, this, Guarded([this] { Image1Click(); }));
    connect(miDonate, &QAction::triggered, this, Guarded([this] { miDonateClick(); }));
    connect(miAbout, &QAction::triggered, this, Guarded([this] { miAboutClick(); }));
    connect(miExit, &QAction::triggered, this, Guarded([this] { miExitClick(); }));
    connect(Timer1, &QTimer::timeout, this, Guarded([this] { Timer1Timer(); }));
    connect(eStart, &QLineEdit::textChanged, this, Guarded([this] { eStartChange(); }));
    connect(eEnd, &QLineEdit::textChanged, this, Guarded([this] { eEndChange(); }));
    eStart->installEventFilter(this);
    eEnd->installEventFilter(this);
    tbAudio->OnChange = [this](TTrackBar2*) { tbAudioChange(); };
}

void TfrmMain::CreateActions() {
    ActionList1 = new TActionList(this, QStringLiteral("ActionList1"));
    struct TActionDesign {
        TAction** Field;
        const char* Name;
        const char* Caption;
        bool Enabled;
        QPushButton* Button;
        void (TfrmMain::*Execute)();
        void (TfrmMain::*Update)(TAction*);
    };
    const TActionDesign designs[] = {
        {&aPlay, "aPlay", "&Play", true, bPlay, &TfrmMain::aPlayExecute, &TfrmMain::aPlayUpdate},
        {&aPause, "aPause", "P&ause", false, bPause, &TfrmMain::aPauseExecute,
         &TfrmMain::aPauseUpdate},
        {&aStop, "aStop", "&Stop", false, bStop, &TfrmMain::aStopExecute, &TfrmMain::aStopUpdate},
        {&aMarkStart, "aMarkStart", "&Mark Start", false, bMarkStart, &TfrmMain::aMarkStartExecute,
         &TfrmMain::aStopUpdate},
        {&aMarkEnd, "aMarkEnd", "Mark &End", false, bMarkEnd, &TfrmMain::aMarkEndExecute,
         &TfrmMain::aStopUpdate},
        {&aPlaySelection, "aPlaySelection", "P&lay Selection", false, bPlaySelection,
         &TfrmMain::aPlaySelectionExecute, &TfrmMain::aPlayUpdate},
    };
    for (const TActionDesign& design : designs) {
        auto* action = new TAction(ActionList1, QString::fromLatin1(design.Name),
                                   QString::fromUtf8(design.Caption), design.Enabled);
        const auto execute = design.Execute;
        const auto update = design.Update;
        action->OnExecute = [this, execute](TAction*) { (this->*execute)(); };
        action->OnUpdate = [this, update](TAction* Sender) { (this->*update)(Sender); };
        action->LinkButton(design.Button);
        *design.Field = action;
    }
}

} // namespace sundral
