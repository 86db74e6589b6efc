// The Joiner's run status: the strip under the buttons (the window grows by its height)
// with the progress and Cancel while the writer runs, then the saved file or why the run
// ended. Cancel stops the writer synchronously and removes its unfinished file.
#include <QGuiApplication>

#include "controls/RunStatus.h"
#include "edit/PendingOutput.h"
#include "edit/ToolComponents.h"
#include "platform/qt/Application.h"
#include "platform/qt/FormBuilder.h"
#include "tools/Joiner.h"
#include "tools/ToolRunStatus.h"

namespace sundral {
namespace {

constexpr int kStatusHeight = 24;
constexpr char kCancelledLine[] = "Cancelled: nothing was written.";

} // namespace

void TfrmJoiner::CreateRunStatus() {
    const int top = height();
    setFixedSize(width(), top + kStatusHeight + 6);
    RunStatus1 = Named(new TRunStatus(this), "RunStatus1");
    RunStatus1->setGeometry(8, top, kJoinerClientWidth - 16, kStatusHeight);
    RunStatus1->OnCancel = Guarded([this] { RunStatusCancel(); });
}

void TfrmJoiner::RunShowStart(const QString& Output) {
    FRunOutput = Output;
    RunStatus1->Start();
}

void TfrmJoiner::RunShowProgress(int32_t Progress) {
    RunStatus1->SetPercent(Progress);
}

void TfrmJoiner::RunShowEnd(bool Written, const std::string& Error) {
    if (Written && Error.empty())
        ShowSavedOutput(*RunStatus1, FRunOutput);
    else
        RunStatus1->ShowEnded(QStringLiteral("Not saved: ") + QString::fromStdString(Error));
}

void TfrmJoiner::RunStatusCancel() {
    if (!Processing()) return;
    // No event of the stopped writer follows; the unfinished file goes with the pending output.
    FTools->StopWriters();
    FSplice.Stop();
    FOutput.reset();
    EndRun();
    RunStatus1->ShowEnded(QString::fromLatin1(kCancelledLine));
}

} // namespace sundral
