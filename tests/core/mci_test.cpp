// The media player and its device, judged by ffmpeg: lengths against ffmpeg's decode (or the
// container's stated length), and plays through SDL's disk driver (which writes what it is
// given to a file at once) against ffmpeg's decode of the same stretch. Fixtures are noise
// lifted off zero, so silence in the disk file is the device's, never the file's.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <unistd.h>

#include "FileBytes.h"
#include "RunCommand.h"
#include "ScratchDir.h"
#include "WaveTools.h"
#include "edit/MediaPlayer.h"

using namespace sundral;
using namespace sundral_test;

namespace {

struct TFixture {
    const char* Name;
    const char* Make; // shell command; {in} is the PCM source, {out} the file made
    uint32_t Rate;
    uint16_t Channels;
};

const TFixture kFixtures[] = {
    {"pcm.wav", "sox -n -r 44100 -c 2 -b 16 {out} synth 4.3 noise sine 440 vol 0.3 dcshift 0.5",
     44100, 2},
    {"six.wav",
     "sox -n -r 48000 -c 6 -b 16 {out} synth 2.6 noise sine 300 square 200 "
     "noise sine 700 triangle 100 vol 0.3 dcshift 0.5",
     48000, 6},
    {"ima.wav", "ffmpeg -v error -i {in} -c:a adpcm_ima_wav {out}", 44100, 2},
    {"cbr.mp3", "ffmpeg -v error -i {in} -c:a libmp3lame -b:a 128k {out}", 44100, 2},
    {"bare.mp3", "ffmpeg -v error -i {in} -c:a libmp3lame -b:a 96k -write_xing 0 {out}", 44100, 2},
    {"vbr.mp3", "ffmpeg -v error -i {in} -c:a libmp3lame -q:a 4 {out}", 44100, 2},
    {"wma.wma", "ffmpeg -v error -i {in} -c:a wmav2 -b:a 128k {out}", 44100, 2},
};

std::string Replace(std::string Text, const std::string& What, const std::string& With) {
    for (size_t at; (at = Text.find(What)) != std::string::npos;)
        Text.replace(at, What.size(), With);
    return Text;
}

// Collects how each play ended; waiting has a limit only to turn a hang into a failure.
struct TNotifyWait {
    std::mutex Lock;
    std::condition_variable Changed;
    std::vector<TMPNotifyValues> Values;

    void Attach(TMediaPlayer& Player) {
        Player.OnNotify = [this](TMediaPlayer* Sender) {
            std::lock_guard<std::mutex> lock(Lock);
            Values.push_back(Sender->NotifyValue());
            Changed.notify_all();
        };
    }
    bool WaitFor(size_t N) {
        std::unique_lock<std::mutex> lock(Lock);
        return Changed.wait_for(lock, std::chrono::seconds(60), [&] { return Values.size() >= N; });
    }
};

// Holds a play's thread when it is about to decode a block at or past a frame, until let go.
struct TGate {
    std::mutex Lock;
    std::condition_variable Changed;
    int64_t At = 0;
    bool Reached = false, Open = false;

