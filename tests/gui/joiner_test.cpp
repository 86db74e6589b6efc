// The real Joiner & Mixer window: what it refuses, joins and mixes of WAV files judged by
// ffmpeg's decode, MP3 and WMA set up from the first file, and closing during a run.
#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>

#include "MediaFiles.h"
#include "RunCommand.h"
#include "ToolWindowFixture.h"
#include "WaveTools.h"
#include "controls/LinkLabel.h"
#include "controls/RadioGroup.h"
#include "controls/RunStatus.h"
#include "tools/Joiner.h"

using namespace sundral;
using namespace sundral_test;

namespace {

using TFixture = TToolWindowFixture<TfrmJoiner>;

void Open(TFixture& F, const std::filesystem::path& A, const std::filesystem::path& B) {
    F.Dialogs.FileAnswers.push_back(QString::fromStdString(A.string()));
    F.Dialogs.FileAnswers.push_back(QString::fromStdString(B.string()));
    F.Window->bOpen1->click();
    F.Window->bOpen2->click();
}

// Start with the save dialog answering Output; waits for the run to end.
bool Start(TFixture& F, const std::filesystem::path& Output) {
    F.Dialogs.FileAnswers.push_back(QString::fromStdString(Output.string()));
    F.Window->bStart->click();
    return QTest::qWaitFor([&] { return !F.Window->Processing(); }, kToolGiveUpMs);
}

std::string Probe(const std::filesystem::path& File) {
    return RunCommand("ffprobe -v error -show_entries stream=sample_rate,channels:format_tags="
                      "artist -of default=nw=1 " +
                      ShellQuote(File.string()) + " 2>/dev/null")
        .Output;
}

} // namespace

class JoinerTest : public QObject {
    Q_OBJECT
private slots:
    void refusesBeforeWriting();
    void joinsAndMixesWave();
    void followsTheFirstFilesEncoding();
    void closingStopsTheRun();
    void filesStayPutDuringARun();
    void statusStripCancelsOrNamesTheOutput();
};

void JoinerTest::refusesBeforeWriting() {
    TFixture f;
    QVERIFY(f.Exposed);
    const auto a = WriteCountingWave(f.Dir.File("a.wav"), 8000, 1, 8000);
    const auto fast = WriteCountingWave(f.Dir.File("fast.WAV"), 16000, 1, 8000);
    const auto mp3 = f.Dir.WriteBytes("b.mp3", {1});
    const struct {
        std::filesystem::path A, B, Output;
        QString Message;
    } cases[] = {
        {a, {}, {}, "Please select the input file!"},
        {a, mp3, {}, "Please select the same format file!"},
        {a,
         fast,
         {},
         "The two files differ in sample rate or channels (8000 Hz, 1 channel and 16000 Hz, 1 "
         "channel): they cannot be joined or mixed."},
        {a, a, a, "The output file cannot replace an input file. Please choose another name."},
        {a, a, {}, {}}, // save dialog cancelled
    };
    for (const auto& k : cases) {
        f.Window->eFile2->clear();
        Open(f, k.A, k.B);
        f.Dialogs.Calls.clear();
        if (!k.Output.empty())
            f.Dialogs.FileAnswers.push_back(QString::fromStdString(k.Output.string()));
        f.Window->bStart->click();
        QCOMPARE(f.Dialogs.Messages(),
                 k.Message.isEmpty() ? QStringList() : QStringList{k.Message});
        QVERIFY(!f.Window->Processing());
    }
    QCOMPARE(f.Window->SaveDialog1.Filter, QStringLiteral("Sound Files(*.wav)|*.wav"));
    QCOMPARE(f.Window->SaveDialog1.DefaultExt, QStringLiteral("wav"));
    QCOMPARE(f.Files(), size_t(3));
}

