// The Joiner & Mixer window's controls and components with their design values, and its
// life: creation and closing.
#include "tools/Joiner.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFont>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "app/AppResources.h"
#include "audio/AuComponent.h"
#include "audio/AuMixer.h"
#include "controls/RadioGroup.h"
#include "edit/PendingOutput.h"
#include "formats/AuMp3Out.h"
#include "formats/AuWaveOut.h"
#include "formats/AuWinMediaOut.h"
#include "platform/qt/Application.h"
#include "platform/qt/FormBuilder.h"

namespace sundral {
namespace {} // namespace

TfrmJoiner::TfrmJoiner(TDialogs& Dialogs, QWidget* Owner) : QDialog(Owner), FDialogs(Dialogs) {
    CreateForm();
    FormCreate();
}

TfrmJoiner::~TfrmJoiner() {
    FormClose();
    FComponents.reset();
}

void TfrmJoiner::CreateForm() {
    setObjectName(QStringLiteral("frmJoiner"));
    setWindowTitle(QStringLiteral("Joiner & Mixer"));
    SetFixedDialog(this, kJoinerClientWidth, kJoinerClientHeight + kJoinerChoicesHeight);
    SetDesignFont(this);
    setStyleSheet(SkinStyleSheet());

    GroupBox1 = Named(new QGroupBox(this), "GroupBox1");
    GroupBox1->setGeometry(8, 6, 504, 84);
    Label1 = Named(new QLabel(QStringLiteral("File1:"), GroupBox1), "Label1");
    Label1->setGeometry(10, 20, 36, 16);
    eFile1 = FileField(GroupBox1, "eFile1", {50, 18, 348, 21});
    bOpen1 = Button(GroupBox1, "bOpen1", "&Open File", {406, 16, 90, 25});
    Label2 = Named(new QLabel(QStringLiteral("File2:"), GroupBox1), "Label2");
    Label2->setGeometry(10, 52, 36, 16);
    eFile2 = FileField(GroupBox1, "eFile2", {50, 50, 348, 21});
    bOpen2 = Button(GroupBox1, "bOpen2", "&Open File", {406, 48, 90, 25});

    rgMode = Named(new TRadioGroup(this, {QStringLiteral("Joiner"), QStringLiteral("Mixer")}, 2),
                   "rgMode");
    rgMode->setGeometry(8, 98, 280, 40);
    rgMode->SetItemIndex(0);

    bStart = Button(this, "bStart", "&Start", {326, 143, 90, 25});
    bClose = Button(this, "bClose", "&Close", {422, 143, 90, 25});
    cbKeepQuality = KeepQualityBox(this, {8, 176, 504, 20});
    lNote = NoteLine(this, {8, 200, 504, 32});
    connect(eFile1, &QLineEdit::textChanged, this, [this] { UpdateKeepQuality(); });
    for (int i = 0; i < rgMode->Count(); ++i)
        connect(rgMode->Button(i), &QRadioButton::toggled, this, [this] { UpdateKeepQuality(); });

    connect(bOpen1, &QPushButton::clicked, this, Guarded([this] { bOpen1Click(); }));
    connect(bOpen2, &QPushButton::clicked, this, Guarded([this] { bOpen2Click(); }));
    connect(bStart, &QPushButton::clicked, this, Guarded([this] { bStartClick(); }));
    connect(bClose, &QPushButton::clicked, this, Guarded([this] { bCloseClick(); }));

    OpenDialog1.Filter = QString::fromLatin1(kSoundFilesFilter);
    SaveDialog1.DefaultExt = QStringLiteral("mp3");

    FComponents = std::make_unique<TComponent>(nullptr);
    FComponents->SetName("frmJoiner");
    FTools = std::make_unique<TToolComponents>(FComponents.get());
    TAudioMixer& mixer = *FTools->AudioMixer1;
    mixer.SetMode(TAudioMixerMode::amMix);
    mixer.SetVolume1(0);
    mixer.SetVolume2(0);
    const auto done = [this](TComponent* Sender) { WaveOut1Done(Sender); };
    for (TAuFileOut* writer :
         {static_cast<TAuFileOut*>(FTools->WaveOut1), static_cast<TAuFileOut*>(FTools->MP3Out1),
          static_cast<TAuFileOut*>(FTools->WMAOut1)}) {
        writer->SetInput(&mixer);
        writer->OnDone = done;
    }
    FTools->WaveOut1->OnProgress = [this](TComponent* Sender) { WaveOut1Progress(Sender); };
    FTools->MP3Out1->OnProgress = [this](TComponent* Sender) { MP3Out1Progress(Sender); };
    FTools->WMAOut1->OnProgress = [this](TComponent* Sender) { WMAOut1Progress(Sender); };
    CreateRunStatus();
}

void TfrmJoiner::FormCreate() {
    SavedCaption = windowTitle();
}

void TfrmJoiner::FormClose() {
    // A running writer stops before its unfinished file goes; no event of it follows.
    FTools->StopWriters();
    FSplice.Stop();
    FOutput.reset();
    if (FWaitCursor) {
        FWaitCursor = false;
        QGuiApplication::restoreOverrideCursor();
    }
}

void TfrmJoiner::closeEvent(QCloseEvent* Event) {
    FormClose();
    QDialog::closeEvent(Event);
}

void TfrmJoiner::done(int Result) {
    FormClose();
    QDialog::done(Result);
}

void TfrmJoiner::bCloseClick() {
    close();
}

} // namespace sundral
