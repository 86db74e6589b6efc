#include "controls/TrackBar2Geometry.h"

#include <algorithm>
#include <limits>

namespace sundral {
namespace {

int Saturate(int64_t Value) {
    return static_cast<int>(std::clamp<int64_t>(Value, std::numeric_limits<int>::min(),
                                                std::numeric_limits<int>::max()));
}

int64_t Range(const TTrackGeometry& G) {
    return int64_t{G.Max} - G.Min;
}

// Distance in pixels of Steps range units along the track; 0 when there is no range.
int64_t Along(const TTrackGeometry& G, int64_t Steps) {
    const int64_t range = Range(G);
    return range > 0 ? G.Length * Steps / range : 0;
}

bool Horizontal(const TTrackGeometry& G) {
    return G.Orientation == TOrientation::toHorizontal;
}

// Pointer bitmaps: width x height of the upward pointer; the vertical ones are transposed.
QSize PointerSize(TThumbStyle Style) {
    switch (Style) {
    case TThumbStyle::tsSmallPointer:
        return {8, 12};
    case TThumbStyle::tsMediumPointer:
        return {12, 18};
    default:
        return {16, 24};
    }
}

} // namespace

bool IsPointerStyle(TThumbStyle Style) {
    return Style == TThumbStyle::tsSmallPointer || Style == TThumbStyle::tsMediumPointer ||
           Style == TThumbStyle::tsLargePointer;
}

bool IsRectangleStyle(TThumbStyle Style) {
    return Style == TThumbStyle::tsRectangle || Style == TThumbStyle::tsRaisedRectangle ||
           Style == TThumbStyle::tsLoweredRectangle;
}

TThumbShape ThumbShapeFor(TThumbStyle Style, TOrientation Orientation, TTickOrientation,
                          int ThumbSize) {
    const bool horizontal = Orientation == TOrientation::toHorizontal;
    TThumbShape shape;
    if (IsPointerStyle(Style)) {
        const QSize up = PointerSize(Style);
        shape.ImageSize = horizontal ? up : up.transposed();
        shape.ThumbSize = horizontal ? shape.ImageSize.width() : shape.ImageSize.height();
        shape.Offset = shape.ThumbSize / 2;
    } else if (IsRectangleStyle(Style)) {
        shape.ImageSize =
            horizontal ? QSize(ThumbSize / 2, ThumbSize) : QSize(ThumbSize, ThumbSize / 2);
        shape.ThumbSize = ThumbSize;
        shape.Offset = ThumbSize / 4;
    } else {
        shape.ImageSize = QSize(ThumbSize, ThumbSize);
        shape.ThumbSize = ThumbSize;
        shape.Offset = ThumbSize / 2;
    }
    return shape;
}

TTrackGeometry ComputeGeometry(QSize ControlSize, TOrientation Orientation,
                               const TThumbShape& Shape, int TrackSize, int Min, int Max) {
    TTrackGeometry g;
    g.Orientation = Orientation;
    g.Min = Min;
    g.Max = Max;
    g.ControlSize = ControlSize;
    g.ThumbImage = Shape.ImageSize;
    g.ThumbOffset = Shape.Offset;
    const bool horizontal = Orientation == TOrientation::toHorizontal;
    const int extent = horizontal ? ControlSize.width() : ControlSize.height();
    const int cross = horizontal ? ControlSize.height() : ControlSize.width();
    g.Length = Saturate(int64_t{extent} - Shape.ThumbSize);
    // The track is centred along the control: it starts half a thumb in and is L long, so a
    // thumb at either end of the range still fits.
    const int start = Saturate((int64_t{extent} - g.Length) / 2);
    g.TrackOffset = start - Shape.Offset;
    const int crossStart = cross / 2 - TrackSize / 2;
    const int crossEnd = cross / 2 + TrackSize / 2;
    if (horizontal) {
        g.Track = QRect(QPoint(start, crossStart), QPoint(start + g.Length - 1, crossEnd - 1));
    } else {
        g.Track = QRect(QPoint(crossStart, start), QPoint(crossEnd - 1, start + g.Length - 1));
    }
    return g;
}

QPoint ThumbOrigin(const TTrackGeometry& G, int Value) {
    if (Horizontal(G)) {
        return {Saturate(Along(G, int64_t{Value} - G.Min) + G.TrackOffset),
                G.ControlSize.height() / 2 - G.ThumbImage.height() / 2};
    }
    return {G.ControlSize.width() / 2 - G.ThumbImage.width() / 2,
            Saturate(Along(G, int64_t{G.Max} - Value) + G.TrackOffset)};
}

QRect ThumbRect(const TTrackGeometry& G, int Value) {
    return {ThumbOrigin(G, Value), G.ThumbImage};
}

int PixelToValue(const TTrackGeometry& G, int Pixel) {
    const int64_t range = Range(G);
    if (range <= 0 || G.Length <= 0) return G.Min;
    const int64_t steps = (int64_t{Pixel} - G.ThumbOffset) * range / G.Length;
    // A vertical bar has its high values at the top.
    return Saturate(Horizontal(G) ? G.Min + steps : G.Max - steps);
}

std::optional<int> LinePixel(const TTrackGeometry& G, int P) {
    if (P <= 0 || P < G.Min || P > G.Max) return std::nullopt;
    const int64_t steps = Horizontal(G) ? int64_t{P} - G.Min : int64_t{G.Max} - P;
    return Saturate(Along(G, steps) + G.TrackOffset + G.ThumbOffset);
}

std::vector<int> TickPixels(const TTrackGeometry& G, int Interval) {
    std::vector<int> pixels;
    if (Interval < 1 || !Horizontal(G)) return pixels;
    constexpr int kSlots = 32;
    for (int n = 0; n < kSlots; n += Interval) {
        pixels.push_back(
            Saturate(int64_t{n} * G.Length / (kSlots - 1) + G.ThumbOffset + G.TrackOffset));
    }
    return pixels;
}

TPress ClassifyPress(const TTrackGeometry& G, int PositionL, int PositionU, bool SecondThumb,
                     QPoint Point, bool Shift) {
    const QRect lower = ThumbRect(G, PositionL);
    const QRect upper = ThumbRect(G, PositionU);
    const bool horizontal = Horizontal(G);
    TPress press;
    if (SecondThumb) {
        // The zones meet halfway across the gap between the two thumbs.
        if (horizontal) {
            press.Upper = Point.x() > (lower.x() + lower.width() + upper.x()) / 2;
        } else {
            press.Upper = Point.y() < (lower.y() + upper.y() + upper.height()) / 2;
        }
    }
    const QRect thumb = press.Upper ? upper : lower;
    if (thumb.contains(Point)) {
        press.Action = TPressAction::paDrag;
    } else if (!Shift) {
        press.Action = TPressAction::paJump;
        press.Value = PixelToValue(G, horizontal ? Point.x() : Point.y());
    } else if (horizontal) {
        if (Point.x() >= thumb.x() + thumb.width()) press.Action = TPressAction::paStepUp;
        if (Point.x() < thumb.x()) press.Action = TPressAction::paStepDown;
    } else {
        if (Point.y() < thumb.y()) press.Action = TPressAction::paStepUp;
        if (Point.y() >= thumb.y() + thumb.height()) press.Action = TPressAction::paStepDown;
    }
    return press;
}

int ClampPositionL(int Value, int Min, int Max, int PositionU, bool SecondThumb) {
    if (SecondThumb && Value >= PositionU) Value = Saturate(int64_t{PositionU} - 1);
    return std::max(std::min(Value, Max), Min);
}

int ClampPositionU(int Value, int Min, int Max, int PositionL) {
    if (Value > Max) return Max;
    if (Value <= PositionL) Value = Saturate(int64_t{PositionL} + 1);
    // A lower thumb already at the top leaves no room above it.
    return std::max(std::min(Value, Max), Min);
}

TPositions FitPositions(TPositions P, int Min, int Max, bool SecondThumb) {
    P.U = std::max(std::min(P.U, Max), Min);
    P.L = std::max(std::min(P.L, Max), Min);
    if (SecondThumb && P.L >= P.U) {
        // Move whichever thumb still has room, the lower one first.
        if (P.U > Min) {
            P.L = P.U - 1;
        } else if (P.L < Max) {
            P.U = P.L + 1;
        }
    }
    return P;
}

} // namespace sundral
