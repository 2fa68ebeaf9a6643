#include "video/filters/overlaylayout.h"

#include <algorithm>

namespace vidora {

int GdiFontHeight(std::int32_t size)
{
    // MulDiv(size, 96, 72) rounds to the nearest integer; size × 4 / 3 is never
    // a half, so the rounding direction of halves does not arise.
    const std::int64_t scaled = static_cast<std::int64_t>(size) * 96;
    const std::int64_t magnitude = ((scaled < 0 ? -scaled : scaled) + 36) / 72;
    return static_cast<int>(scaled < 0 ? magnitude : -magnitude);
}

QRgb ColorRefToRgb(std::int32_t colorRef)
{
    const auto value = static_cast<std::uint32_t>(colorRef);
    return qRgb(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

int OverlayPerMille(int at, int length)
{
    if (length <= 0)
        return 0;
    const std::int64_t perMille = static_cast<std::int64_t>(at) * kOverlayScale / length;
    return static_cast<int>(std::clamp<std::int64_t>(perMille, 0, kOverlayScale));
}

OverlayLayout LayoutOverlay(const std::array<QString, 2> &texts,
                            const std::array<OverlayLineMetrics, 2> &metrics,
                            const OverlayPlacement &placement)
{
    OverlayLayout layout;
    const int w = placement.frameWidth;
    const int px = static_cast<int>(static_cast<std::int64_t>(w) * placement.posX / kOverlayScale);
    const int py = static_cast<int>(static_cast<std::int64_t>(placement.frameHeight) *
                                    placement.posY / kOverlayScale);
    const int h = placement.lineStep;
    const int tw1 = metrics[0].advance;
    const int tw2 = metrics[1].advance;

    int x1 = 0;
    int x2 = 0;
    switch (placement.alignment) {
    case 0:
        x1 = px - tw2 / 2;
        x2 = px - tw2 / 2;
        break;
    case 1:
        x1 = px - tw1 / 2;
        x2 = px - tw2 / 2;
        break;
    case 2:
        x1 = px - tw1 + tw2 / 2;
        x2 = px - tw2 / 2;
        break;
    case 3:
        x1 = (w - tw1) / 2;
        x2 = (w - tw2) / 2;
        break;
    default:
        return layout;
    }
    layout.drawn = true;
    layout.lines = {OverlayLine{texts[0], x1, py - 2 * h}, OverlayLine{texts[1], x2, py - h}};
    layout.outline = std::clamp(placement.outline, 0, kMaxOutline);
    layout.textColor = ColorRefToRgb(placement.color);

    // The two-line block is moved as a whole into the frame, keeping the
    // lines' alignment with each other: a long line near an edge would
    // otherwise be cut, or not be seen at all. What must fit is every pixel
    // the draws may change: each line's ink (its cell where it has none)
    // and the outline around it. A block wider than the frame keeps its left
    // edge in it, one taller keeps its top.
    QRect extent;
    for (std::size_t i = 0; i < layout.lines.size(); ++i) {
        const QRect cell(0, 0, metrics[i].advance, h);
        extent |= (metrics[i].ink.isEmpty() ? cell : metrics[i].ink | cell)
                      .translated(layout.lines[i].x, layout.lines[i].y);
    }
    if (!extent.isEmpty()) {
        extent.adjust(-layout.outline, -layout.outline, layout.outline, layout.outline);
        const auto into = [](int low, int high, int size) {
            int shift = 0;
            if (high > size)
                shift = size - high;
            if (low + shift < 0)
                shift = -low;
            return shift;
        };
        const int dx = into(extent.left(), extent.right() + 1, w);
        const int dy = into(extent.top(), extent.bottom() + 1, placement.frameHeight);
        for (OverlayLine &line : layout.lines) {
            line.x += dx;
            line.y += dy;
        }
    }
    const int side = 2 * layout.outline + 1;
    layout.drawsPerLine = (layout.outline > 0 ? side * side : 0) + 1;
    layout.drawCount = 2 * layout.drawsPerLine;

    QRect box;
    for (std::size_t i = 0; i < layout.lines.size(); ++i) {
        if (metrics[i].ink.isEmpty())
            continue;
        box |= metrics[i].ink.translated(layout.lines[i].x, layout.lines[i].y);
    }
    if (!box.isEmpty())
        box.adjust(-layout.outline, -layout.outline, layout.outline, layout.outline);
    layout.textBox = box;
    return layout;
}

} // namespace vidora
