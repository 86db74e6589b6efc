// TRadioGroup: a framed group of radio buttons laid out in columns, of which one (or none)
// is selected; the windows read and set the choice by its index.
//
// Threading: GUI thread only. Ownership: a Qt child of its window; the buttons are its
// children.
#pragma once

#include <QGroupBox>
#include <QStringList>
#include <vector>

class QButtonGroup;
class QRadioButton;

namespace sundral {

class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    TRadioGroup(QWidget* Parent, const QStringList& Items, int Columns);

    // The selected item's index; -1 when none is.
    int ItemIndex() const;
    // Selects item Value; -1 or an index outside the items selects none.
    void SetItemIndex(int Value);
    QRadioButton* Button(int Index) const { return FButtons.at(size_t(Index)); }
    int Count() const { return int(FButtons.size()); }

private:
    QButtonGroup* FGroup;
    std::vector<QRadioButton*> FButtons;
};

} // namespace sundral
