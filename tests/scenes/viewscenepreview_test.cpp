// Scene details read from the real preview graph on a DV file joined from
// three recordings: each scene's date and time code, its thumbnail against
// ffmpeg's decode of the same frame, the refusals, and an office export of
// the filled list read back by LibreOffice.
#include "scenes/viewscenepreview.h"

#include "formats/datetime.h"
#include "formats/dvcodes.h"
#include "scenes/edittitres.h"
#include "scenes/officeexport.h"
#include "scenes/scenelist.h"
#include "support/dvfiles.h"
#include "support/tools.h"
#include "video/graphs/viewgraph.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

#include <cstring>

namespace vidora {
namespace {

using namespace std::chrono_literals;
using test::runTool;

#ifdef VIDORA_OFFICE_HELPER_PATH
const QString kHelper = QStringLiteral(VIDORA_OFFICE_HELPER_PATH);
#else
const QString kHelper;
#endif

constexpr int kFrameBytes = 144000;
constexpr int kFrames = 75;

// Scenes [0, 30), [30, 60), [60, 75): three recordings with dates of their own.
const TDvRecDateTime kDates[] = {
    {2005, 6, 7, 8, 9, 10}, {2006, 1, 1, 12, 0, 0}, {2007, 7, 14, 18, 30, 0}};
const char *const kDateTexts[] = {"07/06/2005 08:09:10", "01/01/2006 12:00:00",
                                  "14/07/2007 18:30:00"};
const std::uint32_t kStarts[] = {0, 30, 60};
const std::uint32_t kEnds[] = {30, 60, 75};

class NoView final : public IPreviewView
{
public:
    void ShowVideoUnavailable(TVideoMessageCode) override {}
    void ShowAudioOnly(TVideoMessageCode) override {}
    void ShowVideo() override {}
    void SetPositionSlider(int) override {}
    std::shared_ptr<media::IVideoSink> VideoSink() override { return nullptr; }
};

// The mean difference of the colour channels, the reference scaled to `a`.
double MeanDifference(const QImage &a, const QImage &reference)
{
    const QImage b = reference.scaled(a.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                         .convertToFormat(QImage::Format_BGR888);
    const QImage x = a.convertToFormat(QImage::Format_BGR888);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const uchar *p = x.constScanLine(row);
        const uchar *q = b.constScanLine(row);
        for (int i = 0; i < x.width() * 3; ++i)
            sum += std::abs(int(p[i]) - int(q[i]));
    }
    return sum / (x.width() * x.height() * 3);
}

class ViewScenePreview : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        qputenv("VIDORA_AUDIO_OUTPUT", "null");
        s_dir = std::make_unique<QTemporaryDir>();
        QByteArray raw = test::ffmpegRawDv(s_dir->path(), {.frames = kFrames});
        ASSERT_EQ(raw.size(), kFrames * kFrameBytes);
        for (int f = 0; f < kFrames; ++f) {
            auto *frame = reinterpret_cast<std::uint8_t *>(raw.data()) + f * kFrameBytes;
            WriteDvRecDateTime(std::span<std::uint8_t>(frame, kFrameBytes), 12,
                               kDates[f < 30   ? 0
                                      : f < 60 ? 1
                                               : 2]);
        }
        s_video = QDir(s_dir->path()).filePath("joined.avi");
        test::writeFileBytes(s_video, test::dvType1Avi(raw));

        // Another file, NTSC and type 2: two recordings of 20 frames each.
        s_otherRaw = test::ffmpegRawDv(s_dir->path(), {.ntsc = true, .frames = kOtherFrames});
        ASSERT_EQ(s_otherRaw.size(), kOtherFrames * kNtscFrameBytes);
        for (int f = 20; f < kOtherFrames; ++f) {
            auto *frame = reinterpret_cast<std::uint8_t *>(s_otherRaw.data()) + f * kNtscFrameBytes;
            WriteDvRecDateTime(std::span<std::uint8_t>(frame, kNtscFrameBytes), 10,
                               {2009, 3, 4, 21, 45, 0});
        }
        const QString otherRaw = QDir(s_dir->path()).filePath("other.dv");
        test::writeFileBytes(otherRaw, s_otherRaw);
        s_other = QDir(s_dir->path()).filePath("other.avi");
        ASSERT_TRUE(test::ffmpegDvType2Avi(otherRaw, s_other));
    }
    static void TearDownTestSuite() { s_dir.reset(); }

