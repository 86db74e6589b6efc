// The real Segment Cut window's waveform and Play Join: the listed segments shaded as the
// list changes, a drag filling the time fields that Add to List then lists, and Play Join's
// two plays judged by what the sound output received.
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include "RiffBytes.h"
#include "ToolWindowFixture.h"
#include "WaveTools.h"
#include "controls/Waveform.h"
#include "platform/qt/Actions.h"
#include "tools/SegmentCut.h"

using namespace sundral;
using namespace sundral_test;

namespace {

using TFixture = TToolWindowFixture<TfrmSegmentCut>;
using TRanges = TWaveform::TMarkedRanges;

// 1000 frames per column of the 411-column waveform: 51.375 s at 8000 Hz mono.
constexpr int64_t kFrames = 411000;
constexpr int64_t kPerMs = 8;

// Opens a counting wave whose peaks have all come in.
bool OpenWave(TFixture& F) {
    const auto file = WriteCountingWave(F.Dir.File("IN.WAV"), 8000, 1, kFrames);
    F.Dialogs.FileAnswers.push_back(QString::fromStdString(file.string()));
    F.Window->bOpen->click();
    TWaveform& wave = *F.Window->wfSegments;
    return QTest::qWaitFor([&] { return wave.PeaksComplete() && wave.TotalSamples() == kFrames; },
                           kToolGiveUpMs);
}

void Drag(QWidget* Target, int From, int To) {
    const int y = Target->height() / 2;
    QTest::mousePress(Target, Qt::LeftButton, Qt::NoModifier, QPoint(From, y));
    QTest::mouseMove(Target, QPoint((From + To) / 2, y));
    QTest::mouseMove(Target, QPoint(To, y));
    QTest::mouseRelease(Target, Qt::LeftButton, Qt::NoModifier, QPoint(To, y));
}

QStringList RowTexts(const TfrmSegmentCut& W) {
    QStringList texts;
    for (const TSegmentRow& row : W.Rows())
        texts << QString::fromStdString(row.Start + "-" + row.End);
    return texts;
}

void Add(TfrmSegmentCut& W, const char* Start, const char* End) {
    W.eStart->setText(QString::fromLatin1(Start));
    W.eEnd->setText(QString::fromLatin1(End));
    W.bAdd->click();
}

} // namespace

class SegmentWaveTest : public QObject {
    Q_OBJECT
private slots:
    void dragsListAndShadingFollowsTheList();
    void playJoinPlaysAroundTheRemovedStretch();
};

void SegmentWaveTest::dragsListAndShadingFollowsTheList() {
    TFixture f;
    QVERIFY(f.Exposed);
    TfrmSegmentCut& w = *f.Window;
    QVERIFY(OpenWave(f));
    TWaveform& wave = *w.wfSegments;
    QCOMPARE(wave.View().SamplesPerPixel, int64_t(1000));
    QCOMPARE(w.lFileTime->text(), QStringLiteral("00:00:51.3"));

    const auto select = [&](int Row) {
        w.lvMain->selectRow(Row);
        w.lvMain->setCurrentCell(Row, 0);
        w.ActionList1->UpdateActions();
    };
    const struct {
        const char* Name;
        std::function<void()> Act;
        QStringList Rows;
        TRanges Marked;
    } steps[] = {
        // Columns are 1000 frames (125 ms); the fields take the nearest tenth.
        {"drag right",
         [&] { Drag(&wave, 100, 123), w.bAdd->click(); },
         {"00:00:12.5-00:00:15.4"},
         {{100000, 123200}}},
        {"drag left",
         [&] { Drag(&wave, 37, 5), w.bAdd->click(); },
         {"00:00:12.5-00:00:15.4", "00:00:00.6-00:00:04.6"},
         {{100000, 123200}, {4800, 36800}}},
        // Past the end: the length the window shows, which Add checks against.
        {"drag past the end",
         [&] { Drag(&wave, 300, 430), w.bAdd->click(); },
         {"00:00:12.5-00:00:15.4", "00:00:00.6-00:00:04.6", "00:00:37.5-00:00:51.3"},
         {{100000, 123200}, {4800, 36800}, {300000, 410400}}},
        {"typed",
         [&] { Add(w, "0:0:20.0", "0:0:21.5"); },
         {"00:00:12.5-00:00:15.4", "00:00:00.6-00:00:04.6", "00:00:37.5-00:00:51.3",
          "0:0:20.0-0:0:21.5"},
         {{100000, 123200}, {4800, 36800}, {300000, 410400}, {160000, 172000}}},
        {"up",
         [&] { select(1), w.aMoveUp->Execute(); },
         {"00:00:00.6-00:00:04.6", "00:00:12.5-00:00:15.4", "00:00:37.5-00:00:51.3",
          "0:0:20.0-0:0:21.5"},
         {{4800, 36800}, {100000, 123200}, {300000, 410400}, {160000, 172000}}},
        {"remove",
         [&] { select(2), w.aRemove->Execute(); },
         {"00:00:00.6-00:00:04.6", "00:00:12.5-00:00:15.4", "0:0:20.0-0:0:21.5"},
         {{4800, 36800}, {100000, 123200}, {160000, 172000}}},
        {"remove all", [&] { w.bRemoveAll->click(); }, {}, {}},
    };
    for (const auto& s : steps) {
        f.Dialogs.Calls.clear();
        s.Act();
        QCOMPARE(f.Dialogs.Messages(), QStringList());
        QVERIFY2(RowTexts(w) == s.Rows, s.Name);
        QVERIFY2(wave.MarkedRanges() == s.Marked, s.Name);
    }
    // Times typed into the fields are the selection too.
    QCOMPARE(wave.SelectionStart(), int64_t(160000));
    QCOMPARE(wave.SelectionEnd(), int64_t(172000));

    // A listed segment is painted red under the (all positive) peaks; the rest is not.
    Add(w, "00:00:01.0", "00:00:04.0"); // columns 8 to 32
    Drag(&wave, 340, 380);
    const QImage picture = wave.grab().toImage();
    const auto reddish = [&](int X) {
        const QColor c = picture.pixelColor(X, picture.height() - 4);
        return c.red() > c.green() + 40 && c.red() > c.blue() + 40;
    };
    QVERIFY(reddish(20));
    QVERIFY(!reddish(100));
    QVERIFY(!reddish(360)); // the selection is green
}

