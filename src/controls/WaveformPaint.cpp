// Drawing the waveform view: ruler, peaks per channel lane, selection and play cursor.
#include <algorithm>

#include <QPainter>
#include <QScrollBar>
#include <QToolButton>

#include "controls/Waveform.h"
#include "edit/Global.h"
#include "edit/Peaks.h"

namespace sundral {
namespace {

const QColor kBackground(0xFA, 0xFA, 0xFA);
const QColor kRulerBackground(0xE4, 0xE4, 0xE4);
const QColor kWave(0x20, 0x3A, 0x6A);
const QColor kLaneLine(0xC8, 0xC8, 0xC8);
// The track bar's selection green, as a shade and as the edges.
const QColor kSelectionShade(0x00, 0x80, 0x00, 64);
const QColor kSelectionEdge(0x00, 0x80, 0x00);
// The segments a tool removes.
const QColor kMarkedShade(0xE0, 0x20, 0x20, 72);
const QColor kMarkedEdge(0xC0, 0x10, 0x10);
const QColor kCursor(0xD0, 0x10, 0x10);
// The ruler's labels are "00:00:00.0" wide; marks stand at least this far apart.
constexpr int kRulerSpacing = 84;

} // namespace

void TWaveform::paintEvent(QPaintEvent*) {
    QPainter canvas(this);
    canvas.fillRect(rect(), kBackground);
    const int bottom = height() - (FScroll->isVisible() ? kScrollHeight : 0);
    const QRect area(0, kRulerHeight, width(), std::max(bottom - kRulerHeight, 1));

    PaintMarked(canvas, area);
    if (FSelEnd > FSelStart && FView.TotalSamples > 0) {
        const int64_t x0 = std::max<int64_t>(SampleToPixel(FView, FSelStart), -1);
        const int64_t x1 = std::min<int64_t>(SampleToPixel(FView, FSelEnd), width());
        if (x1 >= 0 && x0 <= width()) {
            canvas.fillRect(QRect(int(x0), area.top(), int(x1 - x0 + 1), area.height()),
                            kSelectionShade);
            canvas.setPen(kSelectionEdge);
            canvas.drawLine(int(x0), area.top(), int(x0), area.bottom());
            canvas.drawLine(int(x1), area.top(), int(x1), area.bottom());
        }
    }
    PaintPeaks(canvas, area);
    if (FCursor >= 0 && FView.TotalSamples > 0) {
        const int64_t x = SampleToPixel(FView, FCursor);
        if (x >= 0 && x < width()) {
            canvas.setPen(kCursor);
            canvas.drawLine(int(x), area.top(), int(x), area.bottom());
        }
    }
    PaintRuler(canvas);
    canvas.setPen(kLaneLine);
    canvas.drawRect(rect().adjusted(0, 0, -1, -1));
}

void TWaveform::PaintMarked(QPainter& Canvas, const QRect& Area) {
    if (FView.TotalSamples == 0) return;
    for (const auto& [start, end] : FMarked) {
        if (end <= start) continue;
        const int64_t x0 = std::max<int64_t>(SampleToPixel(FView, start), -1);
        const int64_t x1 = std::min<int64_t>(SampleToPixel(FView, end), width());
        if (x1 < 0 || x0 > width()) continue;
        Canvas.fillRect(
            QRect(int(x0), Area.top(), int(std::max<int64_t>(x1 - x0, 1)), Area.height()),
            kMarkedShade);
        Canvas.setPen(kMarkedEdge);
        Canvas.drawLine(int(x0), Area.top(), int(x0), Area.bottom());
        Canvas.drawLine(int(x1), Area.top(), int(x1), Area.bottom());
    }
}

void TWaveform::PaintPeaks(QPainter& Canvas, const QRect& Area) {
    if (!FJob) return;
    FJob->Read([&](const TPeakData& Peaks) {
        if (Peaks.Channels == 0 || Peaks.SamplesPerPixel < 1) return;
        const int64_t buckets = Peaks.Buckets();
        const int lanes = int(Peaks.Channels);
        const int laneHeight = Area.height() / lanes;
        for (int lane = 0; lane < lanes; ++lane) {
            const int top = Area.top() + lane * laneHeight;
            const int middle = top + laneHeight / 2;
            const double scale = (laneHeight / 2 - 1) / 32768.0;
            Canvas.setPen(kLaneLine);
            Canvas.drawLine(0, middle, width(), middle);
            if (lane > 0) Canvas.drawLine(0, top, width(), top);
            Canvas.setPen(kWave);
            for (int x = 0; x < width(); ++x) {
                const int64_t first = PixelToSample(FView, x);
                if (first >= FView.TotalSamples) break;
                const int64_t last = first + FView.SamplesPerPixel - 1;
                const int64_t b0 = first / Peaks.SamplesPerPixel;
                const int64_t b1 = std::min(last / Peaks.SamplesPerPixel, buckets - 1);
                if (b0 >= buckets) break; // not decoded yet
                int lo = INT16_MAX, hi = INT16_MIN;
                for (int64_t b = b0; b <= b1; ++b) {
                    lo = std::min<int>(lo, Peaks.Min(b, uint32_t(lane)));
                    hi = std::max<int>(hi, Peaks.Max(b, uint32_t(lane)));
                }
                Canvas.drawLine(x, middle - int(hi * scale), x, middle - int(lo * scale));
            }
        }
    });
}

void TWaveform::PaintRuler(QPainter& Canvas) {
    const QRect ruler(0, 0, width(), kRulerHeight);
    Canvas.fillRect(ruler, kRulerBackground);
    Canvas.setPen(kLaneLine);
    Canvas.drawLine(0, kRulerHeight - 1, width(), kRulerHeight - 1);
    if (FSampleRate == 0 || FView.TotalSamples == 0) return;
    const int64_t step = RulerStepMs(FView.SamplesPerPixel, FSampleRate, kRulerSpacing);
    const int64_t firstMs = SampleToMs(FView.FirstSample, FSampleRate);
    const int64_t labelsEnd = FZoomSelectionButton->x() - 4;
    Canvas.setPen(Qt::black);
    QFont font = Canvas.font();
    font.setPixelSize(10);
    Canvas.setFont(font);
    for (int64_t ms = (firstMs + step - 1) / step * step;; ms += step) {
        const int64_t sample = MsToSample(ms, FSampleRate);
        if (sample > FView.TotalSamples) break;
        const int64_t x = SampleToPixel(FView, sample);
        if (x >= width()) break;
        Canvas.drawLine(int(x), kRulerHeight - 5, int(x), kRulerHeight - 1);
        const QString label =
            QString::fromStdString(MsToTimeText(int32_t(std::min<int64_t>(ms, INT32_MAX))));
        if (x + 3 + Canvas.fontMetrics().horizontalAdvance(label) < labelsEnd)
            Canvas.drawText(int(x) + 3, kRulerHeight - 4, label);
    }
}

} // namespace sundral
