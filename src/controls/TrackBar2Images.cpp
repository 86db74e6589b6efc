#include "controls/TrackBar2Images.h"

#include <algorithm>
#include <functional>
#include <vector>

#include <QPainter>

namespace sundral {
namespace {

constexpr QRgb kOpaque = 0xFF000000u;
constexpr QRgb kColourBits = 0x00FFFFFFu;

QImage Blank(QSize Size, const QColor& Colour) {
    if (Size.width() <= 0 || Size.height() <= 0) return {};
    QImage image(Size, QImage::Format_RGB32);
    image.fill(Colour);
    return image;
}

// The upward pointer: a tip rising over the body's full width. Row y of the tip is 2 (y + 1)
// pixels wide, so the tip is half the width high.
bool InsideUpPointer(int Width, int Height, int X, int Y) {
    if (X < 0 || Y < 0 || X >= Width || Y >= Height) return false;
    const int tip = Width / 2;
    if (Y >= tip) return true;
    return X >= tip - 1 - Y && X <= Width - tip + Y;
}

// Shades a pointer shape with light from the top left: a black outer and grey inner edge
// where the outside lies right or below, white where it lies left or above, silver inside.
void ShadePointer(QImage& Bitmap, QImage& Mask, const std::function<bool(int, int)>& Inside) {
    for (int y = 0; y < Bitmap.height(); ++y) {
        for (int x = 0; x < Bitmap.width(); ++x) {
            if (!Inside(x, y)) {
                Bitmap.setPixel(x, y, kOpaque);
                Mask.setPixel(x, y, kOpaque | kColourBits);
                continue;
            }
            QColor colour = kTbSilver;
            if (!Inside(x + 1, y) || !Inside(x, y + 1)) {
                colour = kTbBlack;
            } else if (!Inside(x - 1, y) || !Inside(x, y - 1)) {
                colour = kTbWhite;
            } else if (!Inside(x + 2, y) || !Inside(x, y + 2)) {
                colour = kTbGrey;
            }
            Bitmap.setPixel(x, y, colour.rgb());
            Mask.setPixel(x, y, kOpaque);
        }
    }
}

struct TPointerKind {
    QSize Up;       // width x height of the upward pointer
    char Direction; // 'U', 'D', 'L', 'R'
    bool IsMask;
};

bool ParsePointerName(const QString& Name, TPointerKind& Kind) {
    static const struct {
        const char* Prefix;
        QSize Up;
    } kSizes[] = {{"SM", {8, 12}}, {"MED", {12, 18}}, {"LG", {16, 24}}};
    static const struct {
        const char* Word;
        char Direction;
    } kDirections[] = {{"UP", 'U'}, {"DOWN", 'D'}, {"LEFT", 'L'}, {"RIGHT", 'R'}};
    for (const auto& size : kSizes) {
        for (const auto& direction : kDirections) {
            const QString base = QString::fromLatin1(size.Prefix) +
                                 QString::fromLatin1(direction.Word) + QStringLiteral("THUMB");
            if (Name == base || Name == base + QStringLiteral("MASK")) {
                Kind = {size.Up, direction.Direction, Name != base};
                return true;
            }
        }
    }
    return false;
}

} // namespace

QString PointerBitmapName(TThumbStyle Style, TOrientation Orientation,
                          TTickOrientation TickOrientation) {
    QString prefix;
    switch (Style) {
    case TThumbStyle::tsSmallPointer:
        prefix = QStringLiteral("SM");
        break;
    case TThumbStyle::tsMediumPointer:
        prefix = QStringLiteral("MED");
        break;
    case TThumbStyle::tsLargePointer:
        prefix = QStringLiteral("LG");
        break;
    default:
        return {};
    }
    const bool bottomRight = TickOrientation == TTickOrientation::toBottomRight;
    QString direction;
    if (Orientation == TOrientation::toHorizontal) {
        direction = bottomRight ? QStringLiteral("DOWN") : QStringLiteral("UP");
    } else {
        direction = bottomRight ? QStringLiteral("RIGHT") : QStringLiteral("LEFT");
    }
    return prefix + direction + QStringLiteral("THUMB");
}

QImage PointerBitmap(const QString& Name) {
    TPointerKind kind;
    if (!ParsePointerName(Name, kind)) return {};
    const int w = kind.Up.width();
    const int h = kind.Up.height();
    std::function<bool(int, int)> inside;
    QSize size = kind.Up;
    switch (kind.Direction) {
    case 'U':
        inside = [=](int X, int Y) { return InsideUpPointer(w, h, X, Y); };
        break;
    case 'D':
        inside = [=](int X, int Y) { return InsideUpPointer(w, h, X, h - 1 - Y); };
        break;
    case 'L':
        size = kind.Up.transposed();
        inside = [=](int X, int Y) { return InsideUpPointer(w, h, Y, X); };
        break;
    default:
        size = kind.Up.transposed();
        inside = [=](int X, int Y) { return InsideUpPointer(w, h, Y, h - 1 - X); };
        break;
    }
    QImage bitmap(size, QImage::Format_RGB32);
    QImage mask(size, QImage::Format_RGB32);
    ShadePointer(bitmap, mask, inside);
    return kind.IsMask ? mask : bitmap;
}

TThumbPicture BuildThumbPicture(TThumbStyle Style, TOrientation Orientation,
                                TTickOrientation TickOrientation, int ThumbSize,
                                const QColor& ThumbColor) {
    TThumbPicture picture;
    if (IsPointerStyle(Style)) {
        const QString name = PointerBitmapName(Style, Orientation, TickOrientation);
        picture.Image = PointerBitmap(name);
        picture.Mask = PointerBitmap(name + QStringLiteral("MASK"));
        return picture;
    }
    const TThumbShape shape = ThumbShapeFor(Style, Orientation, TickOrientation, ThumbSize);
    picture.Image = Blank(shape.ImageSize, ThumbColor);
    if (picture.Image.isNull() || !IsRectangleStyle(Style)) return picture;
    QPainter canvas(&picture.Image);
    const QRect all = picture.Image.rect();
    switch (Style) {
    case TThumbStyle::tsRectangle:
        DrawFrame(canvas, all, kTbBlack, kTbBlack);
        break;
    case TThumbStyle::tsRaisedRectangle:
        DrawBevel(canvas, all, true);
        break;
    default:
        DrawBevel(canvas, all, false);
        break;
    }
    return picture;
}

QImage BuildTickPicture(TTickStyle Style, int TickSize, const QColor& TickColor) {
    if (Style == TTickStyle::tiLine || Style == TTickStyle::tiUserDrawn) return {};
    QImage image = Blank(QSize(TickSize, TickSize), TickColor);
    if (image.isNull()) return image;
    QPainter canvas(&image);
    switch (Style) {
    case TTickStyle::tiSquare:
        DrawFrame(canvas, image.rect(), kTbBlack, kTbBlack);
        break;
    case TTickStyle::tiRaisedSquare:
        DrawFrame(canvas, image.rect(), kTbWhite, kTbBlack);
        break;
    default:
        DrawFrame(canvas, image.rect(), kTbBlack, kTbWhite);
        break;
    }
    return image;
}

QImage BuildHatchPicture(const QColor& TrackColor) {
    QImage hatch = Blank(QSize(8, 8), TrackColor);
    const QColor odd = TrackColor.rgb() == kTbSilver.rgb() ? kTbGrey : kTbSilver;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            if ((x + y) % 2 == 1) hatch.setPixel(x, y, odd.rgb());
        }
    }
    return hatch;
}

