// The streamed WMA writer served to real clients over HTTP on the loopback interface: ffmpeg
// decodes what it receives, ffprobe reads the stream's format, and a client beyond the
// limit is refused. The input holds its first block until the clients are in, so every
// client sees the stream from its start.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "PcmPatternSource.h"
#include "Pump.h"
#include "RunCommand.h"
#include "ScratchDir.h"
#include "formats/AuWinMediaOut.h"

using namespace sundral;
using namespace sundral_test;

namespace {

// A loopback port nobody listens on right now.
uint32_t FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

class WmaStream : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ToolAvailable("ffmpeg") || !ToolAvailable("ffprobe"))
            GTEST_SKIP() << "ffmpeg or ffprobe is not installed";
        Source.BeforeRead = [this](int64_t At) {
            if (At < HoldAt) return;
            std::unique_lock lock(GateLock);
            Reached = true;
            GateChanged.wait(lock, [this] { return Open; });
        };
        Writer.SetPort(Port);
        Writer.SetListenAddress("127.0.0.1");
        Writer.SetDesiredBitrate(128);
        Writer.OnClientConnected = [this](TComponent*) { ++Connected; };
        Writer.OnClientDisconnected = [this](TComponent*) { ++Disconnected; };
        Writer.OnDone = [this](TComponent*) { Done = true; };
        Writer.SetInput(&Source);
    }

    // Starts the run and returns once the server listens (the writer asks for its first block).
    void Start() {
        Writer.Run();
        ASSERT_TRUE(PumpUntil([this] {
            std::lock_guard lock(GateLock);
            return Reached;
        }));
    }
    // Lets the input go and waits for the end of the run.
    void Finish() {
        {
            std::lock_guard lock(GateLock);
            Open = true;
        }
        GateChanged.notify_all();
        ASSERT_TRUE(PumpUntil([this] { return Done; }));
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(Port); }
    // ffmpeg decodes the stream in a thread of its own: the frames it got and what it said.
    struct TDecoded {
        size_t Frames = 0;
        std::string Errors;
    };
    std::thread Decode(TDecoded& Result) {
        return std::thread([this, &Result] {
            const std::filesystem::path out = Folder.File("decoded.raw");
            Result.Errors = RunCommand("ffmpeg -nostdin -v error -i " + Url() + " -f s16le -y " +
                                       ShellQuote(out.string()) + " 2>&1")
                                .Output;
            Result.Frames = size_t(std::filesystem::file_size(out) / 4);
        });
    }

    ScratchDir Folder{"wmastream"};
    const uint32_t Port = FreePort();
    int64_t HoldAt = 0; // the input waits when asked for the block at this byte
    TPcmPatternSource Source{44100, 2, 16, 2 * 44100};
    TWMStreamedOut Writer{nullptr};
    std::mutex GateLock;
    std::condition_variable GateChanged;
    bool Reached = false, Open = false, Done = false;
    int Connected = 0, Disconnected = 0;
};

} // namespace

TEST_F(WmaStream, ServesTwoClientsTheWholeStream) {
    Start();
    TDecoded decoded;
    std::thread decoder = Decode(decoded);
    std::string probed;
    std::thread prober([&] {
        probed = RunCommand("ffprobe -v error -show_entries stream=codec_name,sample_rate "
                            "-of default=noprint_wrappers=1 " +
                            Url() + " 2>&1")
                     .Output;
    });
    EXPECT_TRUE(PumpUntil([&] { return Connected == 2; }));
    Finish();
    decoder.join();
    prober.join();
    EXPECT_EQ(Writer.ExceptionMessage(), "");
    EXPECT_EQ(decoded.Errors, "");
    EXPECT_GE(decoded.Frames, 2 * 44100u);
    EXPECT_LT(decoded.Frames, 2 * 44100u + 2048);
    EXPECT_EQ(probed, "codec_name=wmav2\nsample_rate=44100\n");
    EXPECT_EQ(Disconnected, 2);
}

TEST_F(WmaStream, RefusesClientsBeyondTheLimit) {
    Writer.SetMaxClients(1);
    Start();
    TDecoded decoded;
    std::thread decoder = Decode(decoded);
    ASSERT_TRUE(PumpUntil([&] { return Connected == 1; }));
    const TCommandResult refused = RunCommand("ffprobe -v error " + Url() + " 2>&1");
    EXPECT_NE(refused.ExitCode, 0);
    EXPECT_NE(refused.Output.find("5XX"), std::string::npos) << refused.Output;
    Finish();
    decoder.join();
    EXPECT_GE(decoded.Frames, 2 * 44100u);
    EXPECT_EQ(Connected, 1);
    EXPECT_EQ(Disconnected, 1);
}

// A client that joins while the stream runs starts at a packet boundary after the header
// and decodes the rest without a complaint: what was written after it joined, and at most
// the one container packet (under five codec frames) that was still being filled.
TEST_F(WmaStream, ALateClientJoinsAtAPacket) {
    HoldAt = 16 * 14112; // 1.28 s written before it connects
    Start();
    TDecoded decoded;
    std::thread decoder = Decode(decoded);
    ASSERT_TRUE(PumpUntil([&] { return Connected == 1; }));
    Finish();
    decoder.join();
    EXPECT_EQ(decoded.Errors, "");
    EXPECT_GT(decoded.Frames, 4096u);
    EXPECT_LT(decoded.Frames, 2 * 44100u - 16 * 3528u + 6 * 2048);
}

TEST_F(WmaStream, APortInUseCannotBeOpened) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(uint16_t(Port));
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    listen(fd, 1);
    Writer.Run();
    EXPECT_TRUE(PumpUntil([this] { return Done; }));
    close(fd);
    EXPECT_EQ(Writer.ExceptionMessage(), "Cannot create file");
}
