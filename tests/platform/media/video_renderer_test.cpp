#include "platform/media/filters/ffmpeg_support.h"
#include "platform/media/filters/video_renderer.h"
#include "support/media_buffer_source.h"
#include "support/media_clock.h"
#include "support/media_filters.h"
#include "support/media_hang_guard.h"

#include <gtest/gtest.h>

#include <mutex>
#include <utility>
#include <vector>

namespace {

using namespace vidora::media;
using namespace vidora::test;
using namespace std::chrono_literals;

constexpr std::int64_t FrameTime = 400000;

MediaType rgbType(int width, int height, int bits)
{
    VideoInfoHeader info;
    info.AvgTimePerFrame = FrameTime;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biBitCount = static_cast<std::uint16_t>(bits);
    return MediaType::video(bits == 24 ? subtype::Rgb24 : fourCC("RGB4"), info);
}

// A picture whose every pixel tells its place and frame: blue = x, green =
// y, red = frame; padding bytes are 0xEE (a copy that takes them shows it).
QByteArray picture(int width, int height, int bits, bool bottomUp, int frame = 0)
{
    const int bytes = bits / 8;
    const auto stride = bits == 24 ? ffmpeg::rgb24Stride(width) : width * 4;
    QByteArray data(static_cast<qsizetype>(stride * height), '\xEE');
    for (int y = 0; y < height; ++y) {
        const int row = bottomUp ? height - 1 - y : y;
        for (int x = 0; x < width; ++x) {
            char *p = data.data() + row * stride + x * bytes;
            p[0] = static_cast<char>(x);
            p[1] = static_cast<char>(y);
            p[2] = static_cast<char>(frame);
        }
    }
    return data;
}

BufferSource::Stream input(MediaType type, std::vector<QByteArray> buffers)
{
    BufferSource::Stream options;
    options.type = std::move(type);
    options.buffers = std::move(buffers);
    return options;
}

struct RendererGraph
{
    explicit RendererGraph(BufferSource::Stream input,
                           std::shared_ptr<ReferenceClock> clock = nullptr)
        : executor(std::make_shared<QueueEventExecutor>()), graph(executor), log(graph, executor),
          sink(std::make_shared<RecordingVideoSink>(clock.get())),
          source(std::make_shared<BufferSource>(std::move(input))),
          renderer(std::make_shared<VideoRendererFilter>(sink))
    {
        graph.SetSyncSource(std::move(clock));
        graph.AddFilter(source, "source");
        graph.AddFilter(renderer, "renderer");
        connected = graph.Connect(source->outputAt(0), renderer->input());
    }
    std::shared_ptr<QueueEventExecutor> executor;
    FilterGraph graph;
    EventLog log;
    std::shared_ptr<RecordingVideoSink> sink;
    std::shared_ptr<BufferSource> source;
    std::shared_ptr<VideoRendererFilter> renderer;
    bool connected = false;
};

TEST(VideoRenderer, TakesRgbPicturesOnly)
{
    VideoRendererFilter renderer;
    EXPECT_TRUE(renderer.CheckInputType(ffmpeg::rgb24Type(720, 576, FrameTime)));
    EXPECT_TRUE(renderer.CheckInputType(rgbType(64, -48, 24)));
    EXPECT_TRUE(renderer.CheckInputType(rgbType(64, 48, 32)));
    EXPECT_FALSE(renderer.CheckInputType(testVideoType()));
    EXPECT_FALSE(renderer.CheckInputType(testAudioType()));
    VideoInfoHeader yuy2;
    yuy2.bmiHeader.biWidth = 64;
    yuy2.bmiHeader.biHeight = 48;
    yuy2.bmiHeader.biBitCount = 16;
    yuy2.bmiHeader.biCompression = subtype::Yuy2;
    EXPECT_FALSE(renderer.CheckInputType(MediaType::video(subtype::Yuy2, yuy2)));
}

TEST(VideoRenderer, HandsOnATopDownCopyOfEachPictureWithItsTime)
{
    struct Case
    {
        const char *name;
        int width;
        int height; // negative: top-down rows
        int bits;
        QImage::Format format;
    };
    // Width 5 makes RGB24 rows 15 bytes padded to 16.
    for (const auto &c : {Case{"rgb24 bottom-up", 5, 3, 24, QImage::Format_BGR888},
                          Case{"rgb24 top-down", 5, -3, 24, QImage::Format_BGR888},
                          Case{"rgb32 bottom-up", 5, 3, 32, QImage::Format_RGB32}}) {
        SCOPED_TRACE(c.name);
        HangGuard guard(10s);
        const int height = std::abs(c.height);
        RendererGraph g(input(rgbType(c.width, c.height, c.bits),
                              {picture(c.width, height, c.bits, c.height > 0, 0),
                               picture(c.width, height, c.bits, c.height > 0, 1)}));
        ASSERT_TRUE(g.connected);
        ASSERT_TRUE(g.graph.Run());
        ASSERT_TRUE(g.log.waitFor(GraphEventCode::Complete, 5s)) << g.graph.lastError();
        g.graph.Stop();
        const auto frames = g.sink->frames();
        ASSERT_EQ(frames.size(), 2u);
        for (int f = 0; f < 2; ++f) {
            const auto &frame = frames[f].frame;
            EXPECT_EQ(frame.time, (TimeRange{f * FrameTime, (f + 1) * FrameTime}));
            ASSERT_EQ(frame.picture.format(), c.format);
            ASSERT_EQ(frame.picture.size(), QSize(c.width, height));
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < c.width; ++x)
                    ASSERT_EQ(frame.picture.pixel(x, y), qRgb(f, y, x))
                        << "frame " << f << " at " << x << "," << y;
        }
    }
}

