// The real Segment Cut window: the list and its checks, the chain's captions and output
// judged by ffmpeg's decode, refusals, failing jobs, and closing during a run.
#include <sys/resource.h>

#include <csignal>

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>

#include "RiffBytes.h"
#include "SegmentTools.h"
#include "ToolWindowFixture.h"
#include "WaveTools.h"
#include "controls/LinkLabel.h"
#include "controls/RunStatus.h"
#include "platform/qt/Actions.h"
#include "tools/SegmentCut.h"

using namespace sundral;
using namespace sundral_test;

namespace {

using TFixture = TToolWindowFixture<TfrmSegmentCut>;

// A 60-second WAV at 8000 Hz mono whose samples tell their frame, opened in the window.
std::filesystem::path OpenMinute(TFixture& F, const std::string& Name = "IN.WAV") {
    const auto file = WriteCountingWave(F.Dir.File(Name), 8000, 1, 60 * 8000);
    F.Dialogs.FileAnswers.push_back(QString::fromStdString(file.string()));
    F.Window->bOpen->click();
    return file;
}

void Add(TFixture& F, const char* Start, const char* End) {
    F.Window->eStart->setText(QString::fromLatin1(Start));
    F.Window->eEnd->setText(QString::fromLatin1(End));
    F.Window->bAdd->click();
}

// Start Now with the save dialog answering Output (and Yes to replacing it); waits for the
// chain to end.
bool Start(TFixture& F, const std::filesystem::path& Output) {
    F.Dialogs.FileAnswers.push_back(QString::fromStdString(Output.string()));
    F.Dialogs.YesNoAnswers.push_back(true);
    F.Window->aStartCut->Execute();
    return QTest::qWaitFor([&] { return !F.Window->Chain().Running(); }, kToolGiveUpMs);
}

QStringList RowTexts(const TfrmSegmentCut& W) {
    QStringList texts;
    for (const TSegmentRow& row : W.Rows())
        texts << QString::fromStdString(row.Start + "-" + row.End);
    return texts;
}

} // namespace

class SegmentCutTest : public QObject {
    Q_OBJECT
private slots:
    void listChecksAndMoves();
    void chainsKeepThePiecesInOrder();
    void refusalsStartNothing();
    void failedJobEndsTheChain();
    void closingStopsTheRun();
    void enterAddsAndAFailedOpenKeepsTheFile();
    void statusStripCancelsOrNamesTheOutput();
};

void SegmentCutTest::listChecksAndMoves() {
    TFixture f;
    QVERIFY(f.Exposed);
    TfrmSegmentCut& w = *f.Window;
    OpenMinute(f);
    QCOMPARE(w.lFileTime->text(), QStringLiteral("00:01:00.0"));
    const struct {
        const char *Start, *End, *Message;
    } adds[] = {
        {"00:00:20.0", "00:00:20.0", "Please make sure the start time not same as the end time"},
        {"00:00:20.0", "00:00:10.0",
         "Please make sure the start time should be smaller than the end time"},
        {"00:00:50.0", "00:01:00.1",
         "Please make sure the end time should be smaller than the total time"},
        {"0:1:2", "00:01:03.0", "Please make sure the time format is 00:00:00.0"},
        {"00:00:40.0", "00:00:50.0", nullptr},
        {"0:0:10.0", "0:0:20.0", nullptr},     // one-digit fields, kept as typed
        {"00:00:40.0", "00:00:45.0", nullptr}, // the same start again: not added
    };
    for (const auto& add : adds) {
        f.Dialogs.Calls.clear();
        Add(f, add.Start, add.End);
        QCOMPARE(f.Dialogs.Messages(), add.Message ? QStringList{add.Message} : QStringList());
    }
    QCOMPARE(RowTexts(w), (QStringList{"00:00:40.0-00:00:50.0", "0:0:10.0-0:0:20.0"}));
    QCOMPARE(w.SelectedIndex(), 1);

    // Leaving a field with a text that is no time says so and keeps the text.
    w.eEnd->setText(QStringLiteral("1:2"));
    w.eEndExit();
    QCOMPARE(f.Dialogs.Messages().back(),
             QStringLiteral("Please make sure the time format is 00:00:00.0"));
    QCOMPARE(w.eEnd->text(), QStringLiteral("1:2"));

    // Out of order: refused before the save dialog; Up puts it right.
    f.Dialogs.Calls.clear();
    w.aStartCut->Execute();
    QCOMPARE(f.Dialogs.Messages(),
             QStringList{"Please make sure that the list of data in sequence!"});
    QVERIFY(w.aMoveUp->Execute());
    QCOMPARE(RowTexts(w), (QStringList{"0:0:10.0-0:0:20.0", "00:00:40.0-00:00:50.0"}));
    QCOMPARE(w.SelectedIndex(), 0);
    w.ActionList1->UpdateActions();
    QVERIFY(!w.aMoveUp->Enabled());
    QVERIFY(w.aMoveDown->Enabled());
    QVERIFY(w.aStartCut->Enabled());

    // Remove keeps a row selected; Remove All empties the list and Start is off.
    QVERIFY(w.aRemove->Execute());
    QCOMPARE(RowTexts(w), QStringList{"00:00:40.0-00:00:50.0"});
    QCOMPARE(w.SelectedIndex(), 0);
    w.bRemoveAll->click();
    w.ActionList1->UpdateActions();
    QVERIFY(!w.aStartCut->Enabled());
    QVERIFY(!w.aRemove->Enabled());
}

