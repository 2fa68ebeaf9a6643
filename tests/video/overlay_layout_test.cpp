// Placement of the overlay's two lines, worked out without drawing: the font
// size rule, the alignments, the outline draws and the text box.
#include "video/filters/dv_superposercore.h"
#include "video/filters/overlaylayout.h"

#include <gtest/gtest.h>

#include <ostream>

using namespace vidora;

namespace {

TEST(OverlayFontSize, GdiHeightAtNinetySixPixelsPerInch)
{
    struct Case
    {
        std::int32_t size;
        int height;
    };
    // Points give the character height (negative), negative sizes the cell.
    const Case cases[] = {{16, -21}, {-21, 28}, {12, -16}, {10, -13}, {11, -15},
                          {-10, 13}, {-11, 15}, {72, -96}, {0, 0}};
    for (const Case &c : cases) {
        EXPECT_EQ(GdiFontHeight(c.size), c.height) << "size " << c.size;
        EXPECT_EQ(OverlayLineStep(c.size), std::abs(c.height)) << "size " << c.size;
    }
}

TEST(OverlayFontSize, AutoSizeFollowsTheWidth)
{
    EXPECT_EQ(AutoFontSize(720), -21);
    EXPECT_EQ(AutoFontSize(360), -10);
    EXPECT_EQ(AutoFontSize(719), -20);
    EXPECT_EQ(OverlayLineStep(AutoFontSize(720)), 28); // a 28-pixel cell
}

TEST(OverlayPerMille, ADragOnTheVideoGivesThePlaceInPerMille)
{
    struct Case
    {
        int at;
        int length;
        int perMille;
    };
    const Case cases[] = {
        {0, 720, 0},
        {360, 720, 500},
        {719, 720, 998}, // truncated, not rounded
        {720, 720, 1000},
        {900, 720, 1000}, // dragged past the edge
        {-5, 720, 0},
        {1, 3, 333},
        {2, 3, 666},
        {100, 0, 0},
        {100, -4, 0},                // a side of no length
        {2'000'000, 2'100'000, 952}, // no overflow on a large side
    };
    for (const Case &c : cases)
        EXPECT_EQ(OverlayPerMille(c.at, c.length), c.perMille) << c.at << " of " << c.length;
    for (const int y : {0, 1, 250, 999, 1000}) {
        EXPECT_EQ(OverlayFromBottom(y) + y, kOverlayScale);
        EXPECT_EQ(OverlayFromBottom(OverlayFromBottom(y)), y);
    }
}

TEST(OverlayColor, StoredAsBgrWord)
{
    EXPECT_EQ(ColorRefToRgb(0x0000FF), qRgb(255, 0, 0));
    EXPECT_EQ(ColorRefToRgb(0x00FF00), qRgb(0, 255, 0));
    EXPECT_EQ(ColorRefToRgb(0xFF0000), qRgb(0, 0, 255));
    EXPECT_EQ(ColorRefToRgb(0x123456), qRgb(0x56, 0x34, 0x12));
}

struct LayoutCase
{
    const char *name;
    int width, height, posX, posY;
    std::uint8_t alignment;
    int tw1, tw2;
    bool drawn;
    int x1, y1, x2, y2;
};

void PrintTo(const LayoutCase &c, std::ostream *os)
{
    *os << c.name;
}

// A 720 × 576 frame, 28-pixel line step, lines 101 and 60 pixels wide: the
// reference point at 90 % is (648, 518), line 1 at top 462, line 2 at 490.
// clang-format off
const LayoutCase kLayouts[] = {
    // (line 1's 2-pixel outline would pass the right edge by one pixel)
    {"LeftAligned",         720, 576, 900, 900, 0, 101, 60, true, 617, 462, 617, 490},
    {"Centred",             720, 576, 900, 900, 1, 101, 60, true, 598, 462, 618, 490},
    {"RightAligned",        720, 576, 900, 900, 2, 101, 60, true, 577, 462, 618, 490},
    {"Subtitle",            720, 576, 900, 900, 3, 101, 60, true, 309, 462, 330, 490},
    {"SubtitleIgnoresPosX", 720, 576,   0, 500, 3, 101, 60, true, 309, 232, 330, 260},
    {"Unknown",             720, 576, 900, 900, 7, 101, 60, false, 0, 0, 0, 0},
    {"Unknown4",            720, 576, 900, 900, 4, 101, 60, false, 0, 0, 0, 0},
    {"PositionRoundsDown",  721, 577, 333, 901, 1, 10, 10, true, 235, 463, 235, 491},
    {"HalvesTowardZero",    720, 576,   0, 900, 3, 101, 104, true, 309, 462, 308, 490},
    // A block that would pass an edge is moved into the frame as a whole.
    // (the lines' ink and their 2-pixel outline lie inside afterwards)
    {"LeftOfTheFrame",      720, 576,   0, 900, 1, 101, 61, true, 2, 462, 22, 490},
    {"RightOfTheFrame",     720, 576, 900, 900, 2, 150, 400, true, 568, 462, 318, 490},
    {"AboveTheFrame",       720, 576, 500,   0, 1, 10, 10, true, 355, 2, 355, 30},
    {"WiderThanTheFrame",   100, 100,   0,   0, 3, 101, 103, true, 3, 2, 2, 30},
};
// clang-format on

class OverlayLayouts : public ::testing::TestWithParam<LayoutCase>
{};

TEST_P(OverlayLayouts, LinePositions)
{
    const LayoutCase &c = GetParam();
    OverlayPlacement placement;
    placement.frameWidth = c.width;
    placement.frameHeight = c.height;
    placement.posX = c.posX;
    placement.posY = c.posY;
    placement.alignment = c.alignment;
    placement.lineStep = 28;
    placement.outline = 2;
    const OverlayLayout layout = LayoutOverlay({QStringLiteral("one"), QStringLiteral("two")},
                                               {OverlayLineMetrics{c.tw1, QRect(0, 0, c.tw1, 30)},
                                                OverlayLineMetrics{c.tw2, QRect(0, 0, c.tw2, 30)}},
                                               placement);
    ASSERT_EQ(layout.drawn, c.drawn);
    if (!c.drawn) {
        EXPECT_EQ(layout.drawCount, 0);
        EXPECT_TRUE(layout.textBox.isEmpty());
        return;
    }
    EXPECT_EQ(layout.lines[0].text, QStringLiteral("one"));
    EXPECT_EQ(layout.lines[1].text, QStringLiteral("two"));
    EXPECT_EQ(layout.lines[0].x, c.x1);
    EXPECT_EQ(layout.lines[0].y, c.y1);
    EXPECT_EQ(layout.lines[1].x, c.x2);
    EXPECT_EQ(layout.lines[1].y, c.y2);
}

INSTANTIATE_TEST_SUITE_P(Overlay, OverlayLayouts, ::testing::ValuesIn(kLayouts),
                         [](const auto &caseInfo) { return std::string(caseInfo.param.name); });

TEST(OverlayLayout, OutlineDraws)
{
    struct Case
    {
        int outline;
        int used;
        int perLine;
    };
    // (2w + 1)² black draws and one in colour per line; wider than 5 draws as 5.
    const Case cases[] = {{0, 0, 1}, {1, 1, 10}, {2, 2, 26}, {5, 5, 122}, {9, 5, 122}, {-3, 0, 1}};
    for (const Case &c : cases) {
        OverlayPlacement placement;
        placement.frameWidth = 720;
        placement.frameHeight = 576;
        placement.lineStep = 21;
        placement.outline = c.outline;
        const OverlayLayout layout = LayoutOverlay({QString(), QString()}, {}, placement);
        EXPECT_EQ(layout.outline, c.used) << "outline " << c.outline;
        EXPECT_EQ(layout.drawsPerLine, c.perLine) << "outline " << c.outline;
        EXPECT_EQ(layout.drawCount, 2 * c.perLine) << "outline " << c.outline;
    }
}

TEST(OverlayLayout, TextBoxCoversBothLinesAndTheOutline)
{
    OverlayPlacement placement;
    placement.frameWidth = 720;
    placement.frameHeight = 576;
    placement.alignment = 1;
    placement.lineStep = 28;
    placement.outline = 3;
    placement.color = 0x00FFFF;
    // Line 1 is inked a little left of its cell (an italic or a wide glyph).
    const OverlayLayout layout = LayoutOverlay({QStringLiteral("Ag"), QStringLiteral("x")},
                                               {OverlayLineMetrics{100, QRect(-4, -1, 106, 33)},
                                                OverlayLineMetrics{40, QRect(-1, -1, 42, 33)}},
                                               placement);
    ASSERT_TRUE(layout.drawn);
    // Line 1 at (598, 462), line 2 at (628, 490).
    EXPECT_EQ(layout.textBox, QRect(598 - 4 - 3, 462 - 1 - 3, 106 + 6, 490 - 1 + 33 - 461 + 6));
    EXPECT_EQ(layout.textColor, qRgb(255, 255, 0));
    EXPECT_EQ(layout.outlineColor, qRgb(0, 0, 0));
}

TEST(OverlayLayout, EmptyLinesAddNothingToTheBoxButAreStillDrawn)
{
    OverlayPlacement placement;
    placement.frameWidth = 720;
    placement.frameHeight = 576;
    placement.lineStep = 21;
    placement.outline = 1;
    const OverlayLayout onlySecond =
        LayoutOverlay({QString(), QStringLiteral("10:31:07")},
                      {OverlayLineMetrics{}, {50, QRect(-1, -1, 52, 26)}}, placement);
    ASSERT_TRUE(onlySecond.drawn);
    EXPECT_EQ(onlySecond.drawCount, 20);
    EXPECT_EQ(onlySecond.textBox,
              QRect(onlySecond.lines[1].x - 2, onlySecond.lines[1].y - 2, 54, 28));

    const OverlayLayout none = LayoutOverlay({QString(), QString()}, {}, placement);
    EXPECT_TRUE(none.drawn);
    EXPECT_TRUE(none.textBox.isEmpty());
}

TEST(SuperposerSettings, StartValuesAndSetters)
{
    SuperposerCore core;
    SuperposerSettings s = core.Settings();
    EXPECT_TRUE(s.OverlayOn);
    EXPECT_EQ(s.PosX, 900);
    EXPECT_EQ(s.PosY, 900);
    EXPECT_EQ(s.Alignment, 2);
    EXPECT_FALSE(s.Deinterlace);
    EXPECT_EQ(s.Options.When, 0);
    EXPECT_EQ(s.Options.DateFormat1, QStringLiteral("ddddd"));
    EXPECT_EQ(s.Options.DateFormat2, QStringLiteral("tt"));
    EXPECT_EQ(s.Options.Outline, 0);
    EXPECT_EQ(s.Font.Name, QStringLiteral("Arial"));
    EXPECT_EQ(s.Font.Size, -21);
    EXPECT_EQ(s.Font.Color, 0xFFFFFF);
    EXPECT_EQ(s.Font.Bold, 1);

    core.SetPosition(-50, 2000, 1);
    s = core.Settings();
    EXPECT_EQ(s.PosX, 0);
    EXPECT_EQ(s.PosY, 1000);
    EXPECT_EQ(s.Alignment, 1);

    TincrustRec options;
    options.Font.Size = 12;
    options.Font.Name = QStringLiteral("DejaVu Sans");
    options.Outline = 4;
    core.SetOptions(options);
    core.SetDateOffset(1.0 / 24);
    core.SetDisplayMode(3);
    core.SetAlignment(0);
    s = core.Settings();
    EXPECT_EQ(s.Font, options.Font);
    EXPECT_EQ(s.Options.Outline, 4);
    EXPECT_DOUBLE_EQ(s.Options.DateOffset, 1.0 / 24);
    EXPECT_EQ(s.Options.When, 3);
    EXPECT_EQ(s.Alignment, 0);
}

TEST(SuperposerSettings, AutoSizeAtStartOfStreaming)
{
    SuperposerCore core;
    TincrustRec options;
    options.Font.Size = 16;
    options.AutoSize = 1;
    core.SetOptions(options);
    EXPECT_EQ(core.Settings().Font.Size, 16) << "setting options does not apply AutoSize";
    ASSERT_TRUE(core.StartStreaming(360, 288));
    EXPECT_EQ(core.Settings().Font.Size, -10);
    ASSERT_TRUE(core.StartStreaming(720, 576));
    EXPECT_EQ(core.Settings().Font.Size, -21);
    EXPECT_EQ(core.Settings().Options.Font.Size, 16);
}

} // namespace
