// Program entry: one running instance per user and display, the application object, the
// main window.
//
// Usage: sundral [FILE]. A start while an instance runs sends it WM_ACTIVATEINSTANCE (see
// SingleInstance.h for the socket and the protocol), with FILE's absolute path as the
// message's data, and ends with exit code 0 without creating a window. The running instance
// comes forward and opens FILE (after the modal window in front of it, if any, has closed);
// a first start opens FILE once its window is shown.
//
// Test hook: when SUNDRAL_TEST_ACTIVATION_LOG names a file, the running instance appends
//   "ready pid=<pid>"                       once it listens and its window is shown, and
//   "activated pid=<pid> windows=<n>"       each time it has handled WM_ACTIVATEINSTANCE,
// where n counts the top-level main windows; either line ends in " file=<path>" when the
// window has a file open. Nothing else reads or writes that file.
//
// Start-up hook: when SUNDRAL_EXIT_AFTER_FIRST_PAINT is set, the program prints
// "first-paint-monotonic-ms=<ms>" (CLOCK_MONOTONIC, which every process reads alike) once the
// main window's first paint has run, and quits; a caller that read the clock before starting
// it has the time from start to a painted window.
#include <time.h>

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTextStream>
#include <QTimer>
#include <QWidget>
#include <cstdio>

#include "app/Main.h"
#include "platform/qt/Application.h"
#include "platform/qt/Dialogs.h"
#include "platform/qt/QtUiSync.h"
#include "platform/qt/SingleInstance.h"

using namespace sundral;

namespace {

void AppendTestLog(const QString& Line, const TfrmMain& Window) {
    const QString path = qEnvironmentVariable("SUNDRAL_TEST_ACTIVATION_LOG");
    if (path.isEmpty()) return;
    QFile file(path);
    if (!file.open(QIODevice::Append | QIODevice::Text)) return;
    QTextStream(&file) << Line << " pid=" << QCoreApplication::applicationPid();
    if (Line == QLatin1String("activated")) {
        int windows = 0;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (qobject_cast<TfrmMain*>(widget)) ++windows;
        QTextStream(&file) << " windows=" << windows;
    }
    if (!Window.eOpenFile->text().isEmpty())
        QTextStream(&file) << " file=" << Window.eOpenFile->text();
    QTextStream(&file) << '\n';
}

class TFirstPaintExit : public QObject {
public:
    bool eventFilter(QObject* Watched, QEvent* Event) override {
        if (Event->type() == QEvent::Paint && !FSeen) {
            FSeen = true;
            // Reported once the paint itself has run.
            QTimer::singleShot(0, [] {
                timespec now{};
                clock_gettime(CLOCK_MONOTONIC, &now);
                std::printf("first-paint-monotonic-ms=%.3f\n",
                            double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6);
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return QObject::eventFilter(Watched, Event);
    }

private:
    bool FSeen = false;
};

} // namespace

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(kApplicationTitle));

    // A file named on the command line; Qt has taken its own options out already.
    QString fileToOpen;
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() > 1) fileToOpen = QFileInfo(arguments.at(1)).absoluteFilePath();

    TSingleInstance instance(TSingleInstance::DefaultServerName());
    switch (instance.Claim(WM_ACTIVATEINSTANCE, fileToOpen.toUtf8())) {
    case irAlreadyRunning:
        return 0;
    case irUnavailable:
        qWarning("Cannot listen on %s; running without the single-instance check.",
                 qPrintable(instance.ServerName()));
        break;
    case irClaimed:
        break;
    }

    TSynchronizeHook synchronizeHook;
    TQtDialogs dialogs;
    InstallApplicationErrorReport(dialogs);

    TfrmMain frmMain(dialogs);
    instance.OnMessage = [&frmMain](uint16_t Message, const QByteArray& Data) {
        if (Message != WM_ACTIVATEINSTANCE) return;
        frmMain.WMActivateInstance();
        // A modal window in front of it is what the user can use: bring that up too.
        if (QWidget* modal = QApplication::activeModalWidget()) {
            modal->raise();
            modal->activateWindow();
        }
        if (!Data.isEmpty()) frmMain.OpenHandedFile(QString::fromUtf8(Data));
        AppendTestLog(QStringLiteral("activated"), frmMain);
    };
    TFirstPaintExit firstPaintExit;
    if (qEnvironmentVariableIsSet("SUNDRAL_EXIT_AFTER_FIRST_PAINT"))
        frmMain.installEventFilter(&firstPaintExit);
    frmMain.show();
    if (!fileToOpen.isEmpty()) Guarded([&] { frmMain.OpenSoundFile(fileToOpen); })();
    AppendTestLog(QStringLiteral("ready"), frmMain);

    const int result = QApplication::exec();
    RemoveApplicationErrorReport();
    return result;
}