void SegmentCutTest::chainsKeepThePiecesInOrder() {
    TFixture f;
    QVERIFY(f.Exposed);
    TfrmSegmentCut& w = *f.Window;
    const auto input = OpenMinute(f);
    const std::vector<int16_t> source = FfmpegDecodeS16(input);
    QStringList captions;
    QObject::connect(&w, &QWidget::windowTitleChanged, [&](const QString& T) { captions << T; });
    const QString c = QStringLiteral("Segment Cut - Cutting ... %1");
    const QString j = QStringLiteral("Segment Cut - Joining ... %1");
    const struct {
        std::vector<std::pair<const char*, const char*>> Rows;
        std::vector<TKeptMs> Kept;
        QStringList Captions;
    } cases[] = {
        {{{"00:00:10.0", "00:00:20.0"}},
         {{0, 9900}, {20100, -1}},
         {c.arg("1/2"), c.arg("2/2"), j.arg("1/2")}},
        {{{"00:00:00.0", "00:00:10.0"}}, {{10100, -1}}, {c.arg("1/1")}},
        {{{"00:00:50.0", "00:01:00.0"}}, {{0, 49900}}, {c.arg("1/1")}},
        // The piece between two segments 100 ms apart would be empty: it is left out.
        {{{"00:00:10.0", "00:00:20.0"}, {"00:00:20.1", "00:00:30.0"}, {"00:00:40.0", "00:00:45.0"}},
         {{0, 9900}, {30100, 39900}, {45100, -1}},
         {c.arg("1/3"), c.arg("2/3"), c.arg("3/3"), j.arg("1/3"), j.arg("2/3")}},
    };
    for (const auto& k : cases) {
        w.bRemoveAll->click();
        for (const auto& [start, end] : k.Rows) Add(f, start, end);
        captions.clear();
        f.Dialogs.Calls.clear();
        const auto output = f.Dir.File("out.wav");
        QVERIFY(Start(f, output));
        QCOMPARE(f.Dialogs.Messages(), QStringList());
        QCOMPARE(captions, k.Captions + QStringList{"Segment Cut"});
        QVERIFY(FfmpegDecodeS16(output) == KeptSamples(source, 1, 8000, k.Kept));
        QCOMPARE(f.WorkFiles(), size_t(0));
        QVERIFY(w.bStart->isEnabled());
    }
    // The save dialog follows the file's type, whatever the case of its extension.
    QCOMPARE(w.SaveDialog1.Filter, QStringLiteral("Sound Files(*.wav)|*.wav"));
    QCOMPARE(w.SaveDialog1.DefaultExt, QStringLiteral("wav"));
    QCOMPARE(f.Dialogs.Calls.back().Text,
             QString::fromStdString(f.Dir.File("out.wav").string()) + " has existed,overite it?");
}

void SegmentCutTest::refusalsStartNothing() {
    TFixture f;
    QVERIFY(f.Exposed);
    TfrmSegmentCut& w = *f.Window;
    const auto input = OpenMinute(f, "in.wav");
    const struct {
        const char *Start, *End;
        std::filesystem::path Output;
        QString Message;
    } cases[] = {
        {"00:00:00.0",
         "00:01:00.0",
         {},
         "Nothing would remain of the file: the segments cover all of it."},
        {"00:00:10.0", "00:00:20.0", input,
         "The cut file cannot replace the file being cut. Please choose another name."},
        {"00:00:10.0", "00:00:20.0", {}, {}}, // save dialog cancelled
    };
    for (const auto& k : cases) {
        w.bRemoveAll->click();
        Add(f, k.Start, k.End);
        f.Dialogs.Calls.clear();
        if (!k.Output.empty())
            f.Dialogs.FileAnswers.push_back(QString::fromStdString(k.Output.string()));
        w.aStartCut->Execute();
        QCOMPARE(f.Dialogs.Messages(),
                 k.Message.isEmpty() ? QStringList() : QStringList{k.Message});
        QVERIFY(!w.Chain().Running());
    }
    w.eOpenFile->clear();
    f.Dialogs.Calls.clear();
    w.aStartCutExecute();
    QCOMPARE(f.Dialogs.Messages(), QStringList{"Please open a sound file fristly."});
    QCOMPARE(f.Files(), size_t(1));
}

