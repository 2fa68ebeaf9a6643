#include "formats/rounding.h"

#include <cmath>

namespace vidora {

std::int64_t roundHalfEven(double value)
{
    const double down = std::floor(value);
    const double diff = value - down;
    double result = down;
    if (diff > 0.5)
        result = down + 1.0;
    else if (diff == 0.5)
        result = std::fmod(down, 2.0) == 0.0 ? down : down + 1.0;
    return static_cast<std::int64_t>(result);
}

} // namespace vidora
