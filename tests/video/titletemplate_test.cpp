#include "video/filters/titletemplate.h"

#include "formats/datetime.h"
#include "video/dvfacts.h"
#include "video/filters/scenedetectcore.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

using namespace vidora;
using namespace vidora::test;

namespace {

// ---------------------------------------------------------------------------
// The template codes

TEST(TitleTemplate, FillsCodesInOrderWithoutRegardToCase)
{
    const struct
    {
        const char *name;
        QString lineTemplate;
        TitleCodes codes;
        QString expected;
    } cases[] = {
        {"every code, any case", "%D1 %d1 %D2 %d2 %T %t", {"a", "b", "c"}, "a a b b c c"},
        {"surrounding text kept",
         "On %D1 at %D2 (%T)",
         {"14/05", "10:31", "1:02:03:04"},
         "On 14/05 at 10:31 (1:02:03:04)"},
        {"no codes", "100% plain", {"a", "b", "c"}, "100% plain"},
        {"empty codes", "[%D1|%D2|%T]", {}, "[||]"},
        {"a lone %D is no code", "%D %D3", {"a", "b", "c"}, "%D %D3"},
        {"inserted text not searched for the same code", "%D1", {"%D1", "b", "c"}, "%D1"},
        {"a later code inside inserted text", "%D1", {"x%D2%t", "b", "c"}, "xbc"},
        {"an earlier code inside later text stays", "%T", {"a", "b", "%D1"}, "%D1"},
        {"percent before a code", "%%D1", {"a", "b", "c"}, "%a"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(FillTitleLine(c.lineTemplate, c.codes), c.expected) << c.name;
}

TEST(TitleTemplate, CodesOfAFrame)
{
    TincrustRec options;
    options.DateFormat1 = "yyyy-mm-dd hh.nn.ss";
    options.DateFormat2 = "dd.mm.yy";
    options.DateOffset = 1.0 / 24;
    TDvFrameInfo info;
    info.HasDate = true;
    info.RecDateTime = EncodeDateTime({{2006, 12, 31}, {23, 30, 0, 0}});
    info.HasTimecode = true;
    info.Timecode = {1, 2, 3, 4};

    TitleCodes codes = MakeTitleCodes(info, options);
    EXPECT_EQ(codes.Date1, "2007-01-01 00.30.00");
    EXPECT_EQ(codes.Date2, "01.01.07");
    EXPECT_EQ(codes.Timecode, "1:02:03:04");

    info.Timecode = {12, 0, 9, 29};
    EXPECT_EQ(MakeTitleCodes(info, options).Timecode, "12:00:09:29");

    // No date, no time code: empty texts; the other values stay ignored.
    info.HasDate = false;
    info.HasTimecode = false;
    codes = MakeTitleCodes(info, options);
    EXPECT_TRUE(codes.Date1.isEmpty());
    EXPECT_TRUE(codes.Date2.isEmpty());
    EXPECT_TRUE(codes.Timecode.isEmpty());

    // An offset that leaves the calendar gives no date text, and no error.
    info.HasDate = true;
    options.DateOffset = 1e9;
    EXPECT_TRUE(MakeTitleCodes(info, options).Date1.isEmpty());

    // The locale's short date and long time for the default formats.
    TincrustRec defaults;
    defaults.Line1 = "%D1";
    defaults.Line2 = "%D2";
    info.RecDateTime = EncodeDateTime({{2006, 5, 14}, {10, 31, 7, 0}});
    const QLocale german(QLocale::German, QLocale::Germany);
    const TitleLines lines = FillTitleLines(defaults, info, german);
    EXPECT_EQ(lines.Line1, german.toString(QDate(2006, 5, 14), QLocale::ShortFormat));
    EXPECT_TRUE(lines.Line2.startsWith("10:31:07")) << lines.Line2.toStdString();
}

TEST(TitleTemplate, ShowCountFromSecondsAndFrameDuration)
{
    const struct
    {
        std::int32_t seconds;
        std::int64_t duration;
        std::int32_t expected;
    } cases[] = {
        {5, 400000, 125}, // 25 frames a second
        {5, 333667, 150}, // 29.97: 149.85
        {1, 4000000, 2},  // 2.5, half to even
        {3, 4000000, 8},  // 7.5, half to even
        {0, 400000, 0},   //
        {5, 0, 0},        // no duration
        {5, -400000, 0},  //
        {6, 166833, 360}, // 59.94 a second: 359.6
    };
    for (const auto &c : cases)
        EXPECT_EQ(ShowCountFor(c.seconds, c.duration), c.expected)
            << c.seconds << " s at " << c.duration;
}

// ---------------------------------------------------------------------------
// The subtitle lines the detector reports

struct Segment
{
    int frames;
    QDateTime recorded; // invalid: no date
};

struct TitleCase
{
    const char *name;
    std::uint8_t when;
    std::int32_t seconds;
    std::int64_t duration;
    std::vector<Segment> segments;
    std::vector<std::string> expected; // "frame 'line 1' 'line 2'", the stop's included
};

void PrintTo(const TitleCase &c, std::ostream *os)
{
    *os << c.name;
}

QDateTime on(int year, int month, int day, int hour, int minute, int second)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second));
}

