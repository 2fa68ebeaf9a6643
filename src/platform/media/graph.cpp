#include "platform/media/graph.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <exception>
#include <map>

namespace vidora::media {

namespace {
std::atomic<std::uint64_t> g_runs{0};
} // namespace

FilterGraph::FilterGraph(std::shared_ptr<EventExecutor> executor)
    : m_executor(executor ? std::move(executor) : std::make_shared<GuiEventExecutor>())
{}

FilterGraph::~FilterGraph()
{
    Clear();
}

bool FilterGraph::contains(const Filter &filter) const
{
    return filter.m_graph == this;
}

bool FilterGraph::AddFilter(std::shared_ptr<Filter> filter, const std::string &name)
{
    std::lock_guard lock(m_control);
    if (!filter || filter->m_graph || m_state.load() != FilterState::Stopped)
        return false;
    const std::string base = name.empty() ? filter->objectName() : name;
    std::string unique = base;
    for (int n = 1; FindFilterByName(unique); ++n) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, " %04d", n);
        unique = base + suffix;
    }
    filter->m_name = unique;
    filter->m_graph = this;
    m_filters.push_back(std::move(filter));
    return true;
}

bool FilterGraph::RemoveFilter(Filter &filter)
{
    std::lock_guard lock(m_control);
    if (!contains(filter) || m_state.load() != FilterState::Stopped)
        return false;
    for (auto *pin : filter.pins())
        disconnectPins(*pin);
    filter.m_graph = nullptr;
    std::erase_if(m_filters, [&](const auto &f) { return f.get() == &filter; });
    return true;
}

Filter *FilterGraph::FindFilterByName(const std::string &name) const
{
    std::lock_guard lock(m_control);
    for (const auto &f : m_filters)
        if (f->m_name == name)
            return f.get();
    return nullptr;
}

std::vector<Filter *> FilterGraph::filters() const
{
    std::lock_guard lock(m_control);
    std::vector<Filter *> list;
    for (const auto &f : m_filters)
        list.push_back(f.get());
    return list;
}

void FilterGraph::Clear()
{
    std::lock_guard lock(m_control);
    Stop();
    while (!m_filters.empty())
        RemoveFilter(*m_filters.back());
}

bool FilterGraph::Connect(Pin &a, Pin &b, const MediaType *partial)
{
    if (a.direction() == b.direction())
        return false;
    auto &out = static_cast<OutputPin &>(a.direction() == PinDirection::Output ? a : b);
    auto &in = static_cast<InputPin &>(a.direction() == PinDirection::Input ? a : b);
    return ConnectDirect(out, in, partial);
}

bool FilterGraph::closesLoop(Filter &from, Filter &to)
{
    // Is `to` the filter `from` or upstream of it? Graphs are small; a
    // plain walk over the inputs is enough.
    std::vector<Filter *> pending{&from};
    std::vector<Filter *> seen;
    while (!pending.empty()) {
        Filter *f = pending.back();
        pending.pop_back();
        if (f == &to)
            return true;
        if (std::find(seen.begin(), seen.end(), f) != seen.end())
            continue;
        seen.push_back(f);
        for (auto *in : f->inputPins())
            if (in->peer())
                pending.push_back(&in->peer()->filter());
    }
    return false;
}

bool FilterGraph::connectChecked(OutputPin &out, InputPin &in, const MediaType *partial)
{
    return !closesLoop(out.filter(), in.filter()) && connectPins(out, in, partial);
}

bool FilterGraph::ConnectDirect(OutputPin &out, InputPin &in, const MediaType *partial)
{
    std::lock_guard lock(m_control);
    if (m_state.load() != FilterState::Stopped || !contains(out.filter()) || !contains(in.filter()))
        return false;
    return connectChecked(out, in, partial);
}

bool FilterGraph::Disconnect(Pin &pin)
{
    std::lock_guard lock(m_control);
    if (m_state.load() != FilterState::Stopped || !contains(pin.filter()))
        return false;
    return disconnectPins(pin);
}