void JoinerTest::joinsAndMixesWave() {
    TFixture f;
    QVERIFY(f.Exposed);
    TfrmJoiner& w = *f.Window;
    // ".wav" and ".WAV" are one type.
    const auto a = WriteCountingWave(f.Dir.File("a.wav"), 8000, 1, 12000);
    const auto b = WriteCountingWave(f.Dir.File("B.WAV"), 8000, 1, 5000);
    Open(f, a, b);
    const std::vector<int16_t> one = FfmpegDecodeS16(a), two = FfmpegDecodeS16(b);
    QStringList captions;
    QObject::connect(&w, &QWidget::windowTitleChanged, [&](const QString& T) { captions << T; });
    for (int mode : {0, 1}) {
        w.rgMode->SetItemIndex(mode);
        captions.clear();
        const auto output = f.Dir.File(mode ? "mix.wav" : "join.wav");
        QVERIFY(Start(f, output));
        QCOMPARE(f.Dialogs.Messages(), QStringList());
        const std::vector<int16_t> written = FfmpegDecodeS16(output);
        if (mode == 0) {
            std::vector<int16_t> joined = one;
            joined.insert(joined.end(), two.begin(), two.end());
            QVERIFY(written == joined);
        } else {
            // Each sample the average of the two, as long as the longer file.
            QCOMPARE(written.size(), one.size());
            for (size_t i = 0; i < written.size(); ++i) {
                const int expected = (one[i] + (i < two.size() ? two[i] : 0)) / 2;
                QVERIFY2(std::abs(written[i] - expected) <= 1, qPrintable(QString::number(i)));
            }
        }
        // The save dialog proposes a name beside the first file, as the main window does.
        const TFileDialogOptions& save = f.Dialogs.Calls.back().Options;
        QCOMPARE(save.FileName, QStringLiteral("cut_a.wav"));
        QCOMPARE(save.InitialDir, QString::fromStdString(f.Dir.Path().string()));
        QCOMPARE(captions.front(), QStringLiteral("Joiner & Mixer - Processing ... "));
        QCOMPARE(captions.back(), QStringLiteral("Joiner & Mixer"));
        const QRegularExpression progress("^Joiner & Mixer - Processing \\.\\.\\. \\d+%$");
        for (qsizetype i = 1; i + 1 < captions.size(); ++i)
            QVERIFY2(progress.match(captions[i]).hasMatch(), qPrintable(captions[i]));
    }
}

void JoinerTest::followsTheFirstFilesEncoding() {
    TFixture f;
    QVERIFY(f.Exposed);
    const struct {
        const char* Name;
        const char* Encoding;
        int64_t Slack; // frames the joined length may differ by
        const char* Probed;
    } cases[] = {
        {"mp3", "-ac 1 -c:a libmp3lame -b:a 64k -metadata artist=Someone", 0,
         "sample_rate=44100\nchannels=1\nTAG:artist=Someone\n"},
        {"wma", "-ar 8000 -ac 1 -c:a wmav2 -b:a 32k", 2048, "sample_rate=8000\nchannels=1\n"},
    };
    for (const auto& k : cases) {
        const auto a = f.Dir.File(std::string("a.") + k.Name);
        const auto b = f.Dir.File(std::string("b.") + k.Name);
        QVERIFY(MakeMediaFile(a, TestSignal(44100, 1, 1.0), k.Encoding));
        QVERIFY(MakeMediaFile(b, TestSignal(44100, 1, 0.5), k.Encoding));
        Open(f, a, b);
        const auto output = f.Dir.File(std::string("out.") + k.Name);
        QVERIFY(Start(f, output));
        QCOMPARE(f.Dialogs.Messages(), QStringList());
        QCOMPARE(QString::fromStdString(Probe(output)), QString::fromLatin1(k.Probed));
        const int64_t frames = int64_t(FfmpegDecodeS16(output).size());
        const int64_t expected = int64_t(FfmpegDecodeS16(a).size() + FfmpegDecodeS16(b).size());
        QVERIFY2(std::abs(frames - expected) <= k.Slack, k.Name);
    }
}

void JoinerTest::closingStopsTheRun() {
    TFixture f;
    QVERIFY(f.Exposed);
    Open(f, WriteCountingWave(f.Dir.File("a.wav"), 8000, 1, 80000),
         WriteCountingWave(f.Dir.File("b.wav"), 8000, 1, 80000));
    f.Dialogs.FileAnswers.push_back(QString::fromStdString(f.Dir.File("out.wav").string()));
    f.Window->bStart->click();
    QVERIFY(f.Window->Processing());
    f.Window->close();
    QVERIFY(!f.Window->Processing());
    QCoreApplication::processEvents();
    QCOMPARE(f.Dialogs.Messages(), QStringList());
    QCOMPARE(f.Files(), size_t(2));
}

