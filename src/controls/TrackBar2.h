// TTrackBar2: a custom-drawn slider with one or two thumbs.
//
// With SecondThumb on it selects a range: the lower thumb (PositionL) marks its start, the
// upper thumb (PositionU) its end, and the track between them is painted in
// TrackCenterColor. A thin play-position line (LinePosition, 0 = none) is XORed over the
// picture in RGB(0, 200, 200). Ticks mark 31 equal steps of a horizontal track.
//
// Positions are plain integers in Min..Max. The position setters clamp (and keep the lower
// thumb below the upper one) and then fire OnChange, also when clamping leaves the stored
// value as it was; the other setters do nothing when the value is unchanged. The mouse jumps
// a thumb to the pointer, drags it when pressed on it, or steps it by SmallChange with Shift
// held; arrow and page keys move the lower thumb, or the upper one with Shift held.
//
// A resize decides the orientation from the shape: wider than high is horizontal, higher than
// wide vertical. The geometry lives in TrackBar2Geometry.h as pure functions; the pictures in
// TrackBar2Images.h. Paint composes the control in an image and then shows it, so the XOR
// line and the transparent pointer thumbs see the pixels drawn before them.
//
// Threading: GUI thread only. Ownership: the work images are the control's own; the events
// are called synchronously on the GUI thread. An exception leaving an event handler during
// mouse or key handling goes to the application's error report; during painting, it ends
// that paint (what was drawn so far is shown) and is reported once the paint is over.
// Exceptions from handlers run by the setters reach
// the caller of the setter.
#pragma once

#include <functional>

#include <QColor>
#include <QImage>
#include <QWidget>

#include "controls/TrackBar2Geometry.h"
#include "controls/TrackBar2Images.h"

class QPainter;

namespace sundral {

class TTrackBar2;

using TTrackBar2Event = std::function<void(TTrackBar2* Sender)>;
using TDrawTrackEvent = std::function<void(TTrackBar2* Sender, QPainter& Canvas)>;
// X, Y: the thumb's top-left corner.
using TDrawThumbEvent = std::function<void(TTrackBar2* Sender, QPainter& Canvas, int X, int Y)>;
// X, Y: the tick's point; Position: the tick slot number (0 to 31).
using TDrawTickEvent =
    std::function<void(TTrackBar2* Sender, QPainter& Canvas, int X, int Y, int Position)>;

class TTrackBar2 : public QWidget {
    Q_OBJECT
public:
    explicit TTrackBar2(QWidget* Parent = nullptr);
    ~TTrackBar2() override;

    int Max() const { return FMax; }
    void SetMax(int Value);
    int Min() const { return FMin; }
    void SetMin(int Value);
    TOrientation Orientation() const { return FOrientation; }
    void SetOrientation(TOrientation Value);
    int TrackSize() const { return FTrackSize; }
    void SetTrackSize(int Value);
    TTrackStyle TrackStyle() const { return FTrackStyle; }
    void SetTrackStyle(TTrackStyle Value);
    QColor TrackColor() const { return FTrackColor; }
    void SetTrackColor(const QColor& Value);
    QColor TrackCenterColor() const { return FTrackCenterColor; }
    void SetTrackCenterColor(const QColor& Value);
    int TickSize() const { return FTickSize; }
    void SetTickSize(int Value);
    TTickStyle TickStyle() const { return FTickStyle; }
    // tiLine also makes the ticks black.
    void SetTickStyle(TTickStyle Value);
    QColor TickColor() const { return FTickColor; }
    void SetTickColor(const QColor& Value);
    TTickOrientation TickOrientation() const { return FTickOrientation; }
    void SetTickOrientation(TTickOrientation Value);
    // Step between drawn tick slots; below 1 draws no ticks.
    int TickInterval() const { return FTickInterval; }
    void SetTickInterval(int Value);
    int PositionL() const { return FPositionL; }
    void SetPositionL(int Value);
    int PositionU() const { return FPositionU; }
    void SetPositionU(int Value);
    // The line shows for 0 < LinePosition <= Max; other values are stored and show none.
    int LinePosition() const { return FLinePosition; }
    void SetLinePosition(int Value);
    int SmallChange() const { return FSmallChange; }
    void SetSmallChange(int Value);
    int LargeChange() const { return FLargeChange; }
    void SetLargeChange(int Value);
    // Pointer styles impose their bitmap's size here.
    int ThumbSize() const { return FThumbSize; }
    void SetThumbSize(int Value);
    TThumbStyle ThumbStyle() const { return FThumbStyle; }
    void SetThumbStyle(TThumbStyle Value);
    QColor ThumbColor() const { return FThumbColor; }
    void SetThumbColor(const QColor& Value);
    bool SecondThumb() const { return FSecondThumb; }
    void SetSecondThumb(bool Value);
    // Hatch the thumbs while the control is disabled.
    bool DitherThumb() const { return FDitherThumb; }
    void SetDitherThumb(bool Value);
    // The 3-D look: switching it on makes the track lowered and flat thumbs raised.
    bool Ctl3D() const { return FCtl3D; }
    void SetCtl3D(bool Value);

