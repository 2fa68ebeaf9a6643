// The overlay drawn on planar pictures (the decoder's own samples in a graph
// that encodes DV again): only the samples under the text box change, the
// blend is the RGB24 drawing followed by the colour conversion, and what
// needs RGB24 (deinterlacing, the still picture) goes through it.
#include "support/tools.h"
#include "video/filters/dv_superposercore.h"
#include "video/filters/yuvpicture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

using namespace vidora;
using namespace vidora::test;

namespace {

struct Sampling
{
    const char *name;
    int width, height;
    int shiftX, shiftY;
    const char *pixFmt;
};

constexpr Sampling kPal{"4:2:0", 720, 576, 1, 1, "yuv420p"};
constexpr Sampling kNtsc{"4:1:1", 720, 480, 2, 0, "yuv411p"};

// A planar picture packed as the decoder's samples are.
struct Planar
{
    Sampling sampling;
    std::vector<std::uint8_t> bytes;

    explicit Planar(const Sampling &s, std::uint8_t luma = 0, std::uint8_t chroma = 128)
        : sampling(s)
    {
        const std::size_t lumaBytes = static_cast<std::size_t>(s.width) * s.height;
        bytes.assign(YuvImageSize(s.width, s.height, s.shiftX, s.shiftY), chroma);
        std::fill_n(bytes.begin(), lumaBytes, luma);
    }
    YuvView view()
    {
        return yuvSampleView(bytes.data(), bytes.size(), sampling.width, sampling.height,
                             sampling.shiftX, sampling.shiftY);
    }
    std::uint8_t at(int plane, int x, int y)
    {
        const YuvView v = view();
        return v.planes[plane][y * v.strides[plane] + x];
    }
};

// ffmpeg's test pattern in the sampling.
Planar pattern(const Sampling &s)
{
    Planar picture(s);
    const ToolResult made =
        runTool("ffmpeg", {"-v", "error", "-f", "lavfi", "-i",
                           QString("testsrc=size=%1x%2:rate=25").arg(s.width).arg(s.height),
                           "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", s.pixFmt, "-"});
    if (made.exitCode == 0 && made.out.size() == static_cast<qsizetype>(picture.bytes.size()))
        std::copy(made.out.begin(), made.out.end(), picture.bytes.begin());
    else
        picture.bytes.clear();
    return picture;
}

const std::array<QString, 2> kTexts{QStringLiteral("14.05.2006"), QStringLiteral("10:31:07")};

void startCore(SuperposerCore &core, const Sampling &s, std::uint8_t alignment, int outline,
               std::int32_t color = 0xFFFFFF)
{
    TincrustRec options;
    options.Font.Name = QStringLiteral("Arial");
    options.Font.Size = 16;
    options.Font.Color = color;
    options.Font.Bold = 1;
    options.Outline = outline;
    core.SetOptions(options);
    core.SetPosition(900, 900, alignment);
    ASSERT_TRUE(core.StartStreaming(s.width, s.height));
}

// BT.601 studio-range samples of an 8-bit BGR pixel.
double lumaOf(const std::uint8_t *bgr)
{
    return 16.0 + (65.738 * bgr[2] + 129.057 * bgr[1] + 25.064 * bgr[0]) / 256.0;
}
double cbOf(const std::uint8_t *bgr)
{
    return 128.0 + (-37.945 * bgr[2] - 74.494 * bgr[1] + 112.439 * bgr[0]) / 256.0;
}
double crOf(const std::uint8_t *bgr)
{
    return 128.0 + (112.439 * bgr[2] - 94.154 * bgr[1] - 18.285 * bgr[0]) / 256.0;
}

TEST(OverlayPlanar, OnlyTheSamplesUnderTheTextBoxChange)
{
    for (const Sampling &s : {kPal, kNtsc}) {
        const Planar input = pattern(s);
        ASSERT_FALSE(input.bytes.empty()) << "ffmpeg could not make the test picture";
        for (const int alignment : {0, 2, 3}) {
            for (const int outline : {0, 2}) {
                SCOPED_TRACE(testing::Message() << s.name << " alignment " << int(alignment)
                                                << " outline " << outline);
                SuperposerCore core;
                startCore(core, s, static_cast<std::uint8_t>(alignment), outline, 0x00FFFF);
                auto frame = std::make_shared<Planar>(input);
                ASSERT_TRUE(core.TransformPlanarInPlace(frame->view(), frame, kTexts, true));
                const QRect box = core.LastLayout().textBox;
                ASSERT_TRUE(core.LastLayout().drawn);
                Planar before = input;
                int changed = 0;
                for (int plane = 0; plane < 3; ++plane) {
                    const int sx = plane == 0 ? 0 : s.shiftX;
                    const int sy = plane == 0 ? 0 : s.shiftY;
                    for (int y = 0; y < s.height >> sy; ++y) {
                        for (int x = 0; x < s.width >> sx; ++x) {
                            if (frame->at(plane, x, y) == before.at(plane, x, y))
                                continue;
                            ++changed;
                            // The pixels the sample covers.
                            const QRect covered(x << sx, y << sy, 1 << sx, 1 << sy);
                            ASSERT_TRUE(box.intersects(covered))
                                << "plane " << plane << " sample (" << x << ", " << y
                                << ") outside the box";
                        }
                    }
                }
                EXPECT_GT(changed, 200);
            }
        }
    }
}

// On an even grey, drawing on the planar picture gives the samples that the
// RGB24 drawing gives once converted: luma pixel by pixel, chroma as the mean
// of the pixels each sample covers (the conversion is affine), within the
// rounding of the two blends.
TEST(OverlayPlanar, BlendsAsTheRgb24DrawingThenConverted)
{
    for (const Sampling &s : {kPal, kNtsc}) {
        for (const std::int32_t color : {0xFFFFFF, 0x00FFFF, 0xFF0000}) {
            SCOPED_TRACE(testing::Message() << s.name << " colour " << std::hex << color);
            const std::uint8_t grey = 100;
            SuperposerCore rgbCore;
            SuperposerCore planarCore;
            startCore(rgbCore, s, 2, 1, color);
            startCore(planarCore, s, 2, 1, color);
            QImage rgb(s.width, s.height, QImage::Format_BGR888);
            rgb.fill(QColor(grey, grey, grey));
            ASSERT_TRUE(rgbCore.Transform(viewOf(std::as_const(rgb)), viewOf(rgb), kTexts, true));
            const std::uint8_t greyLuma =
                static_cast<std::uint8_t>(std::lround(16.0 + 219.0 * grey / 255.0));
            auto frame = std::make_shared<Planar>(s, greyLuma, 128);
            ASSERT_TRUE(planarCore.TransformPlanarInPlace(frame->view(), frame, kTexts, true));

            const auto pixel = [&](int x, int y) { return rgb.constScanLine(y) + 3 * x; };
            double worst = 0;
            for (int y = 0; y < s.height; ++y)
                for (int x = 0; x < s.width; ++x)
                    worst = std::max(worst, std::abs(frame->at(0, x, y) - lumaOf(pixel(x, y))));
            for (int cy = 0; cy < s.height >> s.shiftY; ++cy) {
                for (int cx = 0; cx < s.width >> s.shiftX; ++cx) {
                    double cb = 0, cr = 0;
                    const int n = 1 << (s.shiftX + s.shiftY);
                    for (int y = cy << s.shiftY; y < (cy + 1) << s.shiftY; ++y)
                        for (int x = cx << s.shiftX; x < (cx + 1) << s.shiftX; ++x) {
                            cb += cbOf(pixel(x, y)) / n;
                            cr += crOf(pixel(x, y)) / n;
                        }
                    worst = std::max({worst, std::abs(frame->at(1, cx, cy) - cb),
                                      std::abs(frame->at(2, cx, cy) - cr)});
                }
            }
            EXPECT_LE(worst, 2.5);
        }
    }
}

// Deinterlacing works on RGB24: the planar frame comes out as the RGB24
// path's frame converted back. The still picture shows the frame drawn on.
TEST(OverlayPlanar, DeinterlacingAndTheStillGoThroughRgb24)
{
    const Sampling s = kPal;
    const Planar input = pattern(s);
    ASSERT_FALSE(input.bytes.empty());

    SuperposerCore planarCore;
    startCore(planarCore, s, 2, 1);
    planarCore.SetDeinterlace(true);
    auto frame = std::make_shared<Planar>(input);
    ASSERT_TRUE(planarCore.TransformPlanarInPlace(frame->view(), frame, kTexts, true));
    EXPECT_EQ(frame.use_count(), 1) << "a frame converted for deinterlacing is not kept";

    SuperposerCore rgbCore;
    startCore(rgbCore, s, 2, 1);
    rgbCore.SetDeinterlace(true);
    Planar source = input;
    QImage rgb(s.width, s.height, QImage::Format_BGR888);
    ASSERT_TRUE(YuvToRgb24(source.view(), viewOf(rgb)));
    ASSERT_TRUE(rgbCore.Transform(viewOf(std::as_const(rgb)), viewOf(rgb), kTexts, true));
    Planar expected(s);
    ASSERT_TRUE(Rgb24ToYuv(viewOf(std::as_const(rgb)), expected.view()));
    EXPECT_TRUE(frame->bytes == expected.bytes);
    EXPECT_EQ(planarCore.Picture(), rgbCore.Picture());

    // Without deinterlacing the frame is drawn where it lies and kept; its
    // still is made from it, text included, when asked for.
    SuperposerCore kept;
    startCore(kept, s, 2, 1);
    auto drawn = std::make_shared<Planar>(input);
    ASSERT_TRUE(kept.TransformPlanarInPlace(drawn->view(), drawn, kTexts, true));
    EXPECT_GT(drawn.use_count(), 1) << "the frame is held for its still";
    ASSERT_TRUE(kept.FrameShown());
    const QImage still = kept.Picture();
    SuperposerCore plain;
    startCore(plain, s, 2, 1);
    plain.SetOverlayOn(false);
    QImage drawnRgb(s.width, s.height, QImage::Format_BGR888);
    ASSERT_TRUE(YuvToRgb24(drawn->view(), viewOf(drawnRgb)));
    ASSERT_TRUE(plain.Transform(viewOf(std::as_const(drawnRgb)), viewOf(drawnRgb), kTexts, true));
    EXPECT_EQ(still, plain.Picture());
    kept.StopStreaming();
    EXPECT_EQ(drawn.use_count(), 1) << "let go at the end of streaming";
    EXPECT_EQ(kept.Picture(), still);
}

} // namespace
