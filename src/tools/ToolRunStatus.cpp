#include "tools/ToolRunStatus.h"

#include <string>

#include "controls/RunStatus.h"
#include "edit/SoundLength.h"
#include "platform/qt/Worker.h"

namespace sundral {

void ShowSavedOutput(TRunStatus& Status, const QString& Path) {
    const std::string name = Path.toStdString();
    if (!NeedsWorkerToMeasure(name)) {
        Status.ShowSaved(Path, TryMeasureSound(name).Length.LengthMs);
        return;
    }
    // Until the length is known the strip says what ended.
    Status.ShowEnded(QStringLiteral("Saved, measuring..."));
    TRunStatus* status = &Status;
    RunOnWorker<TMeasured>(
        status, [name] { return TryMeasureSound(name); },
        [status, Path](TMeasured Measured) {
            // A new run may have started meanwhile: its strip is not this run's to change.
            if (status->Running()) return;
            status->ShowSaved(Path, Measured.Length.LengthMs);
        });
}

} // namespace sundral
