#include "formats/converterror.h"
#include "formats/datetime.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using vidora::ConvertError;
using vidora::DateTimeParts;
using vidora::DateTimeValue;

constexpr double kMsPerDay = 86'400'000.0;
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

DateTimeValue at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
    return vidora::EncodeDateTime({{y, mo, d}, {h, mi, s, ms}});
}

std::string decoded(DateTimeValue value)
{
    const DateTimeParts p = vidora::DecodeDateTime(value);
    return QStringLiteral("%1-%2-%3 %4:%5:%6.%7")
        .arg(p.date.year, 4, 10, QLatin1Char('0'))
        .arg(p.date.month, 2, 10, QLatin1Char('0'))
        .arg(p.date.day, 2, 10, QLatin1Char('0'))
        .arg(p.time.hour, 2, 10, QLatin1Char('0'))
        .arg(p.time.minute, 2, 10, QLatin1Char('0'))
        .arg(p.time.second, 2, 10, QLatin1Char('0'))
        .arg(p.time.msec, 3, 10, QLatin1Char('0'))
        .toStdString();
}

TEST(DateTimeEncode, DayNumbersCountFrom18991230)
{
    const struct
    {
        int year, month, day;
        double expected;
    } cases[] = {
        {1899, 12, 30, 0},  {1899, 12, 31, 1},       {1900, 1, 1, 2},
        {1900, 2, 28, 60},  {1900, 3, 1, 61}, // 1900 has no 29 February
        {1899, 12, 29, -1}, {2000, 1, 1, 36526},     {2006, 5, 14, 38851},
        {1, 1, 1, -693593}, {9999, 12, 31, 2958465},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(vidora::EncodeDate(c.year, c.month, c.day), c.expected) << c.year;
        const vidora::DateParts back = vidora::DecodeDate(c.expected);
        EXPECT_EQ(back.year, c.year);
        EXPECT_EQ(back.month, c.month);
        EXPECT_EQ(back.day, c.day);
    }
}

// Every day of the calendar against Qt's own proleptic Gregorian calendar.
TEST(DateTimeEncode, EveryDayAgreesWithQDate)
{
    const qint64 origin = QDate(1899, 12, 30).toJulianDay();
    const qint64 last = QDate(9999, 12, 31).toJulianDay();
    for (qint64 jd = QDate(1, 1, 1).toJulianDay(); jd <= last; ++jd) {
        const QDate date = QDate::fromJulianDay(jd);
        const auto dayNumber = static_cast<double>(jd - origin);
        ASSERT_EQ(vidora::EncodeDate(date.year(), date.month(), date.day()), dayNumber)
            << date.toString(Qt::ISODate).toStdString();
        ASSERT_EQ(vidora::ToQDate(dayNumber), date) << dayNumber;
    }
}

TEST(DateTimeEncode, FieldsOutsideTheCalendarOrClockAreRefused)
{
    const struct
    {
        int year, month, day;
    } badDates[] = {
        {2006, 0, 1},  {2006, 13, 1}, {2006, 1, 0},  {2006, 1, 32}, {2006, 2, 29},
        {2004, 2, 30}, {1900, 2, 29}, {2100, 2, 29}, {2006, 4, 31}, {0, 1, 1},
        {10000, 1, 1}, {-1, 1, 1},    {2006, -1, 1}, {2006, 1, -1},
    };
    for (const auto &c : badDates) {
        DateTimeValue value = 123.0;
        EXPECT_FALSE(vidora::TryEncodeDate(c.year, c.month, c.day, value))
            << c.year << "-" << c.month << "-" << c.day;
        EXPECT_EQ(value, 123.0); // untouched
        EXPECT_THROW(vidora::EncodeDate(c.year, c.month, c.day), ConvertError);
        EXPECT_THROW(vidora::EncodeDateTime({{c.year, c.month, c.day}, {}}), ConvertError);
    }
    DateTimeValue leapDay = 0;
    EXPECT_TRUE(vidora::TryEncodeDate(2000, 2, 29, leapDay));
    EXPECT_TRUE(vidora::TryEncodeDate(2004, 2, 29, leapDay));

    const struct
    {
        int hour, minute, second, msec;
    } badTimes[] = {
        {24, 0, 0, 0}, {0, 60, 0, 0}, {0, 0, 60, 0}, {0, 0, 0, 1000},
        {-1, 0, 0, 0}, {0, -1, 0, 0}, {0, 0, -1, 0}, {0, 0, 0, -1},
    };
    for (const auto &c : badTimes) {
        DateTimeValue value = 123.0;
        EXPECT_FALSE(vidora::TryEncodeTime(c.hour, c.minute, c.second, c.msec, value))
            << c.hour << ":" << c.minute << ":" << c.second << "." << c.msec;
        EXPECT_EQ(value, 123.0);
        EXPECT_THROW(vidora::EncodeTime(c.hour, c.minute, c.second, c.msec), ConvertError);
        EXPECT_THROW(vidora::EncodeDateTime({{2006, 5, 14}, {c.hour, c.minute, c.second, c.msec}}),
                     ConvertError);
    }
}

