#include "platform/media/scaled.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using vidora::media::scaled;

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

// Products past 64 bits whose quotient fits, with the exact results.
TEST(Scaled, LargeProductsGiveTheExactQuotient)
{
    struct Case
    {
        std::int64_t value, multiplier, divisor, expected;
    };
    const Case cases[] = {
        {7, 3, 2, 10}, // 10.5, truncated
        {-7, 3, 2, -10},
        {7, -3, 2, -10},
        {7, 3, -2, -10},
        // frame 10^12 at 30000/1001 frames a second, in 100 ns units
        {1'000'000'000'000, 10'000'000LL * 1001, 30000, 333'666'666'666'666'666},
        {-1'000'000'000'000, 10'000'000LL * 1001, 30000, -333'666'666'666'666'666},
        // 80 billion seconds of 48 kHz stereo 16-bit audio, in bytes
        {800'000'000'000'000'000, 192000, 10'000'000, 15'360'000'000'000'000},
        {kMax, kMax, kMax, kMax},
        {kMax, 3, 4, 6'917'529'027'641'081'855},
        {kMin, 3, 4, -6'917'529'027'641'081'856},
        {kMin, 1, 1, kMin},
        // the largest scale and rate a stream header holds
        {kMax, 10'000'000LL * 4294967295, 4294967295LL * 10'000'000, kMax},
        {4294967295LL * 10'000'000, 4294967295, 4294967295, 4294967295LL * 10'000'000},
    };
    for (const Case &c : cases)
        EXPECT_EQ(scaled(c.value, c.multiplier, c.divisor), c.expected)
            << c.value << " * " << c.multiplier << " / " << c.divisor;
}

#ifdef __SIZEOF_INT128__
// Every combination of edge values against the compiler's 128-bit arithmetic,
// results past 64 bits included (both keep the low 64 bits).
TEST(Scaled, MatchesOneHundredTwentyEightBitArithmetic)
{
    const std::int64_t values[] = {0,
                                   1,
                                   -1,
                                   2,
                                   3,
                                   25,
                                   1001,
                                   30000,
                                   192000,
                                   10'000'000,
                                   4294967295,
                                   4294967296,
                                   -4294967296,
                                   10'000'000LL * 4294967295,
                                   1'000'000'000'000'000'007,
                                   -1'000'000'000'000'000'007,
                                   kMax / 3,
                                   kMax - 1,
                                   kMax,
                                   kMin + 1,
                                   kMin};
    for (const std::int64_t value : values)
        for (const std::int64_t multiplier : values)
            for (const std::int64_t divisor : values) {
                if (divisor == 0)
                    continue;
                const auto exact =
                    static_cast<std::int64_t>(static_cast<__int128>(value) * multiplier / divisor);
                ASSERT_EQ(scaled(value, multiplier, divisor), exact)
                    << value << " * " << multiplier << " / " << divisor;
            }
}
#endif

} // namespace