// One segment per frame, each a second after the one before.
std::vector<Segment> everySecond(int firstSecond, int count)
{
    std::vector<Segment> segments;
    for (int i = 0; i < count; ++i)
        segments.push_back({1, recordedAt(firstSecond + i)});
    return segments;
}

std::vector<Segment> join(std::vector<Segment> a, const std::vector<Segment> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::string kShown = "'Day 2006-05-14' '1:02:03:05'";

class SubtitleTriggers : public ::testing::TestWithParam<TitleCase>
{};

TEST_P(SubtitleTriggers, ReportTheLinesWhenTheyChange)
{
    const TitleCase &c = GetParam();
    DvSceneDetectCore detector;
    TincrustRec options;
    options.When = c.when;
    options.Seconds = c.seconds;
    options.Line1 = "Day %d1";
    options.Line2 = "%t";
    options.DateFormat1 = "yyyy-mm-dd";
    detector.setOptions(options);
    std::vector<std::string> events;
    detector.setOnTitle([&events](const TDvFrameInfo &info, const QString &l1, const QString &l2) {
        events.push_back(std::to_string(info.FrameNumber) + " '" + l1.toStdString() + "' '" +
                         l2.toStdString() + "'");
    });

    detector.startStreaming(c.duration);
    for (const Segment &segment : c.segments) {
        DvFacts facts;
        facts.recorded = segment.recorded;
        facts.timecodeFrames = 5;
        const DvFrame frame = buildDvFrame(facts);
        for (int i = 0; i < segment.frames; ++i)
            ASSERT_TRUE(detector.processFrame(frame.bytes()));
    }
    detector.stop();
    EXPECT_EQ(events, c.expected);
}

// ShowCount 5 (1 s at 5 frames a second) unless a row says otherwise.
// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, SubtitleTriggers, ::testing::Values(
    TitleCase{"AlwaysOnlyChanges", kShowAlways, 1, 2000000,
              {{3, recordedAt(0)}, {2, recordedAt(86400)}},
              {"0 " + kShown, "3 'Day 2006-05-15' '1:02:03:05'", "5 '' ''"}},
    TitleCase{"AlwaysWithoutDate", kShowAlways, 1, 2000000,
              {{2, recordedAt(0)}, {2, QDateTime()}},
              {"0 " + kShown, "2 'Day ' '1:02:03:05'", "4 '' ''"}},
    // Shown on ShowCount − 2 frames from the start.
    TitleCase{"AtStart", kShowAtStart, 1, 2000000, {{8, recordedAt(0)}},
              {"0 " + kShown, "3 '' ''"}},
    TitleCase{"AtStartDefaultCount", kShowAtStart, 5, 400000, {{200, recordedAt(0)}},
              {"0 " + kShown, "123 '' ''"}},
    // The first dated frame jumps from the empty date; steps of 1 s do not.
    TitleCase{"AtJumpOneSecondSteps", kShowAtJump, 1, 2000000, everySecond(0, 12),
              {"0 " + kShown, "5 '' ''"}},
    TitleCase{"AtJump3Seconds", kShowAtJump, 1, 2000000,
              join(everySecond(0, 8), everySecond(10, 8)),
              {"0 " + kShown, "5 '' ''", "8 " + kShown, "13 '' ''"}},
    TitleCase{"AtJump2SecondsIsNoJump", kShowAtJump, 1, 2000000,
              {{6, recordedAt(0)}, {3, recordedAt(2)}},
              {"0 " + kShown, "5 '' ''"}},
    TitleCase{"AtJumpBack", kShowAtJump, 1, 2000000,
              {{6, recordedAt(10)}, {2, recordedAt(9)}},
              {"0 " + kShown, "5 '' ''", "6 " + kShown, "8 '' ''"}},
    TitleCase{"AtJumpAfterUndatedFrame", kShowAtJump, 1, 2000000,
              {{6, recordedAt(0)}, {1, QDateTime()}, {1, recordedAt(0)}},
              {"0 " + kShown, "5 '' ''", "7 " + kShown, "8 '' ''"}},
    TitleCase{"AtJumpDefaultCountAtFrame500", kShowAtJump, 5, 400000,
              {{500, recordedAt(0)}, {130, recordedAt(3)}},
              {"0 " + kShown, "125 '' ''", "500 " + kShown, "625 '' ''"}},
    TitleCase{"AtNewDayAfterMidnight", kShowAtNewDay, 1, 2000000,
              {{6, on(2006, 5, 13, 23, 59, 59)}, {6, recordedAt(-10 * 3600)}},
              {"0 'Day 2006-05-13' '1:02:03:05'", "5 '' ''", "6 'Day 2006-05-14' '1:02:03:05'",
               "11 '' ''"}},
    TitleCase{"AtNewDaySameDayOfMonth", kShowAtNewDay, 1, 2000000,
              {{6, on(2006, 3, 1, 10, 0, 0)}, {2, on(2006, 4, 1, 10, 0, 0)}},
              {"0 'Day 2006-03-01' '1:02:03:05'", "5 '' ''", "6 'Day 2006-04-01' '1:02:03:05'",
               "8 '' ''"}},
    TitleCase{"AtNewDaySameDay", kShowAtNewDay, 1, 2000000,
              {{6, recordedAt(0)}, {6, recordedAt(7200)}, {6, recordedAt(0)}},
              {"0 " + kShown, "5 '' ''"}}),
    [](const ::testing::TestParamInfo<TitleCase> &caseInfo) { return std::string(caseInfo.param.name); });
