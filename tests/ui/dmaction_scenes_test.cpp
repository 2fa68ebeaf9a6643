// The scene commands on real DV files: scene files by recording date (files
// joined from recordings of different dates), at fixed intervals, cutting
// into scenes (each file's frames and sound against the matching slice of
// the source, decoded by ffmpeg), the listing export and the companions'
// deletion.
#include "dmaction_stage.h"

#include "formats/dvcodes.h"
#include "scenes/scenefile.h"
#include "scenes/scenelist.h"
#include "support/isolatedhome.h"

namespace vidora::test {
namespace {

constexpr int kFrameBytes = 144000;

// 75 PAL frames: three recordings of 30, 30 and 15 frames with their own
// dates, joined.
QByteArray JoinedRecordings(const QString &dir)
{
    QByteArray raw = ffmpegRawDv(dir, {.frames = 75});
    if (raw.size() != 75 * kFrameBytes)
        return {};
    const TDvRecDateTime dates[] = {
        {2005, 6, 7, 8, 9, 10}, {2006, 1, 1, 12, 0, 0}, {2007, 7, 14, 18, 30, 0}};
    for (int f = 0; f < 75; ++f) {
        TDvRecDateTime d = dates[f < 30 ? 0 : f < 60 ? 1 : 2];
        d.Second = static_cast<std::uint8_t>(d.Second + (f % 30) / 25);
        auto *frame = reinterpret_cast<std::uint8_t *>(raw.data()) + f * kFrameBytes;
        WriteDvRecDateTime(std::span<std::uint8_t>(frame, kFrameBytes), 12, d);
    }
    return raw;
}

struct Scene
{
    std::uint32_t start, end;
};

std::vector<Scene> ScenesOf(const QString &video)
{
    TSceneList list;
    EXPECT_TRUE(LoadScnFile(CompanionFileName(video, ".scn"), list, TSceneContext{}));
    std::vector<Scene> scenes;
    for (const TSceneItem &item : list)
        scenes.push_back({item.Scene->StartFrame, item.Scene->EndFrame});
    return scenes;
}

bool operator==(const Scene &a, const Scene &b)
{
    return a.start == b.start && a.end == b.end;
}

void PrintTo(const Scene &s, std::ostream *os)
{
    *os << "[" << s.start << ", " << s.end << ")";
}

// ffmpeg's decoding: one MD5 per video frame, and the sound as 16-bit PCM.
QStringList FrameHashes(const QString &path)
{
    const ToolResult r =
        runTool("ffmpeg", {"-v", "error", "-i", path, "-map", "0:v:0", "-f", "framemd5", "-"});
    QStringList hashes;
    for (const QString &line : QString::fromUtf8(r.out).split('\n'))
        if (!line.startsWith('#') && !line.trimmed().isEmpty())
            hashes << line.section(',', -1).trimmed();
    return hashes;
}

QByteArray Sound(const QString &path)
{
    return runTool("ffmpeg", {"-v", "error", "-i", path, "-map", "0:a:0", "-f", "s16le", "-acodec",
                              "pcm_s16le", "-"})
        .out;
}

class SceneCommands : public DmActionStage
{
protected:
    QString Joined(int type, bool sound = true)
    {
        const QByteArray raw = JoinedRecordings(Path(""));
        EXPECT_FALSE(raw.isEmpty());
        const QString video =
            Path(QStringLiteral("joined%1%2.avi").arg(type).arg(sound ? "" : "mute"));
        if (type == 1) {
            writeFileBytes(video, dvType1Avi(raw));
        } else {
            const QString rawPath = Path("joined.dv");
            writeFileBytes(rawPath, raw);
            EXPECT_TRUE(ffmpegDvType2Avi(rawPath, video, sound));
        }
        return video;
    }
};

TEST_F(SceneCommands, ScenesByDateBreakAtTheJoins)
{
    for (int type : {1, 2}) {
        const QString video = Joined(type);
        AddEntry(video);
        ASSERT_TRUE(Run("CreerScnByDate")) << type;
        EXPECT_TRUE(Errors().empty());
        EXPECT_EQ(ScenesOf(video), (std::vector<Scene>{{0, 30}, {30, 60}, {60, 75}})) << type;
        source.Clear();
    }
}

TEST_F(SceneCommands, ScenesAtFixedIntervalsAndNoneForAnIntervalOfZero)
{
    const QString video = Joined(1);
    AddEntry(video);
    ASSERT_TRUE(Run("CreerScnByIntervalle", {"1"}));
    EXPECT_EQ(ScenesOf(video), (std::vector<Scene>{{0, 25}, {25, 50}, {50, 75}}));
    questions.Script({TModalResult::mrYes}); // the existing scene file is replaced
    ASSERT_TRUE(Run("CreerScnByIntervalle", {"2"}));
    EXPECT_EQ(ScenesOf(video), (std::vector<Scene>{{0, 50}, {50, 75}}));

    QFile::remove(CompanionFileName(video, ".scn"));
    for (const char *interval : {"0", "-5", "x"}) {
        questions.Script({});
        Run("CreerScnByIntervalle", {interval});
        EXPECT_FALSE(QFile::exists(CompanionFileName(video, ".scn"))) << interval;
    }
}

// Hard cuts between visibly different pictures (a moving test picture,
// plain colours, colour bars) away from whole seconds: every scene boundary
// lies within one frame of a cut, and the scenes cover the file.
TEST_F(SceneCommands, ScenesByContentBreakWithinAFrameOfTheHardCuts)
{
    const int cuts[] = {17, 40, 60};
    const int frames = 75;
    const QString raw = Path("cuts.dv");
    ASSERT_TRUE(ffmpegMake({"-f", "lavfi", "-i",
                            "testsrc=size=720x576:rate=25:duration=0.68[a];"
                            "color=c=0x2040c0:size=720x576:rate=25:duration=0.92[b];"
                            "smptebars=size=720x576:rate=25:duration=0.8[c];"
                            "color=c=orange:size=720x576:rate=25:duration=0.6[d];"
                            "[a][b][c][d]concat=n=4:v=1:a=0",
                            "-f", "lavfi", "-i", "anullsrc=r=48000:cl=stereo", "-t", "3",
                            "-pix_fmt", "yuv420p", "-f", "dv", raw}));
    for (int type : {1, 2}) {
        SCOPED_TRACE(type);
        const QString video = Path(QStringLiteral("cuts%1.avi").arg(type));
        if (type == 1)
            writeFileBytes(video, dvType1Avi(readFileBytes(raw)));
        else
            ASSERT_TRUE(ffmpegDvType2Avi(raw, video));
        AddEntry(video);
        ASSERT_TRUE(Run("CreerScnByContenu"));
        EXPECT_TRUE(Errors().empty());
        const std::vector<Scene> scenes = ScenesOf(video);
        ASSERT_EQ(scenes.size(), std::size(cuts) + 1) << ::testing::PrintToString(scenes);
        EXPECT_EQ(scenes.front().start, 0u);
        EXPECT_EQ(scenes.back().end, std::uint32_t(frames));
        for (std::size_t k = 0; k < std::size(cuts); ++k) {
            EXPECT_EQ(scenes[k].end, scenes[k + 1].start);
            EXPECT_LE(std::abs(int(scenes[k].end) - cuts[k]), 1)
                << "cut at " << cuts[k] << ": " << ::testing::PrintToString(scenes);
        }
        source.Clear();
    }
}

// The subtitle command's .srt: one cue per recording, read back by ffprobe.
TEST_F(SceneCommands, SubtitlesChangeAtTheJoins)
{
    const QString video = Joined(1);
    settings.Incrust.When = 0;
    settings.Incrust.Line1 = "%D1";
    settings.Incrust.DateFormat1 = "yyyy-mm-dd";
    AddEntry(video);
    ASSERT_TRUE(Run("CreerSrt"));
    EXPECT_TRUE(Errors().empty());
    const ToolResult probe =
        runTool("ffprobe", {"-v", "error", "-show_entries", "packet=pts_time,duration_time", "-of",
                            "csv=p=0", CompanionFileName(video, ".srt")});
    ASSERT_EQ(probe.exitCode, 0) << probe.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(probe.out).split('\n', Qt::SkipEmptyParts),
              (QStringList{"0.000000,1.200000", "1.200000,1.200000", "2.400000,0.600000"}));
}

TEST_F(SceneCommands, TheSceneFileOfADetectionLoadsIntoTheSceneList)
{
    const QString video = Joined(2);
    AddEntry(video);
    ASSERT_TRUE(Run("CreerScnByDate"));
    const TSceneList list = LoadSceneListOf(video, TSceneContext{});
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[2].Text, "Scene 3: ");
}

