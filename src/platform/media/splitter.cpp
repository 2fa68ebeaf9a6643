#include "platform/media/splitter.h"

#include <chrono>
#include <exception>
#include <limits>
#include <thread>

namespace vidora::media {

namespace {

// How long the end of a flush looks for the threads to park, and a thread for
// the splitter's mutex, before it sleeps.
constexpr std::chrono::microseconds kParkSpin{200};

} // namespace

SplitterFilter::SplitterFilter(std::string objectName) : Filter(std::move(objectName)) {}

SplitterFilter::~SplitterFilter()
{
    quitThreads();
    for (auto &out : m_outputs)
        if (out->allocator())
            out->allocator()->decommit();
    joinThreads();
}

std::vector<Pin *> SplitterFilter::pins()
{
    std::vector<Pin *> list;
    for (auto &out : m_outputs)
        list.push_back(out.get());
    if (auto *in = inputPin())
        list.push_back(in);
    return list;
}

OutputPin &SplitterFilter::addOutput(std::string name)
{
    m_outputs.push_back(std::make_unique<OutputPin>(*this, std::move(name)));
    return *m_outputs.back();
}

void SplitterFilter::removeOutputs()
{
    for (auto &out : m_outputs)
        disconnectPins(*out);
    m_outputs.clear();
}

std::size_t SplitterFilter::streamOf(const Pin &pin) const
{
    for (std::size_t i = 0; i < m_outputs.size(); ++i)
        if (m_outputs[i].get() == &pin)
            return i;
    return m_outputs.size();
}

std::vector<MediaType> SplitterFilter::proposeTypes(const Pin &pin)
{
    const auto stream = streamOf(pin);
    return stream < m_outputs.size() ? OutputTypes(stream) : std::vector<MediaType>{};
}

bool SplitterFilter::checkPinType(const Pin &pin, const MediaType &type)
{
    const auto stream = streamOf(pin);
    if (stream >= m_outputs.size())
        return false;
    for (const auto &offered : OutputTypes(stream))
        if (offered == type)
            return true;
    return false;
}

bool SplitterFilter::completeConnect(Pin &pin)
{
    const auto stream = streamOf(pin);
    if (stream >= m_outputs.size())
        return true;
    auto allocator = std::make_unique<Allocator>();
    if (!DecideBufferSize(stream, *allocator))
        return false;
    // No properties set: the output hands on samples it did not allocate.
    if (allocator->properties().count > 0)
        m_outputs[stream]->setAllocator(std::move(allocator));
    return true;
}

bool SplitterFilter::Pause()
{
    const bool starting = state() == FilterState::Stopped;
    if (!Filter::Pause())
        return false;
    if (starting) {
        if (!StartStreaming()) {
            reportError(name() + ": the stream cannot start");
            return false;
        }
        m_streaming = true;
        // A root repositions itself; a splitter fed by another one starts
        // where its input's data starts.
        if (isSeekRoot() && !Seek(m_start.load())) {
            reportError(name() + ": cannot go to the start position");
            return false;
        }
        EndFlush();
        startThreads();
    }
    return true;
}

void SplitterFilter::Run(std::int64_t streamStart)
{
    Filter::Run(streamStart);
    // A stream waiting while paused for its samples to be let go reads on.
    if (!m_pausedReadAhead)
        for (auto &out : m_outputs)
            if (out->allocator())
                out->allocator()->wake();
}

void SplitterFilter::waitWhileHeld(OutputPin &out, std::uint64_t run)
{
    Allocator *pool = out.allocator();
    if (!pool || state() != FilterState::Paused)
        return;
    pool->waitUntilReturned([&] { return state() != FilterState::Paused || !runGoesOn(run); });
}

void SplitterFilter::BeginStop()
{
    quitThreads();
    Filter::BeginStop(); // decommits the pools: GetNextSample wakes
    BeginFlush();
}

bool SplitterFilter::commitPools()
{
    for (auto &out : m_outputs)
        if (out->isConnected() && out->allocator() && !out->allocator()->commit())
            return false;
    return true;
}

void SplitterFilter::beginFlush(InputPin &)
{
    std::lock_guard lock(m_runMutex);
    beginFlushLocked();
}

void SplitterFilter::beginFlushLocked()
{
    // A thread that wakes from the flush finds its run over.
    m_flushes = m_flushes.load() + 1;
    // A second seek before the threads restarted finds downstream flushing.
    if (!m_flushOpen)
        deliverBeginFlushToOutputs();
    m_flushOpen = true;
    for (auto &out : m_outputs)
        if (out->allocator())
            out->allocator()->decommit();
    BeginFlush();
}

void SplitterFilter::endFlush(InputPin &)
{
    std::unique_lock lock(m_runMutex);
    // The threads left their runs at the flush: nothing of the old data may
    // follow the end of the flush downstream.
    // They are on their way (the flush woke them) and park within
    // microseconds: looking again for a moment spares this thread a sleep
    // and a wake-up, which take longer on a busy machine.
    if (m_active.load() != 0) {
        lock.unlock();
        const auto until = std::chrono::steady_clock::now() + kParkSpin;
        while (m_active.load() != 0 && std::chrono::steady_clock::now() < until)
            std::this_thread::yield();
        lock.lock();
    }
    m_runChanged.wait(lock, [this] { return m_active.load() == 0; });
    m_flushOpen = true; // the flush from upstream ends downstream as well
    restartLocked(lock);
}

bool SplitterFilter::restartLocked(std::unique_lock<std::mutex> &)
{
    const bool sought = !isSeekRoot() || Seek(m_start.load());
    EndFlush();
    if (m_flushOpen) {
        m_flushOpen = false;
        deliverEndFlushToOutputs();
    }
    if (!sought) {
        reportError(name() + ": cannot seek");
        return false;
    }
    if (!m_streaming.load() || isStopping() || m_quit.load() || m_threads.empty())
        return true;
    if (!commitPools()) {
        reportError(name() + ": cannot allocate the buffers");
        return false;
    }
    m_run = m_flushes.load();
    m_runStart = m_start.load();
    m_runStop = m_stop.load();
    m_active = m_threads.size();
    m_runChanged.notify_all();
    return true;
}

void SplitterFilter::JoinStreaming()
{
    joinThreads();
}

void SplitterFilter::Stop()
{
    joinThreads();
    {
        // A seek whose threads were stopped before they started again: its
        // flush ends, so that nothing downstream goes on refusing samples.
        std::unique_lock lock(m_runMutex);
        if (m_flushOpen) {
            m_flushOpen = false;
            EndFlush();
            deliverEndFlushToOutputs();
        }
    }
    if (m_streaming) {
        m_streaming = false;
        StopStreaming();
    }
    Filter::Stop();
}

void SplitterFilter::startThreads()
{
    std::lock_guard lock(m_runMutex);
    m_quit = false;
    m_run = m_flushes.load();
    m_runStart = m_start.load();
    m_runStop = m_stop.load();
    const bool root = isSeekRoot();
    for (std::size_t i = 0; i < m_outputs.size(); ++i)
        if (m_outputs[i]->isConnected())
            m_threads.emplace_back([this, i, root] { serve(i, root); });
    m_active = m_threads.size();
}

void SplitterFilter::quitThreads()
{
    {
        std::lock_guard lock(m_runMutex);
        m_quit = true;
    }
    m_runChanged.notify_all();
}

void SplitterFilter::joinThreads()
{
    // The threads take the mutex to park and to end: joined without it.
    std::vector<StreamingThread> threads;
    {
        std::lock_guard lock(m_runMutex);
        threads.swap(m_threads);
    }
    for (auto &thread : threads)
        thread.join();
}

// The mutex is held for short steps only (a flush, a restart): a thread that
// finds it taken looks again for a moment before it sleeps, as being woken
// takes longer than the wait.
void SplitterFilter::lockSoon(std::unique_lock<std::mutex> &lock)
{
    const auto until = std::chrono::steady_clock::now() + kParkSpin;
    while (!lock.try_lock())
        if (std::chrono::steady_clock::now() >= until) {
            lock.lock();
            return;
        } else {
            std::this_thread::yield();
        }
}

// A stream's thread: one run after another, parked in between, until the
// splitter stops.
void SplitterFilter::serve(std::size_t stream, bool root)
{
    std::unique_lock lock(m_runMutex);
    for (;;) {
        const std::uint64_t run = m_run;
        const std::int64_t start = m_runStart;
        const std::int64_t stop = m_runStop;
        lock.unlock();
        streamLoop(stream, root, run, start, stop);
        // Parked before the lock is taken: an end of flush looking for the
        // threads to park sees it at once (see endFlush); its wait is woken
        // below, with the lock held.
        const bool last = m_active.fetch_sub(1) == 1;
        lockSoon(lock);
        m_runChanged.notify_all();
        // After a seek the last thread of a root to park starts the next run.
        if (root && last && !m_quit.load() && m_flushes.load() != m_run) {
            try {
                restartLocked(lock);
            } catch (const std::exception &e) {
                reportError(name() + ": " + e.what());
            } catch (...) {
                reportError(name() + ": the seek failed");
            }
        }
        m_runChanged.wait(lock, [&] { return m_quit.load() || m_run != run; });
        if (m_quit.load()) {
            // Counted in a run it will not make: the count must still fall.
            if (m_run != run) {
                --m_active;
                m_runChanged.notify_all();
            }
            return;
        }
    }
}

void SplitterFilter::streamLoop(std::size_t stream, bool root, std::uint64_t run,
                                std::int64_t start, std::int64_t stop)
{
    // Nothing thrown by a hook on this thread may end the process: it ends
    // the stream and raises error-abort like an Error result.
    try {
        runStream(stream, root, run, start, stop);
    } catch (const std::exception &e) {
        reportError(name() + ": " + e.what());
    } catch (...) {
        reportError(name() + ": the stream failed");
    }
}

void SplitterFilter::runStream(std::size_t stream, bool root, std::uint64_t run, std::int64_t start,
                               std::int64_t stop)
{
    OutputPin &out = *m_outputs[stream];
    if (root)
        out.deliverNewSegment(start, stop < 0 ? Duration() : stop);
    while (runGoesOn(run)) {
        SamplePtr sample;
        Flow result = GetNextSample(stream, sample);
        if (result == Flow::Ok && !sample)
            result = Flow::Error;
        if (result == Flow::Ok && root && sample->time) {
            if (stop >= 0 && sample->time->start >= stop)
                result = Flow::EndOfStream;
            else
                sample->time = TimeRange{sample->time->start - start, sample->time->stop - start};
        }
        if (result == Flow::EndOfStream) {
            out.deliverEndOfStream();
            return;
        }
        if (result == Flow::Error) {
            reportError(name() + ": stream " + out.name() + " cannot be read");
            return;
        }
        if (result != Flow::Ok)
            return;
        result = out.deliver(sample);
        sample.reset();
        if (result == Flow::Error) {
            reportError(name() + ": stream " + out.name() + " stopped with an error downstream");
            return;
        }
        if (result != Flow::Ok)
            return;
        if (!m_pausedReadAhead)
            waitWhileHeld(out, run);
    }
}

MediaTimeSeeker *SplitterFilter::seeker()
{
    return isSeekRoot() ? this : Filter::seeker();
}

bool SplitterFilter::isSeekRoot() const
{
    auto *self = const_cast<SplitterFilter *>(this);
    auto *in = self->inputPin();
    return !in || !in->peer() || !in->peer()->filter().seeker();
}

std::optional<std::int64_t> SplitterFilter::duration() const
{
    return const_cast<SplitterFilter *>(this)->Duration();
}

std::optional<std::int64_t> SplitterFilter::currentPosition() const
{
    return m_start.load();
}

std::optional<std::int64_t> SplitterFilter::stopPosition() const
{
    const auto stop = m_stop.load();
    if (stop >= 0)
        return stop;
    return duration();
}

std::int64_t SplitterFilter::frameDuration() const
{
    return const_cast<SplitterFilter *>(this)->FrameDuration();
}

FrameRate SplitterFilter::frameRate() const
{
    return const_cast<SplitterFilter *>(this)->ExactFrameRate();
}

bool SplitterFilter::setPositions(std::optional<std::int64_t> current,
                                  std::optional<std::int64_t> stop)
{
    std::unique_lock lock(m_runMutex);
    if (stop)
        m_stop = std::max<std::int64_t>(*stop, 0);
    if (!current)
        return true;
    const std::int64_t position = std::max<std::int64_t>(*current, 0);
    const bool streaming = !m_threads.empty() || (m_streaming && !isStopping());
    m_start = position;
    if (!streaming)
        return true;
    beginFlushLocked();
    // Threads still in a run restart the streams once the last has parked;
    // when every one is parked already (the streams had ended) the seek
    // happens here.
    if (m_active == 0)
        return restartLocked(lock);
    return true;
}

} // namespace vidora::media