void SegmentWaveTest::playJoinPlaysAroundTheRemovedStretch() {
    TFixture f;
    QVERIFY(f.Exposed);
    TfrmSegmentCut& w = *f.Window;
    QVERIFY(OpenWave(f));
    QVERIFY(!w.bPlayJoin->isEnabled()); // no row yet
    const auto capture = f.Dir.File("played.raw");
    qputenv("SDL_AUDIODRIVER", "disk");
    qputenv("SDL_DISKAUDIOFILE", capture.c_str());
    qputenv("SDL_DISKAUDIODELAY", "0");
    // What each play sent to the output, read before the next play opens it again.
    std::vector<std::vector<uint16_t>> heard;
    w.OnJoinPlayEnded = [&](const TfrmSegmentCut::TJoinPlay&) {
        const TBytes played = f.Dir.ReadBytes("played.raw");
        heard.emplace_back();
        for (size_t i = 0; i + 1 < played.size(); i += 2)
            if (const uint16_t sample = GetU16(&played[i])) heard.back().push_back(sample);
    };
    // Each removed stretch is the row and 100 ms on either side.
    const struct {
        const char *Start, *End;
        std::vector<std::pair<int32_t, int32_t>> Plays; // ms
    } rows[] = {
        {"00:00:10.0", "00:00:20.0", {{7900, 9900}, {20100, 22100}}},
        {"00:00:01.0", "00:00:03.0", {{0, 900}, {3100, 5100}}},
        {"00:00:00.0", "00:00:05.0", {{5100, 7100}}},   // at the start: only what follows
        {"00:00:50.0", "00:00:51.3", {{47900, 49900}}}, // at the end: only what precedes
    };
    for (const auto& r : rows) {
        w.bRemoveAll->click();
        Add(w, r.Start, r.End);
        QVERIFY(w.bPlayJoin->isEnabled());
        heard.clear();
        w.bPlayJoin->click();
        QVERIFY(QTest::qWaitFor([&] { return !w.JoinPlaying(); }, kToolGiveUpMs));
        QCOMPARE(w.JoinPlays().size(), r.Plays.size());
        QCOMPARE(heard.size(), r.Plays.size());
        for (size_t i = 0; i < r.Plays.size(); ++i) {
            const auto [from, to] = r.Plays[i];
            QCOMPARE(w.JoinPlays()[i].FromMs, from);
            QCOMPARE(w.JoinPlays()[i].ToMs, to);
            QCOMPARE(w.JoinPlays()[i].ReachedMs, to);
            // A counting wave's sample is 1 + frame % 32000.
            QCOMPARE(int64_t(heard[i].size()), (to - from) * kPerMs);
            QCOMPARE(int64_t(heard[i].front()), 1 + from * kPerMs % 32000);
            QCOMPARE(int64_t(heard[i].back()), 1 + (to * kPerMs - 1) % 32000);
        }
    }
    qputenv("SDL_AUDIODRIVER", "dummy");
}

QTEST_MAIN(SegmentWaveTest)
#include "segment_wave_test.moc"
