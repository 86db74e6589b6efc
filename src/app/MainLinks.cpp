// The banner's web links, the About menu and box, and the side windows (Segment Cut,
// Joiner & Mixer), each created anew, shown modally and destroyed when it closes.
#include <QCursor>
#include <QDesktopServices>
#include <QMenu>
#include <QUrl>

#include "app/About.h"
#include "app/Main.h"
#include "app/WebLinks.h"
#include "controls/TrackBar2.h"
#include "platform/qt/Dialogs.h"
#include "tools/Joiner.h"
#include "tools/SegmentCut.h"

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

void TfrmMain::bSegmentCutClick() {
    // The side windows open their own files; they get nothing from this one.
    TfrmSegmentCut window(FDialogs, this);
    FDialogs.ShowModal(window);
    tbAudio->update();
}

void TfrmMain::bJoinerClick() {
    TfrmJoiner window(FDialogs, this);
    FDialogs.ShowModal(window);
    tbAudio->update();
}

} // namespace sundral
