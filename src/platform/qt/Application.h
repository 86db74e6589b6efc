// The application object and its general error report.
//
// An error that leaves an event handler is shown to the user in a message box (caption
// "Orvane Sundral", information icon, OK) with the error's text, and the program goes on.
// Three roads lead there:
//  - a call run by CheckSynchronize (the core reports it through ReportApplicationError);
//  - handlers wrapped with Guarded(), and action handlers (TAction runs them guarded);
//  - as a last resort, TApplication::notify catches what escapes the delivery of an event.
//    Unwinding through Qt's own frames skips their clean-up, so handlers connected to
//    signals should still be wrapped with Guarded().
//
// Threading: install and remove on the GUI thread. An error reported on another thread is
// shown later on the GUI thread. InstallApplicationErrorReport keeps a reference to Dialogs,
// which must outlive the report (install another one, or call RemoveApplicationErrorReport,
// before it goes).
#pragma once

#include <exception>
#include <functional>
#include <utility>

#include <QApplication>
#include <QString>

#include "platform/uisync.h"

namespace sundral {

class TDialogs;

class TApplication : public QApplication {
public:
    TApplication(int& Argc, char** Argv);
    bool notify(QObject* Receiver, QEvent* Event) override;
};

// The text the report shows: what() of a standard exception, a fixed text otherwise.
QString ErrorText(std::exception_ptr Error);

void InstallApplicationErrorReport(TDialogs& Dialogs);
void RemoveApplicationErrorReport();

// Wraps a handler so that an exception leaving it goes to the error report instead of
// unwinding through the caller (usually Qt's signal delivery). The wrapper accepts exactly
// the arguments the handler accepts, so Qt can connect it to a signal with more arguments.
template <class F> auto Guarded(F Handler) {
    return [handler = std::move(Handler)](auto&&... Args) mutable
           -> decltype(std::declval<F&>()(std::forward<decltype(Args)>(Args)...), void()) {
        try {
            handler(std::forward<decltype(Args)>(Args)...);
        } catch (...) {
            ReportApplicationError(std::current_exception());
        }
    };
}

} // namespace sundral
