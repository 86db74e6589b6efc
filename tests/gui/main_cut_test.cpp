// Start Cut on the real main window: what it refuses, how it asks, and whole cuts of WAV, MP3
// and WMA files judged by ffmpeg, ffprobe and sox.
#include <sys/resource.h>

#include <csignal>

#include <QRegularExpression>

#include "MainWindowFixture.h"
#include "MediaFiles.h"
#include "RunCommand.h"
#include "WaveTools.h"
#include "edit/Global.h"

using namespace sundral;
using namespace sundral_test;

namespace {

// The tags ffprobe reads from a file, as "key=value" lines.
std::string ProbeTags(const std::filesystem::path& File) {
    return RunCommand("ffprobe -v error -show_entries format_tags=artist,album,title -of "
                      "default=nw=1:nk=0 " +
                      ShellQuote(File.string()) + " 2>/dev/null")
        .Output;
}

int64_t DecodedFrames(const std::filesystem::path& File, int Channels) {
    return int64_t(FfmpegDecodeS16(File).size()) / Channels;
}

// Runs Start Cut with the save dialog answering Output and waits for the run to end.
bool Cut(TMainWindowFixture& F, const std::filesystem::path& Output) {
    F.Dialogs.FileAnswers.push_back(QString::fromStdString(Output.string()));
    F.Dialogs.YesNoAnswers.push_back(true);
    F.Window->bStartCut->click();
    return QTest::qWaitFor([&] { return F.Window->bStartCut->isEnabled(); }, kGiveUpMs);
}

} // namespace

class MainCutTest : public QObject {
    Q_OBJECT
private slots:
    void refusalsLeaveEverythingAsItWas();
    void cutsEachTypeWithItsTags();
    void failuresKeepTheOldFileAndSaySo();
    void theTimesShownAreTheTimesCut();
};

void MainCutTest::refusalsLeaveEverythingAsItWas() {
    TMainWindowFixture f;
    QVERIFY(f.Exposed);
    const auto input = f.Wave("in.wav", 2000);
    const auto existing = f.Dir.WriteBytes("old.wav", {1, 2, 3});
    const auto text = f.Dir.WriteBytes("notes.txt", {'x'});
    struct {
        const char* Name;
        std::filesystem::path Input, Output;
        QString Message;
    } const cases[] = {
        {"no file", {}, {}, "Please open a sound file fristly."},
        {"not a sound file type", text, {}, "Only MP3, WAV and WMA files can be cut."},
        {"save cancelled", input, {}, {}},
        {"the input itself", input, input,
         "The cut file cannot replace the file being cut. Please choose another name."},
        {"overwrite refused", input, existing, {}},
    };
    for (const auto& c : cases) {
        f.Dialogs.Calls.clear();
        f.Window->eOpenFile->setText(QString::fromStdString(c.Input.string()));
        if (!c.Output.empty())
            f.Dialogs.FileAnswers.push_back(QString::fromStdString(c.Output.string()));
        f.Window->bStartCut->click();
        QVERIFY2(f.Window->bStartCut->isEnabled(), c.Name);
        QCOMPARE(f.Dialogs.Messages(),
                 c.Message.isEmpty() ? QStringList() : QStringList{c.Message});
    }
    QCOMPARE(f.Dialogs.Calls.back().Text,
             QString::fromStdString(existing.string()) + " has existed,overite it?");
    QCOMPARE(f.Dir.ReadBytes("old.wav"), (TBytes{1, 2, 3}));
    QCOMPARE(std::distance(std::filesystem::directory_iterator(f.Dir.Path()), {}), 3);
}

