#include "video/filters/deinter.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VIDORA_DEINTERLACE_AVX2 1
#endif

namespace vidora {

namespace {

// Zero marks before and after a row's: the neighbours outside the picture
// count as not combed, and whole vectors may be read at either end.
constexpr int kMargin = 32;

} // namespace

void DeinterlaceMasks::resize(int w, int h)
{
    width = std::max(w, 0);
    height = std::max(h, 0);
    row.assign(static_cast<std::size_t>(width) + 2 * kMargin, 0);
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

inline std::uint8_t combMark(const std::uint8_t *above, const std::uint8_t *middle,
                             const std::uint8_t *below)
{
    return combValue(above, middle, below) > kCombThreshold ? 0xff : 0;
}

// The three rows around an odd row y, and where that row's pixels go.
struct RowAround
{
    const std::uint8_t *above;
    const std::uint8_t *middle;
    const std::uint8_t *below;
    std::uint8_t *out;
    int width;
};

// Pixels [from, to) of the row get the mean of the rows around where they and
// a horizontal neighbour are marked in `marks` (indexed by pixel, with a zero
// margin either side).
void replaceCombed(const RowAround &row, const std::uint8_t *marks, int from, int to)
{
    for (int x = from; x < to; ++x) {
        if ((marks[x] & (marks[x - 1] | marks[x + 1])) == 0)
            continue;
        for (int i = 3 * x; i < 3 * x + 3; ++i)
            row.out[i] = static_cast<std::uint8_t>((row.above[i] + row.below[i]) >> 1);
    }
}

// The plain code. Pixels weighed or skipped together: 48 bytes, three 16-byte
// vectors.
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

// Marks the row's combed pixels; false when there are none.
bool markPortable(const RowAround &row, std::uint8_t *marks)
{
    bool combed = false;
    for (int x = 0; x < row.width; x += kRun) {
        const int end = std::min(x + kRun, row.width);
        if (end - x == kRun &&
            !mayBeCombed(row.above + 3 * x, row.middle + 3 * x, row.below + 3 * x)) {
            std::memset(marks + x, 0, kRun);
            continue;
        }
        for (int k = x; k < end; ++k) {
            marks[k] = combMark(row.above + 3 * k, row.middle + 3 * k, row.below + 3 * k);
            combed = combed || marks[k] != 0;
        }
    }
    return combed;
}

#if defined(VIDORA_DEINTERLACE_AVX2)

// The vector code, for processors with AVX2, chosen when the program runs.
#define VIDORA_AVX2 __attribute__((target("avx2")))

// Shuffle tables, built from what each output byte takes.
using Bytes16 = std::array<std::int8_t, 16>;
using Bytes32 = std::array<std::int8_t, 32>;
constexpr std::int8_t kZeroByte = -128; // a shuffle index that gives 0

// Four pixels of three bytes spread to four (blue, green, red, 0), in each
// half of a vector whose low half was loaded from a group of eight pixels and
// whose high half from 8 bytes further on (so pixels 4 to 7 start at byte 4).
// The pixels of a half go in the order 0, 2, 1, 3: the low and high unpacking
// below then take pixels 0 and 2, and 1 and 3, and their comb values come out
// in pixel order with no shuffling.
constexpr Bytes32 spreadTable()
{
    constexpr int order[] = {0, 2, 1, 3};
    Bytes32 t{};
    for (int i = 0; i < 32; ++i) {
        const int half = i / 16;
        const int pixel = order[i % 16 / 4];
        const int channel = i % 4;
        t[i] = channel == 3 ? kZeroByte : static_cast<std::int8_t>(4 * half + 3 * pixel + channel);
    }
    return t;
}

// A pixel's mark repeated on its three bytes, for bytes 16k to 16k + 15 of a
// run of 16 pixels.
constexpr Bytes16 expandTable(int k)
{
    Bytes16 t{};
    for (int i = 0; i < 16; ++i)
        t[i] = static_cast<std::int8_t>((16 * k + i) / 3);
    return t;
}

constexpr Bytes32 kSpread = spreadTable();
constexpr std::array<Bytes16, 3> kExpand{expandTable(0), expandTable(1), expandTable(2)};

// Pairs (upper byte, middle byte) times (w, −w): the weighted difference of a
// channel. Blue weighs 1, green 6, red 3, the fourth byte nothing.
constexpr Bytes32 kWeighted{1, -1, 6, -6, 3, -3, 0, 0, 1, -1, 6, -6, 3, -3, 0, 0,
                            1, -1, 6, -6, 3, -3, 0, 0, 1, -1, 6, -6, 3, -3, 0, 0};
constexpr Bytes32 kPlain{1, -1, 1, -1, 1, -1, 0, 0, 1, -1, 1, -1, 1, -1, 0, 0,
                         1, -1, 1, -1, 1, -1, 0, 0, 1, -1, 1, -1, 1, -1, 0, 0};

VIDORA_AVX2 inline __m256i load32(const std::int8_t *table)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(table));
}

