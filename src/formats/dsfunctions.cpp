#include "formats/dsfunctions.h"

#include "formats/converterror.h"
#include "formats/rounding.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace vidora {

namespace {

constexpr std::uint64_t kUnitsPerSecond = 10'000'000;
constexpr std::uint64_t kUnitsPerMs = 10'000;

// Largest magnitude a double quotient may have before it is truncated to a
// 64-bit integer; below 2^63 with room to spare.
constexpr double kMaxWholeQuotient = 9.0e18;

// printf "%.Nd" of a non-negative number: at least `digits` digits, zeros in
// front.
QString padded(std::uint64_t value, int digits)
{
    return QString::number(value).rightJustified(digits, QLatin1Char('0'));
}

QString plain(std::uint64_t value)
{
    return QString::number(value);
}

std::uint64_t magnitude(std::int64_t value)
{
    // Unsigned negation keeps INT64_MIN representable.
    return value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
}

QString withSign(bool negative, const QString &text)
{
    return negative ? QLatin1Char('-') + text : text;
}

// The duration texts may be translated; the time-code and subtitle texts are
// fixed formats.
QString durationText(const char *pattern)
{
    return QCoreApplication::translate("vidora::Durations", pattern);
}

struct Clock
{
    std::uint64_t hours;
    std::uint64_t minutes;
    std::uint64_t seconds;
};

Clock clockOf(std::uint64_t totalSeconds)
{
    return {totalSeconds / 3600, (totalSeconds / 60) % 60, totalSeconds % 60};
}

} // namespace

QString FormatDurationFrames(std::int64_t duration, std::int64_t frameTime)
{
    const std::uint64_t units = magnitude(duration);
    const std::uint64_t frames =
        frameTime > 0 ? (units % kUnitsPerSecond) / static_cast<std::uint64_t>(frameTime) : 0;
    const Clock c = clockOf(units / kUnitsPerSecond);
    QString text;
    if (c.hours > 0)
        text =
            durationText("%1h %2mn %3s %4fr")
                .arg(plain(c.hours), padded(c.minutes, 2), padded(c.seconds, 2), padded(frames, 2));
    else if (c.minutes > 0)
        text = durationText("%1mn %2s %3fr")
                   .arg(plain(c.minutes), padded(c.seconds, 2), padded(frames, 2));
    else if (c.seconds > 0)
        text = durationText("%1s %2fr").arg(plain(c.seconds), padded(frames, 2));
    else
        text = durationText("%1fr").arg(plain(frames));
    return withSign(duration < 0, text);
}

QString FormatDurationMs(std::int64_t duration)
{
    const std::uint64_t units = magnitude(duration);
    const std::uint64_t ms = (units % kUnitsPerSecond) / kUnitsPerMs;
    const Clock c = clockOf(units / kUnitsPerSecond);
    QString text;
    if (c.hours > 0)
        text = durationText("%1h %2mn %3s %4ms")
                   .arg(plain(c.hours), padded(c.minutes, 2), padded(c.seconds, 2), padded(ms, 3));
    else if (c.minutes > 0)
        text = durationText("%1mn %2s %3ms")
                   .arg(plain(c.minutes), padded(c.seconds, 2), padded(ms, 3));
    else if (c.seconds > 0)
        text = durationText("%1s %2ms").arg(plain(c.seconds), padded(ms, 3));
    else
        text = durationText("%1milliseconds").arg(plain(ms));
    return withSign(duration < 0, text);
}

QString FrameToTimecodeText(std::int64_t frame, double fps)
{
    if (!std::isfinite(fps) || !(fps > 0))
        return QStringLiteral("??");
    const double position = std::fabs(static_cast<double>(frame));
    const double quotient = position / fps;
    if (!(quotient < kMaxWholeQuotient))
        return QStringLiteral("??");
    const auto totalSeconds = static_cast<std::uint64_t>(quotient); // truncates
    // What is left over is below one second's worth of frames, so it rounds
    // to a small non-negative count.
    const auto frames = static_cast<std::uint64_t>(
        roundHalfEven(position - static_cast<double>(totalSeconds) * fps));
    const Clock c = clockOf(totalSeconds);
    QString text;
    if (c.hours > 0)
        text =
            QStringLiteral("%1:%2:%3:%4")
                .arg(plain(c.hours), padded(c.minutes, 2), padded(c.seconds, 2), padded(frames, 2));
    else if (c.minutes > 0)
        text = QStringLiteral("%1:%2:%3")
                   .arg(padded(c.minutes, 2), padded(c.seconds, 2), padded(frames, 2));
    else
        text = QStringLiteral("%1:%2").arg(padded(c.seconds, 2), padded(frames, 2));
    return withSign(frame < 0, text);
}

