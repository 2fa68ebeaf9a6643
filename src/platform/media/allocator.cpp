#include "platform/media/allocator.h"

#include <algorithm>
#include <bit>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <new>
#include <vector>

namespace vidora::media {

// The shared state behind an allocator. Samples handed out keep it alive
// through their deleter, so a buffer may outlive the allocator that gave it.
class BufferPool : public std::enable_shared_from_this<BufferPool>
{
public:
    std::optional<AllocatorProperties> setProperties(const AllocatorProperties &request)
    {
        std::lock_guard lock(m_mutex);
        if (m_committed)
            return std::nullopt;
        AllocatorProperties granted = request;
        granted.count = std::max<std::size_t>(granted.count, 1);
        granted.size = std::max<std::size_t>(granted.size, 1);
        granted.alignment = std::bit_ceil(std::max<std::size_t>(granted.alignment, 1));
        m_properties = granted;
        return granted;
    }

    AllocatorProperties properties() const
    {
        std::lock_guard lock(m_mutex);
        return m_properties;
    }

    // Called only when no buffer is out (see Allocator::commit).
    bool commit()
    {
        std::lock_guard lock(m_mutex);
        if (m_properties.count == 0)
            return false;
        if (m_allocated != m_properties) {
            m_free.clear();
            m_storage.clear();
            m_allocated = m_properties;
        }
        while (m_storage.size() < m_properties.count) {
            auto *buffer = static_cast<std::uint8_t *>(
                ::operator new[](m_properties.size, std::align_val_t(m_properties.alignment)));
            // Zeroed once, so nothing of the process's memory ever goes
            // into a file through a buffer a filter filled only in part.
            std::memset(buffer, 0, m_properties.size);
            m_storage.emplace_back(
                new MediaSample(buffer, m_properties.size, true, m_properties.alignment));
            m_free.push_back(m_storage.back().get());
        }
        m_committed = true;
        return true;
    }

    // A pool for the next run of one whose buffers are not all back: the
    // buffers that are back move to it, and commit makes only the others.
    // Those still out return to this pool, and are freed with it.
    std::shared_ptr<BufferPool> successor()
    {
        auto next = std::make_shared<BufferPool>();
        std::lock_guard lock(m_mutex);
        next->m_properties = m_properties;
        next->m_allocated = m_allocated;
        for (MediaSample *sample : m_free) {
            const auto owned = std::find_if(m_storage.begin(), m_storage.end(),
                                            [&](const auto &s) { return s.get() == sample; });
            next->m_storage.push_back(std::move(*owned));
            m_storage.erase(owned);
            next->m_free.push_back(sample);
        }
        m_free.clear();
        return next;
    }

    void decommit()
    {
        {
            std::lock_guard lock(m_mutex);
            m_committed = false;
        }
        m_available.notify_all();
    }

    bool isCommitted() const
    {
        std::lock_guard lock(m_mutex);
        return m_committed;
    }

    bool allReturned() const
    {
        std::lock_guard lock(m_mutex);
        return m_free.size() == m_storage.size();
    }

    std::size_t freeCount() const
    {
        std::lock_guard lock(m_mutex);
        return m_free.size();
    }

    Flow getBuffer(SamplePtr &out)
    {
        std::unique_lock lock(m_mutex);
        m_available.wait(lock, [this] { return !m_committed || !m_free.empty(); });
        if (!m_committed)
            return Flow::Flushing;
        MediaSample *sample = m_free.back();
        m_free.pop_back();
        lock.unlock();
        sample->reset();
        out = SamplePtr(sample, [pool = shared_from_this()](MediaSample *s) { pool->release(s); });
        return Flow::Ok;
    }

    void waitUntilReturned(const std::function<bool()> &stop)
    {
        std::unique_lock lock(m_mutex);
        m_available.wait(
            lock, [&] { return !m_committed || m_free.size() == m_storage.size() || stop(); });
    }

    void wake()
    {
        {
            std::lock_guard lock(m_mutex);
        }
        m_available.notify_all();
    }

private:
    void release(MediaSample *sample)
    {
        {
            std::lock_guard lock(m_mutex);
            m_free.push_back(sample);
        }
        // A getBuffer and a waitUntilReturned may both wait.
        m_available.notify_all();
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_available;
    // guarded by m_mutex
    AllocatorProperties m_properties;
    AllocatorProperties m_allocated;
    bool m_committed = false;
    std::vector<std::unique_ptr<MediaSample>> m_storage;
    std::vector<MediaSample *> m_free;
};

Allocator::Allocator() : m_pool(std::make_shared<BufferPool>()) {}

Allocator::~Allocator()
{
    m_pool->decommit();
}

std::optional<AllocatorProperties> Allocator::setProperties(const AllocatorProperties &request)
{
    return m_pool->setProperties(request);
}

AllocatorProperties Allocator::properties() const
{
    return m_pool->properties();
}

bool Allocator::commit()
{
    if (m_pool->isCommitted())
        return true;
    // Buffers from the last run still held somewhere (a picture a view
    // still shows) are left to the old pool; the next run has a fresh one,
    // with the buffers that are back and new ones in place of the others.
    if (!m_pool->allReturned())
        m_pool = m_pool->successor();
    return m_pool->commit();
}

void Allocator::decommit()
{
    m_pool->decommit();
}

bool Allocator::isCommitted() const
{
    return m_pool->isCommitted();
}

Flow Allocator::getBuffer(SamplePtr &out)
{
    out.reset();
    return m_pool->getBuffer(out);
}

void Allocator::waitUntilReturned(const std::function<bool()> &stop)
{
    m_pool->waitUntilReturned(stop);
}

void Allocator::wake()
{
    m_pool->wake();
}

std::size_t Allocator::freeCount() const
{
    return m_pool->freeCount();
}

} // namespace vidora::media
