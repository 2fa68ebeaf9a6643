#pragma once

// Drawing the overlay text with QPainter on a Format_BGR888 picture: the font
// made from the stored font record, the measurements the layout needs, and the
// draws a layout asks for.
#include "settings/incrustrec.h"
#include "video/filters/overlaylayout.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>

namespace vidora {

// The font of a font record: face (empty: the application's default face),
// size by GdiFontHeight at 96 pixels per inch, bold, italic, underline and
// strike-out. A negative GDI height sets the character height in pixels; a
// positive one the cell height (ascent + descent), met by choosing the pixel
// size of the face that gives that cell. Height 0 takes 16 pixels.
QFont OverlayFont(const TfontRecord &record);

// Text width and inked rectangle of one line, relative to the top left of its
// cell, as drawn by DrawOverlay with the same font on the same kind of picture.
// The rectangle covers the glyphs' ink, the cell and one pixel of anti-aliasing
// around them.
OverlayLineMetrics MeasureOverlayLine(const QFontMetrics &metrics, const QString &text);

// Draws each line of the layout: with an outline w > 0 first in black at every
// offset (dx, dy), dy from −w to w outer and dx from −w to w inner, then once in
// the text colour at its place; no background, no wrapping, no clipping beyond
// the picture's edges. Returns the number of text draws made (0 when the layout
// draws nothing).
int DrawOverlay(QImage &picture, const OverlayLayout &layout, const QFont &font);

} // namespace vidora