// clang-format on

TEST(SubtitleShowCount, FromTheConnectionOrTheDvSystem)
{
    DvSceneDetectCore detector;
    EXPECT_EQ(detector.showCount(), DvSceneDetectCore::kDefaultShowCount);
    TincrustRec options;
    options.Seconds = 2;
    detector.setOptions(options); // no duration known yet
    EXPECT_EQ(detector.showCount(), DvSceneDetectCore::kDefaultShowCount);

    detector.startStreaming(400000);
    EXPECT_EQ(detector.showCount(), 50);
    options.Seconds = 4;
    detector.setOptions(options);
    EXPECT_EQ(detector.showCount(), 100);
    detector.stop();

    // An interleaved connection states no duration: the first frame's system
    // gives it, and the text shown from the start follows it.
    options.When = kShowAtStart;
    options.Seconds = 5;
    options.Line1 = "x";
    detector.setOptions(options);
    std::vector<std::uint32_t> changes;
    detector.setOnTitle([&changes](const TDvFrameInfo &info, const QString &, const QString &) {
        changes.push_back(info.FrameNumber);
    });
    detector.startStreaming(0);
    DvFacts facts;
    facts.standard = DvStandard::Ntsc;
    const DvFrame frame = buildDvFrame(facts);
    for (int i = 0; i < 200; ++i)
        ASSERT_TRUE(detector.processFrame(frame.bytes()));
    EXPECT_EQ(detector.frameDuration(), 333667);
    EXPECT_EQ(detector.showCount(), 150);
    EXPECT_EQ(changes, (std::vector<std::uint32_t>{0, 148}));
    detector.stop();
}

} // namespace
