#include "platform/media/graph.h"
#include "support/media_clock.h"
#include "support/media_filters.h"
#include "support/media_hang_guard.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace vidora::media;
using namespace vidora::test;
using namespace std::chrono_literals;

// source -> counter -> sink in a graph with a queued executor.
struct Chain : TestGraph
{
    explicit Chain(MemorySource::Options options = {})
        : source(std::make_shared<MemorySource>(std::move(options))),
          counter(std::make_shared<CountingTransform>()), sink(std::make_shared<RecordingSink>())
    {
        graph.AddFilter(source, "source");
        graph.AddFilter(counter, "counter");
        graph.AddFilter(sink, "sink");
        connected = graph.ConnectDirect(source->outputAt(0), counter->input()) &&
                    graph.ConnectDirect(counter->output(), sink->input());
    }
    std::shared_ptr<MemorySource> source;
    std::shared_ptr<CountingTransform> counter;
    std::shared_ptr<RecordingSink> sink;
    bool connected = false;
};

TEST(GraphCueing, PauseCuesOneFrameSeekRecuesStopKeepsThePositionRunContinues)
{
    HangGuard guard(10s);
    Chain c({.frameCount = 20});
    ASSERT_TRUE(c.connected);

    ASSERT_TRUE(c.graph.Pause());
    auto state = c.graph.GetState(2s);
    EXPECT_TRUE(state.complete);
    EXPECT_EQ(state.state, FilterState::Paused);
    EXPECT_EQ(c.counter->frames(), std::vector<int>{0});
    EXPECT_EQ(c.sink->cuedFrames(), std::vector<int>{0});
    EXPECT_TRUE(c.sink->renderedFrames().empty());
    EXPECT_TRUE(c.log.waitFor(GraphEventCode::Paused, 1s));

    // Seeking while paused flushes the held frame and cues the new one.
    auto &seeking = c.graph.seeking();
    ASSERT_TRUE(seeking.SetTimeFormat(TimeFormat::Frame));
    ASSERT_TRUE(seeking.SetPositions(5, std::nullopt));
    EXPECT_TRUE(c.graph.GetState(2s).complete);
    EXPECT_EQ(c.counter->frames(), (std::vector<int>{0, 5}));
    EXPECT_EQ(c.sink->cuedFrames(), (std::vector<int>{0, 5}));
    EXPECT_EQ(seeking.GetCurrentPosition(), 5);
    EXPECT_EQ(seeking.GetDuration(), 20);

    // Stop keeps the position: pausing again cues the same frame.
    c.graph.Stop();
    EXPECT_EQ(seeking.GetCurrentPosition(), 5);
    ASSERT_TRUE(c.graph.Pause());
    EXPECT_TRUE(c.graph.GetState(2s).complete);
    EXPECT_EQ(c.counter->frames(), (std::vector<int>{0, 5, 5}));

    // Run goes on from the cued frame to the end, each frame once.
    ASSERT_TRUE(c.graph.Run());
    EXPECT_TRUE(c.log.waitFor(GraphEventCode::Complete, 2s));
    EXPECT_EQ(c.sink->renderedFrames(), frameNumbers(5, 19));
    EXPECT_EQ(c.counter->count(), 2 + 15);
    c.graph.Stop();
    EXPECT_EQ(c.log.count(GraphEventCode::Complete), 1);
    EXPECT_EQ(c.log.count(GraphEventCode::ErrorAbort), 0);
    // The seek restarted at frame 5 with the time of the new segment at 0.
    EXPECT_EQ(c.sink->rendered().front().time->start, 0);
    EXPECT_EQ(c.sink->rendered().front().mediaTime->start, 5);
}