void SegmentCutTest::failedJobEndsTheChain() {
    TFixture f;
    QVERIFY(f.Exposed);
    TfrmSegmentCut& w = *f.Window;
    const std::string workFolder = w.WorkFolder;
    const auto notes = f.Dir.WriteBytes("notes.txt", {'x'});
    std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead of ending the test
    const struct {
        const char* Name;
        std::string WorkFolder;
        rlim_t FileSizeLimit;
        bool SourceVanishes; // when the second piece is about to be cut
        QString Says;
    } cases[] = {
        {"unwritable work folder", notes.string() + "/", RLIM_INFINITY, false, "work folder"},
        {"write error", workFolder, 300000, false, "Error writing wave file"},
        {"vanishing source", workFolder, RLIM_INFINITY, true, "IN.WAV"},
    };
    for (const auto& k : cases) {
        const auto input = OpenMinute(f);
        w.bRemoveAll->click();
        Add(f, "00:00:10.0", "00:00:20.0");
        w.WorkFolder = k.WorkFolder;
        const QMetaObject::Connection vanish =
            QObject::connect(&w, &QWidget::windowTitleChanged, [&](const QString& Title) {
                if (k.SourceVanishes && Title.endsWith("Cutting ... 2/2"))
                    std::filesystem::remove(input);
            });
        f.Dialogs.Calls.clear();
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit old = limit;
        limit.rlim_cur = k.FileSizeLimit;
        setrlimit(RLIMIT_FSIZE, &limit);
        const bool ended = Start(f, f.Dir.File("out.wav"));
        setrlimit(RLIMIT_FSIZE, &old);
        QObject::disconnect(vanish);
        QVERIFY2(ended, k.Name);
        QCOMPARE(f.Dialogs.Messages().size(), 1);
        QVERIFY2(f.Dialogs.Messages()[0].startsWith("Segment Cut failed: ") &&
                     f.Dialogs.Messages()[0].contains(k.Says),
                 qPrintable(f.Dialogs.Messages()[0]));
        QCOMPARE(w.windowTitle(), QStringLiteral("Segment Cut"));
        QVERIFY(w.bStart->isEnabled());
        QVERIFY(!std::filesystem::exists(f.Dir.File("out.wav")));
        QCOMPARE(f.WorkFiles(), size_t(0));
    }
    QCOMPARE(f.Files(), size_t(1)); // notes.txt: no unfinished output anywhere
}

void SegmentCutTest::closingStopsTheRun() {
    TFixture f;
    QVERIFY(f.Exposed);
    TfrmSegmentCut& w = *f.Window;
    OpenMinute(f);
    Add(f, "00:00:10.0", "00:00:20.0");
    f.Dialogs.FileAnswers.push_back(QString::fromStdString(f.Dir.File("out.wav").string()));
    w.aStartCut->Execute();
    // The first job runs; its end cannot have been handled yet: nothing ran this thread's
    // events since.
    QVERIFY(w.Chain().Running());
    w.close();
    QVERIFY(!w.Chain().Running());
    QCoreApplication::processEvents();
    QCOMPARE(f.Dialogs.Messages(), QStringList());
    QCOMPARE(f.Files(), size_t(1));
    QCOMPARE(f.WorkFiles(), size_t(0));
}

