#include "platform/qt/Actions.h"

#include <QAbstractButton>
#include <QAbstractEventDispatcher>
#include <QThread>

#include "platform/qt/Application.h"

namespace sundral {

TAction::TAction(TActionList* ActionList, const QString& Name, const QString& Caption, bool Enabled)
    : QObject(ActionList), FCaption(Caption), FEnabled(Enabled) {
    setObjectName(Name);
}

TActionList* TAction::ActionList() const {
    return static_cast<TActionList*>(parent());
}

void TAction::SetCaption(const QString& Value) {
    if (Value == FCaption) return;
    FCaption = Value;
    UpdateClients();
}

void TAction::SetEnabled(bool Value) {
    if (Value == FEnabled) return;
    FEnabled = Value;
    UpdateClients();
}

bool TAction::Execute() {
    Update();
    if (!FEnabled || !OnExecute) return false;
    Guarded(OnExecute)(this);
    return true;
}

void TAction::Update() {
    if (OnUpdate) Guarded(OnUpdate)(this);
}

void TAction::LinkButton(QAbstractButton* Button) {
    FClients.emplace_back(Button);
    Button->setText(FCaption);
    Button->setEnabled(FEnabled);
    connect(Button, &QAbstractButton::clicked, this, [this] { Execute(); });
}

void TAction::UpdateClients() {
    for (auto it = FClients.begin(); it != FClients.end();) {
        if (!*it) {
            it = FClients.erase(it);
            continue;
        }
        (*it)->setText(FCaption);
        (*it)->setEnabled(FEnabled);
        ++it;
    }
}

TActionList::TActionList(QObject* Parent, const QString& Name) : QObject(Parent) {
    setObjectName(Name);
    // The dispatcher of the thread the list lives on; none exists before the application
    // object, and then nothing runs the updates (there is no event loop to be idle either).
    if (auto* dispatcher = QAbstractEventDispatcher::instance(thread()))
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                &TActionList::UpdateActions);
}

std::vector<TAction*> TActionList::Actions() const {
    std::vector<TAction*> result;
    for (QObject* child : children())
        if (auto* action = qobject_cast<TAction*>(child)) result.push_back(action);
    return result;
}

void TActionList::UpdateActions() {
    if (FUpdating) return;
    FUpdating = true;
    for (TAction* action : Actions()) action->Update();
    FUpdating = false;
}

} // namespace sundral
