#include "platform/media/sample_queue.h"

#include <algorithm>

namespace vidora::media {

SampleQueue::SampleQueue(std::size_t capacity) : m_capacity(std::max<std::size_t>(capacity, 1)) {}

Flow SampleQueue::push(SamplePtr sample)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_flushing || m_samples.size() < m_capacity; });
    if (m_flushing || m_ended)
        return Flow::Flushing;
    m_samples.push_back(std::move(sample));
    lock.unlock();
    m_changed.notify_all();
    return Flow::Ok;
}

Flow SampleQueue::pushEndOfStream()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_flushing)
            return Flow::Flushing;
        m_ended = true;
    }
    m_changed.notify_all();
    return Flow::Ok;
}

Flow SampleQueue::pop(SamplePtr &out)
{
    out.reset();
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_flushing || m_ended || !m_samples.empty(); });
    if (m_flushing)
        return Flow::Flushing;
    if (m_samples.empty())
        return Flow::EndOfStream;
    out = std::move(m_samples.front());
    m_samples.pop_front();
    lock.unlock();
    m_changed.notify_all();
    return Flow::Ok;
}

void SampleQueue::beginFlush()
{
    std::deque<SamplePtr> dropped; // released outside the lock
    {
        std::lock_guard lock(m_mutex);
        m_flushing = true;
        dropped.swap(m_samples);
    }
    m_changed.notify_all();
}

void SampleQueue::endFlush()
{
    std::lock_guard lock(m_mutex);
    m_samples.clear();
    m_flushing = false;
    m_ended = false;
}

std::size_t SampleQueue::size() const
{
    std::lock_guard lock(m_mutex);
    return m_samples.size();
}

} // namespace vidora::media
