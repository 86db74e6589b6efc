// Construction, properties and input of the track bar; painting is in TrackBar2Paint.cpp.
#include "controls/TrackBar2.h"

#include <algorithm>
#include <exception>
#include <limits>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QResizeEvent>

#include "platform/uisync.h"

namespace sundral {
namespace {

int AddSaturated(int Value, int Delta) {
    const int64_t sum = int64_t{Value} + Delta;
    return static_cast<int>(
        std::clamp<int64_t>(sum, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// Runs an input handler's work; an exception from an event handler goes to the error report
// instead of unwinding through Qt's event delivery.
template <class F> void Guard(F Work) {
    try {
        Work();
    } catch (...) {
        ReportApplicationError(std::current_exception());
    }
}

} // namespace

TTrackBar2::TTrackBar2(QWidget* Parent) : QWidget(Parent) {
    const QColor buttonFace = palette().color(QPalette::Button);
    FTickColor = buttonFace;
    FThumbColor = buttonFace;
    setFocusPolicy(Qt::StrongFocus);
    BuildHatch();
    BuildTickImage();
    BuildThumbImage();
    resize(500, 50);
    UpdateGeometry();
}

TTrackBar2::~TTrackBar2() = default;

void TTrackBar2::Rebuild(bool ThumbImage, bool Geometry) {
    if (ThumbImage) BuildThumbImage();
    if (Geometry) UpdateGeometry();
    update();
}

void TTrackBar2::SetMax(int Value) {
    if (Value == FMax) return;
    FMax = Value;
    // The thumbs follow the range without reporting a change, as they do for Min.
    const TPositions fitted = FitPositions({FPositionL, FPositionU}, FMin, FMax, FSecondThumb);
    FPositionL = fitted.L;
    FPositionU = fitted.U;
    Rebuild(false, true);
}

void TTrackBar2::SetMin(int Value) {
    if (Value == FMin) return;
    FMin = Value;
    const TPositions fitted = FitPositions({FPositionL, FPositionU}, FMin, FMax, FSecondThumb);
    FPositionL = fitted.L;
    FPositionU = fitted.U;
    Rebuild(false, true);
}

void TTrackBar2::SetOrientation(TOrientation Value) {
    if (Value == FOrientation) return;
    FOrientation = Value;
    const bool wide = width() > height();
    const bool tall = height() > width();
    if ((Value == TOrientation::toHorizontal && tall) ||
        (Value == TOrientation::toVertical && wide)) {
        resize(height(), width());
    }
    Rebuild(true, true);
}

void TTrackBar2::SetTrackSize(int Value) {
    if (Value == FTrackSize) return;
    FTrackSize = Value;
    Rebuild(false, true);
}

void TTrackBar2::SetTrackStyle(TTrackStyle Value) {
    if (Value == FTrackStyle) return;
    FTrackStyle = Value;
    update();
}

void TTrackBar2::SetTrackColor(const QColor& Value) {
    if (Value == FTrackColor) return;
    FTrackColor = Value;
    // The hatch is drawn in the track's colour.
    BuildHatch();
    update();
}

void TTrackBar2::SetTrackCenterColor(const QColor& Value) {
    if (Value == FTrackCenterColor) return;
    FTrackCenterColor = Value;
    update();
}

void TTrackBar2::SetTickSize(int Value) {
    if (Value == FTickSize) return;
    FTickSize = Value;
    BuildTickImage();
    update();
}

void TTrackBar2::SetTickStyle(TTickStyle Value) {
    if (Value == FTickStyle) return;
    FTickStyle = Value;
    if (Value == TTickStyle::tiLine) FTickColor = kTbBlack;
    BuildTickImage();
    update();
}

void TTrackBar2::SetTickColor(const QColor& Value) {
    if (Value == FTickColor) return;
    FTickColor = Value;
    BuildTickImage();
    update();
}

void TTrackBar2::SetTickOrientation(TTickOrientation Value) {
    if (Value == FTickOrientation) return;
    FTickOrientation = Value;
    Rebuild(true, true);
}

void TTrackBar2::SetTickInterval(int Value) {
    if (Value == FTickInterval) return;
    FTickInterval = Value;
    update();
}

void TTrackBar2::SetPositionL(int Value) {
    if (Value == FPositionL) return;
    FPositionL = ClampPositionL(Value, FMin, FMax, FPositionU, FSecondThumb);
    Change();
    update();
}

void TTrackBar2::SetPositionU(int Value) {
    if (Value == FPositionU) return;
    FPositionU = ClampPositionU(Value, FMin, FMax, FPositionL);
    Change();
    update();
}

void TTrackBar2::SetLinePosition(int Value) {
    if (Value == FLinePosition) return;
    // The line is XORed over a fresh picture at every paint, so a repaint both erases the
    // old line and draws the new one.
    FLinePosition = Value;
    update();
}

void TTrackBar2::SetSmallChange(int Value) {
    if (Value == FSmallChange) return;
    FSmallChange = Value;
}

void TTrackBar2::SetLargeChange(int Value) {
    if (Value == FLargeChange) return;
    FLargeChange = Value;
}

void TTrackBar2::SetThumbSize(int Value) {
    if (Value == FThumbSize) return;
    FThumbSize = Value;
    Rebuild(true, true);
}

void TTrackBar2::SetThumbStyle(TThumbStyle Value) {
    if (Value == FThumbStyle) return;
    FThumbStyle = Value;
    Rebuild(true, true);
}

void TTrackBar2::SetThumbColor(const QColor& Value) {
    if (Value == FThumbColor) return;
    FThumbColor = Value;
    Rebuild(true, false);
}

void TTrackBar2::SetSecondThumb(bool Value) {
    if (Value == FSecondThumb) return;
    FSecondThumb = Value;
    Rebuild(true, false);
}

void TTrackBar2::SetDitherThumb(bool Value) {
    if (Value == FDitherThumb) return;
    FDitherThumb = Value;
    if (!isEnabled()) update();
}

void TTrackBar2::SetCtl3D(bool Value) {
    if (Value == FCtl3D) return;
    FCtl3D = Value;
    if (!Value) return;
    SetTrackStyle(TTrackStyle::trLowered);
    if (FThumbStyle == TThumbStyle::tsRectangle || FThumbStyle == TThumbStyle::tsLoweredRectangle) {
        SetThumbStyle(TThumbStyle::tsRaisedRectangle);
    }
}

void TTrackBar2::UpdateGeometry() {
    FGeometry = ComputeGeometry(size(), FOrientation, FShape, FTrackSize, FMin, FMax);
}

void TTrackBar2::BuildTickImage() {
    FTickImage = BuildTickPicture(FTickStyle, FTickSize, FTickColor);
}

void TTrackBar2::BuildThumbImage() {
    FShape = ThumbShapeFor(FThumbStyle, FOrientation, FTickOrientation, FThumbSize);
    // A pointer bitmap has its own size, and the geometry goes by it.
    FThumbSize = FShape.ThumbSize;
    FThumb =
        BuildThumbPicture(FThumbStyle, FOrientation, FTickOrientation, FThumbSize, FThumbColor);
}

void TTrackBar2::BuildHatch() {
    FHatch = BuildHatchPicture(FTrackColor);
}

void TTrackBar2::Change() {
    if (OnChange) OnChange(this);
}

void TTrackBar2::resizeEvent(QResizeEvent* Event) {
    QWidget::resizeEvent(Event);
    if (width() != height()) {
        FOrientation = height() >= width() ? TOrientation::toVertical : TOrientation::toHorizontal;
    }
    BuildThumbImage();
    UpdateGeometry();
}

void TTrackBar2::changeEvent(QEvent* Event) {
    QWidget::changeEvent(Event);
    if (Event->type() == QEvent::EnabledChange) update();
}

void TTrackBar2::focusInEvent(QFocusEvent* Event) {
    QWidget::focusInEvent(Event);
    update();
}

void TTrackBar2::focusOutEvent(QFocusEvent* Event) {
    QWidget::focusOutEvent(Event);
    update();
}

void TTrackBar2::mousePressEvent(QMouseEvent* Event) {
    setFocus(Qt::MouseFocusReason);
    if (Event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(Event);
        return;
    }
    Event->accept();
    const bool shift = Event->modifiers() & Qt::ShiftModifier;
    const TPress press = ClassifyPress(FGeometry, FPositionL, FPositionU, FSecondThumb,
                                       Event->position().toPoint(), shift);
    Guard([&] {
        const int current = press.Upper ? FPositionU : FPositionL;
        int target = current;
        switch (press.Action) {
        case TPressAction::paDrag:
            (press.Upper ? FTrackingU : FTrackingL) = true;
            return;
        case TPressAction::paJump:
            target = press.Value;
            break;
        case TPressAction::paStepUp:
            target = AddSaturated(current, FSmallChange);
            break;
        case TPressAction::paStepDown:
            target = AddSaturated(current, -FSmallChange);
            break;
        case TPressAction::paNone:
            return;
        }
        if (press.Upper) {
            SetPositionU(target);
        } else {
            SetPositionL(target);
        }
    });
}

void TTrackBar2::mouseMoveEvent(QMouseEvent* Event) {
    if (!FTrackingU && !FTrackingL) {
        QWidget::mouseMoveEvent(Event);
        return;
    }
    const QPoint at = Event->position().toPoint();
    const int value =
        PixelToValue(FGeometry, FOrientation == TOrientation::toHorizontal ? at.x() : at.y());
    Guard([&] {
        if (FTrackingU) {
            SetPositionU(value);
        } else {
            SetPositionL(value);
        }
    });
}

void TTrackBar2::mouseReleaseEvent(QMouseEvent* Event) {
    if (Event->button() == Qt::LeftButton) {
        FTrackingU = false;
        FTrackingL = false;
    }
    QWidget::mouseReleaseEvent(Event);
}

void TTrackBar2::keyPressEvent(QKeyEvent* Event) {
    int delta = 0;
    switch (Event->key()) {
    case Qt::Key_PageUp:
        delta = FLargeChange;
        break;
    case Qt::Key_PageDown:
        delta = -FLargeChange;
        break;
    case Qt::Key_Left:
    case Qt::Key_Down:
        delta = -FSmallChange;
        break;
    case Qt::Key_Up:
    case Qt::Key_Right:
        delta = FSmallChange;
        break;
    default:
        QWidget::keyPressEvent(Event);
        return;
    }
    Event->accept();
    const bool upper = (Event->modifiers() & Qt::ShiftModifier) && FSecondThumb;
    Guard([&] {
        if (upper) {
            SetPositionU(AddSaturated(FPositionU, delta));
        } else {
            SetPositionL(AddSaturated(FPositionL, delta));
        }
    });
}

} // namespace sundral
