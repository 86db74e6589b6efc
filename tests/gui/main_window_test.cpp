// The main window as the program creates it: its look, opening files, playback with the play
// cursor, the selection kept in step between thumbs and time fields, the About box and links.
#include <numeric>
#include <vector>

#include <QAction>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QScreen>
#include <QTimer>
#include <QUrl>

#include "MainWindowFixture.h"
#include "MediaFiles.h"
#include "app/About.h"
#include "controls/LinkLabel.h"
#include "controls/Waveform.h"
#include "edit/Global.h"
#include "edit/MediaPlayer.h"
#include "tools/Joiner.h"
#include "tools/SegmentCut.h"

using namespace sundral;
using namespace sundral_test;

// Records the pages the desktop is asked to open.
class TUrlRecorder : public QObject {
    Q_OBJECT
public:
    TUrlRecorder() { QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "Open"); }
    ~TUrlRecorder() override { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); }
    QStringList Opened;
public slots:
    void Open(const QUrl& Url) { Opened << Url.toString(); }
};

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void looksAsDesigned();
    void activationRestoresAMinimisedWindow();
    void activationShowsAHiddenWindow();
    void openingPutsTheFileOnTheHalfSecondGrid();
    void typedTimesMoveTheThumbs();
    void actionsFollowThePlayback();
    void playCursorStopsWhereThePlayEnds();
    void playSelectionPlaysExactlyTheSelection();
    void linksAboutBoxAndSideWindows();
};

void MainWindowTest::looksAsDesigned() {
    TScriptedDialogs dialogs;
    TfrmMain frmMain(dialogs);
    frmMain.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frmMain));

    QCOMPARE(frmMain.windowTitle(), QStringLiteral("Orvane Sundral"));
    // The design's 513 x 313, grown by the waveform above the track bar and by the band of
    // the check box and the run status below.
    QCOMPARE(frmMain.size(), QSize(513, 313 + frmMain.wfAudio->height() + 6 + kMainBandHeight));
    QCOMPARE(frmMain.minimumSize(), frmMain.maximumSize());
    const Qt::WindowFlags flags = frmMain.windowFlags();
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowCloseButtonHint);

    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint offset = frmMain.frameGeometry().center() - area.center();
    QVERIFY2(qAbs(offset.x()) <= 1 && qAbs(offset.y()) <= 1,
             qPrintable(QStringLiteral("off centre by %1,%2").arg(offset.x()).arg(offset.y())));

    // Named parts are found by name, and the banner spans the client width once shown.
    auto* banner = frmMain.findChild<QLabel*>(QStringLiteral("imgTitle"));
    QVERIFY(banner);
    QCOMPARE(banner->geometry(), QRect(0, 0, 513, 50));
    QVERIFY(!banner->pixmap().isNull());
    QCOMPARE(frmMain.findChild<TActionList*>(QStringLiteral("ActionList1")), frmMain.ActionList1);
    QCOMPARE(frmMain.lUpdate->geometry().right(), 513 - 10 - 1);
    QCOMPARE(frmMain.iUpdate->x(), frmMain.lUpdate->x() - 20);
    QVERIFY(frmMain.bOpen->hasFocus());

    const std::pair<const char*, const char*> captions[] = {{"bOpen", "&Open File"},
                                                            {"bPlay", "&Play"},
                                                            {"bPause", "P&ause"},
                                                            {"bStop", "&Stop"},
                                                            {"bMarkStart", "&Mark Start"},
                                                            {"bMarkEnd", "Mark &End"},
                                                            {"bPlaySelection", "P&lay Selection"},
                                                            {"bStartCut", "Start &Cut"},
                                                            {"bSegmentCut", "&Segment Cut"},
                                                            {"bJoiner", "&Joiner && Mixer"},
                                                            {"bAbout", "A&bout"}};
    for (const auto& [name, caption] : captions) {
        auto* button = frmMain.findChild<QPushButton*>(QString::fromLatin1(name));
        QVERIFY2(button, name);
        QCOMPARE(button->text(), QString::fromLatin1(caption));
    }
    QCOMPARE(frmMain.eStart->toolTip(), QStringLiteral("Start Time"));
    QCOMPARE(frmMain.eEnd->toolTip(), QStringLiteral("End Time"));
    QCOMPARE(frmMain.eEnd->maxLength(), 10);
    QCOMPARE(frmMain.lFileTime->text(), QStringLiteral("00:00:00.0"));
    QCOMPARE(frmMain.tbAudio->Max(), 50);
    QCOMPARE(frmMain.tbAudio->Geometry().Length, 484);
    QVERIFY(dialogs.Calls.empty());
}

