// The banner's web links, the About menu and box, and the side windows.
#include <QCursor>
#include <QDesktopServices>
#include <QDialog>
#include <QMenu>
#include <QUrl>

#include "app/About.h"
#include "app/Main.h"
#include "app/WebLinks.h"
#include "controls/TrackBar2.h"
#include "platform/qt/Dialogs.h"

namespace sundral {
namespace {

// A failing open of a web page is not reported.
void OpenPage(const char* Address) {
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(Address)));
}

} // namespace

void TfrmMain::Image1Click() {
    OpenPage(kHomePageUrl);
}

void TfrmMain::lTitleClick() {
    OpenPage(kMakerSiteUrl);
}

void TfrmMain::miDonateClick() {
    OpenPage(kDonateUrl);
}

void TfrmMain::bAboutClick() {
    pmAbout->popup(QCursor::pos());
}

void TfrmMain::miAboutClick() {
    TfrmAbout about(this);
    FDialogs.ShowModal(about);
    tbAudio->update();
}

void TfrmMain::miExitClick() {
    close();
}

void TfrmMain::ShowSideWindow(const QString& Name, const QString& Caption) {
    // The side windows open their own files; they get nothing from this one.
    QDialog window(this);
    window.setObjectName(Name);
    window.setWindowTitle(Caption);
    FDialogs.ShowModal(window);
    tbAudio->update();
}

void TfrmMain::bSegmentCutClick() {
    ShowSideWindow(QStringLiteral("frmSegmentCut"), QStringLiteral("Segment Cut"));
}

void TfrmMain::bJoinerClick() {
    ShowSideWindow(QStringLiteral("frmJoiner"), QStringLiteral("Joiner & Mixer"));
}

} // namespace sundral
