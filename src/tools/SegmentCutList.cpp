// Opening the file, the time fields, and the list of segments with its actions.
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>

#include "edit/Global.h"
#include "edit/SoundLength.h"
#include "platform/qt/Actions.h"
#include "platform/qt/Application.h"
#include "platform/qt/Worker.h"
#include "tools/SegmentCut.h"

namespace sundral {
namespace {

constexpr char kOpenErrorMessage[] = "Open file error. Please check whether the file is protected.";
constexpr char kMeasuringCaption[] = " - Measuring the length...";

std::string Text(const QLineEdit* Edit) {
    return Edit->text().toStdString();
}

} // namespace

std::vector<TSegmentRow> TfrmSegmentCut::Rows() const {
    std::vector<TSegmentRow> rows;
    for (int i = 0; i < lvMain->rowCount(); ++i)
        rows.push_back(
            {lvMain->item(i, 0)->text().toStdString(), lvMain->item(i, 1)->text().toStdString()});
    return rows;
}

int TfrmSegmentCut::SelectedIndex() const {
    const QList<QTableWidgetSelectionRange> ranges = lvMain->selectedRanges();
    return ranges.isEmpty() ? -1 : ranges.first().topRow();
}

void TfrmSegmentCut::SelectRow(int Index) {
    lvMain->clearSelection();
    if (Index < 0 || Index >= lvMain->rowCount()) return;
    lvMain->selectRow(Index);
    lvMain->setCurrentCell(Index, 0);
}

void TfrmSegmentCut::bOpenClick() {
    // The folder of the file opened last.
    if (!eOpenFile->text().isEmpty())
        OpenDialog1.InitialDir = QFileInfo(eOpenFile->text()).absolutePath();
    const std::optional<QString> chosen = FDialogs.OpenFile(this, OpenDialog1);
    if (!chosen) return;
    const QString fileName = *chosen;
    const std::string name = fileName.toStdString();
    const uint64_t open = ++FOpenCount;
    // The file that was open stays until the new one is measured, and when it cannot be.
    const auto measured = [this, open, fileName](const TMeasured& Measured) {
        if (open != FOpenCount) return;
        FMeasuring = false;
        if (!Measured.Failure.empty()) {
            setWindowTitle(SavedCaption);
            FDialogs.ShowMessage(this, QString::fromLatin1(kOpenErrorMessage) +
                                           QStringLiteral("\n\n") +
                                           QString::fromStdString(Measured.Failure));
            return;
        }
        setWindowTitle(SavedCaption);
        eOpenFile->setText(fileName);
        FileLengthMs = Measured.Length.LengthMs;
        lFileTime->setText(QString::fromStdString(MsToTimeText(FileLengthMs)));
    };
    if (!NeedsWorkerToMeasure(name)) {
        measured(TryMeasureSound(name));
        return;
    }
    FMeasuring = true;
    setWindowTitle(SavedCaption + QString::fromLatin1(kMeasuringCaption));
    RunOnWorker<TMeasured>(
        this, [name] { return TryMeasureSound(name); },
        [measured](TMeasured Measured) { Guarded([&] { measured(Measured); })(); });
}

void TfrmSegmentCut::TimeFieldExit(QLineEdit* Field) {
    // The text stays as typed: the list keeps what the user wrote.
    if (IsTimeText(Text(Field))) return;
    FDialogs.ShowMessage(this, QString::fromLatin1(kTimeFormatMessage));
    Field->setFocus();
}

void TfrmSegmentCut::eStartExit() {
    TimeFieldExit(eStart);
}

void TfrmSegmentCut::eEndExit() {
    TimeFieldExit(eEnd);
}

void TfrmSegmentCut::bAddClick() {
    // A click on Add can follow a refused leave of a field: the row must hold times.
    if (!IsTimeText(Text(eStart)) || !IsTimeText(Text(eEnd))) {
        FDialogs.ShowMessage(this, QString::fromLatin1(kTimeFormatMessage));
        return;
    }
    const int32_t start = TimeTextToMs(Text(eStart));
    const int32_t end = TimeTextToMs(Text(eEnd));
    const int32_t total = TimeTextToMs(lFileTime->text().toStdString());
    const char* refusal = start == end  ? kSameTimesMessage
                          : end < start ? kStartAfterEndMessage
                          : total < end ? kEndAfterTotalMessage
                                        : nullptr;
    if (refusal) {
        FDialogs.ShowMessage(this, QString::fromLatin1(refusal));
        return;
    }
    // A segment starting where a listed one starts is not added twice.
    for (int i = 0; i < lvMain->rowCount(); ++i)
        if (lvMain->item(i, 0)->text().toUpper() == eStart->text().toUpper()) return;
    const int row = lvMain->rowCount();
    lvMain->insertRow(row);
    lvMain->setItem(row, 0, new QTableWidgetItem(eStart->text()));
    lvMain->setItem(row, 1, new QTableWidgetItem(eEnd->text()));
    SelectRow(row);
}

void TfrmSegmentCut::SwapRows(int A, int B) {
    for (int column = 0; column < 2; ++column) {
        const QString text = lvMain->item(A, column)->text();
        lvMain->item(A, column)->setText(lvMain->item(B, column)->text());
        lvMain->item(B, column)->setText(text);
    }
}

void TfrmSegmentCut::aMoveUpExecute() {
    const int selected = SelectedIndex();
    if (selected <= 0) return;
    SwapRows(selected, selected - 1);
    SelectRow(selected - 1);
}

void TfrmSegmentCut::aMoveUpUpdate(TAction* Sender) {
    Sender->SetEnabled(lvMain->isVisible() && SelectedIndex() > 0);
}

void TfrmSegmentCut::aMoveDownExecute() {
    const int selected = SelectedIndex();
    if (selected < 0 || selected + 1 >= lvMain->rowCount()) return;
    SwapRows(selected, selected + 1);
    SelectRow(selected + 1);
}

void TfrmSegmentCut::aMoveDownUpdate(TAction* Sender) {
    const int selected = SelectedIndex();
    Sender->SetEnabled(lvMain->isVisible() && selected >= 0 && selected + 1 < lvMain->rowCount());
}

void TfrmSegmentCut::aRemoveExecute() {
    const int selected = SelectedIndex();
    if (selected < 0) return;
    lvMain->removeRow(selected);
    SelectRow(selected < lvMain->rowCount() ? selected : 0);
}

void TfrmSegmentCut::aRemoveUpdate(TAction* Sender) {
    Sender->SetEnabled(SelectedIndex() >= 0);
}

void TfrmSegmentCut::bRemoveAllClick() {
    lvMain->setRowCount(0);
}

} // namespace sundral