// Opening another file while a job runs would close a reader under it and splice the new
// file into the output: the file controls wait for the run (the readers' own refusal is
// the file layer's test).
void JoinerTest::filesStayPutDuringARun() {
    TFixture f;
    QVERIFY(f.Exposed);
    TfrmJoiner& w = *f.Window;
    const auto a = WriteCountingWave(f.Dir.File("a.wav"), 8000, 1, 400000);
    const auto b = WriteCountingWave(f.Dir.File("b.wav"), 8000, 1, 5000);
    const auto other = WriteCountingWave(f.Dir.File("c.wav"), 8000, 1, 3000);
    Open(f, a, b);
    const auto output = f.Dir.File("out.wav");
    f.Dialogs.FileAnswers.push_back(QString::fromStdString(output.string()));
    w.bStart->click();
    QVERIFY(w.Processing());
    for (QWidget* control : std::initializer_list<QWidget*>{w.bOpen1, w.bOpen2, w.rgMode, w.bStart})
        QVERIFY2(!control->isEnabled(), qPrintable(control->objectName()));
    // A click that reaches the handler all the same opens no dialog and changes nothing.
    f.Dialogs.FileAnswers.push_back(QString::fromStdString(other.string()));
    w.bOpen2Click();
    QCOMPARE(w.eFile2->text(), QString::fromStdString(b.string()));
    QCOMPARE(f.Dialogs.FileAnswers.size(), size_t(1));
    f.Dialogs.FileAnswers.clear();
    QVERIFY(QTest::qWaitFor([&] { return !w.Processing(); }, kToolGiveUpMs));
    QCOMPARE(f.Dialogs.Messages(), QStringList());
    for (QWidget* control : std::initializer_list<QWidget*>{w.bOpen1, w.bOpen2, w.rgMode, w.bStart})
        QVERIFY2(control->isEnabled(), qPrintable(control->objectName()));
    std::vector<int16_t> joined = FfmpegDecodeS16(a);
    const std::vector<int16_t> two = FfmpegDecodeS16(b);
    joined.insert(joined.end(), two.begin(), two.end());
    QVERIFY(FfmpegDecodeS16(output) == joined);
}

// The strip under the buttons: Cancel while the writer runs leaves no file; a run that ends
// names the output with the length ffprobe finds, and Show in Folder opens its folder.
void JoinerTest::statusStripCancelsOrNamesTheOutput() {
    const struct {
        const char* Name;
        bool Cancel;
        const char* Line;
        bool Mp3; // joined by copying frames on a worker, not by a writer
    } cases[] = {
        {"cancelled", true, "Cancelled: nothing was written.", false},
        {"saved", false, "Saved out.wav (00:00:03.5)", false}, // 1 s and 2.5 s joined
        {"frame copy cancelled", true, "Cancelled: nothing was written.", true},
    };
    for (const auto& k : cases) {
        TFixture f;
        QVERIFY(f.Exposed);
        TfrmJoiner& w = *f.Window;
        TRunStatus& status = *w.RunStatus1;
        const char* ext = k.Mp3 ? ".mp3" : ".wav";
        if (k.Mp3) {
            const auto a = f.Dir.File("a.mp3"), b = f.Dir.File("b.mp3");
            QVERIFY(MakeMediaFile(a, TestSignal(44100, 2, 20), "-c:a libmp3lame -b:a 128k"));
            QVERIFY(MakeMediaFile(b, TestSignal(44100, 2, 20), "-c:a libmp3lame -b:a 128k"));
            Open(f, a, b);
            QVERIFY(w.cbKeepQuality->isChecked());
        } else {
            Open(f, WriteCountingWave(f.Dir.File("a.wav"), 8000, 1, 8000),
                 WriteCountingWave(f.Dir.File("b.wav"), 8000, 1, 20000));
        }
        const auto output = f.Dir.File(std::string("out") + ext);
        f.Dialogs.FileAnswers.push_back(QString::fromStdString(output.string()));
        w.bStart->click();
        QVERIFY2(w.Processing(), k.Name);
        QVERIFY(status.Running() && status.Bar()->isVisibleTo(&w) &&
                status.CancelButton()->isVisibleTo(&w));
        if (k.Cancel) {
            QTest::mouseClick(status.CancelButton(), Qt::LeftButton);
            QVERIFY(!w.Processing());
            QCoreApplication::processEvents();
        } else {
            QVERIFY(QTest::qWaitFor([&] { return !w.Processing(); }, kToolGiveUpMs));
        }
        QCOMPARE(status.Line(), QString::fromLatin1(k.Line));
        QCOMPARE(f.Dialogs.Messages(), QStringList());
        QCOMPARE(w.windowTitle(), QStringLiteral("Joiner & Mixer"));
        QVERIFY(w.bStart->isEnabled());
        QCOMPARE(std::filesystem::exists(output), !k.Cancel);
        // A stopped copy lets go of its unfinished file at its next block of frames.
        QVERIFY2(
            QTest::qWaitFor([&] { return f.Files() == size_t(k.Cancel ? 2 : 3); }, kToolGiveUpMs),
            k.Name);
        if (k.Cancel) continue;
        QCOMPARE(FfprobeEntries(output.string(), "stream=duration")["duration"],
                 std::string("3.500000"));
        QString opened;
        status.OpenFolder = [&](const QString& Folder) { opened = Folder; };
        status.ShowInFolder()->Click();
        QCOMPARE(opened, QString::fromStdString(f.Dir.Path().string()));
    }
}

QTEST_MAIN(JoinerTest)
#include "joiner_test.moc"
