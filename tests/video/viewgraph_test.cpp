// The preview graph on files made by ffmpeg and the RIFF builder: what the
// view is told for each kind of file, the pictures a seek shows against
// ffmpeg's own decode, the clamping and steps, and the volume curve.
#include "platform/media/filters/video_renderer.h"
#include "platform/media/graph.h"
#include "platform/media/interfaces.h"
#include "support/dvfiles.h"
#include "support/media_filters.h"
#include "support/tools.h"
#include "video/filters/dv_scenedetect.h"
#include "video/filters/dv_superposer.h"
#include "video/graphs/viewgraph.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace vidora {
namespace {

using namespace vidora::test;
using namespace std::chrono_literals;

// A view that records what the preview tells it.
class RecordingView final : public IPreviewView
{
public:
    QStringList calls;
    int slider = -1;
    std::shared_ptr<RecordingVideoSink> sink = std::make_shared<RecordingVideoSink>();

    void ShowVideoUnavailable(TVideoMessageCode code) override
    {
        calls << QStringLiteral("unavailable %1").arg(code);
    }
    void ShowAudioOnly(TVideoMessageCode code) override
    {
        calls << QStringLiteral("audio only %1").arg(code);
    }
    void ShowVideo() override { calls << QStringLiteral("video"); }
    void SetPositionSlider(int position) override { slider = position; }
    std::shared_ptr<media::IVideoSink> VideoSink() override { return sink; }
};

// Handles the GUI thread's events for a while (the graph's notices).
void settle(std::chrono::milliseconds time = 100ms)
{
    const QDeadlineTimer deadline(time);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

class Preview : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        qputenv("VIDORA_AUDIO_OUTPUT", "null");
        s_dir = std::make_unique<QTemporaryDir>();
        const QString dir = s_dir->path();
        s_pal1 = QDir(dir).filePath("pal-type1.avi");
        writeFileBytes(s_pal1, dvType1Avi(ffmpegRawDv(dir, {false, false, 30})));
        s_wide1 = QDir(dir).filePath("wide-type1.avi");
        writeFileBytes(s_wide1, dvType1Avi(ffmpegRawDv(dir, {false, true, 3})));
        const QString ntscRaw = QDir(dir).filePath("ntsc.dv");
        writeFileBytes(ntscRaw, ffmpegRawDv(dir, {true, false, 40}));
        s_ntsc2 = QDir(dir).filePath("ntsc-type2.avi");
        ffmpegDvType2Avi(ntscRaw, s_ntsc2);
        s_mjpeg = QDir(dir).filePath("mjpeg.avi");
        ffmpegMake({"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25", "-f", "lavfi", "-i",
                    "sine=sample_rate=44100", "-t", "1", "-c:v", "mjpeg", "-c:a", "pcm_s16le",
                    s_mjpeg});
        s_unknownCodec = QDir(dir).filePath("unknown-codec.avi");
        ffmpegMake({"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25", "-f", "lavfi", "-i",
                    "sine=sample_rate=44100", "-t", "1", "-c:v", "utvideo", "-c:a", "pcm_s16le",
                    s_unknownCodec});
        s_unknownSilent = QDir(dir).filePath("unknown-codec-silent.avi");
        ffmpegMake({"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25", "-t", "1", "-c:v",
                    "utvideo", s_unknownSilent});
        s_audio = QDir(dir).filePath("audio-only.avi");
        ffmpegMake({"-f", "lavfi", "-i", "sine=sample_rate=48000", "-t", "3", "-c:a", "pcm_s16le",
                    s_audio});
        s_text = QDir(dir).filePath("notes.avi");
        writeFileBytes(s_text, "These are notes, not a video.\n");
    }
    static void TearDownTestSuite() { s_dir.reset(); }

    static TPreviewEntry entry(const QString &path, bool dv, const QString &codec,
                               const QString &audio, double rate)
    {
        TPreviewEntry e;
        e.FileName = path;
        e.IsDv = dv;
        e.CodecText = codec;
        e.AudioText = audio;
        e.FrameRate = rate;
        return e;
    }
    static TPreviewEntry pal1() { return entry(s_pal1, true, "dvsd", "48000Hz 16 bits", 25); }

