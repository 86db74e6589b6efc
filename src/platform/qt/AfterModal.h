// An action held back while a modal window is open.
//
// A later start of the program hands its file to the running window; while a modal window
// (a tool window, a message) sits in front of it, opening the file at once would change the
// window behind the user's back. Post keeps the action until the last modal window has
// closed and runs it then; posting again replaces an action still waiting (the latest file
// is the one wanted).
//
// Threading: GUI thread only. Ownership: a QObject child of its parent; it watches, but does
// not own, the modal window in front.
#pragma once

#include <functional>

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace sundral {

class TAfterModal : public QObject {
    Q_OBJECT
public:
    explicit TAfterModal(QObject* Parent) : QObject(Parent) {}

    // Runs Action now when no modal window is open, otherwise once none is.
    void Post(std::function<void()> Action);
    bool Pending() const { return static_cast<bool>(FAction); }

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    // Runs the action when no modal window is left, else watches the one in front.
    void Check();
    void Watch(QWidget* Modal);
    void CheckSoon();

    std::function<void()> FAction;
    QPointer<QWidget> FWatched;
};

} // namespace sundral
