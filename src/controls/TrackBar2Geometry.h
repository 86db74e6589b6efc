// Geometry of the dual-thumb track bar as pure functions: thumb shapes, the track rectangle,
// value <-> pixel along the track, tick slots, the play-position line, hit zones of a mouse
// press, and the clamping rules of the two thumb positions.
//
// Everything here is integer arithmetic on plain values, with products taken in 64 bits and
// division truncating towards zero, so the control and its tests compute the same pixels.
// A range of zero or less (Max <= Min) and a track of zero or negative length never divide:
// every value then sits at the start of the track and every pixel maps to Min.
//
// Threading: pure functions, callable from any thread. Ownership: values only.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <QPoint>
#include <QRect>
#include <QSize>

namespace sundral {

enum class TOrientation { toHorizontal, toVertical };
enum class TTrackStyle { trUserDrawn, trFlat, trRaised, trLowered };
enum class TTickStyle { tiUserDrawn, tiLine, tiSquare, tiRaisedSquare, tiLoweredSquare };
enum class TTickOrientation { toTopLeft, toBottomRight, toBoth };
enum class TThumbStyle {
    tsUserDrawn,
    tsRectangle,
    tsRaisedRectangle,
    tsLoweredRectangle,
    tsSmallPointer,
    tsMediumPointer,
    tsLargePointer
};

bool IsPointerStyle(TThumbStyle Style);
bool IsRectangleStyle(TThumbStyle Style);

// The thumb picture's size, the thumb size the geometry works with (a pointer bitmap imposes
// its own), and the thumb offset: half the picture's extent along the track.
struct TThumbShape {
    QSize ImageSize;
    int ThumbSize = 0;
    int Offset = 0;
};

// Pointer bitmaps point at the ticks: up when the ticks are on top (or both sides), down when
// they are only below; left or right likewise for a vertical bar.
TThumbShape ThumbShapeFor(TThumbStyle Style, TOrientation Orientation,
                          TTickOrientation TickOrientation, int ThumbSize);

// The bar's geometry for one size, shape and range.
struct TTrackGeometry {
    TOrientation Orientation = TOrientation::toHorizontal;
    int Min = 0;
    int Max = 0;
    int Length = 0;      // track length L: the extent along the track minus the thumb size
    int ThumbOffset = 0; // half the thumb picture along the track
    int TrackOffset = 0; // where a thumb picture for Min starts along the track
    QRect Track;         // the track rectangle
    QSize ControlSize;
    QSize ThumbImage;
};

TTrackGeometry ComputeGeometry(QSize ControlSize, TOrientation Orientation,
                               const TThumbShape& Shape, int TrackSize, int Min, int Max);

// Top-left corner of the thumb picture for Value (not clamped: out-of-range values land
// outside the track, as the positions they stand for do).
QPoint ThumbOrigin(const TTrackGeometry& G, int Value);
QRect ThumbRect(const TTrackGeometry& G, int Value);

// The value a press or drag at Pixel (x for a horizontal bar, y for a vertical one) asks for,
// before the position setters clamp it.
int PixelToValue(const TTrackGeometry& G, int Pixel);

// Where the play-position line for P is drawn along the track: through the middle of a thumb
// standing at P. Nothing for P <= 0 (no line) or outside Min..Max.
std::optional<int> LinePixel(const TTrackGeometry& G, int P);

// x of each tick slot 0, Interval, 2 * Interval, ... below 32: the ticks mark 31 equal steps
// of the track whatever the range. Empty for an interval below 1.
std::vector<int> TickPixels(const TTrackGeometry& G, int Interval);

// What a left-button press at Point does.
enum class TPressAction { paDrag, paJump, paStepUp, paStepDown, paNone };
struct TPress {
    bool Upper = false; // the upper thumb is concerned, else the lower one
    TPressAction Action = TPressAction::paNone;
    int Value = 0; // the jump target for paJump
};
TPress ClassifyPress(const TTrackGeometry& G, int PositionL, int PositionU, bool SecondThumb,
                     QPoint Point, bool Shift);

// The positions the setters store for a requested Value.
int ClampPositionL(int Value, int Min, int Max, int PositionU, bool SecondThumb);
int ClampPositionU(int Value, int Min, int Max, int PositionL);

// Both positions brought back into a changed range, keeping the lower thumb below the upper
// one where the range allows it.
struct TPositions {
    int L = 0;
    int U = 0;
};
TPositions FitPositions(TPositions P, int Min, int Max, bool SecondThumb);

} // namespace sundral