VIDORA_AVX2 inline __m128i load16(const void *p)
{
    return _mm_loadu_si128(static_cast<const __m128i *>(p));
}

// Eight pixels of three bytes as eight of four, reading no byte past them.
VIDORA_AVX2 inline __m256i spread(const std::uint8_t *pixels, __m256i table)
{
    const __m256i both =
        _mm256_inserti128_si256(_mm256_castsi128_si256(load16(pixels)), load16(pixels + 8), 1);
    return _mm256_shuffle_epi8(both, table);
}

// The comb values of eight pixels starting at byte `at`, in 32-bit lanes, each
// all ones where above kCombThreshold.
VIDORA_AVX2 inline __m256i combed8(const RowAround &row, int at)
{
    const __m256i table = load32(kSpread.data());
    const __m256i a = spread(row.above + at, table);
    const __m256i m = spread(row.middle + at, table);
    const __m256i b = spread(row.below + at, table);
    const __m256i weighted = load32(kWeighted.data());
    const __m256i plain = load32(kPlain.data());
    // 16-bit lanes: (a − m) × weight and (b − m), two pixels a half at a time.
    const __m256i upLow = _mm256_maddubs_epi16(_mm256_unpacklo_epi8(a, m), weighted);
    const __m256i upHigh = _mm256_maddubs_epi16(_mm256_unpackhi_epi8(a, m), weighted);
    const __m256i downLow = _mm256_maddubs_epi16(_mm256_unpacklo_epi8(b, m), plain);
    const __m256i downHigh = _mm256_maddubs_epi16(_mm256_unpackhi_epi8(b, m), plain);
    // Blue + green and red + 0 in the two 32-bit lanes of a pixel: their sum
    // in the even lanes for pixels 0 and 1, in the odd ones for 2 and 3 (no
    // horizontal add: shifts and adds keep off the shuffle unit).
    const __m256i even = _mm256_madd_epi16(upLow, downLow);
    const __m256i odd = _mm256_madd_epi16(upHigh, downHigh);
    const __m256i comb =
        _mm256_blend_epi32(_mm256_add_epi32(even, _mm256_srli_epi64(even, 32)),
                           _mm256_add_epi32(odd, _mm256_slli_epi64(odd, 32)), 0xaa);
    return _mm256_cmpgt_epi32(comb, _mm256_set1_epi32(kCombThreshold));
}

// The marks of 32 pixels from pixel x, stored; non-zero when one is combed.
VIDORA_AVX2 inline __m256i mark32(const RowAround &row, int x, std::uint8_t *marks)
{
    const int at = 3 * x;
    const __m256i low = _mm256_packs_epi32(combed8(row, at), combed8(row, at + 24));
    const __m256i high = _mm256_packs_epi32(combed8(row, at + 48), combed8(row, at + 72));
    // The packs work in halves: put the groups of four back in pixel order.
    const __m256i m = _mm256_permutevar8x32_epi32(_mm256_packs_epi16(low, high),
                                                  _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(marks + x), m);
    return m;
}

// Whether a channel of the 32 pixels from pixel x may give a product above
// kCombThreshold / 10, as mayBeCombed, by a cheaper and looser test: such a
// product u × d needs u and d of one sign, so |u| + |d| = |a + b − 2m|, and
// (|u| + |d|)² ≥ 4 |u| |d| > 1200, so |a + b − 2m| ≥ 35: the middle byte lies
// at least 17 from the rounded-up mean of the others.
VIDORA_AVX2 inline bool mayBeCombed32(const RowAround &row, int x)
{
    const __m256i sixteen = _mm256_set1_epi8(16);
    __m256i any = _mm256_setzero_si256();
    for (int i = 3 * x; i < 3 * x + 96; i += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(row.above + i));
        const __m256i m = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(row.middle + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(row.below + i));
        const __m256i mean = _mm256_avg_epu8(a, b);
        const __m256i apart = _mm256_or_si256(_mm256_subs_epu8(m, mean), _mm256_subs_epu8(mean, m));
        any = _mm256_or_si256(any, _mm256_subs_epu8(apart, sixteen));
    }
    return _mm256_testz_si256(any, any) == 0;
}

