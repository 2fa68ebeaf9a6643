// Rewrapping a one-minute PAL DV type-2 AVI (1500 frames, PCM audio) through
// our graph (file source → AVI splitter → AVI mux → file writer) next to
// `ffmpeg -i in.avi -c copy out.avi` on the same file, in the same run. Both
// read and write the same ~220 MB; the page cache holds the input after the
// first run. Printed at the end: the ratio of the medians of 5 runs each
// (graph / ffmpeg). Goal: not slower than ffmpeg (ratio ≤ 1.0).
#include "platform/media/filters/avi_mux.h"
#include "platform/media/filters/avi_splitter.h"
#include "platform/media/filters/file_source.h"
#include "platform/media/filters/file_writer.h"
#include "support/media_filters.h"
#include "support/tools.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>

namespace {

using namespace vidora::media;
using namespace vidora::test;
using namespace std::chrono_literals;

QString g_input;
QString g_dir;
std::vector<double> g_graphSeconds;
std::vector<double> g_ffmpegSeconds;

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

bool rewrapThroughGraph(const QString &out)
{
    auto executor = std::make_shared<QueueEventExecutor>();
    FilterGraph graph(executor);
    EventLog log(graph, executor);
    auto source = std::make_shared<FileSourceFilter>();
    auto splitter = std::make_shared<AviSplitterFilter>();
    auto mux = std::make_shared<AviMuxFilter>();
    auto writer = std::make_shared<FileWriterFilter>();
    graph.AddFilter(source, "source");
    graph.AddFilter(splitter, "avisplitter");
    graph.AddFilter(mux, "avimux");
    graph.AddFilter(writer, "destination");
    if (!source->Load(g_input, nullptr) || !graph.Connect(source->output(), splitter->input()))
        return false;
    for (std::size_t i = 0; i < splitter->outputCount(); ++i)
        if (!graph.Connect(splitter->outputAt(i), *mux->pins().back()))
            return false;
    if (!graph.Connect(mux->output(), writer->input()) || !writer->SetFileName(out, nullptr) ||
        !writer->SetMode(AM_FILE_OVERWRITE) || !graph.Run())
        return false;
    const bool complete = log.waitFor(GraphEventCode::Complete, 120s);
    graph.Stop();
    return complete;
}

void BM_RewrapThroughGraph(benchmark::State &state)
{
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (!rewrapThroughGraph(g_dir + "/graph.avi")) {
            state.SkipWithError("the graph failed");
            return;
        }
        g_graphSeconds.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
}
BENCHMARK(BM_RewrapThroughGraph)->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);

void BM_FfmpegCopy(benchmark::State &state)
{
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const ToolResult run = runTool(
            "ffmpeg", {"-v", "error", "-y", "-i", g_input, "-c", "copy", g_dir + "/ffmpeg.avi"});
        if (run.exitCode != 0) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
        g_ffmpegSeconds.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
}
BENCHMARK(BM_FfmpegCopy)->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    g_dir = dir.path();
    g_input = dir.filePath("in.avi");
    const QString raw = dir.filePath("in.dv");
    const ToolResult made = runTool(
        "ffmpeg", QString("-v error -y -f lavfi -i testsrc=size=720x576:rate=25 -f lavfi -i "
                          "sine=sample_rate=48000 -t 60 -ac 2 -pix_fmt yuv420p -f dv")
                          .split(' ')
                      << raw);
    const ToolResult wrapped = runTool(
        "ffmpeg", {"-v", "error", "-y", "-i", raw, "-c:v", "copy", "-c:a", "pcm_s16le", g_input});
    if (made.exitCode != 0 || wrapped.exitCode != 0) {
        std::fprintf(stderr, "cannot make the input with ffmpeg\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const double graph = median(g_graphSeconds);
    const double ffmpeg = median(g_ffmpegSeconds);
    if (graph > 0 && ffmpeg > 0)
        std::printf("AVI rewrap, median of %zu / %zu runs: graph %.3f s, ffmpeg -c copy %.3f s, "
                    "ratio %.2f (goal <= 1.0)\n",
                    g_graphSeconds.size(), g_ffmpegSeconds.size(), graph, ffmpeg, graph / ffmpeg);
    return 0;
}
