// TfrmAbout: the About box: the product's name, version and web address, and a donation
// button. Created on demand by the main window, shown modally and destroyed when it closes.
//
// Threading: GUI thread only. Ownership: Qt children of the box; the box belongs to whoever
// created it (a stack object of the main window's handler).
#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

namespace sundral {

class TLinkLabel;

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* Owner);

    QLabel* Image2 = nullptr; // banner
    QLabel* Image1 = nullptr; // product icon
    QLabel* Label1 = nullptr; // product name
    QLabel* Label2 = nullptr; // version
    QLabel* lCopywrite = nullptr;
    QLabel* Label4 = nullptr;
    TLinkLabel* Image3 = nullptr; // donation button
    QLabel* Label3 = nullptr;     // support contact
    QFrame* Panel2 = nullptr;     // separator
    TLinkLabel* lbEAddress = nullptr;
    QPushButton* bOK = nullptr;

    void FormShow();
    void lbEAddressClick();
    void Image3Click();

protected:
    void showEvent(QShowEvent* Event) override;
};

} // namespace sundral
