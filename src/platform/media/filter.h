#pragma once

// The filter base. A filter has pins in a fixed order (pins() is what callers
// index), a state, and answers for its pins through the pin protocol below.
//
// States and threads. The graph changes state on its control thread (the
// thread that calls FilterGraph::Run/Pause/Stop), one filter at a time:
//   Stopped -> Pause(): pools committed, streaming prepared; sources start
//              their streaming threads.
//   Paused  -> Run(streamStart): renderers present what they hold.
//   Running -> Pause(): renderers hold the next sample.
//   any     -> Stop, in two phases over the whole graph:
//     1. BeginStop() on every filter (receives answer Flushing, pools
//        decommit, held samples drop, every wait wakes), then
//        JoinStreaming() on every filter (streaming threads end);
//     2. Stop() on every filter, upstream first and stopRank() last, on the
//        stopping thread, after nothing streams any more.
// Filters tell their graph about errors, cueing and end of stream from any
// thread; the graph turns them into events through its executor.
#include "platform/media/pin.h"
#include "platform/media/seeking.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <typeinfo>
#include <vector>

namespace vidora::media {

class FilterGraph;
class ReferenceClock;

enum class FilterState {
    Stopped,
    Paused,
    Running
};

class Filter
{
public:
    explicit Filter(std::string objectName);
    virtual ~Filter();
    Filter(const Filter &) = delete;
    Filter &operator=(const Filter &) = delete;

    // The class's own name ("Null Renderer"); the name in a graph is given
    // when the filter is added.
    const std::string &objectName() const { return m_objectName; }
    const std::string &name() const { return m_name; }
    FilterGraph *graph() const { return m_graph; }

    // The pins in their enumeration order; re-read after a connection that
    // makes the filter create pins.
    virtual std::vector<Pin *> pins() = 0;
    Pin *pin(std::size_t index); // null beyond the list
    std::vector<InputPin *> inputPins();
    std::vector<OutputPin *> outputPins();

    FilterState state() const { return m_state.load(); }

    // The interface T of the filter: the filter itself when it derives from
    // T, else what interfaceFor hands out (IMediaSeeking for any filter on a
    // seekable stream), else null.
    template <class T>
    T *queryInterface()
    {
        if (auto *direct = dynamic_cast<T *>(this))
            return direct;
        return static_cast<T *>(interfaceFor(typeid(T)));
    }

    // State changes (see above); overrides call the base.
    virtual bool Pause();
    virtual void Run(std::int64_t streamStart);
    virtual void BeginStop();
    virtual void JoinStreaming();
    virtual void Stop();
    // Higher ranks stop later (a file writer closes after every filter that
    // may still write to it from its own Stop).
    virtual int stopRank() const { return 0; }
    // Renderers end streams: the graph completes when each has had end of
    // stream, and a pause completes when each holds a sample.
    virtual bool isRenderer() const { return false; }
    virtual bool isCued() const { return true; }
    virtual bool hasCompleted() const { return true; }
    // Where this filter's stream position comes from: the upstream source
    // by default. A filter that is a seek root answers itself.
    virtual MediaTimeSeeker *seeker();
    virtual bool isSeekRoot() const { return false; }
    // The position (absolute, 100 ns) of the last sample this filter handled,
    // for filters that track one (renderers; a multiplexer may). Others
    // report the graph's position while it streams.
    virtual std::optional<std::int64_t> renderedPosition() const { return std::nullopt; }

    // Pin protocol, called through the pins. Connection calls run on the
    // control thread while stopped; the streaming calls on the streaming
    // thread of the upstream pin. The transform, renderer and splitter bases
    // answer these and turn them into their hooks: their derived classes
    // override the hooks, and a pin call only where a hook cannot say it.
    //
    // Types `pin` proposes for a connection, best first. Default: none (the
    // pin takes what the peer proposes).
    virtual std::vector<MediaType> proposeTypes(const Pin &pin);
    // Required. Whether `pin` connects with `type`.
    virtual bool checkPinType(const Pin &pin, const MediaType &type) = 0;
    // Both pins agreed on a type; false undoes the connection. Output pins
    // set up their pool here. Default: true.
    virtual bool completeConnect(Pin &pin);
    // The connection of `pin` is made (after completeConnect on both sides)
    // or broken. Default: nothing.
    virtual void pinConnected(Pin &pin);
    virtual void pinDisconnected(Pin &pin);
    // A sample for `pin`, owned by the caller for the call. Default: Error
    // (a filter with inputs answers it).
    virtual Flow receive(InputPin &pin, const SamplePtr &sample);
    // The stream into `pin` ends. Default: end of stream to every output;
    // Ok.
    virtual Flow endOfStream(InputPin &pin);
    // A flush begins (drop what is held, wake every wait) or ends. Default:
    // passed to every output.
    virtual void beginFlush(InputPin &pin);
    virtual void endFlush(InputPin &pin);
    // A new segment (start and stop, 100 ns) in order with the samples.
    // Default: passed to every output.
    virtual void newSegment(InputPin &pin, std::int64_t start, std::int64_t stop);
    // The buffers that reach the peer of output `pin`. Default: the
    // properties of the pin's pool, empty without one.
    virtual AllocatorProperties outputProperties(const OutputPin &pin);

    // What a pin of this filter hands out besides itself (Pin::queryInterface).
    // Default: null.
    virtual void *pinInterface(const Pin &pin, const std::type_info &type);

protected:
    // What queryInterface hands out when the filter does not derive from
    // the interface. Default: IMediaSeeking when seeker() gives one, else
    // null.
    virtual void *interfaceFor(const std::type_info &type);

    // Raises the graph's error-abort (once per run); any thread.
    void reportError(const std::string &message);
    // Receives are accepted: paused or running and not stopping.
    bool isFlowing() const { return m_state.load() != FilterState::Stopped && !m_stopping.load(); }
    bool isStopping() const { return m_stopping.load(); }
    // The graph's clock, or null (no clock: nothing waits). Read while not stopped.
    ReferenceClock *clock() const;
    void notifyCued();
    void notifyComplete();
    void notifyFlushed();

    // Helpers for forwarding along the stream.
    Flow deliverEndOfStreamToOutputs();
    void deliverBeginFlushToOutputs();
    void deliverEndFlushToOutputs();
    void deliverNewSegmentToOutputs(std::int64_t start, std::int64_t stop);

    std::atomic<FilterState> m_state{FilterState::Stopped};
    std::atomic<bool> m_stopping{false};

private:
    friend class FilterGraph;

    // Forwards to seeker() at each call, so the answer follows connections.
    class Forwarder final : public MediaTimeSeeker
    {
    public:
        explicit Forwarder(Filter &filter) : m_filter(filter) {}
        std::optional<std::int64_t> duration() const override;
        std::optional<std::int64_t> currentPosition() const override;
        std::optional<std::int64_t> stopPosition() const override;
        bool setPositions(std::optional<std::int64_t> current,
                          std::optional<std::int64_t> stop) override;
        std::int64_t frameDuration() const override;
        FrameRate frameRate() const override;

    private:
        Filter &m_filter;
    };

    const std::string m_objectName;
    std::string m_name;             // set by the graph, on the control thread
    FilterGraph *m_graph = nullptr; // set by the graph while stopped
    Forwarder m_forwarder{*this};
    SeekingAdapter m_seeking{m_forwarder};
};

} // namespace vidora::media
