// The overlay drawn on real pictures: pixels change only inside the layout's
// text box, alignment 7 and a hidden text leave the frame byte for byte, the
// fonts and colours come out as asked, deinterlacing and the still picture
// follow the frame, and the settings may change while frames stream.
#include "support/tools.h"
#include "video/filters/deinter.h"
#include "video/filters/dv_superposercore.h"
#include "video/filters/overlayraster.h"

#include <QFontInfo>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

using namespace vidora;
using namespace vidora::test;

namespace {

constexpr int kWidth = 720;
constexpr int kHeight = 576;

// A picture as a media sample holds it: bottom-up rows, padded stride.
struct Sample
{
    int width;
    int height;
    std::vector<std::uint8_t> bytes;

    Sample(int w, int h, std::uint8_t fill = 0)
        : width(w), height(h), bytes(static_cast<std::size_t>(Rgb24Stride(w)) * h, fill)
    {}
    Rgb24View view() { return sampleView(bytes.data(), bytes.size(), width, height); }
    ConstRgb24View view() const { return sampleView(bytes.data(), bytes.size(), width, height); }
    const std::uint8_t *pixel(int x, int y) const { return view().row(y) + 3 * x; }
};

// One 720 × 576 picture of ffmpeg's test pattern, decoded to BGR bytes; its
// rows are taken as a bottom-up sample (the picture then stands upside down,
// which does not matter to the filter).
const Sample &realFrame()
{
    static const Sample frame = [] {
        Sample sample(kWidth, kHeight);
        const ToolResult decoded =
            runTool(QStringLiteral("ffmpeg"),
                    {"-v", "error", "-f", "lavfi", "-i", "testsrc=size=720x576:rate=25",
                     "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "bgr24", "-"});
        if (decoded.exitCode == 0 &&
            decoded.out.size() == static_cast<qsizetype>(sample.bytes.size()))
            std::copy(decoded.out.begin(), decoded.out.end(), sample.bytes.begin());
        else
            sample.bytes.clear();
        return sample;
    }();
    return frame;
}

// A plain picture with an odd width, so that every row is padded.
Sample greyFrame(int w = 355, int h = 288, std::uint8_t level = 128)
{
    return Sample(w, h, level);
}

const std::array<QString, 2> kTexts{QStringLiteral("14.05.2006"), QStringLiteral("10:31:07")};

TincrustRec optionsWith(int outline, std::int32_t size = 16, std::int32_t color = 0xFFFFFF)
{
    TincrustRec options;
    options.Font.Name = QStringLiteral("Arial");
    options.Font.Size = size;
    options.Font.Color = color;
    options.Font.Bold = 1;
    options.Outline = outline;
    return options;
}

// Pixels whose bytes differ, in picture coordinates (rows from the top).
std::vector<QPoint> changedPixels(const Sample &a, const Sample &b)
{
    std::vector<QPoint> changed;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            if (!std::equal(a.pixel(x, y), a.pixel(x, y) + 3, b.pixel(x, y)))
                changed.emplace_back(x, y);
    return changed;
}

bool samePixels(const Sample &a, const Sample &b)
{
    return changedPixels(a, b).empty();
}

TEST(OverlayFont, SizesFollowTheGdiRule)
{
    TfontRecord record;
    record.Name = QStringLiteral("Arial");
    record.Size = 16; // points: a 21-pixel character height
    EXPECT_EQ(OverlayFont(record).pixelSize(), 21);
    record.Size = -21; // a 28-pixel cell
    const QFont cell = OverlayFont(record);
    const QFontMetrics metrics(cell);
    EXPECT_NEAR(metrics.ascent() + metrics.descent(), 28, 1);
    // The installed metric-compatible face stands in for the named one, so
    // the text does not depend on the machine.
    EXPECT_TRUE(QFontInfo(cell).family().startsWith(QStringLiteral("Liberation Sans")))
        << QFontInfo(cell).family().toStdString();
    record.Bold = record.Italic = record.Underline = record.StrikeOut = 1;
    const QFont styled = OverlayFont(record);
    EXPECT_TRUE(styled.bold());
    EXPECT_TRUE(styled.italic());
    EXPECT_TRUE(styled.underline());
    EXPECT_TRUE(styled.strikeOut());
}

TEST(OverlayRaster, TextChangesPixelsOnlyInsideItsBox)
{
    const Sample &input = realFrame();
    if (input.bytes.empty())
        FAIL() << "ffmpeg could not make the test picture";
    for (const std::uint8_t alignment : std::initializer_list<std::uint8_t>{0, 1, 2, 3}) {
        for (int outline : {0, 2, 5}) {
            SuperposerCore core;
            TincrustRec options = optionsWith(outline, 16, 0x00FFFF);
            // Slanted, underlined and struck-out glyphs reach beyond plain ones.
            const bool styled = outline == 2;
            options.Font.Italic = options.Font.Underline = options.Font.StrikeOut = styled;
            core.SetOptions(options);
            core.SetPosition(900, 900, alignment);
            ASSERT_TRUE(core.StartStreaming(kWidth, kHeight));
            Sample output(kWidth, kHeight, 0xCD);
            ASSERT_TRUE(core.Transform(input.view(), output.view(), kTexts, true));

            const OverlayLayout layout = core.LastLayout();
            ASSERT_TRUE(layout.drawn);
            EXPECT_EQ(layout.lines[1].y - layout.lines[0].y, 21);
            EXPECT_EQ(layout.lines[1].y + 21, kHeight * 9 / 10) << "block's lower edge at 90 %";
            const std::vector<QPoint> changed = changedPixels(input, output);
            EXPECT_GT(changed.size(), 200u) << "alignment " << int(alignment);
            for (const QPoint &p : changed) {
                ASSERT_TRUE(layout.textBox.contains(p))
                    << "alignment " << int(alignment) << " outline " << outline << ": pixel ("
                    << p.x() << ", " << p.y() << ") outside the box";
            }
            // The output buffer's row padding is never written (720 × 3 has none,
            // but the bytes past the picture would be).
            EXPECT_EQ(output.bytes.size(), input.bytes.size());
        }
    }
}

TEST(OverlayRaster, NothingDrawnLeavesTheFrameByteForByte)
{
    struct Case
    {
        const char *name;
        std::uint8_t alignment;
        bool overlayOn;
        bool show;
    };
    const Case cases[] = {{"Alignment7", 7, true, true},
                          {"OverlayOff", 2, false, true},
                          {"NotShownOnThisFrame", 2, true, false}};
    for (const Case &c : cases) {
        const Sample input = greyFrame();
        SuperposerCore core;
        core.SetOptions(optionsWith(5));
        core.SetPosition(500, 500, c.alignment);
        core.SetOverlayOn(c.overlayOn);
        ASSERT_TRUE(core.StartStreaming(input.width, input.height));
        Sample output(input.width, input.height, 0xCD);
        ASSERT_TRUE(core.Transform(input.view(), output.view(), kTexts, c.show)) << c.name;
        EXPECT_TRUE(samePixels(input, output)) << c.name;
        EXPECT_FALSE(core.LastLayout().drawn) << c.name;
        // Row padding of the output is the caller's and stays as it was.
        const std::ptrdiff_t stride = Rgb24Stride(input.width);
        for (int y = 0; y < input.height; ++y)
            for (std::ptrdiff_t i = input.width * 3; i < stride; ++i)
                ASSERT_EQ(output.bytes[y * stride + i], 0xCD) << c.name;
    }
}

TEST(OverlayRaster, DrawsOutlineInBlackAndTextInItsColour)
{
    const Sample input = greyFrame(720, 576);
    SuperposerCore core;
    core.SetOptions(optionsWith(2, 40, 0x0000FF)); // red, 53-pixel characters
    core.SetPosition(500, 500, 1);
    ASSERT_TRUE(core.StartStreaming(input.width, input.height));
    Sample output(input.width, input.height);
    ASSERT_TRUE(core.Transform(input.view(), output.view(), kTexts, true));
    int red = 0;
    int black = 0;
    for (const QPoint &p : changedPixels(input, output)) {
        const std::uint8_t *bgr = output.pixel(p.x(), p.y());
        red += bgr[0] == 0 && bgr[1] == 0 && bgr[2] == 255;
        black += bgr[0] == 0 && bgr[1] == 0 && bgr[2] == 0;
    }
    EXPECT_GT(red, 500);
    EXPECT_GT(black, 500);
}

TEST(OverlayRaster, DrawsAsManyTimesAsTheLayoutSays)
{
    QImage picture(200, 100, QImage::Format_BGR888);
    picture.fill(Qt::gray);
    const QFont font = OverlayFont(optionsWith(0).Font);
    const QFontMetrics metrics(font, &picture);
    for (int outline : {0, 1, 5}) {
        OverlayPlacement placement;
        placement.frameWidth = 200;
        placement.frameHeight = 100;
        placement.lineStep = 21;
        placement.outline = outline;
        placement.alignment = 1;
        const OverlayLayout layout = LayoutOverlay(
            kTexts,
            {MeasureOverlayLine(metrics, kTexts[0]), MeasureOverlayLine(metrics, kTexts[1])},
            placement);
        EXPECT_EQ(DrawOverlay(picture, layout, font), layout.drawCount);
    }
}

TEST(OverlayRaster, DeinterlacedOutputAndStillPicture)
{
    const Sample &input = realFrame();
    if (input.bytes.empty())
        FAIL() << "ffmpeg could not make the test picture";

    // The frame with its text, as the overlay draws it without deinterlacing.
    SuperposerCore plain;
    plain.SetOptions(optionsWith(2));
    ASSERT_TRUE(plain.StartStreaming(kWidth, kHeight));
    Sample withText(kWidth, kHeight);
    ASSERT_TRUE(plain.Transform(input.view(), withText.view(), kTexts, true));
    Sample expected = withText;
    DeinterlaceMasks masks;
    ASSERT_TRUE(Deinterlace(expected.view(), expected.view(), masks));
    ASSERT_FALSE(samePixels(expected, withText)) << "the test pattern has combs to remove";

    // The still picture is the deinterlaced frame, text included.
    ASSERT_TRUE(plain.FrameShown());
    Sample still(kWidth, kHeight);
    ASSERT_TRUE(CopyRgb24(viewOf(plain.Picture()), still.view()));
    EXPECT_TRUE(samePixels(still, expected));

    SuperposerCore deinterlacing;
    deinterlacing.SetOptions(optionsWith(2));
    deinterlacing.SetDeinterlace(true);
    ASSERT_TRUE(deinterlacing.StartStreaming(kWidth, kHeight));
    EXPECT_FALSE(deinterlacing.FrameShown());
    Sample output(kWidth, kHeight);
    ASSERT_TRUE(deinterlacing.Transform(input.view(), output.view(), kTexts, true));
    EXPECT_TRUE(samePixels(output, expected));
    ASSERT_TRUE(deinterlacing.FrameShown());
    ASSERT_TRUE(CopyRgb24(viewOf(deinterlacing.Picture()), still.view()));
    EXPECT_TRUE(samePixels(still, expected));
}

TEST(OverlayRaster, StillPictureIsRefreshedOnlyForAWaitingCaller)
{
    SuperposerCore core;
    core.SetOverlayOn(false);
    ASSERT_TRUE(core.StartStreaming(64, 48));
    EXPECT_EQ(core.Picture().size(), QSize(64, 48));
    const auto stillLevel = [&] { return core.Picture().pixelColor(10, 10).red(); };
    Sample output(64, 48);

    ASSERT_TRUE(core.Transform(greyFrame(64, 48, 10).view(), output.view(), kTexts, true));
    EXPECT_TRUE(core.FrameShown());
    EXPECT_EQ(stillLevel(), 10);
    ASSERT_TRUE(core.Transform(greyFrame(64, 48, 20).view(), output.view(), kTexts, true));
    EXPECT_EQ(stillLevel(), 10) << "no caller waited: the still stays";

    core.ClearFrameShown();
    ASSERT_TRUE(core.Transform(greyFrame(64, 48, 30).view(), output.view(), kTexts, true));
    EXPECT_TRUE(core.FrameShown());
    EXPECT_EQ(stillLevel(), 30);

    // The still, stretched into a picture of another size.
    QImage thumbnail(16, 12, QImage::Format_RGB32);
    thumbnail.fill(Qt::white);
    core.CopyPicture(thumbnail);
    EXPECT_EQ(thumbnail.pixelColor(8, 6), QColor(30, 30, 30));

    // Refreshed on demand from the last frame taken.
    ASSERT_TRUE(core.Transform(greyFrame(64, 48, 40).view(), output.view(), kTexts, true));
    EXPECT_EQ(stillLevel(), 30);
    core.CopyPictureDeinterlaced(thumbnail);
    EXPECT_EQ(thumbnail.pixelColor(8, 6), QColor(40, 40, 40));
    EXPECT_EQ(stillLevel(), 40);

    // Asked for only after later frames, the still is still the frame that
    // answered the wait, and those frames come out whole.
    core.ClearFrameShown();
    for (const std::uint8_t level : std::initializer_list<std::uint8_t>{50, 60, 70}) {
        ASSERT_TRUE(core.Transform(greyFrame(64, 48, level).view(), output.view(), kTexts, true));
        EXPECT_TRUE(samePixels(output, greyFrame(64, 48, level))) << int(level);
    }
    EXPECT_EQ(stillLevel(), 50);
    core.CopyPictureDeinterlaced(thumbnail);
    EXPECT_EQ(thumbnail.pixelColor(8, 6), QColor(70, 70, 70));

    // A wait answered while deinterlacing: the still is the deinterlaced output.
    core.ClearFrameShown();
    ASSERT_TRUE(core.Transform(greyFrame(64, 48, 80).view(), output.view(), kTexts, true));
    core.SetDeinterlace(true);
    ASSERT_TRUE(core.Transform(greyFrame(64, 48, 90).view(), output.view(), kTexts, true));
    EXPECT_EQ(stillLevel(), 90);
}

Sample patternFrame(int w, int h, int seed);

// Drawn where it lies, a frame comes out as the copying form writes it.
TEST(OverlayRaster, InPlaceFrameComesOutAsTheCopyingFormWritesIt)
{
    struct Case
    {
        const char *name;
        bool overlayOn;
        std::uint8_t alignment;
        bool deinterlace;
    };
    const Case cases[] = {
        {"text", true, 2, false},
        {"text hidden by alignment 7", true, 7, false},
        {"overlay off", false, 2, false},
        {"deinterlaced", true, 2, true},
    };
    const Sample input = patternFrame(161, 120, 1);
    for (const Case &c : cases) {
        auto start = [&](SuperposerCore &core) {
            core.SetOptions(optionsWith(1, 20));
            core.SetPosition(500, 700, c.alignment);
            core.SetOverlayOn(c.overlayOn);
            core.SetDeinterlace(c.deinterlace);
            return core.StartStreaming(input.width, input.height);
        };
        SuperposerCore copying;
        SuperposerCore inPlace;
        ASSERT_TRUE(start(copying) && start(inPlace)) << c.name;
        Sample expected(input.width, input.height);
        ASSERT_TRUE(copying.Transform(input.view(), expected.view(), kTexts, true)) << c.name;
        auto frame = std::make_shared<Sample>(input);
        ASSERT_TRUE(inPlace.TransformInPlace(frame->view(), frame, kTexts, true)) << c.name;
        EXPECT_TRUE(samePixels(*frame, expected)) << c.name;
        EXPECT_EQ(inPlace.LastLayout().drawn, copying.LastLayout().drawn) << c.name;
        EXPECT_EQ(inPlace.Picture(), copying.Picture()) << c.name;
        EXPECT_TRUE(inPlace.FrameShown()) << c.name;
    }
    SuperposerCore core;
    ASSERT_TRUE(core.StartStreaming(input.width, input.height));
    auto wrongSize = std::make_shared<Sample>(greyFrame(32, 48));
    EXPECT_FALSE(core.TransformInPlace(wrongSize->view(), wrongSize, kTexts, true));
    EXPECT_EQ(wrongSize.use_count(), 1) << "a refused frame is not kept";
}

// A frame drawn in place is kept, not copied, for the still and the last
// frame; it is let go at the next frame (the still owed to a waiting caller
// made from it first) and at the end of streaming, after which its owner may
// write into it again.
TEST(OverlayRaster, InPlaceFrameIsHeldUntilTheNextFrameOrTheEnd)
{
    SuperposerCore core;
    core.SetOverlayOn(false);
    ASSERT_TRUE(core.StartStreaming(64, 48));
    const auto stillLevel = [&] { return core.Picture().pixelColor(10, 10).red(); };
    const auto frame = [](std::uint8_t level) {
        return std::make_shared<Sample>(greyFrame(64, 48, level));
    };
    const auto reuse = [](Sample &sample) {
        std::fill(sample.bytes.begin(), sample.bytes.end(), 99);
    };

    const auto first = frame(10);
    ASSERT_TRUE(core.TransformInPlace(first->view(), first, kTexts, true));
    EXPECT_GT(first.use_count(), 1);
    const auto second = frame(20);
    ASSERT_TRUE(core.TransformInPlace(second->view(), second, kTexts, true));
    EXPECT_EQ(first.use_count(), 1) << "let go at the next frame";
    reuse(*first);
    EXPECT_EQ(stillLevel(), 10) << "the still answered the wait";

    core.ClearFrameShown();
    const auto third = frame(30);
    ASSERT_TRUE(core.TransformInPlace(third->view(), third, kTexts, true));
    EXPECT_EQ(second.use_count(), 1);
    EXPECT_EQ(stillLevel(), 30);
    QImage thumbnail(16, 12, QImage::Format_RGB32);
    core.CopyPictureDeinterlaced(thumbnail);
    EXPECT_EQ(thumbnail.pixelColor(8, 6), QColor(30, 30, 30));

    core.ClearFrameShown();
    const auto fourth = frame(40);
    ASSERT_TRUE(core.TransformInPlace(fourth->view(), fourth, kTexts, true));
    EXPECT_EQ(third.use_count(), 1);
    core.StopStreaming();
    EXPECT_EQ(fourth.use_count(), 1) << "let go at the end of streaming";
    reuse(*fourth);
    EXPECT_EQ(stillLevel(), 40);
    core.CopyPictureDeinterlaced(thumbnail);
    EXPECT_EQ(thumbnail.pixelColor(8, 6), QColor(40, 40, 40));
}

TEST(OverlayRaster, FrameShownBelongsToEachInstance)
{
    SuperposerCore preview;
    SuperposerCore processing;
    ASSERT_TRUE(preview.StartStreaming(32, 16));
    ASSERT_TRUE(processing.StartStreaming(32, 16));
    Sample output(32, 16);
    ASSERT_TRUE(processing.Transform(greyFrame(32, 16).view(), output.view(), kTexts, true));
    EXPECT_TRUE(processing.FrameShown());
    EXPECT_FALSE(preview.FrameShown()) << "another instance's frame answers no wait here";
}

TEST(OverlayRaster, RefusedFrameStillCountsAndAnswersTheWait)
{
    SuperposerCore core;
    ASSERT_TRUE(core.StartStreaming(64, 48));
    Sample output(64, 48, 0xCD);
    const Sample wrongSize = greyFrame(32, 48);
    EXPECT_FALSE(core.Transform(wrongSize.view(), output.view(), kTexts, true));
    EXPECT_EQ(output.bytes, Sample(64, 48, 0xCD).bytes);
    EXPECT_TRUE(core.FrameShown());
    EXPECT_EQ(core.FrameCounter(), 1u);
    EXPECT_FALSE(core.Transform(greyFrame(64, 48).view(), Rgb24View{}, kTexts, true));
    EXPECT_EQ(core.FrameCounter(), 2u);
    ASSERT_TRUE(core.StartStreaming(64, 48));
    EXPECT_EQ(core.FrameCounter(), 0u);
    EXPECT_FALSE(core.StartStreaming(0, 48));
}

// Settings and still pictures used from another thread while frames stream
// (run under ThreadSanitizer).
TEST(OverlayRaster, SettingsChangeWhileFramesStream)
{
    SuperposerCore core;
    core.SetOptions(optionsWith(1));
    ASSERT_TRUE(core.StartStreaming(160, 120));
    std::atomic<bool> done{false};
    std::thread streaming([&] {
        const Sample input = greyFrame(160, 120);
        Sample output(160, 120);
        for (int i = 0; i < 40; ++i)
            core.Transform(input.view(), output.view(), kTexts, true);
        done = true;
    });
    QImage thumbnail(40, 30, QImage::Format_RGB32);
    for (int i = 0; !done; ++i) {
        core.SetPosition(100 + i % 800, 500, static_cast<std::uint8_t>(i % 4));
        core.SetOptions(optionsWith(i % 3, 10 + i % 10));
        core.SetDeinterlace(i % 2 == 0);
        core.ClearFrameShown();
        core.CopyPicture(thumbnail);
        (void)core.Settings();
    }
    streaming.join();
    EXPECT_EQ(core.FrameCounter(), 40u);
}

// A picture where every channel of every pixel differs from its neighbours,
// so that a blend that is off anywhere shows; `seed` makes another one.
Sample patternFrame(int w, int h, int seed)
{
    Sample sample(w, h);
    for (int y = 0; y < h; ++y) {
        std::uint8_t *row = sample.view().row(y);
        for (int x = 0; x < w; ++x) {
            row[3 * x] = static_cast<std::uint8_t>(x * 7 + y * 3 + seed * 50);
            row[3 * x + 1] = static_cast<std::uint8_t>(x * 3 + y * 11 + seed * 90);
            row[3 * x + 2] = static_cast<std::uint8_t>((x ^ y) * 5 + seed * 30);
        }
    }
    return sample;
}

// `input` with the layout drawn straight onto it by DrawOverlay, as a sample.
Sample drawnDirectly(const Sample &input, const OverlayLayout &layout, const QFont &font)
{
    QImage picture(input.width, input.height, QImage::Format_BGR888);
    EXPECT_TRUE(CopyRgb24(input.view(), viewOf(picture)));
    DrawOverlay(picture, layout, font);
    Sample drawn(input.width, input.height);
    EXPECT_TRUE(CopyRgb24(viewOf(std::as_const(picture)), drawn.view()));
    return drawn;
}

// The layout of `texts` worked out afresh from the settings, as the core
// lays them out on a picture of w × h.
OverlayLayout freshLayout(const SuperposerSettings &settings, const std::array<QString, 2> &texts,
                          int w, int h)
{
    const QImage device(w, h, QImage::Format_BGR888);
    const QFontMetrics metrics(OverlayFont(settings.Font), &device);
    OverlayPlacement placement;
    placement.frameWidth = w;
    placement.frameHeight = h;
    placement.posX = settings.PosX;
    placement.posY = settings.PosY;
    placement.alignment = settings.Alignment;
    placement.lineStep = OverlayLineStep(settings.Font.Size);
    placement.outline = settings.Options.Outline;
    placement.color = settings.Font.Color;
    return LayoutOverlay(
        texts, {MeasureOverlayLine(metrics, texts[0]), MeasureOverlayLine(metrics, texts[1])},
        placement);
}

// Empty when `actual` equals `expected` within ±2 per channel inside `box`
// and exactly outside it; else the first difference found. (Each blend of a
// text draw rounds to 8 bits; where many outline draws overlap, the picture
// drawn on directly and the composited tile come out up to 2 apart.)
std::string compareWithinBox(const Sample &actual, const Sample &expected, const QRect &box)
{
    for (int y = 0; y < actual.height; ++y) {
        for (int x = 0; x < actual.width; ++x) {
            const int tolerance = box.contains(x, y) ? 2 : 0;
            for (int c = 0; c < 3; ++c) {
                const int a = actual.pixel(x, y)[c];
                const int e = expected.pixel(x, y)[c];
                if (std::abs(a - e) > tolerance)
                    return "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") channel " +
                           std::to_string(c) + ": " + std::to_string(a) + " instead of " +
                           std::to_string(e);
            }
        }
    }
    return {};
}

// The overlay drawn from its cached tile on frame after frame equals the
// texts drawn straight onto each frame, for the layouts and the changes
// between frames that make or reuse a tile.
TEST(OverlayCacheCore, CachedFramesMatchDirectDrawing)
{
    using Change = std::function<void(SuperposerCore &, std::array<QString, 2> &)>;
    struct Case
    {
        const char *name;
        int outline;
        std::array<QString, 2> texts;
        int posX;
        int posY;
        std::uint8_t alignment;
        Change change; // applied before the third frame
    };
    const std::array<QString, 2> oneLine{QString(), QStringLiteral("10:31:07:12")};
    const Change none = [](SuperposerCore &, std::array<QString, 2> &) {};
    const Case cases[] = {
        {"Outline0", 0, kTexts, 900, 900, 2, none},
        {"Outline1OneLine", 1, oneLine, 500, 500, 1, none},
        {"Outline2", 2, kTexts, 900, 900, 0, none},
        {"Outline5", 5, kTexts, 900, 900, 2, none},
        {"TopLeftEdge", 2, kTexts, 0, 0, 1, none},
        {"BottomRightEdge", 1, kTexts, 1000, 1000, 2, none},
        {"WiderThanThePicture",
         2,
         {QStringLiteral("Sunday, 14 May 2006 10:31:07 and more"), QStringLiteral("10:31:07")},
         500,
         500,
         3,
         none},
        {"TextChanges", 2, kTexts, 900, 900, 2,
         [](SuperposerCore &, std::array<QString, 2> &texts) {
             texts[1] = QStringLiteral("10:31:08");
         }},
        {"FontChanges", 1, kTexts, 500, 900, 1,
         [](SuperposerCore &core, std::array<QString, 2> &) {
             TincrustRec options = optionsWith(1, 20);
             options.Font.Name = QStringLiteral("DejaVu Serif");
             options.Font.Italic = 1;
             core.SetOptions(options);
         }},
        {"ColourChanges", 2, kTexts, 900, 900, 2,
         [](SuperposerCore &core, std::array<QString, 2> &) {
             core.SetOptions(optionsWith(2, 16, 0x00FF00));
         }},
        {"OutlineChanges", 2, kTexts, 900, 900, 2,
         [](SuperposerCore &core, std::array<QString, 2> &) { core.SetOptions(optionsWith(1)); }},
        {"PositionChanges", 2, kTexts, 900, 900, 2,
         [](SuperposerCore &core, std::array<QString, 2> &) { core.SetPosition(300, 400, 1); }},
    };
    constexpr int kW = 355; // odd: padded rows
    constexpr int kH = 288;
    for (const Case &c : cases) {
        SuperposerCore core;
        core.SetOptions(optionsWith(c.outline));
        core.SetPosition(c.posX, c.posY, c.alignment);
        ASSERT_TRUE(core.StartStreaming(kW, kH));
        std::array<QString, 2> texts = c.texts;
        for (int frame = 0; frame < 4; ++frame) {
            if (frame == 2)
                c.change(core, texts);
            const Sample input = patternFrame(kW, kH, frame);
            Sample output(kW, kH);
            ASSERT_TRUE(core.Transform(input.view(), output.view(), texts, true));
            const SuperposerSettings settings = core.Settings();
            const OverlayLayout layout = freshLayout(settings, texts, kW, kH);
            ASSERT_TRUE(layout.drawn);
            const OverlayLayout last = core.LastLayout();
            EXPECT_EQ(last.textBox, layout.textBox) << c.name << " frame " << frame;
            EXPECT_EQ(last.textColor, layout.textColor) << c.name << " frame " << frame;
            EXPECT_EQ(last.lines[1].text, texts[1]) << c.name << " frame " << frame;
            const Sample expected = drawnDirectly(input, layout, OverlayFont(settings.Font));
            EXPECT_FALSE(samePixels(expected, input)) << c.name << " frame " << frame;
            EXPECT_EQ(compareWithinBox(output, expected, layout.textBox), "")
                << c.name << " frame " << frame;
        }
    }
}

// A tile is rendered once for what is drawn and again for each change of it.
TEST(OverlayCacheCore, RendersOncePerChangeOfWhatIsDrawn)
{
    QImage picture(200, 100, QImage::Format_BGR888);
    picture.fill(Qt::gray);
    const QFont font = OverlayFont(optionsWith(1).Font);
    OverlayPlacement placement;
    placement.frameWidth = 200;
    placement.frameHeight = 100;
    placement.lineStep = 21;
    placement.outline = 1;
    placement.alignment = 1;
    placement.posX = 500;
    placement.posY = 900;

    struct Case
    {
        const char *name;
        std::function<void(std::array<QString, 2> &, OverlayPlacement &, QFont &)> change;
        bool renders;
    };
    const Case cases[] = {
        {"Same", [](auto &, auto &, auto &) {}, false},
        {"Text", [](auto &t, auto &, auto &) { t[0] = QStringLiteral("15.05.2006"); }, true},
        {"Colour", [](auto &, auto &p, auto &) { p.color = 0x0000FF; }, true},
        {"Outline", [](auto &, auto &p, auto &) { p.outline = 3; }, true},
        {"Alignment", [](auto &, auto &p, auto &) { p.alignment = 0; }, true},
        {"Position", [](auto &, auto &p, auto &) { p.posY = 800; }, true},
        {"LineStep", [](auto &, auto &p, auto &) { p.lineStep = 30; }, true},
        {"PictureSize", [](auto &, auto &p, auto &) { p.frameWidth = 180; }, true},
        {"FontStyle", [](auto &, auto &, auto &f) { f.setItalic(true); }, true},
        {"FontSize", [](auto &, auto &, auto &f) { f.setPixelSize(30); }, true},
    };
    for (const Case &c : cases) {
        OverlayCache cache;
        std::array<QString, 2> texts = kTexts;
        OverlayPlacement changed = placement;
        QFont changedFont = font;
        cache.Draw(picture, texts, placement, font);
        cache.Draw(picture, texts, placement, font);
        EXPECT_EQ(cache.Renders(), 1) << c.name;
        c.change(texts, changed, changedFont);
        const OverlayLayout layout = cache.Draw(picture, texts, changed, changedFont);
        EXPECT_EQ(cache.Renders(), c.renders ? 2 : 1) << c.name;
        EXPECT_EQ(layout.outline, changed.outline) << c.name;
        EXPECT_EQ(layout.textColor, ColorRefToRgb(changed.color)) << c.name;
        cache.Clear();
        cache.Draw(picture, texts, changed, changedFont);
        EXPECT_EQ(cache.Renders(), c.renders ? 3 : 2) << c.name << ": a cleared cache renders";
    }
}

} // namespace
