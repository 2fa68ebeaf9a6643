#include "video/filters/deinter.h"

#include <algorithm>

namespace vidora {

void DeinterlaceMasks::resize(int w, int h)
{
    width = std::max(w, 0);
    height = std::max(h, 0);
    const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    a.assign(n, 0);
    b.assign(n, 0);
}

namespace {

inline int combValue(const std::uint8_t *above, const std::uint8_t *middle,
                     const std::uint8_t *below)
{
    // Bytes are blue, green, red.
    const int blue = (above[0] - middle[0]) * (below[0] - middle[0]);
    const int green = (above[1] - middle[1]) * (below[1] - middle[1]);
    const int red = (above[2] - middle[2]) * (below[2] - middle[2]);
    return 3 * red + 6 * green + blue;
}

} // namespace

int CombValue(const std::uint8_t *above, const std::uint8_t *middle, const std::uint8_t *below)
{
    return combValue(above, middle, below);
}

bool Deinterlace(ConstRgb24View source, Rgb24View dest, DeinterlaceMasks &masks)
{
    if (!CopyRgb24(source, dest))
        return false;
    const int w = source.width;
    const int h = source.height;
    if (masks.width != w || masks.height != h)
        masks.resize(w, h);

    // Row by row: an odd row's masks need only that row and the two around
    // it, and its pixels are written from the source's even rows, which no
    // write changes; so working in place gives the same result.
    for (int y = 1; y < h - 1; y += 2) {
        const std::uint8_t *above = source.row(y - 1);
        const std::uint8_t *middle = source.row(y);
        const std::uint8_t *below = source.row(y + 1);
        std::uint8_t *maskA = masks.a.data() + static_cast<std::size_t>(y) * w;
        std::uint8_t *maskB = masks.b.data() + static_cast<std::size_t>(y) * w;
        bool combed = false;
        for (int x = 0; x < w; ++x) {
            const bool mark =
                combValue(above + 3 * x, middle + 3 * x, below + 3 * x) > kCombThreshold;
            maskA[x] = mark;
            combed = combed || mark;
        }
        if (!combed) {
            std::fill(maskB, maskB + w, std::uint8_t{0});
            continue;
        }
        // A lone combed pixel is left alone; a neighbour outside the picture
        // counts 0.
        std::uint8_t *out = dest.row(y);
        for (int x = 0; x < w; ++x) {
            const int left = x > 0 ? maskA[x - 1] : 0;
            const int right = x + 1 < w ? maskA[x + 1] : 0;
            maskB[x] = maskA[x] != 0 && left + right > 0;
            if (maskB[x] == 0)
                continue;
            for (int i = 3 * x; i < 3 * x + 3; ++i)
                out[i] = static_cast<std::uint8_t>((above[i] + below[i]) >> 1);
        }
    }
    return true;
}

bool Deinterlace(ConstRgb24View source, QImage &dest, DeinterlaceMasks &masks)
{
    if (!source.valid())
        return false;
    ensureRgb24Image(dest, source.width, source.height);
    return Deinterlace(source, viewOf(dest), masks);
}

} // namespace vidora
