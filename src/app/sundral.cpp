// Program entry: one running instance per user, the application object, the main window.
//
// A start while an instance runs sends it WM_ACTIVATEINSTANCE (see SingleInstance.h for the
// socket and the protocol) and ends with exit code 0 without creating a window.
//
// Test hook: when SUNDRAL_TEST_ACTIVATION_LOG names a file, the running instance appends
//   "ready pid=<pid>"                       once it listens and its window is shown, and
//   "activated pid=<pid> windows=<n>"       each time it has handled WM_ACTIVATEINSTANCE,
// where n counts the top-level main windows. Nothing else reads or writes that file.
#include <QApplication>
#include <QFile>
#include <QTextStream>
#include <QWidget>

#include "app/Main.h"
#include "platform/qt/Application.h"
#include "platform/qt/Dialogs.h"
#include "platform/qt/QtUiSync.h"
#include "platform/qt/SingleInstance.h"

using namespace sundral;

namespace {

void AppendTestLog(const QString& Line) {
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
    QTextStream(&file) << '\n';
}

} // namespace

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(kApplicationTitle));

    TSingleInstance instance(TSingleInstance::DefaultServerName());
    switch (instance.Claim(WM_ACTIVATEINSTANCE)) {
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
    instance.OnMessage = [&frmMain](uint16_t Message) {
        if (Message != WM_ACTIVATEINSTANCE) return;
        frmMain.WMActivateInstance();
        AppendTestLog(QStringLiteral("activated"));
    };
    frmMain.show();
    AppendTestLog(QStringLiteral("ready"));

    const int result = QApplication::exec();
    RemoveApplicationErrorReport();
    return result;
}
