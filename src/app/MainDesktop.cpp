// Files handed to the window by the desktop: dropped on it, named on the command line, or
// named by a later start of the program (see sundral.cpp).
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "app/Main.h"
#include "platform/qt/AfterModal.h"
#include "platform/qt/Application.h"

namespace sundral {
namespace {

// The one local file a drag carries; empty for anything else.
QString DroppedFile(const QMimeData* Data) {
    if (!Data || !Data->hasUrls()) return {};
    const QList<QUrl> urls = Data->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile()) return {};
    return urls.first().toLocalFile();
}

} // namespace

void TfrmMain::OpenHandedFile(const QString& FileName) {
    auto* handOver = findChild<TAfterModal*>(QString(), Qt::FindDirectChildrenOnly);
    if (!handOver) handOver = new TAfterModal(this);
    handOver->Post([this, FileName] { Guarded([this, FileName] { OpenSoundFile(FileName); })(); });
}

void TfrmMain::dragEnterEvent(QDragEnterEvent* Event) {
    if (!DroppedFile(Event->mimeData()).isEmpty()) Event->acceptProposedAction();
}

void TfrmMain::dropEvent(QDropEvent* Event) {
    const QString file = DroppedFile(Event->mimeData());
    if (file.isEmpty()) return;
    Event->acceptProposedAction();
    Guarded([this, file] { OpenSoundFile(file); })();
}

} // namespace sundral
