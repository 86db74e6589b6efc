// The stream and file layers: sample ranges, end-of-range cutting, looping, lazy opening,
// and the file stream's share modes.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "FileBytes.h"
#include "PcmPatternSource.h"
#include "RunSink.h"
#include "ScratchDir.h"
#include "audio/AuClassesFile.h"
#include "audio/AuClassesTagged.h"
#include "formats/AuWaveOut.h"
#include "platform/TextConv.h"
#include "platform/filestream.h"

using namespace sundral;
using sundral_test::RunToDone;
using sundral_test::ScratchDir;
using sundral_test::TPcmPatternSource;
using sundral_test::WriteFileBytes;

namespace {

// Headerless 16-bit stereo: frame k holds the 32-bit value k.
class TRawIn : public TAuFileIn {
public:
    explicit TRawIn(TComponent* owner) : TAuFileIn(owner) {}
    ~TRawIn() override { CloseSource(); }
    int Opens = 0;
    uint32_t ReadLimit = 4096; // bytes per ReadSource, to exercise partial blocks

    void OpenSource() override {
        std::lock_guard g(FFileLock);
        if (FOpenCount > 0) return;
        ++Opens;
        OpenOwnStream();
        FValid = true;
        FChannels = 2;
        FBitsPerSample = 16;
        FSampleRate = 8000;
        FSize = FStream->Size();
        FStream->SetPosition(0);
        FOpenCount = 1;
    }
    void CloseSource() override {
        std::lock_guard g(FFileLock);
        if (FOpenCount <= 0) return;
        ReleaseOwnStream();
        FOpenCount = 0;
    }

protected:
    void ReadSource(const uint8_t*& Buffer, uint32_t& Bytes) override {
        Bytes = std::min(Bytes, ReadLimit) / 4 * 4;
        FBuf.resize(Bytes);
        Bytes = uint32_t(FStream->Read(FBuf.data(), Bytes));
        Buffer = FBuf.data();
    }
    bool SeekSource(int64_t& SampleNum) override {
        return FStream->Seek(SampleNum * 4, TSeekOrigin::soBeginning) == SampleNum * 4;
    }

private:
    std::vector<uint8_t> FBuf;
};

std::vector<uint8_t> Frames(uint32_t first, uint32_t count) {
    std::vector<uint8_t> v(size_t(count) * 4);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t k = first + i;
        std::memcpy(&v[size_t(i) * 4], &k, 4);
    }
    return v;
}

std::vector<uint8_t> ReadAll(TAuInput& in, uint32_t ask = 1000) {
    std::vector<uint8_t> out;
    for (;;) {
        const uint8_t* p = nullptr;
        uint32_t n = ask;
        in.GetData(p, n);
        if (n == 0) break;
        out.insert(out.end(), p, p + n);
    }
    return out;
}

class FileLayer : public ::testing::Test {
protected:
    void SetUp() override {
        Path = Dir.File("raw.pcm").string();
        WriteFileBytes(Path, Frames(0, 1000));
        In.SetFileName(Path);
    }
    ScratchDir Dir;
    std::string Path;
    TRawIn In{nullptr};
};

TEST_F(FileLayer, FormatQueriesOpenLazilyOnce) {
    EXPECT_EQ(In.Opens, 0);
    EXPECT_EQ(In.SampleRate(), 8000u);
    EXPECT_EQ(In.Channels(), 2u);
    EXPECT_EQ(In.TotalSamples(), 1000);
    EXPECT_EQ(In.TotalTime(), 0) << "1000 frames at 8000 Hz round to 0 s";
    EXPECT_EQ(In.Opens, 1);
    // A new name closes the file; the next query opens the new one.
    std::string other = Dir.File("other.pcm").string();
    WriteFileBytes(other, Frames(0, 16000));
    In.SetFileName(other);
    EXPECT_EQ(In.TotalSamples(), 16000);
    EXPECT_EQ(In.TotalTime(), 2);
    EXPECT_EQ(In.Opens, 2);
}

TEST_F(FileLayer, WholeFileAndRangesAreExact) {
    In.Init();
    EXPECT_EQ(In.Size(), 4000);
    EXPECT_EQ(ReadAll(In), Frames(0, 1000));
    In.Flush();

    In.SetStartSample(100);
    In.SetEndSample(199);
    In.Init();
    EXPECT_EQ(In.Size(), 400);
    EXPECT_EQ(In.TotalSamples(), 100);
    EXPECT_EQ(ReadAll(In, 1024), Frames(100, 100)) << "the last read is cut at Size";
    EXPECT_EQ(In.Position(), 400);
    In.Flush();
    EXPECT_EQ(In.StartSample(), 0) << "the range applies to one run";
    EXPECT_EQ(In.EndSample(), -1);

    // An end beyond the data counts to the last frame, and Size promises no frame more.
    In.SetStartSample(990);
    In.SetEndSample(5000);
    In.Init();
    EXPECT_EQ(In.Size(), 40);
    EXPECT_EQ(ReadAll(In), Frames(990, 10));
    In.Flush();
    In.SetStartSample(990);
    In.SetEndSample(1000);
    In.Init();
    EXPECT_EQ(In.Size(), 40) << "the frame count itself is past the last frame";
    In.Flush();
}

