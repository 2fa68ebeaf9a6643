#include "formats/converterror.h"
#include "formats/dsfunctions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace {

using vidora::DottedVersionToDirectXText;
using vidora::FormatDurationFrames;
using vidora::FormatDurationMs;
using vidora::FrameToSrtTime;
using vidora::FrameToTimecodeText;

constexpr std::int64_t kSecond = 10'000'000;
constexpr std::int64_t kPal = 400'000;  // 25 frames a second
constexpr std::int64_t kNtsc = 333'667; // 30000/1001
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(FormatDurationFrames, LeadsWithTheLargestUnitThatIsNotZero)
{
    const struct
    {
        std::int64_t duration;
        std::int64_t frameTime;
        const char *expected;
    } cases[] = {
        {0, kPal, "0fr"},
        {24 * kPal, kPal, "24fr"},
        {25'000'000, kPal, "2s 12fr"},
        {kSecond, kPal, "1s 00fr"},
        {59 * kSecond + 24 * kPal, kPal, "59s 24fr"},
        {60 * kSecond, kPal, "1mn 00s 00fr"},
        {(61 * 60 + 5) * kSecond + 3 * kPal, kPal, "1h 01mn 05s 03fr"},
        {36'000'000'000, kPal, "1h 00mn 00s 00fr"},
        {100 * 3600 * kSecond, kPal, "100h 00mn 00s 00fr"},
        // Only whole frames count: 399 999 units are no frame yet.
        {kPal - 1, kPal, "0fr"},
        {29 * kNtsc, kNtsc, "29fr"},
        {kSecond + 29 * kNtsc, kNtsc, "1s 29fr"},
        // A frame time shorter than 1/100 s gives three-digit frame counts.
        {kSecond - 1, 10'000, "999fr"},
        {kSecond + 123 * 10'000, 10'000, "1s 123fr"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(FormatDurationFrames(c.duration, c.frameTime).toStdString(), c.expected)
            << c.duration << " / " << c.frameTime;
}

// A video without a frame time must not stop the program: no frames counted.
TEST(FormatDurationFrames, FrameTimeOfZeroOrBelowCountsNoFrames)
{
    EXPECT_EQ(FormatDurationFrames(25'000'000, 0).toStdString(), "2s 00fr");
    EXPECT_EQ(FormatDurationFrames(kPal * 3, 0).toStdString(), "0fr");
    EXPECT_EQ(FormatDurationFrames(25'000'000, -kPal).toStdString(), "2s 00fr");
}

TEST(FormatDurations, NegativeDurationsAreTheMagnitudeAfterAMinus)
{
    EXPECT_EQ(FormatDurationFrames(-25'000'000, kPal).toStdString(), "-2s 12fr");
    EXPECT_EQ(FormatDurationFrames(-kPal, kPal).toStdString(), "-1fr");
    EXPECT_EQ(FormatDurationMs(-615'000'000).toStdString(), "-1mn 01s 500ms");
    // The most negative duration has no positive counterpart in 64 bits.
    const std::int64_t lowest = std::numeric_limits<std::int64_t>::min();
    EXPECT_EQ(FormatDurationFrames(lowest, kPal).toStdString(),
              "-256204778h 48mn 05s 11fr"); // 922 337 203 685.4775808 s
    EXPECT_EQ(FormatDurationMs(lowest).toStdString(), "-256204778h 48mn 05s 477ms");
}

TEST(FormatDurationMs, LeadsWithTheLargestUnitThatIsNotZero)
{
    const struct
    {
        std::int64_t duration;
        const char *expected;
    } cases[] = {
        {0, "0milliseconds"},
        {9'999, "0milliseconds"},
        {10'000, "1milliseconds"},
        {9'990'000, "999milliseconds"},
        {kSecond + 40'000, "1s 004ms"},
        {615'000'000, "1mn 01s 500ms"},
        {(2 * 3600 + 3 * 60 + 4) * kSecond + 50'000, "2h 03mn 04s 005ms"},
        {3600 * kSecond, "1h 00mn 00s 000ms"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(FormatDurationMs(c.duration).toStdString(), c.expected) << c.duration;
}

TEST(FrameToTimecodeText, SecondsAndFramesThenMinutesThenHours)
{
    const struct
    {
        std::int64_t frame;
        double fps;
        const char *expected;
    } cases[] = {
        {0, 25, "00:00"},
        {24, 25, "00:24"},
        {25, 25, "01:00"},
        {1500, 25, "01:00:00"},
        {1499, 25, "59:24"},
        {1500 * 60 - 1, 25, "59:59:24"},
        {90000, 25, "1:00:00:00"},
        {90000 * 30, 25, "30:00:00:00"},
        // 29.97: the seconds come from the real rate, the frames are what is
        // left over, rounded.
        {1799, 29.97, "01:00:01"},
        {29, 29.97, "00:29"},
        {30, 29.97, "01:00"},
        {107892, 29.97, "1:00:00:00"},
        // A left-over half frame rounds to the even neighbour.
        {3, 2.5, "01:00"},
        {4, 2.5, "01:02"},
        {std::numeric_limits<std::int32_t>::max(), 25, "23860:55:45:22"},
        // The longest files' positions, past 2^31 frames.
        {std::int64_t{1} << 31, 25, "23860:55:45:23"},
        {std::numeric_limits<std::uint32_t>::max(), 25, "47721:51:31:20"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(FrameToTimecodeText(c.frame, c.fps).toStdString(), c.expected)
            << c.frame << " at " << c.fps;
}

TEST(FrameToTimecodeText, RatesThatCannotTimeAFrameGiveQuestionMarks)
{
    for (double fps : {0.0, -0.0, -25.0, kNan, kInf, -kInf, 1e-300})
        EXPECT_EQ(FrameToTimecodeText(10, fps).toStdString(), "??") << fps;
    // Frame 0 is at 0 for any usable rate, however slow.
    EXPECT_EQ(FrameToTimecodeText(0, 1e-300).toStdString(), "00:00");
}

TEST(FrameToTimecodeText, NegativePositionsAreTheMagnitudeAfterAMinus)
{
    EXPECT_EQ(FrameToTimecodeText(-1, 25).toStdString(), "-00:01");
    EXPECT_EQ(FrameToTimecodeText(-1500, 25).toStdString(), "-01:00:00");
    EXPECT_EQ(FrameToTimecodeText(std::numeric_limits<std::int32_t>::min(), 25).toStdString(),
              "-23860:55:45:23");
}

TEST(FrameToSrtTime, MillisecondsRoundedHalvesToEven)
{
    const struct
    {
        std::int32_t frame;
        double fps;
        const char *expected;
    } cases[] = {
        {0, 25, "00:00:00,000"},       {1, 25, "00:00:00,040"},
        {90000, 25, "01:00:00,000"},   {90000 * 100, 25, "100:00:00,000"},
        {1, 29.97, "00:00:00,033"},    // 33.367 ms
        {2, 29.97, "00:00:00,067"},    // 66.733 ms
        {1, 2000, "00:00:00,000"},     // 0.5 ms: to the even 0
        {3, 2000, "00:00:00,002"},     // 1.5 ms: to the even 2
        {5, 2000, "00:00:00,002"},     // 2.5 ms: to the even 2
        {1799, 29.97, "00:01:00,027"}, // 60 026.693 ms
    };
    for (const auto &c : cases)
        EXPECT_EQ(FrameToSrtTime(c.frame, c.fps).toStdString(), c.expected)
            << c.frame << " at " << c.fps;
}

TEST(FrameToSrtTime, FrameNumberIsReadAsUnsigned)
{
    // -1 is frame 4 294 967 295: 171 798 691.8 s at 25 frames a second.
    EXPECT_EQ(FrameToSrtTime(-1, 25).toStdString(), "47721:51:31,800");
}

TEST(FrameToSrtTime, RatesThatCannotTimeAFrameGiveZero)
{
    for (double fps : {0.0, -0.0, -25.0, kNan, kInf, -kInf, 1e-300})
        EXPECT_EQ(FrameToSrtTime(1500, fps).toStdString(), "00:00:00,000") << fps;
}

TEST(WaveFormatTagName, NamesTheTagsOfTheTableAndNothingElse)
{
    const struct
    {
        std::uint16_t tag;
        const char *expected;
    } cases[] = {
        {0x0001, "PCM"},     {0x0002, "ADPCM"},   {0x0003, "IEEE_FLOAT"}, {0x0011, "DVI_ADPCM"},
        {0x0050, "MPEG"},    {0x0055, "MP3"},     {0x0062, "VOXWARE"},    {0x0075, "VOXWARE"},
        {0x1400, "NORRIS"},  {0x0000, "Unknown"}, {0x0004, "Unknown"},    {0x00FF, "Unknown"},
        {0xFFFE, "Unknown"}, {0xFFFF, "Unknown"}, {0x1401, "Unknown"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(vidora::WaveFormatTagName(c.tag).toStdString(), c.expected) << c.tag;

    int named = 0;
    for (unsigned tag = 0; tag <= 0xFFFF; ++tag)
        named += vidora::WaveFormatTagName(static_cast<std::uint16_t>(tag)) != "Unknown";
    EXPECT_EQ(named, 64);
}

TEST(IsAviFile, OnlyTheExtensionAviInAnyCase)
{
    const struct
    {
        const char *name;
        bool expected;
    } cases[] = {
        {"clip.avi", true},         {"CLIP.AVI", true},      {"a.b.avi", true},
        {"/home/me/v.Avi", true},   {"clip.avi.bak", false}, {"clip", false},
        {"clip.avix", false},       {"clipavi", false},      {"", false},
        {"/films.avi/clip", false}, {"clip.mov", false},     {".avi", true},
    };
    for (const auto &c : cases)
        EXPECT_EQ(vidora::IsAviFile(QString::fromUtf8(c.name)), c.expected) << c.name;
}

TEST(DottedVersionToDirectXText, MajorMinorAndTheLetterOfTheLastDigit)
{
    const struct
    {
        const char *dotted;
        const char *expected;
    } cases[] = {
        {"4.09.00.0904", "9.0c"},  {"4.09.00.0900", "9.0 "}, {"4.08.01.0881", "8.1a"},
        {"4.09.00.0902", "9.0b"},  {"4.09.00.0903", "9.0c"}, {"4.07.00.0700", "7.0 "},
        {"4.10.02.0105", "10.2e"}, {"4.9.0.", "9.0 "},
    };
    for (const auto &c : cases)
        EXPECT_EQ(DottedVersionToDirectXText(QString::fromUtf8(c.dotted)).toStdString(), c.expected)
            << c.dotted;
}

TEST(DottedVersionToDirectXText, MissingOrNonNumericFieldsAreConversionErrors)
{
    for (const char *dotted : {"Error", "", "4", "4.09", "4.09.00", "4.x.00.0904", "4.09.y.0904"})
        EXPECT_THROW(DottedVersionToDirectXText(QString::fromUtf8(dotted)), vidora::ConvertError)
            << dotted;
}

} // namespace
