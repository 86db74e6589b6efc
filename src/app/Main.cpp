#include "app/Main.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QShowEvent>

namespace sundral {

TfrmMain::TfrmMain(TDialogs& Dialogs, QWidget* Parent) : QWidget(Parent), FDialogs(Dialogs) {
    CreateForm();
    FormCreate();
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::CenterOnScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    // The outer window is centred; its frame is known once the window exists, at show time.
    const QRect area = screen->availableGeometry();
    const QSize outer = frameGeometry().size();
    move(area.x() + (area.width() - outer.width()) / 2,
         area.y() + (area.height() - outer.height()) / 2);
}

void TfrmMain::FormCreate() {}

void TfrmMain::showEvent(QShowEvent* Event) {
    QWidget::showEvent(Event);
    // Spontaneous show events come from the window system (restoring a minimised window);
    // the form's show handling belongs to the window becoming visible.
    if (Event->spontaneous()) return;
    if (!FPlaced) {
        FPlaced = true;
        CenterOnScreen();
    }
    FormShow();
}

void TfrmMain::FormShow() {
    imgTitle->setGeometry(0, 0, width(), imgTitle->height());
}

void TfrmMain::WMActivateInstance() {
    if (!isVisible()) show();
    if (isMinimized()) setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    raise();
    activateWindow();
}

} // namespace sundral
