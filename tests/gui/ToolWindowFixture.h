// A real tool window (Segment Cut, Joiner & Mixer) under test: scripted dialogs, the error
// report routed into them, and a scratch folder that also holds the application-data
// folder, so the Segment Cut's work folder is the test's own.
#pragma once

#include <filesystem>
#include <memory>

#include <QTest>

#include "ScratchDir.h"
#include "ScriptedDialogs.h"
#include "platform/qt/Application.h"
#include "platform/qt/QtUiSync.h"

namespace sundral_test {

// Bound on waits for a run that a working program ends long before.
inline constexpr int kToolGiveUpMs = 60000;

template <class TWindow> class TToolWindowFixture {
public:
    TToolWindowFixture() : Dir("toolwin") {
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(Dir.File("data").string()));
        // The remembered choices go to the test's folder (the first one's, for the process).
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(Dir.File("config").string()));
        sundral::InstallApplicationErrorReport(Dialogs);
        Window = std::make_unique<TWindow>(Dialogs, nullptr);
        Window->show();
        Window->activateWindow();
        Exposed = QTest::qWaitForWindowActive(Window.get());
    }
    ~TToolWindowFixture() {
        Window.reset();
        sundral::RemoveApplicationErrorReport();
    }

    // Files left below the work folder; every run removes its own.
    size_t WorkFiles() const {
        const auto folder = Dir.File("data/Orvane/Sundral");
        if (!std::filesystem::exists(folder)) return 0;
        return size_t(std::distance(std::filesystem::recursive_directory_iterator(folder), {}));
    }
    // Regular files in the scratch folder: inputs, outputs, and any unfinished file.
    size_t Files() const {
        size_t count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(Dir.Path()))
            count += entry.is_regular_file();
        return count;
    }

    sundral::TSynchronizeHook Hook; // brings the writers' events to this thread
    sundral::TScriptedDialogs Dialogs;
    ScratchDir Dir;
    std::unique_ptr<TWindow> Window;
    bool Exposed = false;
};

} // namespace sundral_test
