// The main window's controls with their design values.
#include <QFont>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>

#include "app/Main.h"
#include "platform/qt/Actions.h"

namespace sundral {
namespace {

constexpr int kBannerHeight = 50;

// Stands in for the banner picture until the window's images are part of the resources.
QPixmap BannerPicture(int Width) {
    QPixmap picture(Width, kBannerHeight);
    QPainter painter(&picture);
    QLinearGradient gradient(0, 0, Width, 0);
    gradient.setColorAt(0.0, QColor(0x10, 0x2a, 0x4c));
    gradient.setColorAt(1.0, QColor(0x1f, 0x6f, 0x8b));
    painter.fillRect(picture.rect(), gradient);
    return picture;
}

} // namespace

void TfrmMain::CreateForm() {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Orvane Sundral"));
    // Single fixed border, system menu and minimise box only.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(kMainClientWidth, kMainClientHeight);
    // The design font is 11 pixels high; the named face is taken when installed.
    QFont designFont(QStringList{QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans")});
    designFont.setStyleHint(QFont::SansSerif);
    designFont.setPixelSize(11);
    setFont(designFont);

    imgTitle = new QLabel(this);
    imgTitle->setObjectName(QStringLiteral("imgTitle"));
    imgTitle->setPixmap(BannerPicture(kMainClientWidth));
    imgTitle->setScaledContents(true);
    imgTitle->setGeometry(0, 0, kMainClientWidth, kBannerHeight);

    lTitleHint = new QLabel(QStringLiteral("Cut MP3, WAV, WMA files into pieces"), this);
    lTitleHint->setObjectName(QStringLiteral("lTitleHint"));
    lTitleHint->setStyleSheet(QStringLiteral("color: white;"));
    lTitleHint->setGeometry(16, 17, 300, 16);

    ActionList1 = new TActionList(this, QStringLiteral("ActionList1"));
}

} // namespace sundral
