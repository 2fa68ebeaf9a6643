#include "platform/media/sample.h"

#include <cstring>
#include <mutex>
#include <new>
#include <vector>

namespace vidora::media {

MediaSample::MediaSample(std::uint8_t *data, std::size_t capacity, bool ownsBuffer,
                         std::size_t alignment)
    : m_data(data), m_capacity(capacity), m_ownsBuffer(ownsBuffer), m_alignment(alignment)
{}

MediaSample::~MediaSample()
{
    if (m_ownsBuffer)
        ::operator delete[](m_data, std::align_val_t(m_alignment));
}

SamplePtr MediaSample::create(std::size_t capacity, std::size_t alignment)
{
    if (alignment == 0)
        alignment = 1;
    auto *buffer = static_cast<std::uint8_t *>(
        ::operator new[](capacity == 0 ? 1 : capacity, std::align_val_t(alignment)));
    return SamplePtr(new MediaSample(buffer, capacity, true, alignment));
}

bool MediaSample::setActualLength(std::size_t length)
{
    if (length > m_capacity)
        return false;
    m_length = length;
    return true;
}

void MediaSample::copyPropertiesFrom(const MediaSample &other)
{
    time = other.time;
    mediaTime = other.mediaTime;
    syncPoint = other.syncPoint;
    preroll = other.preroll;
    discontinuity = other.discontinuity;
    typeChange = other.typeChange;
    note = other.note;
}

SamplePtr MediaSample::writableCopy() const
{
    auto copy = create(m_length, m_alignment);
    if (m_length > 0)
        std::memcpy(copy->data(), m_data, m_length);
    copy->m_length = m_length;
    copy->copyPropertiesFrom(*this);
    return copy;
}

SamplePtr MediaSample::sharedView(const SamplePtr &of)
{
    auto view = SamplePtr(new MediaSample(of->m_data, of->m_capacity, false, of->m_alignment));
    view->m_length = of->m_length;
    view->copyPropertiesFrom(*of);
    view->m_readOnly = true;
    view->m_viewOf = of;
    return view;
}

void MediaSample::reset()
{
    m_length = 0;
    time.reset();
    mediaTime.reset();
    syncPoint = preroll = discontinuity = false;
    typeChange.reset();
    note.reset();
    m_readOnly = false;
}

struct SampleRecycler::Store
{
    std::mutex mutex;
    std::vector<SamplePtr> free; // guarded by mutex
    std::size_t keep = 0;

    void give(SamplePtr backing)
    {
        const std::lock_guard lock(mutex);
        if (free.size() < keep)
            free.push_back(std::move(backing));
    }
};

SampleRecycler::SampleRecycler(std::size_t keep) : m_store(std::make_shared<Store>())
{
    m_store->keep = keep;
}

SampleRecycler::~SampleRecycler() = default;

SamplePtr SampleRecycler::get(std::size_t capacity, std::size_t alignment)
{
    SamplePtr backing;
    {
        const std::lock_guard lock(m_store->mutex);
        auto &free = m_store->free;
        auto best = free.end();
        for (auto it = free.begin(); it != free.end(); ++it)
            if ((*it)->capacity() >= capacity && (*it)->m_alignment >= alignment &&
                (best == free.end() || (*it)->capacity() < (*best)->capacity()))
                best = it;
        if (best != free.end()) {
            backing = std::move(*best);
            free.erase(best);
        }
    }
    if (!backing)
        backing = MediaSample::create(capacity, alignment);
    backing->reset();
    MediaSample *sample = backing.get();
    // The sample handed out shares the backing's object; when its last
    // holder lets go, the backing returns to the store.
    return SamplePtr(sample, [store = m_store, backing = std::move(backing)](
                                 MediaSample *) mutable { store->give(std::move(backing)); });
}

} // namespace vidora::media