    // A drag of the upper / lower thumb is in progress.
    bool TrackingU() const { return FTrackingU; }
    bool TrackingL() const { return FTrackingL; }

    // The geometry of the current size and settings, and the thumbs' hit rectangles.
    const TTrackGeometry& Geometry() const { return FGeometry; }
    QRect LowerThumbRect() const { return ThumbRect(FGeometry, FPositionL); }
    QRect UpperThumbRect() const { return ThumbRect(FGeometry, FPositionU); }
    // The painter of the paint in progress (for OnPaint handlers); null outside painting.
    QPainter* Canvas() const { return FCanvas; }

    TTrackBar2Event OnChange;
    TTrackBar2Event OnPaint;
    TDrawTrackEvent OnDrawTrack;
    TDrawThumbEvent OnDrawThumb;
    TDrawTickEvent OnDrawTick;

protected:
    virtual void UpdateGeometry();
    virtual void DrawTrack(QPainter& Canvas);
    virtual void DoDrawTrack(QPainter& Canvas);
    virtual void BuildTickImage();
    virtual void DrawTicks(QPainter& Canvas);
    virtual void DoDrawTick(QPainter& Canvas, int X, int Y, int Position);
    virtual void BuildThumbImage();
    virtual void DrawThumbs(QPainter& Canvas);
    virtual void DoDrawThumb(QPainter& Canvas, int X, int Y);
    virtual void BuildHatch();
    virtual void Change();
    virtual void DrawPositionLine(QPainter& Canvas, int P);

    void paintEvent(QPaintEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    void changeEvent(QEvent* Event) override;
    void focusInEvent(QFocusEvent* Event) override;
    void focusOutEvent(QFocusEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;

private:
    QImage ThumbPictureOver(const QImage& Background) const;
    void DrawFocusRect(QPainter& Canvas);
    void Rebuild(bool ThumbImage, bool Geometry);

    int FMax = 20;
    int FMin = 0;
    TOrientation FOrientation = TOrientation::toVertical;
    int FTrackSize = 10;
    TTrackStyle FTrackStyle = TTrackStyle::trLowered;
    QColor FTrackColor = kTbWhite;
    QColor FTrackCenterColor = QColor(0x00, 0x80, 0x00);
    int FTickSize = 6;
    TTickStyle FTickStyle = TTickStyle::tiRaisedSquare;
    QColor FTickColor;
    TTickOrientation FTickOrientation = TTickOrientation::toBoth;
    int FTickInterval = 1;
    int FPositionL = 0;
    int FPositionU = 10;
    int FLinePosition = 0;
    int FSmallChange = 1;
    int FLargeChange = 2;
    int FThumbSize = 20;
    TThumbStyle FThumbStyle = TThumbStyle::tsRaisedRectangle;
    QColor FThumbColor;
    bool FSecondThumb = false;
    bool FDitherThumb = true;
    bool FCtl3D = true;
    bool FTrackingU = false;
    bool FTrackingL = false;

    TThumbShape FShape;
    TTrackGeometry FGeometry;
    TThumbPicture FThumb;
    QImage FTickImage;
    QImage FHatch;
    // The picture under each thumb, saved before the thumbs are drawn over it.
    QImage FLowerBackground;
    QImage FUpperBackground;
    QImage FBuffer;              // the control's picture, composed by paintEvent
    QPainter* FCanvas = nullptr; // set while paintEvent runs
};

} // namespace sundral