void FilterGraph::setRegistry(std::shared_ptr<const FilterRegistry> registry)
{
    std::lock_guard lock(m_control);
    m_registry = std::move(registry);
}

bool FilterGraph::SetSyncSource(std::shared_ptr<ReferenceClock> clock)
{
    std::lock_guard lock(m_control);
    if (m_state.load() != FilterState::Stopped)
        return false;
    m_clock = std::move(clock);
    return true;
}

bool FilterGraph::SetDefaultSyncSource()
{
    std::lock_guard lock(m_control);
    if (m_state.load() != FilterState::Stopped)
        return false;
    for (const auto &f : m_filters)
        if (auto *provider = dynamic_cast<IReferenceClockProvider *>(f.get()))
            if (auto clock = provider->referenceClock()) {
                m_clock = std::move(clock);
                return true;
            }
    m_clock = std::make_shared<SystemClock>();
    return true;
}

// Filters in stream order: every filter comes after the filters that feed it.
std::vector<Filter *> FilterGraph::upstreamFirst() const
{
    std::map<Filter *, int> feeding;
    for (const auto &f : m_filters) {
        feeding[f.get()];
        for (auto *in : f->inputPins())
            if (in->peer() && contains(in->peer()->filter()))
                ++feeding[f.get()];
    }
    std::vector<Filter *> order;
    std::vector<Filter *> ready;
    for (const auto &f : m_filters)
        if (feeding[f.get()] == 0)
            ready.push_back(f.get());
    for (std::size_t i = 0; i < ready.size(); ++i) {
        Filter *f = ready[i];
        order.push_back(f);
        for (auto *out : f->outputPins())
            if (out->peer() && contains(out->peer()->filter()) &&
                --feeding[&out->peer()->filter()] == 0)
                ready.push_back(&out->peer()->filter());
    }
    return order;
}

std::vector<Filter *> FilterGraph::renderers() const
{
    std::vector<Filter *> list;
    for (const auto &f : m_filters) {
        if (!f->isRenderer())
            continue;
        const auto inputs = f->inputPins();
        if (std::any_of(inputs.begin(), inputs.end(), [](auto *in) { return in->isConnected(); }))
            list.push_back(f.get());
    }
    return list;
}

std::vector<MediaTimeSeeker *> FilterGraph::roots() const
{
    std::vector<MediaTimeSeeker *> list;
    for (const auto &f : m_filters)
        if (f->isSeekRoot())
            if (auto *s = f->seeker())
                list.push_back(s);
    return list;
}

// A hook that throws on the control thread fails its step with error-abort;
// the graph goes on with the other filters, so no state change stops half way.
bool FilterGraph::guarded(Filter &filter, const std::function<bool()> &step)
{
    try {
        return step();
    } catch (const std::exception &e) {
        filterError(filter, filter.name() + ": " + e.what());
    } catch (...) {
        filterError(filter, filter.name() + ": failed");
    }
    return false;
}

bool FilterGraph::Pause()
{
    std::lock_guard lock(m_control);
    return pauseLocked();
}

bool FilterGraph::pauseLocked()
{
    const FilterState from = m_state.load();
    if (from == FilterState::Paused)
        return true;
    if (from == FilterState::Running && m_clock)
        m_streamTimeAtPause = m_clock->now() - m_runStart;
    if (from == FilterState::Stopped) {
        std::lock_guard lock(m_stateMutex);
        m_renderers = renderers();
        m_completePosted = false;
        m_errorRaised = false;
        m_discarding = false;
        m_runId = ++g_runs;
        m_lastError.clear();
        m_pausePending = false;
    }
    auto order = upstreamFirst();
    std::reverse(order.begin(), order.end());
    for (auto *f : order) {
        if (!guarded(*f, [f] { return f->Pause(); })) {
            if (from == FilterState::Stopped) {
                m_state = FilterState::Paused; // so that the stop runs
                stopLocked();
            }
            return false;
        }
    }
    m_state = FilterState::Paused;
    {
        std::lock_guard lock(m_stateMutex);
        m_pausePending = true;
    }
    checkPauseComplete();
    return true;
}