void MainWindowTest::activationRestoresAMinimisedWindow() {
    TScriptedDialogs dialogs;
    TfrmMain frmMain(dialogs);
    frmMain.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frmMain));
    frmMain.showMinimized();
    QVERIFY(frmMain.isMinimized());

    frmMain.WMActivateInstance();
    QVERIFY(!frmMain.isMinimized());
    QVERIFY(frmMain.isVisible());
    QVERIFY(QTest::qWaitForWindowActive(&frmMain));
}

void MainWindowTest::activationShowsAHiddenWindow() {
    TScriptedDialogs dialogs;
    TfrmMain frmMain(dialogs);
    QVERIFY(!frmMain.isVisible());

    frmMain.WMActivateInstance();
    QVERIFY(frmMain.isVisible());
    QVERIFY(QTest::qWaitForWindowActive(&frmMain));
    // Showing runs the form's show handling like a normal first show.
    QCOMPARE(frmMain.imgTitle->width(), 513);
}

void MainWindowTest::openingPutsTheFileOnTheHalfSecondGrid() {
    TMainWindowFixture f;
    QVERIFY(f.Exposed);
    // By dialog, by drop, and a file the player refuses.
    struct {
        const char* Name;
        int64_t Ms;
        bool Drop;
        int Max;
        const char* End;
    } const cases[] = {{"long.wav", 12345, false, 24, "00:00:12.3"},
                       {"short.wav", 499, true, 1, "00:00:00.4"},
                       {"two.wav", 1000, false, 2, "00:00:01.0"}};
    // With no file the bar is disabled and selects nothing: no band between its thumbs.
    const QColor band(0x00, 0x80, 0x00);
    const auto hasBand = [&] {
        const QImage image = f.Bar().grab().toImage();
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, image.height() / 2) == band) return true;
        return false;
    };
    f.Idle();
    QVERIFY(!f.Bar().isEnabled());
    QVERIFY(!hasBand());
    for (const auto& c : cases) {
        const auto file = f.Wave(c.Name, c.Ms);
        if (c.Drop) {
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(QString::fromStdString(file.string()))});
            QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, {});
            QCoreApplication::sendEvent(f.Window.get(), &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, {});
            QCoreApplication::sendEvent(f.Window.get(), &drop);
        } else {
            f.Open(file);
        }
        QCOMPARE(f.Window->eOpenFile->text(), QString::fromStdString(file.string()));
        QCOMPARE(f.Bar().Max(), c.Max);
        QCOMPARE(f.Bar().PositionL(), 0);
        QCOMPARE(f.Bar().PositionU(), c.Max);
        QCOMPARE(f.Window->eStart->text(), QStringLiteral("00:00:00.0"));
        QCOMPARE(f.Window->eEnd->text(), QString::fromLatin1(c.End));
        QCOMPARE(f.Window->lFileTime->text(), QString::fromLatin1(c.End));
    }
    QVERIFY(f.Dialogs.Messages().isEmpty());
    QCOMPARE(f.Dialogs.Calls.front().Options.Filter,
             QStringLiteral("Sound Files(*.wav;*.mp3;*.wma)|*.wav;*.mp3;*.wma"));
    f.Idle();
    QVERIFY(hasBand());

    // A file that cannot be opened says why and leaves the open file as it was; the next
    // open dialog starts in that file's folder.
    const QString open = f.Window->eOpenFile->text();
    const QString end = f.Window->eEnd->text();
    for (const auto& [name, bytes] :
         {std::pair<const char*, TBytes>{"noise.wav", TBytes(4000, 0x5A)},
          {"noise.mp3", TBytes(4000, 0x00)}}) {
        f.Dialogs.Calls.clear();
        f.Open(f.Dir.WriteBytes(name, bytes));
        QCOMPARE(f.Dialogs.Messages().size(), 1);
        const QString message = f.Dialogs.Messages()[0];
        const QString old = "Open file error. Please check whether the file is protected.";
        QVERIFY2(message.startsWith(old) && message.size() > old.size() + 3, qPrintable(message));
        QCOMPARE(f.Window->eOpenFile->text(), open);
        QCOMPARE(f.Window->eEnd->text(), end);
        QCOMPARE(f.Dialogs.Calls.front().Options.InitialDir,
                 QString::fromStdString(f.Dir.Path().string()));
    }
    f.Idle();
    QVERIFY(f.Window->aPlay->Enabled());
    QVERIFY(f.Bar().isEnabled());

    // An MP3 is measured on a worker: the window says so and keeps the old file meanwhile.
    const auto mp3 = f.Dir.File("tone.mp3");
    QVERIFY(MakeMediaFile(mp3, TestSignal(44100, 1, 3.3), "-c:a libmp3lame -b:a 64k"));
    f.Dialogs.FileAnswers.push_back(QString::fromStdString(mp3.string()));
    f.Window->bOpen->click();
    QVERIFY(f.Window->Measuring());
    QCOMPARE(f.Window->lStatus->text(), QStringLiteral("Measuring the length of tone.mp3..."));
    QCOMPARE(f.Window->eOpenFile->text(), open);
    QVERIFY(QTest::qWaitFor([&] { return !f.Window->Measuring(); }, kGiveUpMs));
    QVERIFY(f.Window->lStatus->text().isEmpty());
    QCOMPARE(f.Window->eOpenFile->text(), QString::fromStdString(mp3.string()));
    // ffmpeg's decode says how long it is.
    const int64_t ms = int64_t(FfmpegDecodeS16(mp3).size()) * 1000 / 44100;
    QCOMPARE(f.Bar().Max(), int(ms / 500));
    QCOMPARE(f.Window->eEnd->text(), QString::fromStdString(MsToTimeText(int32_t(ms))));
}

