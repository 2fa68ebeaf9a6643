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

namespace {

// BT.601 studio range: each sample is offset + (kR × R + kG × G + kB × B) / 256
// for 8-bit R, G, B (Y 16..235, Cb and Cr 16..240 around 128).
struct YuvCoefficients
{
    double r, g, b, offset;
};
constexpr YuvCoefficients kLuma{65.738, 129.057, 25.064, 16.0};
constexpr YuvCoefficients kCb{-37.945, -74.494, 112.439, 128.0};
constexpr YuvCoefficients kCr{112.439, -94.154, -18.285, 128.0};

// A premultiplied tile pixel as the sample it adds over transparency (the
// offset weighted by its alpha), times 255.
inline double tileSample(const YuvCoefficients &k, QRgb pixel)
{
    return (k.r * qRed(pixel) + k.g * qGreen(pixel) + k.b * qBlue(pixel)) * 255.0 / 256.0 +
           k.offset * qAlpha(pixel);
}

} // namespace

PlanarOverlayTile MakePlanarOverlayTile(const OverlayTile &tile, QSize pictureSize,
                                        int chromaShiftX, int chromaShiftY)
{
    PlanarOverlayTile planar;
    planar.chromaShiftX = chromaShiftX;
    planar.chromaShiftY = chromaShiftY;
    if (tile.image.isNull() || tile.image.format() != QImage::Format_ARGB32_Premultiplied)
        return planar;
    const QRect area = QRect(tile.origin, tile.image.size()) & QRect(QPoint(0, 0), pictureSize);
    if (area.isEmpty())
        return planar;
    const auto pixelAt = [&](int x, int y) {
        return reinterpret_cast<const QRgb *>(
            tile.image.constScanLine(y - tile.origin.y()))[x - tile.origin.x()];
    };
    for (int plane = 0; plane < 3; ++plane) {
        const int sx = plane == 0 ? 0 : chromaShiftX;
        const int sy = plane == 0 ? 0 : chromaShiftY;
        const YuvCoefficients &k = plane == 0 ? kLuma : plane == 1 ? kCb : kCr;
        PlanarOverlayTile::Plane &p = planar.planes[plane];
        p.area = QRect(QPoint(area.left() >> sx, area.top() >> sy),
                       QPoint(area.right() >> sx, area.bottom() >> sy));
        p.add.assign(static_cast<std::size_t>(p.area.width()) * p.area.height(), 0);
        p.keep.assign(p.add.size(), 255);
        // Each sample covers a block of pixels; those outside the tile add
        // nothing (alpha 0).
        const double blockPixels = static_cast<double>(1 << (sx + sy));
        std::size_t i = 0;
        for (int cy = p.area.top(); cy <= p.area.bottom(); ++cy) {
            for (int cx = p.area.left(); cx <= p.area.right(); ++cx, ++i) {
                double alpha = 0, add = 0;
                for (int y = std::max(cy << sy, area.top());
                     y <= std::min(((cy + 1) << sy) - 1, area.bottom()); ++y) {
                    for (int x = std::max(cx << sx, area.left());
                         x <= std::min(((cx + 1) << sx) - 1, area.right()); ++x) {
                        const QRgb pixel = pixelAt(x, y);
                        alpha += qAlpha(pixel);
                        add += tileSample(k, pixel);
                    }
                }
                p.add[i] = static_cast<std::uint16_t>(
                    std::clamp(std::lround(add / blockPixels), 0L, 255L * 255L));
                p.keep[i] = static_cast<std::uint8_t>(255 - std::lround(alpha / blockPixels));
            }
        }
    }
    return planar;
}

void CompositeOverlayTile(const PlanarOverlayTile &tile, const YuvView &picture)
{
    if (!picture.valid() || tile.chromaShiftX != picture.chromaShiftX ||
        tile.chromaShiftY != picture.chromaShiftY)
        return;
    for (int plane = 0; plane < 3; ++plane) {
        const PlanarOverlayTile::Plane &p = tile.planes[plane];
        const int width = plane == 0 ? picture.width : picture.chromaWidth();
        const int height = plane == 0 ? picture.height : picture.chromaHeight();
        if (p.area.isEmpty() || p.area.right() >= width || p.area.bottom() >= height)
            continue;
        std::size_t i = 0;
        for (int y = p.area.top(); y <= p.area.bottom(); ++y) {
            std::uint8_t *sample =
                picture.planes[plane] + y * picture.strides[plane] + p.area.left();
            for (int x = 0; x < p.area.width(); ++x, ++i) {
                const std::uint32_t keep = p.keep[i];
                if (keep == 255)
                    continue;
                const std::uint32_t value = divideBy255(p.add[i] + sample[x] * keep);
                sample[x] = static_cast<std::uint8_t>(std::min<std::uint32_t>(value, 255));
            }
        }
    }
}

const OverlayLayout &OverlayCache::Draw(QImage &picture, const std::array<QString, 2> &texts,
                                        const OverlayPlacement &placement, const QFont &font)
{
    return Draw(viewOf(picture), picture, texts, placement, font);
}

void OverlayCache::prepare(QSize pictureSize, const QPaintDevice &device,
                           const std::array<QString, 2> &texts, const OverlayPlacement &placement,
                           const QFont &font)
{
    Key key{texts, placement, font};
    if (m_key && *m_key == key)
        return;
    const QFontMetrics metrics(font, &device);
    m_layout = LayoutOverlay(
        texts, {MeasureOverlayLine(metrics, texts[0]), MeasureOverlayLine(metrics, texts[1])},
        placement);
    m_tile = RenderOverlayTile(m_layout, font, pictureSize);
    m_key = std::move(key);
    ++m_renders;
}

const OverlayLayout &OverlayCache::Draw(Rgb24View picture, const QPaintDevice &device,
                                        const std::array<QString, 2> &texts,
                                        const OverlayPlacement &placement, const QFont &font)
{
    prepare(QSize(picture.width, picture.height), device, texts, placement, font);
    CompositeOverlayTile(m_tile, picture);
    return m_layout;
}

const OverlayLayout &OverlayCache::Draw(const YuvView &picture, const QPaintDevice &device,
                                        const std::array<QString, 2> &texts,
                                        const OverlayPlacement &placement, const QFont &font)
{
    const QSize size(picture.width, picture.height);
    const int renders = m_renders;
    prepare(size, device, texts, placement, font);
    if (renders != m_renders || !m_planarTile ||
        m_planarTile->chromaShiftX != picture.chromaShiftX ||
        m_planarTile->chromaShiftY != picture.chromaShiftY)
        m_planarTile =
            MakePlanarOverlayTile(m_tile, size, picture.chromaShiftX, picture.chromaShiftY);
    CompositeOverlayTile(*m_planarTile, picture);
    return m_layout;
}

void OverlayCache::Clear()
{
    m_key.reset();
    m_layout = {};
    m_tile = {};
    m_planarTile.reset();
}

} // namespace vidora