    void SetUp() override
    {
        settings.IsIncrustOn = false; // the thumbnails are the bare pictures
        viewdm.SetSettings(&settings);
        TPreviewEntry entry;
        entry.FileName = s_video;
        entry.IsDv = true;
        entry.CodecText = QStringLiteral("dvsd");
        entry.AudioText = QStringLiteral("48000Hz 16 bits");
        entry.FrameRate = 25;
        ASSERT_TRUE(viewdm.OpenFile(&entry, &view));
        const QDeadlineTimer settle(200ms);
        while (!settle.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }

    TSceneContext Context()
    {
        TSceneContext context;
        TSceneVideo video;
        video.path = s_video;
        video.width = 720;
        video.height = 576;
        video.frameRate = 25;
        video.frameCount = kFrames;
        video.codec = QStringLiteral("dvsd");
        video.isDv = true;
        context.video = video;
        context.locale = QLocale::c();
        context.datecodeFormat = QStringLiteral("dd/mm/yyyy hh:nn:ss");
        context.preview = &preview;
        return context;
    }

    TSceneList FilledList()
    {
        TSceneList list;
        const TSceneContext context = Context();
        for (int k = 0; k < 3; ++k) {
            auto scene = std::make_shared<TSceneClass>(kStarts[k], kEnds[k], context);
            scene->Number = k + 1;
            scene->Title = QStringLiteral("Recording %1").arg(k + 1);
            EXPECT_TRUE(scene->FillDetails(context)) << k;
            list.push_back({scene->GetCaption(), scene});
        }
        return list;
    }

    TSceneContext OtherContext()
    {
        TSceneContext context = Context();
        context.video->path = s_other;
        context.video->height = 480;
        context.video->frameRate = 29.97;
        context.video->frameCount = kOtherFrames;
        return context;
    }

    static constexpr int kOtherFrames = 40;
    static constexpr int kNtscFrameBytes = 120000;
    static std::unique_ptr<QTemporaryDir> s_dir;
    static QString s_video;
    static QString s_other;
    static QByteArray s_otherRaw;

    NoView view;
    SettingValues settings;
    Tviewdm viewdm;
    TViewScenePreview preview{viewdm};
};

std::unique_ptr<QTemporaryDir> ViewScenePreview::s_dir;
QString ViewScenePreview::s_video;
QString ViewScenePreview::s_other;
QByteArray ViewScenePreview::s_otherRaw;

TEST_F(ViewScenePreview, EachSceneGetsItsDateTimeCodeAndThumbnail)
{
    TSceneList list = FilledList();
    ASSERT_EQ(list.size(), 3u);
    // Scene 2's thumbnail is taken 12 frames in.
    list[1].Scene->ThumbOffset = 12;
    ASSERT_TRUE(list[1].Scene->FillDetails(Context()));
    const std::uint32_t thumbFrames[] = {0, 42, 60};
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        const TSceneClass &scene = *list[std::size_t(k)].Scene;
        EXPECT_TRUE(scene.Detailed);
        EXPECT_EQ(scene.DatecodeText, QString::fromLatin1(kDateTexts[k]));
        // Every clip's time code starts at 01:02:03:04.
        const int frames = 4 + int(kStarts[k]);
        EXPECT_EQ(scene.TimecodeText,
                  QString::asprintf("01.02.%.2d.%.2d", 3 + frames / 25, frames % 25));
        EXPECT_EQ(scene.StartText, ScenePositionText(kStarts[k], 25));
        ASSERT_EQ(scene.Thumbnail.size(), QSize(300, 240));
        // Nearer ffmpeg's picture of its own frame than of another scene's.
        const double own =
            MeanDifference(scene.Thumbnail, test::ffmpegFrame(s_video, thumbFrames[k]));
        const double other =
            MeanDifference(scene.Thumbnail, test::ffmpegFrame(s_video, thumbFrames[(k + 1) % 3]));
        EXPECT_LT(own, 12.0);
        EXPECT_LT(own * 2, other);
    }
}

TEST_F(ViewScenePreview, TheEditorsRangeDoesNotStopASeekOutsideItAndStays)
{
    viewdm.SetRange(30, 60);
    TDvFrameInfo info;
    QImage picture;
    ASSERT_TRUE(preview.ShowFrame(*Context().video, 65, info, picture));
    EXPECT_DOUBLE_EQ(info.RecDateTime, EncodeDate(2007, 7, 14) + EncodeTime(18, 30, 0));
    EXPECT_EQ(viewdm.StartPosition(), 30);
    EXPECT_EQ(viewdm.StopPosition(), 60);
}

