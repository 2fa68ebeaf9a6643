#include "ui/playbacktexts.h"

#include <algorithm>
#include <cmath>

namespace vidora {

namespace {

constexpr std::int64_t kUnitsPerSecond = 10'000'000; // 100 ns units
constexpr std::int64_t kUnitsPerMillisecond = 10'000;

QString Clock(std::int64_t seconds)
{
    return QString::asprintf("%lld:%.2lld:%.2lld", static_cast<long long>(seconds / 3600),
                             static_cast<long long>((seconds / 60) % 60),
                             static_cast<long long>(seconds % 60));
}

} // namespace

QString PositionText(std::int64_t position, double frameRate)
{
    // A position before the start (a seek in flight) reads as the start.
    position = std::max<std::int64_t>(position, 0);
    if (!(frameRate > 0)) {
        const std::int64_t seconds = position / kUnitsPerSecond;
        const std::int64_t milliseconds = (position % kUnitsPerSecond) / kUnitsPerMillisecond;
        return Clock(seconds) + QString::asprintf(":%.3lld", static_cast<long long>(milliseconds));
    }
    const auto seconds = static_cast<std::int64_t>(std::trunc(double(position) / frameRate));
    const auto frames =
        static_cast<std::int64_t>(std::trunc(double(position) - double(seconds) * frameRate));
    return Clock(seconds) + QString::asprintf(":%.2lld", static_cast<long long>(frames));
}

QEvent::Type TPositionEvent::EventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

int VolumeUp(int volume)
{
    return std::min(volume + kVolumeStep, kVolumeMaximum);
}

int VolumeDown(int volume)
{
    return std::max(volume - kVolumeStep, 0);
}

} // namespace vidora
