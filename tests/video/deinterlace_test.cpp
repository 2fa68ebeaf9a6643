// The deinterlacing routines on small pictures that show each rule: the comb
// threshold, lone pixels, floor means, odd rows counted from the top whatever
// the row order in memory, and the deinterlacing filter's per-frame work.
#include "video/filters/deinter.h"
#include "video/filters/deinter2.h"
#include "video/filters/dv_deintercore.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <vector>

using namespace vidora;

namespace {

using Bgr = std::array<std::uint8_t, 3>;

// A picture held top-down without row padding, flat grey unless set.
struct Picture
{
    int width;
    int height;
    std::vector<std::uint8_t> bytes;

    Picture(int w, int h, Bgr fill = {100, 100, 100})
        : width(w), height(h), bytes(static_cast<std::size_t>(w) * h * 3)
    {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                set(x, y, fill);
    }
    std::uint8_t *at(int x, int y)
    {
        return bytes.data() + (static_cast<std::size_t>(y) * width + x) * 3;
    }
    Bgr get(int x, int y) const
    {
        const std::uint8_t *p = bytes.data() + (static_cast<std::size_t>(y) * width + x) * 3;
        return {p[0], p[1], p[2]};
    }
    void set(int x, int y, Bgr value)
    {
        std::uint8_t *p = at(x, y);
        p[0] = value[0];
        p[1] = value[1];
        p[2] = value[2];
    }
    Rgb24View view() { return {bytes.data(), width, height, width * 3, RowOrder::TopDown}; }
    bool operator==(const Picture &) const = default;
};

Bgr grey(int v)
{
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v),
            static_cast<std::uint8_t>(v)};
}

struct PixelSet
{
    int x, y;
    Bgr value;
};

struct DeinterlaceCase
{
    const char *name;
    int width, height;
    std::vector<PixelSet> source;   // pixels set on the flat grey picture
    std::vector<PixelSet> replaced; // the pixels the routine must change, and to what
};

void PrintTo(const DeinterlaceCase &c, std::ostream *os)
{
    *os << c.name;
}

// A flat grey of 100 with middle pixels brighter by d in every channel gives
// comb = 10 × d²: 17 → 2890 (kept), 18 → 3240 (combed), 40 → 16000.
// clang-format off
const DeinterlaceCase kCases[] = {
    {"OneRowIsCopied", 4, 1, {{1, 0, grey(200)}}, {}},
    {"TwoRowsAreCopied", 4, 2, {{0, 1, grey(200)}, {1, 1, grey(200)}, {2, 1, grey(200)}}, {}},
    {"StaticFieldsAreCopied", 4, 4,
     {{0, 0, grey(200)}, {0, 1, grey(200)}, {1, 2, grey(10)}, {1, 3, grey(10)}}, {}},
    {"LonePixelStays", 5, 3, {{2, 1, grey(140)}}, {}},
    {"LonePixelAtTheEdgeStays", 5, 3, {{0, 1, grey(140)}}, {}},
    {"ThreeSideBySideAreReplaced", 5, 3,
     {{1, 1, grey(140)}, {2, 1, grey(140)}, {3, 1, grey(140)}},
     {{1, 1, grey(100)}, {2, 1, grey(100)}, {3, 1, grey(100)}}},
    {"PairAtTheEdgeIsReplaced", 5, 3,
     {{3, 1, grey(60)}, {4, 1, grey(60)}},
     {{3, 1, grey(100)}, {4, 1, grey(100)}}},
    {"Difference17IsBelowThreshold", 5, 3, {{1, 1, grey(117)}, {2, 1, grey(117)}}, {}},
    {"Difference18IsCombed", 5, 3,
     {{1, 1, grey(118)}, {2, 1, grey(118)}},
     {{1, 1, grey(100)}, {2, 1, grey(100)}}},
    {"RedWeighsThree", 3, 3,  // 3 × 32² = 3072
     {{0, 1, Bgr{100, 100, 132}}, {1, 1, Bgr{100, 100, 132}}},
     {{0, 1, grey(100)}, {1, 1, grey(100)}}},
    {"BlueWeighsOne", 3, 3,   // 55² = 3025, 54² = 2916
     {{0, 1, Bgr{155, 100, 100}}, {1, 1, Bgr{154, 100, 100}}, {2, 1, Bgr{155, 100, 100}}}, {}},
    {"GradientIsNeverCombed", 3, 3,  // darker than above, brighter than below: negative
     {{0, 0, grey(140)}, {1, 0, grey(140)}, {0, 2, grey(60)}, {1, 2, grey(60)}}, {}},
    {"MeansRoundDown", 3, 3,
     {{0, 0, Bgr{11, 21, 31}}, {1, 0, Bgr{11, 21, 31}},
      {0, 1, grey(250)}, {1, 1, grey(250)},
      {0, 2, Bgr{12, 22, 34}}, {1, 2, Bgr{12, 22, 34}}},
     {{0, 1, Bgr{11, 21, 32}}, {1, 1, Bgr{11, 21, 32}}}},
    {"EvenRowsStay", 4, 5, {{0, 2, grey(200)}, {1, 2, grey(200)}, {2, 2, grey(200)}}, {}},
    {"BottomRowStays", 4, 4,  // row 3 is odd but has no row below
     {{0, 3, grey(200)}, {1, 3, grey(200)}, {2, 3, grey(200)}}, {}},
    {"EveryOddRowIsTreated", 3, 6,
     {{0, 3, grey(30)}, {1, 3, grey(30)}},
     {{0, 3, grey(100)}, {1, 3, grey(100)}}},
};
// clang-format on