    // Opens the entry and lets the first frame through.
    bool open(const TPreviewEntry &e)
    {
        const std::size_t before = view.sink->frames().size();
        const bool opened = viewdm.OpenFile(&e, &view);
        if (opened && viewdm.HasVideo())
            view.sink->waitForFrames(before + 1, 2000ms);
        settle();
        return opened;
    }

    // ffmpeg's picture of frame `n`, BGR rows top first.
    static QImage ffmpegFrame(const QString &path, int n, QSize size)
    {
        const ToolResult decoded =
            runTool("ffmpeg", {"-hide_banner", "-loglevel", "error", "-i", path, "-vf",
                               QStringLiteral("select=eq(n\\,%1)").arg(n), "-vframes", "1", "-f",
                               "rawvideo", "-pix_fmt", "bgr24", "-"});
        EXPECT_EQ(decoded.exitCode, 0) << decoded.err.toStdString();
        QImage picture(size, QImage::Format_BGR888);
        if (decoded.out.size() != size.width() * size.height() * 3)
            return {};
        for (int y = 0; y < size.height(); ++y)
            std::memcpy(picture.scanLine(y), decoded.out.constData() + y * size.width() * 3,
                        std::size_t(size.width()) * 3);
        return picture;
    }

    // Pixels whose colour differs by more than a coding error.
    static int differingPixels(const QImage &a, const QImage &b)
    {
        if (a.size() != b.size())
            return -1;
        // pixel() reads any format; a conversion would run on Qt's thread
        // pool, which the thread checker cannot see into.
        const QImage &x = a;
        const QImage &y = b;
        int count = 0;
        for (int row = 0; row < x.height(); ++row)
            for (int col = 0; col < x.width(); ++col) {
                const QRgb p = x.pixel(col, row);
                const QRgb q = y.pixel(col, row);
                if (std::abs(qRed(p) - qRed(q)) > 40 || std::abs(qGreen(p) - qGreen(q)) > 40 ||
                    std::abs(qBlue(p) - qBlue(q)) > 40)
                    ++count;
            }
        return count;
    }

    QImage lastPicture() const
    {
        const auto frames = view.sink->frames();
        return frames.empty() ? QImage() : frames.back().frame.picture;
    }

    static std::unique_ptr<QTemporaryDir> s_dir;
    static QString s_pal1, s_wide1, s_ntsc2, s_mjpeg, s_unknownCodec, s_unknownSilent, s_audio,
        s_text;

    RecordingView view;
    SettingValues settings;
    Tviewdm viewdm;

    void SetUp() override { viewdm.SetSettings(&settings); }
};

std::unique_ptr<QTemporaryDir> Preview::s_dir;
QString Preview::s_pal1, Preview::s_wide1, Preview::s_ntsc2, Preview::s_mjpeg,
    Preview::s_unknownCodec, Preview::s_unknownSilent, Preview::s_audio, Preview::s_text;