TEST_F(FileLayer, EmptyRangesDeliverNothing) {
    for (auto [start, end] : {std::pair<int64_t, int64_t>{500, 400}, {2000, -1}, {1001, 1500}}) {
        In.SetStartSample(start);
        In.SetEndSample(end);
        In.Init();
        EXPECT_TRUE(ReadAll(In).empty()) << start << ".." << end;
        In.Flush();
    }
}

TEST_F(FileLayer, SeekDuringARunMovesTheReader) {
    In.SetStartSample(10);
    In.Init();
    EXPECT_TRUE(In.Seek(20));
    EXPECT_EQ(In.Position(), 80);
    const uint8_t* p = nullptr;
    uint32_t n = 8;
    In.GetData(p, n);
    ASSERT_EQ(n, 8u);
    EXPECT_EQ(std::vector<uint8_t>(p, p + 8), Frames(30, 2));
    EXPECT_FALSE(In.Seek(5000));
    ReadAll(In);
    EXPECT_TRUE(In.Seek(100)) << "after the data ran out";
    In.GetData(p, n = 8);
    ASSERT_EQ(n, 8u);
    EXPECT_EQ(std::vector<uint8_t>(p, p + 8), Frames(110, 2));
    In.Flush();
}

TEST_F(FileLayer, LoopDeliversEveryPassWhole) {
    In.SetLoop(true);
    In.SetStartSample(0);
    In.SetEndSample(9);
    In.Init();
    std::vector<uint8_t> got;
    while (got.size() < 3 * 40) {
        const uint8_t* p = nullptr;
        uint32_t n = 16; // passes do not line up with reads
        In.GetData(p, n);
        ASSERT_GT(n, 0u);
        got.insert(got.end(), p, p + n);
    }
    std::vector<uint8_t> want;
    for (int i = 0; i < 3; ++i) {
        auto pass = Frames(0, 10);
        want.insert(want.end(), pass.begin(), pass.end());
    }
    EXPECT_EQ(got, want);
    In.Flush();

    // A seek right after a pass ended wins over the restart the next read would make.
    In.SetLoop(true);
    In.SetStartSample(100);
    In.SetEndSample(199);
    In.Init();
    const uint8_t* p = nullptr;
    uint32_t n = 400;
    In.GetData(p, n);
    ASSERT_EQ(n, 400u);
    EXPECT_TRUE(In.Seek(50));
    In.GetData(p, n = 8);
    ASSERT_EQ(n, 8u);
    EXPECT_EQ(std::vector<uint8_t>(p, p + 8), Frames(150, 2));
    In.Flush();
}

TEST_F(FileLayer, InitFailures) {
    In.Init();
    try {
        In.Init();
        FAIL();
    } catch (const EAuException& e) {
        EXPECT_STREQ(e.what(), "The component is Busy");
    }
    In.Flush();

    TRawIn unnamed(nullptr);
    try {
        unnamed.Init();
        FAIL();
    } catch (const EAuException& e) {
        EXPECT_STREQ(e.what(), "The file name is not assigned");
    }
    unnamed.Flush();

    TRawIn missing(nullptr);
    missing.SetFileName(Dir.File("no-such-file.pcm").string());
    try {
        missing.Init();
        FAIL();
    } catch (const EAuException& e) {
        EXPECT_STREQ(e.what(), "No such file or directory");
    }
    EXPECT_TRUE(ReadAll(missing).empty()) << "a failed Init leaves end of data";
    missing.Flush();
    EXPECT_FALSE(missing.Busy());
}

