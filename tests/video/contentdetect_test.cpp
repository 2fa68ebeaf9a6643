// The content-based scene detector and the media-time stamper: sampling, the
// threshold against the recent frames, the reports at start and end of a run,
// and a real file with hard cuts decoded by ffmpeg.
#include "support/tools.h"
#include "video/filters/contentdetect.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

using namespace vidora;
using namespace vidora::test;

namespace {

using Detector = SceneDetectContenuCore;
constexpr int kStep = Detector::kSampleStep;

// What a run reported, in order: a frame number per scene report, -1 for OnEnd.
struct Reports
{
    std::vector<std::int32_t> calls;

    void attach(Detector &detector)
    {
        detector.SetOnScene([this](std::int32_t frame) { calls.push_back(frame); });
        detector.SetOnEnd([this] { calls.push_back(-1); });
    }
};

// A picture of `samples` sampled bytes (length samples × 397), whose sampled
// bytes are all `level`.
std::vector<std::uint8_t> picture(int samples, std::uint8_t level)
{
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(samples) * kStep, 0);
    for (std::size_t i = 0; i < bytes.size(); i += kStep)
        bytes[i] = level;
    return bytes;
}

// The next picture: the first `changed` sampled bytes toggled between 0 and 100.
std::vector<std::uint8_t> changeSamples(std::vector<std::uint8_t> bytes, int changed)
{
    for (int i = 0; i < changed; ++i) {
        std::uint8_t &b = bytes[static_cast<std::size_t>(i) * kStep];
        b = b == 0 ? 100 : 0;
    }
    return bytes;
}

TEST(ContentDetect, SamplesOneByteIn397)
{
    Detector detector;
    detector.StartStreaming();
    const std::vector<std::uint8_t> pal(720 * 576 * 3, 0);
    ContentChange c = detector.Transform(pal);
    EXPECT_EQ(c.count, 3133);
    EXPECT_EQ(c.sampled, 3134); // positions 0 to 3133 × 397
    c = detector.Transform(std::vector<std::uint8_t>(10001 * kStep + 5, 0));
    EXPECT_EQ(c.count, 10000);
    EXPECT_EQ(c.sampled, 10000);
    c = detector.Transform(std::vector<std::uint8_t>(396, 0));
    EXPECT_EQ(c.count, 0);
    EXPECT_EQ(c.sampled, 1);
    c = detector.Transform({});
    EXPECT_EQ(c.sampled, 0);
    EXPECT_FALSE(c.scene);
}

TEST(ContentDetect, OnlySampledBytesThatMoveByMoreThan16Count)
{
    Detector detector;
    detector.StartStreaming();
    std::vector<std::uint8_t> bytes = picture(100, 100);
    detector.Transform(bytes);
    struct Step
    {
        int sample;
        int value;
        int changed;
    };
    // Each step writes one sampled byte and compares with the picture before.
    const Step steps[] = {{0, 116, 0}, {0, 100, 0}, {0, 117, 1}, {0, 100, 1},
                          {1, 83, 1},  {1, 84, 0},  {2, 255, 1}};
    for (const Step &s : steps) {
        bytes[static_cast<std::size_t>(s.sample) * kStep] = static_cast<std::uint8_t>(s.value);
        EXPECT_EQ(detector.Transform(bytes).changed, s.changed)
            << "sample " << s.sample << " to " << s.value;
    }
    bytes[1] = 255; // not a sampled position
    EXPECT_EQ(detector.Transform(bytes).changed, 0);
}

struct ThresholdCase
{
    const char *name;
    std::array<int, 3> history; // changed counts of the three frames before, oldest first
    int changed;
    bool scene;
};

void PrintTo(const ThresholdCase &c, std::ostream *os)
{
    *os << c.name;
}

// Pictures of 1500 sampled bytes: more than 450 must change.
// clang-format off
const ThresholdCase kThresholds[] = {
    {"QuietHistory451",       {0, 0, 0},       451, true},
    {"QuietHistory450",       {0, 0, 0},       450, false},
    {"StandsOut601",          {100, 200, 300}, 601, true},
    {"DoesNotStandOut600",    {100, 200, 300}, 600, false},
    {"OldestCountsToo",       {300, 0, 0},     600, false},
    {"OldestCounts601",       {300, 0, 0},     601, true},
    {"NewestCounts",          {0, 0, 300},     600, false},
    {"SlowPan",               {700, 700, 700}, 1400, false},
    {"AllChanged",            {0, 0, 0},       1500, true},
    {"NothingChanged",        {0, 0, 0},       0, false},
};
// clang-format on

class ContentThresholds : public ::testing::TestWithParam<ThresholdCase>
{};

