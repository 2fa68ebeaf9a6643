#include "video/filters/overlayraster.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

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

int DrawOverlay(QImage &picture, const OverlayLayout &layout, const QFont &font)
{
    if (!layout.drawn || picture.isNull())
        return 0;
    QPainter painter(&picture);
    painter.setFont(font);
    painter.setBrush(Qt::NoBrush);
    const int ascent = QFontMetrics(font, &picture).ascent();
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

} // namespace vidora
