// The controls the main window has around its design: the play cursor's readout beside the
// time fields, Play Edges and the grid switch beside Mark Start / Mark End, and, in a band
// the window grows by at the bottom, the lossless check box and the run status strip.
//
// The grid step and the check box are remembered between runs in the user's settings
// (QSettings, organisation "Orvane", application "Sundral", INI format).
#include <QButtonGroup>
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

#include "app/Main.h"
#include "controls/RunStatus.h"
#include "controls/TrackBar2.h"
#include "controls/Waveform.h"
#include "edit/CutSetup.h"
#include "edit/Designs.h"
#include "platform/qt/Application.h"
#include "platform/qt/FormBuilder.h"

namespace sundral {
namespace {

constexpr char kGridKey[] = "main/gridStepMs";
constexpr char kLosslessKey[] = "main/keepOriginalQuality";

QSettings UserSettings() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Orvane"),
                     QStringLiteral("Sundral"));
}

} // namespace

void TfrmMain::CreateExtras() {
    // Beside the time fields, left of the selection's length.
    const QRect end = eEnd->geometry();
    auto* caption = Named(new QLabel(QStringLiteral("Cursor"), this), "lPositionCaption");
    caption->setGeometry(end.right() + 9, end.y() + 3, 38, 16);
    lPosition = Named(new QLabel(this), "lPosition");
    lPosition->setGeometry(end.right() + 47, end.y() + 3, 66, 16);
    lPosition->setToolTip(QStringLiteral("Where the play cursor is"));
    lPosition->setStyleSheet(QStringLiteral("color: #1040c0; font-weight: bold;"));

    // Beside Mark End, under Pause and Stop.
    const QRect pause = bPause->geometry();
    const QRect stop = bStop->geometry();
    const int markY = bMarkEnd->y();
    bPlayEdges = Button(this, "bPlayEdges", "Play E&dges", {pause.x(), markY, pause.width(), 25});
    bPlayEdges->setToolTip(
        QStringLiteral("Play the first and the last 2 seconds of the selection"));
    lGrid = Named(new QLabel(QStringLiteral("Grid"), this), "lGrid");
    lGrid->setGeometry(stop.x(), markY + 5, 24, 16);
    bGridCoarse = Button(this, "bGridCoarse", "0.5 s", {stop.x() + 24, markY, 34, 25});
    bGridFine = Button(this, "bGridFine", "0.1 s", {stop.x() + 58, markY, 34, 25});
    auto* grid = new QButtonGroup(this);
    for (QPushButton* button : {bGridCoarse, bGridFine}) {
        button->setCheckable(true);
        // The chosen step stands out in the selection's green.
        button->setStyleSheet(QStringLiteral("QPushButton { padding: 0px; }"
                                             "QPushButton:checked { background: #2f8f2f;"
                                             " color: white; font-weight: bold; }"));
        button->setToolTip(QStringLiteral("The step of the track bar and the time fields"));
        grid->addButton(button);
    }
    grid->setExclusive(true);
    connect(bGridCoarse, &QPushButton::clicked, this, Guarded([this] { SetStepMs(kStepMs); }));
    connect(bGridFine, &QPushButton::clicked, this, Guarded([this] { SetStepMs(kFineStepMs); }));
    connect(bPlayEdges, &QPushButton::clicked, this, Guarded([this] { bPlayEdgesClick(); }));

    FEdgeTimer = Named(new QTimer(this), "EdgeTimer");
    FEdgeTimer->setSingleShot(true);
    connect(FEdgeTimer, &QTimer::timeout, this, Guarded([this] {
                if (FEdgePhase == 0) return;
                FEdgePhase = 3;
                Timer1->stop();
                tbAudio->SetLinePosition(MsToStep(FEdgeLastFromMs, tbAudio->Max(), FStepMs));
                PlayEdge(FEdgeLastFromMs, FEdgeToMs);
            }));

    // The band at the bottom.
    const int top = height();
    setFixedSize(width(), height() + kMainBandHeight);
    cbLossless =
        Named(new QCheckBox(QStringLiteral("Keep the original quality (no re-encoding)"), this),
              "cbLossless");
    cbLossless->setGeometry(8, top, 300, 20);
    cbLossless->setToolTip(QStringLiteral(
        "MP3 files are cut by copying their frames, exact to the sample, without re-encoding"));
    connect(cbLossless, &QCheckBox::clicked, this, [](bool Checked) {
        UserSettings().setValue(QString::fromLatin1(kLosslessKey), Checked);
    });
    rsCut = Named(new TRunStatus(this), "rsCut");
    rsCut->setGeometry(8, top + 24, width() - 16, 24);
    rsCut->OnCancel = Guarded([this] { CancelCut(); });

    LoadSettings();
    ShowCursor();
}

void TfrmMain::LoadSettings() {
    const int32_t step = UserSettings().value(QString::fromLatin1(kGridKey), kStepMs).toInt();
    FStepMs = step == kFineStepMs ? kFineStepMs : kStepMs;
    Timer1->setInterval(FStepMs);
    (FStepMs == kStepMs ? bGridCoarse : bGridFine)->setChecked(true);
    UpdateLosslessBox();
}

void TfrmMain::UpdateLosslessBox() {
    const bool mp3 = SoundKindOf(eOpenFile->text().toStdString()) == TSoundKind::skMp3;
    // WAV is cut exactly anyway and WMA is always re-encoded: the box speaks for MP3 only.
    cbLossless->setEnabled(mp3);
    cbLossless->setChecked(mp3 &&
                           UserSettings().value(QString::fromLatin1(kLosslessKey), true).toBool());
}

void TfrmMain::SetStepMs(int32_t StepMs) {
    StepMs = StepMs == kFineStepMs ? kFineStepMs : kStepMs;
    UserSettings().setValue(QString::fromLatin1(kGridKey), StepMs);
    (StepMs == kStepMs ? bGridCoarse : bGridFine)->setChecked(true);
    if (StepMs == FStepMs) return;
    // The times the thumbs and the cursor stand for, kept on the new grid: a thumb at the
    // end stays at the end, the others go to the step their time falls in.
    const int32_t max = tbAudio->Max();
    const bool upperAtEnd = tbAudio->PositionU() >= max;
    const int32_t lowerMs = UnitsToMs(tbAudio->PositionL());
    const int32_t upperMs = UnitsToMs(tbAudio->PositionU());
    const int32_t lineMs = UnitsToMs(tbAudio->LinePosition());
    FStepMs = StepMs;
    Timer1->setInterval(FStepMs);
    const int32_t newMax = FMeasured ? StepsOf(FLengthMs, FStepMs) : max;
    if (!FMeasured) FLengthMs = newMax * FStepMs;
    const int32_t upper =
        upperAtEnd ? newMax : std::min(MsToStep(upperMs, newMax, FStepMs), newMax);
    const int32_t lower = std::min(MsToStep(lowerMs, newMax, FStepMs), std::max(upper - 1, 0));
    tbAudio->SetPositionL(0);
    tbAudio->SetMax(newMax);
    tbAudio->SetPositionU(upper);
    tbAudio->SetPositionL(lower);
    tbAudio->SetLinePosition(MsToStep(lineMs, newMax, FStepMs));
    tbAudioChange();
    ShowCursor();
}

} // namespace sundral
