// TLinkLabel: a label (text or picture) that acts on a left click, as the windows' web links
// and clickable banner pictures do.
//
// A click runs OnClick when it is set; otherwise it opens URL with the desktop's handler when
// URL is not blank after trimming. While the mouse is over it the text takes HoverColor
// (when set), and Color otherwise. A failing open is not reported: the link simply does
// nothing.
//
// Threading: GUI thread only. Ownership: a Qt child of its window; OnClick is called
// synchronously and an exception leaving it goes to the application's error report.
#pragma once

#include <functional>

#include <QColor>
#include <QLabel>
#include <QString>

namespace sundral {

class TLinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit TLinkLabel(QWidget* Parent = nullptr);

    QString URL() const { return FURL; }
    void SetURL(const QString& Value) { FURL = Value; }
    // Colour of the text; an invalid colour leaves the style's colour.
    QColor Color() const { return FColor; }
    void SetColor(const QColor& Value);
    QColor HoverColor() const { return FHoverColor; }
    void SetHoverColor(const QColor& Value);
    bool Hovered() const { return FHovered; }

    // Does what a click does.
    void Click();

    std::function<void(TLinkLabel* Sender)> OnClick;

protected:
    void mouseReleaseEvent(QMouseEvent* Event) override;
    void enterEvent(QEnterEvent* Event) override;
    void leaveEvent(QEvent* Event) override;

private:
    void ApplyColor();

    QString FURL;
    QColor FColor;
    QColor FHoverColor;
    bool FHovered = false;
};

} // namespace sundral
