// The Segment Cut window's waveform and run status: the file's peaks above the time fields
// (the window grows by their height), each listed segment shaded in red and kept in step
// with the list, a drag on the waveform filling the time fields at their tenth-of-a-second
// precision, and the strip under the list that follows a run and cancels it.
#include <algorithm>

#include <QAbstractItemModel>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include "controls/RunStatus.h"
#include "controls/Waveform.h"
#include "edit/Global.h"
#include "edit/PendingOutput.h"
#include "edit/WaveformGeometry.h"
#include "formats/AuMp3Out.h"
#include "formats/AuWaveOut.h"
#include "formats/AuWinMediaOut.h"
#include "platform/qt/Application.h"
#include "platform/qt/FormBuilder.h"
#include "tools/SegmentCut.h"
#include "tools/ToolRunStatus.h"

namespace sundral {
namespace {

constexpr int kWaveTop = 44;
constexpr int kWaveHeight = 120;
constexpr int kWaveGap = 8;
constexpr int kStatusHeight = 24;
constexpr int kTenthMs = 100;
constexpr char kCancelledLine[] = "Cancelled: nothing was written.";

// Frame Sample as time text, to the nearest tenth of a second.
int32_t SampleToTenths(int64_t Sample, uint32_t Rate) {
    const int64_t ms = SampleToMs(Sample, Rate);
    return int32_t(std::min<int64_t>((ms + kTenthMs / 2) / kTenthMs * kTenthMs, INT32_MAX));
}

} // namespace

void TfrmSegmentCut::CreateWaveform() {
    // Everything under the file's row moves down by the waveform's height.
    const int grow = kWaveHeight + kWaveGap;
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!child->isWindow() && child->y() >= kWaveTop)
            child->move(child->x(), child->y() + grow);
    const int statusTop = height() + grow;
    setFixedSize(width(), statusTop + kStatusHeight + 6);

    wfSegments = Named(new TWaveform(this), "wfSegments");
    wfSegments->setGeometry(8, kWaveTop, kSegmentCutClientWidth - 16, kWaveHeight);
    bPlayJoin = Button(GroupBox1, "bPlayJoin", "Play &Join", {320, 52, 83, 25});
    bPlayJoin->setToolTip(QStringLiteral(
        "Play 2 s before and 2 s after the selected segment, as the cut file will sound"));
    RunStatus1 = Named(new TRunStatus(this), "RunStatus1");
    RunStatus1->setGeometry(8, statusTop, kSegmentCutClientWidth - 16, kStatusHeight);
    RunStatus1->OnCancel = Guarded([this] { RunStatusCancel(); });

    connect(eOpenFile, &QLineEdit::textChanged, this, [this](const QString& Name) {
        StopJoinPlay();
        wfSegments->SetFileName(Name.toStdString());
        UpdatePlayJoin();
    });
    connect(wfSegments, &TWaveform::SoundChanged, this, [this] { MarkListedSegments(); });
    connect(wfSegments, &TWaveform::SelectionChanged, this,
            [this](qint64 Start, qint64 End) { FillFieldsFromWaveform(Start, End); });
    // Every change of the list, whoever makes it, reaches the shading.
    QAbstractItemModel* rows = lvMain->model();
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(rows, signal, this, [this] { MarkListedSegments(); });
    connect(rows, &QAbstractItemModel::dataChanged, this, [this] { MarkListedSegments(); });
    connect(rows, &QAbstractItemModel::modelReset, this, [this] { MarkListedSegments(); });
    // Times typed into the fields show as the selection too.
    for (QLineEdit* field : {eStart, eEnd})
        connect(field, &QLineEdit::textChanged, this, [this] { SelectFieldTimes(); });
    connect(lvMain, &QTableWidget::itemSelectionChanged, this, [this] { UpdatePlayJoin(); });
    connect(bPlayJoin, &QPushButton::clicked, this, Guarded([this] { bPlayJoinClick(); }));

    // The writers' progress within the job, on top of the jobs done.
    const auto progress = [this](TComponent*) { RunShowStep(); };
    FTools->WaveOut1->OnProgress = progress;
    FTools->MP3Out1->OnProgress = progress;
    FTools->WMAOut1->OnProgress = progress;
    WatchJoinPlays();
    UpdatePlayJoin();
}

void TfrmSegmentCut::DetachWaveform() {
    QObject::disconnect(lvMain->model(), nullptr, this, nullptr);
    QObject::disconnect(lvMain, nullptr, this, nullptr);
    for (QObject* sender : {static_cast<QObject*>(eOpenFile), static_cast<QObject*>(eStart),
                            static_cast<QObject*>(eEnd)})
        QObject::disconnect(sender, nullptr, this, nullptr);
}

