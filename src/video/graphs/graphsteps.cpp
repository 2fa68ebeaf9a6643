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

std::vector<media::Pin *> PinsFrom(media::Filter &filter, std::size_t first)
{
    std::vector<media::Pin *> pins = filter.pins();
    if (first >= pins.size())
        return {};
    return {pins.begin() + static_cast<std::ptrdiff_t>(first), pins.end()};
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

void SplitSource(media::FilterGraph &graph, media::Filter &fileSource, media::Filter &aviSplitter)
{
    Plain(graph, PinAt(fileSource, 0), PinAt(aviSplitter, 0));
    Check(PinCount(aviSplitter) < 2, "the source has no stream");
}

media::Pin &RequireStreamTo(media::FilterGraph &graph, media::Filter &aviSplitter,
                            media::Pin &target)
{
    media::Pin *found = SearchDirect(graph, SplitterOutputs(aviSplitter), target);
    Required(found != nullptr, "no stream reaches the filter");
    return *found;
}

media::Pin *SearchThroughConverter(media::FilterGraph &graph,
                                   const std::vector<media::Pin *> &candidates,
                                   media::Filter &converter, media::Filter &target,
                                   std::size_t targetPin)
{
    for (media::Pin *candidate : candidates) {
        if (candidate != nullptr && Plain(graph, *candidate, PinAt(converter, 0))) {
            Plain(graph, PinAt(converter, 1), PinAt(target, targetPin));
            return candidate;
        }
    }
    return nullptr;
}

media::Filter *NthConverter(int n, media::Filter &first, media::Filter &second)
{
    return n == 1 ? &first : n == 2 ? &second : nullptr;
}

void RequireMuxFed(media::Filter &aviMux)
{
    Check(PinCount(aviMux) < 3, "no stream reaches the AVI mux");
}

media::IMediaSeeking *MuxToWriter(media::FilterGraph &graph, media::Filter &aviMux,
                                  media::Filter &fileWriter)
{
    RequireMuxFed(aviMux);
    Plain(graph, PinAt(aviMux, 0), PinAt(fileWriter, 0));
    return aviMux.queryInterface<media::IMediaSeeking>();
}

void Tee(media::FilterGraph &graph, media::Pin &upstream, media::Filter &tee,
         media::Pin &downstream, media::Filter &renderer)
{
    Plain(graph, upstream, PinAt(tee, 0));
    Plain(graph, PinAt(tee, 1), downstream);
    Plain(graph, PinAt(tee, 2), PinAt(renderer, 0));
}

} // namespace vidora::graphsteps