    void Install(TMediaPlayer& Player) {
        Player.Device()->SetDecodeHookForTests([this](int64_t Frame) {
            std::unique_lock<std::mutex> lock(Lock);
            if (Frame < At || Open) return;
            Reached = true;
            Changed.notify_all();
            Changed.wait(lock, [&] { return Open; });
        });
    }
    void AwaitReached() {
        std::unique_lock<std::mutex> lock(Lock);
        ASSERT_TRUE(Changed.wait_for(lock, std::chrono::seconds(60), [&] { return Reached; }));
    }
    void Release() {
        std::lock_guard<std::mutex> lock(Lock);
        Open = true;
        Changed.notify_all();
    }
};

class MediaPlayerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!ToolAvailable("ffmpeg") || !ToolAvailable("sox")) return;
        Files = new ScratchDir("mci-fixtures");
        const std::string in = Files->File("pcm.wav").string();
        for (const TFixture& f : kFixtures) {
            std::string command = Replace(f.Make, "{in}", ShellQuote(in));
            command = Replace(command, "{out}", ShellQuote(Files->File(f.Name).string()));
            if (RunCommand(command + " 2>&1").ExitCode != 0) ADD_FAILURE() << command;
            Decoded[f.Name] = FfmpegDecodeS16(Files->File(f.Name));
        }
    }
    static void TearDownTestSuite() {
        delete Files;
        Files = nullptr;
        Decoded.clear();
    }

    void SetUp() override {
        if (!Files) GTEST_SKIP() << "ffmpeg or sox is not installed";
        UseDriver("disk", Disk.string());
        setenv("SDL_DISKAUDIODELAY", "0", 1);
    }
    void TearDown() override { unsetenv("SDL_AUDIODRIVER"); }

    static void UseDriver(const char* Driver, const std::string& DiskFile) {
        setenv("SDL_AUDIODRIVER", Driver, 1);
        setenv("SDL_DISKAUDIOFILE", DiskFile.c_str(), 1);
    }
    static std::string PathOf(const char* Name) { return Files->File(Name).string(); }

    // What the disk driver wrote, as frames that are not silent.
    std::vector<int16_t> Heard(uint16_t Channels) const {
        return Sounding(ReadFileBytes(Disk), Channels);
    }
    static std::vector<int16_t> Sounding(const std::vector<uint8_t>& Bytes, uint16_t Channels) {
        std::vector<int16_t> out;
        for (size_t at = 0; at + 2u * Channels <= Bytes.size(); at += 2u * Channels) {
            std::vector<int16_t> frame(Channels);
            std::memcpy(frame.data(), Bytes.data() + at, 2u * Channels);
            if (std::any_of(frame.begin(), frame.end(), [](int16_t s) { return s != 0; }))
                out.insert(out.end(), frame.begin(), frame.end());
        }
        return out;
    }
    // ffmpeg's decode of frames [From, To) of a fixture (To -1: to the end), silence dropped.
    static std::vector<int16_t> Expected(const TFixture& F, int64_t From, int64_t To) {
        const std::vector<int16_t>& all = Decoded[F.Name];
        const size_t end = To < 0 ? all.size() : std::min(all.size(), size_t(To) * F.Channels);
        const size_t begin = std::min(end, size_t(From) * F.Channels);
        std::vector<uint8_t> bytes(2 * (end - begin));
        if (!bytes.empty()) std::memcpy(bytes.data(), all.data() + begin, bytes.size());
        return Sounding(bytes, F.Channels);
    }

    static ScratchDir* Files;
    static inline std::map<std::string, std::vector<int16_t>> Decoded; // by ffmpeg, per fixture
    ScratchDir Scratch{"mci"};
    std::filesystem::path Disk = Scratch.File("disk.raw");
};
ScratchDir* MediaPlayerTest::Files = nullptr;

TEST_F(MediaPlayerTest, LengthMatchesWhatFfmpegFinds) {
    for (const TFixture& f : kFixtures) {
        SCOPED_TRACE(f.Name);
        // Every type: what a decode yields, the length the readers announce too (a WMA
        // header's play duration is not what its decoder delivers).
        const int64_t expected =
            int64_t(FfmpegDecodeS16(Files->File(f.Name)).size() / f.Channels) * 1000 / f.Rate;
        TMediaPlayer player(nullptr);
        player.SetFileName(PathOf(f.Name));
        player.Open();
        EXPECT_NE(player.DeviceID(), 0u);
        EXPECT_EQ(player.PlayerMode(), TMPModes::mpStopped);
        EXPECT_EQ(player.LengthMs(), expected);
        player.Close();
        EXPECT_EQ(player.DeviceID(), 0u);
    }
}

// A selection play gives exactly the frames of the stretch; the next Play, with no positions
// set, goes on from where the first ended to the end of the file.
TEST_F(MediaPlayerTest, PlaysExactlyTheStretchAndPositionsServeOnePlay) {
    const struct {
        const char* Name;
        int32_t From, To;
    } cases[] = {// Starts more than a second in seek; nearer ones decode on from the start.
                 {"pcm.wav", 1000, 2500}, {"six.wav", 1500, 2500},  {"ima.wav", 1500, 3500},
                 {"cbr.mp3", 1000, 3000}, {"bare.mp3", 2000, 3500}, {"vbr.mp3", 2500, 4000},
                 {"wma.wma", 2000, 3000}, {"pcm.wav", 0, 4300},     {"cbr.mp3", 3500, 9000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Name) + " " + std::to_string(c.From));
        const TFixture& f = *std::find_if(std::begin(kFixtures), std::end(kFixtures),
                                          [&](const TFixture& x) { return x.Name == c.Name; });
        TMediaPlayer player(nullptr);
        TNotifyWait done;
        done.Attach(player);
        player.SetFileName(PathOf(c.Name));
        player.Open();
        player.SetPlayStart(c.From);
        player.SetPlayEnd(c.To);
        player.Play();
        ASSERT_TRUE(done.WaitFor(1));
        EXPECT_EQ(player.NotifyValue(), TMPNotifyValues::nvSuccessful);
        EXPECT_EQ(player.PlayerMode(), TMPModes::mpStopped);
        EXPECT_EQ(player.Device()->OutputDriver(), "disk");
        const int64_t from = int64_t(c.From) * f.Rate / 1000, to = int64_t(c.To) * f.Rate / 1000;
        EXPECT_EQ(Heard(f.Channels), Expected(f, from, to));

        // A play that ran out of sound is followed by one from the start.
        const int64_t total = int64_t(Decoded[f.Name].size() / f.Channels);
        player.Play();
        ASSERT_TRUE(done.WaitFor(2));
        EXPECT_EQ(Heard(f.Channels), Expected(f, to > total ? 0 : to, -1));
    }
}

