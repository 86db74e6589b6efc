#include "platform/qt/Dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace sundral {
namespace {

QWidget* OwnerOrActive(QWidget* Owner) {
    return Owner ? Owner : QApplication::activeWindow();
}

QMessageBox::StandardButton RunMessageBox(QWidget* Owner, const QString& Text,
                                          QMessageBox::StandardButtons Buttons,
                                          QMessageBox::StandardButton Default) {
    QMessageBox box(QMessageBox::Information, QString::fromUtf8(kApplicationTitle), Text, Buttons,
                    OwnerOrActive(Owner));
    box.setDefaultButton(Default);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

std::optional<QString> RunFileDialog(QWidget* Owner, const TFileDialogOptions& Options,
                                     QFileDialog::AcceptMode Mode) {
    QFileDialog dialog(OwnerOrActive(Owner), Options.Title);
    dialog.setAcceptMode(Mode);
    if (Mode == QFileDialog::AcceptOpen) {
        dialog.setFileMode(QFileDialog::ExistingFile);
    } else {
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    }
    if (!Options.Filter.isEmpty()) dialog.setNameFilters(FilterToNameFilters(Options.Filter));
    if (!Options.DefaultExt.isEmpty()) dialog.setDefaultSuffix(Options.DefaultExt);
    if (!Options.InitialDir.isEmpty()) dialog.setDirectory(Options.InitialDir);
    if (!Options.FileName.isEmpty()) dialog.selectFile(Options.FileName);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return std::nullopt;
    return chosen.first();
}

} // namespace

QStringList FilterToNameFilters(const QString& Filter) {
    QStringList result;
    if (Filter.isEmpty()) return result;
    const QStringList parts = Filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        QString patterns = i + 1 < parts.size() ? parts[i + 1] : QStringLiteral("*");
        // Qt separates patterns by spaces only.
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        result << parts[i] + QStringLiteral(" (") + patterns.simplified() + QLatin1Char(')');
    }
    return result;
}

void TQtDialogs::ShowMessage(QWidget* Owner, const QString& Text) {
    RunMessageBox(Owner, Text, QMessageBox::Ok, QMessageBox::Ok);
}

bool TQtDialogs::AskYesNo(QWidget* Owner, const QString& Text) {
    return RunMessageBox(Owner, Text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
           QMessageBox::Yes;
}

std::optional<QString> TQtDialogs::OpenFile(QWidget* Owner, const TFileDialogOptions& Options) {
    return RunFileDialog(Owner, Options, QFileDialog::AcceptOpen);
}

std::optional<QString> TQtDialogs::SaveFile(QWidget* Owner, const TFileDialogOptions& Options) {
    return RunFileDialog(Owner, Options, QFileDialog::AcceptSave);
}

int TQtDialogs::ShowModal(QDialog& Dialog) {
    return Dialog.exec();
}

} // namespace sundral