TEST_F(ViewScenePreview, AnotherVideoGivesTheDetailsOfItsOwnFrames)
{
    // The preview holds the PAL file; the NTSC type-2 file is read from its
    // own frames, and the preview stays where it was.
    const TSceneContext context = OtherContext();
    for (const std::uint32_t start : {0u, 25u}) {
        SCOPED_TRACE(start);
        TSceneClass scene(start, start + 10, context);
        ASSERT_TRUE(scene.FillDetails(context));
        EXPECT_TRUE(scene.Detailed);
        const auto *frame = reinterpret_cast<const std::uint8_t *>(s_otherRaw.constData()) +
                            start * kNtscFrameBytes;
        TDvRecDateTime d;
        ASSERT_TRUE(ReadDvRecDateTime(std::span(frame, kNtscFrameBytes), 10, d));
        EXPECT_EQ(scene.DatecodeText,
                  QString::asprintf("%.2d/%.2d/%.4d %.2d:%.2d:%.2d", d.Day, d.Month, d.Year, d.Hour,
                                    d.Minute, d.Second));
        TDvTimecode t;
        ASSERT_TRUE(ReadDvTimecode(std::span(frame, kNtscFrameBytes), 10, t));
        EXPECT_EQ(scene.TimecodeText, QString::asprintf("%.2d.%.2d.%.2d.%.2d", t.Hours, t.Minutes,
                                                        t.Seconds, t.Frames));
        EXPECT_EQ(scene.StartText, ScenePositionText(start, 29.97));
        ASSERT_EQ(scene.Thumbnail.size(), QSize(320, 213));
        const double own =
            MeanDifference(scene.Thumbnail, test::ffmpegFrame(s_other, int(start), 480));
        const double pal = MeanDifference(scene.Thumbnail, test::ffmpegFrame(s_video, int(start)));
        EXPECT_LT(own, 12.0);
        EXPECT_LT(own * 2, pal);
    }
    EXPECT_EQ(viewdm.Entry().FileName, s_video);
    preview.Release();
}

TEST_F(ViewScenePreview, AFileReadByItselfGivesWhatThePreviewGives)
{
    settings.IsIncrustOn = true; // with the date drawn in
    TFileScenePreview files(&settings);
    for (std::uint32_t start : {0u, 42u}) {
        SCOPED_TRACE(start);
        TSceneContext viaPreview = Context();
        TSceneContext viaFile = Context();
        viaFile.preview = &files;
        TSceneClass a(start, 75, viaPreview);
        TSceneClass b(start, 75, viaFile);
        ASSERT_TRUE(a.FillDetails(viaPreview));
        ASSERT_TRUE(b.FillDetails(viaFile));
        for (const auto &[x, y] : {std::pair{a.DatecodeText, b.DatecodeText},
                                   {a.TimecodeText, b.TimecodeText},
                                   {a.StartText, b.StartText},
                                   {a.EndText, b.EndText},
                                   {a.DurationText, b.DurationText}})
            EXPECT_EQ(x, y);
        EXPECT_DOUBLE_EQ(a.RecDate, b.RecDate);
        EXPECT_EQ(a.Thumbnail, b.Thumbnail);
    }
    files.Release();
}

TEST_F(ViewScenePreview, RefusesAFrameOutsideTheFileAndAFileThatCannotBeRead)
{
    TDvFrameInfo info;
    QImage picture;
    EXPECT_FALSE(preview.ShowFrame(*Context().video, kFrames, info, picture));
    EXPECT_TRUE(picture.isNull());
    EXPECT_FALSE(preview.ShowFrame(*OtherContext().video, kOtherFrames, info, picture));

    TSceneContext missing = Context();
    missing.video->path = QDir(s_dir->path()).filePath("missing.avi");
    TSceneClass scene(0, 10, missing);
    EXPECT_FALSE(scene.FillDetails(missing));
    EXPECT_FALSE(scene.Detailed);

    // Without the preview's graph the file is read by itself.
    viewdm.CloseGraph();
    EXPECT_TRUE(preview.ShowFrame(*Context().video, 0, info, picture));
    preview.Release();
}

TEST_F(ViewScenePreview, AnOfficeExportOfTheFilledListCarriesTheDates)
{
    if (kHelper.isEmpty())
        GTEST_SKIP() << "vidora-office was not built (no LibreOffice SDK)";
    if (FindOfficeProgram().isEmpty())
        GTEST_SKIP() << "LibreOffice is not installed";
    const TSceneList list = FilledList();
    TOfficeSetup setup;
    setup.helperPath = kHelper;
    setup.locale = QLocale::c();
    setup.timeoutMs = 90000;
    const QString out = QDir(s_dir->path()).filePath("joined.ods");
    QString error;
    ASSERT_TRUE(ExportSceneOffice(TOfficeFormat::Ods, s_video, out, list, setup, error))
        << error.toStdString();

    QTemporaryDir profile;
    QTemporaryDir converted;
    test::SeedOfficeProfile(profile.path());
    const test::ToolResult r = runTool(
        "soffice", {"-env:UserInstallation=" + QUrl::fromLocalFile(profile.path()).toString(),
                    "--headless", "--norestore", "--convert-to",
                    "csv:Text - txt - csv (StarCalc):44,34,76", "--outdir", converted.path(), out});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    const QString csv =
        QString::fromUtf8(test::readFileBytes(QDir(converted.path()).filePath("joined.csv")));
    for (int k = 0; k < 3; ++k) {
        const TSceneClass &scene = *list[std::size_t(k)].Scene;
        EXPECT_TRUE(csv.contains(QStringLiteral(",%1,%2,%3,%4,%5,%6,Recording %1")
                                     .arg(k + 1)
                                     .arg(scene.StartText, scene.EndText, scene.DurationText,
                                          QString::fromLatin1(kDateTexts[k]), scene.TimecodeText)))
            << csv.toStdString();
    }
}

} // namespace
} // namespace vidora
