// The selection: the track bar's thumbs and the start and end time fields kept in step.
#include <QLabel>
#include <QLineEdit>

#include "app/Main.h"
#include "controls/TrackBar2.h"
#include "edit/Global.h"
#include "platform/qt/Dialogs.h"

namespace sundral {
namespace {

std::string TextOf(const QLineEdit* Edit) {
    return Edit->text().toStdString();
}

bool IsCompleteTime(const std::string& Text) {
    return IsTimeText(Text) && IsFixedTimeText(Text);
}

} // namespace

void TfrmMain::ShowSelectionTimes() {
    lFileTime->setText(UnitsToTimeText(tbAudio->PositionU() - tbAudio->PositionL()));
}

void TfrmMain::tbAudioChange() {
    eStart->setText(UnitsToTimeText(tbAudio->PositionL()));
    eEnd->setText(UnitsToTimeText(tbAudio->PositionU()));
    ShowSelectionTimes();
}

void TfrmMain::eStartChange() {
    const std::string text = TextOf(eStart);
    if (!IsCompleteTime(text)) return;
    const int32_t start = TimeTextToMs(text);
    const int32_t end = TimeTextToMs(TextOf(eEnd));
    // The thumb's change event writes the snapped time back into the field.
    if (start < end) tbAudio->SetPositionL(start / kStepMs);
}

void TfrmMain::eEndChange() {
    const std::string text = TextOf(eEnd);
    if (!IsCompleteTime(text)) return;
    const int32_t end = TimeTextToMs(text);
    if (int64_t(end) <= int64_t(tbAudio->Max()) * kStepMs) tbAudio->SetPositionU(end / kStepMs);
}

void TfrmMain::eStartExit() {
    const std::string text = TextOf(eStart);
    const char* refusal = nullptr;
    if (!IsTimeText(text))
        refusal = kTimeFormatMessage;
    else if (TimeTextToMs(text) > TimeTextToMs(TextOf(eEnd)))
        refusal = kStartAfterEndMessage;
    if (refusal) {
        FDialogs.ShowMessage(this, QString::fromLatin1(refusal));
        tbAudio->update();
        eStart->setFocus();
        return;
    }
    eStart->setText(QString::fromStdString(NormalizeTimeText(text)));
}

void TfrmMain::eEndExit() {
    const std::string text = TextOf(eEnd);
    const char* refusal = nullptr;
    if (!IsTimeText(text))
        refusal = kTimeFormatMessage;
    else if (int64_t(TimeTextToMs(text)) > int64_t(tbAudio->Max()) * kStepMs)
        refusal = kEndAfterTotalMessage;
    if (refusal) {
        FDialogs.ShowMessage(this, QString::fromLatin1(refusal));
        tbAudio->update();
        eEnd->setFocus();
        return;
    }
    eEnd->setText(QString::fromStdString(NormalizeTimeText(text)));
}

} // namespace sundral