bool FilterGraph::Run()
{
    std::lock_guard lock(m_control);
    if (m_state.load() == FilterState::Running)
        return true;
    if (m_state.load() == FilterState::Stopped && !pauseLocked())
        return false;
    runLocked();
    return true;
}

void FilterGraph::runLocked()
{
    m_runStart = m_clock ? m_clock->now() - m_streamTimeAtPause : 0;
    {
        std::lock_guard lock(m_stateMutex);
        m_pausePending = false;
        m_state = FilterState::Running;
    }
    m_stateChanged.notify_all();
    auto order = upstreamFirst();
    std::reverse(order.begin(), order.end());
    for (auto *f : order)
        f->Run(m_runStart);
}

void FilterGraph::Stop()
{
    std::lock_guard lock(m_control);
    if (m_state.load() == FilterState::Stopped)
        return;
    stopLocked();
}

void FilterGraph::Abort()
{
    std::lock_guard lock(m_control);
    if (m_state.load() == FilterState::Stopped)
        return;
    {
        std::lock_guard stateLock(m_stateMutex);
        m_discarding = true;
    }
    stopLocked();
}

void FilterGraph::stopLocked()
{
    {
        std::lock_guard lock(m_stateMutex);
        m_pausePending = false;
    }
    // Phase 1: nothing may block any more, then every streaming thread ends.
    const auto order = upstreamFirst();
    for (auto *f : order)
        f->BeginStop();
    for (auto *f : order)
        f->JoinStreaming();
    const auto kept = currentPosition();
    // Phase 2: the filters' stop hooks, upstream first, late ranks last.
    auto stopOrder = order;
    std::stable_sort(stopOrder.begin(), stopOrder.end(),
                     [](Filter *a, Filter *b) { return a->stopRank() < b->stopRank(); });
    for (auto *f : stopOrder)
        guarded(*f, [f] {
            f->Stop();
            return true;
        });
    if (kept)
        for (auto *root : roots())
            root->setPositions(kept, std::nullopt);
    m_streamTimeAtPause = 0;
    {
        // A flush ended by the stop hooks asked for a cue that will not come.
        std::lock_guard lock(m_stateMutex);
        m_pausePending = false;
        m_state = FilterState::Stopped;
    }
    m_stateChanged.notify_all();
}

FilterGraph::StateResult FilterGraph::GetState(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_stateMutex);
    const bool done = m_stateChanged.wait_for(lock, timeout, [this] { return !m_pausePending; });
    return {m_state.load(), done};
}

void FilterGraph::checkPauseComplete()
{
    {
        std::lock_guard lock(m_stateMutex);
        if (!m_pausePending || m_state.load() != FilterState::Paused)
            return;
        for (auto *r : m_renderers)
            if (!r->isCued())
                return;
        m_pausePending = false;
        post({GraphEventCode::Paused, {}});
    }
    m_stateChanged.notify_all();
}

void FilterGraph::rendererCued(Filter &)
{
    checkPauseComplete();
}

void FilterGraph::rendererComplete(Filter &)
{
    std::lock_guard lock(m_stateMutex);
    if (m_completePosted || m_renderers.empty())
        return;
    for (auto *r : m_renderers)
        if (!r->hasCompleted())
            return;
    m_completePosted = true;
    post({GraphEventCode::Complete, {}});
}

// A flush (a seek, from the graph or through a filter's IMediaSeeking) ends
// any completion, and a pause is complete again only when every renderer has
// cued the frame at the new position.
void FilterGraph::rendererFlushed(Filter &)
{
    std::lock_guard lock(m_stateMutex);
    m_completePosted = false;
    if (m_state.load() == FilterState::Paused)
        m_pausePending = true;
}

void FilterGraph::filterError(Filter &, const std::string &message)
{
    std::lock_guard lock(m_stateMutex);
    if (m_errorRaised)
        return;
    m_errorRaised = true;
    m_lastError = message;
    post({GraphEventCode::ErrorAbort, message});
}

