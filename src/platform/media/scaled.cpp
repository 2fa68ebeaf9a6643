#include "platform/media/scaled.h"

namespace vidora::media {

namespace {

std::uint64_t magnitude(std::int64_t v)
{
    return v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
}

struct Product
{
    std::uint64_t high;
    std::uint64_t low;
};

// The full 128-bit product from four 32-bit by 32-bit ones.
Product multiply(std::uint64_t a, std::uint64_t b)
{
    constexpr std::uint64_t kLow32 = 0xffffffffu;
    const std::uint64_t ll = (a & kLow32) * (b & kLow32);
    const std::uint64_t lh = (a & kLow32) * (b >> 32);
    const std::uint64_t hl = (a >> 32) * (b & kLow32);
    const std::uint64_t hh = (a >> 32) * (b >> 32);
    const std::uint64_t middle = (ll >> 32) + (lh & kLow32) + (hl & kLow32);
    return {hh + (lh >> 32) + (hl >> 32) + (middle >> 32), (middle << 32) | (ll & kLow32)};
}

} // namespace

std::int64_t scaled(std::int64_t value, std::int64_t multiplier, std::int64_t divisor)
{
    const bool negative = ((value < 0) != (multiplier < 0)) != (divisor < 0);
    const std::uint64_t d = magnitude(divisor);
    const Product p = multiply(magnitude(value), magnitude(multiplier));
    // Only the quotient's low 64 bits are kept, so the high word's quotient
    // is dropped and its remainder carries into the low word's long
    // division. The remainder stays below d <= 2^63, so doubling it fits.
    std::uint64_t quotient = 0;
    if (p.high == 0) {
        quotient = p.low / d;
    } else {
        std::uint64_t remainder = p.high % d;
        for (int bit = 63; bit >= 0; --bit) {
            remainder = (remainder << 1) | ((p.low >> bit) & 1u);
            quotient <<= 1;
            if (remainder >= d) {
                remainder -= d;
                quotient |= 1u;
            }
        }
    }
    return static_cast<std::int64_t>(negative ? 0 - quotient : quotient);
}

} // namespace vidora::media
