// The main window's waveform: placed between the banner's row of file controls and the track
// bar (the window grows by its height), and kept in step with the track bar.
//
// The track bar's thumbs are the selection; the waveform shows it in frames. A drag on the
// waveform moves the thumbs to the nearest steps of the grid, and the thumbs' change event
// brings the snapped selection back to the waveform, so both always show the same stretch.
// The play cursor follows the track bar's play line, and a click on the waveform places it
// on the nearest step; the opened file is the one in eOpenFile.
#include <algorithm>

#include <QLineEdit>
#include <QTimer>

#include "app/Main.h"
#include "controls/TrackBar2.h"
#include "controls/Waveform.h"
#include "edit/CutSetup.h"
#include "edit/WaveformGeometry.h"
#include "platform/qt/Application.h"
#include "platform/qt/FormBuilder.h"

namespace sundral {
namespace {

constexpr int kWaveformTop = 92;
constexpr int kWaveformHeight = 150;
constexpr int kWaveformGap = 6;

} // namespace

void TfrmMain::CreateWaveform() {
    // Everything from the track bar down moves down by the waveform's height.
    const int grow = kWaveformHeight + kWaveformGap;
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!child->isWindow() && child->y() >= kWaveformTop)
            child->move(child->x(), child->y() + grow);
    }
    setFixedSize(width(), height() + grow);
    wfAudio = Named(new TWaveform(this), "wfAudio");
    wfAudio->setGeometry(tbAudio->x(), kWaveformTop, tbAudio->width(), kWaveformHeight);

    auto followTrackBar = [this] {
        const uint32_t rate = wfAudio->SampleRate();
        if (rate == 0 || eOpenFile->text().isEmpty()) {
            wfAudio->SetSelection(0, 0);
            return;
        }
        // The thumbs stand for the samples a cut takes (the end thumb for the file's end).
        const int32_t max = tbAudio->Max();
        const int64_t total = wfAudio->TotalSamples();
        wfAudio->SetSelection(StepToSample(tbAudio->PositionL(), max, total, rate, FStepMs),
                              StepToSample(tbAudio->PositionU(), max, total, rate, FStepMs));
    };
    // The thumbs' change event keeps its handler and tells the waveform afterwards.
    auto previous = tbAudio->OnChange;
    tbAudio->OnChange = [previous, followTrackBar](TTrackBar2* Sender) {
        if (previous) previous(Sender);
        followTrackBar();
    };
    connect(wfAudio, &TWaveform::SoundChanged, this, [this, followTrackBar] {
        followTrackBar();
        ShowCursor();
    });
    connect(wfAudio, &TWaveform::SelectionChanged, this, [this](qint64 Start, qint64 End) {
        const uint32_t rate = wfAudio->SampleRate();
        if (rate == 0) return;
        const int32_t max = tbAudio->Max();
        const int lower = std::min(SampleToNearestStep(Start, max, rate, FStepMs), max - 1);
        const int upper = std::max(SampleToNearestStep(End, max, rate, FStepMs), lower + 1);
        // The thumbs keep their order while they move: the one moving away goes first.
        if (lower > tbAudio->PositionU()) {
            tbAudio->SetPositionU(upper);
            tbAudio->SetPositionL(lower);
        } else {
            tbAudio->SetPositionL(lower);
            tbAudio->SetPositionU(upper);
        }
    });
    // Opening sets the thumbs after the name, and a selection that was already whole raises
    // no change event: the waveform reads them once the opening is over.
    connect(eOpenFile, &QLineEdit::textChanged, this, [this, followTrackBar](const QString& Name) {
        wfAudio->SetFileName(Name.toStdString());
        QTimer::singleShot(0, wfAudio, followTrackBar);
    });
    connect(wfAudio, &TWaveform::CursorPlaced, this, Guarded([this](qint64 Sample) {
                const uint32_t rate = wfAudio->SampleRate();
                if (rate == 0 || eOpenFile->text().isEmpty()) return;
                PlaceCursor(SampleToNearestStep(Sample, tbAudio->Max(), rate, FStepMs));
            }));
}

} // namespace sundral
