#pragma once

// A bounded queue of samples between two threads: a multi-input filter's
// inputs and its output thread, or a splitter fed by another splitter and
// its per-output threads. Push blocks while the queue is full and pop while
// it is empty; a flush wakes both with Flow::Flushing and drops what is
// queued, so neither side can hold up a seek or a stop.
#include "platform/media/flow.h"
#include "platform/media/sample.h"

#include <condition_variable>
#include <deque>
#include <mutex>

namespace vidora::media {

class SampleQueue
{
public:
    explicit SampleQueue(std::size_t capacity);

    // Any thread. Flushing while flushing or after the end mark.
    Flow push(SamplePtr sample);
    // Marks the end: pop answers EndOfStream once the queued samples are out.
    Flow pushEndOfStream();
    // Ok with the oldest sample, EndOfStream after the end mark, Flushing
    // while flushing.
    Flow pop(SamplePtr &out);

    // Drops everything and wakes both sides; push and pop answer Flushing
    // until endFlush, which empties the queue and clears the end mark.
    void beginFlush();
    void endFlush();

    std::size_t size() const;

private:
    const std::size_t m_capacity;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    // guarded by m_mutex
    std::deque<SamplePtr> m_samples;
    bool m_flushing = false;
    bool m_ended = false;
};

} // namespace vidora::media
