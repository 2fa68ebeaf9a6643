// The analysis and extraction graphs of the processing module, run through
// the command engine as the program runs them: the sound as a WAVE file,
// scenes by recording date and by content, and cutting a file into scenes,
// each checked against ffmpeg's reading of the same file.
#include "support/cdm_stage.h"

#include "files/avifichier.h"
#include "platform/media/dsfunctions_media.h"
#include "platform/media/seeking.h"
#include "support/avi_files.h"
#include "support/dvfiles.h"
#include "support/tools.h"
#include "video/filters/dv_scenedetect.h"
#include "video/filters/uscenedetectcontenu.h"

#include <mutex>
#include <utility>

namespace vidora::test {
namespace {

// What ffmpeg decodes from the first sound stream, as 16-bit PCM.
QByteArray FirstSoundPcm(const QString &path)
{
    const ToolResult run =
        runTool("ffmpeg", {"-v", "error", "-i", path, "-map", "0:a:0", "-f", "s16le", "-"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    return run.out;
}

// Where two byte strings part, for a readable failure; empty when equal.
std::string Difference(const QByteArray &actual, const QByteArray &expected)
{
    if (actual == expected)
        return {};
    qsizetype at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
        ++at;
    return "sizes " + std::to_string(actual.size()) + " and " + std::to_string(expected.size()) +
           ", first difference at byte " + std::to_string(at);
}

// One MD5 per decoded video frame.
QStringList VideoFrameHashes(const QString &path)
{
    const ToolResult run =
        runTool("ffmpeg", {"-v", "error", "-i", path, "-map", "0:v:0", "-f", "framemd5", "-"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    QStringList hashes;
    for (const auto &line : QString::fromUtf8(run.out).split('\n', Qt::SkipEmptyParts))
        if (!line.startsWith('#'))
            hashes << line.section(',', -1).trimmed();
    return hashes;
}

// Scenes as (first frame, end frame exclusive), collected on the streaming
// thread and read after the run.
class SceneLog
{
public:
    void Add(std::uint32_t start, std::uint32_t end)
    {
        std::lock_guard lock(m_mutex);
        m_scenes.emplace_back(start, end);
    }
    void End() { ++m_ends; }
    std::vector<std::pair<std::uint32_t, std::uint32_t>> Scenes() const
    {
        std::lock_guard lock(m_mutex);
        return m_scenes;
    }
    int Ends() const { return m_ends.load(); }

private:
    mutable std::mutex m_mutex;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> m_scenes; // guarded by m_mutex
    std::atomic<int> m_ends{0};
};

enum class DvType {
    Type1,
    Type2
};

class CdmExtract : public CdmStage
{};

class CdmAnalysis : public CdmStage, public ::testing::WithParamInterface<DvType>
{
protected:
    static constexpr int kClipFrames = 15;

    // Clips recorded at the given times, joined into one DV file of the
    // given type at Path("tape.avi"); the frame count, 0 on failure.
    int MakeTape(const QStringList &recorded, DvType type)
    {
        QByteArray raw;
        for (int i = 0; i < recorded.size(); ++i) {
            const QByteArray clip = makeRawDv(m_dir.path(), kClipFrames, false, recorded[i],
                                              QString("clip%1.dv").arg(i));
            if (clip.size() != kClipFrames * kPalFrame) {
                ADD_FAILURE() << "clip of " << clip.size() << " bytes";
                return 0;
            }
            raw += clip;
        }
        if (type == DvType::Type1) {
            writeFileBytes(Path("tape.avi"), dvType1Avi(raw));
        } else {
            // The sound in chunks of 2.5 frames, as capture software may
            // interleave it: a scene can start inside a sound chunk.
            writeFileBytes(Path("joined.dv"), raw);
            if (!makeType2Avi(Path("joined.dv"), Path("tape.avi"), {"-af", "asetnsamples=n=4800"}))
                return 0;
        }
        return int(raw.size() / kPalFrame);
    }

    void RecordScenes(SceneLog &scenes)
    {
        afterBuild = [&scenes](TCdm &m) {
            m.SceneDetect().SetOnScene([&scenes](const TDvFrameInfo &s, const TDvFrameInfo &e) {
                scenes.Add(s.FrameNumber, e.FrameNumber);
            });
            m.SceneDetect().SetOnEnd([&scenes] { scenes.End(); });
        };
    }
};

// --- the sound as a WAVE file ----------------------------------------------

TEST_P(CdmAnalysis, AudioExtractionWritesTheFirstSoundStream)
{
    ASSERT_GT(MakeTape({"2005-06-07T08:09:10Z"}, GetParam()), 0);
    outputFor = [this](const QString &) { return Path("tape.wav"); };
    afterBuild = [](TCdm &m) { SetAudioSampleRate(m.Acm1(), 48000); };
    ASSERT_TRUE(RunCommand(Path("tape.avi"), [](TCdm &m, const QString &s, const QString &o) {
        return m.BuildAudioExtractGraph(s, o);
    }));
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(dest.Names(), QStringList{"tape.wav"});
    const QStringList streams = probeStreams(Path("tape.wav"));
    ASSERT_EQ(streams.size(), 1);
    EXPECT_TRUE(streams[0].startsWith("pcm_s16le,audio,")) << streams[0].toStdString();
    const QByteArray expected = FirstSoundPcm(Path("tape.avi"));
    ASSERT_FALSE(expected.isEmpty());
    EXPECT_EQ(Difference(FirstSoundPcm(Path("tape.wav")), expected), "");
}

// A type-1 file whose DVINFO says 48 kHz 16-bit over frames of 32 kHz
// 12-bit four-channel sound, with the converter at the rate the list entry
// reads (as the command sets it): the WAVE has the frames' rate and length.
TEST_F(CdmExtract, AudioExtractionOfAType1FileHasTheRateOfItsFrames)
{
    constexpr int kFrames = 25; // one second, 1280 samples a frame
    writeFileBytes(
        Path("tape.avi"),
        dvType1Avi(builtDvFrames(DvStandard::Pal, kFrames, DvSound{32000, true}), kPal48kDvInfo));
    const auto entry = TaviFichier::Create(Path("tape.avi"), TaviReading{});
    const std::uint32_t rate = entry->Data().audioSampleRate;
    outputFor = [this](const QString &) { return Path("tape.wav"); };
    afterBuild = [rate](TCdm &m) { SetAudioSampleRate(m.Acm1(), rate); };
    ASSERT_TRUE(RunCommand(Path("tape.avi"), [](TCdm &m, const QString &s, const QString &o) {
        return m.BuildAudioExtractGraph(s, o);
    }));
    EXPECT_TRUE(Errors().empty());
    const ToolResult probe =
        runTool("ffprobe", {"-v", "error", "-show_entries", "stream=sample_rate,channels,duration",
                            "-of", "csv=p=0", Path("tape.wav")});
    EXPECT_EQ(QString::fromUtf8(probe.out).trimmed(), "32000,2,1.000000");
}

TEST_F(CdmExtract, AudioExtractionTakesOnlyTheFirstOfTwoSoundStreams)
{
    ASSERT_FALSE(makeRawDv(m_dir.path(), 15).isEmpty());
    const ToolResult made = runTool(
        "ffmpeg",
        {"-v",           "error",        "-y",
         "-i",           Path("raw.dv"), "-f",
         "lavfi",        "-i",           "sine=frequency=1000:sample_rate=48000:duration=0.6",
         "-map",         "0:v",          "-map",
         "0:a",          "-map",         "1:a",
         "-c:v",         "copy",         "-c:a",
         "pcm_s16le",    "-ac",          "2",
         Path("two.avi")});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    outputFor = [this](const QString &) { return Path("two.wav"); };
    afterBuild = [](TCdm &m) { SetAudioSampleRate(m.Acm1(), 48000); };
    ASSERT_TRUE(RunCommand(Path("two.avi"), [](TCdm &m, const QString &s, const QString &o) {
        return m.BuildAudioExtractGraph(s, o);
    }));
    EXPECT_TRUE(Errors().empty());
    const QByteArray expected = FirstSoundPcm(Path("two.avi"));
    ASSERT_FALSE(expected.isEmpty());
    EXPECT_EQ(Difference(FirstSoundPcm(Path("two.wav")), expected), "");
}

TEST_F(CdmExtract, AudioExtractionOfASoundOnlyFileGoesThroughTheTee)
{
    const ToolResult made = runTool("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i",
                                               "sine=frequency=300:sample_rate=44100:duration=1",
                                               "-ac", "2", "-c:a", "pcm_s16le", Path("sound.avi")});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    outputFor = [this](const QString &) { return Path("sound.wav"); };
    ASSERT_TRUE(RunCommand(Path("sound.avi"), [](TCdm &m, const QString &s, const QString &o) {
        media::IMediaSeeking *seeking = m.BuildAudioExtractGraph(s, o);
        EXPECT_EQ(m.Acm1()->pin(0)->isConnected(), false);
        return seeking;
    }));
    EXPECT_TRUE(Errors().empty());
    const QByteArray expected = FirstSoundPcm(Path("sound.avi"));
    ASSERT_EQ(expected.size(), 44100 * 4);
    EXPECT_EQ(Difference(FirstSoundPcm(Path("sound.wav")), expected), "");
}

// --- scenes by recording date ----------------------------------------------

TEST_P(CdmAnalysis, ScenesByDateBreakExactlyWhereTheRecordingTimeJumps)
{
    const int frames = MakeTape(
        {"2005-06-07T08:09:10Z", "2005-06-07T11:00:00Z", "2006-01-02T10:00:00Z"}, GetParam());
    ASSERT_EQ(frames, 3 * kClipFrames);
    SceneLog scenes;
    RecordScenes(scenes);
    ASSERT_TRUE(RunCommand(Path("tape.avi"), [](TCdm &m, const QString &s, const QString &) {
        return m.BuildScnByDateGraph(s);
    }));
    EXPECT_TRUE(Errors().empty());
    using Scenes = std::vector<std::pair<std::uint32_t, std::uint32_t>>;
    EXPECT_EQ(scenes.Scenes(), (Scenes{{0, 15}, {15, 30}, {30, 45}}));
    EXPECT_EQ(scenes.Ends(), 1);
}

// --- scenes by picture content ---------------------------------------------

TEST_F(CdmExtract, ScenesByContentBreakAtTheHardCuts)
{
    const QString sources[] = {"testsrc", "smptebars", "rgbtestsrc"};
    QStringList args{"-v", "error", "-y"};
    for (const QString &s : sources)
        args << "-f"
             << "lavfi"
             << "-i" << s + "=size=720x576:rate=25:duration=1";
    args << "-filter_complex"
         << "[0][1][2]concat=n=3:v=1:a=0"
         << "-c:v"
         << "dvvideo"
         << "-pix_fmt"
         << "yuv420p" << Path("cuts.avi");
    const ToolResult made = runTool("ffmpeg", args);
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();

    std::mutex mutex;
    std::vector<std::int32_t> breaks; // guarded by mutex
    std::atomic<int> ends{0};
    afterBuild = [&](TCdm &m) {
        m.SceneDetectContenu().SetOnScene([&](std::int32_t frame) {
            std::lock_guard lock(mutex);
            breaks.push_back(frame);
        });
        m.SceneDetectContenu().SetOnEnd([&] { ++ends; });
    };
    ASSERT_TRUE(RunCommand(Path("cuts.avi"), [](TCdm &m, const QString &s, const QString &) {
        return m.BuildScnByContenuGraph(s);
    }));
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(ends.load(), 1);
    std::lock_guard lock(mutex);
    // The first picture (compared with nothing), the cuts, then the end of
    // the last scene at the last frame's number.
    ASSERT_EQ(breaks.size(), 4u) << ::testing::PrintToString(breaks);
    EXPECT_EQ(breaks[0], 0);
    EXPECT_NEAR(breaks[1], 25, 1);
    EXPECT_NEAR(breaks[2], 50, 1);
    EXPECT_EQ(breaks[3], 74);
}

// --- files that give no graph ----------------------------------------------

TEST_F(CdmExtract, AGraphThatCannotReachItsRendererIsNotBuilt)
{
    // A DV file without sound, and a sound-only file.
    ASSERT_FALSE(makeRawDv(m_dir.path(), 10).isEmpty());
    ASSERT_TRUE(makeType2Avi(Path("raw.dv"), Path("mute.avi"), {"-an"}));
    const ToolResult made =
        runTool("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "sine=duration=0.5", "-c:a",
                           "pcm_s16le", Path("sound.avi")});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();

    struct Case
    {
        const char *what;
        const char *source;
        Builder build;
    };
    const Case cases[] = {
        {"sound of a mute file", "mute.avi",
         [](TCdm &m, const QString &s, const QString &o) {
             return m.BuildAudioExtractGraph(s, o);
         }},
        {"date scenes of a sound file", "sound.avi",
         [](TCdm &m, const QString &s, const QString &) { return m.BuildScnByDateGraph(s); }},
        {"content scenes of a sound file", "sound.avi",
         [](TCdm &m, const QString &s, const QString &) { return m.BuildScnByContenuGraph(s); }},
        {"subtitles of a file that is not AVI", "raw.dv",
         [](TCdm &m, const QString &s, const QString &) { return m.BuildSrtGraph(s); }},
    };
    for (const Case &c : cases) {
        outputFor = [this](const QString &) { return Path("out.wav"); };
        bool built = true;
        ASSERT_TRUE(RunCommand(Path(c.source), [&](TCdm &m, const QString &s, const QString &o) {
            media::IMediaSeeking *seeking = c.build(m, s, o);
            built = seeking != nullptr;
            return seeking;
        })) << c.what;
        EXPECT_FALSE(built) << c.what;
        EXPECT_FALSE(QFile::exists(Path("out.wav"))) << c.what;
        EXPECT_TRUE(dest.Names().isEmpty()) << c.what;
    }
}

// --- cutting into scenes ----------------------------------------------------

TEST_P(CdmAnalysis, CuttingWritesEachSceneAsTheMatchingSliceOfTheSource)
{
    ASSERT_EQ(MakeTape({"2005-06-07T08:09:10Z", "2006-01-02T10:00:00Z"}, GetParam()),
              2 * kClipFrames);
    const QStringList sourceHashes = VideoFrameHashes(Path("tape.avi"));
    ASSERT_EQ(sourceHashes.size(), 2 * kClipFrames);
    const bool type2 = GetParam() == DvType::Type2;
    afterBuild = [](TCdm &m) {
        SetAudioSampleRate(m.Acm1(), 48000);
        SetAudioSampleRate(m.Acm2(), 48000);
    };

    // Each scene's sound is the same slice of the source's decoded sound.
    const QByteArray sound = FirstSoundPcm(Path("tape.avi"));
    constexpr qsizetype kFrameSound = 1920 * 4; // 48 kHz stereo 16-bit at 25 frames a second
    ASSERT_EQ(sound.size(), 2 * kClipFrames * kFrameSound);

    struct Scene
    {
        int start, end; // frames, end exclusive
    };
    const std::int64_t frameTime = 400000; // 10,000,000 / 25 frames a second
    for (const Scene scene : {Scene{5, 18}, Scene{18, 30}}) {
        const QString name = QString("scene_%1.avi").arg(scene.start);
        outputFor = [&](const QString &) { return Path(name); };
        ASSERT_TRUE(
            RunCommand(Path("tape.avi"),
                       [&](TCdm &m, const QString &s, const QString &o) -> media::IMediaSeeking * {
                           const std::int64_t start = scene.start * frameTime;
                           const std::int64_t stop = scene.end * frameTime;
                           command.Debut = start;
                           command.Duree = stop - start;
                           media::IMediaSeeking *seeking = type2 ? m.BuildCutSceneGraphType2(s, o)
                                                                 : m.BuildCutSceneGraphType1(s, o);
                           if (seeking != nullptr) {
                               EXPECT_TRUE(m.graph().seeking().SetPositions(start, stop));
                           }
                           return seeking;
                       }));
        EXPECT_TRUE(Errors().empty());
        EXPECT_EQ(VideoFrameHashes(Path(name)),
                  sourceHashes.mid(scene.start, scene.end - scene.start))
            << name.toStdString();
        EXPECT_EQ(decodeErrors(Path(name)), QString());
        const QStringList streams = probeStreams(Path(name));
        ASSERT_EQ(streams.size(), 2) << streams.join(';').toStdString();
        EXPECT_TRUE(streams[1].startsWith("pcm_s16le,audio,")) << streams[1].toStdString();
        EXPECT_EQ(Difference(FirstSoundPcm(Path(name)),
                             sound.mid(scene.start * kFrameSound,
                                       (scene.end - scene.start) * kFrameSound)),
                  "")
            << name.toStdString();
    }
}

TEST_F(CdmExtract, CuttingAType2FileWithoutSoundKeepsTheSourceConnected)
{
    ASSERT_FALSE(makeRawDv(m_dir.path(), 20).isEmpty());
    ASSERT_TRUE(makeType2Avi(Path("raw.dv"), Path("mute.avi"), {"-an"}));
    const QStringList sourceHashes = VideoFrameHashes(Path("mute.avi"));
    ASSERT_GE(sourceHashes.size(), 15);
    outputFor = [this](const QString &) { return Path("scene.avi"); };
    ASSERT_TRUE(RunCommand(Path("mute.avi"), [&](TCdm &m, const QString &s, const QString &o) {
        command.Debut = 2 * 400000;
        command.Duree = 10 * 400000;
        media::IMediaSeeking *seeking = m.BuildCutSceneGraphType2(s, o);
        if (seeking != nullptr)
            m.graph().seeking().SetPositions(2 * 400000, 12 * 400000);
        return seeking;
    }));
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(VideoFrameHashes(Path("scene.avi")), sourceHashes.mid(2, 10));
}

INSTANTIATE_TEST_SUITE_P(Types, CdmAnalysis, ::testing::Values(DvType::Type1, DvType::Type2),
                         [](const auto &caseInfo) {
                             return caseInfo.param == DvType::Type1 ? "Type1" : "Type2";
                         });

} // namespace
} // namespace vidora::test
