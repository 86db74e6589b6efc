#include "audio/AuComponent.h"

#include <algorithm>

namespace sundral {

TComponent::TComponent(TComponent* AOwner)
    : FOwner(AOwner), FDesigning(AOwner != nullptr && AOwner->Designing()) {
    if (FOwner) FOwner->InsertComponent(this);
}

TComponent::~TComponent() {
    // Tell everybody that keeps a reference, then free the children newest first.
    while (!FFreeNotifies.empty()) {
        TComponent* other = FFreeNotifies.back();
        FFreeNotifies.pop_back();
        auto& theirs = other->FFreeNotifies;
        theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
        other->Notification(this, TOperation::opRemove);
    }
    while (!FComponents.empty()) {
        delete FComponents.back(); // the child removes itself from FComponents
    }
    if (FOwner) {
        FOwner->RemoveComponent(this);
        FOwner->Notification(this, TOperation::opRemove);
    }
}

void TComponent::InsertComponent(TComponent* AComponent) {
    FComponents.push_back(AComponent);
    Notification(AComponent, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
    FComponents.erase(std::remove(FComponents.begin(), FComponents.end(), AComponent),
                      FComponents.end());
}

void TComponent::FreeNotification(TComponent* AComponent) {
    if (AComponent == nullptr || AComponent == this) return;
    if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end()) {
        FFreeNotifies.push_back(AComponent);
        AComponent->FFreeNotifies.push_back(this);
    }
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
    if (AComponent == nullptr) return;
    FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent),
                        FFreeNotifies.end());
    auto& theirs = AComponent->FFreeNotifies;
    theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
    // Siblings learn of each other's removal through the owner, as in a form.
    if (Operation == TOperation::opRemove) {
        for (TComponent* child : FComponents) {
            if (child != AComponent) child->Notification(AComponent, Operation);
        }
    }
}

} // namespace sundral
