// The Segment Cut and Joiner windows' ways of writing: the chain encodes once, at the end,
// with the source's settings (bit rate and quality judged against a single encode by the
// Joiner); the pieces saved as separate numbered files; and the choice to keep the original
// quality, remembered between windows and explained when a stream does not allow it.
#include <cmath>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "MediaFiles.h"
#include "RunCommand.h"
#include "SegmentTools.h"
#include "ToolWindowFixture.h"
#include "WaveTools.h"
#include "controls/RadioGroup.h"
#include "platform/qt/Actions.h"
#include "tools/Joiner.h"
#include "tools/SegmentCut.h"

using namespace sundral;
using namespace sundral_test;

namespace {

using TCutFixture = TToolWindowFixture<TfrmSegmentCut>;
using TJoinFixture = TToolWindowFixture<TfrmJoiner>;

constexpr uint32_t kRate = 44100;

void OpenSource(TCutFixture& F, const std::filesystem::path& File) {
    F.Dialogs.FileAnswers.push_back(QString::fromStdString(File.string()));
    F.Window->bOpen->click();
    QVERIFY(QTest::qWaitFor([&] { return !F.Window->Measuring(); }, kToolGiveUpMs));
}

void AddRows(TCutFixture& F, const std::vector<std::pair<const char*, const char*>>& Rows) {
    F.Window->bRemoveAll->click();
    for (const auto& [start, end] : Rows) {
        F.Window->eStart->setText(QString::fromLatin1(start));
        F.Window->eEnd->setText(QString::fromLatin1(end));
        F.Window->bAdd->click();
    }
}

// Start Now with the save dialog answering Output and Yes to every replacement; waits.
bool CutTo(TCutFixture& F, const std::filesystem::path& Output) {
    F.Dialogs.FileAnswers.push_back(QString::fromStdString(Output.string()));
    for (int i = 0; i < 8; ++i) F.Dialogs.YesNoAnswers.push_back(true);
    F.Window->aStartCut->Execute();
    const bool ended = QTest::qWaitFor([&] { return !F.Window->Running(); }, kToolGiveUpMs);
    F.Dialogs.YesNoAnswers.clear();
    return ended;
}

bool JoinTo(TJoinFixture& F, const std::filesystem::path& A, const std::filesystem::path& B,
            const std::filesystem::path& Output) {
    for (const auto& file : {A, B, Output})
        F.Dialogs.FileAnswers.push_back(QString::fromStdString(file.string()));
    F.Window->bOpen1->click();
    F.Window->bOpen2->click();
    F.Window->bStart->click();
    return QTest::qWaitFor([&] { return !F.Window->Processing(); }, kToolGiveUpMs);
}

int64_t Frames(const std::filesystem::path& File, int Channels) {
    return int64_t(FfmpegDecodeS16(File).size()) / Channels;
}

// The bit rate of the file ("format") or of its audio stream ("stream").
double BitRate(const std::filesystem::path& File, const std::string& Of = "format") {
    const auto fields = FfprobeEntries(File.string(), Of + "=bit_rate");
    return fields.count("bit_rate") ? std::stod(fields.at("bit_rate")) : 0.0;
}

std::string Tag(const std::filesystem::path& File, const std::string& Name) {
    const auto fields = FfprobeEntries(File.string(), "format_tags=" + Name);
    return fields.count(Name) ? fields.at(Name) : std::string();
}

// Signal to noise of Test against Reference over their first Frames frames, in dB.
double SnrDb(const std::vector<int16_t>& Reference, const std::vector<int16_t>& Test,
             size_t Samples) {
    double signal = 0, noise = 0;
    for (size_t i = 0; i < Samples && i < Reference.size() && i < Test.size(); ++i) {
        signal += double(Reference[i]) * Reference[i];
        noise += double(Reference[i] - Test[i]) * (Reference[i] - Test[i]);
    }
    return 10 * std::log10(signal / std::max(noise, 1.0));
}

// Removing four stretches of a 20-second source leaves five pieces.
const std::vector<std::pair<const char*, const char*>> kFourRows = {{"00:00:03.0", "00:00:05.0"},
                                                                    {"00:00:08.0", "00:00:09.0"},
                                                                    {"00:00:12.0", "00:00:13.5"},
                                                                    {"00:00:16.0", "00:00:17.0"}};
const std::vector<TKeptMs> kFivePieces = {
    {0, 2900}, {5100, 7900}, {9100, 11900}, {13600, 15900}, {17100, -1}};

} // namespace

class SegmentFilesTest : public QObject {
    Q_OBJECT
private slots:
    void chainEncodesOnceWithTheSourcesSettings();
    void piecesAsSeparateFiles();
    void keepQualityIsRememberedAndDeclinesAreSaid();
};

