#pragma once

// Transform bases: one input pin, then one output pin (the enumeration
// order whatever the derived class does). A transform delivers on the
// calling thread: each sample that arrives is transformed and passed
// downstream before receive returns, so a chain of transforms sees every
// frame in order on the upstream's streaming thread.
//
// A filter may queue its input instead (setQueuedInput): samples, segments
// and the end of stream then wait in a bounded queue and are handled in order
// on the filter's own streaming thread, so its work overlaps its upstream's.
// The upstream is held only while the queue is full, and learns of an error
// or a refusal downstream at its next sample. Per-frame records of filters
// upstream reach it through the samples' notes (sample.h), not through a
// "last frame" held by another filter, which is ahead by then.
//
// Hooks. "Control thread" is the thread that builds or stops the graph;
// "streaming thread" is the upstream thread that delivers the sample.
#include "platform/media/filter.h"

#include <memory>
#include <optional>

namespace vidora::media {

class TransformFilter : public Filter
{
public:
    explicit TransformFilter(std::string objectName, std::string inputName = "XForm In",
                             std::string outputName = "XForm Out");
    ~TransformFilter() override;

    std::vector<Pin *> pins() override { return {&m_input, &m_output}; }
    InputPin &input() { return m_input; }
    OutputPin &output() { return m_output; }

    // Required. Whether the input pin connects with `type`. Control thread.
    virtual bool CheckInputType(const MediaType &type) = 0;
    // Required. Whether the output may carry `out` when the input carries
    // `in` (the input is connected). Control thread.
    virtual bool CheckTransform(const MediaType &in, const MediaType &out) = 0;
    // Required. The output types the filter proposes, by position from 0,
    // while the input is connected; nothing past the last. Control thread.
    virtual std::optional<MediaType> GetMediaType(int position) = 0;
    // Required. Sets the output pool's properties (allocator.setProperties)
    // from what the input receives (`input`: the upstream pool, count 0 when
    // the upstream has none) and checks what was granted; false refuses the
    // output connection. Control thread, while the output connects.
    virtual bool DecideBufferSize(Allocator &allocator, const AllocatorProperties &input) = 0;
    // Optional; default true. Called when the graph leaves Stopped with both
    // pins connected, before any sample; false fails the pause and raises
    // error-abort. Control thread.
    virtual bool StartStreaming() { return true; }
    // Optional; default nothing. Called by Stop() after streaming has
    // quiesced, when StartStreaming had run. Stopping thread.
    virtual void StopStreaming() {}
    // Optional; the default takes an output buffer (blocks while the pool is
    // empty), copies the sample's times and flags to it (not a type change:
    // Transform sets one when the output's type changes), calls Transform and
    // delivers the result unless Transform answers otherwise. An override
    // that does not call the base delivers itself. Streaming thread; the
    // sample stays owned by the caller for the call.
    virtual Flow Receive(const SamplePtr &sample);
    // Required by the default Receive. Fills `out` (a pool buffer whose
    // properties were copied from `in`) from `in`; Ok delivers it, Error
    // raises error-abort with the filter's name. Streaming thread.
    virtual Flow Transform(const MediaSample &in, MediaSample &out);
    // Optional; default nothing. A new segment begins, in order with the
    // samples; the segment is passed downstream after it. Streaming thread
    // (the filter's own when queued). A queued filter keeps its per-segment
    // state here: an override of newSegment would run ahead of the queue.
    virtual void NewSegment(std::int64_t start, std::int64_t stop);
    // Optional; default Ok. The stream ends: a filter that holds work back
    // delivers it here, before the end of stream goes downstream (it goes
    // whatever this answers). Streaming thread, in order with the samples.
    virtual Flow EndOfStream();
    // Stopping thread, in phase 2 of the graph's stop: StopStreaming when
    // streaming had started, then the filter is Stopped. Overrides call it.
    void Stop() override;

    bool Pause() override;
    void BeginStop() override;
    void JoinStreaming() override;
    // Pin protocol (filter.h), answered with the hooks above; a derived
    // class overrides a hook rather than these, and a call that does
    // override one ends with the base's.
    // The input: CheckInputType; the output: CheckTransform against the
    // input's type, false while the input is unconnected.
    bool checkPinType(const Pin &pin, const MediaType &type) override;
    // The output, while the input is connected: GetMediaType from position
    // 0 up; the input: none.
    std::vector<MediaType> proposeTypes(const Pin &pin) override;
    // The output: a pool set by DecideBufferSize; the input: true.
    bool completeConnect(Pin &pin) override;
    // Flushing when not flowing; end of stream when the filter did not start
    // streaming (its output is unconnected); else Receive, or the queue
    // when the input is queued.
    Flow receive(InputPin &pin, const SamplePtr &sample) override;
    // EndOfStream when streaming (its answer is not used), then end of
    // stream downstream; Ok. Queued: both in turn on the filter's thread.
    Flow endOfStream(InputPin &pin) override;
    // Empty (begin) or reopen (end) the queue when queued, then passed on.
    void beginFlush(InputPin &pin) override;
    void endFlush(InputPin &pin) override;
    // NewSegment, then the segment downstream. Queued: both in turn on the
    // filter's thread.
    void newSegment(InputPin &pin, std::int64_t start, std::int64_t stop) override;

protected:
    bool isStreaming() const { return m_streaming; }
    // Queues the input (see above), `depth` entries at most (at least 1).
    // From the derived class's constructor. The samples queued are the
    // upstream's buffers: the upstream pool's count bounds the queue too.
    void setQueuedInput(std::size_t depth);

private:
    class InputQueue;

    InputPin m_input;
    OutputPin m_output;
    std::unique_ptr<InputQueue> m_queue; // set once, by setQueuedInput
    // Written on the control thread while no sample flows (Pause before the
    // upstream threads start, Stop after they are joined); read by receive.
    bool m_streaming = false;
};

// An in-place transform changes (or only reads) the sample it receives and
// passes that same sample on; it has no pool of its own. A sample shared
// with another branch (after a tee) is copied first when the filter says it
// modifies data.
class InPlaceTransformFilter : public TransformFilter
{
public:
    InPlaceTransformFilter(std::string objectName, bool modifiesData);

    // Required. Works on the sample; Ok delivers it, Error raises
    // error-abort. Streaming thread.
    virtual Flow Transform(MediaSample &sample) = 0;
    using TransformFilter::Transform;

    // Defaults: the output carries the input's type; no pool.
    bool CheckTransform(const MediaType &in, const MediaType &out) override;
    std::optional<MediaType> GetMediaType(int position) override;
    bool DecideBufferSize(Allocator &, const AllocatorProperties &) override { return true; }
    Flow Receive(const SamplePtr &sample) override;

    bool completeConnect(Pin &pin) override;
    AllocatorProperties outputProperties(const OutputPin &pin) override;

protected:
    bool modifiesData() const { return m_modifiesData; }

private:
    const bool m_modifiesData;
};

} // namespace vidora::media