void SegmentCutTest::enterAddsAndAFailedOpenKeepsTheFile() {
    TFixture f;
    QVERIFY(f.Exposed);
    TfrmSegmentCut& w = *f.Window;
    // No button takes Enter for itself; the window has no maximise box.
    for (const QPushButton* button : w.findChildren<QPushButton*>())
        QVERIFY2(!button->autoDefault() && !button->isDefault(), qPrintable(button->objectName()));
    QVERIFY(w.windowFlags() & Qt::CustomizeWindowHint);
    QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));

    const auto file = OpenMinute(f);
    const QString folder = QString::fromStdString(f.Dir.Path().string());
    // Enter in either time field adds the segment; no dialog opens.
    const struct {
        QLineEdit* Field;
        const char *Start, *End;
    } enters[] = {{w.eEnd, "00:00:10.0", "00:00:20.0"}, {w.eStart, "00:00:30.0", "00:00:40.0"}};
    for (const auto& e : enters) {
        f.Dialogs.Calls.clear();
        w.eStart->setText(QString::fromLatin1(e.Start));
        w.eEnd->setText(QString::fromLatin1(e.End));
        e.Field->setFocus();
        QTest::keyClick(e.Field, Qt::Key_Return);
        QVERIFY(f.Dialogs.Calls.empty());
    }
    QCOMPARE(RowTexts(w), (QStringList{"00:00:10.0-00:00:20.0", "00:00:30.0-00:00:40.0"}));

    // A file that cannot be opened says why; the open file and its length stay. The open
    // dialog starts in the folder of the file opened last.
    f.Dialogs.Calls.clear();
    f.Dialogs.FileAnswers.push_back(
        QString::fromStdString(f.Dir.WriteBytes("noise.wav", TBytes(4000, 0x5A)).string()));
    w.bOpen->click();
    QCOMPARE(f.Dialogs.Calls.front().Options.InitialDir, folder);
    QCOMPARE(f.Dialogs.Messages().size(), 1);
    QVERIFY2(f.Dialogs.Messages()[0].size() >
                 int(strlen("Open file error. Please check whether the file is protected.")) + 3,
             qPrintable(f.Dialogs.Messages()[0]));
    QCOMPARE(w.eOpenFile->text(), QString::fromStdString(file.string()));
    QCOMPARE(w.lFileTime->text(), QStringLiteral("00:01:00.0"));

    // The save dialog proposes a name beside the source, as the main window does.
    f.Dialogs.Calls.clear();
    w.aStartCut->Execute();
    QCOMPARE(f.Dialogs.Calls.size(), size_t(1));
    QCOMPARE(f.Dialogs.Calls[0].Options.FileName, QStringLiteral("cut_IN.WAV"));
    QCOMPARE(f.Dialogs.Calls[0].Options.InitialDir, folder);
}

// The strip under the list: Cancel while the first job runs leaves nothing; a run that ends
// names the output with the length ffprobe finds, and Show in Folder opens its folder.
void SegmentCutTest::statusStripCancelsOrNamesTheOutput() {
    const struct {
        const char* Name;
        bool Cancel;
        const char* Line;
    } cases[] = {
        {"cancelled", true, "Cancelled: nothing was written."},
        // 60 s less 10 s and the 100 ms margins.
        {"saved", false, "Saved out.wav (00:00:49.8)"},
    };
    for (const auto& k : cases) {
        TFixture f;
        QVERIFY(f.Exposed);
        TfrmSegmentCut& w = *f.Window;
        TRunStatus& status = *w.RunStatus1;
        OpenMinute(f);
        Add(f, "00:00:10.0", "00:00:20.0");
        const auto output = f.Dir.File("out.wav");
        f.Dialogs.FileAnswers.push_back(QString::fromStdString(output.string()));
        w.aStartCut->Execute();
        QVERIFY2(w.Chain().Running(), k.Name);
        QVERIFY(status.Running() && status.Bar()->isVisibleTo(&w) &&
                status.CancelButton()->isVisibleTo(&w));
        QCOMPARE(w.windowTitle(), QStringLiteral("Segment Cut - Cutting ... 1/2"));
        if (k.Cancel) {
            QTest::mouseClick(status.CancelButton(), Qt::LeftButton);
            QVERIFY(!w.Chain().Running());
            QCoreApplication::processEvents();
        } else {
            QVERIFY(QTest::qWaitFor([&] { return !w.Chain().Running(); }, kToolGiveUpMs));
        }
        QCOMPARE(status.Line(), QString::fromLatin1(k.Line));
        QCOMPARE(f.Dialogs.Messages(), QStringList());
        QCOMPARE(w.windowTitle(), QStringLiteral("Segment Cut"));
        QVERIFY(w.bStart->isEnabled());
        QCOMPARE(f.WorkFiles(), size_t(0));
        QCOMPARE(std::filesystem::exists(output), !k.Cancel);
        QCOMPARE(f.Files(), size_t(k.Cancel ? 1 : 2));
        QCOMPARE(status.ShowInFolder()->isVisibleTo(&w), !k.Cancel);
        if (k.Cancel) continue;
        QCOMPARE(FfprobeEntries(output.string(), "stream=duration")["duration"],
                 std::string("49.800000"));
        QString opened;
        status.OpenFolder = [&](const QString& Folder) { opened = Folder; };
        status.ShowInFolder()->Click();
        QCOMPARE(opened, QString::fromStdString(f.Dir.Path().string()));
    }
}

QTEST_MAIN(SegmentCutTest)
#include "segment_cut_test.moc"