TEST_P(ContentThresholds, SceneWhenTheChangeStandsOut)
{
    const ThresholdCase &c = GetParam();
    Detector detector;
    Reports reports;
    reports.attach(detector);
    detector.StartStreaming();
    std::vector<std::uint8_t> bytes = picture(1500, 0);
    ASSERT_EQ(detector.Transform(bytes).changed, 0);
    for (int past : c.history) {
        bytes = changeSamples(std::move(bytes), past);
        const ContentChange step = detector.Transform(bytes);
        ASSERT_EQ(step.changed, past);
        ASSERT_EQ(step.count, 1500);
    }
    const std::size_t before = reports.calls.size();
    bytes = changeSamples(std::move(bytes), c.changed);
    const ContentChange result = detector.Transform(bytes);
    EXPECT_EQ(result.changed, c.changed);
    EXPECT_EQ(result.scene, c.scene);
    EXPECT_EQ(reports.calls.size(), before + (c.scene ? 1 : 0));
}

INSTANTIATE_TEST_SUITE_P(ContentDetect, ContentThresholds, ::testing::ValuesIn(kThresholds),
                         [](const auto &caseInfo) { return std::string(caseInfo.param.name); });

TEST(ContentDetect, IdenticalPicturesNeverReport)
{
    Detector detector;
    Reports reports;
    reports.attach(detector);
    detector.StartStreaming();
    const std::vector<std::uint8_t> black = picture(3000, 0);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(detector.Transform(black).changed, 0);
    EXPECT_TRUE(reports.calls.empty());
}

TEST(ContentDetect, ReportsTheStampersFrameNumber)
{
    MediaStamperCore stamper;
    Detector detector(&stamper);
    Reports reports;
    reports.attach(detector);
    stamper.StartStreaming();
    detector.StartStreaming();
    // The first picture is compared with zero bytes: a bright one is a scene.
    // Three quiet frames after it, so that the next cut stands out again.
    for (std::int64_t frame = 0; frame < 4; ++frame) {
        stamper.Receive(frame, frame + 1);
        detector.Transform(picture(1000, 200));
    }
    stamper.Receive(std::int64_t{0x100000007}, std::int64_t{0x100000008});
    detector.Transform(picture(1000, 0));
    EXPECT_EQ(reports.calls, (std::vector<std::int32_t>{0, 7}));
    EXPECT_TRUE(detector.Stop());
    EXPECT_EQ(reports.calls, (std::vector<std::int32_t>{0, 7, 7, -1}));
}

// Where a queue lies between the stamper and the detector (a DV splitter's
// own thread), the stamper has seen frames the detector has not: a picture
// that carries its frame number is reported with it, also at the end, and
// the stamper stands in only for pictures without one.
TEST(ContentDetect, APicturesOwnFrameNumberComesBeforeTheStampers)
{
    MediaStamperCore stamper;
    Detector detector(&stamper);
    Reports reports;
    reports.attach(detector);
    stamper.StartStreaming();
    detector.StartStreaming();
    struct Step
    {
        std::uint8_t level;
        std::optional<std::int64_t> own; // the picture's frame number
    };
    // The stamper is three frames ahead of each picture.
    const Step steps[] = {{200, 0}, {200, 1}, {200, 2}, {200, 3},           {0, 4},
                          {0, 5},   {0, 6},   {0, 7},   {200, std::nullopt}};
    std::int64_t frame = 0;
    for (const Step &step : steps) {
        stamper.Receive(frame + 3, frame + 4);
        detector.Transform(picture(1000, step.level), step.own);
        ++frame;
    }
    // The first picture, the cut at 4, and the one without a number at the
    // stamper's 11.
    EXPECT_EQ(reports.calls, (std::vector<std::int32_t>{0, 4, 11}));
    detector.StartStreaming();
    reports.calls.clear();
    detector.Transform(picture(1000, 0), 41);
    EXPECT_TRUE(detector.Stop());
    EXPECT_EQ(reports.calls, (std::vector<std::int32_t>{41, -1}));
}

TEST(ContentDetect, EachRunStartsAfreshAndReportsItsEndOnce)
{
    MediaStamperCore stamper;
    Detector detector(&stamper);
    Reports reports;
    reports.attach(detector);
    const std::vector<std::uint8_t> bright = picture(1000, 200);

    stamper.StartStreaming();
    detector.StartStreaming();
    stamper.Receive(0, 1);
    detector.Transform(bright);
    stamper.Receive(41, 42);
    detector.Transform(bright);
    EXPECT_TRUE(detector.Stop());
    EXPECT_FALSE(detector.Stop()) << "a second stop reports nothing";
    EXPECT_EQ(reports.calls, (std::vector<std::int32_t>{0, 41, -1}));

    // The next run's first picture is compared with zero bytes again, not
    // with the last picture of the run before.
    reports.calls.clear();
    stamper.StartStreaming();
    detector.StartStreaming();
    stamper.Receive(0, 1);
    EXPECT_TRUE(detector.Transform(bright).scene);
    EXPECT_TRUE(detector.Stop());
    EXPECT_EQ(reports.calls, (std::vector<std::int32_t>{0, 0, -1}));

    // A run that saw no picture still ends with one report, of frame 0.
    reports.calls.clear();
    stamper.StartStreaming();
    detector.StartStreaming();
    EXPECT_TRUE(detector.Stop());
    EXPECT_EQ(reports.calls, (std::vector<std::int32_t>{0, -1}));
}

