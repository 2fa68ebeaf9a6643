#pragma once

#include <QString>

#include <cstdint>

namespace vidora {

// Durations and frame times are in units of 100 ns (10 000 000 to the second);
// frame positions count from 0; frame rates are frames per second.

// "1h 02mn 03s 04fr", "2mn 03s 04fr", "3s 04fr" or "4fr": the largest unit
// that is not zero leads. A frame time of 0 or below counts no frames. A
// negative duration is the text of its magnitude after a "-".
QString FormatDurationFrames(std::int64_t duration, std::int64_t frameTime);

// As FormatDurationFrames with milliseconds: "1h 02mn 03s 004ms" down to
// "4milliseconds".
QString FormatDurationMs(std::int64_t duration);

// A position as "h:mm:ss:ff", "mm:ss:ff" or "ss:ff" at the given rate; "??"
// when the rate is not a positive finite number or the position does not fit
// the clock at that rate.
QString FrameToTimecodeText(std::int64_t frame, double fps);

// The ".srt" time stamp "hh:mm:ss,mmm" of a frame (its number read as
// unsigned), rounded to the millisecond. A rate that is not a positive finite
// number, or so small that the time does not fit, gives "00:00:00,000".
QString FrameToSrtTime(std::int32_t frame, double fps);

// The name of a WAVE format tag without its "WAVE_FORMAT_" prefix ("PCM",
// "MP3"...), or "Unknown" for a tag outside the table (0 included).
QString WaveFormatTagName(std::uint16_t tag);

// True when the name's extension (from its last ".") is ".avi" in any case.
bool IsAviFile(const QString &fileName);

// The short DirectX release text of a dotted version number as the system
// records it: "4.09.00.0904" gives "9.0c", "4.08.01.0881" "8.1a", and a last
// digit of 0 a blank ("9.0 "). Throws ConvertError when the major or minor
// field is missing or not a number.
QString DottedVersionToDirectXText(const QString &dotted);

} // namespace vidora