// Called with m_stateMutex held: the handler is copied, the call queued.
void FilterGraph::post(GraphEvent event)
{
    if (!m_handler)
        return;
    event.run = m_runId;
    m_executor->post([handler = m_handler, event = std::move(event)] { handler(event); });
}

void FilterGraph::setEventHandler(std::function<void(const GraphEvent &)> handler)
{
    std::lock_guard lock(m_stateMutex);
    m_handler = std::move(handler);
}

std::string FilterGraph::lastError() const
{
    std::lock_guard lock(m_stateMutex);
    return m_lastError;
}

bool FilterGraph::hadError() const
{
    std::lock_guard lock(m_stateMutex);
    return m_errorRaised;
}

bool FilterGraph::hasCompleted() const
{
    std::lock_guard lock(m_stateMutex);
    return m_completePosted;
}

bool FilterGraph::keepsOutput() const
{
    std::lock_guard lock(m_stateMutex);
    return m_completePosted && !m_errorRaised && !m_discarding;
}

std::uint64_t FilterGraph::runId() const
{
    std::lock_guard lock(m_stateMutex);
    return m_runId;
}

std::vector<QString> FilterGraph::sourceFiles() const
{
    std::lock_guard lock(m_control);
    std::vector<QString> files;
    for (const auto &f : m_filters)
        if (auto *source = f->queryInterface<IFileSourceFilter>())
            if (!source->GetCurFile().isEmpty())
                files.push_back(source->GetCurFile());
    return files;
}

std::optional<std::int64_t> FilterGraph::duration() const
{
    std::lock_guard lock(m_control);
    std::optional<std::int64_t> longest;
    for (auto *root : roots())
        if (auto d = root->duration())
            longest = std::max(longest.value_or(0), *d);
    return longest;
}

std::optional<std::int64_t> FilterGraph::currentPosition() const
{
    std::lock_guard lock(m_control);
    std::optional<std::int64_t> position;
    for (const auto &f : m_filters)
        if (f->isRenderer())
            if (auto p = f->renderedPosition())
                position = position ? std::min(*position, *p) : *p;
    if (position)
        return position;
    anyRoot([&](MediaTimeSeeker &root) {
        position = root.currentPosition();
        return position.has_value();
    });
    return position;
}

std::optional<std::int64_t> FilterGraph::stopPosition() const
{
    std::lock_guard lock(m_control);
    std::optional<std::int64_t> position;
    anyRoot([&](MediaTimeSeeker &root) {
        position = root.stopPosition();
        return position.has_value();
    });
    return position;
}

std::int64_t FilterGraph::frameDuration() const
{
    std::lock_guard lock(m_control);
    std::int64_t duration = 0;
    anyRoot([&](MediaTimeSeeker &root) {
        duration = root.frameDuration();
        return duration > 0;
    });
    return std::max<std::int64_t>(duration, 0);
}

FrameRate FilterGraph::frameRate() const
{
    std::lock_guard lock(m_control);
    FrameRate rate;
    anyRoot([&](MediaTimeSeeker &root) {
        rate = root.frameRate();
        return rate.valid();
    });
    return rate;
}

bool FilterGraph::setPositions(std::optional<std::int64_t> current,
                               std::optional<std::int64_t> stop)
{
    std::lock_guard lock(m_control);
    const auto list = roots();
    if (list.empty())
        return false;
    const bool wasRunning = m_state.load() == FilterState::Running;
    if (wasRunning && current)
        pauseLocked();
    bool ok = true;
    for (auto *root : list)
        ok = root->setPositions(current, stop) && ok;
    if (current && m_state.load() != FilterState::Stopped) {
        m_streamTimeAtPause = 0;
        {
            std::lock_guard stateLock(m_stateMutex);
            m_pausePending = true;
        }
        checkPauseComplete();
        if (wasRunning)
            runLocked();
    }
    return ok;
}

} // namespace vidora::media