void MainCutTest::cutsEachTypeWithItsTags() {
    TMainWindowFixture f;
    QVERIFY(f.Exposed);
    QStringList captions;
    QObject::connect(f.Window.get(), &QWidget::windowTitleChanged,
                     [&](const QString& Title) { captions << Title; });
    const std::string tags = " -metadata artist=Artist -metadata album=Album -metadata title=Title";
    struct {
        const char* Input;
        const char* Args; // ffmpeg's encoding of the input; none: a WAV of our own
        int L, U;
        int64_t Slack; // frames the output may differ by
    } const cases[] = {
        {"Song.MP3", "-c:a libmp3lame -b:a 128k -id3v2_version 3", 2, 6, 0},
        {"song.wma", "-c:a wmav2 -b:a 128k", 2, 6, 2048},
        {"song.wav", nullptr, 2, 6, 0},
        {"short.wav", nullptr, 0, 0, 0}, // shorter than a step: the whole file
    };
    for (const auto& c : cases) {
        const auto input = f.Dir.File(c.Input);
        int channels = 1;
        if (c.Args) {
            QVERIFY(MakeMediaFile(input, TestSignal(44100, 2, 4.0), c.Args + tags));
            channels = 2;
        } else {
            WriteCountingWave(input, 8000, 1, std::string(c.Input) == "short.wav" ? 2400 : 32000);
        }
        f.Open(input);
        f.Bar().SetPositionU(c.U);
        f.Bar().SetPositionL(c.L);
        const auto output = f.Dir.File(std::string("cut_") + c.Input);
        captions.clear();
        QVERIFY2(Cut(f, output), c.Input);
        QVERIFY2(f.Dialogs.Messages().isEmpty(), qPrintable(f.Dialogs.Messages().join('\n')));

        // A thumb stands for its time; the one at the end of the range for the end.
        const int64_t total = DecodedFrames(input, channels);
        const int64_t rate = c.Args ? 44100 : 8000;
        const int64_t start = f.Bar().PositionL() * rate / 2;
        const int64_t end =
            f.Bar().PositionU() == f.Bar().Max() ? total : f.Bar().PositionU() * rate / 2;
        const int64_t frames = c.Args ? DecodedFrames(output, channels) : SoxFrames(output);
        QVERIFY2(std::abs(frames - (end - start)) <= c.Slack,
                 qPrintable(QString("%1: %2 frames").arg(c.Input).arg(frames)));
        if (c.Args) {
            const auto tagLines = [](const std::filesystem::path& File) {
                QStringList lines =
                    QString::fromStdString(ProbeTags(File)).split('\n', Qt::SkipEmptyParts);
                lines.sort();
                return lines;
            };
            QCOMPARE(tagLines(output), tagLines(input));
            QCOMPARE(tagLines(input).size(), 3);
        }
        // Progress in the caption, then the plain caption again.
        QVERIFY(!captions.isEmpty());
        QCOMPARE(captions.back(), QStringLiteral("Orvane Sundral"));
        const QRegularExpression progress("^Orvane Sundral - Cutting \\.\\.\\. -?\\d+%$");
        for (qsizetype i = 0; i + 1 < captions.size(); ++i)
            QVERIFY2(progress.match(captions[i]).hasMatch(), qPrintable(captions[i]));
    }
    // The save dialog follows the input's extension as written.
    const TFileDialogOptions& mp3 = f.Dialogs.Calls[1].Options;
    QCOMPARE(mp3.Filter, QStringLiteral("Sound Files|*.MP3"));
    QCOMPARE(mp3.DefaultExt, QStringLiteral("MP3"));
    QCOMPARE(mp3.Title, QStringLiteral("Save the cut file"));
    QCOMPARE(mp3.FileName, QStringLiteral("cut_Song.MP3"));
    QCOMPARE(mp3.InitialDir, QString::fromStdString(f.Dir.Path().string()));
}

void MainCutTest::failuresKeepTheOldFileAndSaySo() {
    TMainWindowFixture f;
    QVERIFY(f.Exposed);
    const auto kept = f.Dir.WriteBytes("kept.wav", {7, 7, 7});
    const auto sound = f.Wave("in.wav", 4000);
    // A WAV whose encoding no reader takes; a run whose writes fail (files may not grow past
    // 10000 bytes); and a folder that does not exist. Each says why; none touches kept.wav.
    const auto odd = f.Dir.WriteBytes(
        "odd.wav", RiffImage({{"fmt ", FmtBody(0x0161, 2, 44100, 4, 16)}, {"data", TBytes(64)}}));
    struct {
        std::filesystem::path Input, Output;
        rlim_t FileSizeLimit;
        QString Message;
    } const cases[] = {
        {odd, kept, RLIM_INFINITY, "not a sound file this program can read"},
        {sound, kept, 10000, "Cutting failed: Error writing wave file"},
        {sound, f.Dir.File("missing/out.wav"), RLIM_INFINITY, "missing/out.wav"},
    };
    std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead of ending the test
    for (const auto& c : cases) {
        f.Dialogs.Calls.clear();
        f.Window->eOpenFile->setText(QString::fromStdString(c.Input.string()));
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit old = limit;
        limit.rlim_cur = c.FileSizeLimit;
        setrlimit(RLIMIT_FSIZE, &limit);
        const bool ended = Cut(f, c.Output);
        setrlimit(RLIMIT_FSIZE, &old);
        QVERIFY(ended);
        QCOMPARE(f.Dialogs.Messages().size(), 1);
        QVERIFY2(f.Dialogs.Messages()[0].contains(c.Message), qPrintable(f.Dialogs.Messages()[0]));
        QCOMPARE(f.Window->windowTitle(), QStringLiteral("Orvane Sundral"));
    }
    QCOMPARE(f.Dir.ReadBytes("kept.wav"), (TBytes{7, 7, 7}));
    // No unfinished file is left behind.
    QCOMPARE(std::distance(std::filesystem::directory_iterator(f.Dir.Path()), {}), 3);
}

