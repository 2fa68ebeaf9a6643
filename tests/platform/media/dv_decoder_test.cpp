#include "platform/media/filters/dv_decoder.h"
#include "support/media_buffer_source.h"
#include "support/media_filters.h"
#include "support/media_hang_guard.h"
#include "support/tools.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <mutex>

namespace {

using namespace vidora::media;
using namespace vidora::test;
using namespace std::chrono_literals;

MediaType dvType(Subtype sub, int height, std::int64_t frameDuration)
{
    VideoInfoHeader info;
    info.AvgTimePerFrame = frameDuration;
    info.bmiHeader.biWidth = 720;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biCompression = sub;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biSizeImage = height == 576 ? 144000 : 120000;
    return MediaType::video(sub, info);
}

struct Standard
{
    const char *name;
    const char *size;
    const char *rate;
    const char *pixFmt;
    int height;
    std::int64_t frameDuration;
};

constexpr Standard Pal{"PAL", "720x576", "25", "yuv420p", 576, 400000};
constexpr Standard Ntsc{"NTSC", "720x480", "30000/1001", "yuv411p", 480, 333667};

// A raw DV file of `frames` frames of a moving test picture made by ffmpeg.
QByteArray makeDvFile(const QString &dir, const Standard &s, int frames)
{
    const QString path = dir + "/in.dv";
    const auto r = runTool("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i",
                                      QString("testsrc2=size=%1:rate=%2").arg(s.size, s.rate),
                                      "-frames:v", QString::number(frames), "-c:v", "dvvideo",
                                      "-pix_fmt", s.pixFmt, "-f", "dv", path});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    return readFileBytes(path);
}

// A source of the DV frames, the decoder and a sink that takes `accepts`,
// connected in a graph of their own.
struct DecoderChain
{
    std::shared_ptr<QueueEventExecutor> executor = std::make_shared<QueueEventExecutor>();
    FilterGraph graph{executor};
    EventLog log{graph, executor};
    std::shared_ptr<RecordingSink> sink;
    bool connected = false;

    DecoderChain(const std::shared_ptr<DvDecoderFilter> &decoder, const Standard &s,
                 const std::vector<QByteArray> &frames, std::size_t padding,
                 MediaType accepts = MediaType())
        : sink(std::make_shared<RecordingSink>(std::move(accepts)))
    {
        BufferSource::Stream input;
        input.type = dvType(subtype::Dvsd, s.height, s.frameDuration);
        input.buffers = frames;
        input.frameDuration = s.frameDuration;
        input.padding = padding;
        auto source = std::make_shared<BufferSource>(input);
        graph.AddFilter(source, "source");
        graph.AddFilter(decoder, "decoder");
        graph.AddFilter(sink, "sink");
        connected = graph.Connect(source->outputAt(0), decoder->input()) &&
                    graph.Connect(decoder->output(), sink->input());
    }
};

class DvDecoderStandards : public ::testing::TestWithParam<Standard>
{};

