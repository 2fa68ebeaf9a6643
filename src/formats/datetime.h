#pragma once

#include <QLocale>
#include <QString>

class QDate;
class QDateTime;

namespace vidora {

// A date and time as a day number: whole days since 1899-12-30 00:00, the
// fraction the time of day. Before that day the integer part is still the day
// (counted back, so negative) and the fraction's absolute value the time:
// -1.25 is 1899-12-29 06:00. The calendar is the proleptic Gregorian one,
// years 1 to 9999. Values have millisecond resolution: decoding rounds to the
// nearest millisecond, so a time a hair before midnight reads as 00:00:00.000
// of the next day, never as 24:00.
//
// Encoding refuses fields outside the calendar or the clock and decoding
// refuses values outside years 1-9999 (or not finite); both throw
// ConvertError, the Try forms return false instead.
using DateTimeValue = double;

struct DateParts
{
    int year = 0;
    int month = 0; // 1-12
    int day = 0;   // 1-31
};

struct TimeParts
{
    int hour = 0;   // 0-23
    int minute = 0; // 0-59
    int second = 0; // 0-59
    int msec = 0;   // 0-999
};

struct DateTimeParts
{
    DateParts date;
    TimeParts time;
};

bool TryEncodeDate(int year, int month, int day, DateTimeValue &value);
DateTimeValue EncodeDate(int year, int month, int day);

// The time of day alone, a fraction of a day in [0, 1).
bool TryEncodeTime(int hour, int minute, int second, int msec, DateTimeValue &value);
DateTimeValue EncodeTime(int hour, int minute, int second, int msec = 0);

// Date and time together, with the sign convention above for days before
// 1899-12-30.
bool TryEncodeDateTime(const DateTimeParts &parts, DateTimeValue &value);
DateTimeValue EncodeDateTime(const DateTimeParts &parts);

DateParts DecodeDate(DateTimeValue value);
TimeParts DecodeTime(DateTimeValue value);
DateTimeParts DecodeDateTime(DateTimeValue value);

// True when the value decodes (finite, within years 1-9999).
bool IsValidDateTime(DateTimeValue value);

// The value moved by an offset in days (1/24 is one hour, negative goes
// back), to the nearest millisecond. The move is along the time line, so it
// crosses midnight and 1899-12-30 like a clock; plain addition of day numbers
// does not for days before 1899-12-30. Throws ConvertError when the offset is
// not finite or the result leaves years 1-9999.
DateTimeValue AddDateOffset(DateTimeValue value, double offsetDays);

// Conversions with Qt's types. The fields are carried over as they are: a
// QDateTime made here is in local time with the same wall-clock fields (a
// wall-clock time that the local zone skips at a daylight-saving change is as
// Qt resolves it), and one read here gives its own date and time fields
// whatever its time zone setting.
// Invalid or out-of-range input throws ConvertError.
QDate ToQDate(DateTimeValue value);
QDateTime ToQDateTime(DateTimeValue value);
DateTimeValue FromQDate(const QDate &date);
DateTimeValue FromQDateTime(const QDateTime &dateTime);

// The value as text after a date-time pattern, letters in any case:
//   d, dd          day of month (dd: two digits)
//   ddd, dddd      short, long day name of the locale
//   ddddd, dddddd  the locale's short, long date
//   m, mm          month (mm: two digits); minutes when they follow an h/hh
//                  with nothing but non-letters or quoted text between
//   mmm, mmmm      short, long month name of the locale
//   yy, yyyy       year in two, four digits
//   h, hh          hour (24-hour clock unless an am/pm, a/p or ampm marker
//                  comes later in the pattern before the next h, or came before)
//   n, nn          minute;   s, ss  second;   z, zzz  millisecond
//   t, tt          the locale's short, long time (without a time zone)
//   am/pm, a/p     "am"/"pm", "a"/"p" in the case written, 12-hour clock
//   ampm           the locale's own am/pm text, 12-hour clock
//   / and :        the locale's date and time separators
//   '...', "..."   copied without the quotes
// Any other character is copied. An empty pattern gives an empty text.
// Throws ConvertError for a value that does not decode.
QString FormatDateTime(const QString &pattern, DateTimeValue value,
                       const QLocale &locale = QLocale());

} // namespace vidora
