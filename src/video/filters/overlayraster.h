#pragma once

// Drawing the overlay text with QPainter on a Format_BGR888 picture: the font
// made from the stored font record, the measurements the layout needs, the
// draws a layout asks for, and the same draws rendered once into a tile that
// is laid over every frame showing the same text.
#include "settings/incrustrec.h"
#include "video/filters/overlaylayout.h"
#include "video/filters/rgb24picture.h"
#include "video/filters/yuvpicture.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>

#include <array>
#include <optional>
#include <vector>

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

// A layout's draws rendered onto transparency: the part of the layout's text
// box that lies in the picture, as a Format_ARGB32_Premultiplied image whose
// top left pixel sits at `origin` in the picture. Null when nothing would be
// drawn on the picture.
struct OverlayTile
{
    QImage image;
    QPoint origin;
};

// Renders DrawOverlay's draws, in the same order and with the same clipping to
// a picture of `pictureSize`, into a tile.
OverlayTile RenderOverlayTile(const OverlayLayout &layout, const QFont &font, QSize pictureSize);

// Lays the tile over the picture (source over: each channel becomes
// tile + picture × (255 − tile alpha) / 255, rounded). Parts of the tile
// outside the picture are left out.
void CompositeOverlayTile(const OverlayTile &tile, Rgb24View picture);

// A tile in the samples of a planar picture (BT.601 studio range): each
// sample the tile reaches becomes (add + sample × keep) / 255, rounded. A luma
// sample takes its pixel of the tile; a chroma sample the mean of the pixels
// it covers (their colour and coverage). As the conversion is affine, this is
// the RGB blend followed by the conversion, up to rounding and the chroma
// sampling. Samples the tile does not reach (or reaches with alpha 0 only)
// keep 255 and are left as they are. Made once per tile and sampling.
struct PlanarOverlayTile
{
    struct Plane
    {
        QRect area; // in the plane's samples
        std::vector<std::uint16_t> add;
        std::vector<std::uint8_t> keep; // 255 - coverage
    };
    std::array<Plane, 3> planes; // Y, Cb, Cr
    int chromaShiftX = 0;
    int chromaShiftY = 0;
};
PlanarOverlayTile MakePlanarOverlayTile(const OverlayTile &tile, QSize pictureSize,
                                        int chromaShiftX, int chromaShiftY);
// Lays it over a planar picture of the size and sampling it was made for.
void CompositeOverlayTile(const PlanarOverlayTile &tile, const YuvView &picture);

// The overlay as the filter draws it on each frame: measured, laid out and
// rendered into a tile once for a set of texts, font and placement, then only
// composited onto every frame that shows the same.
//
// Compositing a tile rendered on transparency equals drawing straight onto
// the picture up to rounding (source over is associative; only the 8-bit
// rounding after each blend differs): a channel may differ from DrawOverlay's
// by ±1, or by ±2 where outline draws overlap, and only inside the layout's
// text box.
//
// Not thread-safe: one streaming thread uses it, or its owner locks.
class OverlayCache
{
public:
    // Draws the texts on `picture` (Format_BGR888) and returns their layout.
    // The measurements are taken for `picture` as the paint device.
    const OverlayLayout &Draw(QImage &picture, const std::array<QString, 2> &texts,
                              const OverlayPlacement &placement, const QFont &font);
    // The same on a picture in memory, either row order: only the text box
    // is written. The measurements are taken for `device`, a picture of the
    // kind the layout is made for.
    const OverlayLayout &Draw(Rgb24View picture, const QPaintDevice &device,
                              const std::array<QString, 2> &texts,
                              const OverlayPlacement &placement, const QFont &font);
    // The same on a planar picture (only the samples under the text box
    // change).
    const OverlayLayout &Draw(const YuvView &picture, const QPaintDevice &device,
                              const std::array<QString, 2> &texts,
                              const OverlayPlacement &placement, const QFont &font);
    // Forgets the tile (at a start of streaming, so no old picture is kept).
    void Clear();
    // Tiles rendered since construction: one per change of what is drawn.
    int Renders() const { return m_renders; }

private:
    // Lays out and renders the tile when what is drawn changed.
    void prepare(QSize pictureSize, const QPaintDevice &device, const std::array<QString, 2> &texts,
                 const OverlayPlacement &placement, const QFont &font);

    // Everything the drawing depends on; the picture size is in the placement.
    struct Key
    {
        std::array<QString, 2> texts;
        OverlayPlacement placement;
        QFont font;
        bool operator==(const Key &) const = default;
    };

    std::optional<Key> m_key;
    OverlayLayout m_layout;
    OverlayTile m_tile;
    std::optional<PlanarOverlayTile> m_planarTile; // m_tile in a planar picture's samples
    int m_renders = 0;
};

} // namespace vidora
