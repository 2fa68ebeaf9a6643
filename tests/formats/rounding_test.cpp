#include "formats/rounding.h"

#include <gtest/gtest.h>

namespace {

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour)
{
    const struct
    {
        double value;
        std::int64_t expected;
    } cases[] = {
        {0.5, 0},
        {1.5, 2},
        {2.5, 2},
        {-0.5, 0},
        {-1.5, -2},
        {-2.5, -2},
        {2.4999, 2},
        {2.5001, 3},
        {-2.6, -3},
        {33366.5, 33366},
        {33367.5, 33368},
        {1e6 / 29.97, 33367},
        {1e6 / 25.0, 40000},
        {0.0, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(vidora::roundHalfEven(c.value), c.expected) << c.value;
}

} // namespace
