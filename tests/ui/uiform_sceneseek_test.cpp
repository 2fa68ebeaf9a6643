// Seeking by scene in the main window: a file joined from three
// recordings, its scene file made by the scenes-by-date command; the next
// and previous scene actions land on each scene's first frame, whose date
// the date detector reads, and do nothing without a scene file.
#include "commands/dmaction_stage.h"
#include "uiform_window.h"

#include "formats/datetime.h"
#include "formats/dvcodes.h"
#include "scenes/scenefile.h"
#include "video/filters/dv_scenedetect.h"

#include <QDateTime>

namespace vidora::test {
namespace {

// 75 PAL frames: three recordings of 30, 30 and 15 frames with their own dates.
const TDvRecDateTime kDates[] = {
    {2005, 6, 7, 8, 9, 10}, {2006, 1, 1, 12, 0, 0}, {2007, 7, 14, 18, 30, 0}};

class SceneSeek : public DmActionStage
{
protected:
    QString JoinedRecordings()
    {
        QByteArray raw = ffmpegRawDv(Path(""), {.frames = 75});
        EXPECT_EQ(raw.size(), 75 * 144000);
        for (int f = 0; f < 75 && raw.size() == 75 * 144000; ++f) {
            auto *frame = reinterpret_cast<std::uint8_t *>(raw.data()) + f * 144000;
            WriteDvRecDateTime(std::span<std::uint8_t>(frame, 144000), 12,
                               kDates[f < 30   ? 0
                                      : f < 60 ? 1
                                               : 2]);
        }
        const QString video = Path("joined.avi");
        writeFileBytes(video, dvType1Avi(raw));
        return video;
    }
    IsolatedHome home;
};

QDateTime DateOf(const TDvRecDateTime &d)
{
    return QDateTime(QDate(d.Year, d.Month, d.Day), QTime(d.Hour, d.Minute, d.Second));
}

TEST_F(SceneSeek, NextAndPreviousSceneLandOnEachScenesFirstFrame)
{
    const QString video = JoinedRecordings();
    AddEntry(video);
    ASSERT_TRUE(Run("CreerScnByDate"));
    ASSERT_TRUE(QFile::exists(CompanionFileName(video, ".scn")));

    Window w;
    ASSERT_TRUE(w.Open(video));
    struct Step
    {
        const char *action;
        std::int64_t frame;
        int date;
    };
    const Step steps[] = {
        {"saNextScene", 30, 1},    {"saNextScene", 60, 2},    {"saPreviousScene", 30, 1},
        {"saPreviousScene", 0, 0}, {"saPreviousScene", 0, 0}, {"saNextScene", 30, 1},
        {"saNextScene", 60, 2},    {"saNextScene", 74, 2}, // no scene after: the end
    };
    for (const Step &s : steps) {
        w.Run(s.action);
        EXPECT_EQ(w.Position(), s.frame) << s.action;
        const TDvFrameInfo shown = w.viewdm.SceneDetect().LastInfo();
        EXPECT_TRUE(shown.HasDate);
        EXPECT_EQ(ToQDateTime(shown.RecDateTime), DateOf(kDates[s.date]))
            << s.action << " " << s.frame;
    }

    // Without the scene file, nothing moves.
    ASSERT_TRUE(QFile::remove(CompanionFileName(video, ".scn")));
    w.Run("saHome");
    w.Run("saNextScene");
    EXPECT_EQ(w.Position(), 0);
}

} // namespace
} // namespace vidora::test
