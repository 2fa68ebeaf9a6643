#include "platform/media/filters/video_decoder.h"
#include "support/media_buffer_source.h"
#include "support/media_filters.h"
#include "support/media_hang_guard.h"
#include "support/tools.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>
#include <mutex>

namespace {

using namespace vidora::media;
using namespace vidora::test;
using namespace std::chrono_literals;

constexpr int Width = 160;
constexpr int Height = 120;

MediaType compressed(Subtype sub)
{
    VideoInfoHeader info;
    info.AvgTimePerFrame = 400000;
    info.bmiHeader.biWidth = Width;
    info.bmiHeader.biHeight = Height;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = sub;
    return MediaType::video(sub, info);
}

// The JPEG pictures of a concatenated MJPEG stream (each starts with SOI).
std::vector<QByteArray> splitJpegs(const QByteArray &stream)
{
    std::vector<QByteArray> pictures;
    const QByteArray soi("\xFF\xD8\xFF", 3);
    qsizetype at = stream.indexOf(soi);
    while (at >= 0) {
        const qsizetype next = stream.indexOf(soi, at + 3);
        pictures.push_back(stream.mid(at, next < 0 ? -1 : next - at));
        at = next;
    }
    return pictures;
}

TEST(VideoDecoder, MjpegPicturesEqualFfmpegsOwnBgr24Decode)
{
    HangGuard guard(60s);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.path() + "/in.mjpeg";
    const auto made =
        runTool("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i",
                           QString("testsrc2=size=%1x%2:rate=25").arg(Width).arg(Height),
                           "-frames:v", "3", "-c:v", "mjpeg", "-f", "mjpeg", path});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    const auto jpegs = splitJpegs(readFileBytes(path));
    ASSERT_EQ(jpegs.size(), 3u);
    const auto ref = runTool("ffmpeg", {"-v", "error", "-f", "mjpeg", "-i", path, "-f", "rawvideo",
                                        "-pix_fmt", "bgr24", "-"});
    ASSERT_EQ(ref.exitCode, 0) << ref.err.toStdString();
    const qsizetype row = Width * 3;
    ASSERT_EQ(ref.out.size(), 3 * row * Height);

    auto executor = std::make_shared<QueueEventExecutor>();
    FilterGraph graph(executor);
    EventLog log(graph, executor);
    BufferSource::Stream input;
    input.type = compressed(fourCC("MJPG"));
    input.buffers = jpegs;
    auto source = std::make_shared<BufferSource>(input);
    auto decoder = std::make_shared<VideoDecoderFilter>();
    auto sink = std::make_shared<RecordingSink>();
    graph.AddFilter(source, "source");
    graph.AddFilter(decoder, "decoder");
    graph.AddFilter(sink, "sink");
    ASSERT_TRUE(graph.Connect(source->outputAt(0), decoder->input()));
    ASSERT_TRUE(graph.Connect(decoder->output(), sink->input()));
    ASSERT_TRUE(graph.Run());
    ASSERT_TRUE(log.waitFor(GraphEventCode::Complete, 30s)) << graph.lastError();
    graph.Stop();
    const auto pictures = sink->samples();
    ASSERT_EQ(pictures.size(), 3u);
    const auto rendered = sink->rendered();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(rendered[i].time, (TimeRange{i * 400000LL, (i + 1) * 400000LL}));
        ASSERT_EQ(pictures[i].size(), row * Height);
        for (int y = 0; y < Height; ++y)
            ASSERT_EQ(std::memcmp(pictures[i].constData() + (Height - 1 - y) * row,
                                  ref.out.constData() + (i * Height + y) * row,
                                  static_cast<std::size_t>(row)),
                      0)
                << "picture " << i << " row " << y;
    }
}

TEST(VideoDecoder, ChoosesTheCodecByFourCCAndLeavesDvToItsOwnDecoder)
{
    struct Case
    {
        const char *code;
        AVCodecID codec;
    };
    for (const auto &c : {Case{"MJPG", AV_CODEC_ID_MJPEG}, Case{"mjpg", AV_CODEC_ID_MJPEG},
                          Case{"XVID", AV_CODEC_ID_MPEG4}, Case{"divx", AV_CODEC_ID_MPEG4},
                          Case{"H264", AV_CODEC_ID_H264}, Case{"dvsd", AV_CODEC_ID_NONE},
                          Case{"ZZZZ", AV_CODEC_ID_NONE}}) {
        char code[5] = {};
        std::memcpy(code, c.code, 4);
        EXPECT_EQ(codecForVideoFourCC(fourCC(code)), c.codec) << c.code;
    }
    VideoDecoderFilter decoder;
    EXPECT_TRUE(decoder.CheckInputType(compressed(fourCC("MJPG"))));
    EXPECT_FALSE(decoder.CheckInputType(compressed(subtype::Dvsd)));
    EXPECT_FALSE(decoder.CheckInputType(testAudioType()));
}

} // namespace
