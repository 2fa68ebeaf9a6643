#include "platform/media/filters/colour_converter.h"
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

constexpr int Width = 64;
constexpr int Height = 48;

MediaType yuvType(Subtype sub, std::uint16_t bits, std::uint32_t imageSize)
{
    VideoInfoHeader info;
    info.AvgTimePerFrame = 400000;
    info.bmiHeader.biWidth = Width;
    info.bmiHeader.biHeight = Height;
    info.bmiHeader.biBitCount = bits;
    info.bmiHeader.biCompression = sub;
    info.bmiHeader.biSizeImage = imageSize;
    return MediaType::video(sub, info);
}

struct Output
{
    std::vector<QByteArray> pictures;
    MediaType type;
    bool complete = false;
};

Output convert(const MediaType &type, std::vector<QByteArray> pictures, const MediaType &accepts)
{
    Output result;
    auto converter = std::make_shared<ColourConverterFilter>();
    auto executor = std::make_shared<QueueEventExecutor>();
    FilterGraph graph(executor);
    EventLog log(graph, executor);
    BufferSource::Stream input;
    input.type = type;
    input.buffers = std::move(pictures);
    auto source = std::make_shared<BufferSource>(input);
    auto sink = std::make_shared<RecordingSink>(accepts);
    graph.AddFilter(source, "source");
    graph.AddFilter(converter, "converter");
    graph.AddFilter(sink, "sink");
    EXPECT_TRUE(graph.Connect(source->outputAt(0), converter->input()));
    EXPECT_TRUE(graph.Connect(converter->output(), sink->input()));
    result.type = converter->output().connectionType();
    EXPECT_TRUE(graph.Run());
    result.complete = log.waitFor(GraphEventCode::Complete, 30s);
    graph.Stop();
    result.pictures = sink->samples();
    return result;
}

struct Case
{
    const char *name;
    Subtype sub;
    const char *pixFmt; // ffmpeg's name of the layout
    std::uint16_t bits;
    std::uint32_t imageSize;
};

class ColourConverterCases : public ::testing::TestWithParam<Case>
{};

TEST_P(ColourConverterCases, ConvertsToRgb24LikeFfmpeg)
{
    HangGuard guard(60s);
    const Case c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString raw = dir.path() + "/in.raw";
    const QString size = QString("%1x%2").arg(Width).arg(Height);
    const auto made = runTool("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i",
                                         "testsrc2=size=" + size + ":rate=25", "-frames:v", "2",
                                         "-f", "rawvideo", "-pix_fmt", c.pixFmt, raw});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    const QByteArray file = readFileBytes(raw);
    ASSERT_EQ(file.size(), 2 * static_cast<qsizetype>(c.imageSize));
    const auto ref =
        runTool("ffmpeg", {"-v", "error", "-f", "rawvideo", "-pix_fmt", c.pixFmt, "-s", size, "-i",
                           raw, "-f", "rawvideo", "-pix_fmt", "bgr24", "-"});
    ASSERT_EQ(ref.exitCode, 0) << ref.err.toStdString();

    const Output out = convert(yuvType(c.sub, c.bits, c.imageSize),
                               {file.left(c.imageSize), file.mid(c.imageSize)},
                               MediaType(MajorType::Video, subtype::Rgb24));
    ASSERT_TRUE(out.complete);
    EXPECT_EQ(out.type.subtype(), subtype::Rgb24);
    ASSERT_EQ(out.pictures.size(), 2u);
    const qsizetype row = Width * 3;
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(out.pictures[i].size(), row * Height);
        for (int y = 0; y < Height; ++y)
            ASSERT_EQ(std::memcmp(out.pictures[i].constData() + (Height - 1 - y) * row,
                                  ref.out.constData() + (i * Height + y) * row,
                                  static_cast<std::size_t>(row)),
                      0)
                << c.name << " picture " << i << " row " << y;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ColourConverterCases,
    ::testing::Values(Case{"YUY2", subtype::Yuy2, "yuyv422", 16, Width *Height * 2},
                      Case{"I420", fourCC("I420"), "yuv420p", 12, Width *Height * 3 / 2}),
    [](const auto &caseInfo) { return std::string(caseInfo.param.name); });

TEST(ColourConverter, PassesAMatchingFormatThroughUntouched)
{
    HangGuard guard(30s);
    const MediaType rgb = ffmpeg::rgb24Type(5, 3, 400000); // rows padded to 16 bytes
    QByteArray picture(static_cast<qsizetype>(ffmpeg::rgb24ImageSize(5, 3)), '\0');
    for (qsizetype i = 0; i < picture.size(); ++i)
        picture[i] = static_cast<char>(i * 7);
    const Output out = convert(rgb, {picture}, MediaType(MajorType::Video));
    ASSERT_TRUE(out.complete);
    EXPECT_EQ(out.type, rgb);
    ASSERT_EQ(out.pictures.size(), 1u);
    EXPECT_EQ(out.pictures[0], picture);
}

TEST(ColourConverter, RefusesCompressedVideoAndAudio)
{
    ColourConverterFilter converter;
    EXPECT_TRUE(converter.CheckInputType(ffmpeg::rgb24Type(10, 10, 400000)));
    EXPECT_TRUE(converter.CheckInputType(yuvType(subtype::Yuy2, 16, Width * Height * 2)));
    EXPECT_FALSE(converter.CheckInputType(testVideoType())); // dvsd
    EXPECT_FALSE(converter.CheckInputType(testAudioType()));
    EXPECT_FALSE(converter.CheckInputType(MediaType(MajorType::Video, subtype::Rgb24)));
}

} // namespace
