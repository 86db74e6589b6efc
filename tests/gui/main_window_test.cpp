// The main window as the program creates it at start, and its answer to a later start.
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTest>

#include "ScriptedDialogs.h"
#include "app/Main.h"
#include "platform/qt/Actions.h"

using namespace sundral;

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void looksAsDesigned();
    void activationRestoresAMinimisedWindow();
    void activationShowsAHiddenWindow();
};

void MainWindowTest::looksAsDesigned() {
    TScriptedDialogs dialogs;
    TfrmMain frmMain(dialogs);
    frmMain.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frmMain));

    QCOMPARE(frmMain.windowTitle(), QStringLiteral("Orvane Sundral"));
    QCOMPARE(frmMain.size(), QSize(513, 313));
    QCOMPARE(frmMain.minimumSize(), frmMain.maximumSize());
    const Qt::WindowFlags flags = frmMain.windowFlags();
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowCloseButtonHint);

    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint offset = frmMain.frameGeometry().center() - area.center();
    QVERIFY2(qAbs(offset.x()) <= 1 && qAbs(offset.y()) <= 1,
             qPrintable(QStringLiteral("off centre by %1,%2").arg(offset.x()).arg(offset.y())));

    // Named parts are found by name, and the banner spans the client width once shown.
    auto* banner = frmMain.findChild<QLabel*>(QStringLiteral("imgTitle"));
    QVERIFY(banner);
    QCOMPARE(banner->geometry(), QRect(0, 0, 513, 50));
    QCOMPARE(frmMain.findChild<TActionList*>(QStringLiteral("ActionList1")), frmMain.ActionList1);
    QVERIFY(dialogs.Calls.empty());
}

void MainWindowTest::activationRestoresAMinimisedWindow() {
    TScriptedDialogs dialogs;
    TfrmMain frmMain(dialogs);
    frmMain.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frmMain));
    frmMain.showMinimized();
    QVERIFY(frmMain.isMinimized());

    frmMain.WMActivateInstance();
    QVERIFY(!frmMain.isMinimized());
    QVERIFY(frmMain.isVisible());
    QVERIFY(QTest::qWaitForWindowActive(&frmMain));
}

void MainWindowTest::activationShowsAHiddenWindow() {
    TScriptedDialogs dialogs;
    TfrmMain frmMain(dialogs);
    QVERIFY(!frmMain.isVisible());

    frmMain.WMActivateInstance();
    QVERIFY(frmMain.isVisible());
    QVERIFY(QTest::qWaitForWindowActive(&frmMain));
    // Showing runs the form's show handling like a normal first show.
    QCOMPARE(frmMain.imgTitle->width(), 513);
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
