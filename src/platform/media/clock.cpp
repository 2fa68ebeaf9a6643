#include "platform/media/clock.h"

#include <algorithm>

namespace vidora::media {

void ReferenceClock::addListener(ClockListener *listener)
{
    std::lock_guard lock(m_listenersMutex);
    m_listeners.push_back(listener);
}

void ReferenceClock::removeListener(ClockListener *listener)
{
    std::lock_guard lock(m_listenersMutex);
    std::erase(m_listeners, listener);
}

void ReferenceClock::notifyListeners()
{
    std::lock_guard lock(m_listenersMutex);
    for (auto *listener : m_listeners)
        listener->clockChanged();
}

SystemClock::SystemClock() : m_origin(std::chrono::steady_clock::now()) {}

std::int64_t SystemClock::now() const
{
    using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>;
    return std::chrono::duration_cast<Ticks>(std::chrono::steady_clock::now() - m_origin).count();
}

std::chrono::steady_clock::time_point SystemClock::deadlineFor(std::int64_t time) const
{
    using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>;
    return m_origin + std::chrono::duration_cast<std::chrono::steady_clock::duration>(Ticks(time));
}

std::chrono::steady_clock::time_point DeviceClock::deadlineFor(std::int64_t time) const
{
    // A device runs at real speed give or take; re-check at least every 10 ms.
    using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>;
    const auto ahead = std::max<std::int64_t>(time - now(), 0);
    const auto wait = std::min<std::chrono::steady_clock::duration>(
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(Ticks(ahead)),
        std::chrono::milliseconds(10));
    return std::chrono::steady_clock::now() + wait;
}

} // namespace vidora::media
