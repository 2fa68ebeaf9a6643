#pragma once

// A pool of equal buffers for one pin connection. The output pin's filter
// sets the properties when the pins connect (DecideBufferSize), the filter
// commits the pool when it leaves Stopped and decommits it when it stops.
// getBuffer blocks while every buffer is held downstream; decommit wakes it
// with Flow::Flushing, so a stop or a seek never waits on a full pool.
#include "platform/media/flow.h"
#include "platform/media/sample.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>

namespace vidora::media {

struct AllocatorProperties
{
    std::size_t count = 0;     // buffers in the pool, at least 1
    std::size_t size = 0;      // bytes per buffer
    std::size_t alignment = 1; // power of two
    bool operator==(const AllocatorProperties &) const = default;
};

class BufferPool;

class Allocator
{
public:
    Allocator();
    ~Allocator();
    Allocator(const Allocator &) = delete;
    Allocator &operator=(const Allocator &) = delete;

    // Grants the request with count and size at least 1 and the alignment
    // rounded up to a power of two. Refused (nothing) while committed.
    std::optional<AllocatorProperties> setProperties(const AllocatorProperties &request);
    AllocatorProperties properties() const;

    // Allocates the buffers (again, if the properties changed). Buffers
    // handed out before a change stay valid and are freed when they return.
    bool commit();
    // getBuffer answers Flushing from now on; callers blocked in it wake.
    void decommit();
    bool isCommitted() const;

    // A free buffer, reset, with no length. Blocks until one is free or the
    // pool is decommitted (then Flushing and no sample). Any thread.
    Flow getBuffer(SamplePtr &out);

    // Waits until every buffer is back in the pool, the pool is decommitted
    // or `stop` answers true. `stop` is asked with the pool's lock held: what
    // changes its answer is followed by wake(), and the wait cannot miss it.
    void waitUntilReturned(const std::function<bool()> &stop);
    // The waits of getBuffer and waitUntilReturned look again.
    void wake();

    // Buffers currently free in the pool (for tests and statistics).
    std::size_t freeCount() const;

private:
    std::shared_ptr<BufferPool> m_pool;
};

} // namespace vidora::media
