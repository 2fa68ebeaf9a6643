// A transform with a queued input: samples, segments and the end of stream
// keep their order across the queue, each sample keeps its note, errors and
// refusals reach the upstream, and flushes and stops never hang on a full
// queue.
#include "platform/media/graph.h"
#include "support/media_filters.h"
#include "support/media_hang_guard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

using namespace vidora::media;
using namespace vidora::test;
using namespace std::chrono_literals;

// The note a tagger leaves: the frame number it saw.
struct FrameNote final : SampleNote
{
    explicit FrameNote(int f) : frame(f) {}
    int frame;
};

int noteFrame(const MediaSample &sample)
{
    const auto *note = dynamic_cast<const FrameNote *>(sample.note.get());
    return note != nullptr ? note->frame : -1;
}

// Tags each sample with its frame number, as a detector does.
class Tagger final : public InPlaceTransformFilter
{
public:
    Tagger() : InPlaceTransformFilter("Tagger", false) {}
    bool CheckInputType(const MediaType &) override { return true; }
    Flow Transform(MediaSample &sample) override
    {
        thread = std::this_thread::get_id();
        sample.note = std::make_shared<FrameNote>(frameNumberOf(sample));
        return Flow::Ok;
    }
    using InPlaceTransformFilter::Transform;
    std::atomic<std::thread::id> thread;
};

// A copying transform with a queued input that records what it handles, in
// order: "s<start>" for a segment, the frame number for a sample.
class QueuedCopy final : public TransformFilter
{
public:
    QueuedCopy() : TransformFilter("Queued Copy") { setQueuedInput(2); }

    bool CheckInputType(const MediaType &) override { return true; }
    bool CheckTransform(const MediaType &in, const MediaType &out) override { return in == out; }
    std::optional<MediaType> GetMediaType(int position) override
    {
        if (position != 0 || !input().isConnected())
            return std::nullopt;
        return input().connectionType();
    }
    bool DecideBufferSize(Allocator &allocator, const AllocatorProperties &in) override
    {
        const auto granted = allocator.setProperties({2, std::max<std::size_t>(in.size, 64), 1});
        return granted.has_value();
    }
    Flow Transform(const MediaSample &in, MediaSample &out) override
    {
        thread = std::this_thread::get_id();
        const int frame = frameNumberOf(in);
        record(std::to_string(frame));
        std::memcpy(out.data(), in.data(), in.actualLength());
        out.setActualLength(in.actualLength());
        return frame == failAtFrame.load() ? Flow::Error : Flow::Ok;
    }
    void NewSegment(std::int64_t start, std::int64_t) override
    {
        record("s" + std::to_string(start));
    }

    std::vector<std::string> log() const
    {
        const std::lock_guard lock(m_mutex);
        return m_log;
    }
    std::atomic<int> failAtFrame{-1};
    std::atomic<std::thread::id> thread;

private:
    void record(std::string entry)
    {
        const std::lock_guard lock(m_mutex);
        m_log.push_back(std::move(entry));
    }
    mutable std::mutex m_mutex;
    std::vector<std::string> m_log; // guarded by m_mutex
};

struct Chain : TestGraph
{
    explicit Chain(MemorySource::Options options)
        : source(std::make_shared<MemorySource>(std::move(options))),
          tagger(std::make_shared<Tagger>()), queued(std::make_shared<QueuedCopy>()),
          sink(std::make_shared<RecordingSink>())
    {
        graph.AddFilter(source, "source");
        graph.AddFilter(tagger, "tagger");
        graph.AddFilter(queued, "queued");
        graph.AddFilter(sink, "sink");
        connected = graph.ConnectDirect(source->outputAt(0), tagger->input()) &&
                    graph.ConnectDirect(tagger->output(), queued->input()) &&
                    graph.ConnectDirect(queued->output(), sink->input());
        sink->onRender = [this](const MediaSample &sample) {
            if (noteFrame(sample) != frameNumberOf(sample))
                notesWrong.fetch_add(1);
            return Flow::Ok;
        };
    }
    std::shared_ptr<MemorySource> source;
    std::shared_ptr<Tagger> tagger;
    std::shared_ptr<QueuedCopy> queued;
    std::shared_ptr<RecordingSink> sink;
    std::atomic<int> notesWrong{0};
    bool connected = false;
};

