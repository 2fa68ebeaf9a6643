#pragma once

// A clock that moves only when the test moves it.
#include "platform/media/clock.h"

#include <atomic>
#include <chrono>

namespace vidora::test {

class ManualClock final : public media::ReferenceClock
{
public:
    std::int64_t now() const override { return m_now.load(); }
    std::chrono::steady_clock::time_point deadlineFor(std::int64_t) const override
    {
        return std::chrono::steady_clock::time_point::max();
    }
    void set(std::int64_t time)
    {
        m_now = time;
        notifyListeners();
    }
    void advance(std::int64_t delta) { set(m_now.load() + delta); }

private:
    std::atomic<std::int64_t> m_now{0};
};

} // namespace vidora::test