TEST(ContentDetect, UnsetCallbacksAndNoStamper)
{
    Detector detector;
    EXPECT_FALSE(detector.Stop()) << "no run was started";
    detector.StartStreaming();
    EXPECT_TRUE(detector.Transform(picture(100, 200)).scene); // reported to nobody
    EXPECT_TRUE(detector.Stop());

    // Without a stamper, frames are counted from the start of streaming.
    Reports reports;
    reports.attach(detector);
    detector.StartStreaming();
    detector.Transform(picture(100, 0));
    detector.Transform(picture(100, 0));
    detector.Transform(picture(100, 200));
    detector.Transform(picture(100, 200));
    detector.Stop();
    EXPECT_EQ(reports.calls, (std::vector<std::int32_t>{2, 3, -1}));

    reports.calls.clear();
    detector.SetOnScene({});
    detector.SetOnEnd({});
    detector.StartStreaming();
    detector.Transform(picture(100, 200));
    detector.Stop();
    EXPECT_TRUE(reports.calls.empty());
}

TEST(MediaStamper, KeepsTheLastMediaTimes)
{
    MediaStamperCore stamper;
    EXPECT_EQ(stamper.MediaStart(), 0);
    stamper.Receive(12, 13);
    EXPECT_EQ(stamper.MediaStart(), 12);
    EXPECT_EQ(stamper.MediaEnd(), 13);
    stamper.Receive(std::nullopt, std::nullopt); // a sample without media times
    EXPECT_EQ(stamper.MediaStart(), 12);
    EXPECT_EQ(stamper.MediaEnd(), 13);
    stamper.Receive(std::int64_t{0x1FFFFFFFF}, std::nullopt);
    EXPECT_EQ(stamper.MediaStart(), 0x1FFFFFFFF);
    EXPECT_EQ(stamper.MediaEnd(), 13);
    EXPECT_EQ(stamper.FrameNumber(), -1); // the low 32 bits, as a signed number
    stamper.StartStreaming();
    EXPECT_EQ(stamper.MediaStart(), 0);
    EXPECT_EQ(stamper.MediaEnd(), 0);
}

// A DV file with hard colour cuts at frames 25 and 60, made and decoded by
// ffmpeg, frame by frame through the stamper and the detector.
TEST(ContentDetect, FindsTheCutsOfARealFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString video = dir.filePath(QStringLiteral("cuts.avi"));
    const QString raw = dir.filePath(QStringLiteral("cuts.bgr"));
    const QString graph =
        QStringLiteral("color=c=black:s=720x576:r=25:d=1[a];color=c=red:s=720x576:r=25:d=1.4[b];"
                       "color=c=blue:s=720x576:r=25:d=1.2[c];[a][b][c]concat=n=3:v=1:a=0[v]");
    const ToolResult made =
        runTool(QStringLiteral("ffmpeg"), {"-v", "error", "-y", "-filter_complex", graph, "-map",
                                           "[v]", "-c:v", "dvvideo", "-pix_fmt", "yuv420p", video});
    if (!made.started)
        FAIL() << "ffmpeg is not installed (scripts/setup installs it)";
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    const ToolResult decoded =
        runTool(QStringLiteral("ffmpeg"),
                {"-v", "error", "-y", "-i", video, "-f", "rawvideo", "-pix_fmt", "bgr24", raw});
    ASSERT_EQ(decoded.exitCode, 0) << decoded.err.toStdString();

    QFile frames(raw);
    ASSERT_TRUE(frames.open(QIODevice::ReadOnly));
    const qint64 frameBytes = 720 * 576 * 3;
    ASSERT_EQ(frames.size(), 90 * frameBytes);

    MediaStamperCore stamper;
    Detector detector(&stamper);
    Reports reports;
    reports.attach(detector);
    stamper.StartStreaming();
    detector.StartStreaming();
    for (std::int64_t frame = 0; frame < 90; ++frame) {
        const QByteArray bytes = frames.read(frameBytes);
        ASSERT_EQ(bytes.size(), frameBytes);
        stamper.Receive(frame, frame + 1);
        detector.Transform(
            {reinterpret_cast<const std::uint8_t *>(bytes.constData()), std::size_t(bytes.size())});
    }
    detector.Stop();
    EXPECT_EQ(reports.calls, (std::vector<std::int32_t>{25, 60, 89, -1}));
}

} // namespace