class DeinterlaceCases : public ::testing::TestWithParam<DeinterlaceCase>
{};

Picture sourceOf(const DeinterlaceCase &c)
{
    Picture picture(c.width, c.height);
    for (const PixelSet &p : c.source)
        picture.set(p.x, p.y, p.value);
    return picture;
}

Picture expectedOf(const DeinterlaceCase &c)
{
    Picture picture = sourceOf(c);
    for (const PixelSet &p : c.replaced)
        picture.set(p.x, p.y, p.value);
    return picture;
}

TEST_P(DeinterlaceCases, IntoSeparatePicture)
{
    Picture source = sourceOf(GetParam());
    Picture dest(source.width, source.height, grey(7));
    DeinterlaceMasks masks;
    ASSERT_TRUE(Deinterlace(source.view(), dest.view(), masks));
    EXPECT_EQ(dest, expectedOf(GetParam()));
    EXPECT_EQ(source, sourceOf(GetParam()));
}

TEST_P(DeinterlaceCases, InPlace)
{
    Picture picture = sourceOf(GetParam());
    DeinterlaceMasks masks;
    ASSERT_TRUE(Deinterlace(picture.view(), picture.view(), masks));
    EXPECT_EQ(picture, expectedOf(GetParam()));
}

TEST_P(DeinterlaceCases, Deinterlace2IntoImage)
{
    Picture source = sourceOf(GetParam());
    QImage dest;
    ASSERT_TRUE(Deinterlace2(source.view(), dest));
    ASSERT_EQ(dest.format(), QImage::Format_BGR888);
    ASSERT_EQ(dest.size(), QSize(source.width, source.height));
    Picture got(source.width, source.height);
    ASSERT_TRUE(CopyRgb24(viewOf(std::as_const(dest)), got.view()));
    EXPECT_EQ(got, expectedOf(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Deinterlace, DeinterlaceCases, ::testing::ValuesIn(kCases),
                         [](const auto &caseInfo) { return std::string(caseInfo.param.name); });

// A bottom-up picture with padded rows: odd rows are counted from the top of the
// picture, not from the start of memory, and the row padding is left alone.
TEST(Deinterlace, BottomUpRowsAreCountedFromTheTop)
{
    const int w = 5;
    const int h = 6;
    const std::ptrdiff_t stride = Rgb24Stride(w);
    ASSERT_EQ(stride, 16);
    std::vector<std::uint8_t> memory(static_cast<std::size_t>(stride) * h, 0xEE);
    Rgb24View view{memory.data(), w, h, stride, RowOrder::BottomUp};
    Picture logical(w, h);
    for (int x = 1; x < 4; ++x) {
        logical.set(x, 1, grey(160)); // second field: treated
        logical.set(x, 4, grey(160)); // first field: kept
    }
    ASSERT_TRUE(CopyRgb24(logical.view(), view));
    EXPECT_EQ(view.row(1), memory.data() + 4 * stride); // top-down row 1 is memory row 4

    DeinterlaceMasks masks;
    ASSERT_TRUE(Deinterlace(view, view, masks));

    Picture got(w, h);
    ASSERT_TRUE(CopyRgb24(view, got.view()));
    Picture expected = logical;
    for (int x = 1; x < 4; ++x)
        expected.set(x, 1, grey(100));
    EXPECT_EQ(got, expected);
    for (int y = 0; y < h; ++y)
        for (std::ptrdiff_t i = w * 3; i < stride; ++i)
            EXPECT_EQ(memory[y * stride + i], 0xEE) << "padding of memory row " << y;
}

// The rules pixel by pixel, straight from CombValue, for checking the
// routine on whole pictures.
Picture deinterlacedByTheRules(const Picture &source)
{
    Picture out = source;
    const auto combed = [&](int x, int y) {
        return x >= 0 && x < source.width &&
               CombValue(source.bytes.data() + (std::size_t(y - 1) * source.width + x) * 3,
                         source.bytes.data() + (std::size_t(y) * source.width + x) * 3,
                         source.bytes.data() + (std::size_t(y + 1) * source.width + x) * 3) >
                   kCombThreshold;
    };
    for (int y = 1; y < source.height - 1; y += 2)
        for (int x = 0; x < source.width; ++x)
            if (combed(x, y) && (combed(x - 1, y) || combed(x + 1, y))) {
                const Bgr a = source.get(x, y - 1);
                const Bgr b = source.get(x, y + 1);
                out.set(x, y,
                        {static_cast<std::uint8_t>((a[0] + b[0]) >> 1),
                         static_cast<std::uint8_t>((a[1] + b[1]) >> 1),
                         static_cast<std::uint8_t>((a[2] + b[2]) >> 1)});
            }
    return out;
}

// Pictures whose channels step by amounts around the comb threshold (17 and
// 18 in every channel, 32 in red, 55 in blue, small steps and large ones):
// the routine finds what the rules find, and deinterlacing its output again
// changes nothing (the overlay filter makes its still picture from the
// deinterlaced frame that way).
TEST(Deinterlace, WholePicturesFollowTheRulesAndStayDeinterlaced)
{
    std::uint32_t seed = 1;
    const auto next = [&seed](std::uint32_t n) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 16) % n;
    };
    const int steps[] = {0, 1, 2, 17, 18, 19, 31, 32, 54, 55, 90};
    for (int round = 0; round < 20; ++round) {
        Picture source(97, 24);
        for (int y = 0; y < source.height; ++y) {
            // Some rows alike in every channel, as grey pictures are.
            const bool grey = next(2) == 0;
            for (int x = 0; x < source.width; ++x) {
                Bgr pixel;
                for (std::uint8_t &channel : pixel) {
                    const int step = steps[next(std::size(steps))];
                    channel = static_cast<std::uint8_t>(128 + (next(2) ? step : -step));
                }
                if (grey)
                    pixel[1] = pixel[2] = pixel[0];
                source.set(x, y, pixel);
            }
        }
        Picture got = source;
        DeinterlaceMasks masks;
        ASSERT_TRUE(Deinterlace(got.view(), got.view(), masks));
        EXPECT_EQ(got, deinterlacedByTheRules(source)) << "round " << round;
        Picture again = got;
        ASSERT_TRUE(Deinterlace(again.view(), again.view(), masks));
        EXPECT_EQ(again, got) << "round " << round;
    }
}

