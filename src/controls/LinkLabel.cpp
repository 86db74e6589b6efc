#include "controls/LinkLabel.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>

#include "platform/qt/Application.h"

namespace sundral {

TLinkLabel::TLinkLabel(QWidget* Parent) : QLabel(Parent) {
    setCursor(Qt::PointingHandCursor);
}

void TLinkLabel::SetColor(const QColor& Value) {
    if (FColor == Value) return;
    FColor = Value;
    ApplyColor();
}

void TLinkLabel::SetHoverColor(const QColor& Value) {
    if (FHoverColor == Value) return;
    FHoverColor = Value;
    ApplyColor();
}

void TLinkLabel::ApplyColor() {
    const QColor colour = FHovered && FHoverColor.isValid() ? FHoverColor : FColor;
    setStyleSheet(colour.isValid() ? QStringLiteral("color: %1;").arg(colour.name()) : QString());
}

void TLinkLabel::Click() {
    if (OnClick) {
        OnClick(this);
        return;
    }
    const QString address = FURL.trimmed();
    if (!address.isEmpty()) QDesktopServices::openUrl(QUrl(address));
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* Event) {
    QLabel::mouseReleaseEvent(Event);
    if (Event->button() != Qt::LeftButton || !rect().contains(Event->position().toPoint())) return;
    Guarded([this] { Click(); })();
}

void TLinkLabel::enterEvent(QEnterEvent* Event) {
    QLabel::enterEvent(Event);
    FHovered = true;
    ApplyColor();
}

void TLinkLabel::leaveEvent(QEvent* Event) {
    QLabel::leaveEvent(Event);
    FHovered = false;
    ApplyColor();
}

} // namespace sundral
