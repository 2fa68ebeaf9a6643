#pragma once

// The splitter base: a filter that produces streams, each on an output pin
// with a streaming thread of its own (one per connected output), started
// when the graph leaves Stopped and joined when it stops or seeks. A source
// without an input (a memory source in tests) uses it as well.
//
// Positions. A splitter whose input does not come from another seekable
// filter is a seek root: it answers the stream position and seeks. Sample
// times given by GetNextSample are absolute (100 ns from the stream's start);
// the base sends each output a new segment starting at the seek position and
// delivers times relative to it. A sample starting at or after the stop
// position ends the stream.
//
// Seeking while streaming: every output is flushed downstream (held samples
// drop, waits wake), the threads are joined, Seek repositions, the flush
// ends, and the threads start again at the new position; while the graph is
// paused the renderers then cue the frame there.
//
// A splitter fed by another one (not a root) delivers the times it is given:
// the segment comes from upstream, and a flush from upstream flushes, joins
// and restarts its threads (BeginFlush/EndFlush hooks).
#include "platform/media/filter.h"
#include "platform/media/streaming_thread.h"

#include <mutex>
#include <thread>

namespace vidora::media {

// A graph stops its filters before it lets them go. A derived class that may
// be destroyed while its threads run calls BeginStop() and JoinStreaming()
// in its own destructor: the threads call its hooks.
class SplitterFilter : public Filter, public MediaTimeSeeker
{
public:
    explicit SplitterFilter(std::string objectName);
    ~SplitterFilter() override;

    // Default order: the outputs in stream order, then the input if any.
    std::vector<Pin *> pins() override;

    // Required. The next sample of output `stream`: Ok with a sample (most
    // often a buffer of that output's pool, see streamAllocator),
    // EndOfStream when the stream is over, Flushing when the pool was
    // decommitted, Error to abort. Runs on the stream's own streaming
    // thread, concurrently with the other streams' calls.
    virtual Flow GetNextSample(std::size_t stream, SamplePtr &sample) = 0;
    // Required. Positions every stream so that its next sample is the one
    // that contains `position` (100 ns). No streaming thread runs meanwhile.
    virtual bool Seek(std::int64_t position) = 0;
    // Required. Length of the longest stream, 100 ns.
    virtual std::int64_t Duration() = 0;
    // Optional; default 0 (no frame time format). One video frame, 100 ns.
    virtual std::int64_t FrameDuration() { return 0; }
    // Required. Types output `stream` proposes, best first. Control thread.
    virtual std::vector<MediaType> OutputTypes(std::size_t stream) = 0;
    // Required. Sets the pool of output `stream` when it connects (see
    // TransformFilter::DecideBufferSize); false refuses the connection. An
    // output that hands on samples it did not allocate (from a queue fed by
    // the input) sets no properties and gets no pool.
    virtual bool DecideBufferSize(std::size_t stream, Allocator &allocator) = 0;
    // Optional; as TransformFilter's. StartStreaming runs before the
    // threads start; StopStreaming after they were joined.
    virtual bool StartStreaming() { return true; }
    virtual void StopStreaming() {}
    // Optional; the input pin, for splitters that have one (the derived
    // class owns it and answers checkPinType for it).
    virtual InputPin *inputPin() { return nullptr; }
    // Optional; default nothing. For a splitter fed through its input (not
    // a seek root), whose GetNextSample waits for data the input brings
    // (a SampleQueue): drop what is held and wake GetNextSample with
    // Flushing. Called when the input is flushed and when the graph stops,
    // on that thread, before the streaming threads are joined.
    virtual void BeginFlush() {}
    // Optional; default nothing. The flush is over (or streaming starts):
    // GetNextSample waits for new data again. Before the threads start.
    virtual void EndFlush() {}

    std::size_t outputCount() const { return m_outputs.size(); }
    OutputPin &outputAt(std::size_t stream) { return *m_outputs.at(stream); }

    bool Pause() override;
    void BeginStop() override;
    void JoinStreaming() override;
    void Stop() override;
    // Pin protocol (filter.h) for the input, when there is one: receive
    // (default Error) and checkPinType are the derived class's, end of
    // stream and new segments go to every output by default.
    // A flush from upstream: the outputs are flushed, the pools decommitted,
    // BeginFlush, the threads joined; when it ends, EndFlush, the outputs'
    // flush ends and the threads start again (unless stopped).
    void beginFlush(InputPin &pin) override;
    void endFlush(InputPin &pin) override;
    MediaTimeSeeker *seeker() override;
    bool isSeekRoot() const override;

    // Outputs: OutputTypes; the input: none.
    std::vector<MediaType> proposeTypes(const Pin &pin) override;
    // Outputs: one of OutputTypes; the input: false (a derived class with an
    // input answers for it).
    bool checkPinType(const Pin &pin, const MediaType &type) override;
    // Outputs: a pool set by DecideBufferSize (none when it sets no
    // properties); the input: true.
    bool completeConnect(Pin &pin) override;

    // MediaTimeSeeker, 100 ns; any thread.
    std::optional<std::int64_t> duration() const override;
    std::optional<std::int64_t> currentPosition() const override;
    std::optional<std::int64_t> stopPosition() const override;
    bool setPositions(std::optional<std::int64_t> current,
                      std::optional<std::int64_t> stop) override;
    std::int64_t frameDuration() const override;

protected:
    // Control thread, while stopped.
    OutputPin &addOutput(std::string name);
    void removeOutputs();
    // The pool of output `stream`, for GetNextSample.
    Allocator *streamAllocator(std::size_t stream) { return m_outputs.at(stream)->allocator(); }
    std::size_t streamOf(const Pin &pin) const;

private:
    void startThreads();
    void joinThreads();
    void streamLoop(std::size_t stream, bool root, std::int64_t start, std::int64_t stop);
    void runStream(std::size_t stream, bool root, std::int64_t start, std::int64_t stop);
    bool commitPools();

    std::vector<std::unique_ptr<OutputPin>> m_outputs;
    std::atomic<bool> m_streaming{false}; // streaming prepared (Pause from Stopped)
    // Serialises start, seek and stop of the threads.
    mutable std::recursive_mutex m_threadsMutex;
    std::vector<StreamingThread> m_threads; // guarded by m_threadsMutex
    std::atomic<bool> m_endThreads{false};
    std::atomic<std::int64_t> m_start{0};
    std::atomic<std::int64_t> m_stop{-1}; // -1: to the end
};

} // namespace vidora::media