TEST(QueuedTransform, HandsEverySampleOnInOrderOnItsOwnThreadWithItsNote)
{
    HangGuard guard(10s);
    Chain c({.frameCount = 200, .bufferCount = 3});
    ASSERT_TRUE(c.connected);
    ASSERT_TRUE(c.graph.Run());
    ASSERT_TRUE(c.log.waitFor(GraphEventCode::Complete, 5s));
    c.graph.Stop();
    EXPECT_EQ(c.sink->renderedFrames(), frameNumbers(0, 199));
    EXPECT_EQ(c.notesWrong.load(), 0);
    EXPECT_NE(c.queued->thread.load(), c.tagger->thread.load());
    EXPECT_EQ(c.log.count(GraphEventCode::Complete), 1);
    EXPECT_EQ(c.log.count(GraphEventCode::ErrorAbort), 0);
}

TEST(QueuedTransform, AnErrorAfterTheQueueStopsTheUpstream)
{
    HangGuard guard(10s);
    Chain c({.frameCount = 1'000'000, .bufferCount = 3});
    c.queued->failAtFrame = 5;
    ASSERT_TRUE(c.graph.Run());
    ASSERT_TRUE(c.log.waitFor(GraphEventCode::ErrorAbort, 5s));
    const auto before = std::chrono::steady_clock::now();
    c.graph.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
    EXPECT_EQ(c.sink->renderedFrames(), frameNumbers(0, 4));
    // The source learnt of the error within the queue's reach.
    EXPECT_LT(c.source->framesProduced(), 20);
    EXPECT_EQ(c.log.count(GraphEventCode::ErrorAbort), 1);
}

TEST(QueuedTransform, SeekFlushesTheQueueKeepsSegmentsInOrderAndStopNeverHangs)
{
    HangGuard guard(10s);
    Chain c({.frameCount = 30, .bufferCount = 3});
    ASSERT_TRUE(c.graph.Pause());
    ASSERT_TRUE(c.graph.GetState(2s).complete);
    EXPECT_EQ(c.sink->cuedFrames(), std::vector<int>{0});

    // Paused: the renderer holds frame 0, the queue and the pools fill up
    // behind it. A seek flushes all of it and cues frame 5.
    std::this_thread::sleep_for(20ms);
    auto &seeking = c.graph.seeking();
    ASSERT_TRUE(seeking.SetTimeFormat(TimeFormat::Frame));
    ASSERT_TRUE(seeking.SetPositions(5, std::nullopt));
    ASSERT_TRUE(c.graph.GetState(2s).complete);
    EXPECT_EQ(c.sink->cuedFrames(), (std::vector<int>{0, 5}));

    // Whatever was queued before the seek was handled before the new
    // segment, and nothing of it after.
    const auto log = c.queued->log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front()[0], 's') << "the first segment comes before any sample";
    const auto segment = std::find_if(log.begin() + 1, log.end(),
                                      [](const std::string &entry) { return entry[0] == 's'; });
    ASSERT_NE(segment, log.end());
    ASSERT_NE(segment + 1, log.end());
    EXPECT_EQ(*(segment + 1), "5");
    for (auto it = segment + 1; it != log.end(); ++it)
        EXPECT_GE(std::stoi(*it), 5) << "a sample from before the seek came after it";

    // Stopping while everything waits behind the held frame returns at once,
    // and the next run starts the queue again.
    const auto before = std::chrono::steady_clock::now();
    c.graph.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
    ASSERT_TRUE(c.graph.Run());
    ASSERT_TRUE(c.log.waitFor(GraphEventCode::Complete, 5s));
    c.graph.Stop();
    const auto rendered = c.sink->renderedFrames();
    EXPECT_EQ(std::vector<int>(rendered.end() - 25, rendered.end()), frameNumbers(5, 29));
    EXPECT_EQ(c.notesWrong.load(), 0);
}

} // namespace
