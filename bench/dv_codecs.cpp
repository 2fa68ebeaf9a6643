// DV decode → RGB24 → DV re-encode of a one-minute PAL file (1500 frames)
// through the media layer (buffer source → DV decoder → DV encoder → null
// renderer, no clock) next to the ffmpeg command line doing the same work
// (`ffmpeg -threads N -i in.dv -vf format=bgr24 -c:v dvvideo`), with the
// same slice-thread count, on the same file, in one run. Compare the medians
// of the repetitions: the goal is layer / ffmpeg ≤ 1.2. The layer's source
// holds the frames in memory; ffmpeg reads them from the (cached) file.
#include "platform/media/filters/dv_decoder.h"
#include "platform/media/filters/dv_encoder.h"
#include "platform/media/filters/null_renderer.h"
#include "platform/media/graph.h"
#include "support/media_buffer_source.h"
#include "support/media_filters.h"
#include "support/tools.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <chrono>

namespace {

using namespace vidora::media;
using namespace vidora::test;

struct Input
{
    QTemporaryDir dir;
    QString path;
    std::vector<QByteArray> frames;

    Input()
    {
        path = dir.filePath("in.dv");
        runTool("ffmpeg",
                {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=size=720x576:rate=25", "-t",
                 "60", "-c:v", "dvvideo", "-pix_fmt", "yuv420p", "-f", "dv", path});
        frames = splitDvFrames(readFileBytes(path));
    }
};

Input &input()
{
    static Input in;
    return in;
}

MediaType palDv()
{
    VideoInfoHeader info;
    info.AvgTimePerFrame = 400000;
    info.bmiHeader.biWidth = 720;
    info.bmiHeader.biHeight = 576;
    info.bmiHeader.biCompression = subtype::Dvsd;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biSizeImage = 144000;
    return MediaType::video(subtype::Dvsd, info);
}

void BM_Layer(benchmark::State &state)
{
    const int threads = static_cast<int>(state.range(0));
    const auto &frames = input().frames;
    if (frames.size() != 1500) {
        state.SkipWithError("the input file could not be made");
        return;
    }
    for (auto _ : state) {
        auto executor = std::make_shared<QueueEventExecutor>();
        FilterGraph graph(executor);
        EventLog log(graph, executor);
        BufferSource::Options options;
        options.type = palDv();
        options.buffers = frames;
        auto source = std::make_shared<BufferSource>(options);
        auto decoder = std::make_shared<DvDecoderFilter>();
        decoder->setThreadCount(threads);
        auto encoder = std::make_shared<DvEncoderFilter>();
        encoder->setThreadCount(threads);
        encoder->put_FormatSettings(DVENCODERVIDEOFORMAT_PAL, DVENCODERFORMAT_DVSD,
                                    DVENCODERRESOLUTION_720x480, false);
        auto sink = std::make_shared<NullRenderer>();
        graph.AddFilter(source, "source");
        graph.AddFilter(decoder, "decoder");
        graph.AddFilter(encoder, "encoder");
        graph.AddFilter(sink, "sink");
        if (!graph.Connect(source->outputAt(0), decoder->input()) ||
            !graph.Connect(decoder->output(), encoder->input()) ||
            !graph.Connect(encoder->output(), sink->input())) {
            state.SkipWithError("the graph cannot be built");
            return;
        }
        const auto start = std::chrono::steady_clock::now();
        graph.Run();
        const bool complete = log.waitFor(GraphEventCode::Complete, std::chrono::minutes(5));
        const auto end = std::chrono::steady_clock::now();
        graph.Stop();
        if (!complete) {
            state.SkipWithError("the graph did not complete");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    state.counters["frames/s"] = benchmark::Counter(
        1500.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Ffmpeg(benchmark::State &state)
{
    const QString threads = QString::number(state.range(0));
    Input &in = input();
    const QString out = in.dir.filePath("out.dv");
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const auto r = runTool("ffmpeg", {"-v", "error", "-y", "-threads", threads, "-i", in.path,
                                          "-vf", "format=bgr24", "-c:v", "dvvideo", "-threads",
                                          threads, "-pix_fmt", "yuv420p", "-an", "-f", "dv", out});
        const auto end = std::chrono::steady_clock::now();
        if (r.exitCode != 0) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
}

BENCHMARK(BM_Layer)->Arg(1)->Arg(4)->UseManualTime()->Iterations(1)->Repetitions(5)->Unit(
    benchmark::kMillisecond);
BENCHMARK(BM_Ffmpeg)->Arg(1)->Arg(4)->UseManualTime()->Iterations(1)->Repetitions(5)->Unit(
    benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
