// The real main window under test: scripted dialogs, the application's error report routed
// into them, a scratch folder for the files it opens and writes, and the calls a user makes.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include "RiffBytes.h"
#include "ScratchDir.h"
#include "ScriptedDialogs.h"
#include "WaveTools.h"
#include "app/Main.h"
#include "controls/TrackBar2.h"
#include "platform/qt/Actions.h"
#include "platform/qt/Application.h"
#include "platform/qt/QtUiSync.h"

namespace sundral_test {

// Bound on waits for a run or a play that a working program ends long before.
inline constexpr int kGiveUpMs = 60000;

class TMainWindowFixture {
public:
    TMainWindowFixture()
        : Dir("mainwin"), Settings("mainwin-settings"),
          Window((UseSettingsIn(Settings), std::make_unique<sundral::TfrmMain>(Dialogs))) {
        sundral::InstallApplicationErrorReport(Dialogs);
        Window->show();
        Window->activateWindow();
        // Focus moves between the fields only in the active window.
        Exposed = QTest::qWaitForWindowActive(Window.get());
    }
    ~TMainWindowFixture() {
        Window.reset();
        sundral::RemoveApplicationErrorReport();
    }

    // A WAV of Ms milliseconds at 8000 Hz mono in the scratch folder.
    std::filesystem::path Wave(const std::string& Name, int64_t Ms) {
        return WriteCountingWave(Dir.File(Name), 8000, 1, Ms * 8);
    }
    // Open File with File chosen in the dialog; waits while the file is measured.
    void Open(const std::filesystem::path& File) {
        Dialogs.FileAnswers.push_back(QString::fromStdString(File.string()));
        Window->bOpen->click();
        (void)QTest::qWaitFor([&] { return !Window->Measuring(); }, kGiveUpMs);
    }
    // What the action list does when the program goes idle.
    void Idle() { Window->ActionList1->UpdateActions(); }
    sundral::TTrackBar2& Bar() { return *Window->tbAudio; }
    // The user's settings go to a folder of their own, fresh for each fixture.
    static void UseSettingsIn(const ScratchDir& Folder) {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                           QString::fromStdString(Folder.Path().string()));
    }

    sundral::TSynchronizeHook Hook; // brings the writers' events to this thread
    sundral::TScriptedDialogs Dialogs;
    ScratchDir Dir;
    ScratchDir Settings;
    std::unique_ptr<sundral::TfrmMain> Window;
    bool Exposed = false;
};

} // namespace sundral_test
