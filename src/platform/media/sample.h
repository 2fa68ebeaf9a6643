#pragma once

// A media sample: one buffer of data moving downstream, with its times and
// flags. Samples are shared (SamplePtr); a sample that came from an
// allocator goes back to that allocator's pool when the last reference
// drops, whichever thread drops it.
//
// Times are in 100 ns units, relative to the start of the current segment
// (the position the stream was started or sought at). Media times are stream
// positions in the stream's own unit (frame numbers for video), absolute.
#include "platform/media/media_type.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace vidora::media {

class MediaSample;
using SamplePtr = std::shared_ptr<MediaSample>;

// What a filter learnt about a sample for filters further down the same
// stream (the date detector's record of the DV frame a picture was decoded
// from). The layer only carries it: transforms pass it from each input sample
// to the samples made from it, so it stays with its frame across a queued
// filter, where a shared "last frame" record would already describe a later
// one. Immutable once attached.
class SampleNote
{
public:
    virtual ~SampleNote() = default;
};

struct TimeRange
{
    std::int64_t start = 0;
    std::int64_t stop = 0;
    bool operator==(const TimeRange &) const = default;
};

class MediaSample
{
public:
    // A sample with its own heap buffer (copies, tests); not pooled.
    static SamplePtr create(std::size_t capacity, std::size_t alignment = 16);

    MediaSample(const MediaSample &) = delete;
    MediaSample &operator=(const MediaSample &) = delete;
    ~MediaSample();

    std::uint8_t *data() { return m_data; }
    const std::uint8_t *data() const { return m_data; }
    std::size_t capacity() const { return m_capacity; }
    std::size_t actualLength() const { return m_length; }
    // Refuses (false) a length beyond the capacity.
    bool setActualLength(std::size_t length);

    std::optional<TimeRange> time;
    std::optional<TimeRange> mediaTime;
    bool syncPoint = false;
    bool preroll = false;
    bool discontinuity = false;
    // Set on the first sample after the stream's type changed.
    std::optional<MediaType> typeChange;
    // Null when no filter upstream attached one.
    std::shared_ptr<const SampleNote> note;

    // A sample that several branches hold at once (after a tee) is read-only:
    // a filter that changes data must work on a copy (see writableCopy).
    bool isReadOnly() const { return m_readOnly; }
    void setReadOnly() { m_readOnly = true; }

    // Copies the times, media times, flags, type change and note (not the data).
    void copyPropertiesFrom(const MediaSample &other);
    // A new heap sample with this sample's data and properties, writable.
    SamplePtr writableCopy() const;
    // A read-only sample over `of`'s data (no copy), with properties of its
    // own copied from `of`, which it keeps alive. A filter that hands one
    // buffer to several branches gives each branch a view: the data is shared,
    // while each branch's filters may attach notes and set times on their own
    // sample without touching another thread's.
    static SamplePtr sharedView(const SamplePtr &of);

    // Clears length, times and flags (when the sample returns to its pool).
    void reset();

private:
    friend class BufferPool;
    friend class SampleRecycler;
    MediaSample(std::uint8_t *data, std::size_t capacity, bool ownsBuffer, std::size_t alignment);

    std::uint8_t *m_data;
    std::size_t m_capacity;
    std::size_t m_length = 0;
    bool m_ownsBuffer;
    std::size_t m_alignment;
    bool m_readOnly = false;
    SamplePtr m_viewOf; // the sample whose buffer a view reads
};

// Heap samples whose buffers are kept for the next request once every holder
// has let go: for a filter that makes a sample of its own per frame, of
// varying size and without a pool, so that the frames' buffers are not
// given back to the system and faulted in again one after another.
class SampleRecycler
{
public:
    // Keeps at most `keep` free buffers.
    explicit SampleRecycler(std::size_t keep = 8);
    ~SampleRecycler();
    SampleRecycler(const SampleRecycler &) = delete;
    SampleRecycler &operator=(const SampleRecycler &) = delete;

    // A reset sample with at least `capacity` bytes: the smallest free
    // buffer that holds them, else a new one. The buffer comes back when the
    // sample is let go, on any thread, also after the recycler has gone.
    SamplePtr get(std::size_t capacity, std::size_t alignment = 16);

private:
    struct Store;
    std::shared_ptr<Store> m_store;
};

} // namespace vidora::media
