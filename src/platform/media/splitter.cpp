#include "platform/media/splitter.h"

#include <exception>
#include <limits>

namespace vidora::media {

SplitterFilter::SplitterFilter(std::string objectName) : Filter(std::move(objectName)) {}

SplitterFilter::~SplitterFilter()
{
    m_endThreads = true;
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

void SplitterFilter::BeginStop()
{
    m_endThreads = true;
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
    deliverBeginFlushToOutputs();
    m_endThreads = true;
    for (auto &out : m_outputs)
        if (out->allocator())
            out->allocator()->decommit();
    BeginFlush();
    joinThreads();
}

void SplitterFilter::endFlush(InputPin &)
{
    EndFlush();
    deliverEndFlushToOutputs();
    if (!m_streaming.load() || isStopping())
        return;
    if (!commitPools()) {
        reportError(name() + ": cannot allocate the buffers");
        return;
    }
    startThreads();
}

void SplitterFilter::JoinStreaming()
{
    joinThreads();
}

void SplitterFilter::Stop()
{
    joinThreads();
    if (m_streaming) {
        m_streaming = false;
        StopStreaming();
    }
    Filter::Stop();
}

void SplitterFilter::startThreads()
{
    std::lock_guard lock(m_threadsMutex);
    m_endThreads = false;
    const std::int64_t start = m_start.load();
    const std::int64_t stop = m_stop.load();
    const bool root = isSeekRoot();
    for (std::size_t i = 0; i < m_outputs.size(); ++i)
        if (m_outputs[i]->isConnected())
            m_threads.emplace_back(
                [this, i, root, start, stop] { streamLoop(i, root, start, stop); });
}

void SplitterFilter::joinThreads()
{
    std::lock_guard lock(m_threadsMutex);
    for (auto &thread : m_threads)
        thread.join();
    m_threads.clear();
}

void SplitterFilter::streamLoop(std::size_t stream, bool root, std::int64_t start,
                                std::int64_t stop)
{
    // Nothing thrown by a hook on this thread may end the process: it ends
    // the stream and raises error-abort like an Error result.
    try {
        runStream(stream, root, start, stop);
    } catch (const std::exception &e) {
        reportError(name() + ": " + e.what());
    } catch (...) {
        reportError(name() + ": the stream failed");
    }
}

void SplitterFilter::runStream(std::size_t stream, bool root, std::int64_t start, std::int64_t stop)
{
    OutputPin &out = *m_outputs[stream];
    if (root)
        out.deliverNewSegment(start, stop < 0 ? Duration() : stop);
    while (!m_endThreads.load()) {
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

bool SplitterFilter::setPositions(std::optional<std::int64_t> current,
                                  std::optional<std::int64_t> stop)
{
    std::lock_guard lock(m_threadsMutex);
    if (stop)
        m_stop = std::max<std::int64_t>(*stop, 0);
    if (!current)
        return true;
    const std::int64_t position = std::max<std::int64_t>(*current, 0);
    const bool streaming = !m_threads.empty() || (m_streaming && !isStopping());
    if (!streaming) {
        m_start = position;
        return true;
    }
    for (auto &out : m_outputs)
        out->deliverBeginFlush();
    m_endThreads = true;
    for (auto &out : m_outputs)
        if (out->allocator())
            out->allocator()->decommit();
    joinThreads();
    m_start = position;
    const bool sought = Seek(position);
    for (auto &out : m_outputs)
        out->deliverEndFlush();
    if (!sought) {
        reportError(name() + ": cannot seek");
        return false;
    }
    if (isStopping())
        return true;
    if (!commitPools())
        return false;
    startThreads();
    return true;
}

} // namespace vidora::media
