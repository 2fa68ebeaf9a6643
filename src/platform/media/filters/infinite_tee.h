#pragma once

// The infinite pin tee: one input, then outputs; after each output
// connection a new free output is added at the end. Every sample goes to
// every connected output on the input's streaming thread, the same data (no
// copy): with more than one branch each gets a read-only view of the sample
// (MediaSample::sharedView), so a branch that changes data works on a copy and
// the properties, a note among them, are each branch's own.
#include "platform/media/filter.h"

namespace vidora::media {

class InfiniteTeeFilter final : public Filter
{
public:
    InfiniteTeeFilter();

    std::vector<Pin *> pins() override;
    InputPin &input() { return m_input; }

    std::vector<MediaType> proposeTypes(const Pin &pin) override;
    bool checkPinType(const Pin &pin, const MediaType &type) override;
    void pinConnected(Pin &pin) override;
    Flow receive(InputPin &pin, const SamplePtr &sample) override;
    AllocatorProperties outputProperties(const OutputPin &pin) override;

private:
    InputPin m_input;
    std::vector<std::unique_ptr<OutputPin>> m_outputs; // changed while stopped
};

} // namespace vidora::media