VIDORA_AVX2 bool markAvx2(const RowAround &row, std::uint8_t *marks)
{
    const int w = row.width;
    if (w < 32)
        return markPortable(row, marks);
    // Still areas are skipped after a cheap test; in moving ones most runs
    // hold a combed pixel, and the test is left out after a run that did.
    bool test = true;
    __m256i any = _mm256_setzero_si256();
    // Runs of 32 pixels; the last ends at the row's end, marking some pixels
    // again as they were.
    for (int x = 0; x < w; x = x + 32 < w ? std::min(x + 32, w - 32) : w) {
        if (test && !mayBeCombed32(row, x)) {
            _mm256_storeu_si256(reinterpret_cast<__m256i *>(marks + x), _mm256_setzero_si256());
            continue;
        }
        const __m256i m = mark32(row, x, marks);
        test = _mm256_testz_si256(m, m) != 0;
        any = _mm256_or_si256(any, m);
    }
    return _mm256_testz_si256(any, any) == 0;
}

// (a + b) >> 1 byte by byte: the rounded-up mean less the bit it rounded.
VIDORA_AVX2 inline __m128i floorMean(__m128i a, __m128i b)
{
    return _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1)));
}

VIDORA_AVX2 void replaceAvx2(const RowAround &row, const std::uint8_t *marks)
{
    const int w = row.width;
    int x = 0;
    for (; x + 16 <= w; x += 16) {
        const __m128i chosen = _mm_and_si128(
            load16(marks + x), _mm_or_si128(load16(marks + x - 1), load16(marks + x + 1)));
        if (_mm_testz_si128(chosen, chosen))
            continue;
        for (int k = 0; k < 3; ++k) {
            const int at = 3 * x + 16 * k;
            const __m128i select = _mm_shuffle_epi8(chosen, load16(kExpand[k].data()));
            const __m128i mean = floorMean(load16(row.above + at), load16(row.below + at));
            __m128i *out = reinterpret_cast<__m128i *>(row.out + at);
            _mm_storeu_si128(out, _mm_blendv_epi8(_mm_loadu_si128(out), mean, select));
        }
    }
    replaceCombed(row, marks, x, w);
}

#undef VIDORA_AVX2

bool haveAvx2()
{
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}

#endif

} // namespace

int CombValue(const std::uint8_t *above, const std::uint8_t *middle, const std::uint8_t *below)
{
    return combValue(above, middle, below);
}

bool Deinterlace(ConstRgb24View source, Rgb24View dest, DeinterlaceMasks &masks,
                 DeinterlaceCode code)
{
    if (!source.valid() || !dest.valid() || !dest.sameSize(source.width, source.height))
        return false;
    const int w = source.width;
    const int h = source.height;
    if (masks.width != w || masks.height != h ||
        masks.row.size() != static_cast<std::size_t>(w) + 2 * kMargin)
        masks.resize(w, h);
    std::uint8_t *marks = masks.row.data() + kMargin;
    bool (*mark)(const RowAround &, std::uint8_t *) = markPortable;
    void (*replace)(const RowAround &, const std::uint8_t *) =
        [](const RowAround &row, const std::uint8_t *m) { replaceCombed(row, m, 0, row.width); };
#if defined(VIDORA_DEINTERLACE_AVX2)
    if (code == DeinterlaceCode::Best && haveAvx2()) {
        mark = markAvx2;
        replace = replaceAvx2;
    }
#else
    static_cast<void>(code);
#endif

    // Row by row, each copied and, when odd, treated at once: an odd row's
    // marks need only that row and the two around it, and its pixels are
    // written from the source's even rows, which no write changes; so working
    // in place gives the same result.
    const std::size_t rowBytes = static_cast<std::size_t>(w) * 3;
    for (int y = 0; y < h; ++y) {
        const RowAround row{y > 0 ? source.row(y - 1) : nullptr, source.row(y),
                            y + 1 < h ? source.row(y + 1) : nullptr, dest.row(y), w};
        if (row.out != row.middle)
            std::memmove(row.out, row.middle, rowBytes);
        if (y % 2 == 1 && y + 1 < h && mark(row, marks))
            replace(row, marks);
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
