#include "platform/media/transform.h"

namespace vidora::media {

TransformFilter::TransformFilter(std::string objectName, std::string inputName,
                                 std::string outputName)
    : Filter(std::move(objectName)), m_input(*this, std::move(inputName)),
      m_output(*this, std::move(outputName))
{}

bool TransformFilter::checkPinType(const Pin &pin, const MediaType &type)
{
    if (&pin == &m_input)
        return CheckInputType(type);
    return m_input.isConnected() && CheckTransform(m_input.connectionType(), type);
}

std::vector<MediaType> TransformFilter::proposeTypes(const Pin &pin)
{
    std::vector<MediaType> types;
    if (&pin != &m_output || !m_input.isConnected())
        return types;
    for (int position = 0; position < 64; ++position) {
        auto type = GetMediaType(position);
        if (!type)
            break;
        types.push_back(std::move(*type));
    }
    return types;
}

bool TransformFilter::completeConnect(Pin &pin)
{
    if (&pin != &m_output)
        return true;
    auto allocator = std::make_unique<Allocator>();
    if (!DecideBufferSize(*allocator, m_input.upstreamProperties()))
        return false;
    m_output.setAllocator(std::move(allocator));
    return true;
}

bool TransformFilter::Pause()
{
    const bool starting = state() == FilterState::Stopped;
    if (!Filter::Pause())
        return false;
    if (starting && m_input.isConnected() && m_output.isConnected()) {
        if (!StartStreaming()) {
            reportError(name() + ": the stream cannot start");
            return false;
        }
        m_streaming = true;
    }
    return true;
}

void TransformFilter::Stop()
{
    if (m_streaming) {
        m_streaming = false;
        StopStreaming();
    }
    Filter::Stop();
}

Flow TransformFilter::receive(InputPin &, const SamplePtr &sample)
{
    if (!isFlowing())
        return Flow::Flushing;
    // A filter whose output is unconnected never started streaming: its hooks
    // have no state to work with and nothing would take the result. The
    // branch is a dead end; its upstream stream ends quietly.
    if (!m_streaming)
        return Flow::EndOfStream;
    return Receive(sample);
}

Flow TransformFilter::Receive(const SamplePtr &sample)
{
    Allocator *allocator = m_output.allocator();
    if (!allocator)
        return Flow::Error;
    SamplePtr out;
    const Flow got = allocator->getBuffer(out);
    if (got != Flow::Ok)
        return got;
    out->copyPropertiesFrom(*sample);
    // The output's type is this filter's: a type change upstream is not one here.
    out->typeChange.reset();
    const Flow result = Transform(*sample, *out);
    if (result == Flow::Error) {
        reportError(name() + ": a sample cannot be transformed");
        return result;
    }
    if (result != Flow::Ok)
        return result;
    return m_output.deliver(out);
}

Flow TransformFilter::Transform(const MediaSample &, MediaSample &)
{
    return Flow::Error;
}

InPlaceTransformFilter::InPlaceTransformFilter(std::string objectName, bool modifiesData)
    : TransformFilter(std::move(objectName)), m_modifiesData(modifiesData)
{}

bool InPlaceTransformFilter::CheckTransform(const MediaType &in, const MediaType &out)
{
    return in == out;
}

std::optional<MediaType> InPlaceTransformFilter::GetMediaType(int position)
{
    if (position != 0 || !input().isConnected())
        return std::nullopt;
    return input().connectionType();
}

bool InPlaceTransformFilter::completeConnect(Pin &)
{
    return true;
}

AllocatorProperties InPlaceTransformFilter::outputProperties(const OutputPin &)
{
    return input().upstreamProperties();
}

Flow InPlaceTransformFilter::Receive(const SamplePtr &sample)
{
    SamplePtr work = sample;
    if (m_modifiesData && sample->isReadOnly())
        work = sample->writableCopy();
    const Flow result = Transform(*work);
    if (result == Flow::Error) {
        reportError(name() + ": a sample cannot be transformed");
        return result;
    }
    if (result != Flow::Ok)
        return result;
    return output().deliver(work);
}

} // namespace vidora::media