void TfrmSegmentCut::MarkListedSegments() {
    const uint32_t rate = wfSegments->SampleRate();
    TWaveform::TMarkedRanges ranges;
    if (rate != 0) {
        // A row being inserted has no items yet; its texts arrive with the next change.
        for (int i = 0; i < lvMain->rowCount(); ++i) {
            const QTableWidgetItem* start = lvMain->item(i, 0);
            const QTableWidgetItem* end = lvMain->item(i, 1);
            if (!start || !end) continue;
            const std::string startText = start->text().toStdString();
            const std::string endText = end->text().toStdString();
            if (!IsTimeText(startText) || !IsTimeText(endText)) continue;
            ranges.emplace_back(MsToSample(TimeTextToMs(startText), rate),
                                MsToSample(TimeTextToMs(endText), rate));
        }
    }
    wfSegments->SetMarkedRanges(std::move(ranges));
    UpdatePlayJoin();
}

void TfrmSegmentCut::FillFieldsFromWaveform(int64_t Start, int64_t End) {
    const uint32_t rate = wfSegments->SampleRate();
    if (rate == 0) return;
    // The end may not pass the length the window shows, which Add to List checks against.
    const int32_t total = TimeTextToMs(lFileTime->text().toStdString());
    const int32_t startMs = std::min(SampleToTenths(Start, rate), total);
    const int32_t endMs = std::min(SampleToTenths(End, rate), total);
    eStart->setText(QString::fromStdString(MsToTimeText(startMs)));
    eEnd->setText(QString::fromStdString(MsToTimeText(endMs)));
    // The shaded selection is the stretch the fields now hold.
    wfSegments->SetSelection(MsToSample(startMs, rate), MsToSample(endMs, rate));
}

void TfrmSegmentCut::SelectFieldTimes() {
    const uint32_t rate = wfSegments->SampleRate();
    const std::string start = eStart->text().toStdString();
    const std::string end = eEnd->text().toStdString();
    if (rate == 0 || !IsTimeText(start) || !IsTimeText(end)) return;
    const int32_t startMs = TimeTextToMs(start);
    const int32_t endMs = TimeTextToMs(end);
    if (startMs < endMs)
        wfSegments->SetSelection(MsToSample(startMs, rate), MsToSample(endMs, rate));
}

void TfrmSegmentCut::UpdatePlayJoin() {
    bPlayJoin->setEnabled(!eOpenFile->text().isEmpty() && SelectedIndex() >= 0);
}

void TfrmSegmentCut::RunShowStep() {
    if (!FChain->Running()) return;
    if (!RunStatus1->Running()) RunStatus1->Start();
    // Cuts, then joins: a piece count of N makes N cuts and N - 1 joins.
    const int32_t pieces = std::max(PieceCount(), 1);
    const int32_t jobs = 2 * pieces - 1;
    const int32_t done = Cutting() ? Step() : pieces + Step();
    int32_t within = 0;
    for (const TAuOutput* writer : {static_cast<const TAuOutput*>(FTools->WaveOut1),
                                    static_cast<const TAuOutput*>(FTools->MP3Out1),
                                    static_cast<const TAuOutput*>(FTools->WMAOut1)})
        if (writer->Busy()) within = std::max(within, writer->LastProgress());
    RunStatus1->SetPercent(int32_t((int64_t(done) * 100 + within) / jobs));
}

void TfrmSegmentCut::RunShowEnd(const TChainStep& Step) {
    if (Step.State == TChainState::csFinished)
        ShowSavedOutput(*RunStatus1, OutputFileName);
    else if (Step.State == TChainState::csFailed)
        RunStatus1->ShowEnded(QStringLiteral("Not saved: ") + QString::fromStdString(Step.Message));
}

void TfrmSegmentCut::RunStatusCancel() {
    if (!Running()) return;
    // The writer stops before Abandon returns; the run's files and the unfinished output go.
    // A lossless join is told to stop and its unfinished output goes with its pending name.
    FChain->Abandon();
    FSplice.Stop();
    FSpliceOutput.reset();
    setWindowTitle(SavedCaption);
    bStart->setEnabled(true);
    if (FWaitCursor) {
        FWaitCursor = false;
        QGuiApplication::restoreOverrideCursor();
    }
    TimePoints.clear();
    RunStatus1->ShowEnded(QString::fromLatin1(kCancelledLine));
}

} // namespace sundral
