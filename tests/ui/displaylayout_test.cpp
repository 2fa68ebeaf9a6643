// The main window's layout as values: the frames of each display mode, what
// a change of mode does to the window and its stored bounds, the empty-list
// layout, and the position texts and volume steps of playback.
#include "ui/displaylayout.h"
#include "ui/playbacktexts.h"

#include <gtest/gtest.h>

#include <limits>

namespace vidora {
namespace {

using namespace displaymode;

struct FrameCase
{
    const char *name;
    std::uint8_t mode;
    QSize client;
    bool listLeft;
    bool scenes;
    QRect video, info, list;
    bool listShown, infoShown, scenesShown;
    std::optional<bool> leftBevel, rightBevel;
    // The scene list, when it differs from the scene details.
    std::optional<bool> sceneListShown = std::nullopt;
};

void PrintTo(const FrameCase &c, std::ostream *os)
{
    *os << c.name;
}

class Frames : public testing::TestWithParam<FrameCase>
{};

TEST_P(Frames, OfTheModeAndClientSize)
{
    const FrameCase &c = GetParam();
    const FrameLayout out = LayoutFrames({c.mode, c.client, c.listLeft, c.scenes});
    EXPECT_EQ(out.video, c.video);
    if (c.infoShown || c.scenesShown) {
        EXPECT_EQ(out.info, c.info);
    }
    const bool sceneList = c.sceneListShown.value_or(c.scenesShown);
    if (c.listShown || sceneList) {
        EXPECT_EQ(out.list, c.list);
    }
    EXPECT_EQ(out.listShown, c.listShown);
    EXPECT_EQ(out.infoShown, c.infoShown);
    EXPECT_EQ(out.scenesShown, c.scenesShown);
    EXPECT_EQ(out.sceneListShown, sceneList);
    EXPECT_EQ(out.leftBevel, c.leftBevel);
    EXPECT_EQ(out.rightBevel, c.rightBevel);
}

// Clients: 600 × 480 (the smallest main window) and 1000 × 700.
INSTANTIATE_TEST_SUITE_P(
    Table, Frames,
    testing::Values(FrameCase{"full_right_small",
                              Full,
                              {600, 480},
                              false,
                              false,
                              {0, 0, 304, 480},
                              {304, 0, 296, 208},
                              {304, 208, 296, 272},
                              true,
                              true,
                              false,
                              false,
                              true},
                    FrameCase{"full_right_large",
                              Full,
                              {1000, 700},
                              false,
                              false,
                              {0, 0, 704, 700},
                              {704, 0, 296, 208},
                              {704, 208, 296, 492},
                              true,
                              true,
                              false,
                              false,
                              true},
                    FrameCase{"full_left_small",
                              Full,
                              {600, 480},
                              true,
                              false,
                              {296, 0, 304, 480},
                              {0, 0, 296, 208},
                              {0, 208, 296, 272},
                              true,
                              true,
                              false,
                              true,
                              false},
                    FrameCase{"full_left_large_scenes",
                              Full,
                              {1000, 700},
                              true,
                              true,
                              {296, 0, 704, 700},
                              {0, 0, 296, 208},
                              {0, 208, 296, 492},
                              false,
                              false,
                              true,
                              true,
                              false},
                    FrameCase{"full_right_large_scenes",
                              Full,
                              {1000, 700},
                              false,
                              true,
                              {0, 0, 704, 700},
                              {704, 0, 296, 208},
                              {704, 208, 296, 492},
                              false,
                              false,
                              true,
                              false,
                              true},
                    FrameCase{"maximised_as_full",
                              Maximised,
                              {1280, 900},
                              false,
                              false,
                              {0, 0, 984, 900},
                              {984, 0, 296, 208},
                              {984, 208, 296, 692},
                              true,
                              true,
                              false,
                              false,
                              true},
                    // Narrow: the video under the information frame, whichever side.
                    FrameCase{"narrow_right",
                              ListHidden,
                              {304, 440},
                              false,
                              false,
                              {0, 208, 304, 232},
                              {0, 0, 296, 208},
                              {},
                              false,
                              true,
                              false,
                              false,
                              false},
                    FrameCase{"narrow_left",
                              ListHidden,
                              {304, 470},
                              true,
                              false,
                              {0, 208, 304, 262},
                              {0, 0, 296, 208},
                              {},
                              false,
                              true,
                              false,
                              false,
                              false},
                    // The scene details in the information frame's place;
                    // the video, not the scene list, beneath them.
                    FrameCase{"narrow_scenes",
                              ListHidden,
                              {304, 440},
                              false,
                              true,
                              {0, 208, 304, 232},
                              {0, 0, 296, 208},
                              {},
                              false,
                              false,
                              true,
                              false,
                              false,
                              false},
                    FrameCase{"panel",
                              Panel,
                              {600, 480},
                              false,
                              false,
                              {0, 208, 288, 272},
                              {0, 0, 296, 208},
                              {296, 0, 296, 480},
                              true,
                              true,
                              false,
                              {},
                              {}},
                    FrameCase{"panel_left_scenes",
                              Panel,
                              {600, 480},
                              true,
                              true,
                              {0, 208, 288, 272},
                              {0, 0, 296, 208},
                              {296, 0, 296, 480},
                              false,
                              false,
                              true,
                              {},
                              {}},
                    FrameCase{"video_only_small",
                              VideoOnly,
                              {600, 480},
                              false,
                              false,
                              {0, 0, 600, 480},
                              {},
                              {},
                              false,
                              false,
                              false,
                              {},
                              {}},
                    FrameCase{"video_only_large_scenes",
                              VideoOnly,
                              {1000, 700},
                              true,
                              true,
                              {0, 0, 1000, 700},
                              {},
                              {},
                              false,
                              false,
                              false,
                              {},
                              {}}),
    [](const auto &caseInfo) { return std::string(caseInfo.param.name); });

TEST(Frames, PositionLabelFontFollowsTheViewWidth)
{
    EXPECT_EQ(TimeLabelPoints(500), 10);
    EXPECT_EQ(TimeLabelPoints(501), 10); // 501 div 48
    EXPECT_EQ(TimeLabelPoints(960), 20);
    const FrameLayout wide = LayoutFrames({VideoOnly, {960, 600}, false, false});
    EXPECT_EQ(wide.timeLabelPoints, 20);
    EXPECT_EQ(wide.timeLabelHeight, 4 + 27); // 20 points are 26.67 pixels
    const FrameLayout narrow = LayoutFrames({ListHidden, {304, 440}, false, false});
    EXPECT_EQ(narrow.timeLabelPoints, 10);
    EXPECT_EQ(narrow.timeLabelHeight, 4 + 13);
}

TEST(Frames, ATinyClientGivesEmptyFramesNotNegativeOnes)
{
    const FrameLayout out = LayoutFrames({Full, {100, 50}, false, false});
    EXPECT_GE(out.video.width(), 0);
    EXPECT_GE(out.list.height(), 0);
}

// ---------------------------------------------------------------- modes

const QRect kWindow{120, 80, 800, 640};
const QRect kStored{10, 20, 700, 600};

DisplayModeInput Change(std::uint8_t from, std::uint8_t to, bool normal = true,
                        std::uint8_t retour = ListHidden)
{
    return {from, to, normal, kWindow, kStored, retour};
}

TEST(DisplayModes, SizeLimitsBoundsAndPanelsOfEachMode)
{
    struct Case
    {
        std::uint8_t to;
        QSize minimum, maximum;
        std::optional<QRect> bounds;
        bool closePanels;
    };
    // From mode 0 in a normal window: the window's bounds are stored first.
    const Case cases[] = {
        {Full, kMainMinimumSize, kNoMaximumSize, kWindow, true},
        {ListHidden, kNarrowSize, kNarrowSize, QRect(kWindow.topLeft(), kNarrowSize), true},
        {Panel, kPanelSize, kPanelSize, QRect(kWindow.topLeft(), kPanelSize), false},
        {Maximised, {0, 0}, kNoMaximumSize, std::nullopt, true},
        {VideoOnly, kMainMinimumSize, kNoMaximumSize, kWindow, true},
    };
    for (const Case &c : cases) {
        const DisplayModePlan plan = PlanDisplayMode(Change(Full, c.to));
        SCOPED_TRACE(int(c.to));
        EXPECT_EQ(plan.mode, c.to);
        EXPECT_EQ(plan.stored, kWindow);
        EXPECT_EQ(plan.minimum, c.minimum);
        EXPECT_EQ(plan.maximum, c.maximum);
        EXPECT_EQ(plan.bounds, c.bounds);
        EXPECT_EQ(plan.closePanels, c.closePanels);
        EXPECT_TRUE(plan.leaveFullScreen);
        EXPECT_EQ(plan.maximise, c.to == Maximised);
    }
}

TEST(DisplayModes, OnlyAFreelySizedWindowStoresItsSize)
{
    struct Case
    {
        std::uint8_t from;
        bool normal;
        QRect stored;
    };
    const Case cases[] = {
        {Full, true, kWindow},
        {Full, false, QRect(kStored.topLeft(), kWindow.size())},
        {VideoOnly, true, kWindow},
        {VideoOnly, false, kStored},
        // The narrow and panel sizes are fixed: only the place is kept.
        {ListHidden, true, QRect(kWindow.topLeft(), kStored.size())},
        {Panel, true, QRect(kWindow.topLeft(), kStored.size())},
        // Maximised: neither.
        {Maximised, true, kStored},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(int(c.from));
        EXPECT_EQ(PlanDisplayMode(Change(c.from, Full, c.normal)).stored, c.stored);
    }
}

TEST(DisplayModes, RetourRemembersTheModeBeforeAPanelOrMaximising)
{
    EXPECT_EQ(PlanDisplayMode(Change(Full, Panel)).retour, Full);
    EXPECT_EQ(PlanDisplayMode(Change(VideoOnly, Maximised)).retour, VideoOnly);
    // A second panel, or maximising from a panel, keeps the mode before the first.
    EXPECT_EQ(PlanDisplayMode(Change(Panel, Panel, true, VideoOnly)).retour, VideoOnly);
    EXPECT_EQ(PlanDisplayMode(Change(Panel, Maximised, true, VideoOnly)).retour, VideoOnly);
    EXPECT_EQ(PlanDisplayMode(Change(Full, ListHidden, true, VideoOnly)).retour, VideoOnly);
}

TEST(DisplayModes, APanelInAMaximisedWindowKeepsItsSize)
{
    // The panel covers the maximised window's client area; a fixed size
    // would shrink the window and undo its maximised state, and with it the
    // panel.
    for (const std::uint8_t from : {Maximised, Panel}) {
        SCOPED_TRACE(int(from));
        const DisplayModePlan plan = PlanDisplayMode(Change(from, Panel, false, Maximised));
        EXPECT_EQ(plan.mode, Panel);
        EXPECT_EQ(plan.minimum, QSize(0, 0));
        EXPECT_EQ(plan.maximum, kNoMaximumSize);
        EXPECT_FALSE(plan.bounds.has_value());
        EXPECT_EQ(plan.retour, Maximised);
    }
}

TEST(DisplayModes, ARestoredWindowLeavesTheMaximisedMode)
{
    for (const std::uint8_t retour : {Full, ListHidden, VideoOnly})
        EXPECT_EQ(RestoredMode(retour), retour);
    // After a panel opened and closed in the maximised window.
    EXPECT_EQ(RestoredMode(Maximised), Full);
}

TEST(DisplayModes, FromMaximisedTheWindowStateIsLeftAlone)
{
    EXPECT_FALSE(PlanDisplayMode(Change(Maximised, Full, false)).maximise.has_value());
    EXPECT_EQ(PlanDisplayMode(Change(VideoOnly, Full, false)).maximise, false);
}

TEST(DisplayModes, AnUnknownModeChangesNothing)
{
    const DisplayModePlan plan = PlanDisplayMode(Change(VideoOnly, 7));
    EXPECT_EQ(plan.mode, VideoOnly);
    EXPECT_FALSE(plan.bounds.has_value());
    EXPECT_FALSE(plan.maximise.has_value());
}

TEST(EmptyList, HelpAndNarrowWindowFollowTheCount)
{
    struct Case
    {
        int count;
        bool helpShown;
        std::uint8_t mode;
        bool hide, show;
        std::optional<std::uint8_t> to;
    };
    const Case cases[] = {
        {0, false, Full, false, true, ListHidden},  // the list empties
        {0, true, ListHidden, false, false, {}},    // still empty
        {3, true, ListHidden, true, false, {}},     // the first entries
        {3, false, ListHidden, false, false, Full}, // the next change of counts
        {3, false, VideoOnly, false, false, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.count * 10 + c.mode);
        const EmptyListStep step = EmptyListLayout(c.count, c.helpShown, c.mode);
        EXPECT_EQ(step.hideHelp, c.hide);
        EXPECT_EQ(step.showHelp, c.show);
        EXPECT_EQ(step.mode, c.to);
    }
}

// ---------------------------------------------------------------- playback

TEST(PlaybackTexts, PositionInFramesOrHundredsOfNanoseconds)
{
    struct Case
    {
        std::int64_t position;
        double frameRate;
        const char *text;
    };
    const Case cases[] = {
        {90061, 25, "1:00:02:11"},
        {0, 25, "0:00:00:00"},
        {24, 25, "0:00:00:24"},
        {1800, 29.97, "0:01:00:01"}, // 60 s are 1798.2 frames
        {36'615'000'000, 0, "1:01:01:500"},
        {9'999, 0, "0:00:00:000"},
        {-5, 25, "0:00:00:00"},
        {10LL * 3600 * 25, 25, "10:00:00:00"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(PositionText(c.position, c.frameRate), QString::fromLatin1(c.text))
            << c.position << " at " << c.frameRate;
}

TEST(PlaybackTexts, VolumeStepsClampAtTheEnds)
{
    EXPECT_EQ(VolumeUp(9500), 10000);
    EXPECT_EQ(VolumeUp(10000), 10000);
    EXPECT_EQ(VolumeUp(5000), 6000);
    EXPECT_EQ(VolumeDown(500), 0);
    EXPECT_EQ(VolumeDown(0), 0);
    EXPECT_EQ(VolumeGauge(9500), 95);
}

// The stored window bounds put on the screens as they are, whatever the
// settings held.
TEST(WindowBoundsOnScreens, TheStoredBoundsLieOnAScreen)
{
    const QRect left(0, 0, 1280, 1024);
    const QRect right(1280, 0, 1920, 1080);
    constexpr int kMax = std::numeric_limits<int>::max();
    constexpr int kMin = std::numeric_limits<int>::min();
    const struct
    {
        const char *name;
        int x, y, w, h;
        QList<QRect> screens;
        QRect expected;
    } cases[] = {
        {"inside: unchanged", 100, 50, 596, 546, {left}, QRect(100, 50, 596, 546)},
        {"on the second screen", 1400, 100, 596, 546, {left, right}, QRect(1400, 100, 596, 546)},
        {"mostly on the second: moved in",
         1200,
         700,
         596,
         546,
         {left, right},
         QRect(1280, 534, 596, 546)},
        {"off every screen: the first",
         9000,
         9000,
         596,
         546,
         {left, right},
         QRect(684, 478, 596, 546)},
        {"larger than the screen", 0, 0, 5000, 4000, {left}, QRect(0, 0, 1280, 1024)},
        {"at the integer limits", kMax, kMax, kMax, kMax, {left}, QRect(0, 0, 1280, 1024)},
        {"at the lower limits", kMin, kMin, kMin, kMin, {left}, QRect(0, 0, 1, 1)},
        {"no screen: unchanged", 5, 6, 7, 8, {}, QRect(5, 6, 7, 8)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(WindowBoundsOnScreens(c.x, c.y, c.w, c.h, c.screens), c.expected);
    }
}

} // namespace
} // namespace vidora
