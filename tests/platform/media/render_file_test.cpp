// Render on AVI files that ffmpeg made: the registry's decoders, converters
// and renderers build the playback chains, and the clock paces them.
#include "platform/media/filters/audio_renderer.h"
#include "platform/media/filters/avi_splitter.h"
#include "platform/media/filters/codec_registry.h"
#include "platform/media/filters/file_source.h"
#include "platform/media/filters/video_renderer.h"
#include "support/avi_files.h"
#include "support/media_clock.h"
#include "support/media_filters.h"
#include "support/media_hang_guard.h"
#include "support/tools.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using namespace vidora::media;
using namespace vidora::test;
using namespace std::chrono_literals;

constexpr std::int64_t FrameTime = 400000; // 25 frames per second

class RenderFile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // CI machines have no sound device; the null device is what is measured here.
        qputenv("VIDORA_AUDIO_OUTPUT", "null");
        ASSERT_TRUE(dir.isValid());
    }

    // An AVI of MJPEG video (320x240 at 25 fps unless told) and/or 16-bit PCM,
    // two seconds unless told.
    QString makeAvi(const QString &name, bool video, bool audio, int seconds = 2,
                    const QString &picture = "size=320x240:rate=25")
    {
        const QString path = dir.path() + "/" + name;
        QStringList args{"-v", "error", "-y"};
        if (video)
            args += {"-f", "lavfi", "-i", "testsrc=" + picture};
        if (audio)
            args += {"-f", "lavfi", "-i", "sine"};
        args += {"-t", QString::number(seconds)};
        if (video)
            args += {"-c:v", "mjpeg"};
        if (audio)
            args += {"-c:a", "pcm_s16le"};
        args << path;
        const auto made = runTool("ffmpeg", args);
        EXPECT_EQ(made.exitCode, 0) << made.err.toStdString();
        return path;
    }

    // File source → AVI splitter, then Render on every splitter output.
    // True when every output rendered.
    bool build(const QString &path)
    {
        auto registry = std::make_shared<FilterRegistry>();
        registerCodecFilters(*registry);
        registerRendererFilters(*registry);
        graph.setRegistry(registry);
        auto source = std::make_shared<FileSourceFilter>();
        splitter = std::make_shared<AviSplitterFilter>();
        graph.AddFilter(source, "source");
        graph.AddFilter(splitter, "splitter");
        if (!source->Load(path, nullptr) ||
            !graph.Connect(source->output(), *splitter->inputPins().front()))
            return false;
        bool all = true;
        for (auto *out : splitter->outputPins())
            all = graph.Render(*out) && all;
        videoRenderer =
            dynamic_cast<VideoRendererFilter *>(graph.FindFilterByName("Video Renderer"));
        audioRenderer =
            dynamic_cast<AudioRendererFilter *>(graph.FindFilterByName("Audio Renderer"));
        return all;
    }

    // Runs to Complete; the time it took.
    std::chrono::steady_clock::duration runToCompletion()
    {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(graph.Run());
        EXPECT_TRUE(log.waitFor(GraphEventCode::Complete, 60s)) << graph.lastError();
        const auto took = std::chrono::steady_clock::now() - start;
        graph.Stop();
        EXPECT_FALSE(graph.hadError()) << graph.lastError();
        return took;
    }

    QTemporaryDir dir;
    std::shared_ptr<QueueEventExecutor> executor = std::make_shared<QueueEventExecutor>();
    FilterGraph graph{executor};
    EventLog log{graph, executor};
    std::shared_ptr<AviSplitterFilter> splitter;
    VideoRendererFilter *videoRenderer = nullptr;
    AudioRendererFilter *audioRenderer = nullptr;
};

TEST_F(RenderFile, ANonDvAviReachesTheVideoAndTheAudioRenderer)
{
    HangGuard guard(120s);
    ASSERT_TRUE(build(makeAvi("both.avi", true, true)));
    ASSERT_NE(videoRenderer, nullptr);
    ASSERT_NE(audioRenderer, nullptr);
    EXPECT_TRUE(videoRenderer->input().isConnected());
    EXPECT_TRUE(audioRenderer->input().isConnected());
    EXPECT_EQ(videoRenderer->input().peer()->filter().name(), "Video Decoder")
        << "RGB24 needs no colour conversion";
    EXPECT_EQ(audioRenderer->input().peer()->filter().name(), "splitter")
        << "16-bit PCM needs no conversion";
    EXPECT_EQ(graph.filters().size(), 5u) << "source, splitter, decoder, renderers";

    auto sink = std::make_shared<RecordingVideoSink>();
    videoRenderer->setSink(sink);
    ASSERT_TRUE(graph.SetDefaultSyncSource());
    const auto took = runToCompletion();
    EXPECT_GE(took, 1900ms) << "paced by the system clock";
    const auto frames = sink->frames();
    ASSERT_EQ(frames.size(), 50u);
    EXPECT_EQ(frames.back().frame.picture.size(), QSize(320, 240));
}