TEST_F(SceneCommands, CuttingWritesEachScenesFramesAndSound)
{
    struct Case
    {
        int type;
        bool sound;
    };
    for (const Case &c : {Case{1, true}, Case{2, true}, Case{2, false}}) {
        const QString video = Joined(c.type, c.sound);
        {
            TwriteScene writer(video);
            for (const Scene &s : {Scene{0, 30}, Scene{30, 60}, Scene{60, 75}})
                writer.AddScene(TSceneClass(s.start, s.end, TSceneContext{}));
            ASSERT_TRUE(writer.Close());
        }
        AddEntry(video);
        ASSERT_TRUE(Run("CutScenes")) << c.type;
        EXPECT_TRUE(Errors().empty()) << c.type;
        const QStringList sourceFrames = FrameHashes(video);
        const QByteArray sourceSound = c.sound ? Sound(video) : QByteArray();
        ASSERT_EQ(sourceFrames.size(), 75);
        const qsizetype soundPerFrame = 48000 / 25 * 4; // 16-bit stereo
        int k = 0;
        for (const Scene &s : {Scene{0, 30}, Scene{30, 60}, Scene{60, 75}}) {
            const QString part = CompanionFileName(video, QStringLiteral("_scene_%1.avi").arg(++k));
            ASSERT_TRUE(QFile::exists(part)) << part.toStdString();
            EXPECT_EQ(FrameHashes(part), sourceFrames.mid(s.start, s.end - s.start))
                << part.toStdString();
            // Without a sound stream the DV frames' own sound is cut with them.
            if (c.sound) {
                EXPECT_EQ(
                    Sound(part).toHex(),
                    sourceSound.mid(s.start * soundPerFrame, (s.end - s.start) * soundPerFrame)
                        .toHex())
                    << part.toStdString();
            }
        }
        source.Clear();
    }
}