// One frame at a time (no frame delay), and on frame lanes (several at once,
// delivered in order, the last ones at the end of stream): the same pictures,
// from samples decoded where they are (padded as the AVI splitter's) and from
// copies (no room for the padding), in either row order, and from a paused
// start whose first picture is decoded on the cue threads.
TEST_P(DvDecoderStandards, PicturesEqualFfmpegsOwnBgr24DecodeOneAtATimeAndOnLanes)
{
    struct Case
    {
        int lanes;
        std::size_t padding;
        bool topDown;
        int cueThreads; // > 0: paused first
    };
    for (const Case &c :
         {Case{0, 0, false, 0}, Case{0, 64, false, 0}, Case{3, 0, false, 0}, Case{3, 64, false, 0},
          Case{0, 64, true, 4}, Case{0, 0, false, 3}, Case{3, 64, true, 0}}) {
        SCOPED_TRACE(testing::Message()
                     << "lanes " << c.lanes << " padding " << c.padding << " top-down " << c.topDown
                     << " cue threads " << c.cueThreads);
        HangGuard guard(60s);
        const Standard s = GetParam();
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const int frameCount = 4;
        const QByteArray file = makeDvFile(dir.path(), s, frameCount);
        const auto frames = splitDvFrames(file);
        ASSERT_EQ(frames.size(), static_cast<std::size_t>(frameCount));
        const auto ref = runTool("ffmpeg", {"-v", "error", "-i", dir.path() + "/in.dv", "-f",
                                            "rawvideo", "-pix_fmt", "bgr24", "-"});
        ASSERT_EQ(ref.exitCode, 0) << ref.err.toStdString();
        const qsizetype rowBytes = 720 * 3;
        const qsizetype pictureBytes = rowBytes * s.height;
        ASSERT_EQ(ref.out.size(), pictureBytes * frameCount);

        auto decoder = std::make_shared<DvDecoderFilter>();
        ASSERT_TRUE(decoder->put_IPDisplay(DVRESOLUTION_FULL));
        decoder->setFrameLanes(c.lanes);
        decoder->setTopDownOutput(c.topDown);
        decoder->setCueThreadCount(c.cueThreads);
        decoder->setThreadCount(1);
        DecoderChain chain(decoder, s, frames, c.padding);
        ASSERT_TRUE(chain.connected);
        FilterGraph &graph = chain.graph;
        EventLog &log = chain.log;
        const auto &sink = chain.sink;
        const auto info = decoder->output().connectionType().videoInfo();
        ASSERT_TRUE(info);
        EXPECT_EQ(info->bmiHeader.biWidth, 720);
        EXPECT_EQ(info->bmiHeader.biHeight, c.topDown ? -s.height : s.height);
        EXPECT_EQ(info->bmiHeader.biSizeImage, static_cast<std::uint32_t>(pictureBytes));
        EXPECT_EQ(info->AvgTimePerFrame, s.frameDuration);

        if (c.cueThreads > 0) {
            ASSERT_TRUE(graph.Pause());
            ASSERT_TRUE(graph.GetState(30s).complete) << graph.lastError();
        }
        ASSERT_TRUE(graph.Run());
        ASSERT_TRUE(log.waitFor(GraphEventCode::Complete, 30s)) << graph.lastError();
        graph.Stop();

        const auto pictures = sink->samples();
        ASSERT_EQ(pictures.size(), static_cast<std::size_t>(frameCount));
        const auto rendered = sink->rendered();
        for (int i = 0; i < frameCount; ++i) {
            // Each picture carries the time of the frame that made it.
            EXPECT_EQ(rendered[i].time,
                      (TimeRange{i * s.frameDuration, (i + 1) * s.frameDuration}));
            ASSERT_EQ(pictures[i].size(), pictureBytes);
            int differing = 0;
            for (int y = 0; y < s.height && differing < 5; ++y) {
                const char *ours =
                    pictures[i].constData() + (c.topDown ? y : s.height - 1 - y) * rowBytes;
                const char *theirs = ref.out.constData() + i * pictureBytes + y * rowBytes;
                if (std::memcmp(ours, theirs, static_cast<std::size_t>(rowBytes)) != 0) {
                    ADD_FAILURE() << s.name << " frame " << i << " row " << y << " differs";
                    ++differing;
                }
            }
        }
    }
}

// Asked for planar pictures, the decoder hands on the codec's own planes (I420
// for PAL, Y41B for NTSC), one at a time and on lanes; a peer that takes
// RGB24 only still gets RGB24.
TEST_P(DvDecoderStandards, PlanarPicturesEqualFfmpegsOwnDecodeAndRgb24StaysOnOffer)
{
    const Standard s = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const int frameCount = 3;
    const auto frames = splitDvFrames(makeDvFile(dir.path(), s, frameCount));
    ASSERT_EQ(frames.size(), static_cast<std::size_t>(frameCount));
    const auto ref = runTool("ffmpeg", {"-v", "error", "-i", dir.path() + "/in.dv", "-f",
                                        "rawvideo", "-pix_fmt", s.pixFmt, "-"});
    ASSERT_EQ(ref.exitCode, 0) << ref.err.toStdString();
    const qsizetype pictureBytes = 720 * s.height * 3 / 2;
    ASSERT_EQ(ref.out.size(), pictureBytes * frameCount);
    const Subtype planar = s.height == 576 ? subtype::I420 : subtype::Y41b;

    struct Case
    {
        int lanes;
        bool rgbOnlySink;
    };
    for (const Case &c : {Case{0, false}, Case{3, false}, Case{0, true}}) {
        SCOPED_TRACE(testing::Message()
                     << "lanes " << c.lanes << " RGB24-only sink " << c.rgbOnlySink);
        HangGuard guard(60s);
        auto decoder = std::make_shared<DvDecoderFilter>();
        decoder->setPlanarOutput(true);
        decoder->setFrameLanes(c.lanes);
        decoder->setThreadCount(2);
        DecoderChain chain(decoder, s, frames, 0,
                           c.rgbOnlySink ? MediaType(MajorType::Video, subtype::Rgb24)
                                         : MediaType());
        ASSERT_TRUE(chain.connected);
        FilterGraph &graph = chain.graph;
        EventLog &log = chain.log;
        const auto &sink = chain.sink;
        const MediaType &type = decoder->output().connectionType();
        ASSERT_EQ(type.subtype(), c.rgbOnlySink ? subtype::Rgb24 : planar);
        if (c.rgbOnlySink)
            continue;
        EXPECT_EQ(type.videoInfo()->bmiHeader.biSizeImage,
                  static_cast<std::uint32_t>(pictureBytes));
        ASSERT_TRUE(graph.Run());
        ASSERT_TRUE(log.waitFor(GraphEventCode::Complete, 30s)) << graph.lastError();
        graph.Stop();
        const auto pictures = sink->samples();
        ASSERT_EQ(pictures.size(), static_cast<std::size_t>(frameCount));
        for (int i = 0; i < frameCount; ++i)
            EXPECT_TRUE(pictures[i] == ref.out.mid(i * pictureBytes, pictureBytes))
                << s.name << " frame " << i << " differs";
    }
}