// A sink that keeps only the last picture, as a view does.
class LastPictureSink final : public IVideoSink
{
public:
    explicit LastPictureSink(bool borrows) : m_borrows(borrows) {}
    void presentFrame(VideoFrame frame) override
    {
        std::lock_guard lock(m_mutex);
        m_presented.push_back(frame.picture.cacheKey());
        m_last = std::move(frame.picture);
        ++m_count;
    }
    bool borrowsPictures() const override { return m_borrows; }
    void prepareFrame(const VideoFrame &frame) override
    {
        std::lock_guard lock(m_mutex);
        m_prepared.push_back(frame.picture.cacheKey());
    }
    // The pictures announced and those presented, by their cache keys.
    std::pair<std::vector<qint64>, std::vector<qint64>> keys() const
    {
        std::lock_guard lock(m_mutex);
        return {m_prepared, m_presented};
    }
    QImage last() const
    {
        std::lock_guard lock(m_mutex);
        return m_last;
    }
    int count() const
    {
        std::lock_guard lock(m_mutex);
        return m_count;
    }
    void letGo()
    {
        std::lock_guard lock(m_mutex);
        m_last = {};
    }

private:
    const bool m_borrows;
    mutable std::mutex m_mutex;
    QImage m_last;                               // guarded by m_mutex
    int m_count = 0;                             // guarded by m_mutex
    std::vector<qint64> m_prepared, m_presented; // guarded by m_mutex
};

// A top-down 24-bit picture is lent to a sink that borrows: its buffer stays
// out of the upstream pool while the sink holds the picture, and the stream
// goes on with the others; each lent picture is announced as it is received,
// the same picture that is presented then. Any other picture, or any other
// sink, gets a copy and no announcement.
TEST(VideoRenderer, ABorrowingSinkIsLentTopDownPicturesWhoseBuffersReturnWhenLetGo)
{
    struct Case
    {
        const char *name;
        int height; // negative: top-down rows
        bool borrows;
        bool lent;
    };
    for (const auto &c :
         {Case{"top-down, borrowing", -3, true, true}, Case{"bottom-up, borrowing", 3, true, false},
          Case{"top-down, not borrowing", -3, false, false}}) {
        SCOPED_TRACE(c.name);
        HangGuard guard(10s);
        auto stream = input(rgbType(5, c.height, 24),
                            {picture(5, 3, 24, c.height > 0, 0), picture(5, 3, 24, c.height > 0, 1),
                             picture(5, 3, 24, c.height > 0, 2)});
        stream.bufferCount = 2;
        auto executor = std::make_shared<QueueEventExecutor>();
        FilterGraph graph(executor);
        EventLog log(graph, executor);
        auto sink = std::make_shared<LastPictureSink>(c.borrows);
        auto source = std::make_shared<BufferSource>(stream);
        auto renderer = std::make_shared<VideoRendererFilter>(sink);
        graph.AddFilter(source, "source");
        graph.AddFilter(renderer, "renderer");
        ASSERT_TRUE(graph.Connect(source->outputAt(0), renderer->input()));
        ASSERT_TRUE(graph.Run());
        ASSERT_TRUE(log.waitFor(GraphEventCode::Complete, 5s)) << graph.lastError();
        graph.Stop();
        EXPECT_EQ(sink->count(), 3);
        const auto [prepared, presented] = sink->keys();
        EXPECT_EQ(prepared, c.lent ? presented : std::vector<qint64>());
        {
            const QImage last = sink->last();
            ASSERT_EQ(last.size(), QSize(5, 3));
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 5; ++x)
                    ASSERT_EQ(last.pixel(x, y), qRgb(2, y, x)) << x << "," << y;
        }
        Allocator *pool = source->outputAt(0).allocator();
        ASSERT_NE(pool, nullptr);
        EXPECT_EQ(pool->freeCount(), c.lent ? 1u : 2u);
        sink->letGo();
        EXPECT_EQ(pool->freeCount(), 2u);
    }
}

