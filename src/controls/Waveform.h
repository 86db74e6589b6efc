// A waveform view of one sound file: its min/max peaks per pixel column for each channel,
// the selection shaded in the track bar's green, the play cursor, and a time ruler.
//
// Ctrl+wheel zooms around the pointer, the wheel alone (or the scroll bar shown when zoomed)
// scrolls sideways; the ruler's "Sel" and "Fit" buttons zoom to the selection and to the
// whole file. Dragging selects, dragging a selection edge moves that edge, and a click places
// the play cursor. Positions are sample frames; the column mapping is WaveformGeometry.h.
//
// The peaks come from a TPeakJob (a thread of its own, using the peak cache); the view
// redraws as they arrive, at kBaseSamplesPerPixel frames per bucket.
//
// Threading: GUI thread. Ownership: the view owns its peak job and its child controls.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QWidget>

#include "edit/WaveformGeometry.h"

class QScrollBar;
class QTimer;
class QToolButton;

namespace sundral {

class TPeakJob;

class TWaveform : public QWidget {
    Q_OBJECT
public:
    static constexpr int64_t kBaseSamplesPerPixel = 256;
    static constexpr int kRulerHeight = 16;
    static constexpr int kScrollHeight = 10;

    explicit TWaveform(QWidget* Parent = nullptr);
    ~TWaveform() override;

    // Starts reading the peaks of FileName (an empty name shows nothing).
    void SetFileName(const std::string& FileName, bool UseCache = true);
    const std::string& FileName() const { return FFileName; }
    // True once every peak is in (or the file could not be read).
    bool PeaksComplete() const;
    // Frames of the sound and its rate (0 until the reader told them).
    int64_t TotalSamples() const { return FView.TotalSamples; }
    uint32_t SampleRate() const { return FSampleRate; }

    int64_t SelectionStart() const { return FSelStart; }
    int64_t SelectionEnd() const { return FSelEnd; }
    // Sets the selection [Start, End) without raising SelectionChanged.
    void SetSelection(int64_t Start, int64_t End);
    // -1: none.
    int64_t Cursor() const { return FCursor; }
    void SetCursor(int64_t Sample);

    // Stretches [first, second) of frames shaded in red under the peaks (a tool's list of
    // segments); they do not take part in selecting.
    using TMarkedRanges = std::vector<std::pair<int64_t, int64_t>>;
    void SetMarkedRanges(TMarkedRanges Ranges);
    const TMarkedRanges& MarkedRanges() const { return FMarked; }

    const TWaveView& View() const { return FView; }
    // The columns the waveform is drawn in (the widget's width).
    int Columns() const { return width(); }

    void ZoomToSelection();
    void Fit();
    // Ctrl+wheel's step, also for tests: Steps > 0 zooms in around column X.
    void ZoomAt(int X, int Steps);

    QToolButton* FitButton() const { return FFitButton; }
    QToolButton* ZoomSelectionButton() const { return FZoomSelectionButton; }

signals:
    // While and after a drag (Start < End).
    void SelectionChanged(qint64 Start, qint64 End);
    void CursorPlaced(qint64 Sample);
    // The sound's length or rate became known or changed (as the peaks come in).
    void SoundChanged();

protected:
    void paintEvent(QPaintEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    void wheelEvent(QWheelEvent* Event) override;

private:
    enum class TDrag { None, Pending, Select, StartEdge, EndEdge };

    void Poll();
    void SetView(const TWaveView& View);
    void SyncScrollBar();
    int64_t SampleAtX(int X) const;
    void PaintPeaks(class QPainter& Canvas, const QRect& Area);
    void PaintRuler(QPainter& Canvas);
    void PaintMarked(QPainter& Canvas, const QRect& Area);

    std::string FFileName;
    std::unique_ptr<TPeakJob> FJob;
    QTimer* FPollTimer = nullptr;
    QScrollBar* FScroll = nullptr;
    QToolButton* FFitButton = nullptr;
    QToolButton* FZoomSelectionButton = nullptr;
    TWaveView FView;
    bool FFitted = true; // follows the width and the growing length while not zoomed
    uint32_t FSampleRate = 0;
    int64_t FSelStart = 0;
    int64_t FSelEnd = 0;
    int64_t FCursor = -1;
    TDrag FDrag = TDrag::None;
    int FPressX = 0;
    int64_t FAnchor = 0;
    bool FScrollSync = false;
    TMarkedRanges FMarked;
};

} // namespace sundral