void MainWindowTest::typedTimesMoveTheThumbs() {
    TMainWindowFixture f;
    QVERIFY(f.Exposed);
    f.Open(f.Wave("long.wav", 12345)); // range 0..24
    const QString formatMessage = "Please make sure the time format is 00:00:00.0";
    struct {
        bool StartField;
        const char* Typed;
        int L, U;          // thumbs after typing
        const char* Shown; // the field's text after leaving it
        QString Message;   // shown on leaving, if any
    } const cases[] = {
        {true, "00:00:05.3", 10, 24, "00:00:05.0", {}},
        // Not before the end's 12.3: the thumb stops one step before the end.
        {true, "00:00:12.0", 23, 24, "00:00:11.5", {}},
        // Refused entries go back to their thumb's time.
        {true, "00:00:13.0", 0, 24, "00:00:00.0",
         "Please make sure the start time should be smaller than the end time"},
        {true, "00:00:12.3", 0, 24, "00:00:00.0",
         "Please make sure the start time not same as the end time"},
        {true, "0:0:5.3", 10, 24, "00:00:05.0", {}},
        {true, "5:3", 0, 24, "00:00:00.0", formatMessage},
        {false, "00:00:12.4", 0, 24, "00:00:12.3",
         "Please make sure the end time should be smaller than the total time"},
        {false, "00:00:07.9", 0, 15, "00:00:07.5", {}},
        // In the last, shorter step: the end of the file.
        {false, "00:00:12.1", 0, 24, "00:00:12.3", {}},
        {false, "00:00:00.0", 0, 1, "00:00:00.5", {}},
        {false, "0:0:0.0", 0, 24, "00:00:12.3",
         "Please make sure the start time not same as the end time"},
    };
    for (const auto& c : cases) {
        f.Window->eStart->setText(QStringLiteral("00:00:00.0"));
        f.Window->eEnd->setText(QStringLiteral("00:00:12.3"));
        f.Dialogs.Calls.clear();
        QLineEdit* field = c.StartField ? f.Window->eStart : f.Window->eEnd;
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, QString::fromLatin1(c.Typed));
        // Leaving the field for the next control.
        (c.StartField ? static_cast<QWidget*>(f.Window->eEnd) : f.Window->bPlay)
            ->setFocus(Qt::TabFocusReason);
        QCOMPARE(f.Bar().PositionL(), c.L);
        QCOMPARE(f.Bar().PositionU(), c.U);
        QCOMPARE(field->text(), QString::fromLatin1(c.Shown));
        QCOMPARE(f.Dialogs.Messages(),
                 c.Message.isEmpty() ? QStringList() : QStringList{c.Message});
        // A refused time keeps the focus in its field.
        QCOMPARE(field->hasFocus(), !c.Message.isEmpty());
    }
}

