#pragma once

// Test filters for the media layer: a memory source, a recording sink (and
// the recording end of a video renderer), a counting in-place transform, and
// a harness that runs filters between a test source pin and a test sink pin.
#include "formats/dvsystem.h"
#include "platform/media/clock.h"
#include "platform/media/filters/video_renderer.h"
#include "platform/media/graph.h"
#include "platform/media/renderer.h"
#include "platform/media/splitter.h"
#include "platform/media/transform.h"
#include "support/media_buffer_source.h"

#include <QByteArray>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace vidora::test {

// The frame number a MemorySource wrote into a sample (first 4 bytes, LE).
int frameNumberOf(const media::MediaSample &sample);
// The names of the filter's pins, in the filter's order.
std::vector<std::string> pinNames(media::Filter &filter);
// The frame numbers first, first + 1, …, last.
std::vector<int> frameNumbers(int first, int last);

// One video-like type for tests: video/dvsd with a VIDEOINFOHEADER stating
// the frame duration, 720 × 576 (PAL) or 720 × 480.
media::MediaType testVideoType(std::int64_t frameDuration = kDv625.frameDuration, bool pal = true);
media::MediaType testAudioType();
// An interleaved DV type with a blank DV info block (no duration).
media::MediaType dvInterleavedType();
// Video/RGB24 bottom-up pictures of the size, with the padded image size.
media::MediaType rgb24Type(int width, int height, std::int64_t frameDuration = 400000);

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

// What a recording keeps, with a wait for its size; the recorders' shared part.
template <typename T>
class Recording
{
public:
    void add(T item)
    {
        {
            std::lock_guard lock(m_mutex);
            m_items.push_back(std::move(item));
        }
        m_changed.notify_all();
    }
    std::vector<T> items() const
    {
        std::lock_guard lock(m_mutex);
        return m_items;
    }
    bool waitFor(std::size_t count, std::chrono::milliseconds timeout) const
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_items.size() >= count; });
    }

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<T> m_items; // guarded by m_mutex
};

struct RecordedSample
{
    int frame = -1; // what a MemorySource numbered it, -1 below 4 bytes
    QByteArray bytes;
    std::optional<media::TimeRange> time;
    std::optional<media::TimeRange> mediaTime;
    std::int64_t clockTime = -1; // the graph clock's time when rendered, -1 without a clock
    std::optional<media::MediaType> typeChange;
    std::thread::id thread;
};

// A renderer that records what it renders, byte for byte, and what it cues.
class RecordingSink : public media::RendererFilter
{
public:
    explicit RecordingSink(media::MediaType accepts = media::MediaType(),
                           std::string objectName = "Recording Sink");

    bool CheckInputType(const media::MediaType &type) override { return type.matches(m_accepts); }
    media::Flow DoRenderSample(const media::MediaSample &sample) override;
    void OnReceiveFirstSample(const media::MediaSample &sample) override;

    std::vector<RecordedSample> rendered() const { return m_rendered.items(); }
    std::vector<int> renderedFrames() const;
    // The bytes of every sample rendered, in order; all of them joined.
    std::vector<QByteArray> samples() const;
    QByteArray joined() const;
    std::vector<std::optional<media::TimeRange>> times() const;
    std::vector<std::optional<media::MediaType>> typeChanges() const;
    std::vector<int> cuedFrames() const { return m_cued.items(); }
    bool waitForRendered(std::size_t count, std::chrono::milliseconds timeout) const
    {
        return m_rendered.waitFor(count, timeout);
    }
    // Called in DoRenderSample before recording (block, fail, inspect).
    std::function<media::Flow(const media::MediaSample &)> onRender;
    // False: the records leave the bytes out (long runs of large frames).
    // Set before the graph runs.
    bool keepBytes = true;

private:
    media::MediaType m_accepts;
    Recording<RecordedSample> m_rendered;
    Recording<int> m_cued;
};

struct PresentedFrame
{
    media::VideoFrame frame;
    std::int64_t clockTime = -1; // the clock's time when presented, -1 without one
};

// The picture end of a video renderer for tests: records every frame the
// renderer presents, with the time a clock showed at that moment.
class RecordingVideoSink final : public media::IVideoSink
{
public:
    // `clock` (may be null) must outlive the sink's use.
    explicit RecordingVideoSink(const media::ReferenceClock *clock = nullptr) : m_clock(clock) {}

    void presentFrame(media::VideoFrame frame) override;

    std::vector<PresentedFrame> frames() const { return m_frames.items(); }
    bool waitForFrames(std::size_t count, std::chrono::milliseconds timeout) const
    {
        return m_frames.waitFor(count, timeout);
    }

private:
    const media::ReferenceClock *m_clock;
    Recording<PresentedFrame> m_frames;
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
    // Waits until any of `codes` was logged; false when none came in time.
    bool waitForAny(std::initializer_list<media::GraphEventCode> codes,
                    std::chrono::milliseconds timeout);

private:
    std::shared_ptr<media::QueueEventExecutor> m_executor;
    std::shared_ptr<std::vector<media::GraphEvent>> m_events; // test thread only
};

// A graph of its own with a queued executor and its event log, for tests
// that wire their filters themselves.
struct TestGraph
{
    std::shared_ptr<media::QueueEventExecutor> executor =
        std::make_shared<media::QueueEventExecutor>();
    media::FilterGraph graph{executor};
    EventLog log{graph, executor};

    // Runs the graph until this run's Complete or ErrorAbort (or the
    // time-out), then stops it; true when Complete came first.
    bool run(std::chrono::milliseconds timeout = std::chrono::seconds(10));
};

// Filters under test between a test source pin and a test sink pin:
// source → chain[0] → … → chain[n−1] → sink, connected directly, each
// filter by its first input and first output, in a TestGraph.
class FilterHarness
{
public:
    // Numbered frames of a MemorySource through one filter into a
    // RecordingSink that accepts `sinkAccepts`.
    FilterHarness(std::shared_ptr<media::Filter> filter, MemorySource::Options source,
                  media::MediaType sinkAccepts = media::MediaType());
    // Samples holding the given bytes (sample i holds samples[i]; lengths may
    // differ) through the chain into `sink`, or a RecordingSink accepting
    // anything when none is given.
    FilterHarness(media::MediaType type, std::vector<QByteArray> samples,
                  std::vector<std::shared_ptr<media::Filter>> chain,
                  std::shared_ptr<media::Filter> sink = nullptr);

    bool connected() const { return m_connected; }
    media::FilterGraph &graph() { return m_graph.graph; }
    media::SplitterFilter &source() { return *m_source; }
    // The recording sink; there is none when the test gave its own.
    RecordingSink &sink() { return *m_sink; }
    EventLog &events() { return m_graph.log; }
    // The bytes of every sample the recording sink rendered, in order.
    std::vector<QByteArray> received() const;
    bool run(std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        return m_graph.run(timeout);
    }

private:
    // The filters are named "filter 0", "filter 1"… when `numbered`, else
    // the one filter is "under test".
    void connect(std::vector<std::shared_ptr<media::Filter>> chain,
                 std::shared_ptr<media::Filter> sink, bool numbered);

    TestGraph m_graph;
    std::shared_ptr<media::SplitterFilter> m_source;
    std::shared_ptr<RecordingSink> m_sink; // null when the test gave its own sink
    bool m_connected = false;
};

} // namespace vidora::test
