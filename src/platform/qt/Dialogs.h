// Every modal window, file dialog and message box of the program goes through TDialogs, so
// that tests can put scripted answers in place of a user.
//
// Windows receive the TDialogs they use when they are created and pass it on to the windows
// they open. The program's entry owns one TQtDialogs for the whole run; tests own a scripted
// implementation instead.
//
// Threading: GUI thread only. Every call may run a nested event loop (the real
// implementation does), so handlers queued with Synchronize and idle-time action updates can
// run inside it.
#pragma once

#include <optional>

#include <QString>
#include <QStringList>

class QDialog;
class QWidget;

namespace sundral {

// The caption of every message box.
inline constexpr char kApplicationTitle[] = "Orvane Sundral";

// Settings of an open or save dialog, as the windows set them before each use.
struct TFileDialogOptions {
    // Pairs "description|patterns" joined by '|', patterns separated by ';':
    // "Sound Files(*.wav;*.mp3;*.wma)|*.wav;*.mp3;*.wma".
    QString Filter;
    // Extension without the point; added to a chosen name that has none. Empty: nothing added.
    QString DefaultExt;
    QString Title;
    // Proposed name, with or without a folder.
    QString FileName;
    QString InitialDir;
};

class TDialogs {
public:
    virtual ~TDialogs() = default;

    // Message box: caption "Orvane Sundral", information icon, the text, one OK button.
    // Owner null: owned by the active window.
    virtual void ShowMessage(QWidget* Owner, const QString& Text) = 0;
    // The same box with Yes and No; true on Yes. Closing the box counts as No.
    virtual bool AskYesNo(QWidget* Owner, const QString& Text) = 0;
    // The chosen file's full path, or nothing when cancelled. The save dialog does not ask
    // about overwriting an existing file: the callers do that themselves.
    virtual std::optional<QString> OpenFile(QWidget* Owner, const TFileDialogOptions& Options) = 0;
    virtual std::optional<QString> SaveFile(QWidget* Owner, const TFileDialogOptions& Options) = 0;
    // Shows a window modally and returns its result code (QDialog::Accepted, Rejected, ...).
    // The caller keeps ownership of the window.
    virtual int ShowModal(QDialog& Dialog) = 0;
};

// The real dialogs: QMessageBox, QFileDialog, QDialog::exec.
class TQtDialogs : public TDialogs {
public:
    void ShowMessage(QWidget* Owner, const QString& Text) override;
    bool AskYesNo(QWidget* Owner, const QString& Text) override;
    std::optional<QString> OpenFile(QWidget* Owner, const TFileDialogOptions& Options) override;
    std::optional<QString> SaveFile(QWidget* Owner, const TFileDialogOptions& Options) override;
    int ShowModal(QDialog& Dialog) override;
};

// Turns a "description|patterns|..." filter into Qt's name filters ("description (p1 p2)").
// A description without patterns (odd number of parts) gets "*".
QStringList FilterToNameFilters(const QString& Filter);

} // namespace sundral