void MainWindowTest::actionsFollowThePlayback() {
    TMainWindowFixture f;
    QVERIFY(f.Exposed);
    TfrmMain& w = *f.Window;
    struct {
        const char* State;
        std::function<void()> Enter;
        bool Play, Pause, Stop; // Play Selection follows Play, the marks follow Stop
    } const states[] = {
        {"no file", [] {}, false, false, false},
        {"ready", [&] { f.Open(f.Wave("ten.wav", 10000)); }, true, false, false},
        {"playing", [&] { w.aPlay->Execute(); }, false, true, true},
        {"paused at the first step", [&] { w.aPause->Execute(); }, true, false, false},
        {"playing on",
         [&] {
             w.aPlay->Execute();
             w.Timer1Timer();
         },
         false, true, true},
        {"paused", [&] { w.aPause->Execute(); }, true, false, true},
        {"stopped", [&] { w.aStop->Execute(); }, true, false, false},
    };
    for (const auto& s : states) {
        s.Enter();
        f.Idle();
        const bool playing = w.Timer1->isActive();
        QVERIFY2(w.aPlay->Enabled() == s.Play && w.aPlaySelection->Enabled() == s.Play &&
                     w.aPause->Enabled() == s.Pause && w.aStop->Enabled() == s.Stop &&
                     w.aMarkStart->Enabled() == s.Stop && w.aMarkEnd->Enabled() == s.Stop &&
                     playing == s.Pause,
                 s.State);
        QCOMPARE(w.bPlay->isEnabled(), s.Play);
        QCOMPARE(w.eStart->isEnabled(), !w.eOpenFile->text().isEmpty());
    }
    QVERIFY(f.Dialogs.Messages().isEmpty());
}

void MainWindowTest::playCursorStopsWhereThePlayEnds() {
    TMainWindowFixture f;
    QVERIFY(f.Exposed);
    TfrmMain& w = *f.Window;
    f.Open(f.Wave("ten.wav", 10000)); // range 0..20
    const auto ticksUntilStopped = [&] {
        int ticks = 0;
        while (w.Timer1->isActive() && ticks < 100) {
            f.Idle();
            w.Timer1Timer();
            ++ticks;
        }
        return ticks;
    };

    // A selection from step 4 to 8 starts the cursor at 4 and stops on the fifth tick.
    f.Bar().SetPositionL(4);
    f.Bar().SetPositionU(8);
    w.aPlaySelection->Execute();
    QCOMPARE(f.Bar().LinePosition(), 4);
    QCOMPARE(ticksUntilStopped(), 5);
    QCOMPARE(f.Bar().LinePosition(), 0);

    // Pause, mark both ends, then Play Selection resumes the paused play where it was.
    w.aPlaySelection->Execute();
    w.Timer1Timer();
    w.Timer1Timer();
    w.aPause->Execute();
    QCOMPARE(w.MediaPlayer1->PlayerMode(), TMPModes::mpPaused);
    f.Idle();
    w.aMarkEnd->Execute();
    QCOMPARE(f.Bar().PositionU(), 6);
    QCOMPARE(w.eEnd->text(), QStringLiteral("00:00:03.0"));
    QCOMPARE(w.lFileTime->text(), QStringLiteral("00:00:01.0"));
    w.aPlaySelection->Execute();
    QCOMPARE(w.MediaPlayer1->PlayerMode(), TMPModes::mpPlaying);
    QCOMPARE(f.Bar().LinePosition(), 6);
    QCOMPARE(ticksUntilStopped(), 1);

    // A whole-file play runs to the end of the range; opening a file stops a play.
    w.aPlay->Execute();
    QCOMPARE(ticksUntilStopped(), 20);
    w.aPlay->Execute();
    w.Timer1Timer();
    f.Open(f.Wave("two.wav", 1000));
    QVERIFY(!w.Timer1->isActive());
    QCOMPARE(f.Bar().LinePosition(), 0);
    QCOMPARE(w.MediaPlayer1->DeviceID(), 0u);

    // A file the player refuses leaves no cursor running; the error is reported.
    w.eOpenFile->setText(QString::fromStdString(f.Dir.WriteBytes("gone.wav", {1, 2}).string()));
    w.aPlay->Execute();
    QVERIFY(!w.Timer1->isActive());
    QCOMPARE(f.Dialogs.Messages().size(), 1);
}

