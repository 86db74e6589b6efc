// The engine inside a real Qt event loop: a writer's events reach the loop through the
// Synchronize wake-up hook, handlers can stop, restart or destroy the writer, and nothing
// waits on anything that does not come.
#include <memory>
#include <vector>

#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include "PcmPatternSource.h"
#include "ScratchDir.h"
#include "TestLoop.h"
#include "formats/AuWaveOut.h"
#include "platform/qt/QtUiSync.h"

using namespace sundral;
using sundral_test::ScratchDir;
using sundral_test::TLoop;
using sundral_test::TPcmPatternSource;

class EngineQtTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { FHook = std::make_unique<TSynchronizeHook>(); }
    void cleanupTestCase() { FHook.reset(); }

    void progressAndDoneArriveInTheLoop() {
        ScratchDir dir("engine-qt");
        TPcmPatternSource source(44100, 2, 16, 44100 * 3);
        source.MaxPiece = 4096; // many blocks, so the percentage moves often
        TWaveOut out(nullptr);
        out.SetFileName(dir.File("out.wav").string());
        out.SetInput(&source);
        std::vector<int> progress;
        QString caption;
        TLoop loop;
        bool done = false;
        out.OnProgress = [&](TComponent*) {
            progress.push_back(out.Progress());
            caption = QString("Orvane Sundral - Cutting ... %1%").arg(out.Progress());
        };
        out.OnDone = [&](TComponent*) {
            done = true;
            caption = "Orvane Sundral";
            loop.Quit();
        };
        out.Run();
        QVERIFY(loop.Run());
        QVERIFY(done);
        QCOMPARE(caption, QString("Orvane Sundral"));
        QVERIFY(progress.size() >= 10);
        // A handler reads the percentage when it runs, which may be ahead of the one posted.
        for (size_t i = 1; i < progress.size(); ++i) QVERIFY(progress[i] >= progress[i - 1]);
        QCOMPARE(progress.back(), 100);
        QCOMPARE(out.ExceptionMessage(), std::string());
        QCOMPARE(std::filesystem::file_size(dir.File("out.wav")), uintmax_t(44 + 44100 * 3 * 4));
    }

    void handlerStopsSynchronouslyAndAnotherRestarts() {
        ScratchDir dir("engine-qt");
        TPcmPatternSource source(44100, 2, 16, 44100 * 5);
        source.MaxPiece = 4096;
        TWaveOut out(nullptr);
        out.SetFileName(dir.File("out.wav").string());
        out.SetInput(&source);
        TLoop loop;
        int doneCount = 0;
        bool stopped = false;
        out.OnProgress = [&](TComponent*) {
            if (!stopped && out.Progress() >= 20) {
                out.Stop(false); // inside the dispatcher's own call: must not deadlock
                stopped = true;
                QTimer::singleShot(0, [&] { out.Run(); });
            }
        };
        out.OnDone = [&](TComponent*) {
            ++doneCount;
            loop.Quit();
        };
        out.Run();
        QVERIFY(loop.Run());
        QVERIFY(stopped);
        QCOMPARE(doneCount, 1); // the restarted run's, not the stopped one's
        QCOMPARE(std::filesystem::file_size(dir.File("out.wav")), uintmax_t(44 + 44100 * 5 * 4));
    }

    void destroyingARunningWriterFromATimerCallsNoHandler() {
        ScratchDir dir("engine-qt");
        TPcmPatternSource source(44100, 2, 16, 44100 * 60);
        source.MaxPiece = 1024;
        auto out = std::make_unique<TWaveOut>(nullptr);
        out->SetFileName(dir.File("out.wav").string());
        out->SetInput(&source);
        int calls = 0;
        out->OnDone = [&](TComponent*) { ++calls; };
        TLoop loop;
        bool destroyed = false;
        out->OnProgress = [&](TComponent*) {
            if (!destroyed) {
                destroyed = true;
                QTimer::singleShot(0, [&] {
                    out.reset();
                    QTimer::singleShot(50, [&] { loop.Quit(); });
                });
            } else {
                ++calls;
            }
        };
        out->Run();
        QVERIFY(loop.Run());
        QVERIFY(destroyed);
        QCOMPARE(calls, 0);
    }

private:
    std::unique_ptr<TSynchronizeHook> FHook;
};

QTEST_GUILESS_MAIN(EngineQtTest)
#include "engine_qt_test.moc"