TEST_F(MediaPlayerTest, CommandsWithoutAnOpenFile) {
    TMediaPlayer player(nullptr);
    const std::pair<const char*, std::function<void()>> raising[] = {
        {"Play", [&] { player.Play(); }},         {"Pause", [&] { player.Pause(); }},
        {"Resume", [&] { player.Resume(); }},     {"Stop", [&] { player.Stop(); }},
        {"LengthMs", [&] { player.LengthMs(); }},
    };
    for (const auto& [name, command] : raising) {
        SCOPED_TRACE(name);
        try {
            command();
            ADD_FAILURE() << "no error";
        } catch (const EAuException& e) {
            EXPECT_STREQ(e.what(), "No MCI device open");
        }
    }
    EXPECT_NO_THROW(player.Close());
    EXPECT_NO_THROW(player.SetPlayStart(100));
    EXPECT_NO_THROW(player.SetPlayEnd(200));
    EXPECT_EQ(player.PlayerMode(), TMPModes::mpNotReady);
}

TEST_F(MediaPlayerTest, OpenRefusesWhatItCannotPlay) {
    Scratch.WriteBytes("notes.wav", std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o', '\n'});
    Scratch.WriteBytes("empty.mp3", {});
    std::vector<uint8_t> noise(20000);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = uint8_t(i * 7919 >> 3);
    Scratch.WriteBytes("noise.wma", noise);
    const struct {
        std::string Name;
        mci::TMciError Code;
    } cases[] = {
        {Scratch.File("missing.mp3").string(), mci::mciErrFileNotFound},
        {Scratch.File("notes.wav").string(), mci::mciErrUnsupported},
        {Scratch.File("empty.mp3").string(), mci::mciErrUnsupported},
        {Scratch.File("noise.wma").string(), mci::mciErrUnsupported},
        {Scratch.Path().string(), mci::mciErrCannotOpen},
        {"", mci::mciErrFileNameEmpty},
    };
    TMediaPlayer player(nullptr);
    player.SetFileName(PathOf("pcm.wav"));
    player.Open();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        player.SetFileName(c.Name);
        try {
            player.Open();
            ADD_FAILURE() << "opened";
        } catch (const EAuException& e) {
            EXPECT_EQ(e.what(), mci::MciErrorText(c.Code));
            EXPECT_FALSE(mci::MciErrorText(c.Code).empty());
        }
        EXPECT_EQ(player.Error(), c.Code);
        // The file open before is closed by the attempt.
        EXPECT_EQ(player.DeviceID(), 0u);
    }
}

