#include "app/About.h"

#include <QDesktopServices>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QUrl>

#include "app/AppResources.h"
#include "app/WebLinks.h"
#include "controls/LinkLabel.h"
#include "platform/qt/Dialogs.h"
#include "platform/qt/FormBuilder.h"

namespace sundral {
namespace {} // namespace

TfrmAbout::TfrmAbout(QWidget* Owner) : QDialog(Owner) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Orvane Sundral"));
    SetFixedDialog(this, 360, 255);
    SetDesignFont(this);
    setStyleSheet(SkinStyleSheet());

    Image2 = Named(new QLabel(this), "Image2");
    Image2->setPixmap(AppPicture(QStringLiteral("banner-about.jpg")));
    Image2->setScaledContents(true);
    Image2->setGeometry(0, 0, 360, 50);

    Image1 = Named(new QLabel(this), "Image1");
    Image1->setPixmap(AppPicture(QStringLiteral("icon32.png")));
    Image1->setGeometry(16, 64, 32, 32);

    // The product name is set at show time.
    Label1 = Text(this, "Label1", QStringLiteral("Sundral"), {62, 62, 280, 18});
    QFont nameFont = Label1->font();
    nameFont.setBold(true);
    nameFont.setPixelSize(14);
    Label1->setFont(nameFont);
    Label2 = Text(this, "Label2", QStringLiteral("Version %1").arg(QStringLiteral(SUNDRAL_VERSION)),
                  {62, 82, 280, 16});
    lCopywrite =
        Text(this, "lCopywrite", QStringLiteral("Copyright (C) 2026 Orvane. All rights reserved."),
             {62, 99, 290, 16});
    Label4 = Text(this, "Label4",
                  QStringLiteral("If you like it, please feel free to donate, any donations\n"
                                 "large or small are greatly appreciated."),
                  {16, 122, 330, 30});

    Image3 = Named(new TLinkLabel(this), "Image3");
    Image3->setPixmap(AppPicture(QStringLiteral("donate.png")));
    Image3->setGeometry(16, 158, 92, 26);
    Image3->setToolTip(QStringLiteral("Donate"));
    Image3->OnClick = [this](TLinkLabel*) { Image3Click(); };

    Label3 = Text(this, "Label3", QString::fromLatin1(kSupportText), {120, 163, 230, 16});

    Panel2 = Named(new QFrame(this), "Panel2");
    Panel2->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    Panel2->setGeometry(16, 196, 262, 2);

    lbEAddress = Named(new TLinkLabel(this), "lbEAddress");
    lbEAddress->setText(QString::fromLatin1(kHomePageText));
    lbEAddress->SetColor(Qt::blue);
    QFont linkFont = lbEAddress->font();
    linkFont.setUnderline(true);
    lbEAddress->setFont(linkFont);
    lbEAddress->setGeometry(16, 212, 220, 16);
    lbEAddress->OnClick = [this](TLinkLabel*) { lbEAddressClick(); };

    bOK = Named(new QPushButton(QStringLiteral("&OK"), this), "bOK");
    bOK->setGeometry(272, 214, 75, 25);
    bOK->setDefault(true);
    connect(bOK, &QPushButton::clicked, this, &QDialog::accept);
}

void TfrmAbout::showEvent(QShowEvent* Event) {
    QDialog::showEvent(Event);
    if (Event->spontaneous()) return;
    // Centred on the owner.
    if (QWidget* owner = parentWidget()) {
        const QRect area = owner->frameGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    FormShow();
}

void TfrmAbout::FormShow() {
    Label1->setText(QString::fromLatin1(kApplicationTitle));
}

void TfrmAbout::lbEAddressClick() {
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kHomePageUrl)));
}

void TfrmAbout::Image3Click() {
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kDonateUrl)));
}

} // namespace sundral