void DrawFrame(QPainter& Canvas, const QRect& Rect, const QColor& TopLeft,
               const QColor& BottomRight) {
    if (Rect.width() <= 0 || Rect.height() <= 0) return;
    Canvas.fillRect(QRect(Rect.left(), Rect.top(), Rect.width() - 1, 1), TopLeft);
    Canvas.fillRect(QRect(Rect.left(), Rect.top(), 1, Rect.height() - 1), TopLeft);
    Canvas.fillRect(QRect(Rect.right(), Rect.top(), 1, Rect.height()), BottomRight);
    Canvas.fillRect(QRect(Rect.left(), Rect.bottom(), Rect.width(), 1), BottomRight);
}

void DrawBevel(QPainter& Canvas, const QRect& Rect, bool Raised) {
    if (Raised) {
        DrawFrame(Canvas, Rect, kTbWhite, kTbBlack);
        DrawFrame(Canvas, Rect.adjusted(1, 1, -1, -1), kTbSilver, kTbGrey);
    } else {
        DrawFrame(Canvas, Rect, kTbBlack, kTbWhite);
        DrawFrame(Canvas, Rect.adjusted(1, 1, -1, -1), kTbGrey, kTbSilver);
    }
}

void FloodFillPattern(QImage& Image, QPoint Seed, const QImage& Pattern) {
    if (Pattern.isNull() || !Image.rect().contains(Seed)) return;
    const int width = Image.width();
    const int height = Image.height();
    const QRgb target = Image.pixel(Seed) & kColourBits;
    // Visited marks, not colours, end the fill: the pattern may contain the target colour.
    std::vector<bool> seen(static_cast<size_t>(width) * height, false);
    std::vector<QPoint> pending{Seed};
    seen[static_cast<size_t>(Seed.y()) * width + Seed.x()] = true;
    while (!pending.empty()) {
        const QPoint p = pending.back();
        pending.pop_back();
        Image.setPixel(p, Pattern.pixel(p.x() % Pattern.width(), p.y() % Pattern.height()));
        const QPoint next[] = {
            {p.x() + 1, p.y()}, {p.x() - 1, p.y()}, {p.x(), p.y() + 1}, {p.x(), p.y() - 1}};
        for (const QPoint& n : next) {
            if (n.x() < 0 || n.y() < 0 || n.x() >= width || n.y() >= height) continue;
            const size_t index = static_cast<size_t>(n.y()) * width + n.x();
            if (seen[index] || (Image.pixel(n) & kColourBits) != target) continue;
            seen[index] = true;
            pending.push_back(n);
        }
    }
}

void MaskedCopy(QImage& Background, const QImage& Mask, const QImage& Bitmap) {
    const int width = std::min({Background.width(), Mask.width(), Bitmap.width()});
    const int height = std::min({Background.height(), Mask.height(), Bitmap.height()});
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const QRgb under = Background.pixel(x, y);
            Background.setPixel(x, y, kOpaque | ((under & Mask.pixel(x, y)) | Bitmap.pixel(x, y)));
        }
    }
}

} // namespace sundral