// A paused seek returns before the streaming thread has gone to the new
// position; whatever comes next, only the last position counts: a second seek
// before the first restarted, a stop before the restart (the flush must still
// end, or the next pause finds the sink refusing), and a seek that finds the
// stream ended (its thread parked).
TEST(GraphSeek, SeeksInARowAStopBeforeTheRestartAndASeekBackFromTheEnd)
{
    HangGuard guard(10s);
    Chain c({.frameCount = 20});
    ASSERT_TRUE(c.connected);
    auto &seeking = c.graph.seeking();
    ASSERT_TRUE(seeking.SetTimeFormat(TimeFormat::Frame));
    ASSERT_TRUE(c.graph.Pause());
    ASSERT_TRUE(c.graph.GetState(2s).complete);

    ASSERT_TRUE(seeking.SetPositions(3, std::nullopt));
    ASSERT_TRUE(seeking.SetPositions(7, std::nullopt));
    EXPECT_FALSE(c.sink->renderedPosition().has_value()); // the held frame is gone
    ASSERT_TRUE(c.graph.GetState(2s).complete);
    EXPECT_EQ(c.sink->cuedFrames().back(), 7);
    EXPECT_EQ(seeking.GetCurrentPosition(), 7);

    ASSERT_TRUE(seeking.SetPositions(9, std::nullopt));
    c.graph.Stop();
    EXPECT_EQ(c.graph.GetState(0ms).state, FilterState::Stopped);
    EXPECT_TRUE(c.graph.GetState(0ms).complete);
    EXPECT_EQ(seeking.GetCurrentPosition(), 9);
    ASSERT_TRUE(c.graph.Pause());
    ASSERT_TRUE(c.graph.GetState(2s).complete);
    EXPECT_EQ(c.sink->cuedFrames().back(), 9);

    // Past the end: the stream ends at once and counts as cued; back again.
    ASSERT_TRUE(seeking.SetPositions(25, std::nullopt));
    ASSERT_TRUE(c.graph.GetState(2s).complete);
    EXPECT_EQ(c.sink->cuedFrames().back(), 9);
    ASSERT_TRUE(seeking.SetPositions(12, std::nullopt));
    ASSERT_TRUE(c.graph.GetState(2s).complete);
    EXPECT_EQ(c.sink->cuedFrames().back(), 12);

    ASSERT_TRUE(c.graph.Run());
    EXPECT_TRUE(c.log.waitFor(GraphEventCode::Complete, 2s));
    EXPECT_EQ(c.sink->renderedFrames(), frameNumbers(12, 19));
    c.graph.Stop();
    EXPECT_EQ(c.log.count(GraphEventCode::ErrorAbort), 0);
}

