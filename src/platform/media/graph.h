#pragma once

// The filter graph: owns filters, connects their pins, changes their state
// together, seeks, and reports what happens as events.
//
// Threads. The graph is driven from one control thread at a time (building,
// Run/Pause/Stop, seeking; calls are serialised by a lock, and a filter's
// hooks may call back into the graph from them). Streaming threads belong to
// the splitters; they reach the graph only to report cueing, end of stream
// and errors, which become events through the executor, never run inline.
//
// Events: Complete once every connected renderer has had end of stream (once
// per run or seek), Paused when a pause has completed (every renderer cued),
// ErrorAbort (once per run) when a filter failed; the stream stops where it
// failed and the owner stops the graph.
#include "platform/media/clock.h"
#include "platform/media/executor.h"
#include "platform/media/filter.h"
#include "platform/media/interfaces.h"
#include "platform/media/registry.h"
#include "platform/media/seeking.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vidora::media {

enum class GraphEventCode {
    Complete,
    Paused,
    ErrorAbort
};

struct GraphEvent
{
    GraphEventCode code;
    std::string message; // ErrorAbort: what failed, with the filter's name
    // The run that raised it (FilterGraph::runId): an owner that has moved on
    // to a later run tells a late notice of an earlier one by it.
    std::uint64_t run = 0;
};

class FilterGraph final : private MediaTimeSeeker
{
public:
    // No executor: events go to the GUI thread (GuiEventExecutor, which
    // needs an application object).
    explicit FilterGraph(std::shared_ptr<EventExecutor> executor = nullptr);
    ~FilterGraph();
    FilterGraph(const FilterGraph &) = delete;
    FilterGraph &operator=(const FilterGraph &) = delete;

    // Filters. Only while stopped. A name already taken gets " 0001", " 0002"…
    // appended; an empty name is the filter's object name. False when the
    // filter is in a graph already or the graph is not stopped.
    bool AddFilter(std::shared_ptr<Filter> filter, const std::string &name);
    // Disconnects every pin of the filter, then removes it.
    bool RemoveFilter(Filter &filter);
    Filter *FindFilterByName(const std::string &name) const;
    std::vector<Filter *> filters() const; // in the order they were added
    // Stops the graph and removes every filter.
    void Clear();

    // Connections, only while stopped, between filters of this graph.
    // Connect joins the two pins directly and never inserts a filter; a
    // partial type (major type only, say) limits the types tried. The pins
    // may be given in either order. A connection that would make a loop is
    // refused.
    bool Connect(Pin &a, Pin &b, const MediaType *partial = nullptr);
    bool ConnectDirect(OutputPin &out, InputPin &in, const MediaType *partial = nullptr);
    // Breaks the pin's connection on both sides; false when not connected.
    bool Disconnect(Pin &pin);

    // Builds a chain from `pin` to a renderer: free inputs of filters already
    // in the graph first, then filters from the registry by merit, each
    // followed by rendering its outputs. Nothing is left of a failed try.
    bool Render(OutputPin &pin);
    // Connects `source` to `sink` through `intermediate` when given (an
    // in-place filter, say), inserting registry filters (decoders,
    // converters) where a direct connection fails; without a sink the last
    // output is rendered. A given major type selects the output. With a
    // filter as the source its unconnected outputs are tried in turn.
    bool RenderStream(std::optional<MajorType> major, OutputPin &source, Filter *intermediate,
                      Filter *sink);
    bool RenderStream(std::optional<MajorType> major, Filter &source, Filter *intermediate,
                      Filter *sink);
    void setRegistry(std::shared_ptr<const FilterRegistry> registry);

    // State. Pause from Stopped prepares every filter (downstream first) and
    // starts the streams; it returns at once, and GetState tells when every
    // renderer holds its first sample. Run from Stopped pauses first. Stop
    // runs in two phases (filter.h) and keeps the position: a later Pause
    // cues the same frame again. False: a filter refused (see lastError).
    bool Run();
    bool Pause();
    void Stop();
    // Stops the graph as Stop does, with the run's outputs discarded even
    // when it has completed meanwhile (keepsOutput is false from here on):
    // an abort never leaves an output under its final name.
    void Abort();
    struct StateResult
    {
        FilterState state;
        bool complete; // false: the pause is still under way at the time-out
    };
    StateResult GetState(std::chrono::milliseconds timeout) const;

