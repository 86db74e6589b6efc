// The source/sink engine on real worker threads; this test's main thread is the UI thread
// and pumps UI-thread calls itself.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

#include "Pump.h"
#include "audio/AuClasses.h"
#include "audio/AuClassesThread.h"
#include "platform/uisync.h"

using namespace sundral;
using namespace std::chrono_literals;

namespace {

using sundral_test::PumpUntil;

// Lets the dispatcher deliver everything posted so far: a marker sink's run posts its done
// event after anything posted earlier, and the queue is first in, first out.
void Drain();

// A source of Blocks blocks of BlockSize bytes; byte i of the stream is i mod 251.
class TCountingSource : public TAuInput {
public:
    TCountingSource(TComponent* owner, uint32_t blocks, uint32_t blockSize = 256,
                    bool sizeKnown = true)
        : TAuInput(owner), FBlocks(blocks), FBlockSize(blockSize), FSizeKnown(sizeKnown),
          FBuffer(blockSize) {}

    std::atomic<int> InitCount{0}, FlushCount{0};
    std::function<void()> OnInit;

protected:
    uint32_t GetBitsPerSample() override { return 16; }
    uint32_t GetChannels() override { return 2; }
    uint32_t GetSampleRate() override { return 44100; }
    void InitInput() override {
        ++InitCount;
        if (OnInit) OnInit();
        FBusy = true;
        FPosition = 0;
        FSize = FSizeKnown ? int64_t(FBlocks) * FBlockSize : -1;
        FFrameSize = 4;
        FNext = 0;
    }
    void FlushInput() override {
        ++FlushCount;
        FBusy = false;
    }
    void ReadSource(const uint8_t*& Buffer, uint32_t& Bytes) override {
        uint64_t total = uint64_t(FBlocks) * FBlockSize;
        if (FNext >= total) {
            Bytes = 0;
            return;
        }
        Bytes = uint32_t(std::min<uint64_t>({Bytes, FBlockSize, total - FNext}));
        for (uint32_t i = 0; i < Bytes; ++i) FBuffer[i] = uint8_t((FNext + i) % 251);
        FNext += Bytes;
        FPosition += Bytes;
        Buffer = FBuffer.data();
    }

private:
    uint32_t FBlocks, FBlockSize;
    bool FSizeKnown;
    std::vector<uint8_t> FBuffer;
    uint64_t FNext = 0;
};

// A sink that records what it got and can be held inside DoOutput, or made to fail.
class TRecordingSink : public TAuOutput {
public:
    explicit TRecordingSink(TComponent* owner) : TAuOutput(owner) {}
    ~TRecordingSink() override { StopWorker(); }

    std::vector<uint8_t> Data;
    std::atomic<int> PrepareCount{0}, DoneCount{0}, Blocks{0};
    std::atomic<bool> StoppedInDone{false};
    std::function<void()> ThrowInPrepare, ThrowInDoOutput, ThrowInDone;
    // Posted from the worker after each block, as a sink with events of its own does.
    std::function<void(TComponent*)> OwnEvent;
    // Like OwnEvent, with a number taken under one lock with the posting, shared by all
    // sinks: numbers in delivery order show the posting order across sinks.
    std::function<void(int)> NumberedEvent;
    static inline std::mutex PostingLock;
    static inline int PostingCount = 0;