void SegmentFilesTest::chainEncodesOnceWithTheSourcesSettings() {
    TCutFixture cut;
    TJoinFixture join;
    QVERIFY(cut.Exposed && join.Exposed);
    cut.Window->cbKeepQuality->setChecked(false); // the chain, not the lossless join
    join.Window->cbKeepQuality->setChecked(false);
    const struct {
        const char* Name;
        const char* Encoding;
        int64_t Slack; // frames a re-encoded output's length may differ by
    } cases[] = {
        {"cbr.mp3", "-c:a libmp3lame -b:a 128k", 0},
        {"vbr.mp3", "-c:a libmp3lame -q:a 4", 0},
        {"song.wma", "-c:a wmav2 -b:a 128k", 2048},
    };
    for (const auto& k : cases) {
        const auto source = cut.Dir.File(k.Name);
        QVERIFY(MakeMediaFile(source, TestSignal(kRate, 2, 20.0), k.Encoding));
        OpenSource(cut, source);
        AddRows(cut, kFourRows);
        const auto output = cut.Dir.File(std::string("cut_") + k.Name);
        QVERIFY(CutTo(cut, output));
        QCOMPARE(cut.Dialogs.Messages(), QStringList());
        QCOMPARE(cut.WorkFiles(), size_t(0));
        // The reference: one encode of the source with its own settings.
        const auto single = join.Dir.File(std::string("twice_") + k.Name);
        QVERIFY(JoinTo(join, source, source, single));
        QCOMPARE(join.Dialogs.Messages(), QStringList());

        const std::vector<int16_t> decoded = FfmpegDecodeS16(source);
        const std::vector<int16_t> expected = KeptSamples(decoded, 2, kRate, kFivePieces);
        const std::vector<int16_t> written = FfmpegDecodeS16(output);
        QVERIFY2(std::abs(int64_t(written.size()) - int64_t(expected.size())) <= 2 * k.Slack,
                 k.Name);
        // No creep: the bit rate is a single encode's.
        const double rate = BitRate(output), reference = BitRate(single);
        QVERIFY2(
            std::abs(rate - reference) <= 0.05 * reference,
            qPrintable(QStringLiteral("%1: %2 against %3").arg(k.Name).arg(rate).arg(reference)));
        if (std::string(k.Name) != "vbr.mp3") QCOMPARE(BitRate(output, "stream"), 128000.0);
        // One encode from the same samples gives the same start: the first piece went
        // through the encoder once, like the Joiner's single encode of the source. A VBR
        // source's mean is aimed on each run's own input (a trial of its start), so the two
        // runs encode with different means; its single encode shows in the rate above.
        if (std::string(k.Name) == "vbr.mp3") continue;
        const size_t first = 2 * kRate * 2; // its first two seconds, both channels
        const double snr = SnrDb(FfmpegDecodeS16(single), written, first);
        QVERIFY2(snr >= 60, qPrintable(QStringLiteral("%1: %2 dB").arg(k.Name).arg(snr)));
    }
}

void SegmentFilesTest::piecesAsSeparateFiles() {
    TCutFixture f;
    QVERIFY(f.Exposed);
    TfrmSegmentCut& w = *f.Window;
    w.cbSeparateFiles->setChecked(true);
    const struct {
        const char* Name;
        const char* Encoding; // empty: a counting WAV
        int64_t Slack;
        bool Tagged;
    } cases[] = {
        {"in.mp3", "-c:a libmp3lame -b:a 128k -metadata title=Song -id3v2_version 3", 0, true},
        {"in.wav", nullptr, 0, false},
        {"in.wma", "-c:a wmav2 -b:a 128k -metadata title=Song", 2048, true},
    };
    const std::vector<TKeptMs> pieces = {{0, 2900}, {5100, 7900}, {9100, -1}};
    for (const auto& k : cases) {
        const auto source = f.Dir.File(k.Name);
        if (k.Encoding)
            QVERIFY(MakeMediaFile(source, TestSignal(kRate, 2, 12.0), k.Encoding));
        else
            WriteCountingWave(source, kRate, 2, 12 * kRate);
        OpenSource(f, source);
        AddRows(f, {{"00:00:03.0", "00:00:05.0"}, {"00:00:08.0", "00:00:09.0"}});
        const std::string ext = std::filesystem::path(k.Name).extension().string();
        QVERIFY(CutTo(f, f.Dir.File("out" + ext)));
        QCOMPARE(f.Dialogs.Messages(), QStringList());
        QVERIFY(!std::filesystem::exists(f.Dir.File("out" + ext)));
        const std::vector<int16_t> decoded = FfmpegDecodeS16(source);
        for (int n = 1; n <= 3; ++n) {
            const auto piece = f.Dir.File("out_" + std::to_string(n) + ext);
            const std::vector<int16_t> expected =
                KeptSamples(decoded, 2, kRate, {pieces[size_t(n - 1)]});
            const std::vector<int16_t> written = FfmpegDecodeS16(piece);
            if (k.Slack == 0)
                QVERIFY2(written == expected, qPrintable(QString::fromStdString(piece.string())));
            else
                QVERIFY(std::abs(int64_t(written.size()) - int64_t(expected.size())) <=
                        2 * k.Slack);
            if (k.Tagged) {
                QCOMPARE(Tag(piece, ext == ".wma" ? "WM/Track" : "track"),
                         std::to_string(n) + "/3");
                QCOMPARE(Tag(piece, "title"), std::string("Song"));
            }
        }
    }
    // Replacing a numbered file asks first; No writes none of them.
    const auto numbered = f.Dir.File("out_2.wav");
    std::filesystem::remove(f.Dir.File("out_1.wav"));
    const size_t files = f.Files();
    OpenSource(f, f.Dir.File("in.wav"));
    f.Dialogs.Calls.clear();
    f.Dialogs.FileAnswers.push_back(QString::fromStdString(f.Dir.File("out.wav").string()));
    f.Dialogs.YesNoAnswers.push_back(false);
    w.aStartCut->Execute();
    QCOMPARE(f.Dialogs.Calls.back().Text,
             QString::fromStdString(numbered.string()) + " has existed,overite it?");
    QVERIFY(!w.Running());
    QCOMPARE(f.Files(), files);
    QCOMPARE(NumberedFileName("/a/out.mp3", 3, 12), std::string("/a/out_03.mp3"));
    QCOMPARE(NumberedFileName("/a.b/out", 1, 2), std::string("/a.b/out_1"));
}