INSTANTIATE_TEST_SUITE_P(Standards, DvDecoderStandards, ::testing::Values(Pal, Ntsc),
                         [](const auto &caseInfo) { return std::string(caseInfo.param.name); });

TEST(DvDecoder, AcceptsTheDvFourCCsAndRefusesOtherTypes)
{
    struct Case
    {
        MediaType type;
        bool accepted;
    };
    const std::vector<Case> cases{
        {dvType(subtype::Dvsd, 576, 400000), true},
        {dvType(fourCC("DVSD"), 480, 333667), true},
        {dvType(fourCC("dsvd"), 576, 400000), true},
        {dvType(fourCC("CDVC"), 576, 400000), true},
        {dvType(fourCC("dv25"), 480, 333667), true},
        {dvType(fourCC("dvh1"), 576, 400000), false}, // 100 Mbit/s HD
        {dvType(fourCC("MJPG"), 576, 400000), false},
        {dvType(subtype::Dvsd, 720, 400000), false}, // no DV picture height
        {dvType(subtype::Dvsd, -576, 400000), true}, // top-down
        {dvType(subtype::Dvsd, std::numeric_limits<std::int32_t>::min(), 400000), false},
        {dvType(subtype::Dvsd, std::numeric_limits<std::int32_t>::max(), 400000), false},
        {MediaType(MajorType::Video, subtype::Dvsd), false}, // no format block
        {MediaType(MajorType::Interleaved, subtype::Dvsd), false},
        {testAudioType(), false},
    };
    DvDecoderFilter decoder;
    for (const auto &c : cases)
        EXPECT_EQ(decoder.CheckInputType(c.type), c.accepted) << c.type.describe();
}

TEST(DvDecoder, DisplayResolutionSetsThePictureSize)
{
    struct Case
    {
        int resolution;
        int width;
        int height;
    };
    for (const auto &c : {Case{DVRESOLUTION_FULL, 720, 576}, Case{DVRESOLUTION_HALF, 360, 288},
                          Case{DVRESOLUTION_QUARTER, 180, 144}, Case{DVRESOLUTION_DC, 88, 72}}) {
        auto decoder = std::make_shared<DvDecoderFilter>();
        ASSERT_TRUE(decoder->put_IPDisplay(c.resolution));
        FilterHarness h(decoder, {.streams = {dvType(subtype::Dvsd, 576, 400000)},
                                  .frameCount = 0,
                                  .frameSize = 144000});
        ASSERT_TRUE(h.connected());
        const auto info = decoder->output().connectionType().videoInfo();
        ASSERT_TRUE(info);
        EXPECT_EQ(info->bmiHeader.biWidth, c.width);
        EXPECT_EQ(info->bmiHeader.biHeight, c.height);
        // Connected: the size stays.
        EXPECT_EQ(decoder->put_IPDisplay(c.resolution == DVRESOLUTION_FULL ? DVRESOLUTION_HALF
                                                                           : DVRESOLUTION_FULL),
                  false);
    }
    DvDecoderFilter decoder;
    EXPECT_FALSE(decoder.put_IPDisplay(999));
    EXPECT_FALSE(decoder.put_IPDisplay(1004));
    EXPECT_EQ(decoder.get_IPDisplay(), DVRESOLUTION_FULL);
}

TEST(DvDecoder, ATruncatedFrameAbortsTheStream)
{
    HangGuard guard(20s);
    FilterHarness h(
        std::make_shared<DvDecoderFilter>(),
        {.streams = {dvType(subtype::Dvsd, 576, 400000)}, .frameCount = 2, .frameSize = 1000});
    ASSERT_TRUE(h.connected());
    EXPECT_FALSE(h.run());
    EXPECT_EQ(h.events().count(GraphEventCode::ErrorAbort), 1);
    EXPECT_TRUE(h.sink().rendered().empty());
}

} // namespace