QString FrameToSrtTime(std::int32_t frame, double fps)
{
    std::uint64_t totalMs = 0;
    if (std::isfinite(fps) && fps > 0) {
        // The subtitle writer counts frames from 0 upward; a number read as
        // negative is a count past 2^31.
        const double ms = static_cast<double>(static_cast<std::uint32_t>(frame)) * 1000.0 / fps;
        if (ms < kMaxWholeQuotient)
            totalMs = static_cast<std::uint64_t>(roundHalfEven(ms));
    }
    return QStringLiteral("%1:%2:%3,%4")
        .arg(padded(totalMs / 3'600'000, 2), padded((totalMs / 60'000) % 60, 2),
             padded((totalMs / 1000) % 60, 2), padded(totalMs % 1000, 3));
}

QString WaveFormatTagName(std::uint16_t tag)
{
    struct TagName
    {
        std::uint16_t tag;
        const char *name; // the WAVE_FORMAT_ constant without its prefix
    };
    static constexpr TagName kNames[] = {
        {0x0001, "PCM"},
        {0x0002, "ADPCM"},
        {0x0003, "IEEE_FLOAT"},
        {0x0005, "IBM_CVSD"},
        {0x0006, "ALAW"},
        {0x0007, "MULAW"},
        {0x0010, "OKI_ADPCM"},
        {0x0011, "DVI_ADPCM"},
        {0x0012, "MEDIASPACE_ADPCM"},
        {0x0013, "SIERRA_ADPCM"},
        {0x0014, "G723_ADPCM"},
        {0x0015, "DIGISTD"},
        {0x0016, "DIGIFIX"},
        {0x0017, "DIALOGIC_OKI_ADPCM"},
        {0x0018, "MEDIAVISION_ADPCM"},
        {0x0020, "YAMAHA_ADPCM"},
        {0x0021, "SONARC"},
        {0x0022, "DSPGROUP_TRUESPEECH"},
        {0x0023, "ECHOSC1"},
        {0x0024, "AUDIOFILE_AF36"},
        {0x0025, "APTX"},
        {0x0026, "AUDIOFILE_AF10"},
        {0x0030, "DOLBY_AC2"},
        {0x0031, "GSM610"},
        {0x0032, "MSNAUDIO"},
        {0x0033, "ANTEX_ADPCME"},
        {0x0034, "CONTROL_RES_VQLPC"},
        {0x0035, "DIGIREAL"},
        {0x0036, "DIGIADPCM"},
        {0x0037, "CONTROL_RES_CR10"},
        {0x0038, "NMS_VBXADPCM"},
        {0x0039, "CS_IMAADPCM"},
        {0x003A, "ECHOSC3"},
        {0x003B, "ROCKWELL_ADPCM"},
        {0x003C, "ROCKWELL_DIGITALK"},
        {0x003D, "XEBEC"},
        {0x0040, "G721_ADPCM"},
        {0x0041, "G728_CELP"},
        {0x0050, "MPEG"},
        {0x0055, "MP3"},
        {0x0060, "CIRRUS"},
        {0x0061, "ESPCM"},
        {0x0062, "VOXWARE"},
        {0x0063, "CANOPUS_ATRAC"},
        {0x0064, "G726_ADPCM"},
        {0x0065, "G722_ADPCM"},
        {0x0066, "DSAT"},
        {0x0067, "DSAT_DISPLAY"},
        {0x0075, "VOXWARE"},
        {0x0080, "SOFTSOUND"},
        {0x0100, "RHETOREX_ADPCM"},
        {0x0200, "CREATIVE_ADPCM"},
        {0x0202, "CREATIVE_FASTSPEECH8"},
        {0x0203, "CREATIVE_FASTSPEECH10"},
        {0x0220, "QUARTERDECK"},
        {0x0300, "FM_TOWNS_SND"},
        {0x0400, "BTV_DIGITAL"},
        {0x1000, "OLIGSM"},
        {0x1001, "OLIADPCM"},
        {0x1002, "OLICELP"},
        {0x1003, "OLISBC"},
        {0x1004, "OLIOPR"},
        {0x1100, "LH_CODEC"},
        {0x1400, "NORRIS"},
    };
    static_assert(std::size(kNames) == 64);
    const auto found = std::find_if(std::begin(kNames), std::end(kNames),
                                    [tag](const TagName &entry) { return entry.tag == tag; });
    return QLatin1String(found != std::end(kNames) ? found->name : "Unknown");
}

bool IsAviFile(const QString &fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot >= 0 && fileName.mid(dot).compare(QLatin1String(".avi"), Qt::CaseInsensitive) == 0;
}

namespace {

// The text before the next "." (empty when there is none) as an integer.
int leadingField(const QString &text)
{
    const qsizetype dot = text.indexOf(QLatin1Char('.'));
    const QString field = dot < 0 ? QString() : text.left(dot);
    bool ok = false;
    const int value = field.toInt(&ok);
    if (!ok)
        throw ConvertError(
            QStringLiteral("'%1' is not a valid integer value").arg(field).toStdString());
    return value;
}

// Removes the text up to and including the first "."; nothing without one.
QString afterFirstDot(const QString &text)
{
    return text.mid(text.indexOf(QLatin1Char('.')) + 1);
}

} // namespace

QString DottedVersionToDirectXText(const QString &dotted)
{
    // "4.MM.mm.bbbb": the system's own number, then the release's major and
    // minor numbers, then a build whose last digit is the letter of a
    // lettered release (1 a, 2 b, 3 c; the build 904 of 9.0c ends in 4).
    QString rest = afterFirstDot(dotted);
    const int major = leadingField(rest);
    rest = afterFirstDot(rest);
    const int minor = leadingField(rest);
    QChar letter = QLatin1Char(' ');
    const QChar last = rest.back(); // rest holds at least the minor field's "."
    if (last == QLatin1Char('4'))
        letter = QLatin1Char('c');
    else if (last >= QLatin1Char('1') && last <= QLatin1Char('9'))
        letter = QChar(last.unicode() + 48);
    return QString::number(major) + QLatin1Char('.') + QString::number(minor) + letter;
}

} // namespace vidora