// A waiter is told of each cue (a pause, a seek while paused) once the
// renderer answers that it is cued, and never of a frame it renders running.
// The streaming thread tells it just after the graph reports the cue, so the
// test waits a moment for each count.
TEST(GraphCueing, CueObserverIsToldOfEachCueAfterItHappened)
{
    HangGuard guard(10s);
    Chain c({.frameCount = 20});
    ASSERT_TRUE(c.connected);
    std::atomic<int> told{0};
    auto toldReaches = [&told](int count) {
        const auto deadline = std::chrono::steady_clock::now() + 2s;
        while (told.load() < count && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        return told.load();
    };
    std::atomic<bool> cuedWhenTold{true};
    c.sink->setCueObserver([&] {
        cuedWhenTold = cuedWhenTold && c.sink->isCued();
        ++told;
    });
    ASSERT_TRUE(c.graph.Pause());
    EXPECT_TRUE(c.graph.GetState(2s).complete);
    EXPECT_EQ(toldReaches(1), 1);
    ASSERT_TRUE(c.graph.seeking().SetPositions(100000, std::nullopt));
    EXPECT_TRUE(c.graph.GetState(2s).complete);
    EXPECT_EQ(toldReaches(2), 2);
    ASSERT_TRUE(c.graph.Run());
    EXPECT_TRUE(c.log.waitFor(GraphEventCode::Complete, 2s));
    c.graph.Stop();
    EXPECT_EQ(told, 2);
    EXPECT_TRUE(cuedWhenTold);
}

TEST(GraphCueing, PauseAfterRunHoldsAgainAndRunContinues)
{
    HangGuard guard(10s);
    auto clock = std::make_shared<ManualClock>();
    Chain c({.frameCount = 10, .frameDuration = 1000});
    ASSERT_TRUE(c.graph.SetSyncSource(clock));
    ASSERT_TRUE(c.graph.Run());
    ASSERT_TRUE(c.sink->waitForRendered(1, 2s));
    clock->set(2000); // frames 1 and 2 are due
    ASSERT_TRUE(c.sink->waitForRendered(3, 2s));
    ASSERT_TRUE(c.graph.Pause());
    EXPECT_TRUE(c.graph.GetState(2s).complete); // frame 3 is held
    clock->set(50000);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(c.sink->renderedFrames(), frameNumbers(0, 2));
    ASSERT_TRUE(c.graph.Run());
    // The stream time resumes where it paused: frame 3 waits until 3000 after
    // the clock time of the run.
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(c.sink->rendered().size(), 3u);
    clock->advance(10000);
    EXPECT_TRUE(c.log.waitFor(GraphEventCode::Complete, 2s));
    EXPECT_EQ(c.sink->renderedFrames(), frameNumbers(0, 9));
    c.graph.Stop();
}

TEST(GraphClock, WithoutAClockNothingWaits)
{
    HangGuard guard(10s);
    // 50 frames of 10 s each would take minutes if anything waited.
    Chain c({.frameCount = 50, .frameDuration = 100'000'000});
    ASSERT_EQ(c.graph.syncSource(), nullptr);
    ASSERT_TRUE(c.graph.Run());
    EXPECT_TRUE(c.log.waitFor(GraphEventCode::Complete, 3s));
    EXPECT_EQ(c.sink->renderedFrames().size(), 50u);
    c.graph.Stop();
}

TEST(GraphClock, ManualClockPresentsEachSampleAtItsTime)
{
    HangGuard guard(10s);
    auto clock = std::make_shared<ManualClock>();
    clock->set(7000); // the stream starts at the clock's time of Run
    Chain c({.frameCount = 4, .frameDuration = 1000});
    ASSERT_TRUE(c.graph.SetSyncSource(clock));
    ASSERT_TRUE(c.graph.Run());
    ASSERT_TRUE(c.sink->waitForRendered(1, 2s));
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(c.sink->rendered().size(), 1u);
    clock->set(7999);
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(c.sink->rendered().size(), 1u);
    clock->set(8000);
    ASSERT_TRUE(c.sink->waitForRendered(2, 2s));
    clock->set(20000);
    EXPECT_TRUE(c.log.waitFor(GraphEventCode::Complete, 2s));
    const auto rendered = c.sink->rendered();
    ASSERT_EQ(rendered.size(), 4u);
    EXPECT_EQ(rendered[0].clockTime, 7000);
    EXPECT_EQ(rendered[1].clockTime, 8000);
    c.graph.Stop();
}

TEST(GraphClock, SystemClockPacesTheStreamInRealTime)
{
    HangGuard guard(10s);
    Chain c({.frameCount = 5, .frameDuration = 200'000}); // 20 ms frames
    ASSERT_TRUE(c.graph.SetSyncSource(std::make_shared<SystemClock>()));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(c.graph.Run());
    ASSERT_TRUE(c.log.waitFor(GraphEventCode::Complete, 3s));
    // The last frame starts at 80 ms of stream time.
    EXPECT_GE(std::chrono::steady_clock::now() - start, 80ms);
    c.graph.Stop();
    // A clock is only changed while stopped.
    ASSERT_TRUE(c.graph.Pause());
    EXPECT_FALSE(c.graph.SetSyncSource(nullptr));
    c.graph.Stop();
}

// A sound device's clock: time is what the device has played.
class FakeDeviceClock final : public DeviceClock
{
public:
    std::int64_t now() const override { return played.load(); }
    std::atomic<std::int64_t> played{0};
};

TEST(GraphClock, ADeviceClockPresentsByTheDevicesTime)
{
    HangGuard guard(10s);
    auto device = std::make_shared<FakeDeviceClock>();
    Chain c({.frameCount = 3, .frameDuration = 1000});
    ASSERT_TRUE(c.graph.SetSyncSource(device));
    ASSERT_TRUE(c.graph.Run());
    ASSERT_TRUE(c.sink->waitForRendered(1, 2s));
    std::this_thread::sleep_for(40ms); // real time passes, the device's does not
    EXPECT_EQ(c.sink->rendered().size(), 1u);
    device->played = 1000;
    device->positionChanged();
    ASSERT_TRUE(c.sink->waitForRendered(2, 2s));
    device->played = 5000;
    device->positionChanged();
    EXPECT_TRUE(c.log.waitFor(GraphEventCode::Complete, 2s));
    EXPECT_EQ(c.sink->rendered()[1].clockTime, 1000);
    c.graph.Stop();
}

TEST(GraphEvents, CompleteFiresOnceWhenEveryRendererHasEnded)
{
    HangGuard guard(10s);
    auto executor = std::make_shared<QueueEventExecutor>();
    FilterGraph graph(executor);
    EventLog log(graph, executor);
    auto source = std::make_shared<MemorySource>(
        MemorySource::Options{.streams = {testVideoType(), testAudioType()}, .frameCount = 10});
    auto video = std::make_shared<RecordingSink>(MediaType(MajorType::Video));
    auto audio = std::make_shared<RecordingSink>(MediaType(MajorType::Audio));
    graph.AddFilter(source, "source");
    graph.AddFilter(video, "video");
    graph.AddFilter(audio, "audio");
    ASSERT_TRUE(graph.ConnectDirect(source->outputAt(0), video->input()));
    ASSERT_TRUE(graph.ConnectDirect(source->outputAt(1), audio->input()));

    std::mutex gate;
    std::unique_lock closed(gate);
    audio->onRender = [&](const MediaSample &sample) {
        if (frameNumberOf(sample) == 9)
            std::lock_guard wait(gate);
        return Flow::Ok;
    };
    ASSERT_TRUE(graph.Run());
    ASSERT_TRUE(video->waitForRendered(10, 2s));
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(log.count(GraphEventCode::Complete), 0); // audio has not ended
    closed.unlock();
    EXPECT_TRUE(log.waitFor(GraphEventCode::Complete, 2s));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(log.count(GraphEventCode::Complete), 1);
    // One streaming thread per output.
    EXPECT_NE(video->rendered().front().thread, audio->rendered().front().thread);
    EXPECT_NE(video->rendered().front().thread, std::this_thread::get_id());
    graph.Stop();
}

TEST(GraphEvents, EventsRunOnTheExecutorNeverOnAStreamingThread)
{
    HangGuard guard(10s);
    Chain c({.frameCount = 3});
    std::vector<std::thread::id> ranOn; // written by the handler, on this thread
    c.graph.setEventHandler(
        [&](const GraphEvent &) { ranOn.push_back(std::this_thread::get_id()); });
    ASSERT_TRUE(c.graph.Run());
    ASSERT_TRUE(c.sink->waitForRendered(3, 2s));
    const auto end = std::chrono::steady_clock::now() + 2s;
    while (ranOn.empty() && std::chrono::steady_clock::now() < end) {
        c.executor->runPending();
        std::this_thread::sleep_for(1ms);
    }
    ASSERT_FALSE(ranOn.empty());
    for (const auto &id : ranOn)
        EXPECT_EQ(id, std::this_thread::get_id());
    c.graph.Stop();
}

TEST(GraphEvents, AFailingFilterRaisesOneErrorAbortAndStopStillReturns)
{
    HangGuard guard(10s);
    const struct
    {
        int transformFails;
        int sourceFails;
    } cases[] = {{3, -1}, {-1, 4}};
    for (const auto &k : cases) {
        Chain c({.frameCount = 10, .failAtFrame = k.sourceFails});
        c.counter->failAtFrame = k.transformFails;
        ASSERT_TRUE(c.graph.Run());
        EXPECT_TRUE(c.log.waitFor(GraphEventCode::ErrorAbort, 2s));
        c.graph.Stop();
        EXPECT_EQ(c.log.count(GraphEventCode::ErrorAbort), 1);
        EXPECT_EQ(c.log.count(GraphEventCode::Complete), 0);
        EXPECT_TRUE(c.graph.hadError());
        EXPECT_NE(c.graph.lastError().find(k.transformFails >= 0 ? "counter" : "source"),
                  std::string::npos)
            << c.graph.lastError();
    }
}

TEST(GraphEvents, AnExceptionFromAHookBecomesErrorAbort)
{
    HangGuard guard(10s);
    {
        Chain c({.frameCount = 10});
        c.counter->throwAtFrame = 2;
        ASSERT_TRUE(c.graph.Run());
        EXPECT_TRUE(c.log.waitFor(GraphEventCode::ErrorAbort, 2s));
        EXPECT_NE(c.graph.lastError().find("frame 2 thrown"), std::string::npos);
        c.graph.Stop();
    }
    {
        // Control thread: the pause is refused and everything stopped again.
        Chain c({.frameCount = 10});
        c.counter->throwInStartStreaming = true;
        EXPECT_FALSE(c.graph.Pause());
        EXPECT_EQ(c.graph.GetState(0ms).state, FilterState::Stopped);
        EXPECT_EQ(c.source->framesProduced(), 0);
        EXPECT_NE(c.graph.lastError().find("cannot start"), std::string::npos);
    }
    {
        // A stop hook that throws does not keep the others from stopping.
        Chain c({.frameCount = 10});
        c.counter->throwInStop = true;
        ASSERT_TRUE(c.graph.Run());
        ASSERT_TRUE(c.log.waitFor(GraphEventCode::Complete, 2s));
        c.graph.Stop();
        EXPECT_EQ(c.graph.GetState(0ms).state, FilterState::Stopped);
        EXPECT_EQ(c.sink->state(), FilterState::Stopped);
        EXPECT_EQ(c.log.count(GraphEventCode::ErrorAbort), 1);
    }
}

enum class StopCase {
    RightAfterRun,
    WhilePaused,
    DuringStreaming,
    WhileRendererWaitsOnClock
};

TEST(GraphStop, ReturnsPromptlyJoinsStreamingAndRunsStopHooksAfterwards)
{
    for (auto stopCase : {StopCase::RightAfterRun, StopCase::WhilePaused, StopCase::DuringStreaming,
                          StopCase::WhileRendererWaitsOnClock}) {
        HangGuard guard(10s);
        Chain c({.frameCount = 1'000'000, .frameDuration = 1000});
        auto clock = std::make_shared<ManualClock>();
        if (stopCase == StopCase::WhileRendererWaitsOnClock) {
            ASSERT_TRUE(c.graph.SetSyncSource(clock));
        }
        c.sink->onRender = [](const MediaSample &) {
            std::this_thread::sleep_for(std::chrono::microseconds(50));
            return Flow::Ok;
        };
        switch (stopCase) {
        case StopCase::RightAfterRun:
            ASSERT_TRUE(c.graph.Run());
            break;
        case StopCase::WhilePaused:
            ASSERT_TRUE(c.graph.Pause());
            ASSERT_TRUE(c.graph.GetState(2s).complete);
            break;
        case StopCase::DuringStreaming:
            ASSERT_TRUE(c.graph.Run());
            ASSERT_TRUE(c.sink->waitForRendered(20, 2s));
            break;
        case StopCase::WhileRendererWaitsOnClock:
            ASSERT_TRUE(c.graph.Run());
            ASSERT_TRUE(c.sink->waitForRendered(1, 2s));
            break;
        }
        const auto before = std::chrono::steady_clock::now();
        c.graph.Stop();
        EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
        EXPECT_EQ(c.graph.GetState(0ms).state, FilterState::Stopped);
        EXPECT_EQ(c.counter->stopThread, std::this_thread::get_id());
        EXPECT_FALSE(c.counter->streamingWhenStopped);
        EXPECT_EQ(c.counter->startCount, 1);
        EXPECT_EQ(c.counter->stopStreamingCount, 1);
        const int counted = c.counter->count();
        std::this_thread::sleep_for(20ms);
        EXPECT_EQ(c.counter->count(), counted) << "a streaming thread outlived Stop";
        c.graph.Stop(); // a second stop does nothing
        EXPECT_EQ(c.counter->stopStreamingCount, 1);
    }
}

TEST(GraphSeek, FlushWhileTheRendererWaitsReturnsAndCuesTheNewFrame)
{
    HangGuard guard(10s);
    auto clock = std::make_shared<ManualClock>();
    Chain c({.frameCount = 100, .frameDuration = 1000});
    ASSERT_TRUE(c.graph.SetSyncSource(clock));
    ASSERT_TRUE(c.graph.Run());
    ASSERT_TRUE(c.sink->waitForRendered(1, 2s)); // frame 1 now waits for time 1000
    // A seek while running: the held frame is flushed, the graph restarts at 40
    // with its stream time at 0.
    ASSERT_TRUE(c.graph.seeking().SetPositions(40'000, std::nullopt));
    ASSERT_TRUE(c.sink->waitForRendered(2, 2s));
    EXPECT_EQ(c.sink->renderedFrames(), (std::vector<int>{0, 40}));
    clock->advance(1000);
    ASSERT_TRUE(c.sink->waitForRendered(3, 2s));
    EXPECT_EQ(c.sink->renderedFrames().back(), 41);
    c.graph.Stop();
}

// A stream that states its exact frame rate, 30000/1001 as 525/60 DV:
// frame n is stamped n × 333666.67 rounded down, as the AVI splitter stamps it.
struct NtscTimes final : MediaTimeSeeker
{
    std::optional<std::int64_t> duration() const override { return std::nullopt; }
    std::optional<std::int64_t> currentPosition() const override { return std::nullopt; }
    std::optional<std::int64_t> stopPosition() const override { return std::nullopt; }
    bool setPositions(std::optional<std::int64_t> current,
                      std::optional<std::int64_t> stop) override
    {
        set = {current, stop};
        return true;
    }
    std::int64_t frameDuration() const override { return 333666; }
    FrameRate frameRate() const override { return {30000, 1001}; }

    std::pair<std::optional<std::int64_t>, std::optional<std::int64_t>> set;
};

// Every frame number lands on its own frame at any length: its start is the
// stamp of its sample, and every time inside it converts back to it.
TEST(GraphSeek, FramesOfAnExactRateLandOnTheirOwnFrame)
{
    NtscTimes times;
    SeekingAdapter seeking(times);
    ASSERT_TRUE(seeking.SetTimeFormat(TimeFormat::Frame));
    const auto stamp = [](std::int64_t n) {
        return static_cast<std::int64_t>(static_cast<__int128>(n) * 10'010'000'000 / 30000);
    };
    for (std::int64_t n : {0LL, 1LL, 2LL, 3LL, 30LL, 63LL, 1000LL, 107892LL, 500'501LL, 1'000'000LL,
                           100'000'000LL}) {
        const std::int64_t start = stamp(n);
        EXPECT_EQ(seeking.ConvertTimeFormat(n, TimeFormat::MediaTime, TimeFormat::Frame), start)
            << n;
        EXPECT_EQ(seeking.ConvertTimeFormat(start, TimeFormat::Frame, TimeFormat::MediaTime), n);
        EXPECT_EQ(
            seeking.ConvertTimeFormat(stamp(n + 1) - 1, TimeFormat::Frame, TimeFormat::MediaTime),
            n);
        if (n > 0) {
            EXPECT_EQ(
                seeking.ConvertTimeFormat(start - 1, TimeFormat::Frame, TimeFormat::MediaTime),
                n - 1);
        }
    }
    ASSERT_TRUE(seeking.SetPositions(3, 5));
    EXPECT_EQ(times.set.first, 1'001'000) << "frame 3 starts at 3 × 1001/30000 s";
    EXPECT_EQ(times.set.second, stamp(5));
}

TEST(GraphSeek, StopPositionEndsTheStreamAndFramesConvert)
{
    HangGuard guard(10s);
    Chain c({.frameCount = 30, .frameDuration = 400000});
    auto &seeking = c.graph.seeking();
    EXPECT_EQ(seeking.GetDuration(), 30 * 400000);
    ASSERT_TRUE(seeking.SetPositions(10 * 400000, 12 * 400000));
    ASSERT_TRUE(c.graph.Run());
    EXPECT_TRUE(c.log.waitFor(GraphEventCode::Complete, 2s));
    EXPECT_EQ(c.sink->renderedFrames(), (std::vector<int>{10, 11}));
    // A position within a frame converts to that frame.
    EXPECT_EQ(
        seeking.ConvertTimeFormat(11 * 400000 + 399999, TimeFormat::Frame, TimeFormat::MediaTime),
        11);
    EXPECT_EQ(seeking.GetCurrentPosition(), 11 * 400000);
    // A filter in the middle reports the progress of the stream, not its start.
    EXPECT_EQ(c.counter->queryInterface<IMediaSeeking>()->GetCurrentPosition(), 11 * 400000);
    // The sink's own seeking passes upstream and reports its position.
    auto *sinkSeeking = c.sink->queryInterface<IMediaSeeking>();
    ASSERT_NE(sinkSeeking, nullptr);
    EXPECT_EQ(sinkSeeking->GetCurrentPosition(), 11 * 400000);
    ASSERT_TRUE(sinkSeeking->SetTimeFormat(TimeFormat::Frame));
    EXPECT_EQ(sinkSeeking->GetDuration(), 30);
    EXPECT_EQ(seeking.GetTimeFormat(), TimeFormat::MediaTime); // formats are per interface
    c.graph.Stop();
}

TEST(GraphThreads, SeveralGraphsStreamAtTheSameTime)
{
    HangGuard guard(20s);
    constexpr int graphs = 4;
    std::vector<std::thread> threads;
    std::atomic<int> completed{0};
    for (int i = 0; i < graphs; ++i)
        threads.emplace_back([&] {
            Chain c({.frameCount = 300, .bufferCount = 2});
            if (!c.connected || !c.graph.Run())
                return;
            if (c.log.waitFor(GraphEventCode::Complete, 10s) &&
                c.sink->renderedFrames() == frameNumbers(0, 299))
                completed.fetch_add(1);
            c.graph.Stop();
        });
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(completed.load(), graphs);
}

TEST(GraphLifecycle, ProbeStyleConnectPauseStopDisconnectPerStream)
{
    HangGuard guard(10s);
    auto executor = std::make_shared<QueueEventExecutor>();
    FilterGraph graph(executor);
    EventLog log(graph, executor);
    auto source = std::make_shared<MemorySource>(
        MemorySource::Options{.streams = {testVideoType(), testAudioType()}, .frameCount = 5});
    auto detector = std::make_shared<CountingTransform>();
    detector->accepts = MediaType(MajorType::Video);
    auto null = std::make_shared<RecordingSink>();
    graph.AddFilter(source, "source");
    graph.AddFilter(detector, "scenedetect");
    graph.AddFilter(null, "null");
    std::vector<MediaType> seen;
    for (std::size_t stream = 0; stream < 2; ++stream) {
        OutputPin &out = source->outputAt(stream);
        const bool viaDetector = graph.Connect(out, detector->input());
        if (viaDetector)
            ASSERT_TRUE(graph.Connect(detector->output(), null->input()));
        else
            ASSERT_TRUE(graph.Connect(out, null->input()));
        ASSERT_TRUE(graph.Pause());
        ASSERT_TRUE(graph.GetState(1000ms).complete);
        seen.push_back(out.connectionType());
        graph.Stop();
        EXPECT_EQ(graph.seeking().GetDuration(), 5 * 400000);
        graph.Disconnect(null->input());
        graph.Disconnect(detector->output());
        graph.Disconnect(detector->input());
        graph.Disconnect(out);
        EXPECT_EQ(viaDetector, stream == 0);
    }
    EXPECT_EQ(seen, (std::vector<MediaType>{testVideoType(), testAudioType()}));
    EXPECT_EQ(detector->frames(), std::vector<int>{0}); // the video frame, once
    EXPECT_EQ(null->cuedFrames(), (std::vector<int>{0, 0}));
    EXPECT_EQ(detector->startCount, 1);
    EXPECT_EQ(detector->stopStreamingCount, 1);
    EXPECT_EQ(log.count(GraphEventCode::ErrorAbort), 0);
}

} // namespace
