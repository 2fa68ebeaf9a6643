#include "platform/media/sample_queue.h"
#include "support/media_filters.h"
#include "support/media_hang_guard.h"

#include <future>
#include <gtest/gtest.h>

namespace {

using namespace vidora::media;
using namespace vidora::test;
using namespace std::chrono_literals;

TEST(SampleQueue, BlocksWhenFullOrEmptyAndAFlushWakesBothSides)
{
    HangGuard guard(10s);
    SampleQueue queue(2);
    auto a = MediaSample::create(1);
    ASSERT_EQ(queue.push(a), Flow::Ok);
    ASSERT_EQ(queue.push(MediaSample::create(1)), Flow::Ok);
    auto pusher =
        std::async(std::launch::async, [&] { return queue.push(MediaSample::create(1)); });
    EXPECT_EQ(pusher.wait_for(30ms), std::future_status::timeout);
    SamplePtr out;
    ASSERT_EQ(queue.pop(out), Flow::Ok);
    EXPECT_EQ(out, a); // oldest first
    EXPECT_EQ(pusher.get(), Flow::Ok);

    // Full again: a flush wakes the pusher and drops what is queued.
    auto blocked =
        std::async(std::launch::async, [&] { return queue.push(MediaSample::create(1)); });
    EXPECT_EQ(blocked.wait_for(30ms), std::future_status::timeout);
    queue.beginFlush();
    EXPECT_EQ(blocked.get(), Flow::Flushing);
    EXPECT_EQ(queue.size(), 0u);
    EXPECT_EQ(queue.pop(out), Flow::Flushing);
    queue.endFlush();

    // Empty: a popper waits, and a flush wakes it too.
    auto popper = std::async(std::launch::async, [&] {
        SamplePtr s;
        return queue.pop(s);
    });
    EXPECT_EQ(popper.wait_for(30ms), std::future_status::timeout);
    queue.beginFlush();
    EXPECT_EQ(popper.get(), Flow::Flushing);
    queue.endFlush();

    // The end mark comes out after the samples queued before it.
    ASSERT_EQ(queue.push(MediaSample::create(1)), Flow::Ok);
    ASSERT_EQ(queue.pushEndOfStream(), Flow::Ok);
    EXPECT_EQ(queue.push(MediaSample::create(1)), Flow::Flushing);
    EXPECT_EQ(queue.pop(out), Flow::Ok);
    EXPECT_EQ(queue.pop(out), Flow::EndOfStream);
    EXPECT_EQ(queue.pop(out), Flow::EndOfStream);
}

// A splitter fed by another splitter (as a DV splitter behind an AVI
// splitter): the input's samples go into one queue per output, each output
// has its own thread. Pins: the input first, then the outputs.
class QueuedSplitter final : public SplitterFilter
{
public:
    QueuedSplitter() : SplitterFilter("Queued Splitter"), m_input(*this, "Input")
    {
        addOutput("A");
        addOutput("B");
    }
    std::vector<Pin *> pins() override { return {&m_input, &outputAt(0), &outputAt(1)}; }
    InputPin *inputPin() override { return &m_input; }

