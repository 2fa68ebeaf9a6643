#pragma once

// Removing the comb that interlaced video shows where its two fields differ
// (moving edges). The first field (even rows, counted from the top) is kept
// whole; on the second field (odd rows) only the pixels where a comb is found,
// and that have a combed horizontal neighbour, are replaced by the mean of the
// rows above and below. Integer arithmetic only.
#include "video/filters/rgb24picture.h"

#include <cstdint>
#include <vector>

namespace vidora {

// Scratch of the comb detection, sized for one row: which pixels of the row
// being treated are combed. Reusing one per stream saves allocating per frame.
struct DeinterlaceMasks
{
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> row; // 0 or 0xff a pixel, between zero margins

    // Sizes the scratch for pictures `w` pixels wide; keeps the memory when
    // the size is unchanged, so a caller that sizes it once per stream never
    // allocates.
    void resize(int w, int h);
};

// The comb value of a middle pixel C between its vertical neighbours A (above)
// and B (below), pixels as blue, green, red bytes: positive when C is brighter,
// or darker, than both, weighted 3 red, 6 green, 1 blue.
int CombValue(const std::uint8_t *above, const std::uint8_t *middle, const std::uint8_t *below);

// A pixel is combed when its comb value exceeds this (a difference of 17 in all
// three channels gives 2890, 18 gives 3240).
inline constexpr int kCombThreshold = 3000;

// The instructions the routine may use: the widest vectors the processor
// has, or the plain code that every processor runs (the reference the
// vector code must match byte for byte).
enum class DeinterlaceCode : std::uint8_t {
    Best,
    Portable
};

// `dest` becomes a copy of `source`, then every pixel of an odd row y < height − 1
// that is combed and has a combed horizontal neighbour gets, byte by byte,
// (row y − 1 + row y + 1) >> 1 of the source. `dest` may be `source` itself
// (the routine then works in place), or a picture of the same size with either
// row order. The masks are resized when their size is not the source's. False,
// and nothing written, when a view is invalid or the sizes differ.
bool Deinterlace(ConstRgb24View source, Rgb24View dest, DeinterlaceMasks &masks,
                 DeinterlaceCode code = DeinterlaceCode::Best);

// As above, into a working picture that is made a Format_BGR888 image of the
// source's size (its memory reused when it already is one).
bool Deinterlace(ConstRgb24View source, QImage &dest, DeinterlaceMasks &masks);

} // namespace vidora
