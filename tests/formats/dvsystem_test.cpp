#include "formats/dvfourcc.h"
#include "formats/dvsystem.h"

#include <gtest/gtest.h>

#include <numeric>

using namespace vidora;

namespace {

TEST(DvSystem, FourCCsOfDvVideoInAnyCase)
{
    const struct
    {
        const char *code;
        bool dv;
        bool dv25;
    } cases[] = {
        {"dvsd", true, true},    {"DVSD", true, true},   {"dsvd", true, true},
        {"CDVC", true, true},    {"cdvc", true, true},   {"dv25", true, true},
        {"dvc ", true, true},    {"DVCP", true, true},   {"dvsl", true, false},
        {"dvh1", true, false},   {"csvd", false, false}, {"dvc", false, false},
        {"dvsd ", false, false}, {"mjpg", false, false}, {"", false, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.code);
        const std::string_view text(c.code);
        EXPECT_EQ(IsDvFourCC(text), c.dv);
        if (text.size() == 4) {
            std::uint32_t stored = 0;
            for (int i = 0; i < 4; ++i)
                stored |= std::uint32_t(static_cast<unsigned char>(text[std::size_t(i)]))
                          << (8 * i);
            EXPECT_EQ(IsDvFourCC(stored), c.dv);
            EXPECT_EQ(IsDv25FourCC(stored), c.dv25);
        }
    }
}

TEST(DvSystem, LookupsFindTheSystemOrNone)
{
    EXPECT_EQ(DvSystemByFrameBytes(120000), &kDv525);
    EXPECT_EQ(DvSystemByFrameBytes(144000), &kDv625);
    EXPECT_EQ(DvSystemByFrameBytes(143999), nullptr);
    EXPECT_EQ(DvSystemByFrameBytes(0), nullptr);
    EXPECT_EQ(DvSystemByFrameDuration(333667), &kDv525);
    EXPECT_EQ(DvSystemByFrameDuration(333666), &kDv525);
    EXPECT_EQ(DvSystemByFrameDuration(400000), &kDv625);
    EXPECT_EQ(DvSystemByFrameDuration(0), nullptr);
    EXPECT_EQ(DvSystemByHeight(480), &kDv525);
    EXPECT_EQ(DvSystemByHeight(576), &kDv625);
    EXPECT_EQ(DvSystemByHeight(288), nullptr);
    EXPECT_EQ(&DvSystemByLines(true), &kDv525);
    EXPECT_EQ(&DvSystemByLines(false), &kDv625);
}

// The table's values must agree with each other: a slip in one field shows
// as a frame duration, a sample cycle or a header byte out of step.
TEST(DvSystem, TheValuesOfEachSystemAgree)
{
    for (const DvSystem &s : kDvSystems) {
        SCOPED_TRACE(s.is525 ? "525/60" : "625/50");
        // 100 ns per frame: 10^7 × den / num, rounded.
        EXPECT_EQ(s.frameDuration, (20'000'000LL * s.rate.den / s.rate.num + 1) / 2);
        // Five frames hold exactly five frame times of 48 kHz sound.
        EXPECT_EQ(std::accumulate(s.samples48k.begin(), s.samples48k.end(), 0LL) * s.rate.num,
                  48000LL * 5 * s.rate.den);
        for (const int samples : s.samples48k)
            EXPECT_GE(samples, s.minSamples[0]);
        EXPECT_EQ((s.headerSystemByte & 0x80) == 0, s.is525);
        EXPECT_EQ(s.height, s.is525 ? 480 : 576);
    }
}

} // namespace
