#include "platform/media/filters/audio_renderer.h"
#include "support/media_buffer_source.h"
#include "support/media_filters.h"
#include "support/media_hang_guard.h"

#include <gtest/gtest.h>

#include <future>

namespace {

using namespace vidora::media;
using namespace vidora::test;
using namespace std::chrono_literals;

MediaType pcm(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits = 16,
              std::uint16_t tag = 1)
{
    WaveFormatEx w;
    w.wFormatTag = tag;
    w.nChannels = channels;
    w.nSamplesPerSec = rate;
    w.wBitsPerSample = bits;
    w.nBlockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    w.nAvgBytesPerSec = rate * w.nBlockAlign;
    return MediaType::audio(w);
}

TEST(AudioRenderer, VolumeIsInHundredthsOfADecibel)
{
    struct Case
    {
        std::int32_t volume;
        double gain;
    };
    for (const auto &c : {Case{0, 1.0}, Case{-600, 0.501187}, Case{-2000, 0.1}, Case{-6000, 0.001},
                          Case{-10000, 0.0}}) {
        EXPECT_NEAR(volumeToGain(c.volume), c.gain, 1e-6) << c.volume;
    }
    AudioRendererFilter renderer(AudioRendererFilter::Output::Null);
    EXPECT_EQ(renderer.get_Volume(), 0);
    EXPECT_TRUE(renderer.put_Volume(-10000));
    EXPECT_EQ(renderer.get_Volume(), -10000);
    EXPECT_TRUE(renderer.put_Volume(-753));
    for (std::int32_t bad : {1, -10001})
        EXPECT_FALSE(renderer.put_Volume(bad)) << bad;
    EXPECT_EQ(renderer.get_Volume(), -753);
}

TEST(AudioRenderer, Takes16BitPcmOnly)
{
    AudioRendererFilter renderer(AudioRendererFilter::Output::Null);
    EXPECT_TRUE(renderer.CheckInputType(pcm(2, 48000)));
    EXPECT_TRUE(renderer.CheckInputType(pcm(1, 32000)));
    EXPECT_FALSE(renderer.CheckInputType(pcm(2, 48000, 8)));
    EXPECT_FALSE(renderer.CheckInputType(pcm(2, 48000, 24)));
    EXPECT_FALSE(renderer.CheckInputType(pcm(2, 44100, 16, 0x0055)));
    EXPECT_FALSE(renderer.CheckInputType(pcm(0, 48000)));
    EXPECT_FALSE(renderer.CheckInputType(testVideoType()));
}

TEST(AudioRenderer, TheNullOutputOffersNoClockSoTheGraphTakesTheSystemClock)
{
    qputenv("VIDORA_AUDIO_OUTPUT", "null");
    auto renderer = std::make_shared<AudioRendererFilter>();
    EXPECT_FALSE(renderer->usesDevice());
    EXPECT_EQ(renderer->referenceClock(), nullptr);
    EXPECT_TRUE(renderer->UsesClock()) << "the null device keeps the clock's pace";

    FilterGraph graph(std::make_shared<QueueEventExecutor>());
    graph.AddFilter(renderer, "audio");
    ASSERT_TRUE(graph.SetDefaultSyncSource());
    EXPECT_NE(dynamic_cast<SystemClock *>(graph.syncSource()), nullptr);

    // A filter that offers a clock wins over the system clock.
    struct Provider final : RecordingSink, IReferenceClockProvider
    {
        std::shared_ptr<ReferenceClock> clock = std::make_shared<AudioDeviceClock>();
        std::shared_ptr<ReferenceClock> referenceClock() override { return clock; }
    };
    auto provider = std::make_shared<Provider>();
    graph.AddFilter(provider, "provider");
    ASSERT_TRUE(graph.SetDefaultSyncSource());
    EXPECT_EQ(graph.syncSource(), provider->clock.get());
}

TEST(AudioRenderer, NullOutputTakesAnInBandFormatChange)
{
    HangGuard guard(10s);
    auto executor = std::make_shared<QueueEventExecutor>();
    FilterGraph graph(executor);
    EventLog log(graph, executor);
    auto source = std::make_shared<MemorySource>(
        MemorySource::Options{.streams = {pcm(2, 48000)}, .frameCount = 3, .typeChangeAtFrame = 1});
    auto renderer = std::make_shared<AudioRendererFilter>(AudioRendererFilter::Output::Null);
    graph.AddFilter(source, "source");
    graph.AddFilter(renderer, "audio");
    ASSERT_TRUE(graph.Connect(source->outputAt(0), renderer->input()));
    ASSERT_TRUE(graph.Run());
    EXPECT_TRUE(log.waitFor(GraphEventCode::Complete, 5s)) << graph.lastError();
    graph.Stop();
    EXPECT_FALSE(graph.hadError());
}

// The ring between the streaming thread and the device thread: a writer
// waits for room only while playing, and whatever ends a run wakes it.
TEST(AudioRing, AWriterWaitsForRoomOnlyWhilePlayingAndIsWokenByEveryWayOut)
{
    HangGuard guard(10s);
    const std::uint8_t bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    struct Case
    {
        const char *name;
        std::function<void(AudioRing &)> release;
        bool written;
    };
    const std::vector<Case> cases{
        {"the device reads",
         [](AudioRing &r) {
             std::uint8_t b[8];
             r.read(b, 8);
         },
         true},
        {"the graph pauses", [](AudioRing &r) { r.setPlaying(false); }, true},
        {"stop or flush", [](AudioRing &r) { r.abort(); }, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        AudioRing ring(8);
        ring.setPlaying(true);
        ASSERT_TRUE(ring.write(bytes, 8));
        auto writer = std::async(std::launch::async, [&] { return ring.write(bytes, 4); });
        EXPECT_EQ(writer.wait_for(50ms), std::future_status::timeout) << "the ring is full";
        c.release(ring);
        ASSERT_EQ(writer.wait_for(5s), std::future_status::ready);
        EXPECT_EQ(writer.get(), c.written);
    }

    AudioRing paused(4);
    EXPECT_TRUE(paused.write(bytes, 8)) << "paused: appends past the capacity at once";
    EXPECT_EQ(paused.size(), 8u);
    std::uint8_t out[8] = {};
    EXPECT_EQ(paused.read(out, 3), 3u);
    EXPECT_EQ(paused.read(out + 3, 8), 5u);
    EXPECT_EQ(std::vector<std::uint8_t>(out, out + 8), std::vector<std::uint8_t>(bytes, bytes + 8));
    paused.abort();
    EXPECT_FALSE(paused.write(bytes, 1));
    paused.reset();
    EXPECT_TRUE(paused.write(bytes, 1));
}

TEST(AudioRing, EndOfStreamWaitsUntilTheDeviceHasPlayedEverything)
{
    HangGuard guard(10s);
    const std::uint8_t bytes[4] = {};
    AudioRing ring(16);
    ring.setPlaying(true);
    ASSERT_TRUE(ring.write(bytes, 4));
    EXPECT_FALSE(ring.waitDrained(20ms)) << "bytes queued";
    auto drained = std::async(std::launch::async, [&] { return ring.waitDrained(5s); });
    std::uint8_t out[4];
    ring.read(out, 4);
    ring.setDeviceIdle(false);
    EXPECT_EQ(drained.wait_for(30ms), std::future_status::timeout) << "the device still plays";
    ring.setDeviceIdle(true);
    ASSERT_EQ(drained.wait_for(5s), std::future_status::ready);
    EXPECT_TRUE(drained.get());

    ASSERT_TRUE(ring.write(bytes, 4));
    auto stopped = std::async(std::launch::async, [&] { return ring.waitDrained(5s); });
    ring.abort();
    ASSERT_EQ(stopped.wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(stopped.get());
}

TEST(AudioDeviceClock, FollowsTheDeviceRunsFreeWhenStarvedAndNeverGoesBack)
{
    AudioDeviceClock clock;
    EXPECT_EQ(clock.now(), 0);
    std::this_thread::sleep_for(5ms);
    EXPECT_EQ(clock.now(), 0) << "held";

    clock.follow(1000); // the device stream had played 1000 before: time starts here
    EXPECT_EQ(clock.now(), 0);
    clock.follow(401000);
    EXPECT_EQ(clock.now(), 400000);
    clock.follow(300000);
    EXPECT_EQ(clock.now(), 400000) << "a lower device report does not move time back";

    clock.freeRun(); // starved: real time goes on
    std::this_thread::sleep_for(20ms);
    const std::int64_t free = clock.now();
    EXPECT_GE(free, 400000 + 200000);

    clock.follow(402000); // playing again: the device continues from where the clock stands
    const std::int64_t resumed = clock.now();
    EXPECT_GE(resumed, free);
    clock.follow(502000);
    EXPECT_EQ(clock.now(), resumed + 100000);

    clock.hold();
    const std::int64_t held = clock.now();
    std::this_thread::sleep_for(5ms);
    EXPECT_EQ(clock.now(), held);
}

} // namespace
