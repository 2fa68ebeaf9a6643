#pragma once

#include <cstdint>

namespace vidora {

// Rounds to the nearest integer, halves to the even neighbour (2.5 -> 2,
// 3.5 -> 4, -2.5 -> -2). Every place the program rounds a real uses this.
// The caller keeps the value within the range of int64_t.
std::int64_t roundHalfEven(double value);

} // namespace vidora