    // While held, DoOutput waits before each block after the first HoldAfter blocks.
    void Hold(int after = 0) {
        std::lock_guard g(FGateLock);
        FHeld = true;
        FHoldAfter = after;
    }
    void Release() {
        // Notify under the lock: the sink may be destroyed as soon as the lock is free.
        std::lock_guard g(FGateLock);
        FHeld = false;
        FGate.notify_all();
    }
    // Starts a run and returns once the worker waits before block `after`.
    bool RunHeld(int after) {
        Hold(after);
        Run();
        return WaitUntilHeld();
    }
    bool WaitUntilHeld() {
        std::unique_lock g(FGateLock);
        return FGate.wait_for(g, 60s, [this] { return FParked; });
    }
    using TAuOutput::Active;

protected:
    void Prepare() override {
        ++PrepareCount;
        Data.clear();
        if (ThrowInPrepare) ThrowInPrepare();
        Input()->Init();
    }
    bool DoOutput(bool Abort) override {
        if (!Active()) return true;
        if (Abort) return false;
        {
            std::unique_lock g(FGateLock);
            if (FHeld && Blocks >= FHoldAfter) {
                FParked = true;
                FGate.notify_all();
                FGate.wait(g, [this] { return !FHeld; });
                FParked = false;
            }
        }
        if (ThrowInDoOutput) ThrowInDoOutput();
        uint8_t buf[256];
        uint32_t n = ReadOnce(Input(), buf, sizeof buf);
        if (n == 0) return false;
        Data.insert(Data.end(), buf, buf + n);
        ++Blocks;
        if (OwnEvent) PostNotify(OwnEvent);
        if (NumberedEvent) {
            std::lock_guard g(PostingLock);
            int number = ++PostingCount;
            PostNotify([this, number](TComponent*) { NumberedEvent(number); });
        }
        return true;
    }
    void Done() override {
        ++DoneCount;
        StoppedInDone = Stopped();
        Input()->Flush();
        if (ThrowInDone) ThrowInDone();
    }

private:
    std::mutex FGateLock;
    std::condition_variable FGate;
    bool FHeld = false, FParked = false;
    int FHoldAfter = 0;
};

struct Events {
    std::vector<std::pair<char, int>> Log; // 'p' with the progress, 'd', 'x'
    int Done() const {
        int n = 0;
        for (auto& e : Log) n += e.first == 'd';
        return n;
    }
    int Progress() const {
        int n = 0;
        for (auto& e : Log) n += e.first == 'p';
        return n;
    }
    void Attach(TAuOutput& sink) {
        sink.OnProgress = [this, &sink](TComponent*) { Log.push_back({'p', sink.Progress()}); };
        sink.OnDone = [this](TComponent*) { Log.push_back({'d', 0}); };
        sink.OnThreadException = [this](TComponent*) { Log.push_back({'x', 0}); };
    }
};

// Runs Action (a stop, a restart, a destruction) while another thread lets the held worker go
// a moment later, so that Action finds the run still in progress.
template <class F> void ReleaseDuring(TRecordingSink& sink, F&& action) {
    std::thread releaser([&sink] {
        std::this_thread::sleep_for(5ms);
        sink.Release();
    });
    action();
    releaser.join();
}

void Drain() {
    TComponent owner(nullptr);
    TCountingSource source(&owner, 0);
    TRecordingSink marker(&owner);
    marker.SetInput(&source);
    bool done = false;
    marker.OnDone = [&](TComponent*) { done = true; };
    marker.Run();
    ASSERT_TRUE(PumpUntil([&] { return done; }));
}

std::vector<uint8_t> Pattern(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t(i % 251);
    return v;
}

class Engine : public ::testing::Test {
protected:
    void SetUp() override { SetUiThread(); }
    TComponent Owner{nullptr};
};

// One recording sink with its events logged, for the tests of a single sink's runs.
class EngineRun : public Engine {
protected:
    void SetUp() override {
        Engine::SetUp();
        Ev.Attach(Sink);
    }
    // Pumps until the sink's N-th OnDone has been delivered.
    bool AwaitDone(int N) {
        return PumpUntil([&] { return Ev.Done() == N; });
    }
    TRecordingSink Sink{&Owner};
    Events Ev;
};

TEST_F(EngineRun, RunMovesEveryByteAndReportsProgressBeforeDone) {
    TCountingSource source(&Owner, 40);
    Sink.SetInput(&source);
    Sink.Run();
    ASSERT_TRUE(AwaitDone(1));
    EXPECT_FALSE(Sink.Busy());
    EXPECT_EQ(Sink.Data, Pattern(40 * 256));
    EXPECT_EQ(Sink.PrepareCount, 1);
    EXPECT_EQ(Sink.DoneCount, 1);
    EXPECT_EQ(source.FlushCount, 1);
    EXPECT_EQ(Sink.Progress(), 100);
    EXPECT_EQ(Sink.LastProgress(), 100);
    ASSERT_GE(Ev.Log.size(), 2u);
    EXPECT_EQ(Ev.Log.back().first, 'd');
    // Integer percentages change 40 times in 40 blocks; each change posts exactly once.
    EXPECT_EQ(Ev.Progress(), 40);
    for (size_t i = 1; i + 1 < Ev.Log.size(); ++i) EXPECT_EQ(Ev.Log[i - 1].first, 'p');
}

TEST_F(EngineRun, ProgressRulesAndLastProgressAcrossRuns) {
    TCountingSource empty(&Owner, 0);
    EXPECT_EQ(Sink.Progress(), 0) << "no input";
    Sink.SetInput(&empty);
    Sink.Run();
    ASSERT_TRUE(AwaitDone(1));
    EXPECT_EQ(Ev.Progress(), 0) << "Size 0 never changes the percentage from 0";
    EXPECT_EQ(Sink.Progress(), 0);

    // Unknown size: -1 is posted once, and a second run starting at -1 posts nothing.
    TCountingSource unknown(&Owner, 5, 256, false);
    Sink.SetInput(&unknown);
    Sink.Run();
    ASSERT_TRUE(AwaitDone(2));
    EXPECT_EQ(Ev.Progress(), 1);
    EXPECT_EQ(Sink.LastProgress(), -1);
    Sink.Run();
    ASSERT_TRUE(AwaitDone(3));
    EXPECT_EQ(Ev.Progress(), 1);
}

TEST_F(Engine, RunRefusesBusySinkAndMissingInput) {
    TRecordingSink sink(&Owner);
    try {
        sink.Run();
        FAIL() << "Run without input must raise";
    } catch (const EAuException& e) {
        EXPECT_STREQ(e.what(), "Input is not assigned");
    }
    EXPECT_FALSE(sink.Busy());

    TCountingSource source(&Owner, 10);
    Events ev;
    ev.Attach(sink);
    sink.SetInput(&source);
    ASSERT_TRUE(sink.RunHeld(0));
    try {
        sink.Run();
        FAIL() << "Run on a busy sink must raise";
    } catch (const EAuException& e) {
        EXPECT_STREQ(e.what(), "Component is Busy");
    }
    EXPECT_TRUE(sink.Busy());
    sink.Release();
    ASSERT_TRUE(PumpUntil([&] { return ev.Done() == 1; }));
    EXPECT_EQ(sink.Data.size(), 10u * 256);
}

TEST_F(EngineRun, AsyncStopRunsDoneAndDeliversOnDone) {
    TCountingSource source(&Owner, 100);
    Sink.SetInput(&source);
    ASSERT_TRUE(Sink.RunHeld(3));
    Sink.Stop(true);
    EXPECT_TRUE(Sink.Stopped());
    Sink.Release();
    ASSERT_TRUE(AwaitDone(1));
    EXPECT_TRUE(Sink.StoppedInDone);
    EXPECT_FALSE(Sink.Stopped()) << "cleared when the run ends";
    EXPECT_EQ(Sink.DoneCount, 1);
    EXPECT_LT(Sink.Data.size(), 100u * 256);
}

TEST_F(EngineRun, SyncStopSuppressesTheRunsEventsAndAllowsRunAtOnce) {
    TCountingSource source(&Owner, 100);
    Sink.SetInput(&source);
    ASSERT_TRUE(Sink.RunHeld(10));
    ReleaseDuring(Sink, [&] { Sink.Stop(false); });
    EXPECT_FALSE(Sink.Busy());
    EXPECT_EQ(Sink.DoneCount, 1);
    Drain();
    EXPECT_EQ(Ev.Done(), 0) << "no OnDone after a synchronous stop";
    size_t progressBefore = Ev.Log.size();

    Sink.Run();
    ASSERT_TRUE(AwaitDone(1));
    EXPECT_EQ(Sink.Data, Pattern(100 * 256));
    EXPECT_GT(Ev.Log.size(), progressBefore);

    // On an idle Sink a synchronous stop returns at once and nothing follows.
    Sink.Stop(false);
    Drain();
    EXPECT_EQ(Ev.Done(), 1);
}

TEST_F(Engine, SyncStopFromTheUiThreadWhileTheDispatcherWaitsForIt) {
    // The dispatcher is blocked handing a progress event to the UI thread, which is busy
    // stopping: the stop must service that call instead of waiting for ever.
    TCountingSource source(&Owner, 1000);
    TRecordingSink sink(&Owner);
    int progress = 0;
    sink.OnProgress = [&](TComponent*) { ++progress; };
    sink.SetInput(&source);
    sink.Run();
    ASSERT_TRUE(PumpUntil([&] { return sink.Blocks > 5; }));
    std::this_thread::sleep_for(2ms); // let events queue up while nobody pumps
    sink.Stop(false);
    EXPECT_FALSE(sink.Busy());
    int seen = progress;
    Drain();
    EXPECT_EQ(progress, seen);
}

TEST_F(EngineRun, SetInputWhileRunningRestartsOnTheNewSource) {
    TCountingSource first(&Owner, 100), second(&Owner, 7);
    Sink.SetInput(&first);
    ASSERT_TRUE(Sink.RunHeld(2));
    ReleaseDuring(Sink, [&] { Sink.SetInput(&second); });
    ASSERT_TRUE(AwaitDone(1));
    EXPECT_EQ(Sink.Input(), &second);
    EXPECT_EQ(Sink.Data, Pattern(7 * 256));
    EXPECT_EQ(Sink.PrepareCount, 2);

    // Setting none while running stops the job and then fails to run again.
    Sink.SetInput(&first);
    ASSERT_TRUE(Sink.RunHeld(2));
    ReleaseDuring(Sink, [&] { EXPECT_THROW(Sink.SetInput(nullptr), EAuException); });
    EXPECT_EQ(Sink.Input(), nullptr);
    EXPECT_FALSE(Sink.Busy());
}

TEST_F(Engine, RunFromOnDoneChainsRuns) {
    TCountingSource source(&Owner, 3);
    TRecordingSink sink(&Owner);
    int done = 0;
    sink.SetInput(&source);
    sink.OnDone = [&](TComponent* sender) {
        EXPECT_EQ(sender, &sink);
        EXPECT_FALSE(sink.Busy());
        if (++done < 5) sink.Run();
    };
    sink.Run();
    ASSERT_TRUE(PumpUntil([&] { return done == 5; }));
    EXPECT_EQ(sink.PrepareCount, 5);
    EXPECT_EQ(source.InitCount, 5);
}

TEST_F(EngineRun, FailuresEndTheRunButDoneAndOnDoneFollow) {
    TCountingSource source(&Owner, 10);
    Sink.SetInput(&source);

    Sink.ThrowInPrepare = [] { throw std::runtime_error("cannot open"); };
    Sink.Run();
    ASSERT_TRUE(AwaitDone(1));
    EXPECT_EQ(Sink.ExceptionMessage(), "cannot open");
    EXPECT_EQ(Sink.DoneCount, 1);
    ASSERT_GE(Ev.Log.size(), 2u);
    EXPECT_EQ(Ev.Log[Ev.Log.size() - 2].first, 'x');

    // Something that is not a std::exception: still only a failed run.
    Sink.ThrowInPrepare = nullptr;
    Sink.ThrowInDoOutput = [] { throw 42; };
    Sink.Run();
    ASSERT_TRUE(AwaitDone(2));
    EXPECT_FALSE(Sink.ExceptionMessage().empty());

    // A failing Done fails the run with its text, and the Sink can run again.
    Sink.ThrowInDoOutput = nullptr;
    Sink.ThrowInDone = [] { throw std::runtime_error("close failed"); };
    Sink.Run();
    ASSERT_TRUE(AwaitDone(3));
    EXPECT_FALSE(Sink.Busy());
    EXPECT_EQ(Sink.ExceptionMessage(), "close failed");
    EXPECT_FALSE(Sink.Stopped());
    Sink.ThrowInDone = nullptr;
    Sink.Run();
    ASSERT_TRUE(AwaitDone(4));
    EXPECT_EQ(Sink.Data.size(), 10u * 256);
    EXPECT_EQ(Sink.ExceptionMessage(), "") << "Run clears the last message";
}

TEST_F(EngineRun, OwnEventsOfASinkRunOnTheUiThreadInOrder) {
    TCountingSource source(&Owner, 20);
    Sink.OwnEvent = [&](TComponent* sender) {
        EXPECT_EQ(sender, &Sink);
        Ev.Log.push_back({'o', 0});
    };
    Sink.SetInput(&source);
    Sink.Run();
    ASSERT_TRUE(AwaitDone(1));
    int own = 0;
    for (auto& e : Ev.Log) own += e.first == 'o';
    EXPECT_EQ(own, 20);
    EXPECT_EQ(Ev.Log.back().first, 'd') << "all of the run's own events come before OnDone";

    // After a synchronous stop none of them is delivered.
    Ev.Log.clear();
    ASSERT_TRUE(Sink.RunHeld(5));
    ReleaseDuring(Sink, [&] { Sink.Stop(false); });
    size_t seen = Ev.Log.size();
    Drain();
    EXPECT_EQ(Ev.Log.size(), seen);
}

TEST_F(Engine, SourceInitReraisesAsAuExceptionAndSetsEndOfData) {
    TCountingSource source(&Owner, 10);
    source.OnInit = [] { throw std::runtime_error("bad header"); };
    try {
        source.Init();
        FAIL();
    } catch (const EAuException& e) {
        EXPECT_STREQ(e.what(), "bad header");
    }
    EXPECT_TRUE(source.EndOfData());
    // The lock was released: another thread can take it.
    std::thread t([&] { std::lock_guard g(source.DataLock()); });
    t.join();
}

TEST_F(Engine, PrefetchIsServedBeforeTheSourceAndKeepsPosition) {
    TCountingSource source(&Owner, 4, 100);
    source.Init();
    source.Prefetch(150);
    EXPECT_EQ(source.Position(), 0);
    std::vector<uint8_t> got(400);
    bool eof = false;
    EXPECT_EQ(ReadFull(&source, got.data(), 400, eof), 400u);
    EXPECT_FALSE(eof);
    EXPECT_EQ(got, Pattern(400));
    EXPECT_EQ(source.Position(), 400);
    EXPECT_EQ(ReadFull(&source, got.data(), 10, eof), 0u);
    EXPECT_TRUE(eof);
    EXPECT_EQ(ReadFull(&source, got.data(), 0, eof), 0u);
    EXPECT_TRUE(eof) << "a zero count reports end of data";
    source.Flush();
    EXPECT_FALSE(source.Busy());
}

TEST_F(Engine, DestroyingRunningSinkStopsItAndCallsNoHandler) {
    TCountingSource source(&Owner, 1000);
    int calls = 0;
    auto sink = std::make_unique<TRecordingSink>(&Owner);
    sink->OnProgress = [&](TComponent*) { ++calls; };
    sink->OnDone = [&](TComponent*) { ++calls; };
    sink->SetInput(&source);
    ASSERT_TRUE(sink->RunHeld(5));
    calls = 0;
    // The destructor's stop waits for the worker, which the other thread lets go.
    ReleaseDuring(*sink, [&] { sink.reset(); });
    Drain();
    EXPECT_EQ(calls, 0);
}

TEST_F(Engine, RemovingTheInputClearsTheReference) {
    TRecordingSink sink(&Owner);
    auto* source = new TCountingSource(&Owner, 1);
    sink.SetInput(source);
    delete source;
    EXPECT_EQ(sink.Input(), nullptr);
}

TEST_F(Engine, DispatcherLivesFromFirstToLastSink) {
    // The fixture owns no sink; earlier tests' sinks are gone.
    EXPECT_EQ(TEventHandler::Instance(), nullptr);
    auto* a = new TRecordingSink(nullptr);
    TEventHandler* shared = TEventHandler::Instance();
    ASSERT_NE(shared, nullptr);
    auto* b = new TRecordingSink(nullptr);
    EXPECT_EQ(TEventHandler::Instance(), shared);
    delete a;
    EXPECT_EQ(TEventHandler::Instance(), shared);
    delete b;
    EXPECT_EQ(TEventHandler::Instance(), nullptr);
}

TEST_F(Engine, OnDoneMayDestroyItsOwnSinkEvenTheLastOne) {
    auto* source = new TCountingSource(nullptr, 3);
    auto* sink = new TRecordingSink(nullptr);
    bool done = false;
    sink->SetInput(source);
    sink->OnDone = [&](TComponent* sender) {
        delete sender;
        done = true;
    };
    sink->Run();
    ASSERT_TRUE(PumpUntil([&] { return done; }));
    EXPECT_EQ(TEventHandler::Instance(), nullptr);
    delete source;
}

TEST_F(Engine, DesignModeSinkHasNoWorker) {
    TComponent form(nullptr);
    form.SetDesigning(true);
    TRecordingSink sink(&form);
    EXPECT_EQ(TEventHandler::Instance(), nullptr);
    sink.Stop(false);
    EXPECT_TRUE(sink.Stopped());
}

TEST_F(Engine, TwoSinksShareTheDispatcherAndEachGetsItsEventsInOrder) {
    TCountingSource sa(&Owner, 50), sb(&Owner, 30);
    TRecordingSink a(&Owner), b(&Owner);
    std::vector<std::pair<char, int>> log;
    for (auto [sink, name] : {std::pair{&a, 'a'}, std::pair{&b, 'b'}}) {
        sink->OnProgress = [&log, sink, name](TComponent*) {
            log.push_back({name, sink->Progress()});
        };
        sink->OnDone = [&log, name](TComponent*) { log.push_back({char(name - 32), 0}); };
    }
    a.SetInput(&sa);
    b.SetInput(&sb);
    a.Run();
    b.Run();
    ASSERT_TRUE(PumpUntil([&] {
        int d = 0;
        for (auto& e : log) d += e.first == 'A' || e.first == 'B';
        return d == 2;
    }));
    for (char name : {'a', 'b'}) {
        bool doneSeen = false;
        int events = 0;
        for (auto& e : log) {
            if (e.first == name) {
                EXPECT_FALSE(doneSeen) << "progress after done";
                ++events;
            }
            if (e.first == name - 32) doneSeen = true;
        }
        EXPECT_TRUE(doneSeen);
        EXPECT_EQ(events, name == 'a' ? 50 : 30);
    }
}

TEST_F(Engine, EventsOfTwoSinksArriveInPostingOrder) {
    TCountingSource sa(&Owner, 300, 16), sb(&Owner, 300, 16);
    TRecordingSink a(&Owner), b(&Owner);
    std::vector<int> delivered;
    int done = 0;
    for (TRecordingSink* s : {&a, &b}) {
        s->NumberedEvent = [&](int number) { delivered.push_back(number); };
        s->OnDone = [&](TComponent*) { ++done; };
    }
    a.SetInput(&sa);
    b.SetInput(&sb);
    a.Run();
    b.Run();
    ASSERT_TRUE(PumpUntil([&] { return done == 2; }));
    ASSERT_EQ(delivered.size(), 600u);
    for (size_t i = 1; i < delivered.size(); ++i) ASSERT_LT(delivered[i - 1], delivered[i]);
}

// Hundreds of Run / Stop(async) / Stop(sync) / destroy cycles over two sinks: nothing
// deadlocks, every run that is not stopped synchronously gets exactly one OnDone, and a
// synchronously stopped run gets none.
TEST_F(Engine, StressRunStopDestroyCycles) {
    std::mt19937 rng(12345);
    TCountingSource sources[2] = {TCountingSource(&Owner, 64, 64), TCountingSource(&Owner, 64, 64)};
    std::unique_ptr<TRecordingSink> sinks[2];
    int delivered[2] = {0, 0}, expected[2] = {0, 0};
    auto make = [&](int i) {
        sinks[i] = std::make_unique<TRecordingSink>(&Owner);
        sinks[i]->SetInput(&sources[i]);
        sinks[i]->OnDone = [&delivered, i](TComponent*) { ++delivered[i]; };
        sinks[i]->OnProgress = [](TComponent*) {};
    };
    make(0);
    make(1);
    for (int cycle = 0; cycle < 600; ++cycle) {
        int i = int(rng() % 2);
        TRecordingSink& s = *sinks[i];
        // Only start when the previous OnDone (if any is due) has arrived.
        ASSERT_TRUE(PumpUntil([&] { return delivered[i] == expected[i] && !s.Busy(); }))
            << "cycle " << cycle;
        s.Run();
        switch (rng() % 5) {
        case 0: // run to the end
            ++expected[i];
            break;
        case 1: // async stop
            if (rng() % 2) std::this_thread::yield();
            s.Stop(true);
            ++expected[i];
            break;
        case 2: // sync stop
            if (rng() % 2) WaitAndCheckSynchronize(0ms);
            s.Stop(false);
            break;
        case 3: // async then sync: the sync stop wins
            s.Stop(true);
            s.Stop(false);
            break;
        case 4: // destroy while running, then a fresh sink
            sinks[i].reset();
            EXPECT_EQ(delivered[i], expected[i]) << "cycle " << cycle;
            delivered[i] = expected[i] = 0;
            make(i);
            break;
        }
    }
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(PumpUntil([&] { return delivered[i] >= expected[i] && !sinks[i]->Busy(); }));
    }
    Drain();
    EXPECT_EQ(delivered[0], expected[0]);
    EXPECT_EQ(delivered[1], expected[1]);
}

} // namespace
