#pragma once

#include <cstdint>

namespace vidora::media {

// value * multiplier / divisor, the product taken in 128 bits so that 64-bit
// positions times rates (100 ns units times a stream's scale) never overflow
// before the division. Truncates toward zero like integer division; a result
// past the 64-bit range keeps its low 64 bits. `divisor` must not be 0.
std::int64_t scaled(std::int64_t value, std::int64_t multiplier, std::int64_t divisor);

} // namespace vidora::media
