// The component model the audio classes sit on: an owner that destroys its children,
// a name, and the removal notification that lets a component drop references to
// another one that is going away.
//
// Threading: components are created, wired and destroyed on the UI thread.
// Ownership: a component owns the children created with it as owner and destroys them,
// newest first, when it is destroyed. References made through FreeNotification are not
// ownership: they only ask to be told (Notification with opRemove) before the other dies.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/AuException.h"

namespace sundral {

enum class TOperation { opInsert, opRemove };

class TComponent {
public:
    explicit TComponent(TComponent* AOwner);
    virtual ~TComponent();
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return FOwner; }
    const std::string& Name() const { return FName; }
    void SetName(const std::string& Value) { FName = Value; }
    const std::vector<TComponent*>& Components() const { return FComponents; }

    // Design state: set on a root before its children are created; children inherit it.
    bool Designing() const { return FDesigning; }
    void SetDesigning(bool Value) { FDesigning = Value; }

    // Ask to receive Notification(AComponent, opRemove) when AComponent is destroyed.
    void FreeNotification(TComponent* AComponent);
    void RemoveFreeNotification(TComponent* AComponent);

protected:
    virtual void Notification(TComponent* AComponent, TOperation Operation);

private:
    void InsertComponent(TComponent* AComponent);
    void RemoveComponent(TComponent* AComponent);

    TComponent* FOwner;
    std::string FName;
    bool FDesigning;
    std::vector<TComponent*> FComponents;
    std::vector<TComponent*> FFreeNotifies;
};

// A new component of type T, owned by Owner (which frees it) and named Name.
template <class T> T* NewNamed(TComponent* Owner, const char* Name) {
    T* component = new T(Owner);
    component->SetName(Name);
    return component;
}

} // namespace sundral
