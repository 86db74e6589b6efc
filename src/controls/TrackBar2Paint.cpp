// Painting of the track bar: track, ticks, thumbs with the band between them, the XOR
// position line and the focus rectangle, in that order, composed in an image first.
#include <exception>

#include <QPaintEvent>
#include <QPainter>

#include "controls/TrackBar2.h"
#include "platform/uisync.h"

namespace sundral {
namespace {

const QColor kPositionLineColor{0, 200, 200};

// Runs a user's drawing handler with the canvas settings saved around it.
template <class F> void WithSavedCanvas(QPainter& Canvas, F Draw) {
    Canvas.save();
    try {
        Draw();
    } catch (...) {
        Canvas.restore();
        throw;
    }
    Canvas.restore();
}

} // namespace

void TTrackBar2::paintEvent(QPaintEvent*) {
    if (width() <= 0 || height() <= 0) return;
    if (FBuffer.size() != size()) FBuffer = QImage(size(), QImage::Format_RGB32);
    std::exception_ptr failure;
    {
        QPainter canvas(&FBuffer);
        FCanvas = &canvas;
        canvas.fillRect(FBuffer.rect(), palette().color(backgroundRole()));
        FLowerBackground = QImage();
        FUpperBackground = QImage();
        try {
            if (OnPaint) WithSavedCanvas(canvas, [&] { OnPaint(this); });
            DrawTrack(canvas);
            DrawTicks(canvas);
            DrawThumbs(canvas);
            DrawPositionLine(canvas, FLinePosition);
            if (hasFocus()) DrawFocusRect(canvas);
        } catch (...) {
            failure = std::current_exception();
        }
        FCanvas = nullptr;
    }
    QPainter(this).drawImage(0, 0, FBuffer);
    if (failure) {
        // A message box shown from inside a paint would paint again before this one ends.
        QMetaObject::invokeMethod(
            this, [failure] { ReportApplicationError(failure); }, Qt::QueuedConnection);
    }
}

void TTrackBar2::DrawTrack(QPainter& Canvas) {
    if (FTrackStyle == TTrackStyle::trUserDrawn) {
        DoDrawTrack(Canvas);
        return;
    }
    const QRect track = FGeometry.Track;
    if (track.isEmpty()) return;
    if (isEnabled()) {
        Canvas.fillRect(track, FTrackColor);
    } else {
        Canvas.fillRect(track, QBrush(FHatch));
    }
    if (FTrackStyle == TTrackStyle::trRaised) DrawBevel(Canvas, track, true);
    if (FTrackStyle == TTrackStyle::trLowered) DrawBevel(Canvas, track, false);
}

void TTrackBar2::DoDrawTrack(QPainter& Canvas) {
    if (OnDrawTrack) WithSavedCanvas(Canvas, [&] { OnDrawTrack(this, Canvas); });
}

void TTrackBar2::DrawTicks(QPainter& Canvas) {
    // A vertical bar has no ticks; TickPixels gives none for it.
    const std::vector<int> ticks = TickPixels(FGeometry, FTickInterval);
    std::vector<int> rows;
    if (FTickOrientation != TTickOrientation::toBottomRight) rows.push_back(2);
    if (FTickOrientation != TTickOrientation::toTopLeft) rows.push_back(height() - FTickSize - 2);
    for (int row : rows) {
        for (size_t n = 0; n < ticks.size(); ++n) {
            const int x = ticks[n];
            switch (FTickStyle) {
            case TTickStyle::tiUserDrawn:
                DoDrawTick(Canvas, x, row, static_cast<int>(n) * FTickInterval);
                break;
            case TTickStyle::tiLine:
                if (FTickSize > 0) Canvas.fillRect(QRect(x, row, 1, FTickSize), FTickColor);
                break;
            default:
                if (!FTickImage.isNull()) Canvas.drawImage(x - FTickSize / 2, row, FTickImage);
                break;
            }
        }
    }
}

void TTrackBar2::DoDrawTick(QPainter& Canvas, int X, int Y, int Position) {
    if (OnDrawTick) WithSavedCanvas(Canvas, [&] { OnDrawTick(this, Canvas, X, Y, Position); });
}

QImage TTrackBar2::ThumbPictureOver(const QImage& Background) const {
    QImage picture;
    if (IsPointerStyle(FThumbStyle)) {
        // The pointer is drawn transparently over what lies under it.
        picture = Background;
        MaskedCopy(picture, FThumb.Mask, FThumb.Image);
    } else {
        picture = FThumb.Image;
    }
    if (!isEnabled() && FDitherThumb && !picture.isNull()) {
        FloodFillPattern(picture, QPoint(picture.width() / 2, picture.height() / 2), FHatch);
    }
    return picture;
}

void TTrackBar2::DrawThumbs(QPainter& Canvas) {
    const QRect lower = LowerThumbRect();
    const QRect upper = UpperThumbRect();
    // Both backgrounds are saved before either thumb covers them: the thumbs may overlap.
    FLowerBackground = FBuffer.copy(lower);
    if (FSecondThumb) FUpperBackground = FBuffer.copy(upper);
    if (FThumbStyle == TThumbStyle::tsUserDrawn) {
        DoDrawThumb(Canvas, lower.x(), lower.y());
        if (FSecondThumb) DoDrawThumb(Canvas, upper.x(), upper.y());
        return;
    }
    Canvas.drawImage(lower.topLeft(), ThumbPictureOver(FLowerBackground));
    if (!FSecondThumb) return;
    Canvas.drawImage(upper.topLeft(), ThumbPictureOver(FUpperBackground));
    // The band between the thumbs, across the track.
    const QRect track = FGeometry.Track;
    QRect band;
    if (FOrientation == TOrientation::toHorizontal) {
        band = QRect(QPoint(lower.x() + lower.width(), track.top()),
                     QPoint(upper.x() - 1, track.bottom()));
    } else {
        band = QRect(QPoint(track.left(), upper.y() + upper.height()),
                     QPoint(track.right(), lower.y() - 1));
    }
    // A disabled bar selects nothing: its track stays hatched between the thumbs too.
    if (isEnabled() && band.width() > 0 && band.height() > 0)
        Canvas.fillRect(band, FTrackCenterColor);
}

void TTrackBar2::DoDrawThumb(QPainter& Canvas, int X, int Y) {
    if (OnDrawThumb) WithSavedCanvas(Canvas, [&] { OnDrawThumb(this, Canvas, X, Y); });
}

void TTrackBar2::DrawPositionLine(QPainter& Canvas, int P) {
    const std::optional<int> at = LinePixel(FGeometry, P);
    if (!at) return;
    Canvas.save();
    Canvas.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    // Across the whole control: a vertical line on a horizontal bar, and the other way round.
    if (FOrientation == TOrientation::toHorizontal) {
        Canvas.fillRect(QRect(*at, 0, 1, height()), kPositionLineColor);
    } else {
        Canvas.fillRect(QRect(0, *at, width(), 1), kPositionLineColor);
    }
    Canvas.restore();
}

void TTrackBar2::DrawFocusRect(QPainter& Canvas) {
    // A dotted frame that inverts every other pixel, so it shows on any colour.
    QImage dots(2, 2, QImage::Format_RGB32);
    dots.fill(kTbBlack);
    dots.setPixel(0, 0, kTbWhite.rgb());
    dots.setPixel(1, 1, kTbWhite.rgb());
    const QBrush pattern(dots);
    const int w = width();
    const int h = height();
    Canvas.save();
    Canvas.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    Canvas.fillRect(QRect(0, 0, w, 1), pattern);
    Canvas.fillRect(QRect(0, h - 1, w, 1), pattern);
    Canvas.fillRect(QRect(0, 1, 1, h - 2), pattern);
    Canvas.fillRect(QRect(w - 1, 1, 1, h - 2), pattern);
    Canvas.restore();
}

} // namespace sundral
