// The Qt glue: calls queued from workers run in the event loop, actions update when the loop
// goes idle, and errors from handlers reach the user through Dialogs.
#include <atomic>
#include <stdexcept>
#include <thread>

#include <QEventLoop>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "ScriptedDialogs.h"
#include "TestLoop.h"
#include "platform/qt/Actions.h"
#include "platform/qt/Application.h"
#include "platform/qt/QtUiSync.h"
#include "platform/uisync.h"

using namespace sundral;
using sundral_test::TLoop;

namespace {

class TThrowingObject : public QObject {
public:
    bool event(QEvent*) override { throw 42; }
};

} // namespace

class QtPlatformTest : public QObject {
    Q_OBJECT
private slots:
    void init() { InstallApplicationErrorReport(FDialogs); }
    void cleanup() {
        RemoveApplicationErrorReport();
        FDialogs.Calls.clear();
    }

    void synchronizeRunsTheCallInTheEventLoop();
    void actionsUpdateWhenTheLoopGoesIdle();
    void actionExecuteChecksItsUpdateFirst();
    void handlerErrorsGoToTheReport();
    void filterBecomesQtNameFilters();

private:
    TScriptedDialogs FDialogs;
};

void QtPlatformTest::synchronizeRunsTheCallInTheEventLoop() {
    TSynchronizeHook hook;
    const std::thread::id guiThread = std::this_thread::get_id();
    std::thread::id ranOn;
    std::atomic<bool> released{false};
    TLoop loop;
    std::thread worker([&] {
        Synchronize([&] { ranOn = std::this_thread::get_id(); });
        // A failing call is reported on the GUI thread; the worker goes on all the same.
        Synchronize([] { throw std::runtime_error("Disk is full"); });
        released = true;
        loop.Quit();
    });
    const bool quitByWorker = loop.Run();
    // Without the hook the worker would wait for ever; release it so the test can end.
    while (!released) CheckSynchronize();
    worker.join();
    QVERIFY(quitByWorker);
    QVERIFY(released);
    QVERIFY(ranOn == guiThread);
    QCOMPARE(FDialogs.Messages(), QStringList{QStringLiteral("Disk is full")});
}

void QtPlatformTest::actionsUpdateWhenTheLoopGoesIdle() {
    QWidget form;
    auto* list = new TActionList(&form, QStringLiteral("ActionList1"));
    auto* aPlay = new TAction(list, QStringLiteral("aPlay"), QStringLiteral("&Play"));
    auto* bPlay = new QPushButton(&form);
    aPlay->LinkButton(bPlay);
    QCOMPARE(bPlay->text(), QStringLiteral("&Play"));
    QVERIFY(bPlay->isEnabled());
    form.show();

    bool fileOpen = false;
    int executed = 0;
    TLoop* idle = nullptr;
    aPlay->OnUpdate = [&](TAction* Sender) {
        Sender->SetEnabled(fileOpen);
        if (idle) idle->Quit();
    };
    aPlay->OnExecute = [&](TAction*) { ++executed; };

    {
        TLoop loop;
        idle = &loop;
        QVERIFY(loop.Run());
    }
    QVERIFY(!aPlay->Enabled());
    QVERIFY(!bPlay->isEnabled());
    QTest::mouseClick(bPlay, Qt::LeftButton);
    QCOMPARE(executed, 0);

    fileOpen = true;
    {
        TLoop loop;
        idle = &loop;
        QVERIFY(loop.Run());
    }
    idle = nullptr;
    QVERIFY(bPlay->isEnabled());
    QTest::mouseClick(bPlay, Qt::LeftButton);
    QCOMPARE(executed, 1);

    aPlay->SetCaption(QStringLiteral("&Resume"));
    QCOMPARE(bPlay->text(), QStringLiteral("&Resume"));
    // A button destroyed before its action is forgotten, not touched.
    delete bPlay;
    aPlay->SetEnabled(false);
    QVERIFY(FDialogs.Calls.empty());
}

void QtPlatformTest::actionExecuteChecksItsUpdateFirst() {
    TActionList list(nullptr, QStringLiteral("ActionList1"));
    auto* aStop = new TAction(&list, QStringLiteral("aStop"), QStringLiteral("&Stop"));
    bool playing = false;
    int executed = 0;
    aStop->OnUpdate = [&](TAction* Sender) { Sender->SetEnabled(playing); };
    aStop->OnExecute = [&](TAction*) { ++executed; };
    // Enabled at design time, but the state says otherwise by the time it runs.
    QVERIFY(!aStop->Execute());
    QCOMPARE(executed, 0);
    playing = true;
    QVERIFY(aStop->Execute());
    QCOMPARE(executed, 1);
    QCOMPARE(list.Actions(), std::vector<TAction*>{aStop});
}

void QtPlatformTest::handlerErrorsGoToTheReport() {
    QWidget form;
    auto* list = new TActionList(&form, QStringLiteral("ActionList1"));
    auto* aCut = new TAction(list, QStringLiteral("aCut"), QStringLiteral("Start &Cut"));
    aCut->OnExecute = [](TAction*) { throw std::runtime_error("Component is Busy"); };
    auto* bCut = new QPushButton(&form);
    aCut->LinkButton(bCut);
    auto* bGuarded = new QPushButton(QStringLiteral("guarded"), &form);
    connect(bGuarded, &QPushButton::clicked, &form,
            Guarded([] { throw std::runtime_error("Input is not assigned"); }));
    TThrowingObject other;
    form.show();

    QTest::mouseClick(bCut, Qt::LeftButton);
    QTest::mouseClick(bGuarded, Qt::LeftButton);
    // Nothing wraps this handler: the application object catches it as a last resort, and
    // the event counts as not handled. (Not through a widget: unwinding through Qt's own
    // frames skips their clean-up, which is why handlers are guarded in the first place.)
    QEvent event(QEvent::User);
    QVERIFY(!QCoreApplication::sendEvent(&other, &event));
    QCOMPARE(FDialogs.Messages(), (QStringList{QStringLiteral("Component is Busy"),
                                               QStringLiteral("Input is not assigned"),
                                               QStringLiteral("Unknown error.")}));

    // Reported from another thread, the box still opens on the GUI thread.
    FDialogs.Calls.clear();
    std::thread([] {
        ReportApplicationError(std::make_exception_ptr(std::runtime_error("late")));
    }).join();
    QTRY_COMPARE_WITH_TIMEOUT(FDialogs.Messages(), QStringList{QStringLiteral("late")},
                              TLoop::GiveUpMs);
}

void QtPlatformTest::filterBecomesQtNameFilters() {
    QCOMPARE(
        FilterToNameFilters(QStringLiteral("Sound Files(*.wav;*.mp3;*.wma)|*.wav;*.mp3;*.wma")),
        QStringList{QStringLiteral("Sound Files(*.wav;*.mp3;*.wma) (*.wav *.mp3 *.wma)")});
    QCOMPARE(FilterToNameFilters(QStringLiteral("Sound Files|*.MP3|All|*")),
             (QStringList{QStringLiteral("Sound Files (*.MP3)"), QStringLiteral("All (*)")}));
    QCOMPARE(FilterToNameFilters(QStringLiteral("Odd")), QStringList{QStringLiteral("Odd (*)")});
    QVERIFY(FilterToNameFilters(QString()).isEmpty());
}

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    QtPlatformTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "qt_platform_test.moc"