// The first pixel where two pictures of the same size differ, empty when none.
std::string differenceOf(const Picture &got, const Picture &expected)
{
    for (int y = 0; y < got.height; ++y)
        for (int x = 0; x < got.width; ++x) {
            const Bgr g = got.get(x, y);
            const Bgr e = expected.get(x, y);
            if (g != e)
                return "pixel " + std::to_string(x) + ", " + std::to_string(y) + ": got " +
                       std::to_string(g[0]) + " " + std::to_string(g[1]) + " " +
                       std::to_string(g[2]) + ", expected " + std::to_string(e[0]) + " " +
                       std::to_string(e[1]) + " " + std::to_string(e[2]);
        }
    return {};
}

enum class Pattern : std::uint8_t {
    Noise,     // every byte anything from 0 to 255
    Stripes,   // fields of black and white, broken every 7th column
    Extremes,  // every channel 0 or 255, the means 0, 127 and 255
    Sparse,    // flat grey with combed pixels here and there: lone ones, pairs, runs
    OnePixel,  // one combed pixel, the last of the first odd row
    EdgePair,  // the first two and the last two pixels of each odd row combed
    NearLimit, // channel steps around the threshold (17, 18 in all, 32 red, 55 blue)
    Tightest,  // grey combs of 17 and 18 (10 × 17 × 18 = 3060) below, then above, some 17 and 17
};