TEST(DateTimeEncode, TimeIsTheFractionOfTheDay)
{
    EXPECT_EQ(vidora::EncodeTime(0, 0, 0), 0.0);
    EXPECT_EQ(vidora::EncodeTime(6, 0, 0), 0.25);
    EXPECT_EQ(vidora::EncodeTime(18, 0, 0), 0.75);
    EXPECT_EQ(vidora::EncodeTime(23, 59, 59, 999), (kMsPerDay - 1) / kMsPerDay);
    const vidora::TimeParts t = vidora::DecodeTime(vidora::EncodeTime(23, 59, 59, 999));
    EXPECT_EQ(t.hour, 23);
    EXPECT_EQ(t.minute, 59);
    EXPECT_EQ(t.second, 59);
    EXPECT_EQ(t.msec, 999);
}

// Before 1899-12-30 the integer part is the day and the fraction's magnitude
// the time of day.
TEST(DateTimeEncode, DaysBefore18991230CarryTheTimeAsAPositiveFraction)
{
    EXPECT_EQ(at(1899, 12, 29, 6), -1.25);
    EXPECT_EQ(at(1899, 12, 28, 18), -2.75);
    EXPECT_EQ(at(1899, 12, 30, 6), 0.25);
    EXPECT_EQ(decoded(-1.25), "1899-12-29 06:00:00.000");
    EXPECT_EQ(decoded(-0.25), "1899-12-30 06:00:00.000"); // day 0 either side
    EXPECT_EQ(decoded(-693593.5), "0001-01-01 12:00:00.000");
}

