#include "commands/dialogvalues.h"

#include "formats/fpsunit.h"
#include "formats/rounding.h"
#include "platform/shell/pathroutines.h"

#include <algorithm>
#include <cmath>

namespace vidora {

TCodecChoice CodecChoiceFor(const QString &codec)
{
    const QString lower = codec.toLower();
    if (lower == QLatin1String("dvsd"))
        return TCodecChoice::Dvsd;
    if (lower == QLatin1String("dsvd"))
        return TCodecChoice::Dsvd;
    if (lower == QLatin1String("cdvc"))
        return TCodecChoice::Cdvc;
    return TCodecChoice::Personalized;
}

std::optional<QString> CodecFromChoice(TCodecChoice choice, const QString &personalized)
{
    switch (choice) {
    case TCodecChoice::Dvsd:
        return QStringLiteral("dvsd");
    case TCodecChoice::Dsvd:
        return QStringLiteral("dsvd");
    case TCodecChoice::Cdvc:
        return QStringLiteral("CDVC");
    case TCodecChoice::Personalized:
        break;
    }
    const QString code = (personalized + QStringLiteral("    ")).left(4);
    if (!FourCCFromText(code))
        return std::nullopt;
    return code;
}

std::optional<double> FrameRateFromText(const QString &text, const QLocale &locale)
{
    bool ok = false;
    const QString trimmed = TrimControlChars(text);
    QLocale strict = locale;
    strict.setNumberOptions(QLocale::RejectGroupSeparator);
    const double value = strict.toDouble(trimmed, &ok);
    if (!ok || !std::isfinite(value) || value <= 0)
        return std::nullopt;
    return value;
}

std::optional<double> FrameRateFromChoice(TFrequenceChoice choice, const QString &personalized,
                                          const QLocale &locale)
{
    switch (choice) {
    case TFrequenceChoice::Pal:
        return 25.0;
    case TFrequenceChoice::Ntsc:
        return 29.97;
    case TFrequenceChoice::Personalized:
        break;
    }
    return FrameRateFromText(personalized, locale);
}

std::optional<int> IntervalFromText(const QString &text)
{
    const int seconds = SafeStrToInt(text);
    if (seconds <= 0)
        return std::nullopt;
    return seconds;
}

QString FormatOffsetText(double &offset)
{
    const double scaled = 86400.0 * offset;
    // Offsets beyond any calendar are held to what a 64-bit count of seconds
    // takes, so the text never comes from an overflow.
    const double bounded = std::isfinite(scaled) ? std::clamp(scaled, -9.0e15, 9.0e15) : 0.0;
    const auto s = static_cast<long long>(roundHalfEven(bounded));
    // Division truncates toward zero: a negative offset has negative parts.
    const long long seconds = s % 60;
    const long long minutes = (s / 60) % 60;
    const long long hours = (s / 3600) % 24;
    const long long days = s / 86400;
    offset =
        double(days) + double(hours) / 24 + double(minutes) / 24 / 60 + double(seconds) / 24 / 3600;
    if (days == 0 && minutes == 0 && seconds == 0)
        return QStringLiteral("%1 hours").arg(hours);
    return QString::asprintf("%lld days %.2lldh %.2lldm %.2llds", days, hours, minutes, seconds);
}

int OffsetHours(double offset)
{
    const double hours = 24.0 * offset;
    if (!std::isfinite(hours))
        return 0;
    const double limit = kOffsetHoursLimit;
    return static_cast<int>(roundHalfEven(std::clamp(hours, -limit, limit)));
}

double SimpleModeOffset(int hours, double current)
{
    if (std::isfinite(current) && OffsetHours(current) == hours)
        return current;
    return hours / 24.0;
}

} // namespace vidora