// Holds a play halfway with the output paused, then ends it in one of the ways a window does:
// a resumed play keeps its end, a new play replaces it, and after Stop or Close what was
// heard is a prefix of the stretch that the position accounts for.
TEST_F(MediaPlayerTest, PausedPlayResumesStopsOrCloses) {
    const TFixture& f = kFixtures[3]; // cbr.mp3
    const int64_t from = 500 * 441 / 10, to = 4000 * 441 / 10;
    const std::vector<int16_t> stretch = Expected(f, from, to);
    enum TEnd { Resume, PauseAgain, Replace, Stop, Close };
    for (TEnd end : {Resume, PauseAgain, Replace, Stop, Close}) {
        SCOPED_TRACE(int(end));
        TMediaPlayer player(nullptr);
        TNotifyWait done;
        done.Attach(player);
        player.SetFileName(PathOf(f.Name));
        player.Open();
        TGate gate;
        gate.At = 88200;
        gate.Install(player);
        player.SetPlayStart(500);
        player.SetPlayEnd(4000);
        player.Play();
        gate.AwaitReached();
        EXPECT_EQ(player.PlayerMode(), TMPModes::mpPlaying);
        player.Pause();
        EXPECT_EQ(player.PlayerMode(), TMPModes::mpPaused);
        gate.Release();
        const uint32_t pausedAt = player.Device()->Position();
        EXPECT_GT(pausedAt, 500u);
        EXPECT_LT(pausedAt, 4000u);
        if (end == Resume || end == PauseAgain) {
            end == Resume ? player.Resume() : player.Pause();
            ASSERT_TRUE(done.WaitFor(1));
            EXPECT_EQ(player.NotifyValue(), TMPNotifyValues::nvSuccessful);
            EXPECT_EQ(Heard(f.Channels), stretch);
            continue;
        }
        if (end == Replace) {
            player.SetPlayStart(3000);
            player.SetPlayEnd(3500);
            player.Play();
            ASSERT_TRUE(done.WaitFor(2));
            EXPECT_EQ(done.Values[0], TMPNotifyValues::nvSuperseded);
            EXPECT_EQ(done.Values[1], TMPNotifyValues::nvSuccessful);
            EXPECT_EQ(Heard(f.Channels), Expected(f, 3000 * 441 / 10, 3500 * 441 / 10));
            continue;
        }
        if (end == Stop) {
            player.Stop();
            EXPECT_EQ(player.PlayerMode(), TMPModes::mpStopped);
            EXPECT_EQ(player.Device()->Position(), pausedAt);
        } else {
            player.Close();
            EXPECT_EQ(player.DeviceID(), 0u);
            std::error_code ignored;
            for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd"))
                EXPECT_NE(std::filesystem::read_symlink(fd.path(), ignored), Files->File(f.Name));
        }
        EXPECT_EQ(done.Values, std::vector<TMPNotifyValues>{TMPNotifyValues::nvAborted});
        const std::vector<int16_t> heard = Heard(f.Channels);
        EXPECT_EQ((from + int64_t(heard.size() / f.Channels)) * 1000 / 44100, pausedAt)
            << "the position is what was heard";
        EXPECT_TRUE(std::equal(heard.begin(), heard.end(), stretch.begin()));
    }
}

// Ten channels are more than an output takes: the sound is mixed down to two, each side the
// mean of every other channel (to the mixer's fixed-point precision), and the stretch keeps
// its length.
TEST_F(MediaPlayerTest, MixesDownChannelsTheOutputCannotTake) {
    const std::string make = "sox -n -r 22050 -c 10 -b 16 " + ShellQuote(PathOf("ten.wav")) +
                             " synth 1.5 noise sine 300 noise sine 500 noise sine 700 noise sine "
                             "900 noise square 100 vol 0.2 dcshift 0.5";
    ASSERT_EQ(RunCommand(make).ExitCode, 0);
    TMediaPlayer player(nullptr);
    TNotifyWait done;
    done.Attach(player);
    player.SetFileName(PathOf("ten.wav"));
    player.Open();
    player.SetPlayStart(500);
    player.SetPlayEnd(1000);
    player.Play();
    ASSERT_TRUE(done.WaitFor(1));
    EXPECT_EQ(player.NotifyValue(), TMPNotifyValues::nvSuccessful);
    const std::vector<int16_t> heard = Heard(2);
    ASSERT_EQ(heard.size(), 2u * 11025);
    const std::vector<int16_t> source = FfmpegDecodeS16(Files->File("ten.wav"));
    for (size_t frame : {size_t(0), size_t(11024)}) {
        const int16_t* in = source.data() + (11025 + frame) * 10;
        for (int side = 0; side < 2; ++side) {
            int sum = 0;
            for (int c = side; c < 10; c += 2) sum += in[c];
            EXPECT_NEAR(heard[2 * frame + size_t(side)], sum / 5.0, 2.0) << frame << " " << side;
        }
    }
}

// Without a driver that can play, the device falls back to SDL's silent driver and still
// plays the stretch to its end.
TEST_F(MediaPlayerTest, FallsBackToSilentOutput) {
    const struct {
        const char* Why;
        const char* Driver;
        std::string DiskFile;
    } cases[] = {{"driver cannot start", "no-such-driver", Disk.string()},
                 {"driver cannot open", "disk", Scratch.File("none/disk.raw").string()}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Why);
        UseDriver(c.Driver, c.DiskFile);
        TMediaPlayer player(nullptr);
        TNotifyWait done;
        done.Attach(player);
        player.SetFileName(PathOf("pcm.wav"));
        player.Open();
        player.SetPlayStart(1000);
        player.SetPlayEnd(1200);
        player.Play();
        ASSERT_TRUE(done.WaitFor(1));
        EXPECT_EQ(player.NotifyValue(), TMPNotifyValues::nvSuccessful);
        EXPECT_EQ(player.Device()->OutputDriver(), "dummy");
        EXPECT_EQ(player.Device()->Position(), 1200u);
    }
}

} // namespace
