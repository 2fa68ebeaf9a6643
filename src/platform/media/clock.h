#pragma once

// Reference clocks. A graph runs with no clock (nothing waits: processing
// runs as fast as the filters go), the system clock, a device clock (an
// audio output that drives time), or a manual clock in tests. Times are in
// 100 ns units.
//
// A renderer waiting for a presentation time waits on its own condition
// variable with a real-time deadline from deadlineFor(), and registers as a
// listener so that a clock whose time jumps (a manual clock, a device clock
// catching up) wakes it early. Listener callbacks run on the thread that
// moves the clock and must only lock and notify.
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace vidora::media {

class ClockListener
{
public:
    virtual void clockChanged() = 0;

protected:
    ~ClockListener() = default;
};

class ReferenceClock
{
public:
    virtual ~ReferenceClock() = default;
    virtual std::int64_t now() const = 0;
    // The real time at which now() reaches `time`, as far as the clock knows;
    // time_point::max() when only a jump can bring it (then listeners are
    // told). Waits always re-check now() after waking.
    virtual std::chrono::steady_clock::time_point deadlineFor(std::int64_t time) const = 0;

    void addListener(ClockListener *listener);
    void removeListener(ClockListener *listener);

protected:
    // For clocks whose time moves other than with real time: wakes waiters.
    void notifyListeners();

private:
    std::mutex m_listenersMutex;
    std::vector<ClockListener *> m_listeners; // guarded by m_listenersMutex
};

// Real time from a monotonic source, 0 at construction.
class SystemClock final : public ReferenceClock
{
public:
    SystemClock();
    std::int64_t now() const override;
    std::chrono::steady_clock::time_point deadlineFor(std::int64_t time) const override;

private:
    std::chrono::steady_clock::time_point m_origin;
};

// The hook for a sound device: time as the device reports it (samples
// played); the device calls positionChanged() after each update.
class DeviceClock : public ReferenceClock
{
public:
    std::chrono::steady_clock::time_point deadlineFor(std::int64_t time) const override;
    void positionChanged() { notifyListeners(); }
};

// A filter that offers its clock to the graph (an audio renderer playing to a
// sound device, whose played samples drive time).
class IReferenceClockProvider
{
public:
    // Null when the filter has no clock to offer (no device). Control thread.
    virtual std::shared_ptr<ReferenceClock> referenceClock() = 0;

protected:
    ~IReferenceClockProvider() = default;
};

} // namespace vidora::media
