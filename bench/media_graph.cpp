// Throughput of the media layer itself: 144 000-byte samples (one PAL DV
// frame) from a source that hands out pool buffers without copying, through
// three in-place transforms that each touch one byte, to a null renderer,
// with no clock. The peer is the same work without the layer (a loop over
// the same pool), so the difference is the layer's cost per frame.
// Goal: at least 100 000 samples/s through the graph.
#include "formats/dvsystem.h"
#include "main/bench_main.h"
#include "platform/media/filters/null_renderer.h"
#include "platform/media/graph.h"
#include "support/media_filters.h"

#include <benchmark/benchmark.h>
#include <condition_variable>

namespace {

using namespace vidora::media;
using vidora::kDv625;
using namespace vidora::test;

constexpr std::size_t FrameBytes = kDv625.frameBytes;
constexpr int FramesPerRun = 20000;

class TouchOneByte final : public InPlaceTransformFilter
{
public:
    TouchOneByte() : InPlaceTransformFilter("Touch", true) {}
    bool CheckInputType(const MediaType &) override { return true; }
    Flow Transform(MediaSample &sample) override
    {
        sample.data()[100] ^= 1;
        return Flow::Ok;
    }
    using InPlaceTransformFilter::Transform;
};

// Events run on the thread that waits for them.
class WaitingExecutor final : public EventExecutor
{
public:
    void post(std::function<void()> call) override
    {
        {
            std::lock_guard lock(m_mutex);
            m_calls.push_back(std::move(call));
        }
        m_ready.notify_one();
    }
    void runOne()
    {
        std::function<void()> call;
        {
            std::unique_lock lock(m_mutex);
            m_ready.wait(lock, [this] { return !m_calls.empty(); });
            call = std::move(m_calls.front());
            m_calls.pop_front();
        }
        call();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<std::function<void()>> m_calls;
};

void BM_GraphThreeInPlaceTransforms(benchmark::State &state)
{
    auto executor = std::make_shared<WaitingExecutor>();
    FilterGraph graph(executor);
    bool complete = false;
    graph.setEventHandler(
        [&](const GraphEvent &e) { complete = e.code == GraphEventCode::Complete; });
    auto source = std::make_shared<MemorySource>(MemorySource::Options{
        .frameCount = FramesPerRun, .frameSize = FrameBytes, .bufferCount = 4});
    graph.AddFilter(source, "source");
    Pin *previous = &source->outputAt(0);
    for (int i = 0; i < 3; ++i) {
        auto touch = std::make_shared<TouchOneByte>();
        graph.AddFilter(touch, "touch");
        graph.Connect(*previous, touch->input());
        previous = &touch->output();
    }
    auto null = std::make_shared<NullRenderer>();
    graph.AddFilter(null, "null");
    if (!graph.Connect(*previous, null->input())) {
        state.SkipWithError("the graph cannot be built");
        return;
    }
    for (auto _ : state) {
        graph.seeking().SetPositions(0, std::nullopt);
        complete = false;
        graph.Run();
        while (!complete)
            executor->runOne();
        graph.Stop();
    }
    state.counters["samples/s"] =
        benchmark::Counter(FramesPerRun, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_GraphThreeInPlaceTransforms)->Unit(benchmark::kMillisecond)->UseRealTime();

// The peer: the same buffers and the same three touches, without the layer.
void BM_PlainLoopSameWork(benchmark::State &state)
{
    Allocator pool;
    pool.setProperties({4, FrameBytes, 16});
    pool.commit();
    for (auto _ : state) {
        for (int frame = 0; frame < FramesPerRun; ++frame) {
            SamplePtr sample;
            pool.getBuffer(sample);
            sample->setActualLength(FrameBytes);
            std::memcpy(sample->data(), &frame, sizeof frame);
            for (int i = 0; i < 3; ++i)
                sample->data()[100] ^= 1;
            benchmark::DoNotOptimize(sample->data());
        }
    }
    state.counters["samples/s"] =
        benchmark::Counter(FramesPerRun, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_PlainLoopSameWork)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