TEST_F(SceneCommands, TheListingExportAndDeletingTheCompanions)
{
    IsolatedHome home; // the trash
    const QString video = Joined(1);
    AddEntry(video);
    ASSERT_TRUE(Run("CreerScnByIntervalle", {"1"}));
    writeFileBytes(CompanionFileName(video, ".srt"), "1\r\n");
    settings.FormatShowDatecode = "yyyy-mm-dd hh:nn:ss";
    ASSERT_TRUE(Run("ExporterScenesTexte"));
    const QByteArray listing = readFileBytes(CompanionFileName(video, "_scn.txt"));
    // No preview: the details come from the file's own frame 50.
    EXPECT_TRUE(listing.contains("\r\n  3, 0:00:02:00, 0:00:02:24, 01.00, 2006-01-01 12:00:00, "
                                 "01.02.05.04, , \r\n"))
        << listing.constData();

    questions.Script({TModalResult::mrYes});
    ASSERT_TRUE(Run("SupprimerScn"));
    questions.Script({TModalResult::mrYes});
    ASSERT_TRUE(Run("SupprimerSrt"));
    EXPECT_FALSE(QFile::exists(CompanionFileName(video, ".scn")));
    EXPECT_FALSE(QFile::exists(CompanionFileName(video, ".srt")));
    EXPECT_TRUE(QFile::exists(video));
}

