#include "video/filters/titletemplate.h"

#include "formats/converterror.h"
#include "formats/datetime.h"
#include "formats/rounding.h"

#include <cmath>
#include <cstdio>

namespace vidora {

namespace {

constexpr double kMsPerDay = 86400000.0;
constexpr std::int64_t kJumpMs = 2000;       // a jump of more than 2 s restarts
constexpr std::int64_t kNewDayMs = 86400000; // more than a day apart restarts
constexpr double k100nsPerSecond = 10000000.0;

// b − a in whole milliseconds. Recording dates hold whole seconds, so this
// compares them exactly where the difference of two day numbers would carry
// rounding noise.
std::int64_t msFromTo(double a, double b)
{
    return static_cast<std::int64_t>(std::llround((b - a) * kMsPerDay));
}

int dayOfMonth(double value)
{
    try {
        return DecodeDate(value).day;
    } catch (const ConvertError &) {
        return 0;
    }
}

QString formatDate(const QString &pattern, double value, const QLocale &locale)
{
    try {
        return FormatDateTime(pattern, value, locale);
    } catch (const ConvertError &) {
        return {};
    }
}

} // namespace

std::int32_t ShowCountFor(std::int32_t seconds, std::int64_t frameDuration100ns)
{
    if (frameDuration100ns <= 0)
        return 0;
    return static_cast<std::int32_t>(
        roundHalfEven(seconds * k100nsPerSecond / static_cast<double>(frameDuration100ns)));
}

void ShowTrigger::advance(std::uint8_t when, std::int32_t showCount, bool hasDate,
                          double recDateTime)
{
    if (m_countdown > 0)
        --m_countdown;
    if (hasDate) {
        const std::int64_t step = msFromTo(m_previousDate, recDateTime);
        if (when == kShowAtJump && (step > kJumpMs || step < 0))
            m_countdown = showCount;
        else if (when == kShowAtNewDay && (dayOfMonth(recDateTime) != dayOfMonth(m_previousDate) ||
                                           std::llabs(step) > kNewDayMs))
            m_countdown = showCount;
    }
    m_previousDate = hasDate ? recDateTime : 0.0;
}

QString FormatTitleTimecode(const TDvTimecode &timecode)
{
    char text[32];
    std::snprintf(text, sizeof text, "%d:%.2d:%.2d:%.2d", static_cast<std::int8_t>(timecode.Hours),
                  timecode.Minutes, timecode.Seconds, timecode.Frames);
    return QString::fromLatin1(text);
}

TitleCodes MakeTitleCodes(const TDvFrameInfo &info, const TincrustRec &options,
                          const QLocale &locale)
{
    TitleCodes codes;
    if (info.HasDate) {
        try {
            const double shown = AddDateOffset(info.RecDateTime, options.DateOffset);
            codes.Date1 = formatDate(options.DateFormat1, shown, locale);
            codes.Date2 = formatDate(options.DateFormat2, shown, locale);
        } catch (const ConvertError &) {
            // An offset that leaves the calendar: no date text.
        }
    }
    if (info.HasTimecode)
        codes.Timecode = FormatTitleTimecode(info.Timecode);
    return codes;
}

QString FillTitleLine(const QString &lineTemplate, const TitleCodes &codes)
{
    QString line = lineTemplate;
    line.replace(QLatin1String("%D1"), codes.Date1, Qt::CaseInsensitive);
    line.replace(QLatin1String("%D2"), codes.Date2, Qt::CaseInsensitive);
    line.replace(QLatin1String("%T"), codes.Timecode, Qt::CaseInsensitive);
    return line;
}

TitleLines FillTitleLines(const TincrustRec &options, const TDvFrameInfo &info,
                          const QLocale &locale)
{
    if (options.Line1.isEmpty() && options.Line2.isEmpty())
        return {};
    const TitleCodes codes = MakeTitleCodes(info, options, locale);
    return {FillTitleLine(options.Line1, codes), FillTitleLine(options.Line2, codes)};
}

} // namespace vidora
