// Start Cut for an MP3 with "Keep the original quality" checked: the selection's frames are
// copied on a worker (mp3lossless::CutMp3), exact to the sample, into the pending output.
// Where the frames cannot be copied the selection is re-encoded as usual, and the status
// line says why. The worker drives the run strip's bar; Cancel stops it (CancelCut).
#include <atomic>
#include <exception>
#include <memory>

#include <QCoreApplication>
#include <QLabel>
#include <QMetaObject>
#include <QPointer>

#include "app/Main.h"
#include "controls/RunStatus.h"
#include "edit/CutSetup.h"
#include "edit/PendingOutput.h"
#include "formats/AuMp3In.h"
#include "formats/Mp3Lossless.h"
#include "platform/qt/Application.h"
#include "platform/qt/Worker.h"

namespace sundral {
namespace {

constexpr char kReencodingText[] = "Re-encoding: the frames cannot be copied (%1).";

} // namespace

void TfrmMain::StartLosslessCut(const QString& Input, const std::string& Output) {
    using namespace mp3lossless;
    // The samples are numbered as the reader delivers them, as CutMp3 numbers them.
    MP3In1->SetFileName(Input.toStdString());
    RequireSound(*MP3In1);
    const TSampleRange range = SelectionRange(*MP3In1);
    const int64_t end = range.EndSample >= MP3In1->TotalSamples() ? -1 : range.EndSample;
    const std::string input = Input.toStdString();
    FCutWorking = true;
    auto stop = std::make_shared<std::atomic<bool>>(false);
    FCutStop = stop;
    QPointer<TfrmMain> window(this);
    // The worker holds a share of the pending output, so that its file is removed (when it is
    // not committed) only once the worker no longer writes it.
    RunOnWorker<TCutResult>(
        this,
        [keep = FCutOutput, stop, window, input, Output, start = range.StartSample, end]() mutable {
            TCopyControl control;
            control.Stop = stop.get();
            control.OnProgress = [stop, window](int32_t Percent) {
                QMetaObject::invokeMethod(
                    QCoreApplication::instance(),
                    [stop, window, Percent] {
                        // A stopped cut's progress, still on its way, belongs to nobody.
                        if (window && !stop->load()) window->CutProgress(nullptr, Percent);
                    },
                    Qt::QueuedConnection);
            };
            TCutResult result;
            try {
                result = CutMp3(input, Output, start, end, control);
            } catch (const std::exception& Error) {
                result.Message = Error.what();
            }
            // Let go before the window hears of the end: the window's share is then the
            // last, and the file is settled by the time the window shows the result.
            keep.reset();
            return result;
        },
        [this, stop, Input, Output](TCutResult Result) {
            // A stopped cut was ended by Cancel; the window may run another by now.
            if (stop->load()) return;
            Guarded([&] {
                FCutWorking = false;
                FCutStop.reset();
                if (Result.Status == TCutStatus::csDone) {
                    FinishCut({});
                    return;
                }
                if (Result.Status == TCutStatus::csFailed) {
                    FinishCut(Result.Message);
                    return;
                }
                lStatus->setText(QString::fromLatin1(kReencodingText)
                                     .arg(QString::fromStdString(Result.Message)));
                try {
                    StartMp3Cut(Input, Output);
                } catch (const std::exception& Error) {
                    FinishCut(Error.what());
                }
            })();
        });
}

} // namespace sundral
