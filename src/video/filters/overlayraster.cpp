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
// offset weighted by its alpha), with alpha as a fraction.
inline double tileSample(const YuvCoefficients &k, QRgb pixel)
{
    return (k.r * qRed(pixel) + k.g * qGreen(pixel) + k.b * qBlue(pixel)) / 256.0 +
           k.offset * qAlpha(pixel) / 255.0;
}

inline std::uint8_t blendSample(double tile, double alpha, std::uint8_t sample)
{
    const double value = tile + sample * (1.0 - alpha);
    return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

} // namespace

void CompositeOverlayTile(const OverlayTile &tile, const YuvView &picture)
{
    if (tile.image.isNull() || !picture.valid() ||
        tile.image.format() != QImage::Format_ARGB32_Premultiplied)
        return;
    const QRect area =
        QRect(tile.origin, tile.image.size()) & QRect(0, 0, picture.width, picture.height);
    if (area.isEmpty())
        return;
    const auto pixelAt = [&](int x, int y) {
        return reinterpret_cast<const QRgb *>(
            tile.image.constScanLine(y - tile.origin.y()))[x - tile.origin.x()];
    };
    for (int y = area.top(); y <= area.bottom(); ++y) {
        std::uint8_t *luma = picture.planes[0] + y * picture.strides[0];
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb pixel = pixelAt(x, y);
            if (qAlpha(pixel) != 0)
                luma[x] = blendSample(tileSample(kLuma, pixel), qAlpha(pixel) / 255.0, luma[x]);
        }
    }
    // Each chroma sample covers a block of pixels; those outside the tile
    // add nothing (alpha 0).
    const int sx = picture.chromaShiftX;
    const int sy = picture.chromaShiftY;
    const double blockPixels = static_cast<double>(1 << (sx + sy));
    for (int cy = area.top() >> sy; cy <= area.bottom() >> sy; ++cy) {
        std::uint8_t *cb = picture.planes[1] + cy * picture.strides[1];
        std::uint8_t *cr = picture.planes[2] + cy * picture.strides[2];
        for (int cx = area.left() >> sx; cx <= area.right() >> sx; ++cx) {
            double alpha = 0, tileCb = 0, tileCr = 0;
            for (int y = std::max(cy << sy, area.top());
                 y <= std::min(((cy + 1) << sy) - 1, area.bottom()); ++y) {
                for (int x = std::max(cx << sx, area.left());
                     x <= std::min(((cx + 1) << sx) - 1, area.right()); ++x) {
                    const QRgb pixel = pixelAt(x, y);
                    alpha += qAlpha(pixel) / 255.0;
                    tileCb += tileSample(kCb, pixel);
                    tileCr += tileSample(kCr, pixel);
                }
            }
            if (alpha == 0)
                continue;
            alpha /= blockPixels;
            cb[cx] = blendSample(tileCb / blockPixels, alpha, cb[cx]);
            cr[cx] = blendSample(tileCr / blockPixels, alpha, cr[cx]);
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
    prepare(QSize(picture.width, picture.height), device, texts, placement, font);
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
