#include "platform/qt/Application.h"

#include <QMetaObject>
#include <QThread>

#include "platform/qt/Dialogs.h"

namespace sundral {

TApplication::TApplication(int& Argc, char** Argv) : QApplication(Argc, Argv) {}

bool TApplication::notify(QObject* Receiver, QEvent* Event) {
    try {
        return QApplication::notify(Receiver, Event);
    } catch (...) {
        ReportApplicationError(std::current_exception());
        return false;
    }
}

QString ErrorText(std::exception_ptr Error) {
    try {
        std::rethrow_exception(Error);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error.");
    }
}

void InstallApplicationErrorReport(TDialogs& Dialogs) {
    SetApplicationErrorHandler([&Dialogs](std::exception_ptr Error) {
        QString text = ErrorText(Error);
        QCoreApplication* app = QCoreApplication::instance();
        if (!app) return;
        if (QThread::currentThread() == app->thread()) {
            Dialogs.ShowMessage(nullptr, text);
            return;
        }
        // A message box belongs on the GUI thread: hand an error raised elsewhere over to it.
        QMetaObject::invokeMethod(
            app, [&Dialogs, text] { Dialogs.ShowMessage(nullptr, text); }, Qt::QueuedConnection);
    });
}

void RemoveApplicationErrorReport() {
    SetApplicationErrorHandler({});
}

} // namespace sundral