Picture paint(Pattern pattern, int w, int h, std::mt19937 &random)
{
    const auto byte = [&random](int n) { return static_cast<std::uint8_t>(random() % n); };
    Picture picture(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            Bgr pixel = grey(100);
            switch (pattern) {
            case Pattern::Noise:
                pixel = {byte(256), byte(256), byte(256)};
                break;
            case Pattern::Stripes:
                pixel = grey(y % 2 == 1 && x % 7 != 3 ? 255 : 0);
                break;
            case Pattern::Extremes:
                pixel = {static_cast<std::uint8_t>(255 * byte(2)),
                         static_cast<std::uint8_t>(255 * byte(2)),
                         static_cast<std::uint8_t>(255 * byte(2))};
                break;
            case Pattern::Sparse:
                if (y % 2 == 1 && byte(5) == 0)
                    pixel = grey(160);
                break;
            case Pattern::OnePixel:
                if (y == 1 && x == w - 1)
                    pixel = grey(160);
                break;
            case Pattern::EdgePair:
                if (y % 2 == 1 && (x < 2 || x >= w - 2))
                    pixel = grey(40);
                break;
            case Pattern::NearLimit: {
                const int steps[] = {0, 2, 17, 18, 32, 54, 55};
                for (std::uint8_t &channel : pixel) {
                    const int step = steps[byte(std::size(steps))];
                    channel = static_cast<std::uint8_t>(byte(2) ? 100 + step : 100 - step);
                }
                break;
            }
            case Pattern::Tightest:
                if (y % 2 == 0) {
                    const int step = x % 5 == 0 || y % 4 == 0 ? 17 : 18;
                    pixel = grey(x / 40 % 2 == 1 ? 100 + step : 100 - step);
                }
                break;
            }
            picture.set(x, y, pixel);
        }
    return picture;
}

// Every pattern at widths around the vector sizes (16 and 32 pixels) and the
// frame's, heights from one row: each instruction set the routine may use gives
// what the rules give, in place, into another picture, and from a bottom-up
// sample with padded rows. One scratch serves every size in turn.
TEST(Deinterlace, EveryCodeFollowsTheRulesAtAnySize)
{
    struct Size
    {
        int width, height;
    };
    const Size sizes[] = {{1, 1},  {1, 3},  {5, 2},  {5, 3},  {17, 3},  {31, 5},   {32, 3},
                          {33, 7}, {47, 4}, {65, 9}, {97, 6}, {720, 3}, {720, 576}};
    const Pattern patterns[] = {Pattern::Noise,     Pattern::Stripes,  Pattern::Extremes,
                                Pattern::Sparse,    Pattern::OnePixel, Pattern::EdgePair,
                                Pattern::NearLimit, Pattern::Tightest};
    const DeinterlaceCode codes[] = {DeinterlaceCode::Best, DeinterlaceCode::Portable};
    std::mt19937 random(5);
    DeinterlaceMasks masks;
    for (const Pattern pattern : patterns)
        for (const Size size : sizes) {
            const Picture source = paint(pattern, size.width, size.height, random);
            const Picture expected = deinterlacedByTheRules(source);
            for (const DeinterlaceCode code : codes) {
                SCOPED_TRACE(testing::Message() << "pattern " << int(pattern) << ", " << size.width
                                                << " x " << size.height << ", code " << int(code));
                Picture inPlace = source;
                ASSERT_TRUE(Deinterlace(inPlace.view(), inPlace.view(), masks, code));
                EXPECT_EQ(differenceOf(inPlace, expected), "") << "in place";

                Picture copy = source;
                Picture separate(size.width, size.height, grey(7));
                ASSERT_TRUE(Deinterlace(copy.view(), separate.view(), masks, code));
                EXPECT_EQ(differenceOf(separate, expected), "") << "into another picture";
                EXPECT_EQ(differenceOf(copy, source), "") << "source changed";

                std::vector<std::uint8_t> sample(Rgb24ImageSize(size.width, size.height));
                const Rgb24View view =
                    sampleView(sample.data(), sample.size(), size.width, size.height);
                ASSERT_TRUE(CopyRgb24(copy.view(), view));
                Picture fromSample(size.width, size.height, grey(7));
                ASSERT_TRUE(Deinterlace(view, fromSample.view(), masks, code));
                EXPECT_EQ(differenceOf(fromSample, expected), "") << "from a bottom-up sample";
            }
        }
}

