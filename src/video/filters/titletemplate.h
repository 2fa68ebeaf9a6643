#pragma once

// When the date text of a frame is shown, and what it says. Shared by the
// date-based scene detector (subtitle lines) and the date overlay filter
// (burnt-in text), which must agree frame for frame.
//
// Per frame, a filter calls ShowTrigger::advance, then, when shown(), builds
// the two lines with FillTitleLines:
//
//     trigger.advance(options.When, showCount, info.HasDate, info.RecDateTime);
//     if (trigger.shown(options.When)) {
//         const TitleLines lines = FillTitleLines(options, info);
//         ...
//     }
//
// At the start of streaming (and, for the overlay, on a change of display
// mode) it calls trigger.restart(showCount). ShowCountFor turns the options'
// Seconds into a frame count once the frame duration is known.
#include "settings/incrustrec.h"
#include "video/filters/dvframeinfo.h"

#include <QLocale>
#include <QString>

#include <cstdint>

namespace vidora {

// Values of TincrustRec::When.
inline constexpr std::uint8_t kShowAlways = 0;
inline constexpr std::uint8_t kShowAtStart = 1;  // for ShowCount frames from the start
inline constexpr std::uint8_t kShowAtJump = 2;   // again after each jump of the recording time
inline constexpr std::uint8_t kShowAtNewDay = 3; // again after each change of day

// The number of frames the text stays shown: seconds × 10^7 ÷ frame duration
// (100 ns units), rounded half to even. The duration must be above 0.
std::int32_t ShowCountFor(std::int32_t seconds, std::int64_t frameDuration100ns);

// The show countdown and the date of the previous frame. Not thread-safe: one
// filter's streaming thread owns it.
class ShowTrigger
{
public:
    // Starts showing as at the start of streaming: the countdown becomes
    // showCount − 1, so with kShowAtStart the text is on the first
    // showCount − 2 frames.
    void restart(std::int32_t showCount) { m_countdown = showCount - 1; }
    // Stops showing (countdown 0); the previous date is kept.
    void clear() { m_countdown = 0; }

    // One frame, in this order: the countdown above 0 goes down by 1; with
    // kShowAtJump a dated frame more than 2 s after, or any time before, the
    // previous frame's date restarts it at showCount; with kShowAtNewDay a
    // dated frame on another day of the month, or more than a day away,
    // restarts it likewise. The frame's date (0 without one) then becomes the
    // previous date, so the dated frame after an undated one always restarts.
    void advance(std::uint8_t when, std::int32_t showCount, bool hasDate, double recDateTime);

    // The text is shown always with kShowAlways, else while the countdown runs.
    bool shown(std::uint8_t when) const { return when == kShowAlways || m_countdown > 0; }

    std::int32_t countdown() const { return m_countdown; }
    double previousDate() const { return m_previousDate; }

private:
    std::int32_t m_countdown = 0;
    double m_previousDate = 0.0; // day number; 0 after an undated frame and at creation
};

// The texts that replace the template codes for one frame.
struct TitleCodes
{
    QString Date1;    // "%D1": RecDateTime + DateOffset after DateFormat1; empty without date
    QString Date2;    // "%D2": the same after DateFormat2
    QString Timecode; // "%T": "h:mm:ss:ff"; empty without time code
};

struct TitleLines
{
    QString Line1;
    QString Line2;

    bool operator==(const TitleLines &) const = default;
};

// "%d:%.2d:%.2d:%.2d" of hours (as a signed 8-bit value), minutes, seconds, frames.
QString FormatTitleTimecode(const TDvTimecode &timecode);

// The code texts of a frame. A date that the offset moves out of the calendar
// gives empty date texts rather than an error.
TitleCodes MakeTitleCodes(const TDvFrameInfo &info, const TincrustRec &options,
                          const QLocale &locale = QLocale());

// The template with every "%D1" replaced by Date1, then every "%D2" by Date2,
// then every "%T" by Timecode, each found without regard to case. Text put in
// by one replacement is not searched again for the same code, but the later
// codes are also found inside it.
QString FillTitleLine(const QString &lineTemplate, const TitleCodes &codes);

// Both lines of a frame from the options' Line1 and Line2.
TitleLines FillTitleLines(const TincrustRec &options, const TDvFrameInfo &info,
                          const QLocale &locale = QLocale());

} // namespace vidora
