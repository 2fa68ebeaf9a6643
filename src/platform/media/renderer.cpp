#include "platform/media/renderer.h"

namespace vidora::media {

RendererFilter::RendererFilter(std::string objectName, std::string inputName)
    : Filter(std::move(objectName)), m_input(*this, std::move(inputName))
{}

RendererFilter::~RendererFilter()
{
    if (m_clock)
        m_clock->removeListener(this);
}

bool RendererFilter::checkPinType(const Pin &, const MediaType &type)
{
    return CheckInputType(type);
}

bool RendererFilter::aborted() const
{
    return m_flushing || !isFlowing();
}

bool RendererFilter::Pause()
{
    if (state() == FilterState::Stopped) {
        if (!Filter::Pause())
            return false;
        if (m_input.isConnected()) {
            if (!StartStreaming()) {
                reportError(name() + ": the stream cannot start");
                return false;
            }
            m_streaming = true;
        }
        m_clock = UsesClock() ? clock() : nullptr;
        if (m_clock)
            m_clock->addListener(this);
    }
    {
        std::lock_guard lock(m_mutex);
        m_state = FilterState::Paused;
        m_cued = m_endOfStream || m_inReceive;
    }
    m_wake.notify_all();
    return true;
}

void RendererFilter::Run(std::int64_t streamStart)
{
    bool complete = false;
    {
        std::lock_guard lock(m_mutex);
        m_streamStart = streamStart;
        m_state = FilterState::Running;
        if (m_endOfStream && !m_completeSent) {
            m_completeSent = true;
            complete = true;
        }
    }
    m_wake.notify_all();
    if (complete) {
        m_completed = true;
        notifyComplete();
    }
}

void RendererFilter::BeginStop()
{
    {
        std::lock_guard lock(m_mutex);
        Filter::BeginStop();
    }
    m_wake.notify_all();
}

void RendererFilter::Stop()
{
    if (m_streaming) {
        m_streaming = false;
        StopStreaming();
    }
    if (m_clock) {
        m_clock->removeListener(this);
        m_clock = nullptr;
    }
    {
        std::lock_guard lock(m_mutex);
        m_endOfStream = m_completeSent = m_inReceive = m_flushing = false;
        m_cued = false;
        m_completed = false;
        m_hasPosition = false;
        Filter::Stop();
    }
}

std::optional<std::int64_t> RendererFilter::renderedPosition() const
{
    if (!m_hasPosition.load())
        return std::nullopt;
    return m_position.load();
}

void RendererFilter::clockChanged()
{
    {
        std::lock_guard lock(m_mutex);
    }
    m_wake.notify_all();
}

void RendererFilter::cued()
{
    notifyCued();
    if (m_cueObserver)
        m_cueObserver();
}

Flow RendererFilter::receive(InputPin &, const SamplePtr &sample)
{
    std::unique_lock lock(m_mutex);
    if (aborted())
        return Flow::Flushing;
    if (m_endOfStream)
        return Flow::EndOfStream;
    if (sample->time) {
        m_position = m_segmentStart + sample->time->start;
        m_hasPosition = true;
    }
    m_inReceive = true;
    if (state() == FilterState::Paused && !m_cued.load()) {
        // The hook sees the sample before anyone can see the renderer cued.
        lock.unlock();
        OnReceiveFirstSample(*sample);
        lock.lock();
        if (!aborted()) {
            m_cued = true;
            lock.unlock();
            cued();
            lock.lock();
        }
    }
    for (;;) {
        m_wake.wait(lock, [this] { return aborted() || state() == FilterState::Running; });
        if (aborted()) {
            m_inReceive = false;
            return Flow::Flushing;
        }
        if (!m_clock || !sample->time)
            break;
        const std::int64_t due = m_streamStart + sample->time->start;
        while (!aborted() && state() == FilterState::Running && m_clock->now() < due)
            m_wake.wait_until(lock, m_clock->deadlineFor(due));
        if (aborted()) {
            m_inReceive = false;
            return Flow::Flushing;
        }
        if (state() == FilterState::Running)
            break;
        // Paused while waiting for the time: hold the sample again.
    }
    m_inReceive = false;
    lock.unlock();
    const Flow result = DoRenderSample(*sample);
    if (result == Flow::Error)
        reportError(name() + ": a sample cannot be rendered");
    return result;
}

Flow RendererFilter::endOfStream(InputPin &)
{
    bool cuedNow = false;
    bool complete = false;
    {
        std::lock_guard lock(m_mutex);
        if (aborted())
            return Flow::Flushing;
        m_endOfStream = true;
        if (!m_cued.load()) {
            m_cued = true;
            cuedNow = state() == FilterState::Paused;
        }
        if (state() == FilterState::Running && !m_completeSent) {
            m_completeSent = true;
            complete = true;
        }
    }
    if (cuedNow)
        cued();
    if (complete) {
        m_completed = true;
        notifyComplete();
    }
    return Flow::Ok;
}

void RendererFilter::beginFlush(InputPin &)
{
    {
        // The held frame is gone from here on: the end of the flush may come
        // later, from the thread that brings the frame at the new position.
        std::lock_guard lock(m_mutex);
        m_flushing = true;
        m_cued = false;
        m_hasPosition = false;
    }
    m_wake.notify_all();
    notifyFlushed();
}

void RendererFilter::endFlush(InputPin &)
{
    {
        std::lock_guard lock(m_mutex);
        m_flushing = false;
        m_endOfStream = false;
        m_completeSent = false;
        m_cued = false;
        m_completed = false;
        m_hasPosition = false;
    }
    notifyFlushed();
}

void RendererFilter::newSegment(InputPin &, std::int64_t start, std::int64_t)
{
    std::lock_guard lock(m_mutex);
    m_segmentStart = start;
}

} // namespace vidora::media
