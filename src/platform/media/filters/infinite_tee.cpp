#include "platform/media/filters/infinite_tee.h"

namespace vidora::media {

InfiniteTeeFilter::InfiniteTeeFilter() : Filter("Infinite Pin Tee Filter"), m_input(*this, "Input")
{
    m_outputs.push_back(std::make_unique<OutputPin>(*this, "Output1"));
}

std::vector<Pin *> InfiniteTeeFilter::pins()
{
    std::vector<Pin *> list{&m_input};
    for (auto &out : m_outputs)
        list.push_back(out.get());
    return list;
}

std::vector<MediaType> InfiniteTeeFilter::proposeTypes(const Pin &pin)
{
    if (&pin == &m_input || !m_input.isConnected())
        return {};
    return {m_input.connectionType()};
}

bool InfiniteTeeFilter::checkPinType(const Pin &pin, const MediaType &type)
{
    if (&pin == &m_input)
        return true;
    return m_input.isConnected() && type == m_input.connectionType();
}

void InfiniteTeeFilter::pinConnected(Pin &pin)
{
    if (pin.direction() != PinDirection::Output)
        return;
    for (auto &out : m_outputs)
        if (!out->isConnected())
            return;
    m_outputs.push_back(
        std::make_unique<OutputPin>(*this, "Output" + std::to_string(m_outputs.size() + 1)));
}

Flow InfiniteTeeFilter::receive(InputPin &, const SamplePtr &sample)
{
    if (!isFlowing())
        return Flow::Flushing;
    std::vector<OutputPin *> branches;
    for (auto &out : m_outputs)
        if (out->isConnected())
            branches.push_back(out.get());
    bool anyOk = branches.empty();
    Flow other = Flow::Flushing;
    for (auto *out : branches) {
        // Branches may keep the sample past this call (a queued filter): each
        // has a read-only view of its own, so a note attached on one branch
        // is not written under another branch's reader.
        const Flow result =
            out->deliver(branches.size() > 1 ? MediaSample::sharedView(sample) : sample);
        if (result == Flow::Error)
            return result;
        if (result == Flow::Ok)
            anyOk = true;
        else
            other = result;
    }
    // One branch that still takes data keeps the stream going.
    return anyOk ? Flow::Ok : other;
}

AllocatorProperties InfiniteTeeFilter::outputProperties(const OutputPin &)
{
    return m_input.upstreamProperties();
}

} // namespace vidora::media
