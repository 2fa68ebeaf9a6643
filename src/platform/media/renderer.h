#pragma once

// The renderer base: one input pin, the end of a stream.
//
// Paused: the first sample that arrives is cued: OnReceiveFirstSample sees
// it, the graph is told (a pause completes when every renderer is cued), and
// the streaming thread waits inside receive, holding the sample, so nothing
// upstream moves on. Run presents the held sample.
// Running: with a clock, each sample waits until the stream time reaches its
// start time; without a clock nothing waits. DoRenderSample then takes it.
// Flush and stop wake every wait: receive answers Flushing and drops the
// sample. End of stream while running tells the graph (once per segment);
// while paused it counts as cued and is told when the graph runs.
#include "platform/media/clock.h"
#include "platform/media/filter.h"

#include <condition_variable>
#include <functional>
#include <mutex>

namespace vidora::media {

class RendererFilter : public Filter, private ClockListener
{
public:
    explicit RendererFilter(std::string objectName, std::string inputName = "In");
    ~RendererFilter() override;

    std::vector<Pin *> pins() override { return {&m_input}; }
    InputPin &input() { return m_input; }

    // Required. Whether the input connects with `type`. Control thread.
    virtual bool CheckInputType(const MediaType &type) = 0;
    // Required. Takes a sample whose time has come; the sample stays owned by
    // the caller. Ok goes on, Error raises error-abort. Streaming thread.
    virtual Flow DoRenderSample(const MediaSample &sample) = 0;
    // Optional; default nothing. The sample just cued while paused (before
    // the graph hears that the renderer is cued). Streaming thread.
    virtual void OnReceiveFirstSample(const MediaSample &) {}
    // Optional; default true / nothing. As TransformFilter's: control thread
    // when the graph leaves Stopped; stopping thread after streaming has
    // quiesced.
    virtual bool StartStreaming() { return true; }
    virtual void StopStreaming() {}
    // Optional; default true. A renderer whose sample times are not
    // presentation times (a file writer's byte offsets) answers false.
    virtual bool UsesClock() const { return true; }

    // Optional. Called on the streaming thread each time the renderer has
    // cued (isCued() answers true by then): a caller that waits for the
    // frame of a paused graph is woken by it instead of polling. Set while
    // the graph is stopped.
    void setCueObserver(std::function<void()> observer) { m_cueObserver = std::move(observer); }

    bool Pause() override;
    void Run(std::int64_t streamStart) override;
    void BeginStop() override;
    void Stop() override;
    bool isRenderer() const override { return true; }
    bool isCued() const override { return m_cued.load(); }
    bool hasCompleted() const override { return m_completed.load(); }
    std::optional<std::int64_t> renderedPosition() const override;

    // Pin protocol (filter.h), as the notes at the top describe; an
    // override ends with the base's.
    // CheckInputType.
    bool checkPinType(const Pin &pin, const MediaType &type) override;
    // Cues, waits and calls DoRenderSample; Flushing when flushed or
    // stopped meanwhile, EndOfStream after the end of stream.
    Flow receive(InputPin &pin, const SamplePtr &sample) override;
    // Marks the end (cued; complete when running); Flushing when flushing
    // or stopped, else Ok. Nothing goes further.
    Flow endOfStream(InputPin &pin) override;
    // Begin wakes every wait; end clears the end of stream, the cue and the
    // position, and tells the graph.
    void beginFlush(InputPin &pin) override;
    void endFlush(InputPin &pin) override;
    // Keeps the segment's start, to which sample times are relative.
    void newSegment(InputPin &pin, std::int64_t start, std::int64_t stop) override;

private:
    void clockChanged() override;
    bool aborted() const; // call with m_mutex held
    void cued();          // m_mutex not held

    std::function<void()> m_cueObserver; // set while stopped, then read on the streaming thread

    InputPin m_input;
    ReferenceClock *m_clock = nullptr; // set on the control thread while stopped
    bool m_streaming = false;          // control thread only

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    // guarded by m_mutex; written on the control and streaming threads
    bool m_flushing = false;
    bool m_endOfStream = false;
    bool m_completeSent = false;
    bool m_inReceive = false;
    std::int64_t m_streamStart = 0;
    std::int64_t m_segmentStart = 0;
    // read by the graph from any thread
    std::atomic<bool> m_cued{false};
    std::atomic<bool> m_completed{false};
    std::atomic<bool> m_hasPosition{false};
    std::atomic<std::int64_t> m_position{0};
};

} // namespace vidora::media
