// The pictures the dual-thumb track bar draws with: thumb pictures for every style, the
// pointer bitmaps and their masks (drawn here, pixel by pixel), the square tick picture, the
// 8x8 hatch of a disabled bar, 3-D edges, and the two raster operations the bar needs
// (a pattern flood fill and the AND-mask / OR-image transparent copy).
//
// All pictures are QImage::Format_RGB32, opaque.
//
// Threading: pure functions over images the caller owns; any thread. Ownership: returned
// images are values.
#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>

#include "controls/TrackBar2Geometry.h"

class QPainter;

namespace sundral {

inline const QColor kTbWhite{0xFF, 0xFF, 0xFF};
inline const QColor kTbBlack{0x00, 0x00, 0x00};
inline const QColor kTbSilver{0xC0, 0xC0, 0xC0};
inline const QColor kTbGrey{0x80, 0x80, 0x80};

// The name of the pointer bitmap a pointer style shows for the orientation and tick sides
// ("SMUPTHUMB", "MEDLEFTTHUMB", ...); empty for the other styles. Its mask is the same name
// followed by "MASK".
QString PointerBitmapName(TThumbStyle Style, TOrientation Orientation,
                          TTickOrientation TickOrientation);

// The pointer bitmap or mask of that name, or a null image for an unknown name. A bitmap is
// black outside the pointer; its mask is black inside and white outside, so that
// (background AND mask) OR bitmap draws the pointer over the background.
QImage PointerBitmap(const QString& Name);

// A thumb's picture and, for pointer styles, its mask (null otherwise). Rectangle styles are
// filled with ThumbColor and edged per style; a user-drawn thumb is a blank ThumbColor square
// the user's handler draws over.
struct TThumbPicture {
    QImage Image;
    QImage Mask;
};
TThumbPicture BuildThumbPicture(TThumbStyle Style, TOrientation Orientation,
                                TTickOrientation TickOrientation, int ThumbSize,
                                const QColor& ThumbColor);

// The picture of one square tick; a null image for the line and user-drawn styles.
QImage BuildTickPicture(TTickStyle Style, int TickSize, const QColor& TickColor);

// The 8x8 hatch: TrackColor where x + y is even, silver where it is odd (grey when the track
// itself is silver, so the hatch still shows).
QImage BuildHatchPicture(const QColor& TrackColor);

// One-pixel frame just inside Rect: TopLeft along the top and left edges, BottomRight along
// the right and bottom edges (which also take the top-right and bottom-left corners).
void DrawFrame(QPainter& Canvas, const QRect& Rect, const QColor& TopLeft,
               const QColor& BottomRight);
// The two-pixel 3-D edge of raised (or, with Raised false, lowered) rectangles and tracks.
void DrawBevel(QPainter& Canvas, const QRect& Rect, bool Raised);

// Fills the 4-connected area of Seed's colour with Pattern, tiled from the image's origin.
void FloodFillPattern(QImage& Image, QPoint Seed, const QImage& Pattern);

// Background := (Background AND Mask) OR Bitmap, pixel by pixel over their common size.
void MaskedCopy(QImage& Background, const QImage& Mask, const QImage& Bitmap);

} // namespace sundral
