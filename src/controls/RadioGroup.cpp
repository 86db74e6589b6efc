#include "controls/RadioGroup.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QRadioButton>

namespace sundral {

TRadioGroup::TRadioGroup(QWidget* Parent, const QStringList& Items, int Columns)
    : QGroupBox(Parent), FGroup(new QButtonGroup(this)) {
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    const int columns = Columns > 0 ? Columns : 1;
    // Items fill the first column from the top, then the next, as a radio group lays them.
    const int rows = (int(Items.size()) + columns - 1) / columns;
    for (int i = 0; i < Items.size(); ++i) {
        auto* button = new QRadioButton(Items[i], this);
        FGroup->addButton(button, i);
        layout->addWidget(button, rows ? i % rows : 0, rows ? i / rows : 0);
        FButtons.push_back(button);
    }
}

int TRadioGroup::ItemIndex() const {
    return FGroup->checkedId();
}

void TRadioGroup::SetItemIndex(int Value) {
    if (Value == ItemIndex()) return;
    if (Value >= 0 && Value < Count()) {
        FButtons[size_t(Value)]->setChecked(true);
        return;
    }
    // An exclusive group keeps one button checked; clearing needs it non-exclusive.
    FGroup->setExclusive(false);
    for (QRadioButton* button : FButtons) button->setChecked(false);
    FGroup->setExclusive(true);
}

} // namespace sundral
