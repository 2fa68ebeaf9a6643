#include "video/filters/overlayraster.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

namespace vidora {

namespace {

constexpr int kZeroHeightPixels = 16;
constexpr int kReferencePixels = 256;

} // namespace

QFont OverlayFont(const TfontRecord &record)
{
    QFont font;
    if (!record.Name.isEmpty())
        font.setFamily(record.Name);
    font.setBold(record.Bold != 0);
    font.setItalic(record.Italic != 0);
    font.setUnderline(record.Underline != 0);
    font.setStrikeOut(record.StrikeOut != 0);
    font.setHintingPreference(QFont::PreferNoHinting);

    const int height = GdiFontHeight(record.Size);
    if (height < 0) {
        font.setPixelSize(-height);
    } else if (height == 0) {
        font.setPixelSize(kZeroHeightPixels);
    } else {
        font.setPixelSize(kReferencePixels);
        const QFontMetricsF reference(font);
        const double cellPerPixel = (reference.ascent() + reference.descent()) / kReferencePixels;
        const double pixels = cellPerPixel > 0 ? height / cellPerPixel : height;
        font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixels))));
    }
    return font;
}

OverlayLineMetrics MeasureOverlayLine(const QFontMetrics &metrics, const QString &text)
{
    OverlayLineMetrics line;
    if (text.isEmpty())
        return line;
    line.advance = metrics.horizontalAdvance(text);
    // boundingRect is relative to the baseline's start; the cell's top is
    // `ascent` above it.
    const QRect ink = metrics.boundingRect(text).translated(0, metrics.ascent());
    const QRect cell(0, 0, line.advance, metrics.height());
    line.ink = (ink | cell).adjusted(-1, -1, 1, 1);
    return line;
}

namespace {

// The draws of a layout with the painter's current transformation; the
// number of text draws made.
int drawLayout(QPainter &painter, const OverlayLayout &layout, const QFont &font, int ascent)
{
    painter.setFont(font);
    painter.setBrush(Qt::NoBrush);
    const int w = layout.outline;
    int draws = 0;
    for (const OverlayLine &line : layout.lines) {
        const int baseline = line.y + ascent;
        if (w > 0) {
            painter.setPen(QColor::fromRgb(layout.outlineColor));
            for (int dy = -w; dy <= w; ++dy) {
                for (int dx = -w; dx <= w; ++dx) {
                    painter.drawText(line.x + dx, baseline + dy, line.text);
                    ++draws;
                }
            }
        }
        painter.setPen(QColor::fromRgb(layout.textColor));
        painter.drawText(line.x, baseline, line.text);
        ++draws;
    }
    return draws;
}

// x / 255 rounded to the nearest, for 0 <= x <= 255 × 255.
inline std::uint32_t divideBy255(std::uint32_t x)
{
    x += 128;
    return (x + (x >> 8)) >> 8;
}

} // namespace

int DrawOverlay(QImage &picture, const OverlayLayout &layout, const QFont &font)
{
    if (!layout.drawn || picture.isNull())
        return 0;
    QPainter painter(&picture);
    return drawLayout(painter, layout, font, QFontMetrics(font, &picture).ascent());
}

OverlayTile RenderOverlayTile(const OverlayLayout &layout, const QFont &font, QSize pictureSize)
{
    const QRect area = layout.textBox & QRect(QPoint(0, 0), pictureSize);
    if (!layout.drawn || area.isEmpty())
        return {};
    OverlayTile tile{QImage(area.size(), QImage::Format_ARGB32_Premultiplied), area.topLeft()};
    tile.image.fill(Qt::transparent);
    QPainter painter(&tile.image);
    // Whole-pixel shift: every glyph lands on the same pixel grid (and the
    // same sub-pixel phase) as when drawn on the picture itself.
    painter.translate(-area.topLeft());
    drawLayout(painter, layout, font, QFontMetrics(font, &tile.image).ascent());
    return tile;
}

void CompositeOverlayTile(const OverlayTile &tile, Rgb24View picture)
{
    if (tile.image.isNull() || !picture.valid() ||
        tile.image.format() != QImage::Format_ARGB32_Premultiplied)
        return;
    const QRect area =
        QRect(tile.origin, tile.image.size()) & QRect(0, 0, picture.width, picture.height);
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const auto *source =
            reinterpret_cast<const QRgb *>(tile.image.constScanLine(y - tile.origin.y())) +
            (area.left() - tile.origin.x());
        std::uint8_t *target = picture.row(y) + 3 * static_cast<std::ptrdiff_t>(area.left());
        for (int i = 0; i < area.width(); ++i, target += 3) {
            const QRgb pixel = source[i];
            const std::uint32_t alpha = qAlpha(pixel);
            if (alpha == 0)
                continue;
            const std::uint32_t keep = 255 - alpha;
            target[0] = static_cast<std::uint8_t>(qBlue(pixel) + divideBy255(target[0] * keep));
            target[1] = static_cast<std::uint8_t>(qGreen(pixel) + divideBy255(target[1] * keep));
            target[2] = static_cast<std::uint8_t>(qRed(pixel) + divideBy255(target[2] * keep));
        }
    }
}

const OverlayLayout &OverlayCache::Draw(QImage &picture, const std::array<QString, 2> &texts,
                                        const OverlayPlacement &placement, const QFont &font)
{
    return Draw(viewOf(picture), picture, texts, placement, font);
}

const OverlayLayout &OverlayCache::Draw(Rgb24View picture, const QPaintDevice &device,
                                        const std::array<QString, 2> &texts,
                                        const OverlayPlacement &placement, const QFont &font)
{
    Key key{texts, placement, font};
    if (!m_key || !(*m_key == key)) {
        const QFontMetrics metrics(font, &device);
        m_layout = LayoutOverlay(
            texts, {MeasureOverlayLine(metrics, texts[0]), MeasureOverlayLine(metrics, texts[1])},
            placement);
        m_tile = RenderOverlayTile(m_layout, font, QSize(picture.width, picture.height));
        m_key = std::move(key);
        ++m_renders;
    }
    CompositeOverlayTile(m_tile, picture);
    return m_layout;
}

void OverlayCache::Clear()
{
    m_key.reset();
    m_layout = {};
    m_tile = {};
}

} // namespace vidora
