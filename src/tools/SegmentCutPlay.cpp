// Play Join: the selected row's removed stretch heard as the cut file will sound, that is
// the 2 s before it and then the 2 s after it. The stretch is the row grown by the margin
// every cut removes with it (SegmentPlan.h). The two parts are two plays of the window's
// player, the second started from the first one's end.
#include <algorithm>

#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>

#include "edit/Global.h"
#include "edit/MediaPlayer.h"
#include "edit/SegmentPlan.h"
#include "tools/SegmentCut.h"

namespace sundral {
namespace {

constexpr int32_t kJoinContextMs = 2000;

} // namespace

void TfrmSegmentCut::bPlayJoinClick() {
    StopJoinPlay();
    const int selected = SelectedIndex();
    if (selected < 0 || eOpenFile->text().isEmpty()) return;
    const TSegmentRow row = Rows()[size_t(selected)];
    const int32_t length = FileLengthMs;
    const int32_t cutFrom = std::clamp(ShiftTimeMs(row.Start, TTimeRole::trPieceEnd), 0, length);
    const int32_t cutTo = std::clamp(ShiftTimeMs(row.End, TTimeRole::trPieceStart), 0, length);
    FJoinPlays.clear();
    FJoinPlan.clear();
    // A part that would be empty (the stretch at the file's start or end) is left out.
    if (cutFrom > 0) FJoinPlan.push_back({std::max(cutFrom - kJoinContextMs, 0), cutFrom, -1});
    if (cutTo < length) FJoinPlan.push_back({cutTo, std::min(cutTo + kJoinContextMs, length), -1});
    if (FJoinPlan.empty()) return;
    MediaPlayer1->SetFileName(eOpenFile->text().toStdString());
    MediaPlayer1->Open();
    FJoinStep = 0;
    PlayJoinPart();
}

void TfrmSegmentCut::PlayJoinPart() {
    const TJoinPlay& part = FJoinPlan[size_t(FJoinStep)];
    ++FJoinGeneration;
    MediaPlayer1->SetPlayStart(part.FromMs);
    MediaPlayer1->SetPlayEnd(part.ToMs);
    try {
        MediaPlayer1->Play();
    } catch (...) {
        StopJoinPlay();
        throw;
    }
}

void TfrmSegmentCut::WatchJoinPlays() {
    // A play that ends by itself reports on its own thread; the next part starts on this one.
    // Set once: the handler is read on the play's thread.
    MediaPlayer1->OnNotify = [this](TMediaPlayer* Sender) {
        if (Sender->NotifyValue() != TMPNotifyValues::nvSuccessful) return;
        const uint64_t generation = FJoinGeneration.load();
        QMetaObject::invokeMethod(
            this, [this, generation] { JoinPartEnded(generation); }, Qt::QueuedConnection);
    };
}

void TfrmSegmentCut::JoinPartEnded(uint64_t Generation) {
    if (Generation != FJoinGeneration || FJoinStep < 0) return;
    TJoinPlay ended = FJoinPlan[size_t(FJoinStep)];
    if (const mci::TMciDevice* device = MediaPlayer1->Device())
        ended.ReachedMs = int32_t(device->Position());
    FJoinPlays.push_back(ended);
    if (OnJoinPlayEnded) OnJoinPlayEnded(ended);
    if (Generation != FJoinGeneration) return; // the handler stopped it
    if (++FJoinStep < int(FJoinPlan.size())) {
        PlayJoinPart();
        return;
    }
    FJoinStep = -1;
    MediaPlayer1->Close();
}

void TfrmSegmentCut::StopJoinPlay() {
    // The play's thread is gone once Close returns: an end it reported before carries the
    // old number and is ignored.
    MediaPlayer1->Close();
    ++FJoinGeneration;
    FJoinStep = -1;
}

} // namespace sundral
