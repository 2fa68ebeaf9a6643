#pragma once

// Planar YUV pictures as the DV decoder hands them to a graph that encodes DV
// again: 8-bit studio-range BT.601 samples, a full-size luma plane and two
// chroma planes at the DV system's sampling (4:2:0 for 625/50, 4:1:1 for
// 525/60). Working on them directly spares the two colour conversions of the
// RGB24 path and leaves every pixel that is not drawn on as it was decoded.
#include "video/filters/rgb24picture.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace vidora {

// A planar picture in memory the view does not own; rows top-down.
struct YuvView
{
    std::array<std::uint8_t *, 3> planes{}; // Y, U (Cb), V (Cr)
    std::array<std::ptrdiff_t, 3> strides{};
    int width = 0;
    int height = 0;
    int chromaShiftX = 1; // chroma width = width >> chromaShiftX: 1 for 4:2:0, 2 for 4:1:1
    int chromaShiftY = 1; // chroma height = height >> chromaShiftY: 1 for 4:2:0, 0 for 4:1:1

    int chromaWidth() const { return width >> chromaShiftX; }
    int chromaHeight() const { return height >> chromaShiftY; }
    // A non-empty picture of one of the two samplings whose size it divides,
    // with every plane present and its rows long enough.
    bool valid() const;
    bool sameSize(int w, int h) const { return width == w && height == h; }
};

// The planar picture packed in one buffer (Y, then U, then V, no row padding:
// the layout of the decoder's I420 and Y41B samples); invalid when `size`
// bytes cannot hold it or the sampling does not divide the size.
YuvView yuvSampleView(std::uint8_t *buffer, std::size_t size, int width, int height,
                      int chromaShiftX, int chromaShiftY);

// Bytes of such a packed picture.
constexpr std::size_t YuvImageSize(int width, int height, int chromaShiftX, int chromaShiftY)
{
    if (width <= 0 || height <= 0)
        return 0;
    const std::size_t luma = static_cast<std::size_t>(width) * height;
    return luma + 2 * static_cast<std::size_t>(width >> chromaShiftX) *
                      static_cast<std::size_t>(height >> chromaShiftY);
}

// The colour conversions the decoder and the encoder make (bicubic, BT.601
// studio range), for the pictures that must pass through RGB24: stills and
// deinterlacing. False, nothing written, for invalid views or different sizes.
bool YuvToRgb24(const YuvView &from, Rgb24View to);
bool Rgb24ToYuv(ConstRgb24View from, const YuvView &to);
bool CopyYuv(const YuvView &from, const YuvView &to);

} // namespace vidora
