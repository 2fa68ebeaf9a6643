#include "platform/media/frame_lanes.h"

#include <algorithm>

namespace vidora::media {

FrameLanes::FrameLanes(std::size_t count)
{
    m_lanes.reserve(std::max<std::size_t>(count, 1));
    for (std::size_t i = 0; i < std::max<std::size_t>(count, 1); ++i)
        m_lanes.push_back(std::make_unique<Lane>());
    for (std::size_t i = 0; i < m_lanes.size(); ++i) {
        Lane &lane = *m_lanes[i];
        lane.thread = std::thread([&lane, i] { run(lane, i); });
    }
}

FrameLanes::~FrameLanes()
{
    for (auto &lane : m_lanes) {
        const std::lock_guard lock(lane->mutex);
        lane->quit = true;
        lane->changed.notify_all();
    }
    for (auto &lane : m_lanes)
        lane->thread.join();
}

void FrameLanes::start(Job job)
{
    const std::size_t index = m_next;
    Lane &lane = *m_lanes[index];
    {
        std::unique_lock lock(lane.mutex);
        lane.changed.wait(lock, [&] { return !lane.busy; });
        lane.job = std::move(job);
        lane.busy = true;
        lane.changed.notify_all();
    }
    m_order.push_back(index);
    m_next = (m_next + 1) % m_lanes.size();
}

bool FrameLanes::takeOldest()
{
    const std::size_t index = m_order.front();
    m_order.pop_front();
    Lane &lane = *m_lanes[index];
    std::unique_lock lock(lane.mutex);
    lane.changed.wait(lock, [&] { return !lane.busy; });
    return lane.answer;
}

void FrameLanes::discard()
{
    m_order.clear();
}

void FrameLanes::run(Lane &lane, std::size_t index)
{
    std::unique_lock lock(lane.mutex);
    for (;;) {
        lane.changed.wait(lock, [&] { return lane.quit || lane.job; });
        // A job in hand runs even when quitting: what it holds (a pool
        // buffer) is let go on this thread, and the lane ends idle.
        if (!lane.job)
            return;
        Job job = std::move(lane.job);
        lane.job = nullptr;
        lock.unlock();
        const bool answer = job(index);
        job = nullptr;
        lock.lock();
        lane.answer = answer;
        lane.busy = false;
        lane.changed.notify_all();
    }
}

} // namespace vidora::media
