// The selection: the track bar's thumbs and the start and end time fields kept in step.
//
// A field shows its thumb's time whenever it holds a complete time: typing one moves the
// thumb and the field then shows the time the thumb stands for (snapped to the chosen
// grid, or the file's end at the end of the range). Leaving a field, or starting a cut or a
// selection play from it, checks what it holds; a refused entry goes back to its thumb's
// time, so the fields never show a selection other than the one that is cut and played.
#include <QLabel>
#include <QLineEdit>

#include "app/Main.h"
#include "controls/TrackBar2.h"
#include "edit/CutSetup.h"
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
    const int32_t ms = UnitsToMs(tbAudio->PositionU()) - UnitsToMs(tbAudio->PositionL());
    lFileTime->setText(QString::fromStdString(MsToTimeText(ms)));
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
    if (start >= end) return;
    tbAudio->SetPositionL(MsToStep(start, tbAudio->Max(), FStepMs));
    // The thumb may not have moved (the same step), yet the field shows its time.
    const QString shown = UnitsToTimeText(tbAudio->PositionL());
    if (eStart->text() != shown) eStart->setText(shown);
}

void TfrmMain::eEndChange() {
    const std::string text = TextOf(eEnd);
    if (!IsCompleteTime(text)) return;
    const int32_t end = TimeTextToMs(text);
    if (end > FLengthMs) return;
    tbAudio->SetPositionU(MsToStep(end, tbAudio->Max(), FStepMs));
    const QString shown = UnitsToTimeText(tbAudio->PositionU());
    if (eEnd->text() != shown) eEnd->setText(shown);
}

void TfrmMain::RefuseTimeField(QLineEdit* Field, const char* Message) {
    FDialogs.ShowMessage(this, QString::fromLatin1(Message));
    Field->setText(UnitsToTimeText(Field == eStart ? tbAudio->PositionL() : tbAudio->PositionU()));
    tbAudio->update();
    Field->setFocus();
}

bool TfrmMain::LeaveTimeField(QLineEdit* Field) {
    const bool isStart = Field == eStart;
    // A field showing its thumb's time holds nothing new.
    if (Field->text() == UnitsToTimeText(isStart ? tbAudio->PositionL() : tbAudio->PositionU()))
        return true;
    QLineEdit* other = isStart ? eEnd : eStart;
    const std::string text = TextOf(Field);
    if (!IsTimeText(text)) {
        RefuseTimeField(Field, kTimeFormatMessage);
        return false;
    }
    const int32_t ms = TimeTextToMs(text);
    // The other field shows its thumb's time unless it is being typed in; what it shows is
    // what this one is compared with.
    const std::string otherText = TextOf(other);
    const int32_t otherMs = IsTimeText(otherText)
                                ? TimeTextToMs(otherText)
                                : UnitsToMs(isStart ? tbAudio->PositionU() : tbAudio->PositionL());
    const char* refusal = nullptr;
    if (!isStart && ms > FLengthMs)
        refusal = kEndAfterTotalMessage;
    else if (ms == otherMs)
        refusal = kSameTimesMessage;
    else if (isStart ? ms > otherMs : ms < otherMs)
        refusal = kStartAfterEndMessage;
    if (refusal) {
        RefuseTimeField(Field, refusal);
        return false;
    }
    if (isStart)
        tbAudio->SetPositionL(MsToStep(ms, tbAudio->Max(), FStepMs));
    else
        tbAudio->SetPositionU(MsToStep(ms, tbAudio->Max(), FStepMs));
    // The field shows the time its thumb now stands for.
    tbAudioChange();
    return true;
}

void TfrmMain::eStartExit() {
    LeaveTimeField(eStart);
}

void TfrmMain::eEndExit() {
    LeaveTimeField(eEnd);
}

bool TfrmMain::CommitTimeFields() {
    // Until a file is measured the fields show no selection of their own.
    if (!FMeasured) return true;
    return LeaveTimeField(eEnd) && LeaveTimeField(eStart);
}

} // namespace sundral
