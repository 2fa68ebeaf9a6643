#include "ui/displaylayout.h"

#include <algorithm>
#include <cmath>

namespace vidora {

using namespace displaymode;

QRect WindowBoundsOnScreens(int left, int top, int width, int height, const QList<QRect> &screens)
{
    if (screens.isEmpty())
        return QRect(left, top, width, height);
    const std::int64_t w = std::max(width, 1);
    const std::int64_t h = std::max(height, 1);
    // The overlap with each screen, in 64 bits: no sum of stored values
    // can overflow.
    const auto overlap = [&](const QRect &screen) -> std::int64_t {
        const std::int64_t x1 = std::max<std::int64_t>(left, screen.left());
        const std::int64_t y1 = std::max<std::int64_t>(top, screen.top());
        const std::int64_t x2 =
            std::min<std::int64_t>(left + w, screen.left() + std::int64_t(screen.width()));
        const std::int64_t y2 =
            std::min<std::int64_t>(top + h, screen.top() + std::int64_t(screen.height()));
        return x2 > x1 && y2 > y1 ? (x2 - x1) * (y2 - y1) : 0;
    };
    QRect screen = screens.first();
    std::int64_t best = overlap(screen);
    for (const QRect &other : screens)
        if (const std::int64_t area = overlap(other); area > best) {
            best = area;
            screen = other;
        }
    const int fitWidth = static_cast<int>(std::min<std::int64_t>(w, screen.width()));
    const int fitHeight = static_cast<int>(std::min<std::int64_t>(h, screen.height()));
    const int x = static_cast<int>(std::clamp<std::int64_t>(
        left, screen.left(), screen.left() + std::int64_t(screen.width()) - fitWidth));
    const int y = static_cast<int>(std::clamp<std::int64_t>(
        top, screen.top(), screen.top() + std::int64_t(screen.height()) - fitHeight));
    return QRect(x, y, fitWidth, fitHeight);
}

DisplayModePlan PlanDisplayMode(const DisplayModeInput &in)
{
    DisplayModePlan plan;
    plan.mode = in.mode;
    plan.retour = in.retour;
    plan.stored = in.stored;
    // The normal size is kept only where the user sizes the window freely,
    // its place wherever the window is in its normal state.
    if (in.current == Full || (in.current == VideoOnly && in.windowNormal))
        plan.stored.setSize(in.window.size());
    if (in.current != Maximised && in.windowNormal)
        plan.stored.moveTopLeft(in.window.topLeft());
    if (in.current != Maximised)
        plan.maximise = in.mode == Maximised;

    switch (in.mode) {
    case Full:
    case VideoOnly:
        plan.closePanels = true;
        plan.leaveFullScreen = true;
        plan.minimum = kMainMinimumSize;
        plan.bounds = plan.stored;
        break;
    case ListHidden:
        plan.closePanels = true;
        plan.leaveFullScreen = true;
        plan.minimum = plan.maximum = kNarrowSize;
        plan.bounds = QRect(plan.stored.topLeft(), kNarrowSize);
        break;
    case Panel:
        plan.leaveFullScreen = true;
        if (in.current != Panel)
            plan.retour = in.current;
        // A maximised window keeps its size, the panel covering its client
        // area: a fixed size would shrink it out of its maximised state.
        if (in.windowNormal) {
            plan.minimum = plan.maximum = kPanelSize;
            plan.bounds = QRect(plan.stored.topLeft(), kPanelSize);
        }
        break;
    case Maximised:
        if (in.current != Panel)
            plan.retour = in.current;
        plan.closePanels = true;
        plan.leaveFullScreen = true;
        break;
    default:
        // No such mode: the window stays as it is.
        plan.mode = in.current;
        plan.maximise.reset();
        break;
    }
    return plan;
}

std::uint8_t RestoredMode(std::uint8_t retour)
{
    return retour == Maximised ? Full : retour;
}

int TimeLabelPoints(int width)
{
    return width < 501 ? 10 : width / 48;
}

int FontPixelHeight(int points)
{
    // MulDiv(points, 96, 72): rounded to the nearest.
    return int(std::lround(points * 96.0 / 72.0));
}

FrameLayout LayoutFrames(const FrameLayoutInput &in)
{
    FrameLayout out;
    // A client smaller than the fixed measures gives empty frames, never
    // negative ones.
    const int width = std::max(in.client.width(), kListColumnWidth);
    const int height = std::max(in.client.height(), kInfoFrameHeight);
    out.listShown = in.mode != ListHidden && in.mode != VideoOnly && !in.scenesEditing;
    out.scenesShown = in.mode != VideoOnly && in.scenesEditing;
    out.sceneListShown = out.scenesShown && in.mode != ListHidden;
    out.infoShown = in.mode != VideoOnly && !in.scenesEditing;

    auto column = [&](int left) {
        out.info = QRect(left, 0, kListColumnWidth, kInfoFrameHeight);
        out.list = QRect(left, kInfoFrameHeight, kListColumnWidth, height - kInfoFrameHeight);
    };
    switch (in.mode) {
    case ListHidden:
        // The video takes the list's place under the information frame.
        column(0);
        out.video = QRect(0, kInfoFrameHeight, width, height - kInfoFrameHeight);
        out.leftBevel = out.rightBevel = false;
        break;
    case Panel:
        column(0);
        out.list = QRect(kListColumnWidth, 0, kListColumnWidth, height);
        out.video = QRect(0, kInfoFrameHeight, kPanelVideoWidth, height - kInfoFrameHeight);
        break;
    case VideoOnly:
        column(0);
        out.video = QRect(0, 0, width, height);
        break;
    default: // Full and Maximised
        if (in.listLeft) {
            column(0);
            out.video = QRect(kListColumnWidth, 0, width - kListColumnWidth, height);
            out.leftBevel = true;
            out.rightBevel = false;
        } else {
            column(width - kListColumnWidth);
            out.video = QRect(0, 0, width - kListColumnWidth, height);
            out.leftBevel = false;
            out.rightBevel = true;
        }
        break;
    }
    out.timeLabelPoints = TimeLabelPoints(out.video.width());
    out.timeLabelHeight = 4 + FontPixelHeight(out.timeLabelPoints);
    return out;
}

EmptyListStep EmptyListLayout(int count, bool helpShown, std::uint8_t mode)
{
    EmptyListStep step;
    if (count > 0 && helpShown) {
        step.hideHelp = true;
    } else if (count > 0 && mode == ListHidden) {
        step.mode = Full;
    } else if (count == 0 && !helpShown) {
        step.mode = ListHidden;
        step.showHelp = true;
    }
    return step;
}

} // namespace vidora