TEST_F(Preview, WhatTheViewIsToldForEachKindOfFile)
{
    struct Case
    {
        const char *name;
        TPreviewEntry entry;
        bool opened;
        const char *shown;
        TVideoMessageCode code;
        bool video;
        bool audio;
    };
    const QString missing = QDir(s_dir->path()).filePath("missing.avi");
    const std::vector<Case> cases = {
        {"PAL type 1", pal1(), true, "video", 0, true, true},
        {"16:9 type 1", entry(s_wide1, true, "dvsd", "48000Hz", 25), true, "video", 0, true, true},
        {"NTSC type 2", entry(s_ntsc2, true, "dvsd", "48000Hz", 29.97), true, "video", 0, true,
         true},
        {"MJPEG with a decoder", entry(s_mjpeg, false, "MJPG", "44100Hz", 25), true, "video", 0,
         true, true},
        {"no decoder, audio playable", entry(s_unknownCodec, false, "ULY0", "44100Hz", 25), true,
         "audio only 6", 6, false, true},
        {"no decoder, audio not identified", entry(s_unknownSilent, false, "ULY0", "22050Hz", 25),
         false, "unavailable 7", 7, false, false},
        {"no decoder, no audio", entry(s_unknownSilent, false, "ULY0", "N/A", 25), false,
         "unavailable 8", 8, false, false},
        {"audio only", entry(s_audio, false, "N/A", "48000Hz", 0), true, "audio only 3", 3, false,
         true},
        {"a text file named .avi", entry(s_text, false, "N/A", "N/A", 0), false, "unavailable 4", 4,
         false, false},
        {"a text file flagged as DV", entry(s_text, true, "dvsd", "N/A", 25), false,
         "unavailable 4", 4, false, false},
        {"a missing file", entry(missing, true, "dvsd", "N/A", 25), false, "unavailable 1", 1,
         false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        view.calls.clear();
        EXPECT_EQ(open(c.entry), c.opened);
        EXPECT_EQ(viewdm.GraphReady(), c.opened);
        EXPECT_EQ(view.calls, QStringList{QString::fromLatin1(c.shown)});
        EXPECT_EQ(viewdm.VideoMessageCode(), c.code);
        EXPECT_EQ(viewdm.HasVideo(), c.video);
        EXPECT_EQ(viewdm.HasAudio(), c.audio);
        if (!c.video) {
            EXPECT_EQ(viewdm.FrameRate(), 0) << "no video, no frame rate";
        }
    }
}

TEST_F(Preview, TheGraphsOfEachKind)
{
    // Type 1: through the DV splitter; its audio rendered from there.
    ASSERT_TRUE(open(pal1()));
    auto *detector = viewdm.graph().FindFilterByName("vScenedetect");
    auto *overlay = viewdm.graph().FindFilterByName("superposer");
    ASSERT_NE(detector, nullptr);
    ASSERT_NE(overlay, nullptr);
    EXPECT_NE(viewdm.graph().FindFilterByName("DV Splitter"), nullptr);
    for (media::Pin *pin : overlay->pins())
        EXPECT_TRUE(pin->isConnected());

    // Type 2: the DV splitter is left out.
    ASSERT_TRUE(open(entry(s_ntsc2, true, "dvsd", "48000Hz", 29.97)));
    EXPECT_NE(viewdm.graph().FindFilterByName("vScenedetect"), nullptr);
    EXPECT_EQ(viewdm.graph().FindFilterByName("DV Splitter"), nullptr);

    // Another codec with a decoder: the overlay goes in front of the renderer.
    ASSERT_TRUE(open(entry(s_mjpeg, false, "MJPG", "44100Hz", 25)));
    overlay = viewdm.graph().FindFilterByName("superposer");
    ASSERT_NE(overlay, nullptr);
    for (media::Pin *pin : overlay->pins())
        EXPECT_TRUE(pin->isConnected());
    EXPECT_EQ(viewdm.graph().FindFilterByName("vScenedetect"), nullptr);
    viewdm.SeekTo(10);
    const QImage picture = lastPicture();
    EXPECT_EQ(picture.size(), QSize(320, 240));
    EXPECT_LT(differingPixels(picture, ffmpegFrame(s_mjpeg, 10, {320, 240})), 320 * 240 / 100);
}

TEST_F(Preview, SeekToShowsFfmpegsPictureOfTheFrameAndItsRecord)
{
    ASSERT_TRUE(open(pal1()));
    ASSERT_EQ(viewdm.StopPosition(), 30);
    for (const int n : {0, 1, 13, 29}) {
        SCOPED_TRACE(n);
        viewdm.SeekTo(n);
        const QImage shown = lastPicture();
        ASSERT_EQ(shown.size(), QSize(720, 576));
        const QImage reference = ffmpegFrame(s_pal1, n, {720, 576});
        const int same = differingPixels(shown, reference);
        EXPECT_LT(same, 720 * 576 / 200);
        // The file's first frames are alike (ffmpeg repeats its first
        // picture); later ones differ from the first.
        if (n >= 13) {
            EXPECT_GT(differingPixels(shown, ffmpegFrame(s_pal1, 0, {720, 576})), 10 * same + 1000);
        }
        // The detector read this very frame: 01:02:03:04 plus n frames.
        const TDvFrameInfo info = viewdm.SceneDetect().LastInfo();
        ASSERT_TRUE(info.HasTimecode);
        const int frames = 4 + n;
        EXPECT_EQ(info.Timecode.Seconds, 3 + frames / 25);
        EXPECT_EQ(info.Timecode.Frames, frames % 25);
        EXPECT_TRUE(info.HasDate);
        EXPECT_EQ(viewdm.CurrentPosition(), n);
        EXPECT_EQ(view.slider, n * 1000 / 30);
    }
}

TEST_F(Preview, SeeksClampToTheFile)
{
    ASSERT_TRUE(open(pal1()));
    const QImage last = ffmpegFrame(s_pal1, 29, {720, 576});
    const QImage first = ffmpegFrame(s_pal1, 0, {720, 576});
    struct Case
    {
        std::int64_t to;
        std::int64_t at;
    };
    for (const Case c : {Case{-5, 0}, Case{30, 29}, Case{1000, 29}, Case{0, 0}}) {
        SCOPED_TRACE(c.to);
        viewdm.SeekTo(c.to);
        EXPECT_EQ(viewdm.CurrentPosition(), c.at);
        EXPECT_LT(differingPixels(lastPicture(), c.at == 0 ? first : last), 720 * 576 / 200);
    }
    viewdm.SeekTo(10);
    viewdm.SeekBy(-20);
    EXPECT_EQ(viewdm.CurrentPosition(), 0);
    viewdm.SeekBy(100);
    EXPECT_EQ(viewdm.CurrentPosition(), 29);
}

TEST_F(Preview, StepsInFramesAt25And2997)
{
    for (const auto &[e, rate] :
         {std::pair{pal1(), 25}, std::pair{entry(s_ntsc2, true, "dvsd", "48000Hz", 29.97), 30}}) {
        SCOPED_TRACE(rate);
        ASSERT_TRUE(open(e));
        viewdm.SeekTo(0);
        int done = 0;
        viewdm.OnSeekDone = [&] { ++done; };
        viewdm.SeekBy(1);
        EXPECT_EQ(viewdm.CurrentPosition(), 1);
        viewdm.SeekBy(rate);
        EXPECT_EQ(viewdm.CurrentPosition(), 1 + rate);
        viewdm.SeekBy(-1);
        EXPECT_EQ(viewdm.CurrentPosition(), rate);
        EXPECT_EQ(done, 3);
        viewdm.OnSeekDone = nullptr;
    }
}

TEST_F(Preview, WithoutVideoPositionsAreTimesAndNothingWaits)
{
    ASSERT_TRUE(open(entry(s_audio, false, "N/A", "48000Hz", 0)));
    media::IMediaSeeking *seeking = viewdm.Seeking();
    ASSERT_NE(seeking, nullptr);
    EXPECT_EQ(seeking->GetTimeFormat(), media::TimeFormat::MediaTime);
    EXPECT_EQ(viewdm.StopPosition(), 30'000'000);
    viewdm.SeekTo(0);
    // The sound's position is the start of the chunk that holds it (ffmpeg
    // writes 1024 samples a chunk: 21.3 ms).
    constexpr std::int64_t kChunk = 1024 * 10'000'000LL / 48000;
    for (const std::int64_t step : {400'000LL, 10'000'000LL, -400'000LL}) {
        SCOPED_TRACE(step);
        const std::int64_t before = seeking->GetCurrentPosition().value_or(-1);
        viewdm.SeekByTime(step);
        const std::int64_t after = seeking->GetCurrentPosition().value_or(-1);
        EXPECT_LE(after, before + step);
        EXPECT_GT(after, before + step - kChunk);
    }
    viewdm.SeekByTime(600'000'000);
    EXPECT_GT(seeking->GetCurrentPosition().value_or(0), 30'000'000 - kChunk) << "clamped";
    viewdm.SeekByTime(-600'000'000);
    EXPECT_EQ(seeking->GetCurrentPosition(), 0);

    // No frame will come: the seeks do not wait for one.
    QElapsedTimer timer;
    timer.start();
    viewdm.SeekTo(10'000'000);
    viewdm.SeekBy(400'000);
    EXPECT_LT(timer.elapsed(), Tviewdm::kFrameWait.count() / 2);
}

TEST_F(Preview, AWaitEndsWhenAskedOrAtItsTimeOut)
{
    ASSERT_TRUE(open(pal1()));
    // The graph stopped behind the module's back: no frame comes.
    viewdm.graph().Stop();
    QElapsedTimer timer;
    timer.start();
    viewdm.SeekBy(1);
    const qint64 waited = timer.elapsed();
    EXPECT_GE(waited, Tviewdm::kFrameWait.count() - 50);
    EXPECT_LT(waited, Tviewdm::kFrameWait.count() * 3);

    // The abort actions end a pending wait at once.
    viewdm.graph().Stop();
    QTimer::singleShot(50, [&] { viewdm.EndFrameWait(); });
    timer.restart();
    viewdm.SeekBy(1);
    EXPECT_LT(timer.elapsed(), Tviewdm::kFrameWait.count() / 2);
}

TEST_F(Preview, ASeekDuringAWaitDoesNotWaitInsideIt)
{
    ASSERT_TRUE(open(pal1()));
    viewdm.graph().Stop(); // the outer wait gets no frame until the nested seek
    qint64 nestedTook = -1;
    QTimer::singleShot(20, [&] {
        QElapsedTimer nested;
        nested.start();
        viewdm.SeekTo(7); // pauses the graph: the frame comes
        nestedTook = nested.elapsed();
    });
    QElapsedTimer timer;
    timer.start();
    viewdm.SeekBy(1);
    EXPECT_GE(nestedTook, 0) << "the nested seek ran";
    EXPECT_LT(timer.elapsed(), Tviewdm::kFrameWait.count()) << "its frame ended the outer wait";
    EXPECT_EQ(viewdm.CurrentPosition(), 7);
}

TEST_F(Preview, PlaybackLoopsWhenTheCompletionIsBound)
{
    ASSERT_TRUE(open(pal1()));
    viewdm.SeekTo(25);
    viewdm.SetCompleteBound(true);
    ASSERT_TRUE(viewdm.Run());
    // Five frames to the end at 25 a second, then back to the start.
    bool looped = false;
    const QDeadlineTimer deadline(5000);
    while (!looped && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        looped = viewdm.CurrentPosition().value_or(30) < 20;
    }
    EXPECT_TRUE(looped);
    EXPECT_EQ(viewdm.graph().GetState(0ms).state, media::FilterState::Running);
}

// The open reports its pause through the event queue, and the report seeks
// to the start. A play asked for before the report came goes on playing.
TEST_F(Preview, APlayRightAfterTheOpenIsNotUndoneByTheOpensPause)
{
    const TPreviewEntry e = pal1();
    ASSERT_TRUE(viewdm.OpenFile(&e, &view));
    ASSERT_TRUE(viewdm.graph().GetState(2000ms).complete);
    ASSERT_TRUE(viewdm.Run()); // before any event is delivered
    const QDeadlineTimer deadline(400);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(viewdm.graph().GetState(0ms).state, media::FilterState::Running);
    EXPECT_GT(viewdm.CurrentPosition().value_or(0), 3);
}

TEST_F(Preview, PictureOfAFrameForTheSceneLists)
{
    ASSERT_TRUE(open(pal1()));
    const QImage thirteen = viewdm.PictureAt(13);
    ASSERT_EQ(thirteen.size(), QSize(720, 576));
    EXPECT_EQ(viewdm.CurrentPosition(), 13);
    EXPECT_EQ(viewdm.SceneDetect().LastInfo().Timecode.Frames, (4 + 13) % 25);
    const QImage first = viewdm.PictureAt(0);
    EXPECT_GT(differingPixels(thirteen, first), 10000);

    ASSERT_TRUE(open(entry(s_audio, false, "N/A", "48000Hz", 0)));
    EXPECT_TRUE(viewdm.PictureAt(0).isNull()) << "no video, no picture";
}

TEST_F(Preview, RefreshPassesThePausedFrameThroughTheOverlayAgain)
{
    ASSERT_TRUE(open(pal1()));
    viewdm.SeekTo(5);
    const std::size_t before = view.sink->frames().size();
    viewdm.Superposer().ClearFrameShown();
    viewdm.Refresh();
    const QDeadlineTimer deadline(2000);
    while (!viewdm.Superposer().FrameShown() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_TRUE(viewdm.Superposer().FrameShown());
    EXPECT_TRUE(view.sink->waitForFrames(before + 1, 2000ms));
    EXPECT_EQ(viewdm.CurrentPosition(), 5) << "the same frame";
}

TEST_F(Preview, CloseGraphReleasesTheFileUntilTheNextOpen)
{
    ASSERT_TRUE(open(pal1()));
    viewdm.CloseGraph();
    EXPECT_TRUE(viewdm.GraphClosed());
    EXPECT_FALSE(viewdm.GraphReady());
    EXPECT_TRUE(viewdm.graph().filters().empty());
    viewdm.SeekTo(3); // nothing happens without a graph

    view.calls.clear();
    EXPECT_FALSE(open(entry(s_text, true, "dvsd", "N/A", 25)));
    EXPECT_EQ(view.calls, QStringList{"unavailable 9"}) << "the file is taken by a command";

    // A successful open ends the hold: later failures tell their own code.
    ASSERT_TRUE(open(pal1()));
    EXPECT_FALSE(viewdm.GraphClosed());
    view.calls.clear();
    EXPECT_FALSE(open(entry(s_text, true, "dvsd", "N/A", 25)));
    EXPECT_EQ(view.calls, QStringList{"unavailable 4"});
}

TEST_F(Preview, OpenSetsVolumeOverlayAndDateOffset)
{
    settings.Volume = 5000;
    settings.IsIncrustOn = true;
    TPreviewEntry e = pal1();
    e.DateOffset = 1.5;
    ASSERT_TRUE(open(e));
    EXPECT_EQ(settings.Incrust.DateOffset, 1.5);
    EXPECT_TRUE(viewdm.Superposer().Settings().OverlayOn);
    int renderers = 0;
    for (media::Filter *filter : viewdm.graph().filters())
        if (auto *audio = filter->queryInterface<media::IBasicAudio>()) {
            ++renderers;
            EXPECT_EQ(audio->get_Volume(), PreviewVolume(5000));
        }
    EXPECT_EQ(renderers, 1);

    settings.IsMuteOn = true;
    ASSERT_TRUE(open(e));
    for (media::Filter *filter : viewdm.graph().filters())
        if (auto *audio = filter->queryInterface<media::IBasicAudio>()) {
            EXPECT_EQ(audio->get_Volume(), -10000);
        }
}

TEST_F(Preview, TheSoundIsKeptInTheSettingsAndPutOnTheRenderers)
{
    ASSERT_TRUE(open(pal1()));
    const auto heard = [&] {
        std::vector<std::int32_t> volumes;
        for (media::Filter *filter : viewdm.graph().filters())
            if (auto *audio = filter->queryInterface<media::IBasicAudio>())
                volumes.push_back(audio->get_Volume());
        return volumes;
    };
    using Volumes = std::vector<std::int32_t>;
    struct Step
    {
        const char *name;
        std::function<void()> run;
        int volume;  // the setting after the step
        bool muted;  // the setting after the step
        Volumes put; // the renderer's volume after it
    };
    const std::vector<Step> steps = {
        {"a volume", [&] { viewdm.SetVolume(2000); }, 2000, false, {PreviewVolume(2000)}},
        {"muted", [&] { viewdm.SetMute(true); }, 2000, true, {-10000}},
        {"a volume while muted", [&] { viewdm.SetVolume(7000); }, 7000, true, {-10000}},
        {"unmuted", [&] { viewdm.SetMute(false); }, 7000, false, {PreviewVolume(7000)}},
        {"silenced", [&] { viewdm.Silence(); }, 7000, false, {-10000}},
        {"the settings' sound again",
         [&] { viewdm.ApplyVolume(); },
         7000,
         false,
         {PreviewVolume(7000)}},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.name);
        step.run();
        EXPECT_EQ(settings.Volume, step.volume);
        EXPECT_EQ(settings.IsMuteOn, step.muted);
        EXPECT_EQ(heard(), step.put);
    }
}

TEST_F(Preview, StopAndTheStateOfTheGraph)
{
    ASSERT_TRUE(open(pal1()));
    ASSERT_TRUE(viewdm.graph().GetState(2000ms).complete);
    EXPECT_EQ(viewdm.State(), media::FilterState::Paused);
    EXPECT_FALSE(viewdm.Playing());
    ASSERT_TRUE(viewdm.Run());
    EXPECT_TRUE(viewdm.Playing());
    viewdm.Stop();
    EXPECT_EQ(viewdm.State(), media::FilterState::Stopped);
    EXPECT_FALSE(viewdm.Playing());
}

TEST(PreviewVolume, LogarithmicCurve)
{
    const std::vector<std::pair<int, std::int32_t>> cases = {
        {0, -10000}, {1, -9247}, {5000, -752}, {10000, 0}, {-5, -10000}, {20000, 0},
    };
    for (const auto &[linear, volume] : cases)
        EXPECT_EQ(PreviewVolume(linear), volume) << linear;
}

} // namespace
} // namespace vidora
