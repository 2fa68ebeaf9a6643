#include "platform/media/filter.h"

#include "platform/media/graph.h"

namespace vidora::media {

Filter::Filter(std::string objectName) : m_objectName(std::move(objectName)) {}

Filter::~Filter() = default;

Pin *Filter::pin(std::size_t index)
{
    const auto list = pins();
    return index < list.size() ? list[index] : nullptr;
}

std::vector<InputPin *> Filter::inputPins()
{
    std::vector<InputPin *> result;
    for (auto *p : pins())
        if (p->direction() == PinDirection::Input)
            result.push_back(static_cast<InputPin *>(p));
    return result;
}

std::vector<OutputPin *> Filter::outputPins()
{
    std::vector<OutputPin *> result;
    for (auto *p : pins())
        if (p->direction() == PinDirection::Output)
            result.push_back(static_cast<OutputPin *>(p));
    return result;
}

bool Filter::Pause()
{
    if (m_state.load() == FilterState::Stopped) {
        for (auto *out : outputPins()) {
            if (out->isConnected() && out->allocator() && !out->allocator()->commit()) {
                reportError(m_name + ": cannot allocate the buffers of pin " + out->name());
                return false;
            }
        }
    }
    m_state = FilterState::Paused;
    return true;
}

void Filter::Run(std::int64_t)
{
    m_state = FilterState::Running;
}

void Filter::BeginStop()
{
    m_stopping = true;
    for (auto *out : outputPins())
        if (out->allocator())
            out->allocator()->decommit();
}

void Filter::JoinStreaming() {}

void Filter::Stop()
{
    m_state = FilterState::Stopped;
    m_stopping = false;
}

MediaTimeSeeker *Filter::seeker()
{
    for (auto *in : inputPins())
        if (in->peer())
            return in->peer()->filter().seeker();
    return nullptr;
}

std::vector<MediaType> Filter::proposeTypes(const Pin &)
{
    return {};
}

bool Filter::completeConnect(Pin &)
{
    return true;
}

void Filter::pinConnected(Pin &) {}

void Filter::pinDisconnected(Pin &) {}

Flow Filter::receive(InputPin &, const SamplePtr &)
{
    return Flow::Error;
}

Flow Filter::endOfStream(InputPin &)
{
    return deliverEndOfStreamToOutputs();
}

void Filter::beginFlush(InputPin &)
{
    deliverBeginFlushToOutputs();
}

void Filter::endFlush(InputPin &)
{
    deliverEndFlushToOutputs();
}

void Filter::newSegment(InputPin &, std::int64_t start, std::int64_t stop)
{
    deliverNewSegmentToOutputs(start, stop);
}

AllocatorProperties Filter::outputProperties(const OutputPin &pin)
{
    auto &out = const_cast<OutputPin &>(pin);
    return out.allocator() ? out.allocator()->properties() : AllocatorProperties{};
}

void *Filter::interfaceFor(const std::type_info &type)
{
    if (type == typeid(IMediaSeeking) && seeker())
        return static_cast<IMediaSeeking *>(&m_seeking);
    return nullptr;
}

void *Filter::pinInterface(const Pin &, const std::type_info &)
{
    return nullptr;
}

void Filter::reportError(const std::string &message)
{
    if (m_graph)
        m_graph->filterError(*this, message);
}

ReferenceClock *Filter::clock() const
{
    return m_graph ? m_graph->streamingClock() : nullptr;
}

void Filter::notifyCued()
{
    if (m_graph)
        m_graph->rendererCued(*this);
}

void Filter::notifyComplete()
{
    if (m_graph)
        m_graph->rendererComplete(*this);
}

void Filter::notifyFlushed()
{
    if (m_graph)
        m_graph->rendererFlushed(*this);
}

Flow Filter::deliverEndOfStreamToOutputs()
{
    for (auto *out : outputPins())
        out->deliverEndOfStream();
    return Flow::Ok;
}

void Filter::deliverBeginFlushToOutputs()
{
    for (auto *out : outputPins())
        out->deliverBeginFlush();
}

void Filter::deliverEndFlushToOutputs()
{
    for (auto *out : outputPins())
        out->deliverEndFlush();
}

void Filter::deliverNewSegmentToOutputs(std::int64_t start, std::int64_t stop)
{
    for (auto *out : outputPins())
        out->deliverNewSegment(start, stop);
}

std::optional<std::int64_t> Filter::Forwarder::duration() const
{
    auto *s = m_filter.seeker();
    return s ? s->duration() : std::nullopt;
}

std::optional<std::int64_t> Filter::Forwarder::currentPosition() const
{
    if (auto position = m_filter.renderedPosition())
        return position;
    // Progress is where the renderers are, not where the stream started.
    if (m_filter.m_graph && m_filter.state() != FilterState::Stopped)
        return m_filter.m_graph->currentPosition();
    auto *s = m_filter.seeker();
    return s ? s->currentPosition() : std::nullopt;
}

std::optional<std::int64_t> Filter::Forwarder::stopPosition() const
{
    auto *s = m_filter.seeker();
    return s ? s->stopPosition() : std::nullopt;
}

bool Filter::Forwarder::setPositions(std::optional<std::int64_t> current,
                                     std::optional<std::int64_t> stop)
{
    auto *s = m_filter.seeker();
    return s && s->setPositions(current, stop);
}

std::int64_t Filter::Forwarder::frameDuration() const
{
    auto *s = m_filter.seeker();
    return s ? s->frameDuration() : 0;
}

FrameRate Filter::Forwarder::frameRate() const
{
    auto *s = m_filter.seeker();
    return s ? s->frameRate() : FrameRate{};
}

} // namespace vidora::media
