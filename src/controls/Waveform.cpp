#include "controls/Waveform.h"

#include <algorithm>
#include <utility>

#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>

#include "edit/Peaks.h"

namespace sundral {
namespace {

// How near (in columns) to a selection edge a press takes that edge.
constexpr int kEdgeGrip = 3;
// How far the pointer moves before a press becomes a drag.
constexpr int kDragStart = 2;
constexpr int kPollMs = 40;

} // namespace

TWaveform::TWaveform(QWidget* Parent) : QWidget(Parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    FPollTimer = new QTimer(this);
    FPollTimer->setInterval(kPollMs);
    connect(FPollTimer, &QTimer::timeout, this, [this] { Poll(); });

    FScroll = new QScrollBar(Qt::Horizontal, this);
    FScroll->setObjectName(QStringLiteral("waveScroll"));
    FScroll->hide();
    connect(FScroll, &QScrollBar::valueChanged, this, [this](int Value) {
        if (FScrollSync) return;
        TWaveView view = FView;
        view.FirstSample = int64_t(Value) * view.SamplesPerPixel;
        SetView(ClampView(view));
    });

    auto makeButton = [this](const char* Name, const char* Text, const char* Tip) {
        auto* button = new QToolButton(this);
        button->setObjectName(QString::fromLatin1(Name));
        button->setText(QString::fromLatin1(Text));
        button->setToolTip(QString::fromLatin1(Tip));
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        return button;
    };
    FZoomSelectionButton = makeButton("bZoomSelection", "Sel", "Zoom to selection");
    FFitButton = makeButton("bFit", "Fit", "Show the whole file");
    connect(FZoomSelectionButton, &QToolButton::clicked, this, [this] { ZoomToSelection(); });
    connect(FFitButton, &QToolButton::clicked, this, [this] { Fit(); });
}

TWaveform::~TWaveform() = default;

void TWaveform::SetFileName(const std::string& FileName, bool UseCache) {
    FJob.reset();
    FFileName = FileName;
    FSampleRate = 0;
    FCursor = -1;
    FSelStart = FSelEnd = 0;
    FFitted = true;
    FView = FitView(0, Columns());
    if (!FileName.empty()) {
        FJob = std::make_unique<TPeakJob>(FileName, kBaseSamplesPerPixel, UseCache);
        FPollTimer->start();
    }
    Poll();
}

bool TWaveform::PeaksComplete() const {
    return !FJob || FJob->State() != TPeakJob::TState::Running;
}

void TWaveform::Poll() {
    if (!FJob) {
        FPollTimer->stop();
        SyncScrollBar();
        update();
        return;
    }
    const bool running = FJob->State() == TPeakJob::TState::Running;
    int64_t total = FJob->ExpectedFrames();
    const uint32_t rate = FSampleRate;
    FJob->Read([&](const TPeakData& Peaks) {
        if (Peaks.SampleRate) FSampleRate = Peaks.SampleRate;
        // Once complete, the frames decoded are the length (an estimate before).
        if (!running && Peaks.Channels) total = Peaks.TotalFrames;
    });
    const bool changed = total != FView.TotalSamples || rate != FSampleRate;
    if (total != FView.TotalSamples) {
        TWaveView view = FView;
        view.TotalSamples = total;
        SetView(FFitted ? FitView(total, Columns()) : ClampView(view));
    }
    if (changed) emit SoundChanged();
    if (!running) FPollTimer->stop();
    update();
}

void TWaveform::SetView(const TWaveView& View) {
    FView = View;
    FFitted = View.FirstSample == 0 &&
              View.SamplesPerPixel == FitSamplesPerPixel(View.TotalSamples, View.Width);
    SyncScrollBar();
    update();
}

void TWaveform::SyncScrollBar() {
    const int64_t columns =
        (FView.TotalSamples + FView.SamplesPerPixel - 1) / FView.SamplesPerPixel;
    const int64_t range = std::max<int64_t>(0, columns - FView.Width);
    FScrollSync = true;
    FScroll->setRange(0, int(std::min<int64_t>(range, INT32_MAX)));
    FScroll->setPageStep(FView.Width);
    FScroll->setValue(int(std::min<int64_t>(FView.FirstSample / FView.SamplesPerPixel, INT32_MAX)));
    FScrollSync = false;
    FScroll->setVisible(range > 0);
}

void TWaveform::resizeEvent(QResizeEvent* Event) {
    QWidget::resizeEvent(Event);
    FScroll->setGeometry(0, height() - kScrollHeight, width(), kScrollHeight);
    const int side = kRulerHeight;
    FFitButton->setGeometry(width() - side * 2 - 2, 0, side * 2, side);
    FZoomSelectionButton->setGeometry(width() - side * 4 - 4, 0, side * 2, side);
    TWaveView view = FView;
    view.Width = std::max(Columns(), 1);
    SetView(FFitted ? FitView(view.TotalSamples, view.Width) : ClampView(view));
}

void TWaveform::SetSelection(int64_t Start, int64_t End) {
    if (End < Start) std::swap(Start, End);
    if (Start == FSelStart && End == FSelEnd) return;
    FSelStart = Start;
    FSelEnd = End;
    update();
}

void TWaveform::SetMarkedRanges(TMarkedRanges Ranges) {
    if (Ranges == FMarked) return;
    FMarked = std::move(Ranges);
    update();
}

void TWaveform::SetCursor(int64_t Sample) {
    if (Sample == FCursor) return;
    FCursor = Sample;
    update();
}

void TWaveform::ZoomToSelection() {
    if (FSelEnd <= FSelStart) return;
    SetView(ZoomToRange(FView, FSelStart, FSelEnd));
}

void TWaveform::Fit() {
    SetView(FitView(FView.TotalSamples, Columns()));
}

void TWaveform::ZoomAt(int X, int Steps) {
    int64_t level = FView.SamplesPerPixel;
    for (int i = 0; i < Steps; ++i) level = ZoomInLevel(level);
    for (int i = 0; i > Steps; --i) level = ZoomOutLevel(level);
    SetView(ZoomAround(FView, X, level));
}

int64_t TWaveform::SampleAtX(int X) const {
    return std::clamp<int64_t>(PixelToSample(FView, X), 0, FView.TotalSamples);
}

void TWaveform::mousePressEvent(QMouseEvent* Event) {
    if (Event->button() != Qt::LeftButton || FView.TotalSamples == 0) return;
    const int x = int(Event->position().x());
    FPressX = x;
    FDrag = TDrag::Pending;
    if (FSelEnd > FSelStart) {
        if (std::abs(x - SampleToPixel(FView, FSelStart)) <= kEdgeGrip)
            FDrag = TDrag::StartEdge;
        else if (std::abs(x - SampleToPixel(FView, FSelEnd)) <= kEdgeGrip)
            FDrag = TDrag::EndEdge;
    }
    FAnchor = SampleAtX(x);
}

void TWaveform::mouseMoveEvent(QMouseEvent* Event) {
    const int x = int(Event->position().x());
    if (FDrag == TDrag::None) {
        const bool nearEdge =
            FSelEnd > FSelStart && (std::abs(x - SampleToPixel(FView, FSelStart)) <= kEdgeGrip ||
                                    std::abs(x - SampleToPixel(FView, FSelEnd)) <= kEdgeGrip);
        setCursor(nearEdge ? Qt::SizeHorCursor : Qt::IBeamCursor);
        return;
    }
    if (FDrag == TDrag::Pending) {
        if (std::abs(x - FPressX) <= kDragStart) return;
        FDrag = TDrag::Select;
    }
    const int64_t sample = SampleAtX(x);
    int64_t start = FSelStart, end = FSelEnd;
    if (FDrag == TDrag::Select) {
        start = std::min(FAnchor, sample);
        end = std::max(FAnchor, sample);
    } else {
        // An edge dragged past the other one becomes the other edge.
        (FDrag == TDrag::StartEdge ? start : end) = sample;
        if (start > end) {
            std::swap(start, end);
            FDrag = FDrag == TDrag::StartEdge ? TDrag::EndEdge : TDrag::StartEdge;
        }
    }
    if (end <= start || (start == FSelStart && end == FSelEnd)) return;
    SetSelection(start, end);
    emit SelectionChanged(FSelStart, FSelEnd);
}

void TWaveform::mouseReleaseEvent(QMouseEvent* Event) {
    if (Event->button() != Qt::LeftButton) return;
    const TDrag drag = FDrag;
    FDrag = TDrag::None;
    if (drag == TDrag::Pending || drag == TDrag::StartEdge || drag == TDrag::EndEdge) {
        // An edge pressed but not moved is a click too.
        if (std::abs(int(Event->position().x()) - FPressX) > kDragStart) return;
        SetCursor(SampleAtX(FPressX));
        emit CursorPlaced(FCursor);
    }
}

void TWaveform::wheelEvent(QWheelEvent* Event) {
    const QPoint delta = Event->angleDelta();
    if (Event->modifiers() & Qt::ControlModifier) {
        const int steps = delta.y() / 120;
        if (steps != 0) ZoomAt(int(Event->position().x()), steps);
        Event->accept();
        return;
    }
    const int sideways = delta.x() != 0 ? delta.x() : delta.y();
    if (sideways == 0 || FFitted) {
        Event->ignore();
        return;
    }
    SetView(ScrollBy(FView, -int64_t(sideways) * FView.Width / 8 / 120));
    Event->accept();
}

} // namespace sundral
