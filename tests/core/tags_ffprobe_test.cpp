// Tags the project writes, judged by an independent reader: ffprobe must find the values in
// an MP3 that ffmpeg encoded. Skipped when ffmpeg or ffprobe (or its MP3 encoder) is missing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <unistd.h>

#include "RunCommand.h"
#include "ScratchDir.h"
#include "UniqueFd.h"
#include "formats/AuTags.h"

using namespace sundral;
using namespace sundral_test;

namespace {

class TagsFfprobe : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ToolAvailable("ffmpeg") || !ToolAvailable("ffprobe"))
            GTEST_SKIP() << "ffmpeg or ffprobe is not installed";
        // One second of sine, without a tag of ffmpeg's own.
        const TCommandResult Made =
            RunCommand("ffmpeg -nostdin -v error -f lavfi -i sine=d=1 -c:a libmp3lame "
                       "-id3v2_version 0 -y " +
                       ShellQuote(Folder.File("x.mp3").string()) + " 2>&1");
        if (Made.ExitCode != 0) GTEST_SKIP() << "ffmpeg cannot encode MP3: " << Made.Output;
    }

    // Format tags as ffprobe reports them, by name.
    std::map<std::string, std::string> Probe() {
        const TCommandResult Result =
            RunCommand("ffprobe -v error -show_entries format_tags:format=duration -of "
                       "default=noprint_wrappers=1 " +
                       ShellQuote(Folder.File("x.mp3").string()));
        EXPECT_EQ(Result.ExitCode, 0);
        std::map<std::string, std::string> Tags;
        std::istringstream Lines(Result.Output);
        for (std::string Line; std::getline(Lines, Line);) {
            const size_t Equals = Line.find('=');
            if (Equals == std::string::npos) continue;
            std::string Name = Line.substr(0, Equals);
            if (Name.rfind("TAG:", 0) == 0) Name.erase(0, 4);
            Tags[Name] = Line.substr(Equals + 1);
        }
        return Tags;
    }

    ScratchDir Folder{"tags-ffprobe"};
};

void FillId3v2(TId3v2Tags& Tags) {
    Tags.SetTitle(u"Zoë \u20AC");
    Tags.SetArtist(u"Artist");
    Tags.SetAlbum(u"Album");
    Tags.SetYear("2009");
    Tags.SetGenre(u"Rock");
    Tags.SetTrack("3/12");
    Tags.SetComposer(u"Composer");
    Tags.SetCopyright(u"(c) Someone");
}

// ASCII only: ffprobe takes ID3v1 bytes for UTF-8, while the block holds Latin-1.
void FillId3v1(TId3v1Tags& Tags) {
    Tags.SetTitle("Cafe v1");
    Tags.SetArtist("Artist v1");
    Tags.SetAlbum("Album v1");
    Tags.SetYear(1999);
    Tags.SetComment("Comment v1");
    Tags.SetGenre("Jazz");
    Tags.SetTrack(5);
}

} // namespace

TEST_F(TagsFfprobe, Id3v2TagPutInFrontIsRead) {
    {
        TFd File(open(Folder.File("x.mp3").c_str(), O_RDWR));
        TId3v2Tags Tags;
        FillId3v2(Tags);
        ASSERT_TRUE(Tags.WriteToFile(File.Value, true));
    }
    auto Found = Probe();
    EXPECT_EQ(Found["title"], "Zoë €");
    EXPECT_EQ(Found["artist"], "Artist");
    EXPECT_EQ(Found["album"], "Album");
    EXPECT_EQ(Found["date"], "2009");
    EXPECT_EQ(Found["genre"], "Rock");
    EXPECT_EQ(Found["track"], "3/12");
    EXPECT_EQ(Found["composer"], "Composer");
    EXPECT_EQ(Found["copyright"], "(c) Someone");
}

TEST_F(TagsFfprobe, Id3v1BlockAppendedIsRead) {
    {
        TFd File(open(Folder.File("x.mp3").c_str(), O_RDWR));
        TId3v1Tags Tags;
        FillId3v1(Tags);
        ASSERT_TRUE(Tags.WriteToFile(File.Value, false));
    }
    auto Found = Probe();
    EXPECT_EQ(Found["title"], "Cafe v1");
    EXPECT_EQ(Found["artist"], "Artist v1");
    EXPECT_EQ(Found["album"], "Album v1");
    EXPECT_EQ(Found["date"], "1999");
    EXPECT_EQ(Found["comment"], "Comment v1");
    EXPECT_EQ(Found["genre"], "Jazz");
    EXPECT_EQ(Found["track"], "5");
}

TEST_F(TagsFfprobe, BothTagsLeaveTheAudioIntactAndId3v2Wins) {
    {
        TFd File(open(Folder.File("x.mp3").c_str(), O_RDWR));
        TId3v1Tags V1;
        FillId3v1(V1);
        ASSERT_TRUE(V1.WriteToFile(File.Value, false));
        TId3v2Tags V2;
        FillId3v2(V2);
        ASSERT_TRUE(V2.WriteToFile(File.Value, true));
    }
    auto Found = Probe();
    EXPECT_EQ(Found["title"], "Zoë €");
    EXPECT_EQ(Found["track"], "3/12");
    // The duration comes from the audio frames: the tags are not mistaken for audio.
    const double Duration = std::stod(Found["duration"]);
    EXPECT_GT(Duration, 0.95);
    EXPECT_LT(Duration, 1.1);

    // And the project reads back what it wrote at both ends.
    TFd File(open(Folder.File("x.mp3").c_str(), O_RDONLY));
    TId3v2Tags V2;
    ASSERT_TRUE(V2.ReadFromFile(File.Value));
    EXPECT_EQ(V2.Title(), u"Zoë \u20AC");
    TId3v1Tags V1;
    ASSERT_TRUE(V1.ReadFromFile(File.Value));
    EXPECT_EQ(V1.Title(), "Cafe v1");
    EXPECT_EQ(V1.Track(), 5);
}