// A new file for a component in a run would close the source under the job (or swap the
// writer's name): it is refused, and the run goes on with what it had.
TEST_F(FileLayer, BusyComponentsRefuseANewFile) {
    const std::string other = Dir.File("other.pcm").string();
    WriteFileBytes(other, Frames(5000, 10));
    TMemoryStream mem;
    In.Init();
    auto refused = [](auto&& Change) {
        try {
            Change();
        } catch (const EAuException& e) {
            return std::string(e.what());
        }
        return std::string("accepted");
    };
    EXPECT_EQ(refused([&] { In.SetFileName(other); }), "The component is busy.");
    EXPECT_EQ(refused([&] { In.SetStream(&mem); }), "The component is busy.");
    In.SetFileName(Path); // the same name changes nothing
    EXPECT_EQ(ReadAll(In), Frames(0, 1000));
    In.Flush();
    In.SetFileName(other);
    EXPECT_EQ(In.TotalSamples(), 10);

    // A writer in its run, asked from inside it (on its worker).
    TPcmPatternSource src(8000, 1, 16, 20000);
    TWaveOut writer(nullptr);
    const std::string output = Dir.File("out.wav").string();
    writer.SetFileName(output);
    std::vector<std::string> answers;
    src.BeforeRead = [&](int64_t) {
        if (!answers.empty()) return;
        answers.push_back(refused([&] { writer.SetFileName(other); }));
        answers.push_back(refused([&] { writer.SetStream(&mem); }));
    };
    EXPECT_EQ(RunToDone(writer, src), "");
    EXPECT_EQ(answers,
              std::vector<std::string>({"The component is busy.", "The component is busy."}));
    EXPECT_EQ(writer.FileName(), output);
    EXPECT_EQ(std::filesystem::file_size(output), 44u + 40000u);
    EXPECT_EQ(mem.Size(), 0);
}

TEST_F(FileLayer, AssignedStreamIsUsedAndRewound) {
    TMemoryStream mem;
    auto bytes = Frames(0, 50);
    mem.Write(bytes.data(), int64_t(bytes.size()));
    TRawIn in(nullptr);
    in.SetStream(&mem);
    in.Init();
    EXPECT_EQ(ReadAll(in), bytes);
    in.Flush();
    EXPECT_EQ(mem.Position(), 0);
}

TEST(FileStream, ShareModesBetweenOwnOpens) {
    ScratchDir dir;
    std::u16string path = Utf8ToUtf16(dir.File("shared ü.wav").string());
    {
        TAuFileStream created(path, fmCreate);
        EXPECT_EQ(created.Write("abcd", 4), 4);
        // Created files are not shared, not even for reading.
        EXPECT_THROW(TAuFileStream(path, fmOpenRead | fmShareDenyWrite), EAuException);
    }
    {
        TAuFileStream reader(path, fmOpenRead | fmShareDenyWrite);
        TAuFileStream reader2(path, fmOpenRead | fmShareDenyWrite); // readers coexist
        try {
            TAuFileStream writer(path, fmCreate);
            FAIL() << "a reader denies writers";
        } catch (const EAuException& e) {
            EXPECT_STREQ(e.what(), "Device or resource busy");
        }
        EXPECT_THROW(TAuFileStream(path, fmOpenReadWrite | fmShareDenyNone), EAuException);
        char buf[4];
        EXPECT_EQ(reader.Read(buf, 4), 4) << "a refused create must not truncate the file";
    }
    {
        TAuFileStream appender(path, fmOpenReadWrite | fmShareDenyWrite);
        TAuFileStream reader(path, fmOpenRead | fmShareDenyNone); // reading is allowed
        EXPECT_THROW(TAuFileStream(path, fmOpenRead | fmShareDenyWrite), EAuException)
            << "denying writers conflicts with an open writer";
    }
    TAuFileStream again(path, fmCreate); // all closed: free again
    EXPECT_EQ(again.Size(), 0);
}

TEST(TextConv, Utf8RoundTripAndInvalidBytes) {
    std::string text = "a\xc3\xbc\xe2\x82\xac\xf0\x9f\x8e\xb5";
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text)), text);
    EXPECT_EQ(Utf8ToUtf16(text).size(), 5u);
    EXPECT_EQ(Utf8ToUtf16("\xff\xc3"), std::u16string(u"\uFFFD\uFFFD"));
    EXPECT_EQ(Utf8ToUtf16("\xc0\xaf"), std::u16string(u"\uFFFD\uFFFD")) << "overlong";
}

} // namespace

namespace {

TEST(TaggedFileOut, AssigningASetCopiesIntoTheOwnedOne) {
    class TTaggedSink : public TAuTaggedFileOut {
    public:
        TTaggedSink() : TAuTaggedFileOut(nullptr) {}
        ~TTaggedSink() override { StopWorker(); }

    protected:
        void Prepare() override {}
        bool DoOutput(bool) override { return false; }
        void Done() override {}
    } sink;
    TId3v2Tags* owned = &sink.Id3v2Tags();
    TId3v2Tags source;
    source.SetTitle(u"Song");
    sink.SetId3v2Tags(source);
    EXPECT_EQ(&sink.Id3v2Tags(), owned);
    EXPECT_EQ(sink.Id3v2Tags().Title(), u"Song");
    source.SetTitle(u"Other");
    EXPECT_EQ(sink.Id3v2Tags().Title(), u"Song") << "a copy, not a reference";
}

} // namespace