TEST_F(RenderFile, ADvType1AviIsSplitThenDecoded)
{
    HangGuard guard(120s);
    const QByteArray raw = makeRawDv(dir.path(), 10);
    ASSERT_FALSE(raw.isEmpty());
    const QString path = dir.path() + "/type1.avi";
    writeFileBytes(path, dvType1Avi(raw));
    ASSERT_TRUE(build(path));
    ASSERT_NE(videoRenderer, nullptr);
    ASSERT_NE(audioRenderer, nullptr);
    EXPECT_EQ(videoRenderer->input().peer()->filter().name(), "DV Video Decoder");
    EXPECT_EQ(audioRenderer->input().peer()->filter().name(), "DV Splitter");
    auto sink = std::make_shared<RecordingVideoSink>();
    videoRenderer->setSink(sink);
    runToCompletion();
    const auto frames = sink->frames();
    ASSERT_EQ(frames.size(), 10u);
    EXPECT_EQ(frames.front().frame.picture.size(), QSize(720, 576));
}

TEST_F(RenderFile, AnAudioOnlyAviReachesOnlyTheAudioRenderer)
{
    HangGuard guard(120s);
    ASSERT_TRUE(build(makeAvi("audio.avi", false, true)));
    EXPECT_EQ(videoRenderer, nullptr);
    ASSERT_NE(audioRenderer, nullptr);
    EXPECT_TRUE(audioRenderer->input().isConnected());
    ASSERT_TRUE(graph.SetDefaultSyncSource());
    EXPECT_GE(runToCompletion(), 1900ms) << "the null device keeps the system clock's pace";
}

TEST_F(RenderFile, WithoutAClockPlaybackRunsAsFastAsItCan)
{
    HangGuard guard(120s);
    // A minute of small pictures at one per second, with sound: paced, it
    // would take a minute; a loaded machine decodes it in a few seconds.
    ASSERT_TRUE(build(makeAvi("minute.avi", true, true, 60, "size=64x48:rate=1")));
    auto sink = std::make_shared<RecordingVideoSink>();
    videoRenderer->setSink(sink);
    EXPECT_LT(runToCompletion(), 30s);
    EXPECT_EQ(sink->frames().size(), 60u);
}

TEST_F(RenderFile, WithTheManualClockSamplesReachTheRenderersAtTheirTimes)
{
    HangGuard guard(120s);
    ASSERT_TRUE(build(makeAvi("both.avi", true, true)));
    auto clock = std::make_shared<ManualClock>();
    ASSERT_TRUE(graph.SetSyncSource(clock));
    auto sink = std::make_shared<RecordingVideoSink>(clock.get());
    videoRenderer->setSink(sink);
    ASSERT_TRUE(graph.Run());
    // Half a second at a time: the video has shown exactly the frames due,
    // and the sound has not ended before its time.
    for (std::int64_t at = 5'000'000; at < 20'000'000; at += 5'000'000) {
        clock->set(at);
        const auto due = static_cast<std::size_t>(at / FrameTime + 1);
        ASSERT_TRUE(sink->waitForFrames(due, 10s)) << at;
        std::this_thread::sleep_for(30ms);
        EXPECT_EQ(sink->frames().size(), due) << at;
        EXPECT_FALSE(audioRenderer->hasCompleted()) << at;
    }
    clock->set(21'000'000);
    ASSERT_TRUE(log.waitFor(GraphEventCode::Complete, 10s)) << graph.lastError();
    graph.Stop();
    const auto frames = sink->frames();
    ASSERT_EQ(frames.size(), 50u);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        ASSERT_TRUE(frames[i].frame.time);
        EXPECT_GE(frames[i].clockTime, frames[i].frame.time->start) << i;
    }
}

} // namespace
