// Scenes: thumbnail size, position texts, details from the preview, captions;
// duration texts in the three styles; title templates both ways.
#include "scenes/edittitres.h"
#include "scenes/scenemodel.h"

#include "formats/datetime.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

namespace vidora {
namespace {

TSceneContext PalContext(double fps = 25)
{
    TSceneContext context;
    TSceneVideo video;
    video.path = QStringLiteral("/films/2006/beach.avi");
    video.width = 720;
    video.height = 576;
    video.frameRate = fps;
    video.frameCount = 100000;
    video.codec = QStringLiteral("dvsd");
    video.pictureText = QStringLiteral("720 x 576 (Pal");
    video.aspectText = QStringLiteral(" 4x3)");
    video.audioText = QStringLiteral("48000 Hz 16 bits stereo");
    context.video = video;
    context.locale = QLocale::c();
    context.datecodeFormat = QStringLiteral("dd/mm/yyyy");
    return context;
}

// A preview that shows frame n as a picture of grey level n % 256, dated
// 12 May 2006 from frame 1000 on, with time code 01:02:03:04 on even frames.
class FakePreview : public IScenePreview
{
public:
    bool ShowFrame(const TSceneVideo &, std::uint32_t frame, TDvFrameInfo &info,
                   QImage &picture) override
    {
        shown.push_back(frame);
        if (frame == failAt)
            return false;
        info = TDvFrameInfo{};
        info.HasDate = frame >= 1000;
        if (info.HasDate)
            info.RecDateTime = EncodeDate(2006, 5, 12) + EncodeTime(10, 20, 30);
        info.HasTimecode = frame % 2 == 0;
        info.Timecode = TDvTimecode{1, 2, 3, 4};
        picture = QImage(720, 576, QImage::Format_RGB32);
        picture.fill(QColor(int(frame % 256), int(frame % 256), int(frame % 256)));
        return true;
    }
    std::vector<std::uint32_t> shown;
    std::uint32_t failAt = UINT32_MAX;
};

TEST(SceneThumbnail, FitsThePictureAspectIn320By240)
{
    struct Case
    {
        int w, h;
        QSize size;
    };
    for (const Case &c : {Case{720, 576, {300, 240}}, Case{720, 405, {320, 180}},
                          Case{640, 480, {320, 240}}, Case{0, 576, {0, 0}}, Case{720, 0, {0, 0}}})
        EXPECT_EQ(ThumbnailSize(c.w, c.h), c.size) << c.w << "x" << c.h;

    // A scene holds no picture until one is made for it, at the size it is
    // shown (below): a list of thousands of scenes costs no pictures.
    const TSceneClass scene(0, 10, PalContext());
    EXPECT_TRUE(scene.Thumbnail.isNull());
}

TEST(SceneThumbnail, WithoutAnActiveVideoTheSceneHasNoPictureAndNoDuration)
{
    const TSceneClass scene(0, 10, TSceneContext{});
    EXPECT_TRUE(scene.Thumbnail.isNull());
    EXPECT_TRUE(scene.DurationText.isEmpty());
    EXPECT_FALSE(scene.Detailed);
}

TEST(SceneModel, AnEndBeforeTheStartIsARangeError)
{
    EXPECT_THROW(TSceneClass(10, 9, PalContext()), std::range_error);
    TSceneClass scene(5, 5, PalContext());
    EXPECT_EQ(scene.Length(), 0u);
    scene.EndFrame = 4;
    EXPECT_THROW(scene.Length(), std::range_error);
}

TEST(SceneModel, CaptionIsSceneNumberAndTitle)
{
    TSceneClass scene(0, 10, PalContext());
    EXPECT_EQ(scene.GetCaption(), "Scene 0: ");
    scene.Number = 3;
    scene.Title = "Beach";
    scene.Subtitle = "sun";
    EXPECT_EQ(scene.GetCaption(), "Scene 3: Beach");
    scene.ClearTitles();
    EXPECT_EQ(scene.GetCaption(), "Scene 3: ");
    EXPECT_TRUE(scene.Subtitle.isEmpty());
}

TEST(SceneDetails, PositionTextsOfTheFirstAndLastFrame)
{
    struct Case
    {
        std::uint32_t start, end;
        double fps;
        const char *startText, *endText;
    };
    for (const Case &c : {Case{0, 100, 25, "0:00:00:00", "0:00:03:24"},
                          Case{90000, 90025, 25, "1:00:00:00", "1:00:00:24"},
                          Case{30, 60, 29.97, "0:00:01:00", "0:00:01:29"}}) {
        TSceneContext context = PalContext(c.fps);
        FakePreview preview;
        context.preview = &preview;
        TSceneClass scene(c.start, c.end, context);
        ASSERT_TRUE(scene.FillDetails(context));
        EXPECT_EQ(scene.StartText, c.startText) << c.start;
        EXPECT_EQ(scene.EndText, c.endText) << c.end;
    }
}

TEST(SceneDetails, DateTimeCodeAndThumbnailComeFromThePreview)
{
    TSceneContext context = PalContext();
    FakePreview preview;
    context.preview = &preview;
    TSceneClass scene(1000, 1100, context);
    scene.ThumbOffset = 7;
    ASSERT_TRUE(scene.FillDetails(context));
    EXPECT_TRUE(scene.Detailed);
    EXPECT_EQ(scene.DatecodeText, "12/05/2006");
    EXPECT_DOUBLE_EQ(scene.RecDate, EncodeDate(2006, 5, 12) + EncodeTime(10, 20, 30));
    EXPECT_EQ(scene.TimecodeText, "01.02.03.04");
    EXPECT_EQ(preview.shown, (std::vector<std::uint32_t>{1000, 1007}));
    // The picture of the offset frame, stretched to the thumbnail.
    EXPECT_EQ(scene.Thumbnail.size(), QSize(300, 240));
    EXPECT_EQ(scene.Thumbnail.format(), QImage::Format_BGR888);
    EXPECT_EQ(qRed(scene.Thumbnail.pixel(150, 120)), 1007 % 256);
}

TEST(SceneDetails, AFrameWithoutDateOrTimeCodeReadsNotAvailable)
{
    TSceneContext context = PalContext();
    FakePreview preview;
    context.preview = &preview;
    TSceneClass scene(501, 600, context);
    scene.RecDate = 42;
    ASSERT_TRUE(scene.FillDetails(context));
    EXPECT_EQ(scene.DatecodeText, "N/A");
    EXPECT_EQ(scene.TimecodeText, "N/A");
    EXPECT_EQ(scene.RecDate, 42); // kept
}

TEST(SceneDetails, WithoutAPreviewOrAFrameShownOnlyThePositionTextsAreFilled)
{
    TSceneContext context = PalContext();
    TSceneClass scene(0, 100, context);
    // The positions need only the frame rate: they are there from the start.
    EXPECT_EQ(scene.StartText, "0:00:00:00");
    EXPECT_EQ(scene.EndText, "0:00:03:24");
    scene.EndFrame = 50;
    EXPECT_FALSE(scene.FillDetails(context));
    EXPECT_EQ(scene.EndText, "0:00:01:24");
    FakePreview preview;
    preview.failAt = 0;
    context.preview = &preview;
    EXPECT_FALSE(scene.FillDetails(context));
    EXPECT_FALSE(scene.Detailed);
    EXPECT_TRUE(scene.DatecodeText.isEmpty());
    EXPECT_TRUE(scene.Thumbnail.isNull());
    EXPECT_TRUE(TSceneClass(0, 100, PalContext(0)).StartText.isEmpty());
}

TEST(SceneDetails, APictureIsMadeOnlyWhenAskedFor)
{
    TSceneContext context = PalContext();
    FakePreview preview;
    context.preview = &preview;
    TSceneClass scene(1000, 1100, context);
    scene.ThumbOffset = 7;
    // The texts without the picture: one frame read, no thumbnail kept.
    ASSERT_TRUE(scene.FillDetails(context, false));
    EXPECT_EQ(scene.DatecodeText, "12/05/2006");
    EXPECT_TRUE(scene.Thumbnail.isNull());
    EXPECT_EQ(preview.shown, (std::vector<std::uint32_t>{1000}));
    // A picture the preview cannot show gives a black one of the size used.
    preview.failAt = 1007;
    ASSERT_TRUE(scene.FillDetails(context));
    ASSERT_EQ(scene.Thumbnail.size(), QSize(300, 240));
    EXPECT_EQ(scene.Thumbnail.pixelColor(10, 10), QColor(Qt::black));
}

TEST(DurationTexts, FileLengthsPast2To31FramesStayPositive)
{
    struct Case
    {
        std::uint32_t end;
        const char *dotted, *clock, *hmsf;
    };
    for (const Case &c :
         {Case{2147483664u, "23860:55:46.14", "23860:55:46:14", "23860h 55mn 46s 14fr"},
          Case{4294967295u, "47721:51:31.20", "47721:51:31:20", "47721h 51mn 31s 20fr"}}) {
        TSceneContext context = PalContext();
        const std::map<std::uint8_t, const char *> styles = {
            {kDurationDotted, c.dotted}, {kDurationClock, c.clock}, {kDurationHMSF, c.hmsf}};
        for (const auto &[style, text] : styles) {
            context.durationFormat = style;
            EXPECT_EQ(TSceneClass(0, c.end, context).DurationText, text)
                << c.end << " style " << int(style);
            EXPECT_EQ(FormatDuration(c.end, context), text) << c.end << " style " << int(style);
        }
        TSceneClass scene(0, c.end, context);
        EXPECT_EQ(ExpandTitleTemplate("%U", scene, context), c.hmsf) << c.end;
    }
    // A file's frame count as the scenes hold it.
    EXPECT_EQ(SceneFrames(-5), 0u);
    EXPECT_EQ(SceneFrames(3000000000), 3000000000u);
    EXPECT_EQ(SceneFrames(std::int64_t{1} << 40), 4294967295u);
}

TEST(DurationTexts, ThreeStylesAt25And2997FramesASecond)
{
    struct Case
    {
        std::int32_t frames;
        double fps;
        const char *dotted, *clock, *hmsf;
    };
    for (const Case &c :
         {Case{3, 25, "00.03", "00:03", "3fr"},
          Case{1525, 25, "01:01.00", "01:01:00", "1mn 01s 00fr"},
          Case{90000, 25, "1:00:00.00", "1:00:00:00", "1h 00mn 00s 00fr"},
          Case{0, 25, "00.00", "00:00", "0fr"}, Case{30, 29.97, "01.00", "01:00", "1s 00fr"},
          Case{29, 29.97, "00.29", "00:29", "29fr"}}) {
        TSceneContext context = PalContext(c.fps);
        const std::map<std::uint8_t, const char *> styles = {
            {kDurationDotted, c.dotted}, {kDurationClock, c.clock}, {kDurationHMSF, c.hmsf}};
        for (const auto &[style, text] : styles) {
            context.durationFormat = style;
            EXPECT_EQ(FormatDuration(c.frames, context), text)
                << c.frames << " at " << c.fps << " style " << int(style);
        }
    }
}

TEST(DurationTexts, NoVideoNoRateAndUnknownStyles)
{
    EXPECT_EQ(FormatDuration(25, TSceneContext{}), "");
    TSceneContext context = PalContext(0);
    EXPECT_EQ(FormatDuration(25, context), "??");
    context.durationFormat = kDurationHMSF;
    EXPECT_EQ(FormatDuration(25, context), "??");
    context = PalContext();
    context.durationFormat = 3;
    EXPECT_EQ(FormatDuration(25, context), "");
}

TSceneClass DetailedScene(const TSceneContext &context)
{
    TSceneClass scene(250, 400, context); // 150 frames: 06.00, 06:00, 6s 00fr
    scene.Number = 3;
    scene.DatecodeText = "12/05/2006";
    scene.TimecodeText = "00.10.00.00";
    scene.RecDate = EncodeDate(2006, 5, 12) + EncodeTime(10, 20, 30);
    return scene;
}

TEST(TitleTemplates, ExpandReplacesEveryCodeInAnyCase)
{
    const TSceneContext context = PalContext();
    const TSceneClass scene = DetailedScene(context);
    struct Case
    {
        const char *pattern, *text;
    };
    for (const Case &c : {
             Case{"Scene %N: %D", "Scene 3: 12/05/2006"},
             Case{"%f%E in %P", "beach.avi in /films/2006/"},
             Case{"%t %c %i %a", "00.10.00.00 dvsd 720 x 576 (Pal 4x3) 48000 Hz 16 bits stereo"},
             Case{"Duration = %U", "Duration = 06.00"},
             Case{"%n/%N, no code", "3/3, no code"},
             Case{"", ""},
         })
        EXPECT_EQ(ExpandTitleTemplate(c.pattern, scene, context), c.text) << c.pattern;

    EXPECT_EQ(ExpandTitleTemplate("Scene %N: %D", scene, TSceneContext{}), "Scene %N: %D");
}

TEST(TitleTemplates, TitleToTemplateFindsTheSceneValuesBack)
{
    TSceneContext context = PalContext();
    const TSceneClass scene = DetailedScene(context);
    struct Case
    {
        std::uint8_t style;
        const char *title, *pattern;
    };
    for (const Case &c : {
             Case{0, "Scene 3: 12/05/2006", "Scene %N: %D"},
             Case{0, "Scene3", "Scene%N"},
             Case{0, "scene3 and 3, but not 33 or x3", "Scene%N and %N, but not 33 or x3"},
             Case{0, "Duration = 06.00", "Duration = %U"},
             Case{0, "lasts 6s 00fr or 06:00", "lasts %U or %U"},
             Case{0, "BEACH.AVI at 00.10.00.00", "%F%E at %T"},
             Case{0, "in /films/2006/ dvsd", "in %P %C"},
             Case{0, "720 x 576 (Pal 4x3), 48000 Hz 16 bits stereo", "%I, %A"},
             Case{0, "Nothing here", "Nothing here"},
         }) {
        context.durationFormat = c.style;
        EXPECT_EQ(TitleToTemplate(c.title, &scene, context), c.pattern) << c.title;
    }
    const QString shortDate =
        FormatDateTime("ddddd tt", scene.RecDate, context.locale) + QStringLiteral(" x");
    EXPECT_EQ(TitleToTemplate(shortDate, &scene, context), "%D x");

    EXPECT_EQ(TitleToTemplate("Scene 3", nullptr, context), "Scene 3");
    EXPECT_EQ(TitleToTemplate("Scene 3", &scene, TSceneContext{}), "Scene 3");
}

TEST(TitleTemplates, ATemplateSurvivesARoundTrip)
{
    const TSceneContext context = PalContext();
    const TSceneClass scene = DetailedScene(context);
    for (const QString &pattern :
         {kStudioTitleTemplate, kStudioSubtitleTemplate, QStringLiteral("%F (%C) %T")})
        EXPECT_EQ(TitleToTemplate(ExpandTitleTemplate(pattern, scene, context), &scene, context),
                  pattern);
}

} // namespace
} // namespace vidora
