#pragma once

// What the codec, frame-rate, interval and time-offset dialogs make of what
// the user chose or typed, as plain functions the dialogs and the command
// line share.
#include <QLocale>
#include <QString>

#include <optional>

namespace vidora {

// The codec dialog's choices, in their order.
enum class TCodecChoice {
    Dvsd,
    Dsvd,
    Cdvc,
    Personalized,
};

// The choice that shows `codec`: "dvsd", "dsvd" and "cdvc" in any case select
// their button, any other code "personalized".
TCodecChoice CodecChoiceFor(const QString &codec);
// The four characters of a choice; for "personalized" the text padded with
// blanks and cut to four characters. None when the result is not four
// printable ASCII characters.
std::optional<QString> CodecFromChoice(TCodecChoice choice, const QString &personalized);

// The frame-rate dialog's choices.
enum class TFrequenceChoice {
    Pal,  // 25
    Ntsc, // 29.97
    Personalized,
};

// A frame rate typed in `locale`'s form; none unless it is a finite number
// above 0.
std::optional<double> FrameRateFromText(const QString &text, const QLocale &locale = QLocale());
std::optional<double> FrameRateFromChoice(TFrequenceChoice choice, const QString &personalized,
                                          const QLocale &locale = QLocale());

// The interval of the scene-cutting dialog, in seconds: the trimmed text as
// a whole number; none unless it is above 0.
std::optional<int> IntervalFromText(const QString &text);

// The text of a time offset in days, rounded to whole seconds (halves to
// even): "3 hours" when days, minutes and seconds are 0, else
// "1 days 02h 00m 00s"; a negative offset gives negative parts. `offset`
// becomes the rounded offset.
QString FormatOffsetText(double &offset);

// The time-offset dialog's simple mode shows the offset itself in whole
// hours, never a difference of hours of the day: `offset` (days) rounded to
// the nearest hour (halves to even), +1 day being 24 hours; held to
// ±kOffsetHoursLimit, and 0 when not finite.
inline constexpr int kOffsetHoursLimit = 100000;
int OffsetHours(double offset);
// The offset (days) the simple mode gives for `hours` on the spin: `current`
// itself while it shows as those hours (an offset of 1 h 30 min is kept until
// the user steps the hours), else `hours` / 24.
double SimpleModeOffset(int hours, double current);

} // namespace vidora