TEST(Rgb24Picture, SampleBuffersHoldPaddedRows)
{
    EXPECT_EQ(Rgb24Stride(720), 2160);
    EXPECT_EQ(Rgb24Stride(355), 1068);
    EXPECT_EQ(Rgb24Stride(1), 4);
    EXPECT_EQ(Rgb24ImageSize(355, 288), 1068u * 288);
    std::vector<std::uint8_t> buffer(Rgb24ImageSize(355, 288));
    EXPECT_TRUE(sampleView(buffer.data(), buffer.size(), 355, 288).valid());
    // A buffer sized width × height × 3 is too short for padded rows.
    EXPECT_FALSE(sampleView(buffer.data(), 355u * 288 * 3, 355, 288).valid());
    EXPECT_FALSE(sampleView(buffer.data(), buffer.size(), 0, 288).valid());
    EXPECT_FALSE(sampleView(static_cast<std::uint8_t *>(nullptr), buffer.size(), 355, 288).valid());
}

TEST(Deinterlace, RefusesPicturesOfDifferentSizes)
{
    Picture source(4, 4);
    Picture dest(4, 3, grey(7));
    DeinterlaceMasks masks;
    EXPECT_FALSE(Deinterlace(source.view(), dest.view(), masks));
    EXPECT_EQ(dest, Picture(4, 3, grey(7)));
    EXPECT_FALSE(Deinterlace(Rgb24View{}, dest.view(), masks));
}

// A vertical edge that moved between the fields: even rows have it at column 4,
// odd rows at column 8 (a comb 4 pixels wide on every odd row).
Picture movingEdge(int w, int h)
{
    Picture picture(w, h, grey(20));
    for (int y = 0; y < h; ++y)
        for (int x = (y % 2 == 0 ? 4 : 8); x < w; ++x)
            picture.set(x, y, grey(220));
    return picture;
}

TEST(DeinterCore, ReplacesTheCombByLineMeansOnOddRowsOnly)
{
    const int w = 16;
    const int h = 8;
    const Picture source = movingEdge(w, h);
    std::vector<std::uint8_t> sample(static_cast<std::size_t>(Rgb24Stride(w)) * h);
    Rgb24View view = sampleView(sample.data(), sample.size(), w, h);
    ASSERT_TRUE(view.valid());
    Picture copy = source;
    ASSERT_TRUE(CopyRgb24(copy.view(), view));

    DeinterCore core;
    ASSERT_TRUE(core.StartStreaming(w, h));
    ASSERT_TRUE(core.Transform(view));

    Picture got(w, h);
    ASSERT_TRUE(CopyRgb24(view, got.view()));
    Picture expected = source;
    for (int y = 1; y < h - 1; y += 2)
        for (int x = 4; x < 8; ++x)
            expected.set(x, y, grey(220)); // mean of 220 above and 220 below
    EXPECT_EQ(got, expected);
}

TEST(DeinterCore, ProgressivePictureIsUnchanged)
{
    const int w = 16;
    const int h = 8;
    Picture source(w, h, grey(20));
    for (int y = 0; y < h; ++y)
        for (int x = 4; x < w; ++x)
            source.set(x, y, grey(220));
    Picture picture = source;
    DeinterCore core;
    ASSERT_TRUE(core.StartStreaming(w, h));
    ASSERT_TRUE(core.Transform(picture.view()));
    EXPECT_EQ(picture, source);
}

TEST(DeinterCore, RefusesSamplesOfAnotherSize)
{
    DeinterCore core;
    Picture picture = movingEdge(16, 8);
    const Picture before = picture;
    EXPECT_FALSE(core.Transform(picture.view())) << "not started";
    EXPECT_FALSE(core.StartStreaming(0, 8));
    ASSERT_TRUE(core.StartStreaming(16, 6));
    EXPECT_FALSE(core.Transform(picture.view()));
    EXPECT_EQ(picture, before);
}

} // namespace
