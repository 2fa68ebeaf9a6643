#include "video/filters/deinter.h"

#include <algorithm>
#include <cstdlib>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Pixels weighed or skipped together: 48 bytes, three 16-byte vectors.
constexpr int kRun = 16;

// A pixel can be combed only where one of its channels gives a product above
// kCombThreshold / 10 (the weights add up to 10): both differences at least 2
// and one at least 18 (17 × 17 = 289). Whether any byte of a run of pixels
// passes that test.
static_assert(kCombThreshold / 10 == 300);
inline bool mayBeCombed(const std::uint8_t *above, const std::uint8_t *middle,
                        const std::uint8_t *below)
{
    constexpr int bytes = 3 * kRun;
#if defined(__SSE2__)
    const __m128i one = _mm_set1_epi8(1);
    const __m128i seventeen = _mm_set1_epi8(17);
    __m128i any = _mm_setzero_si128();
    for (int i = 0; i < bytes; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(above + i));
        const __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i *>(middle + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(below + i));
        const __m128i up = _mm_or_si128(_mm_subs_epu8(a, m), _mm_subs_epu8(m, a));
        const __m128i down = _mm_or_si128(_mm_subs_epu8(b, m), _mm_subs_epu8(m, b));
        // Non-zero where the smaller difference is at least 2 and the larger
        // at least 18.
        any = _mm_or_si128(any, _mm_min_epu8(_mm_subs_epu8(_mm_min_epu8(up, down), one),
                                             _mm_subs_epu8(_mm_max_epu8(up, down), seventeen)));
    }
    return _mm_movemask_epi8(_mm_cmpeq_epi8(any, _mm_setzero_si128())) != 0xffff;
#else
    for (int i = 0; i < bytes; ++i) {
        const int up = std::abs(above[i] - middle[i]);
        const int down = std::abs(below[i] - middle[i]);
        if (std::min(up, down) >= 2 && std::max(up, down) >= 18)
            return true;
    }
    return false;
#endif
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
        // A run of pixels that cannot be combed is skipped whole; the
        // others are weighed pixel by pixel.
        bool combed = false;
        for (int x = 0; x < w; x += kRun) {
            const int end = std::min(x + kRun, w);
            if (end - x == kRun && !mayBeCombed(above + 3 * x, middle + 3 * x, below + 3 * x)) {
                std::fill(maskA + x, maskA + end, std::uint8_t{0});
                continue;
            }
            for (int k = x; k < end; ++k) {
                const bool mark =
                    combValue(above + 3 * k, middle + 3 * k, below + 3 * k) > kCombThreshold;
                maskA[k] = mark;
                combed = combed || mark;
            }
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