void MainWindowTest::playSelectionPlaysExactlyTheSelection() {
    TMainWindowFixture f;
    QVERIFY(f.Exposed);
    const auto capture = f.Dir.File("played.raw");
    qputenv("SDL_AUDIODRIVER", "disk");
    qputenv("SDL_DISKAUDIOFILE", capture.c_str());
    qputenv("SDL_DISKAUDIODELAY", "0");
    f.Open(f.Wave("ten.wav", 10000));
    f.Bar().SetPositionL(4);
    f.Bar().SetPositionU(8);
    f.Window->aPlaySelection->Execute();
    f.Window->Timer1->stop(); // the cursor is not what this checks
    QTRY_VERIFY_WITH_TIMEOUT(f.Window->MediaPlayer1->PlayerMode() != TMPModes::mpPlaying,
                             kGiveUpMs);
    f.Window->MediaPlayer1->Close();
    qputenv("SDL_AUDIODRIVER", "dummy");

    // What was played: 2 s from 2 s on, in order, and nothing else but silence (which the
    // disk driver also writes while the player falls behind on a loaded machine).
    const TBytes played = f.Dir.ReadBytes("played.raw");
    std::vector<int> sounding;
    for (size_t i = 0; i + 1 < played.size(); i += 2)
        if (const int sample = GetU16(&played[i]); sample != 0) sounding.push_back(sample);
    std::vector<int> selection(16000);
    std::iota(selection.begin(), selection.end(), 1 + 16000);
    QCOMPARE(sounding, selection);
}

void MainWindowTest::linksAboutBoxAndSideWindows() {
    TMainWindowFixture f;
    QVERIFY(f.Exposed);
    TfrmMain& w = *f.Window;
    TUrlRecorder pages;
    QStringList captions;
    f.Dialogs.OnShowModal = [&](QDialog& Window) {
        Window.show();
        captions << Window.windowTitle();
        if (auto* about = qobject_cast<TfrmAbout*>(&Window)) {
            captions << about->Label1->text();
            about->Image3->Click();
            about->lbEAddress->Click();
        }
        // The side windows are the real ones, owned by the main window.
        if (qobject_cast<TfrmSegmentCut*>(&Window) || qobject_cast<TfrmJoiner*>(&Window))
            captions << Window.objectName() + (Window.parent() == &w ? "" : " without owner");
        return int(QDialog::Accepted);
    };
    w.Image1->Click();
    w.lTitle->Click();
    w.lUpdate->Click();
    QStringList items;
    for (QAction* item : w.pmAbout->actions()) items << (item->isSeparator() ? "-" : item->text());
    QCOMPARE(items, (QStringList{"&Homepage", "-", "&Donate", "-", "&About...", "-", "&Exit"}));
    w.miHomepage->trigger();
    w.miDonate->trigger();
    w.miAbout->trigger();
    w.bSegmentCut->click();
    w.bJoiner->click();
    const QString home = "https://www.orvane.example/sundral/";
    const QString donate = "https://www.orvane.example/donate/sundral/";
    QCOMPARE(pages.Opened, (QStringList{home, "https://www.orvane.example/",
                                        "https://www.orvane.example/sundral/update/", home, donate,
                                        donate, home}));
    QCOMPARE(captions, (QStringList{"About Orvane Sundral", "Orvane Sundral", "Segment Cut",
                                    "frmSegmentCut", "Joiner & Mixer", "frmJoiner"}));
    w.miExit->trigger();
    QVERIFY(!w.isVisible());
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
