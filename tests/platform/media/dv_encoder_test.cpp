#include "platform/media/filters/dv_encoder.h"
#include "platform/media/filters/ffmpeg_support.h"
#include "support/media_buffer_source.h"
#include "support/media_filters.h"
#include "support/media_hang_guard.h"
#include "support/tools.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <mutex>

namespace {

using namespace vidora::media;
using namespace vidora::test;
using namespace std::chrono_literals;

// `count` bottom-up RGB24 pictures with padded rows: a gradient that moves
// with the frame number.
std::vector<QByteArray> makePictures(int width, int height, int count)
{
    std::vector<QByteArray> pictures;
    const auto stride = ffmpeg::rgb24Stride(width);
    for (int i = 0; i < count; ++i) {
        QByteArray p(static_cast<qsizetype>(ffmpeg::rgb24ImageSize(width, height)), '\0');
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                char *px = p.data() + y * stride + x * 3;
                px[0] = static_cast<char>((x + i * 4) & 0xff);
                px[1] = static_cast<char>((y * 2) & 0xff);
                px[2] = static_cast<char>((x + y + i) & 0xff);
            }
        pictures.push_back(std::move(p));
    }
    return pictures;
}

struct Encoded
{
    QByteArray frames;                 // the DV frames, one after the other
    std::vector<RecordedSample> times; // as rendered
    bool complete = false;
};

Encoded encodeBuffers(int videoFormat, const MediaType &type, std::vector<QByteArray> buffers,
                      std::int64_t frameDuration)
{
    Encoded result;
    auto encoder = std::make_shared<DvEncoderFilter>();
    EXPECT_TRUE(encoder->put_FormatSettings(videoFormat, DVENCODERFORMAT_DVSD,
                                            DVENCODERRESOLUTION_720x480, false));
    auto executor = std::make_shared<QueueEventExecutor>();
    FilterGraph graph(executor);
    EventLog log(graph, executor);
    BufferSource::Stream input;
    input.type = type;
    input.buffers = std::move(buffers);
    input.frameDuration = frameDuration;
    auto source = std::make_shared<BufferSource>(input);
    auto sink = std::make_shared<RecordingSink>();
    graph.AddFilter(source, "source");
    graph.AddFilter(encoder, "encoder");
    graph.AddFilter(sink, "sink");
    EXPECT_TRUE(graph.Connect(source->outputAt(0), encoder->input()));
    EXPECT_TRUE(graph.Connect(encoder->output(), sink->input()));
    EXPECT_TRUE(graph.Run());
    result.complete = log.waitFor(GraphEventCode::Complete, 120s);
    EXPECT_TRUE(result.complete) << graph.lastError();
    graph.Stop();
    result.frames = sink->joined();
    result.times = sink->rendered();
    return result;
}

Encoded encode(int videoFormat, int width, int height, int count, std::int64_t frameDuration)
{
    return encodeBuffers(videoFormat, ffmpeg::rgb24Type(width, height, frameDuration),
                         makePictures(width, height, count), frameDuration);
}

struct Probe
{
    int frames = -1;
    int width = 0;
    int height = 0;
    QString rate;
    QString aspect;
    QString pixFmt;
    QByteArray decodeErrors;
};

Probe probe(const QString &path)
{
    Probe p;
    const auto r = runTool("ffprobe", {"-v", "error", "-count_frames", "-select_streams", "v:0",
                                       "-show_streams", "-of", "json", path});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const auto stream =
        QJsonDocument::fromJson(r.out).object().value("streams").toArray().at(0).toObject();
    p.frames = stream.value("nb_read_frames").toString().toInt();
    p.width = stream.value("width").toInt();
    p.height = stream.value("height").toInt();
    p.rate = stream.value("r_frame_rate").toString();
    p.aspect = stream.value("display_aspect_ratio").toString();
    p.pixFmt = stream.value("pix_fmt").toString();
    const auto decode = runTool("ffmpeg", {"-v", "error", "-i", path, "-f", "null", "-"});
    // Raw encoder output has no subcode time code (the DV header filter
    // writes it); the demuxer says so, which is no decode error.
    for (const auto &line : decode.err.split('\n'))
        if (!line.isEmpty() && !line.contains("timecode"))
            p.decodeErrors += line + '\n';
    return p;
}

struct Case
{
    const char *name;
    int videoFormat;
    int width, height;          // input pictures
    int count;                  // input pictures
    std::int64_t frameDuration; // input, 100 ns
    int expectedFrames;         // ± 1
    int outHeight;
    const char *rate;
    const char *pixFmt;
    const char *aspect;
};

class DvEncoderCases : public ::testing::TestWithParam<Case>
{};

