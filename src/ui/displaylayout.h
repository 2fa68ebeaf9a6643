#pragma once

// The main window's layout as values: what a change of display mode does to
// the window (its state, size limits, bounds and the stored size and place),
// where each frame goes for a mode and a client size, and what a change of
// the list's counts does to the empty-list layout. The window applies the
// results in one place (uiform_layout.cpp).
//
// Coordinates: the frames' rectangles are in the client area that holds
// them, which here lies below the toolbars and above the status bar (Qt
// keeps both outside it). The list column's top row is the information
// frame, 208 pixels high; the file list starts below it.
#include <QList>
#include <QRect>
#include <QSize>

#include <cstdint>
#include <optional>

namespace vidora {

// The display modes, stored as "Vue".
namespace displaymode {
inline constexpr std::uint8_t Full = 0;       // list column and video
inline constexpr std::uint8_t ListHidden = 1; // narrow window: information frame over the video
inline constexpr std::uint8_t Panel = 2;      // the About or settings panel
inline constexpr std::uint8_t Maximised = 3;  // as Full, in a maximised window
inline constexpr std::uint8_t VideoOnly = 4;  // the video alone
} // namespace displaymode

inline constexpr int kListColumnWidth = 296;
inline constexpr int kInfoFrameHeight = 208;
inline constexpr int kPanelVideoWidth = 288;
inline constexpr QSize kMainMinimumSize{600, 546};
inline constexpr QSize kNarrowSize{304, 546};
inline constexpr QSize kPanelSize{600, 546};
// Qt's "no maximum" (QWIDGETSIZE_MAX).
inline constexpr QSize kNoMaximumSize{16777215, 16777215};

// The window states whose bounds are not the window's normal ones.
inline constexpr Qt::WindowStates kNotNormal =
    Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen;

// While it lives, the window's changes of size and state are the layout's
// own, not the user's: it counts up the window's counter of them.
class Laying
{
public:
    explicit Laying(int &depth) : m_depth(depth) { ++m_depth; }
    ~Laying() { --m_depth; }
    Laying(const Laying &) = delete;
    Laying &operator=(const Laying &) = delete;

private:
    int &m_depth;
};

// What SetDisplayMode starts from.
struct DisplayModeInput
{
    std::uint8_t current = displaymode::ListHidden; // DisplayMode now
    std::uint8_t mode = displaymode::Full;          // the mode asked for
    bool windowNormal = true;                       // neither maximised nor minimised
    QRect window;                                   // the window's bounds now
    QRect stored;                                   // "Left", "Top", "Width", "Height"
    std::uint8_t retour = displaymode::ListHidden;  // "Retour"
};

// What SetDisplayMode does to the window.
struct DisplayModePlan
{
    std::uint8_t mode = displaymode::Full;
    std::uint8_t retour = displaymode::ListHidden;
    QRect stored; // the stored bounds afterwards
    // Maximised or normal; none leaves the state alone (changes from mode 3).
    std::optional<bool> maximise;
    QSize minimum{0, 0};
    QSize maximum = kNoMaximumSize;
    // The bounds to give a window in the normal state; none keeps them.
    std::optional<QRect> bounds;
    bool closePanels = false; // the About and settings panels
    bool leaveFullScreen = false;
};

DisplayModePlan PlanDisplayMode(const DisplayModeInput &input);

// The mode a window restored from maximised returns to: "Retour", or the
// full display where "Retour" is the maximised mode itself (a panel opened
// in the maximised window and closed again leaves it so).
std::uint8_t RestoredMode(std::uint8_t retour);
// The stored window bounds ("Left", "Top", "Width", "Height") made to lie on
// the screens (their available areas): on the screen they overlap most, or
// the first when they overlap none; no larger than that screen, moved
// inside it. No screen: the bounds unchanged. 64-bit sums, so any stored
// values are safe.
QRect WindowBoundsOnScreens(int left, int top, int width, int height, const QList<QRect> &screens);

// Where the frames go.
struct FrameLayoutInput
{
    std::uint8_t mode = displaymode::Full;
    QSize client;
    bool listLeft = false;      // "liste gauche"
    bool scenesEditing = false; // the scene editor is on
};

struct FrameLayout
{
    QRect video;              // the video view
    QRect info;               // the information frame, and the scene details in its place
    QRect list;               // the file list frame, and the scene list in its place
    bool listShown = false;   // the file list frame
    bool infoShown = false;   // the information frame
    bool scenesShown = false; // the scene details, in the information frame's place
    // The scene list, in the file list's place: hidden with it in the narrow
    // window, where the video takes that place.
    bool sceneListShown = false;
    // The video view's edge lines; none leaves them as they are.
    std::optional<bool> leftBevel;
    std::optional<bool> rightBevel;
    // The position label under the picture: its font's point size and the
    // label's height (4 + the font's height at 96 pixels an inch).
    int timeLabelPoints = 10;
    int timeLabelHeight = 0;
};

FrameLayout LayoutFrames(const FrameLayoutInput &input);

// The point size of the position label for a video view `width` wide, and
// that size's pixel height at 96 pixels an inch.
int TimeLabelPoints(int width);
int FontPixelHeight(int points);

// What a change of the list's counts does.
struct EmptyListStep
{
    bool hideHelp = false; // and show the list and video toolbars again
    bool showHelp = false; // after the narrow layout; the two toolbars go
    std::optional<std::uint8_t> mode;
};

EmptyListStep EmptyListLayout(int count, bool helpShown, std::uint8_t mode);

} // namespace vidora
