#include "formats/datetime.h"

#include "formats/converterror.h"
#include "formats/rounding.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace vidora {

namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;

// Day numbers of 0001-01-01 and 9999-12-31.
constexpr std::int64_t kFirstDay = -693'593;
constexpr std::int64_t kLastDay = 2'958'465;

// Days from 1970-01-01 to 1899-12-30, the day numbers' origin.
constexpr std::int64_t kOriginFromUnixEpoch = -25'569;

constexpr std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

constexpr bool isLeapYear(int year)
{
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

constexpr int daysInMonth(int year, int month)
{
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// Proleptic Gregorian calendar to and from a count of days, after Howard
// Hinnant's "chrono-compatible low-level date algorithms" (eras of 400 years
// starting on 1 March, so the leap day ends each year).
constexpr std::int64_t dayNumberOf(int year, int month, int day)
{
    const std::int64_t y = year - (month <= 2 ? 1 : 0);
    const std::int64_t era = floorDiv(y, 400);
    const std::int64_t yearOfEra = y - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const std::int64_t fromUnixEpoch = era * 146'097 + dayOfEra - 719'468;
    return fromUnixEpoch - kOriginFromUnixEpoch;
}

constexpr DateParts dateOf(std::int64_t dayNumber)
{
    const std::int64_t z = dayNumber + kOriginFromUnixEpoch + 719'468;
    const std::int64_t era = floorDiv(z, 146'097);
    const std::int64_t dayOfEra = z - era * 146'097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const int year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
    const int day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    return {year, month, day};
}

static_assert(dayNumberOf(1899, 12, 30) == 0);
static_assert(dayNumberOf(1, 1, 1) == kFirstDay);
static_assert(dayNumberOf(9999, 12, 31) == kLastDay);
static_assert(dateOf(kFirstDay).year == 1 && dateOf(kLastDay).day == 31);

// A value as milliseconds since 1899-12-30 00:00 along the time line, or
// false when it is not a date of years 1-9999.
bool toTimeline(DateTimeValue value, std::int64_t &ms)
{
    // Checked before any conversion to an integer.
    if (!std::isfinite(value) || !(value > static_cast<double>(kFirstDay - 1)) ||
        !(value < static_cast<double>(kLastDay + 1)))
        return false;
    const double wholeDays = std::trunc(value);
    const double dayFraction = std::fabs(value - wholeDays);
    const std::int64_t t = static_cast<std::int64_t>(wholeDays) * kMsPerDay +
                           roundHalfEven(dayFraction * static_cast<double>(kMsPerDay));
    if (t < kFirstDay * kMsPerDay || t >= (kLastDay + 1) * kMsPerDay)
        return false; // rounded past the last millisecond of 9999
    ms = t;
    return true;
}

DateTimeValue fromTimeline(std::int64_t ms)
{
    const std::int64_t day = floorDiv(ms, kMsPerDay);
    const double fraction =
        static_cast<double>(ms - day * kMsPerDay) / static_cast<double>(kMsPerDay);
    return day >= 0 ? static_cast<double>(day) + fraction : static_cast<double>(day) - fraction;
}

ConvertError invalidValue(DateTimeValue value)
{
    return ConvertError(QStringLiteral("%1 is not a date and time of the years 1 to 9999")
                            .arg(value, 0, 'g', 17)
                            .toStdString());
}

std::int64_t timelineOf(DateTimeValue value)
{
    std::int64_t ms = 0;
    if (!toTimeline(value, ms))
        throw invalidValue(value);
    return ms;
}

DateTimeParts partsOf(std::int64_t timeline)
{
    const std::int64_t day = floorDiv(timeline, kMsPerDay);
    const auto ms = static_cast<int>(timeline - day * kMsPerDay);
    return {dateOf(day), {ms / 3'600'000, ms / 60'000 % 60, ms / 1000 % 60, ms % 1000}};
}

bool validDate(int year, int month, int day)
{
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           day <= daysInMonth(year, month);
}

bool validTime(int hour, int minute, int second, int msec)
{
    return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60 &&
           msec >= 0 && msec < 1000;
}

std::int64_t msOfDay(const TimeParts &t)
{
    return ((std::int64_t{t.hour} * 60 + t.minute) * 60 + t.second) * 1000 + t.msec;
}

ConvertError dateError(int year, int month, int day)
{
    return ConvertError(QStringLiteral("%1-%2-%3 is not a date of the years 1 to 9999")
                            .arg(year)
                            .arg(month)
                            .arg(day)
                            .toStdString());
}

ConvertError timeError(int hour, int minute, int second, int msec)
{
    return ConvertError(QStringLiteral("%1:%2:%3.%4 is not a time of day")
                            .arg(hour)
                            .arg(minute)
                            .arg(second)
                            .arg(msec)
                            .toStdString());
}

} // namespace

bool TryEncodeDate(int year, int month, int day, DateTimeValue &value)
{
    if (!validDate(year, month, day))
        return false;
    value = static_cast<double>(dayNumberOf(year, month, day));
    return true;
}

DateTimeValue EncodeDate(int year, int month, int day)
{
    DateTimeValue value = 0;
    if (!TryEncodeDate(year, month, day, value))
        throw dateError(year, month, day);
    return value;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, DateTimeValue &value)
{
    if (!validTime(hour, minute, second, msec))
        return false;
    value =
        static_cast<double>(msOfDay({hour, minute, second, msec})) / static_cast<double>(kMsPerDay);
    return true;
}

DateTimeValue EncodeTime(int hour, int minute, int second, int msec)
{
    DateTimeValue value = 0;
    if (!TryEncodeTime(hour, minute, second, msec, value))
        throw timeError(hour, minute, second, msec);
    return value;
}

bool TryEncodeDateTime(const DateTimeParts &parts, DateTimeValue &value)
{
    const DateParts &d = parts.date;
    const TimeParts &t = parts.time;
    if (!validDate(d.year, d.month, d.day) || !validTime(t.hour, t.minute, t.second, t.msec))
        return false;
    value = fromTimeline(dayNumberOf(d.year, d.month, d.day) * kMsPerDay + msOfDay(t));
    return true;
}

DateTimeValue EncodeDateTime(const DateTimeParts &parts)
{
    DateTimeValue value = 0;
    if (TryEncodeDateTime(parts, value))
        return value;
    const DateParts &d = parts.date;
    const TimeParts &t = parts.time;
    if (!validDate(d.year, d.month, d.day))
        throw dateError(d.year, d.month, d.day);
    throw timeError(t.hour, t.minute, t.second, t.msec);
}

DateParts DecodeDate(DateTimeValue value)
{
    return partsOf(timelineOf(value)).date;
}

TimeParts DecodeTime(DateTimeValue value)
{
    return partsOf(timelineOf(value)).time;
}

DateTimeParts DecodeDateTime(DateTimeValue value)
{
    return partsOf(timelineOf(value));
}

bool IsValidDateTime(DateTimeValue value)
{
    std::int64_t ms = 0;
    return toTimeline(value, ms);
}

DateTimeValue AddDateOffset(DateTimeValue value, double offsetDays)
{
    const std::int64_t start = timelineOf(value);
    // More than the whole calendar is out of range whatever the start.
    constexpr double kSpan = static_cast<double>((kLastDay - kFirstDay + 1) * kMsPerDay);
    const double offsetMs = offsetDays * static_cast<double>(kMsPerDay);
    if (!std::isfinite(offsetMs) || std::fabs(offsetMs) > kSpan)
        throw ConvertError(
            QStringLiteral("%1 days is not a usable offset").arg(offsetDays).toStdString());
    const std::int64_t end = start + roundHalfEven(offsetMs);
    if (end < kFirstDay * kMsPerDay || end >= (kLastDay + 1) * kMsPerDay)
        throw ConvertError(QStringLiteral("%1 moved by %2 days leaves the years 1 to 9999")
                               .arg(value, 0, 'g', 17)
                               .arg(offsetDays)
                               .toStdString());
    return fromTimeline(end);
}

QDate ToQDate(DateTimeValue value)
{
    const DateParts d = DecodeDate(value);
    return QDate(d.year, d.month, d.day);
}

QDateTime ToQDateTime(DateTimeValue value)
{
    const DateTimeParts p = DecodeDateTime(value);
    return QDateTime(QDate(p.date.year, p.date.month, p.date.day),
                     QTime(p.time.hour, p.time.minute, p.time.second, p.time.msec), Qt::LocalTime);
}

DateTimeValue FromQDate(const QDate &date)
{
    if (!date.isValid())
        throw ConvertError("an invalid date has no day number");
    return EncodeDate(date.year(), date.month(), date.day());
}

DateTimeValue FromQDateTime(const QDateTime &dateTime)
{
    if (!dateTime.isValid())
        throw ConvertError("an invalid date and time has no day number");
    const QDate date = dateTime.date();
    const QTime time = dateTime.time();
    return EncodeDateTime({{date.year(), date.month(), date.day()},
                           {time.hour(), time.minute(), time.second(), time.msec()}});
}

namespace {

// The first character of a Qt date or time format that is neither a field
// letter, a blank nor quoted: the locale's separator ("d.M.yy" gives ".").
QChar separatorOf(const QString &format, QChar fallback)
{
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        else if (!quoted && !c.isLetter() && !c.isSpace())
            return c;
    }
    return fallback;
}

// A locale's time format without its time-zone field: a time of day alone
// has no zone, and the text must not depend on the machine's.
QString withoutTimeZone(const QString &format)
{
    QString out;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (quoted || c != QLatin1Char('t'))
            out += c;
    }
    return out.trimmed();
}

QString padded(int value, qsizetype digits)
{
    return QString::number(value).rightJustified(digits, QLatin1Char('0'));
}

char16_t upperAscii(QChar c)
{
    const char16_t u = c.unicode();
    return u >= u'a' && u <= u'z' ? static_cast<char16_t>(u - (u'a' - u'A')) : u;
}

bool isUpperAscii(char16_t c)
{
    return c >= u'A' && c <= u'Z';
}

bool startsWithAt(const QString &text, qsizetype at, QLatin1String what)
{
    return QStringView(text).mid(at).startsWith(what, Qt::CaseInsensitive);
}

// The classic runtime's pattern walk: one token at a time, its letter's run
// length choosing the form.
class PatternFormatter
{
public:
    PatternFormatter(const QString &pattern, std::int64_t timeline, const QLocale &locale)
        : m_pattern(pattern), m_locale(locale), m_parts(partsOf(timeline)),
          m_dayNumber(floorDiv(timeline, kMsPerDay))
    {}

    QString run()
    {
        while (m_pos < m_pattern.size())
            step();
        return m_out;
    }

private:
    const QString &m_pattern;
    const QLocale &m_locale;
    const DateTimeParts m_parts;
    const std::int64_t m_dayNumber;
    qsizetype m_pos = 0;
    QChar m_start;
    char16_t m_lastLetter = u' ';
    bool m_twelveHour = false; // set by an am/pm marker seen before or found ahead
    QString m_out;

    // The length of the run of the token's letter in either case, consuming it.
    qsizetype runLength()
    {
        qsizetype count = 1;
        while (m_pos < m_pattern.size() && upperAscii(m_pattern[m_pos]) == upperAscii(m_start)) {
            ++m_pos;
            ++count;
        }
        return count;
    }

    QDate qDate() const { return QDate(m_parts.date.year, m_parts.date.month, m_parts.date.day); }
    QTime qTime() const
    {
        return QTime(m_parts.time.hour, m_parts.time.minute, m_parts.time.second,
                     m_parts.time.msec);
    }

    int dayOfWeek() const // 1 Monday .. 7 Sunday; day 0 was a Saturday
    {
        return static_cast<int>((m_dayNumber % 7 + 7 + 5) % 7) + 1;
    }

    // Looks ahead from the hour for a 12-hour marker, up to the next hour.
    void lookAheadForMarker()
    {
        bool quoted = false;
        for (qsizetype p = m_pos; p < m_pattern.size(); ++p) {
            const char16_t c = upperAscii(m_pattern[p]);
            if (c == u'\'' || c == u'"') {
                quoted = !quoted;
            } else if (quoted) {
                continue;
            } else if (c == u'A') {
                if (startsWithAt(m_pattern, p, QLatin1String("am/pm")) ||
                    startsWithAt(m_pattern, p, QLatin1String("a/p")) ||
                    startsWithAt(m_pattern, p, QLatin1String("ampm")))
                    m_twelveHour = true;
                return;
            } else if (c == u'H') {
                return;
            }
        }
    }

    void hour()
    {
        const qsizetype count = std::min<qsizetype>(runLength(), 2);
        lookAheadForMarker();
        int h = m_parts.time.hour;
        if (m_twelveHour)
            h = h == 0 ? 12 : (h > 12 ? h - 12 : h);
        m_out += padded(h, count);
    }

    void marker()
    {
        const qsizetype at = m_pos - 1;
        const bool pm = m_parts.time.hour >= 12;
        if (startsWithAt(m_pattern, at, QLatin1String("am/pm"))) {
            m_out += m_pattern.mid(pm ? at + 3 : at, 2);
            m_pos = at + 5;
        } else if (startsWithAt(m_pattern, at, QLatin1String("a/p"))) {
            m_out += m_pattern[pm ? at + 2 : at];
            m_pos = at + 3;
        } else if (startsWithAt(m_pattern, at, QLatin1String("ampm"))) {
            m_out += pm ? m_locale.pmText() : m_locale.amText();
            m_pos = at + 4;
        } else {
            m_out += m_start;
            return;
        }
        m_twelveHour = true;
    }

    void quoted()
    {
        const qsizetype close = m_pattern.indexOf(m_start, m_pos);
        const qsizetype end = close < 0 ? m_pattern.size() : close;
        m_out += QStringView(m_pattern).mid(m_pos, end - m_pos);
        m_pos = close < 0 ? end : close + 1;
    }

    QString localeTime(QLocale::FormatType type) const
    {
        return m_locale.toString(qTime(), withoutTimeZone(m_locale.timeFormat(type)));
    }

    void step()
    {
        m_start = m_pattern[m_pos++];
        char16_t token = upperAscii(m_start);
        if (isUpperAscii(token)) {
            if (token == u'M' && m_lastLetter == u'H')
                token = u'N';
            m_lastLetter = token;
        }
        const DateParts &d = m_parts.date;
        const TimeParts &t = m_parts.time;
        switch (token) {
        case u'Y':
            m_out += runLength() <= 2 ? padded(d.year % 100, 2) : padded(d.year, 4);
            break;
        case u'M': {
            const qsizetype count = runLength();
            if (count <= 2)
                m_out += padded(d.month, count);
            else
                m_out += m_locale.monthName(d.month, count == 3 ? QLocale::ShortFormat
                                                                : QLocale::LongFormat);
            break;
        }
        case u'D': {
            const qsizetype count = runLength();
            if (count <= 2)
                m_out += padded(d.day, count);
            else if (count <= 4)
                m_out += m_locale.dayName(dayOfWeek(),
                                          count == 3 ? QLocale::ShortFormat : QLocale::LongFormat);
            else
                m_out += m_locale.toString(qDate(),
                                           count == 5 ? QLocale::ShortFormat : QLocale::LongFormat);
            break;
        }
        case u'H':
            hour();
            break;
        case u'N':
            m_out += padded(t.minute, std::min<qsizetype>(runLength(), 2));
            break;
        case u'S':
            m_out += padded(t.second, std::min<qsizetype>(runLength(), 2));
            break;
        case u'Z':
            m_out += padded(t.msec, std::min<qsizetype>(runLength(), 3));
            break;
        case u'T':
            m_out += localeTime(runLength() == 1 ? QLocale::ShortFormat : QLocale::LongFormat);
            break;
        case u'A':
            marker();
            break;
        case u'/':
            m_out += separatorOf(m_locale.dateFormat(QLocale::ShortFormat), QLatin1Char('/'));
            break;
        case u':':
            m_out += separatorOf(m_locale.timeFormat(QLocale::ShortFormat), QLatin1Char(':'));
            break;
        case u'\'':
        case u'"':
            quoted();
            break;
        default:
            m_out += m_start;
            break;
        }
    }
};

} // namespace

QString FormatDateTime(const QString &pattern, DateTimeValue value, const QLocale &locale)
{
    if (pattern.isEmpty())
        return {};
    return PatternFormatter(pattern, timelineOf(value), locale).run();
}

} // namespace vidora
