#include "app/Main.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#include "audio/AuComponent.h"
#include "controls/LinkLabel.h"
#include "controls/TrackBar2.h"
#include "edit/CutSetup.h"
#include "edit/Global.h"
#include "edit/PendingOutput.h"
#include "platform/qt/Application.h"
#include "platform/qt/FormBuilder.h"

namespace sundral {

TfrmMain::TfrmMain(TDialogs& Dialogs, QWidget* Parent) : QWidget(Parent), FDialogs(Dialogs) {
    CreateForm();
    FormCreate();
}

TfrmMain::~TfrmMain() {
    // The components go first: a running cut is stopped synchronously (its events are
    // dropped) before its unfinished file is removed and the controls go.
    FComponents.reset();
    // A lossless cut's worker is stopped; it keeps its own share of the file until it has
    // finished.
    if (FCutStop) FCutStop->store(true);
    FCutOutput.reset();
}

void TfrmMain::CenterOnScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    // The outer window is centred; its frame is known once the window exists, at show time.
    const QRect area = screen->availableGeometry();
    const QSize outer = frameGeometry().size();
    move(area.x() + (area.width() - outer.width()) / 2,
         area.y() + (area.height() - outer.height()) / 2);
}

void TfrmMain::FormCreate() {
    lUpdate->SetColor(Qt::white);
    // Until a file is open, the design range stands for its own steps.
    FLengthMs = tbAudio->Max() * FStepMs;
}

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
    // Nothing here may keep the window from showing.
    try {
        imgTitle->setGeometry(0, 0, width(), 50);
        lUpdate->adjustSize();
        lUpdate->move(width() - lUpdate->width() - 10, lUpdate->y());
        iUpdate->move(lUpdate->x() - 20, iUpdate->y());
        FPlayingSelection = false;
        bOpen->setFocus();
        while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
    } catch (...) {
    }
}

void TfrmMain::WMActivateInstance() {
    if (!isVisible()) show();
    if (isMinimized()) setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    raise();
    activateWindow();
}

bool TfrmMain::eventFilter(QObject* Watched, QEvent* Event) {
    if ((Watched == eStart || Watched == eEnd) && IsFieldExit(Event)) {
        if (Watched == eStart)
            Guarded([this] { eStartExit(); })();
        else
            Guarded([this] { eEndExit(); })();
    }
    return QWidget::eventFilter(Watched, Event);
}

int32_t TfrmMain::UnitsToMs(int32_t Units) const {
    return StepToMs(Units, tbAudio->Max(), FLengthMs, FStepMs);
}

QString TfrmMain::UnitsToTimeText(int32_t Units) const {
    return QString::fromStdString(MsToTimeText(UnitsToMs(Units)));
}

} // namespace sundral
