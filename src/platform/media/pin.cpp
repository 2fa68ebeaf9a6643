#include "platform/media/pin.h"

#include "platform/media/filter.h"

namespace vidora::media {

Pin::Pin(Filter &owner, std::string name, PinDirection direction)
    : m_filter(owner), m_name(std::move(name)), m_direction(direction)
{}

Pin::~Pin() = default;

std::vector<MediaType> Pin::mediaTypes() const
{
    return m_filter.proposeTypes(*this);
}

bool Pin::acceptsType(const MediaType &type) const
{
    return m_filter.checkPinType(*this, type);
}

void *Pin::interfaceFor(const std::type_info &type)
{
    return m_filter.pinInterface(*this, type);
}

InputPin::InputPin(Filter &owner, std::string name)
    : Pin(owner, std::move(name), PinDirection::Input)
{}

Flow InputPin::receive(const SamplePtr &sample)
{
    if (m_flushing.load())
        return Flow::Flushing;
    return filter().receive(*this, sample);
}

Flow InputPin::endOfStream()
{
    if (m_flushing.load())
        return Flow::Flushing;
    return filter().endOfStream(*this);
}

void InputPin::beginFlush()
{
    m_flushing = true;
    filter().beginFlush(*this);
}

void InputPin::endFlush()
{
    filter().endFlush(*this);
    m_flushing = false;
}

void InputPin::newSegment(std::int64_t start, std::int64_t stop)
{
    filter().newSegment(*this, start, stop);
}

AllocatorProperties InputPin::upstreamProperties() const
{
    if (auto *out = dynamic_cast<OutputPin *>(peer()))
        return out->allocatorProperties();
    return {};
}

OutputPin::OutputPin(Filter &owner, std::string name)
    : Pin(owner, std::move(name), PinDirection::Output)
{}

Flow OutputPin::deliver(const SamplePtr &sample)
{
    auto *in = static_cast<InputPin *>(peer());
    return in ? in->receive(sample) : Flow::Ok;
}

Flow OutputPin::deliverEndOfStream()
{
    auto *in = static_cast<InputPin *>(peer());
    return in ? in->endOfStream() : Flow::Ok;
}

void OutputPin::deliverBeginFlush()
{
    if (auto *in = static_cast<InputPin *>(peer()))
        in->beginFlush();
}

void OutputPin::deliverEndFlush()
{
    if (auto *in = static_cast<InputPin *>(peer()))
        in->endFlush();
}

void OutputPin::deliverNewSegment(std::int64_t start, std::int64_t stop)
{
    if (auto *in = static_cast<InputPin *>(peer()))
        in->newSegment(start, stop);
}

AllocatorProperties OutputPin::allocatorProperties() const
{
    return filter().outputProperties(*this);
}

namespace {

bool tryType(OutputPin &out, InputPin &in, const MediaType &type)
{
    if (!out.acceptsType(type) || !in.acceptsType(type))
        return false;
    return true;
}

} // namespace

bool connectPins(OutputPin &out, InputPin &in, const MediaType *partial)
{
    if (out.isConnected() || in.isConnected() || &out.filter() == &in.filter())
        return false;
    std::vector<MediaType> candidates;
    if (partial && !partial->isPartial()) {
        candidates.push_back(*partial);
    } else {
        for (auto &type : out.mediaTypes())
            candidates.push_back(std::move(type));
        for (auto &type : in.mediaTypes())
            candidates.push_back(std::move(type));
    }
    for (const auto &type : candidates) {
        if (partial && !type.matches(*partial))
            continue;
        if (!tryType(out, in, type))
            continue;
        out.m_peer = &in;
        in.m_peer = &out;
        out.m_type = type;
        in.m_type = type;
        // The input first: an output pin sizes its pool from what the input
        // side asks for.
        if (in.filter().completeConnect(in) && out.filter().completeConnect(out)) {
            in.filter().pinConnected(in);
            out.filter().pinConnected(out);
            return true;
        }
        out.m_peer = nullptr;
        in.m_peer = nullptr;
        out.m_type = MediaType();
        in.m_type = MediaType();
    }
    return false;
}

bool disconnectPins(Pin &pin)
{
    Pin *other = pin.m_peer;
    if (!other)
        return false;
    pin.m_peer = nullptr;
    other->m_peer = nullptr;
    pin.m_type = MediaType();
    other->m_type = MediaType();
    pin.filter().pinDisconnected(pin);
    other->filter().pinDisconnected(*other);
    return true;
}

} // namespace vidora::media