// The listing lines of a "_scn.txt" file.
QStringList ListingLines(const QString &path)
{
    QStringList scenes;
    for (const QString &line : QString::fromUtf8(readFileBytes(path)).split("\r\n"))
        if (line.startsWith("  "))
            scenes << line;
    return scenes;
}

TEST_F(SceneCommands, TheListingsOfTwoFilesHoldTheDetailsOfEachFilesOwnFrames)
{
    settings.FormatShowDatecode = "yyyy-mm-dd hh:nn:ss";
    // PAL type 1 and NTSC type 2, each joined from recordings of its own.
    const QString pal = Joined(1);
    const QByteArray ntscRaw = joinedRecordingsDv(
        Path(""), true, {{20, {2010, 2, 3, 19, 59, 58}}, {20, {2011, 11, 12, 7, 0, 0}}});
    ASSERT_FALSE(ntscRaw.isEmpty());
    writeFileBytes(Path("ntsc.dv"), ntscRaw);
    const QString ntsc = Path("ntsc.avi");
    ASSERT_TRUE(ffmpegDvType2Avi(Path("ntsc.dv"), ntsc));
    AddEntry(pal);
    AddEntry(ntsc);
    ASSERT_TRUE(Run("CreerScnByDate"));
    ASSERT_TRUE(Run("ExporterScenesTexte"));
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(
        ListingLines(CompanionFileName(pal, "_scn.txt")),
        (QStringList{"  1, 0:00:00:00, 0:00:01:04, 01.05, 2005-06-07 08:09:10, 01.02.03.04, , ",
                     "  2, 0:00:01:05, 0:00:02:09, 01.05, 2006-01-01 12:00:00, 01.02.04.09, , ",
                     "  3, 0:00:02:10, 0:00:02:24, 00.15, 2007-07-14 18:30:00, 01.02.05.14, , "}));
    EXPECT_EQ(
        ListingLines(CompanionFileName(ntsc, "_scn.txt")),
        (QStringList{"  1, 0:00:00:00, 0:00:00:19, 00.20, 2010-02-03 19:59:58, 01.02.03.04, , ",
                     "  2, 0:00:00:20, 0:00:01:09, 00.20, 2011-11-12 07:00:00, 01.02.03.24, , "}));
}

TEST_F(SceneCommands, AStoredDocumentIsOpenedUnlessAScriptRanTheCommand)
{
    const QString video = Joined(1);
    {
        TwriteScene writer(video);
        writer.AddScene(TSceneClass(0, 75, TSceneContext{}));
        ASSERT_TRUE(writer.Close());
    }
    AddEntry(video);
    QStringList opened;
    action.OpenDocument = [&](const QString &file) {
        EXPECT_TRUE(QFile::exists(file)) << file.toStdString();
        opened << file;
    };
    // A failed export opens nothing.
    action.OfficeSetup.officePath = Path("no-office/soffice.bin");
    Run("ExporterScenesCalc");
    EXPECT_FALSE(Errors().empty());
    EXPECT_TRUE(opened.isEmpty());
#ifdef VIDORA_OFFICE_HELPER_PATH
    if (FindOfficeProgram().isEmpty())
        GTEST_SKIP() << "LibreOffice is not installed";
    action.OfficeSetup.officePath.clear();
    action.OfficeSetup.helperPath = VIDORA_OFFICE_HELPER_PATH;
    const QString out = CompanionFileName(video, ".ods");
    ASSERT_TRUE(Run("ExporterScenesCalc"));
    EXPECT_EQ(opened, QStringList{out});
    // From a script or the command line nobody may be there to see it.
    action.Unattended = true;
    questions.Script({TModalResult::mrYes}); // the existing document is replaced
    ASSERT_TRUE(Run("ExporterScenesCalc"));
    EXPECT_EQ(opened, QStringList{out});
    EXPECT_TRUE(QFile::exists(out));
#else
    GTEST_SKIP() << "vidora-office was not built (no LibreOffice SDK)";
#endif
}

} // namespace
} // namespace vidora::test