    bool checkPinType(const Pin &pin, const MediaType &type) override
    {
        return &pin == &m_input || SplitterFilter::checkPinType(pin, type);
    }
    Flow receive(InputPin &, const SamplePtr &sample) override
    {
        if (!isFlowing())
            return Flow::Flushing;
        sample->setReadOnly();
        for (auto &queue : m_queues)
            if (const Flow f = queue.push(sample); f != Flow::Ok)
                return f;
        return Flow::Ok;
    }
    Flow endOfStream(InputPin &) override
    {
        for (auto &queue : m_queues)
            queue.pushEndOfStream();
        return Flow::Ok;
    }
    Flow GetNextSample(std::size_t stream, SamplePtr &sample) override
    {
        return m_queues[stream].pop(sample);
    }
    void BeginFlush() override
    {
        for (auto &queue : m_queues)
            queue.beginFlush();
    }
    void EndFlush() override
    {
        for (auto &queue : m_queues)
            queue.endFlush();
    }
    bool Seek(std::int64_t) override { return true; }
    std::int64_t Duration() override { return 0; }
    std::vector<MediaType> OutputTypes(std::size_t) override
    {
        if (!m_input.isConnected())
            return {};
        return {m_input.connectionType()};
    }
    bool DecideBufferSize(std::size_t, Allocator &) override { return true; }

private:
    InputPin m_input;
    SampleQueue m_queues[2]{SampleQueue(2), SampleQueue(2)};
};

// A source of 20 frames, the queued splitter and a sink on each output.
struct QueuedGraph
{
    QueuedGraph()
    {
        graph.AddFilter(source, "source");
        graph.AddFilter(splitter, "splitter");
        graph.AddFilter(a, "a");
        graph.AddFilter(b, "b");
        connected = graph.Connect(source->outputAt(0), *splitter->pin(0)) &&
                    graph.Connect(*splitter->pin(1), a->input()) &&
                    graph.Connect(*splitter->pin(2), b->input());
    }
    // Runs to the end: both sinks render every frame from `first` on.
    void runToTheEnd(int first)
    {
        ASSERT_TRUE(graph.Run());
        ASSERT_TRUE(log.waitFor(GraphEventCode::Complete, 2s));
        std::vector<int> expected;
        for (int i = first; i < 20; ++i)
            expected.push_back(i);
        EXPECT_EQ(a->renderedFrames(), expected);
        EXPECT_EQ(b->renderedFrames(), expected);
    }
    std::shared_ptr<QueueEventExecutor> executor = std::make_shared<QueueEventExecutor>();
    FilterGraph graph{executor};
    EventLog log{graph, executor};
    std::shared_ptr<MemorySource> source =
        std::make_shared<MemorySource>(MemorySource::Options{.frameCount = 20});
    std::shared_ptr<QueuedSplitter> splitter = std::make_shared<QueuedSplitter>();
    std::shared_ptr<RecordingSink> a = std::make_shared<RecordingSink>();
    std::shared_ptr<RecordingSink> b = std::make_shared<RecordingSink>();
    bool connected = false;
};

TEST(QueuedSplitter, CuesSeeksThroughItsSourceAndStopsPromptly)
{
    HangGuard guard(10s);
    QueuedGraph q;
    ASSERT_TRUE(q.connected);
    auto &[executor, graph, log, source, splitter, a, b, connected] = q;
    EXPECT_FALSE(splitter->isSeekRoot());

    ASSERT_TRUE(graph.Pause());
    ASSERT_TRUE(graph.GetState(2s).complete);
    EXPECT_EQ(a->cuedFrames(), std::vector<int>{0});
    EXPECT_EQ(b->cuedFrames(), std::vector<int>{0});

    ASSERT_TRUE(graph.seeking().SetTimeFormat(TimeFormat::Frame));
    EXPECT_EQ(graph.seeking().GetDuration(), 20);
    ASSERT_TRUE(b->queryInterface<IMediaSeeking>()->SetPositions(400000 * 10, std::nullopt));
    ASSERT_TRUE(graph.GetState(2s).complete);
    EXPECT_EQ(a->cuedFrames(), (std::vector<int>{0, 10}));
    EXPECT_EQ(b->cuedFrames(), (std::vector<int>{0, 10}));

    q.runToTheEnd(10);
    const std::vector<int> expected = a->renderedFrames();
    EXPECT_EQ(graph.seeking().GetCurrentPosition(), 19);
    graph.Stop();
    EXPECT_EQ(log.count(GraphEventCode::Complete), 1);

    // Stop while both levels of threads stream into a slow renderer.
    a->onRender = [](const MediaSample &) {
        std::this_thread::sleep_for(1ms);
        return Flow::Ok;
    };
    ASSERT_TRUE(graph.seeking().SetPositions(0, std::nullopt));
    ASSERT_TRUE(graph.Run());
    ASSERT_TRUE(a->waitForRendered(expected.size() + 3, 2s));
    const auto before = std::chrono::steady_clock::now();
    graph.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
}

// Behind a splitter that queues, a paused source reads ahead until its pool
// or the queues are full; without read-ahead it reads the frame the pause
// shows and no more, after a pause and after each seek, and reads on when
// the graph runs.
TEST(QueuedSplitter, WithoutPausedReadAheadTheSourceReadsOnlyWhatThePauseShows)
{
    for (const bool readAhead : {true, false}) {
        SCOPED_TRACE(readAhead);
        HangGuard guard(10s);
        QueuedGraph q;
        ASSERT_TRUE(q.connected);
        auto &[executor, graph, log, source, splitter, a, b, connected] = q;
        source->setPausedReadAhead(readAhead);

        ASSERT_TRUE(graph.Pause());
        ASSERT_TRUE(graph.GetState(2s).complete);
        std::this_thread::sleep_for(50ms); // time to read ahead, if it does
        // Pool of 4: one frame held by the sinks, two in each queue, one waiting.
        EXPECT_EQ(source->framesProduced(), readAhead ? 4 : 1);

        ASSERT_TRUE(graph.seeking().SetPositions(400000 * 10, std::nullopt));
        ASSERT_TRUE(graph.GetState(2s).complete);
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(a->cuedFrames(), (std::vector<int>{0, 10}));
        EXPECT_EQ(b->cuedFrames(), (std::vector<int>{0, 10}));
        if (!readAhead) {
            EXPECT_EQ(source->framesProduced(), 2);
        }

        q.runToTheEnd(10);
        graph.Stop();
    }
}

} // namespace