void MainCutTest::theTimesShownAreTheTimesCut() {
    TMainWindowFixture f;
    QVERIFY(f.Exposed);
    // 12.7 s: the file's length is no whole number of half seconds. The times are typed and
    // the fields never left before the cut starts.
    struct {
        const char* Input;
        const char* Args;        // ffmpeg's encoding; none: a counting WAV at 8000 Hz
        const char *Start, *End; // End none: as shown after opening, the end of the file
        int64_t Slack;
    } const cases[] = {
        {"odd.wav", nullptr, "00:00:02.0", "00:00:07.0", 0},
        {"odd.wav", nullptr, "00:00:07.0", nullptr, 0},
        {"odd.mp3", "-c:a libmp3lame -b:a 128k", "00:00:02.0", "00:00:07.0", 0},
        {"odd.wma", "-c:a wmav2 -b:a 128k", "00:00:07.0", nullptr, 2048},
    };
    const auto type = [](QLineEdit* Field, const char* Text) {
        Field->setFocus();
        Field->selectAll();
        QTest::keyClicks(Field, QString::fromLatin1(Text));
    };
    for (const auto& c : cases) {
        const auto input = f.Dir.File(c.Input);
        const int64_t rate = c.Args ? 44100 : 8000;
        if (!std::filesystem::exists(input)) {
            if (c.Args)
                QVERIFY(MakeMediaFile(input, TestSignal(44100, 1, 12.7), c.Args));
            else
                WriteCountingWave(input, 8000, 1, 8000 * 127 / 10);
        }
        f.Open(input);
        f.Dialogs.Calls.clear();
        if (c.End) type(f.Window->eEnd, c.End);
        type(f.Window->eStart, c.Start);
        const auto output = f.Dir.File(std::string("cut_") + c.Input);
        QVERIFY2(Cut(f, output), c.Input);
        QVERIFY2(f.Dialogs.Messages().isEmpty(), qPrintable(f.Dialogs.Messages().join('\n')));
        QCOMPARE(f.Window->eStart->text(), QString::fromLatin1(c.Start));
        if (c.End) QCOMPARE(f.Window->eEnd->text(), QString::fromLatin1(c.End));

        const int64_t start = TimeTextToMs(c.Start) * rate / 1000;
        const int64_t end = c.End ? TimeTextToMs(c.End) * rate / 1000 : DecodedFrames(input, 1);
        const std::vector<int16_t> cut = FfmpegDecodeS16(output);
        QVERIFY2(std::abs(int64_t(cut.size()) - (end - start)) <= c.Slack,
                 qPrintable(QString("%1: %2 frames").arg(c.Input).arg(cut.size())));
        // The counting samples tell where the cut begins.
        if (!c.Args) QCOMPARE(int(cut.at(0)), int(1 + start % 32000));
    }

    // The same start and end typed: nothing to cut. The cut says so and does not start, and
    // the start goes back to its thumb's time.
    f.Dialogs.Calls.clear();
    type(f.Window->eEnd, "00:00:09.0");
    type(f.Window->eStart, "00:00:09.0");
    QCOMPARE(f.Bar().PositionL(), 14);
    f.Window->bStartCut->click();
    QCOMPARE(f.Dialogs.Messages(),
             QStringList{"Please make sure the start time not same as the end time"});
    QCOMPARE(f.Dialogs.Calls.size(), size_t(1));
    QCOMPARE(f.Window->eStart->text(), QStringLiteral("00:00:07.0"));
    QVERIFY(f.Window->bStartCut->isEnabled());
}

QTEST_MAIN(MainCutTest)
#include "main_cut_test.moc"
