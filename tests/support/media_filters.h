#pragma once

// Test filters for the media layer: a memory source, a recording sink, a
// counting in-place transform, and a harness that runs one filter between a
// test source pin and a test sink pin.
#include "formats/dvsystem.h"
#include "platform/media/graph.h"
#include "platform/media/renderer.h"
#include "platform/media/splitter.h"
#include "platform/media/transform.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vidora::test {

// The frame number a MemorySource wrote into a sample (first 4 bytes, LE).
int frameNumberOf(const media::MediaSample &sample);

// One video-like type for tests: video/dvsd with a VIDEOINFOHEADER.
media::MediaType testVideoType(std::int64_t frameDuration = kDv625.frameDuration);
media::MediaType testAudioType();

// A source of `frameCount` numbered frames per stream from a pool, without
// copying: each sample is a pool buffer with its frame number in the first
// bytes. Frame i has the time [i, i+1) × frameDuration and media time [i, i+1).
class MemorySource : public media::SplitterFilter
{
public:
    struct Options
    {
        std::vector<media::MediaType> streams{testVideoType()};
        int frameCount = 10;
        std::size_t frameSize = 64;
        std::int64_t frameDuration = kDv625.frameDuration;
        std::size_t bufferCount = 4;
        int failAtFrame = -1;       // GetNextSample answers Error there
        int typeChangeAtFrame = -1; // that frame carries its stream's type as a type change
    };
    explicit MemorySource(Options options);
    ~MemorySource() override;

    media::Flow GetNextSample(std::size_t stream, media::SamplePtr &sample) override;
    bool Seek(std::int64_t position) override;
    std::int64_t Duration() override;
    std::int64_t FrameDuration() override;
    std::vector<media::MediaType> OutputTypes(std::size_t stream) override;
    bool DecideBufferSize(std::size_t stream, media::Allocator &allocator) override;

    int framesProduced() const { return m_produced.load(); }

private:
    Options m_options;
    std::vector<std::unique_ptr<std::atomic<int>>> m_next; // per stream
    std::atomic<int> m_produced{0};
};

struct RecordedSample
{
    int frame = -1;
    std::optional<media::TimeRange> time;
    std::optional<media::TimeRange> mediaTime;
    std::int64_t clockTime = -1; // the graph clock's time when rendered, -1 without a clock
    bool typeChange = false;
    std::thread::id thread;
};

// A renderer that records what it renders and what it cues.
class RecordingSink : public media::RendererFilter
{
public:
    explicit RecordingSink(media::MediaType accepts = media::MediaType(),
                           std::string objectName = "Recording Sink");

    bool CheckInputType(const media::MediaType &type) override { return type.matches(m_accepts); }
    media::Flow DoRenderSample(const media::MediaSample &sample) override;
    void OnReceiveFirstSample(const media::MediaSample &sample) override;

    std::vector<RecordedSample> rendered() const;
    std::vector<int> renderedFrames() const;
    std::vector<int> cuedFrames() const;
    bool waitForRendered(std::size_t count, std::chrono::milliseconds timeout) const;
    // Called in DoRenderSample before recording (block, fail, inspect).
    std::function<media::Flow(const media::MediaSample &)> onRender;

private:
    media::MediaType m_accepts;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<RecordedSample> m_rendered; // guarded by m_mutex
    std::vector<int> m_cued;                // guarded by m_mutex
};

// An in-place transform that counts what passes, can fail at a frame, and
// records on which thread and in which state its hooks ran.
class CountingTransform : public media::InPlaceTransformFilter
{
public:
    explicit CountingTransform(bool modifiesData = false, std::string objectName = "Counter");

    bool CheckInputType(const media::MediaType &type) override;
    media::Flow Transform(media::MediaSample &sample) override;
    using media::InPlaceTransformFilter::Transform;
    bool StartStreaming() override;
    void StopStreaming() override;
    void Stop() override;

    int count() const { return m_count.load(); }
    std::vector<int> frames() const;
    std::atomic<int> failAtFrame{-1};
    std::atomic<int> throwAtFrame{-1};
    bool throwInStartStreaming = false;
    bool throwInStop = false;
    std::atomic<int> writeByte{-1}; // when >= 0, written into byte 4 of each sample
    media::MediaType accepts;       // empty: any
    // Runs inside Stop(), before the base's (the place of final reports).
    std::function<void()> onStop;
    std::thread::id stopThread;
    bool streamingWhenStopped = true; // some transform was in progress during Stop
    int startCount = 0;
    int stopStreamingCount = 0;

private:
    std::atomic<int> m_count{0};
    std::atomic<int> m_inTransform{0};
    mutable std::mutex m_mutex;
    std::vector<int> m_frames; // guarded by m_mutex
};

// Records a graph's events, delivered through a plain queue the test drains.
class EventLog
{
public:
    // The graph must have been made with `executor`.
    EventLog(media::FilterGraph &graph, std::shared_ptr<media::QueueEventExecutor> executor);
    // Runs queued events; then the log.
    std::vector<media::GraphEventCode> codes();
    int count(media::GraphEventCode code);
    // Drains until `code` has been seen `times` times or the time is up.
    bool waitFor(media::GraphEventCode code, std::chrono::milliseconds timeout, int times = 1);

private:
    std::shared_ptr<media::QueueEventExecutor> m_executor;
    std::shared_ptr<std::vector<media::GraphEvent>> m_events; // test thread only
};

// One filter under test between a test source pin and a test sink pin, in a
// graph of its own with a queued executor.
class FilterHarness
{
public:
    FilterHarness(std::shared_ptr<media::Filter> filter, MemorySource::Options source,
                  media::MediaType sinkAccepts = media::MediaType());
    bool connected() const { return m_connected; }
    media::FilterGraph &graph() { return *m_graph; }
    MemorySource &source() { return *m_source; }
    RecordingSink &sink() { return *m_sink; }
    EventLog &events() { return *m_log; }
    // Runs the graph until Complete or ErrorAbort (or the time-out), then
    // stops it; true when Complete came.
    bool runToCompletion(std::chrono::milliseconds timeout = std::chrono::seconds(5));

private:
    std::shared_ptr<media::QueueEventExecutor> m_executor;
    std::unique_ptr<media::FilterGraph> m_graph;
    std::unique_ptr<EventLog> m_log;
    std::shared_ptr<MemorySource> m_source;
    std::shared_ptr<RecordingSink> m_sink;
    bool m_connected = false;
};

} // namespace vidora::test