TEST_P(DvEncoderCases, FramesDecodeInFfprobeWithTheStandardSizeAspectAndDuration)
{
    HangGuard guard(300s);
    const Case c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const Encoded e = encode(c.videoFormat, c.width, c.height, c.count, c.frameDuration);
    ASSERT_TRUE(e.complete);
    const QString path = dir.path() + "/out.dv";
    writeFileBytes(path, e.frames);
    const Probe p = probe(path);
    EXPECT_NEAR(p.frames, c.expectedFrames, 1);
    EXPECT_EQ(static_cast<int>(e.times.size()), p.frames);
    EXPECT_EQ(p.width, 720);
    EXPECT_EQ(p.height, c.outHeight);
    EXPECT_EQ(p.rate, c.rate);
    EXPECT_EQ(p.pixFmt, c.pixFmt);
    EXPECT_EQ(p.aspect, c.aspect);
    EXPECT_TRUE(p.decodeErrors.isEmpty()) << p.decodeErrors.toStdString();
    // Output frames follow one another at the standard's rate.
    const double outDuration = c.outHeight == 576 ? 400000.0 : 1e7 * 1001 / 30000;
    for (std::size_t i = 0; i < e.times.size(); ++i) {
        ASSERT_TRUE(e.times[i].time);
        EXPECT_NEAR(static_cast<double>(e.times[i].time->start),
                    static_cast<double>(i) * outDuration, 1.0);
        EXPECT_EQ(e.times[i].mediaTime,
                  (TimeRange{static_cast<std::int64_t>(i), static_cast<std::int64_t>(i) + 1}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Standards, DvEncoderCases,
    ::testing::Values(Case{"PalSameRate", DVENCODERVIDEOFORMAT_PAL, 720, 576, 10, 400000, 10, 576,
                           "25/1", "yuv420p", "4:3"},
                      Case{"NtscSameRateOddWidth", DVENCODERVIDEOFORMAT_NTSC, 321, 241, 10, 333667,
                           10, 480, "30000/1001", "yuv411p", "4:3"},
                      Case{"WidePicture", DVENCODERVIDEOFORMAT_PAL, 256, 144, 5, 400000, 5, 576,
                           "25/1", "yuv420p", "16:9"},
                      Case{"PalToNtsc", DVENCODERVIDEOFORMAT_NTSC, 160, 128, 250, 400000, 300, 480,
                           "30000/1001", "yuv411p", "4:3"},
                      Case{"NtscToPal", DVENCODERVIDEOFORMAT_PAL, 160, 120, 300, 333667, 250, 576,
                           "25/1", "yuv420p", "4:3"}),
    [](const auto &caseInfo) { return std::string(caseInfo.param.name); });

TEST(DvEncoder, FormatSettingsAcceptOnlyFullSizeDvsdWithoutDvInfo)
{
    struct Setting
    {
        int videoFormat, dvFormat, resolution;
        bool withDvInfo;
        bool accepted;
    };
    for (const auto &s : {Setting{DVENCODERVIDEOFORMAT_PAL, 2007, 2012, false, true},
                          Setting{DVENCODERVIDEOFORMAT_NTSC, 2007, 2012, false, true},
                          Setting{1999, 2007, 2012, false, false},
                          Setting{DVENCODERVIDEOFORMAT_PAL, 2008, 2012, false, false},
                          Setting{DVENCODERVIDEOFORMAT_PAL, 2007, 2013, false, false},
                          Setting{DVENCODERVIDEOFORMAT_PAL, 2007, 2012, true, false}}) {
        DvEncoderFilter encoder;
        EXPECT_EQ(encoder.put_FormatSettings(s.videoFormat, s.dvFormat, s.resolution, s.withDvInfo),
                  s.accepted)
            << s.videoFormat << " " << s.dvFormat << " " << s.resolution;
        int videoFormat = 0, dvFormat = 0, resolution = 0;
        bool withDvInfo = true;
        encoder.get_FormatSettings(videoFormat, dvFormat, resolution, withDvInfo);
        EXPECT_EQ(videoFormat, s.accepted ? s.videoFormat : DVENCODERVIDEOFORMAT_NTSC);
        EXPECT_FALSE(withDvInfo);
    }
}

TEST(DvEncoder, TakesRgb24OrPlanarPicturesAndKeepsItsStandardWhileConnected)
{
    DvEncoderFilter encoder;
    EXPECT_TRUE(encoder.CheckInputType(ffmpeg::rgb24Type(100, 50, 400000)));
    EXPECT_TRUE(encoder.CheckInputType(ffmpeg::planarType(AV_PIX_FMT_YUV420P, 720, 576, 400000)));
    EXPECT_TRUE(encoder.CheckInputType(ffmpeg::planarType(AV_PIX_FMT_YUV411P, 720, 480, 333667)));
    EXPECT_FALSE(encoder.CheckInputType(testVideoType()));
    EXPECT_FALSE(encoder.CheckInputType(testAudioType()));
    EXPECT_FALSE(encoder.CheckInputType(MediaType(MajorType::Video, subtype::Rgb24)));

    auto connected = std::make_shared<DvEncoderFilter>();
    ASSERT_TRUE(connected->put_FormatSettings(DVENCODERVIDEOFORMAT_PAL, 2007, 2012, false));
    FilterHarness h(connected,
                    {.streams = {ffmpeg::rgb24Type(64, 48, 400000)}, .frameSize = 64 * 48 * 3});
    ASSERT_TRUE(h.connected());
    const auto info = connected->output().connectionType().videoInfo();
    ASSERT_TRUE(info);
    EXPECT_EQ(info->bmiHeader.biHeight, 576);
    EXPECT_EQ(info->bmiHeader.biCompression, subtype::Dvsd);
    EXPECT_FALSE(connected->put_FormatSettings(DVENCODERVIDEOFORMAT_NTSC, 2007, 2012, false));
    EXPECT_TRUE(connected->put_FormatSettings(DVENCODERVIDEOFORMAT_PAL, 2007, 2012, false));
}

} // namespace

namespace {

TEST(DvEncoder, APictureWithABrokenStopTimeFillsAtMostAMinute)
{
    HangGuard guard(120s);
    const std::int64_t aDay = 10000000LL * 3600 * 24; // a day, 100 ns
    FilterHarness h(std::make_shared<DvEncoderFilter>(),
                    {.streams = {ffmpeg::rgb24Type(64, 48, aDay)},
                     .frameCount = 1,
                     .frameSize = 64 * 48 * 3,
                     .frameDuration = aDay});
    ASSERT_TRUE(h.connected());
    h.sink().keepBytes = false; // a minute of DV frames
    ASSERT_TRUE(h.run(60s));
    EXPECT_EQ(h.sink().rendered().size(), 1800u); // NTSC, the default standard
}

} // namespace

namespace {

// Luma PSNR in dB of two planar pictures of the same size (the Y plane first).
double lumaPsnr(const QByteArray &a, const QByteArray &b, int lumaBytes)
{
    double squares = 0;
    for (int i = 0; i < lumaBytes; ++i) {
        const int d = static_cast<std::uint8_t>(a[i]) - static_cast<std::uint8_t>(b[i]);
        squares += d * d;
    }
    return squares == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 * lumaBytes / squares);
}

// A camcorder's picture that is decoded and encoded again in its own
// sampling passes no colour conversion: it comes back closer to what was
// decoded than the same picture sent through RGB24.
TEST(DvEncoder, PlanarPicturesInTheirOwnSamplingAreEncodedWithoutAColourRoundTrip)
{
    struct Standard
    {
        const char *name;
        int format;
        AVPixelFormat pixel;
        const char *pixFmt;
        const char *source;
        int height;
        std::int64_t duration; // each picture's, ending before the next output frame starts
    };
    for (const Standard &s :
         {Standard{"PAL", DVENCODERVIDEOFORMAT_PAL, AV_PIX_FMT_YUV420P, "yuv420p",
                   "testsrc2=size=720x576:rate=25", 576, 400000},
          Standard{"NTSC", DVENCODERVIDEOFORMAT_NTSC, AV_PIX_FMT_YUV411P, "yuv411p",
                   "testsrc2=size=720x480:rate=30000/1001", 480, 333666}}) {
        SCOPED_TRACE(s.name);
        QTemporaryDir dir;
        const QString dv = dir.filePath("in.dv");
        ASSERT_EQ(runTool("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", s.source, "-frames:v", "2",
                                     "-c:v", "dvvideo", "-pix_fmt", s.pixFmt, "-f", "dv", dv})
                      .exitCode,
                  0);
        const auto decode = [&](const QString &path, const char *pixFmt) {
            return runTool("ffmpeg",
                           {"-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", pixFmt, "-"})
                .out;
        };
        const QByteArray planar = decode(dv, s.pixFmt);
        const QByteArray rgb = decode(dv, "bgr24");
        const int luma = 720 * s.height;
        ASSERT_EQ(planar.size(), luma * 3); // two pictures of 1.5 bytes a pixel
        // bgr24 rows are 2160 bytes: already a multiple of 4, and
        // top-down here (a negative height).
        ASSERT_EQ(rgb.size(), luma * 6);

        const Encoded fromPlanar =
            encodeBuffers(s.format, ffmpeg::planarType(s.pixel, 720, s.height, s.duration),
                          {planar.left(luma * 3 / 2), planar.mid(luma * 3 / 2)}, s.duration);
        const Encoded fromRgb =
            encodeBuffers(s.format, ffmpeg::rgb24Type(720, s.height, s.duration, true),
                          {rgb.left(luma * 3), rgb.mid(luma * 3)}, s.duration);
        ASSERT_TRUE(fromPlanar.complete && fromRgb.complete);
        const QString planarDv = dir.filePath("planar.dv");
        const QString rgbDv = dir.filePath("rgb.dv");
        writeFileBytes(planarDv, fromPlanar.frames);
        writeFileBytes(rgbDv, fromRgb.frames);
        const QByteArray again = decode(planarDv, s.pixFmt);
        const QByteArray throughRgb = decode(rgbDv, s.pixFmt);
        ASSERT_EQ(again.size(), planar.size());
        ASSERT_EQ(throughRgb.size(), planar.size());
        const double direct = lumaPsnr(planar, again, luma);
        const double converted = lumaPsnr(planar, throughRgb, luma);
        EXPECT_GT(direct, 40.0);
        EXPECT_GT(direct, converted + 1.0) << "planar " << direct << " dB, via RGB24 " << converted;
    }
}

} // namespace