TEST(DateTimeDecode, RoundsToTheMillisecondAcrossMidnight)
{
    const struct
    {
        double value;
        const char *expected;
    } cases[] = {
        {38851 + 0.4 / kMsPerDay, "2006-05-14 00:00:00.000"},
        {38851 + 1.6 / kMsPerDay, "2006-05-14 00:00:00.002"},
        {38851 + (kMsPerDay - 0.6) / kMsPerDay, "2006-05-14 23:59:59.999"},
        // 23:59:59.9995 and later is the next midnight, never 24:00.
        {38851 + (kMsPerDay - 0.4) / kMsPerDay, "2006-05-15 00:00:00.000"},
        {std::nextafter(38852.0, 0.0), "2006-05-15 00:00:00.000"},
        {-1 - (kMsPerDay - 0.4) / kMsPerDay, "1899-12-30 00:00:00.000"},
        {std::nextafter(1.0, 0.0), "1899-12-31 00:00:00.000"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(decoded(c.value), c.expected) << c.value;
        const vidora::DateParts d = vidora::DecodeDate(c.value);
        const vidora::TimeParts t = vidora::DecodeTime(c.value);
        EXPECT_LT(t.hour, 24);
        EXPECT_EQ(QDate(d.year, d.month, d.day).toString(Qt::ISODate).toStdString(),
                  std::string(c.expected, 10));
    }
}

TEST(DateTimeDecode, ValuesOutsideTheYears1To9999AreRefused)
{
    const double valid[] = {-693593.0, -693593.99, 0.0, 2958465.0, 2958465 + 0.999};
    for (double value : valid)
        EXPECT_TRUE(vidora::IsValidDateTime(value)) << value;
    const double invalid[] = {
        kNan,
        kInf,
        -kInf,
        -693594.0,
        2958466.0,
        1e300,
        -1e300,
        2958465 + (kMsPerDay - 0.4) / kMsPerDay, // rounds to 10000-01-01
    };
    for (double value : invalid) {
        EXPECT_FALSE(vidora::IsValidDateTime(value)) << value;
        EXPECT_THROW(vidora::DecodeDateTime(value), ConvertError) << value;
        EXPECT_THROW(vidora::DecodeDate(value), ConvertError) << value;
        EXPECT_THROW(vidora::DecodeTime(value), ConvertError) << value;
        EXPECT_THROW(vidora::ToQDateTime(value), ConvertError) << value;
        EXPECT_THROW(vidora::FormatDateTime(QStringLiteral("dd"), value), ConvertError) << value;
    }
}

TEST(DateOffset, MovesAlongTheTimeLineToTheMillisecond)
{
    const double hour = 1.0 / 24;
    const struct
    {
        DateTimeValue start;
        double offset;
        const char *expected;
    } cases[] = {
        {at(2006, 5, 14, 23, 30), hour, "2006-05-15 00:30:00.000"},
        {at(2006, 5, 14, 0, 30), -hour, "2006-05-13 23:30:00.000"},
        {at(2006, 5, 14, 10), 2 * hour + 1.0 / 1440, "2006-05-14 12:01:00.000"},
        {at(2006, 5, 14, 10), 365, "2007-05-14 10:00:00.000"},
        {at(2006, 5, 14, 10), 0.4 / kMsPerDay, "2006-05-14 10:00:00.000"},
        {at(2006, 5, 14, 10), 0.6 / kMsPerDay, "2006-05-14 10:00:00.001"},
        // Across 1899-12-30, where day numbers change sign: plain addition
        // would give 1899-12-29 22:00 and 1899-12-29 01:00.
        {at(1899, 12, 29, 23), hour, "1899-12-30 00:00:00.000"},
        {at(1899, 12, 30, 0, 30), -hour, "1899-12-29 23:30:00.000"},
        {at(1899, 12, 29, 0), hour, "1899-12-29 01:00:00.000"},
        {at(1, 1, 1), 0, "0001-01-01 00:00:00.000"},
        {at(9999, 12, 31, 23), hour - 1 / kMsPerDay, "9999-12-31 23:59:59.999"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(decoded(vidora::AddDateOffset(c.start, c.offset)), c.expected)
            << c.start << " + " << c.offset;

    EXPECT_EQ(vidora::AddDateOffset(at(1899, 12, 29, 23), hour), 0.0);
    DateTimeValue value = at(2006, 5, 14);
    for (int i = 0; i < 24 * 365; ++i)
        value = vidora::AddDateOffset(value, hour);
    EXPECT_EQ(value, at(2007, 5, 14)); // no drift after a year of hours
}

TEST(DateOffset, UnusableOffsetsAndResultsOutsideTheCalendarAreRefused)
{
    const struct
    {
        DateTimeValue start;
        double offset;
    } cases[] = {
        {at(2006, 5, 14), kNan},          {at(2006, 5, 14), kInf},       {at(2006, 5, 14), 1e300},
        {at(9999, 12, 31, 23), 1.0 / 24}, {at(1, 1, 1), -1 / kMsPerDay}, {kNan, 0},
    };
    for (const auto &c : cases)
        EXPECT_THROW(vidora::AddDateOffset(c.start, c.offset), ConvertError)
            << c.start << " + " << c.offset;
}

TEST(DateTimeQt, FieldsCarryOverUnchanged)
{
    const DateTimeValue value = at(2006, 5, 14, 10, 31, 7, 45);
    const QDateTime local = vidora::ToQDateTime(value);
    EXPECT_EQ(local.timeSpec(), Qt::LocalTime);
    EXPECT_EQ(local.date(), QDate(2006, 5, 14));
    EXPECT_EQ(local.time(), QTime(10, 31, 7, 45));
    EXPECT_EQ(vidora::FromQDateTime(local), value);
    // A UTC value gives its own fields, not those of the local clock.
    EXPECT_EQ(vidora::FromQDateTime(QDateTime(QDate(2006, 5, 14), QTime(10, 31, 7, 45), Qt::UTC)),
              value);
    EXPECT_EQ(vidora::ToQDate(value), QDate(2006, 5, 14));
    EXPECT_EQ(vidora::FromQDate(QDate(2006, 5, 14)), 38851.0);
    EXPECT_EQ(vidora::ToQDateTime(-1.25).date(), QDate(1899, 12, 29));
    EXPECT_EQ(vidora::ToQDateTime(-1.25).time(), QTime(6, 0));

    EXPECT_THROW(vidora::FromQDate(QDate()), ConvertError);
    EXPECT_THROW(vidora::FromQDate(QDate(-1, 1, 1)), ConvertError);
    EXPECT_THROW(vidora::FromQDate(QDate(10000, 1, 1)), ConvertError);
    EXPECT_THROW(vidora::FromQDateTime(QDateTime()), ConvertError);
}

struct FormatCase
{
    const char *pattern;
    DateTimeValue value;
    const char *expected;
};

void expectFormats(const QLocale &locale, std::initializer_list<FormatCase> cases)
{
    for (const FormatCase &c : cases)
        EXPECT_EQ(
            vidora::FormatDateTime(QString::fromUtf8(c.pattern), c.value, locale).toStdString(),
            c.expected)
            << locale.name().toStdString() << " \"" << c.pattern << "\" " << decoded(c.value);
}

// Sunday 14 May 2006, 10:31:07.045; and the same day at other hours.
const DateTimeValue kMorning = at(2006, 5, 14, 10, 31, 7, 45);

TEST(FormatDateTime, FieldsInTheCLocale)
{
    expectFormats(QLocale::c(), {
                                    {"d/m/yyyy", kMorning, "14/5/2006"},
                                    {"dd/mm/yy", at(2006, 1, 2), "02/01/06"},
                                    {"d m y yyy", at(2006, 1, 2), "2 1 06 2006"},
                                    {"ddd dddd", kMorning, "Sun Sunday"},
                                    {"ddddd", kMorning, "14 May 2006"},
                                    {"dddddd", kMorning, "Sunday, 14 May 2006"},
                                    {"ddddddd", kMorning, "Sunday, 14 May 2006"},
                                    {"mmm mmmm", at(2006, 9, 1), "Sep September"},
                                    {"yyyy-mm-dd", kMorning, "2006-05-14"},
                                    {"h:n:s", at(2006, 5, 14, 9, 5, 3), "9:5:3"},
                                    {"hh:nn:ss", at(2006, 5, 14, 9, 5, 3), "09:05:03"},
                                    {"hhh:nnn:sss", at(2006, 5, 14, 9, 5, 3), "09:05:03"},
                                    {"z zz zzz zzzz", kMorning, "45 45 045 045"},
                                    {"t", kMorning, "10:31:07"},
                                    {"tt", kMorning, "10:31:07"},
                                    {"dddd", 0.0, "Saturday"},
                                    {"", kMorning, ""},
                                });
}

TEST(FormatDateTime, LettersInAnyCase)
{
    expectFormats(QLocale::c(), {
                                    {"DD/MM/YYYY HH:NN:SS", kMorning, "14/05/2006 10:31:07"},
                                    {"Dddd mMm", kMorning, "Sunday May"},
                                    {"HH:MM", kMorning, "10:31"},
                                    {"TT", kMorning, "10:31:07"},
                                });
}

// "m" right after an hour is minutes; only another letter field in between
// makes it a month again.
TEST(FormatDateTime, MonthAfterHourMeansMinutes)
{
    expectFormats(QLocale::c(), {
                                    {"h:m", kMorning, "10:31"},
                                    {"hh:mm:ss", kMorning, "10:31:07"},
                                    {"hh mm", kMorning, "10 31"},
                                    {"hh'h'mm", kMorning, "10h31"},
                                    {"hh\"h and \"mm", kMorning, "10h and 31"},
                                    {"h:mmmm", kMorning, "10:31"},
                                    {"hh dd mm", kMorning, "10 14 05"},
                                    {"mm hh", kMorning, "05 10"},
                                    {"hh:nn mm", kMorning, "10:31 05"},
                                    {"dd/mm/yyyy hh:mm", kMorning, "14/05/2006 10:31"},
                                });
}

TEST(FormatDateTime, QuotedTextIsCopiedWithoutTheQuotes)
{
    expectFormats(QLocale::c(), {
                                    {"'dd mm' dd", kMorning, "dd mm 14"},
                                    {"\"yyyy\"yyyy", kMorning, "yyyy2006"},
                                    {"'it''s' d", kMorning, "its 14"},
                                    {"\"it's\" d", kMorning, "it's 14"},
                                    {"d 'open to the end", kMorning, "14 open to the end"},
                                    {"''", kMorning, ""},
                                    {"d# \u00e9x", kMorning, "14# \u00e9x"},
                                });
}

TEST(FormatDateTime, TwelveHourClock)
{
    const DateTimeValue midnight = at(2006, 5, 14, 0, 5);
    const DateTimeValue noon = at(2006, 5, 14, 12, 30);
    const DateTimeValue afternoon = at(2006, 5, 14, 13, 0);
    const DateTimeValue lastMinute = at(2006, 5, 14, 23, 59);
    expectFormats(QLocale::c(), {
                                    {"h:nn am/pm", midnight, "12:05 am"},
                                    {"h:nn am/pm", noon, "12:30 pm"},
                                    {"h:nn am/pm", afternoon, "1:00 pm"},
                                    {"hh:nn am/pm", lastMinute, "11:59 pm"},
                                    {"h:nn am/pm", kMorning, "10:31 am"},
                                    {"h:nn AM/PM", afternoon, "1:00 PM"},
                                    {"h:nn Am/pM", afternoon, "1:00 pM"},
                                    {"h:nn Am/pM", midnight, "12:05 Am"},
                                    {"h a/p", midnight, "12 a"},
                                    {"h A/P", afternoon, "1 P"},
                                    {"h:mm ampm", afternoon, "1:00 PM"},
                                    {"h:mm ampm", midnight, "12:05 AM"},
                                    // A marker before the hour counts too.
                                    {"am/pm h", afternoon, "pm 1"},
                                    // A quoted marker is text; so is an "a" that starts no marker,
                                    // which ends the search.
                                    {"h 'am/pm'", afternoon, "13 am/pm"},
                                    {"h a am/pm", afternoon, "13 a pm"},
                                    // The search stops at the next hour.
                                    {"hh h am/pm", afternoon, "13 1 pm"},
                                    {"h:nn", afternoon, "13:00"},
                                });
}

TEST(FormatDateTime, LocaleTextsAndSeparatorsInGerman)
{
    const QLocale german(QLocale::German, QLocale::Germany);
    expectFormats(german, {
                              {"dd/mm/yyyy", kMorning, "14.05.2006"},
                              {"hh:nn:ss", kMorning, "10:31:07"},
                              {"ddddd", kMorning, "14.05.06"},
                              {"dddddd", kMorning, "Sonntag, 14. Mai 2006"},
                              {"ddd dddd", kMorning, "So. Sonntag"},
                              {"mmm mmmm", at(2006, 3, 1), "M\u00e4rz M\u00e4rz"},
                              {"mmm mmmm", at(2006, 12, 1), "Dez. Dezember"},
                              {"t", kMorning, "10:31"},
                              {"tt", kMorning, "10:31:07"},
                              {"ddddd tt", kMorning, "14.05.06 10:31:07"},
                              {"d mmm yyyy", kMorning, "14 Mai 2006"},
                              {"'/' d", kMorning, "/ 14"},
                          });
}

TEST(FormatDateTime, EndsOfTheCalendar)
{
    const DateTimeValue first = at(1, 1, 1);
    const DateTimeValue last = at(9999, 12, 31, 23, 59, 59, 999);
    expectFormats(
        QLocale::c(),
        {
            {"dddd dd/mm/yyyy yy hh:nn:ss.zzz", first, "Monday 01/01/0001 01 00:00:00.000"},
            {"dddd dd/mm/yyyy yy hh:nn:ss.zzz", last, "Friday 31/12/9999 99 23:59:59.999"},
            {"dddddd", last, "Friday, 31 December 9999"},
            {"ddddd", first, "1 Jan 0001"},
            {"dddd d/m/yyyy h:nn", -1.25, "Friday 29/12/1899 6:00"},
        });
    expectFormats(QLocale(QLocale::German, QLocale::Germany),
                  {
                      {"dddddd", first, "Montag, 1. Januar 0001"},
                      {"ddddd", last, "31.12.99"},
                  });
}

} // namespace
