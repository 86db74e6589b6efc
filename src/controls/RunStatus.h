// TRunStatus: the strip under a window's controls that follows a long write. While the work
// runs it shows a progress bar and a Cancel button; when the work ends it shows one line:
// "Saved cut_x.mp3 (00:00:07.0)" with a "Show in Folder" link that opens the file's folder
// in the desktop's file manager, or the reason the work failed or was cancelled.
//
// The window's caption keeps its own percentage; this strip is in addition to it.
//
// Threading: GUI thread only. Ownership: a Qt child of its window; OnCancel is called
// synchronously from the button's click.
#pragma once

#include <cstdint>
#include <functional>

#include <QString>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace sundral {

class TLinkLabel;

class TRunStatus : public QWidget {
    Q_OBJECT
public:
    explicit TRunStatus(QWidget* Parent = nullptr);

    // The work started: the bar at 0 and Cancel enabled; the last line is cleared.
    void Start();
    // The share done, 0 to 100.
    void SetPercent(int32_t Percent);
    // The work wrote Path, which plays LengthMs.
    void ShowSaved(const QString& Path, int32_t LengthMs);
    // The work ended without a file: Message says why ("Cancelled", an error).
    void ShowEnded(const QString& Message);
    // Back to empty, as before the first run.
    void Clear();

    bool Running() const { return FRunning; }
    QString Line() const; // the text of the last line, for tests
    QString SavedFolder() const { return FFolder; }

    // The user pressed Cancel.
    std::function<void()> OnCancel;
    // Opens a folder; the desktop's file manager (xdg-open) unless a test sets another.
    std::function<void(const QString& Folder)> OpenFolder;

    QProgressBar* Bar() const { return FBar; }
    QPushButton* CancelButton() const { return FCancel; }
    TLinkLabel* ShowInFolder() const { return FShowInFolder; }

private:
    QProgressBar* FBar;
    QPushButton* FCancel;
    QLabel* FLine;
    TLinkLabel* FShowInFolder;
    QString FFolder;
    bool FRunning = false;
};

} // namespace sundral
