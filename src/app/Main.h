// The main window: the program's only automatically created window.
//
// The controls, actions and audio components are public members named as in the window's
// design (bOpen, eOpenFile, tbAudio, aPlay, ...); each control's objectName is the same text,
// so tests find them with findChild. CreateForm (MainForm.cpp) creates them with their design
// values, like a stored form description; the handlers live in Main*.cpp files by topic.
//
// Threading: GUI thread only. Ownership: controls and actions are Qt children of the window;
// the TDialogs passed in is not owned and must outlive the window.
#pragma once

#include <cstdint>

#include <QWidget>

class QLabel;

namespace sundral {

class TActionList;
class TDialogs;

// Sent by a later start of the program to the running instance: bring the window forward.
inline constexpr uint16_t WM_ACTIVATEINSTANCE = 0x1A01;

// Client size of the main window, fixed.
inline constexpr int kMainClientWidth = 513;
inline constexpr int kMainClientHeight = 313;

class TfrmMain : public QWidget {
    Q_OBJECT
public:
    explicit TfrmMain(TDialogs& Dialogs, QWidget* Parent = nullptr);
    ~TfrmMain() override;

    // Handler of WM_ACTIVATEINSTANCE: makes the window visible, restores it when minimised,
    // raises it and makes it the active window.
    void WMActivateInstance();

    TDialogs& Dialogs() const { return FDialogs; }

    // Title banner.
    QLabel* imgTitle = nullptr;
    QLabel* lTitleHint = nullptr;

    TActionList* ActionList1 = nullptr;

protected:
    void showEvent(QShowEvent* Event) override;

private:
    void CreateForm();
    void CenterOnScreen();
    void FormCreate();
    void FormShow();

    TDialogs& FDialogs;
    bool FPlaced = false; // centred on the screen at the first show only
};

} // namespace sundral