void SegmentFilesTest::keepQualityIsRememberedAndDeclinesAreSaid() {
    // A layer II stream: no frame copy or lossless join, so both windows re-encode and say why.
    auto cut = std::make_unique<TCutFixture>();
    QVERIFY(cut->Exposed);
    const auto layer2 = cut->Dir.File("old.mp3");
    QVERIFY(MakeMediaFile(layer2, TestSignal(kRate, 2, 6.0), "-c:a mp2 -b:a 192k -f mp2"));
    const auto wave = WriteCountingWave(cut->Dir.File("in.wav"), 8000, 1, 8000);
    QVERIFY(cut->Window->cbKeepQuality->isChecked()); // on the first time
    OpenSource(*cut, layer2);
    QVERIFY(cut->Window->cbKeepQuality->isEnabled());
    AddRows(*cut, {{"00:00:02.0", "00:00:03.0"}});
    const auto output = cut->Dir.File("cut.mp3");
    QVERIFY(CutTo(*cut, output));
    QCOMPARE(cut->Dialogs.Messages(), QStringList());
    QVERIFY2(cut->Window->lNote->text().startsWith("Re-encoding instead: "),
             qPrintable(cut->Window->lNote->text()));
    const int64_t expected =
        int64_t(KeptSamples(FfmpegDecodeS16(layer2), 2, kRate, {{0, 1900}, {3100, -1}}).size()) / 2;
    QVERIFY(std::abs(Frames(output, 2) - expected) <= 1152);
    OpenSource(*cut, wave);
    QVERIFY(!cut->Window->cbKeepQuality->isEnabled());
    cut->Window->cbKeepQuality->setChecked(false);
    cut.reset();

    // The choice carries over to the next window, of either tool.
    TJoinFixture join;
    QVERIFY(join.Exposed);
    TfrmJoiner& w = *join.Window;
    QVERIFY(!w.cbKeepQuality->isChecked());
    w.cbKeepQuality->setChecked(true);
    const auto a = join.Dir.File("a.mp3"), b = join.Dir.File("b.mp3");
    QVERIFY(MakeMediaFile(a, TestSignal(kRate, 2, 2.0), "-c:a mp2 -b:a 192k -f mp2"));
    QVERIFY(MakeMediaFile(b, TestSignal(kRate, 2, 1.0), "-c:a mp2 -b:a 192k -f mp2"));
    QVERIFY(JoinTo(join, a, b, join.Dir.File("ab.mp3")));
    QCOMPARE(join.Dialogs.Messages(), QStringList());
    QVERIFY2(w.lNote->text().startsWith("Re-encoding instead: "), qPrintable(w.lNote->text()));
    QVERIFY(std::abs(Frames(join.Dir.File("ab.mp3"), 2) - Frames(a, 2) - Frames(b, 2)) <= 2304);
    // Mixing always re-encodes.
    QVERIFY(w.cbKeepQuality->isEnabled());
    w.rgMode->SetItemIndex(1);
    QVERIFY(!w.cbKeepQuality->isEnabled());
    TCutFixture again;
    QVERIFY(again.Window->cbKeepQuality->isChecked());
}

QTEST_MAIN(SegmentFilesTest)
#include "segment_files_test.moc"
