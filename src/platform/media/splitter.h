#pragma once

// The splitter base: a filter that produces streams, each on an output pin
// with a streaming thread of its own (one per connected output), started
// when the graph leaves Stopped and joined when it stops. A seek or a flush
// parks the threads instead: each waits for the next run. A source without
// an input (a memory source in tests) uses it as well.
//
// Positions. A splitter whose input does not come from another seekable
// filter is a seek root: it answers the stream position and seeks. Sample
// times given by GetNextSample are absolute (100 ns from the stream's start);
// the base sends each output a new segment starting at the seek position and
// delivers times relative to it. A sample starting at or after the stop
// position ends the stream.
//
// Seeking while streaming: the seeking thread flushes every output
// downstream (held samples drop, waits wake) and returns; it does not wait
// for the streaming threads. Each thread leaves its loop and parks; the last
// one to park repositions the streams (Seek), ends the flush downstream and
// starts every thread again at the new position, so the frame there follows
// without another hand-over. While the graph is paused the renderers then
// cue it. A seek that finds every thread parked already (the streams ended)
// does the same itself.
//
// A splitter fed by another one (not a root) delivers the times it is given:
// the segment comes from upstream, and a flush from upstream parks its
// threads (BeginFlush hook); the end of the flush, on whichever thread
// brings it, waits until they are parked and starts them again (EndFlush).
#include "platform/media/filter.h"
#include "platform/media/streaming_thread.h"

#include <condition_variable>
#include <mutex>

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
    // that contains `position` (100 ns). No stream is read meanwhile: the
    // call comes from the control thread before the threads start, or from
    // the last of them to park after a seek while the others wait.
    virtual bool Seek(std::int64_t position) = 0;
    // Required. Length of the longest stream, 100 ns.
    virtual std::int64_t Duration() = 0;
    // Optional; default 0 (no frame time format). One video frame, 100 ns.
    virtual std::int64_t FrameDuration() { return 0; }
    // Optional; default empty (positions in frames go by FrameDuration()).
    // The exact rate of the video stream whose samples it stamps.
    virtual FrameRate ExactFrameRate() { return {}; }
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
    // on that thread, before the streaming threads park or are joined.
    virtual void BeginFlush() {}
    // Optional; default nothing. The flush is over (or streaming starts):
    // GetNextSample waits for new data again. Every thread is parked, and
    // the call comes before they start again, on the thread that ends the
    // flush.
    virtual void EndFlush() {}

    // While paused, each stream reads its next sample only once everything it
    // delivered has been let go (its pool's buffers are all back), or the
    // graph runs: a paused preview reads no frame past the one it shows. On
    // by default, as a graph may pause with a filter that keeps a sample
    // until a later one of the same stream comes (a muxer waiting for sound
    // the next frame brings). Control thread, while stopped.
    void setPausedReadAhead(bool readAhead) { m_pausedReadAhead = readAhead; }

    std::size_t outputCount() const { return m_outputs.size(); }
    OutputPin &outputAt(std::size_t stream) { return *m_outputs.at(stream); }

    bool Pause() override;
    void Run(std::int64_t streamStart) override;
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
    FrameRate frameRate() const override;

protected:
    // Control thread, while stopped.
    OutputPin &addOutput(std::string name);
    void removeOutputs();
    // The pool of output `stream`, for GetNextSample.
    Allocator *streamAllocator(std::size_t stream) { return m_outputs.at(stream)->allocator(); }
    std::size_t streamOf(const Pin &pin) const;

private:
    void startThreads();
    void quitThreads();
    void joinThreads();
    // Flushes every output downstream and parks the threads (they leave
    // their loops); with m_runMutex held.
    void beginFlushLocked();
    // With every thread parked and m_runMutex held: repositions a root, ends
    // the flush downstream and starts the threads on a new run.
    bool restartLocked(std::unique_lock<std::mutex> &lock);
    void serve(std::size_t stream, bool root);
    void lockSoon(std::unique_lock<std::mutex> &lock);
    void streamLoop(std::size_t stream, bool root, std::uint64_t run, std::int64_t start,
                    std::int64_t stop);
    void runStream(std::size_t stream, bool root, std::uint64_t run, std::int64_t start,
                   std::int64_t stop);
    bool runGoesOn(std::uint64_t run) const { return m_flushes.load() == run && !m_quit.load(); }
    bool commitPools();
    // Without read-ahead while paused: waits until what `out` delivered is
    // let go, the graph runs or the run ends.
    void waitWhileHeld(OutputPin &out, std::uint64_t run);

    std::vector<std::unique_ptr<OutputPin>> m_outputs;
    bool m_pausedReadAhead = true;        // control thread, while stopped
    std::atomic<bool> m_streaming{false}; // streaming prepared (Pause from Stopped)
    // Serialises the start, the flushes and restarts, and the stop of the
    // threads; flushes begin and end downstream with it held, so they never
    // cross.
    mutable std::mutex m_runMutex;
    std::condition_variable m_runChanged;
    std::vector<StreamingThread> m_threads; // guarded by m_runMutex
    // The run the threads are in: the number of flushes begun when they were
    // started (written with m_runMutex held). A thread whose run is no longer
    // the newest flush leaves its loop.
    std::atomic<std::uint64_t> m_flushes{0};
    std::uint64_t m_run = 0; // guarded by m_runMutex: the run started last
    // Threads not parked: raised with m_runMutex held; a parking thread
    // lowers it before it takes the mutex, so that an end of flush looking
    // without the mutex sees the park at once.
    std::atomic<std::size_t> m_active{0};
    bool m_flushOpen = false;    // guarded by m_runMutex: flushed downstream, not yet ended
    std::int64_t m_runStart = 0; // guarded by m_runMutex: the run's segment
    std::int64_t m_runStop = -1; // guarded by m_runMutex
    std::atomic<bool> m_quit{false};
    std::atomic<std::int64_t> m_start{0};
    std::atomic<std::int64_t> m_stop{-1}; // -1: to the end
};

} // namespace vidora::media
