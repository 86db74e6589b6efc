// Actions: named commands with a caption and an enabled state that buttons follow.
//
// A TAction belongs to a TActionList (its QObject parent). Buttons linked to an action show
// its Caption and Enabled state and run Execute when clicked. The list runs every action's
// OnUpdate whenever the thread's event loop is about to wait for more events, so enabling is
// computed from the window's state on every idle moment rather than set by hand. OnUpdate
// handlers must only read state and set properties: anything that posts events wakes the
// loop again.
//
// Threading: GUI thread only. Ownership: Qt parent/child (list owns its actions, the window
// owns the list); linked buttons are not owned and may be destroyed first.
#pragma once

#include <functional>
#include <vector>

#include <QObject>
#include <QPointer>
#include <QString>

class QAbstractButton;

namespace sundral {

class TAction;
class TActionList;

using TActionEvent = std::function<void(TAction* Sender)>;

class TAction : public QObject {
    Q_OBJECT
public:
    TAction(TActionList* ActionList, const QString& Name, const QString& Caption,
            bool Enabled = true);

    TActionList* ActionList() const;
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& Value);
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool Value);

    // Runs OnUpdate first; then OnExecute when the action is (still) enabled. True when
    // OnExecute ran. An exception from either handler goes to the application's error report.
    bool Execute();
    // Runs OnUpdate, if any; an exception goes to the error report.
    void Update();

    // The button takes the action's caption and enabled state from now on, and its clicks
    // execute the action.
    void LinkButton(QAbstractButton* Button);

    TActionEvent OnExecute;
    TActionEvent OnUpdate;

private:
    void UpdateClients();

    QString FCaption;
    bool FEnabled;
    std::vector<QPointer<QAbstractButton>> FClients;
};

class TActionList : public QObject {
    Q_OBJECT
public:
    // Parent: the window that owns the list. Objects named like the list find it with findChild.
    TActionList(QObject* Parent, const QString& Name);

    std::vector<TAction*> Actions() const;
    // Runs every action's OnUpdate, in creation order. Not re-entered from a nested event loop
    // that an update handler starts.
    void UpdateActions();

private:
    bool FUpdating = false;
};

} // namespace sundral