    // The reference clock; null (the default) means none: nothing waits.
    // Only while stopped.
    bool SetSyncSource(std::shared_ptr<ReferenceClock> clock);
    // The clock of the first filter that offers one (IReferenceClockProvider:
    // an audio renderer with a sound device), else a system clock. Only
    // while stopped; call it after the graph is built.
    bool SetDefaultSyncSource();
    ReferenceClock *syncSource() const { return m_clock.get(); }

    // The graph's position interface: duration of the longest stream,
    // position of the renderers, seeking of every seek root.
    IMediaSeeking &seeking() { return m_seeking; }

    template <class T>
    T *queryInterface()
    {
        if constexpr (std::is_same_v<T, IMediaSeeking>)
            return &m_seeking;
        else
            return nullptr;
    }

    void setEventHandler(std::function<void(const GraphEvent &)> handler);
    std::string lastError() const;
    // An error was raised since the graph last left Stopped.
    bool hadError() const;
    // Complete was raised since the graph last left Stopped or sought.
    bool hasCompleted() const;
    // What a filter's stop hook asks before it commits an output: the run
    // completed, raised no error and was not aborted.
    bool keepsOutput() const;
    // The current (or, once stopped, the last) run; 0 before the first.
    // Runs are numbered in one sequence for every graph of the process, so
    // a later run, of any graph, has a higher number.
    std::uint64_t runId() const;
    // The files read by the graph's file sources (IFileSourceFilter).
    std::vector<QString> sourceFiles() const;

private:
    friend class Filter;

    // Called by filters, any thread.
    void filterError(Filter &filter, const std::string &message);
    void rendererCued(Filter &filter);
    void rendererComplete(Filter &filter);
    void rendererFlushed(Filter &filter);
    ReferenceClock *streamingClock() const { return m_clock.get(); }

    bool guarded(Filter &filter, const std::function<bool()> &step);
    bool pauseLocked();
    void stopLocked();
    void runLocked();
    void checkPauseComplete();
    void post(GraphEvent event);
    std::vector<Filter *> upstreamFirst() const;
    std::vector<Filter *> renderers() const;
    std::vector<MediaTimeSeeker *> roots() const;
    // Whether `found` holds for one of the seek roots, asked in the order
    // the filters were added, without gathering them first (a position
    // display asks at every tick). Under m_control.
    template <class Found>
    bool anyRoot(Found found) const
    {
        for (const auto &f : m_filters)
            if (f->isSeekRoot())
                if (auto *s = f->seeker(); s && found(*s))
                    return true;
        return false;
    }
    bool contains(const Filter &filter) const;
    // Whether joining `from`'s output to `to`'s input would close a loop.
    static bool closesLoop(Filter &from, Filter &to);
    bool connectChecked(OutputPin &out, InputPin &in, const MediaType *partial);

    bool renderPin(OutputPin &out, int depth);
    bool renderOutputs(Filter &filter, int depth);
    bool connectVia(OutputPin &out, InputPin &in, const MediaType *partial, int depth);
    bool renderStreamFrom(std::optional<MajorType> major, OutputPin &source, Filter *intermediate,
                          Filter *sink);

    // MediaTimeSeeker
    std::optional<std::int64_t> duration() const override;
    std::optional<std::int64_t> currentPosition() const override;
    std::optional<std::int64_t> stopPosition() const override;
    bool setPositions(std::optional<std::int64_t> current,
                      std::optional<std::int64_t> stop) override;
    std::int64_t frameDuration() const override;
    FrameRate frameRate() const override;

    std::shared_ptr<EventExecutor> m_executor;
    std::shared_ptr<const FilterRegistry> m_registry;
    SeekingAdapter m_seeking{*this};

    // The control lock; recursive so a filter's hook may ask the graph.
    mutable std::recursive_mutex m_control;
    // guarded by m_control
    std::vector<std::shared_ptr<Filter>> m_filters;
    std::shared_ptr<ReferenceClock> m_clock;
    std::int64_t m_runStart = 0;
    std::int64_t m_streamTimeAtPause = 0;
    std::atomic<FilterState> m_state{FilterState::Stopped};

    mutable std::mutex m_stateMutex;
    mutable std::condition_variable m_stateChanged;
    // guarded by m_stateMutex; written on control and streaming threads
    std::vector<Filter *> m_renderers; // connected renderers of this run
    bool m_pausePending = false;
    bool m_completePosted = false;
    bool m_errorRaised = false;
    bool m_discarding = false; // Abort was asked for this run
    std::uint64_t m_runId = 0;
    std::string m_lastError;
    std::function<void(const GraphEvent &)> m_handler;
};

} // namespace vidora::media
