// The subtitle command end to end: the subtitle graph of the processing
// module feeds the subtitle writer while the command engine runs it, and the
// .srt it leaves is read back by ffprobe.
#include "support/cdm_stage.h"

#include "scenes/scngraphrun.h"
#include "scenes/uscenes.h"
#include "support/avi_files.h"
#include "support/tools.h"
#include "video/filters/dv_scenedetect.h"

#include <QDir>

#include <thread>

namespace vidora::test {
namespace {

class SrtGraph : public CdmStage
{};

TEST_F(SrtGraph, CuesChangeExactlyWhereTheShownDateChanges)
{
    // Three clips of 15 frames; the hour shown differs in each, the day
    // only in the last.
    QByteArray raw;
    const QStringList recorded{"2005-06-07T08:09:10Z", "2005-06-07T11:00:00Z",
                               "2006-01-02T10:00:00Z"};
    for (int i = 0; i < recorded.size(); ++i)
        raw += makeRawDv(m_dir.path(), 15, false, recorded[i], QString("clip%1.dv").arg(i));
    ASSERT_EQ(raw.size(), 45 * kPalFrame);
    writeFileBytes(Path("tape.avi"), dvType1Avi(raw));

    std::shared_ptr<TWriteSrt> srt;
    std::atomic<int> closed{0};
    afterBuild = [&](TCdm &m) {
        srt = std::make_shared<TWriteSrt>(Path("tape.avi"), 25.0);
        TincrustRec options;
        options.When = 0;
        options.Line1 = "%D1";
        options.Line2 = "at %d2 h";
        options.DateFormat1 = "yyyy-mm-dd";
        options.DateFormat2 = "hh";
        m.SceneDetect().SetOptions(options);
        m.SceneDetect().SetOnTitle(
            [srt](const TDvFrameInfo &info, const QString &line1, const QString &line2) {
                srt->AddTitle(std::int32_t(info.FrameNumber), line1, line2);
            });
        m.SceneDetect().SetOnEnd([srt, &closed] { closed += srt->Close() ? 1 : 0; });
    };
    ASSERT_TRUE(RunCommand(Path("tape.avi"), [](TCdm &m, const QString &s, const QString &) {
        return m.BuildSrtGraph(s);
    }));
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(closed.load(), 1);

    const ToolResult probe =
        runTool("ffprobe", {"-v", "error", "-show_entries", "packet=pts_time,duration_time", "-of",
                            "csv=p=0", Path("tape.srt")});
    ASSERT_EQ(probe.exitCode, 0) << probe.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(probe.out).split('\n', Qt::SkipEmptyParts),
              (QStringList{"0.000000,0.600000", "0.600000,0.600000", "1.200000,0.600000"}));
    EXPECT_EQ(readFileBytes(Path("tape.srt")),
              QByteArray("1\r\n00:00:00,000 --> 00:00:00,600\r\n2005-06-07\r\nat 08 h\r\n\r\n"
                         "2\r\n00:00:00,600 --> 00:00:01,200\r\n2005-06-07\r\nat 11 h\r\n\r\n"
                         "3\r\n00:00:01,200 --> 00:00:01,800\r\n2006-01-02\r\nat 10 h\r\n\r\n"));
}

// The subtitle command's own run: the .srt takes its name only when the run
// succeeded; an abort (even one that comes with the completion) keeps the
// old file.
TEST_F(SrtGraph, OnlyASucceededRunReplacesTheSubtitles)
{
    const QByteArray raw = makeRawDv(m_dir.path(), 15, false, "2005-06-07T08:09:10Z", "c.dv");
    ASSERT_FALSE(raw.isEmpty());
    writeFileBytes(Path("tape.avi"), dvType1Avi(raw));
    writeFileBytes(Path("tape.srt"), "old subtitles");
    TincrustRec options;
    options.When = 0;
    options.Line1 = "%D1";
    options.DateFormat1 = "yyyy-mm-dd";
    for (const bool abort : {true, false}) {
        SCOPED_TRACE(abort ? "aborted" : "completed");
        media::IMediaSeeking *position = cdm.BuildSrtGraph(Path("tape.avi"));
        ASSERT_NE(position, nullptr);
        cdm.SceneDetect().SetOptions(options);
        const auto run = MakeSrtGraphRun(cdm, *position, Path("tape.avi"), 25.0);
        run->Run();
        for (int waited = 0; waited < 20000 && !cdm.graph().hasCompleted(); waited += 5)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_TRUE(cdm.graph().hasCompleted());
        if (abort) {
            run->Abort();
            EXPECT_EQ(readFileBytes(Path("tape.srt")), QByteArray("old subtitles"));
        } else {
            EXPECT_NO_THROW(run->Stop());
            EXPECT_EQ(readFileBytes(Path("tape.srt")),
                      QByteArray("1\r\n00:00:00,000 --> 00:00:00,600\r\n2005-06-07\r\n \r\n\r\n"));
        }
        EXPECT_EQ(QDir(m_dir.path()).entryList({"*.srt*", ".*.srt*"}, QDir::Files | QDir::Hidden),
                  QStringList{"tape.srt"})
            << "no temporary file is left";
    }
}

} // namespace
} // namespace vidora::test
