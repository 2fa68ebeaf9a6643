// Automatic graph building: Render and RenderStream.
#include "platform/media/graph.h"

namespace vidora::media {

namespace {

// Chains longer than this (decoder, converter, renderer…) are not tried.
constexpr int MaxDepth = 4;

InputPin *firstFreeInput(Filter &filter)
{
    for (auto *in : filter.inputPins())
        if (!in->isConnected())
            return in;
    return nullptr;
}

bool offersMajor(OutputPin &out, MajorType major)
{
    for (const auto &type : out.mediaTypes())
        if (type.major() == major)
            return true;
    return false;
}

} // namespace

bool FilterGraph::renderOutputs(Filter &filter, int depth)
{
    std::vector<OutputPin *> free;
    for (auto *out : filter.outputPins())
        if (!out->isConnected())
            free.push_back(out);
    // A filter whose outputs are all taken (or that has none) ends a chain.
    if (free.empty())
        return true;
    bool any = false;
    for (auto *out : free)
        any = renderPin(*out, depth + 1) || any;
    return any;
}

bool FilterGraph::renderPin(OutputPin &out, int depth)
{
    if (depth > MaxDepth || out.isConnected())
        return false;
    // Filters already in the graph first, in the order they were added.
    for (auto *f : filters()) {
        if (f == &out.filter())
            continue;
        for (auto *in : f->inputPins()) {
            if (in->isConnected() || !connectChecked(out, *in, nullptr))
                continue;
            if (renderOutputs(*f, depth))
                return true;
            disconnectPins(out);
        }
    }
    if (!m_registry)
        return false;
    for (const auto &factory : m_registry->byMerit()) {
        auto filter = factory.create();
        Filter *raw = filter.get();
        if (!raw || !AddFilter(std::move(filter), factory.name))
            continue;
        InputPin *in = firstFreeInput(*raw);
        if (in && connectChecked(out, *in, nullptr)) {
            if (renderOutputs(*raw, depth))
                return true;
        }
        RemoveFilter(*raw);
    }
    return false;
}

bool FilterGraph::connectVia(OutputPin &out, InputPin &in, const MediaType *partial, int depth)
{
    if (connectChecked(out, in, partial))
        return true;
    if (depth >= MaxDepth || !m_registry)
        return false;
    for (const auto &factory : m_registry->byMerit()) {
        auto filter = factory.create();
        Filter *raw = filter.get();
        if (!raw || !AddFilter(std::move(filter), factory.name))
            continue;
        InputPin *middleIn = firstFreeInput(*raw);
        if (middleIn && connectChecked(out, *middleIn, partial)) {
            for (auto *middleOut : raw->outputPins())
                if (!middleOut->isConnected() && connectVia(*middleOut, in, nullptr, depth + 1))
                    return true;
        }
        RemoveFilter(*raw);
    }
    return false;
}

bool FilterGraph::Render(OutputPin &pin)
{
    std::lock_guard lock(m_control);
    if (m_state.load() != FilterState::Stopped || !contains(pin.filter()))
        return false;
    return renderPin(pin, 0);
}

bool FilterGraph::renderStreamFrom(std::optional<MajorType> major, OutputPin &source,
                                   Filter *intermediate, Filter *sink)
{
    if (source.isConnected() || (major && !offersMajor(source, *major)))
        return false;
    const MediaType partial = major ? MediaType(*major) : MediaType();
    const MediaType *firstHop = major ? &partial : nullptr;
    const auto before = filters();
    InputPin *intermediateIn = nullptr;
    auto undo = [&] {
        for (auto *f : filters())
            if (std::find(before.begin(), before.end(), f) == before.end())
                RemoveFilter(*f);
        disconnectPins(source);
        if (intermediateIn)
            disconnectPins(*intermediateIn);
        return false;
    };
    OutputPin *current = &source;
    if (intermediate) {
        intermediateIn = firstFreeInput(*intermediate);
        if (!intermediateIn || !connectVia(source, *intermediateIn, firstHop, 0))
            return undo();
        firstHop = nullptr;
        current = nullptr;
        for (auto *out : intermediate->outputPins())
            if (!out->isConnected()) {
                current = out;
                break;
            }
        if (!current)
            return sink ? undo() : true;
    }
    if (sink) {
        InputPin *sinkIn = firstFreeInput(*sink);
        if (!sinkIn || !connectVia(*current, *sinkIn, firstHop, 0)) {
            if (current != &source)
                disconnectPins(*current);
            return undo();
        }
        return true;
    }
    if (!renderPin(*current, 0))
        return undo();
    return true;
}

bool FilterGraph::RenderStream(std::optional<MajorType> major, OutputPin &source,
                               Filter *intermediate, Filter *sink)
{
    std::lock_guard lock(m_control);
    if (m_state.load() != FilterState::Stopped || !contains(source.filter()) ||
        (intermediate && !contains(*intermediate)) || (sink && !contains(*sink)))
        return false;
    return renderStreamFrom(major, source, intermediate, sink);
}

bool FilterGraph::RenderStream(std::optional<MajorType> major, Filter &source, Filter *intermediate,
                               Filter *sink)
{
    std::lock_guard lock(m_control);
    if (m_state.load() != FilterState::Stopped || !contains(source) ||
        (intermediate && !contains(*intermediate)) || (sink && !contains(*sink)))
        return false;
    for (auto *out : source.outputPins())
        if (!out->isConnected() && renderStreamFrom(major, *out, intermediate, sink))
            return true;
    return false;
}

} // namespace vidora::media