TEST(VideoRenderer, AShortPictureIsAnErrorNotARead)
{
    HangGuard guard(10s);
    QByteArray shortPicture = picture(8, 8, 24, true);
    shortPicture.chop(1);
    RendererGraph g(input(rgbType(8, 8, 24), {shortPicture}));
    ASSERT_TRUE(g.connected);
    ASSERT_TRUE(g.graph.Run());
    EXPECT_TRUE(g.log.waitFor(GraphEventCode::ErrorAbort, 5s));
    EXPECT_NE(g.graph.lastError().find("renderer"), std::string::npos) << g.graph.lastError();
    g.graph.Stop();
    EXPECT_TRUE(g.sink->frames().empty());
}

TEST(VideoRenderer, PausedShowsTheCuedFrameOnceAndRunPresentsTheRestOnTheClock)
{
    HangGuard guard(20s);
    auto clock = std::make_shared<ManualClock>();
    std::vector<QByteArray> buffers;
    for (int f = 0; f < 4; ++f)
        buffers.push_back(picture(4, 2, 24, true, f));
    RendererGraph g(input(rgbType(4, 2, 24), buffers), clock);
    ASSERT_TRUE(g.connected);

    ASSERT_TRUE(g.graph.Pause());
    ASSERT_TRUE(g.graph.GetState(5s).complete);
    ASSERT_TRUE(g.sink->waitForFrames(1, 5s));
    EXPECT_EQ(qRed(g.sink->frames().front().frame.picture.pixel(0, 0)), 0);

    // The clock stands at 0: frame 0 is due and already shown, nothing else is.
    ASSERT_TRUE(g.graph.Run());
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(g.sink->frames().size(), 1u);
    for (int f = 1; f < 4; ++f) {
        clock->set(f * FrameTime - 1);
        std::this_thread::sleep_for(20ms);
        EXPECT_EQ(g.sink->frames().size(), static_cast<std::size_t>(f)) << "early at " << f;
        clock->set(f * FrameTime);
        ASSERT_TRUE(g.sink->waitForFrames(f + 1, 5s)) << f;
    }
    ASSERT_TRUE(g.log.waitFor(GraphEventCode::Complete, 5s));
    g.graph.Stop();
    const auto frames = g.sink->frames();
    ASSERT_EQ(frames.size(), 4u);
    for (int f = 0; f < 4; ++f) {
        EXPECT_EQ(qRed(frames[f].frame.picture.pixel(0, 0)), f);
        if (f > 0) {
            EXPECT_EQ(frames[f].clockTime, f * FrameTime);
        }
    }
}

TEST(VideoRenderer, ASinkSetWhilePausedGetsTheCuedFrameOnRun)
{
    HangGuard guard(10s);
    RendererGraph g(
        input(rgbType(4, 2, 24), {picture(4, 2, 24, true, 0), picture(4, 2, 24, true, 1)}));
    ASSERT_TRUE(g.connected);
    g.renderer->setSink(nullptr);
    ASSERT_TRUE(g.graph.Pause());
    ASSERT_TRUE(g.graph.GetState(5s).complete);
    auto later = std::make_shared<RecordingVideoSink>();
    g.renderer->setSink(later);
    ASSERT_TRUE(g.graph.Run());
    ASSERT_TRUE(g.log.waitFor(GraphEventCode::Complete, 5s));
    g.graph.Stop();
    EXPECT_TRUE(g.sink->frames().empty());
    const auto frames = later->frames();
    ASSERT_EQ(frames.size(), 2u) << "the frame cued without a sink is shown on Run";
    EXPECT_EQ(qRed(frames[0].frame.picture.pixel(0, 0)), 0);
    EXPECT_EQ(qRed(frames[1].frame.picture.pixel(0, 0)), 1);
}

} // namespace
