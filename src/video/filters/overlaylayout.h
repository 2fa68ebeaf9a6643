#pragma once

// Where the date overlay puts its two text lines, worked out from numbers only
// (frame size, reference point, alignment, line step, text widths), so that the
// placement can be checked exactly without drawing. overlayraster.h measures
// the texts and draws what a layout says.
#include <QRect>
#include <QString>
#include <QtGui/qrgb.h>

#include <array>
#include <cstdint>

namespace vidora {

// The GDI font height (LOGFONT lfHeight) of a signed font size at a fixed 96
// pixels per inch: −MulDiv(size, 96, 72). A positive size (points) gives a
// negative height, the character height in pixels (16 points give −21); a
// negative size gives a positive height, the cell height with internal leading
// (−21 gives 28).
int GdiFontHeight(std::int32_t size);

// The distance between the tops of the two overlay lines: |GdiFontHeight|.
inline int OverlayLineStep(std::int32_t fontSize)
{
    const int height = GdiFontHeight(fontSize);
    return height < 0 ? -height : height;
}

// The font size chosen from the picture width when the options ask for it: a
// 28-pixel cell on a 720-pixel-wide picture (−21), scaled with the width,
// integer division.
inline std::int32_t AutoFontSize(int frameWidth)
{
    return static_cast<std::int32_t>(-(static_cast<std::int64_t>(frameWidth) * 21 / 720));
}

// The overlay's reference point is kept in per mille of the picture's width
// and height.
inline constexpr int kOverlayScale = 1000;

// The per-mille place of a point `at` pixels along a side `length` pixels
// long (a drag on the video), truncated and kept to 0..kOverlayScale; 0 for a
// side of no length.
int OverlayPerMille(int at, int length);

// A per-mille height counted from the other edge: the vertical slider counts
// from the bottom, the overlay's position from the top. The same both ways.
inline int OverlayFromBottom(int perMille)
{
    return kOverlayScale - perMille;
}

// A colour stored as 0x00BBGGRR.
QRgb ColorRefToRgb(std::int32_t colorRef);

// The outline widths the overlay draws; wider values are drawn as the widest
// (each outline draw is one text output, (2w + 1)² of them per line).
inline constexpr int kMaxOutline = 5;

// What the drawing needs to know of one line in its font, in pixels relative to
// the point where the line is drawn (the top left of its cell).
struct OverlayLineMetrics
{
    int advance = 0; // text width, the step of the pen over the whole line
    QRect ink;       // every pixel the line may paint; empty for an empty line
};

struct OverlayPlacement
{
    int frameWidth = 0;
    int frameHeight = 0;
    int posX = 900; // reference point, per mille of the width, 0..kOverlayScale
    int posY = 900; // per mille of the height: the lower edge of the two-line block
    std::uint8_t alignment = 2;
    int lineStep = 0;              // OverlayLineStep of the font
    int outline = 0;               // outline width in pixels
    std::int32_t color = 0xFFFFFF; // text colour, 0x00BBGGRR

    bool operator==(const OverlayPlacement &) const = default;
};

struct OverlayLine
{
    QString text;
    int x = 0; // top left of the line's cell in the frame, top-down
    int y = 0;
};

struct OverlayLayout
{
    bool drawn = false;               // false: alignment unknown, nothing drawn
    std::array<OverlayLine, 2> lines; // line 1 above line 2
    int outline = 0;                  // 0..kMaxOutline
    QRgb textColor = 0;
    QRgb outlineColor = qRgb(0, 0, 0);
    int drawsPerLine = 0; // (2 × outline + 1)² outline draws (none for 0) and one in colour
    int drawCount = 0;    // over both lines, empty ones included
    QRect textBox;        // every pixel the draws may change (may reach outside the frame)
};

// The alignments: line 1 is drawn at top Py − 2h and line 2 at Py − h, with
// Px = W × posX div 1000, Py = H × posY div 1000, h the line step and TW1, TW2
// the text widths, halves truncated toward zero:
//   0  line 2 centred on Px, line 1 left-aligned with it
//   1  both lines centred on Px
//   2  line 2 centred on Px, line 1 right-aligned with it
//   3  both centred on the frame, posX ignored (subtitle placement)
//   any other value: nothing is drawn.
// The block of the two lines (their ink, or cell, and outline) is then moved,
// as a whole, into the frame: left when it passes the right edge, right when
// it passes the left edge, up or down likewise (for a block larger than the
// frame, its left and top edges win).
OverlayLayout LayoutOverlay(const std::array<QString, 2> &texts,
                            const std::array<OverlayLineMetrics, 2> &metrics,
                            const OverlayPlacement &placement);

} // namespace vidora
