#include "video/graphs/graphsteps.h"

namespace vidora::graphsteps {

media::Pin &PinAt(media::Filter &filter, std::size_t index)
{
    media::Pin *pin = filter.pin(index);
    if (pin == nullptr)
        throw BuildEnded("pin " + std::to_string(index) + " of \"" + filter.name() +
                         "\" does not exist");
    return *pin;
}

std::size_t PinCount(media::Filter &filter)
{
    return filter.pins().size();
}

media::Pin &LastPin(media::Filter &filter)
{
    const std::size_t count = PinCount(filter);
    if (count == 0)
        throw BuildEnded("\"" + filter.name() + "\" has no pin");
    return PinAt(filter, count - 1);
}

std::vector<media::Pin *> SplitterOutputs(media::Filter &aviSplitter)
{
    std::vector<media::Pin *> pins = aviSplitter.pins();
    if (!pins.empty())
        pins.pop_back();
    return pins;
}

bool Plain(media::FilterGraph &graph, media::Pin &a, media::Pin &b, const media::MediaType *partial)
{
    if (a.isConnected() || b.isConnected())
        return false;
    return graph.Connect(a, b, partial);
}

bool Direct(media::FilterGraph &graph, media::Pin &out, media::Pin &in,
            const media::MediaType *partial)
{
    if (out.direction() != media::PinDirection::Output ||
        in.direction() != media::PinDirection::Input || out.isConnected() || in.isConnected())
        return false;
    return graph.ConnectDirect(static_cast<media::OutputPin &>(out),
                               static_cast<media::InputPin &>(in), partial);
}

void Required(bool ok, const char *what)
{
    if (!ok)
        throw BuildEnded(what);
}

void Check(bool endsBuild, const char *what)
{
    if (endsBuild)
        throw BuildEnded(what);
}

media::Pin *SearchDirect(media::FilterGraph &graph, const std::vector<media::Pin *> &candidates,
                         media::Pin &target)
{
    for (media::Pin *candidate : candidates)
        if (candidate != nullptr && Direct(graph, *candidate, target))
            return candidate;
    return nullptr;
}

} // namespace vidora::graphsteps
