// DV type 1 to type 2 through the processing module's graph (built by
// TCdm::BuildToType2Graph, run to completion), next to
// `ffmpeg -y -i in.avi -c:v copy -c:a pcm_s16le out.avi` on the same
// one-minute PAL type-1 file (1500 frames, 48 kHz stereo). The graph's time
// runs from the build to its stop, when its file writer has written the
// output through to the disk and renamed it; ffmpeg's output is written
// through (fdatasync) inside its timing too, so both end with a durable file.
// Each repetition runs the graph, then ffmpeg (a pair); printed at the end:
// the median of the pairs' ratios (graph / ffmpeg) with the load average of
// each pair. Goal: not slower than ffmpeg (ratio <= 1.0) on a quiet machine.
#include "main/bench_main.h"
#include "main/bench_pairs.h"
#include "platform/media/executor.h"
#include "platform/media/graph.h"
#include "support/avi_files.h"
#include "support/tools.h"
#include "video/graphs/convertirdvunit.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {

using vidora::bench::Pairs;

using namespace vidora;
using namespace vidora::test;
using namespace std::chrono_literals;

QString g_input;
QString g_dir;
Pairs g_pairs;

bool ConvertOnce(const QString &out)
{
    auto executor = std::make_shared<media::QueueEventExecutor>();
    TCdm cdm(executor);
    bool complete = false;
    bool failed = false;
    cdm.OnGraphComplete = [&] { complete = true; };
    cdm.OnGraphError = [&](const QString &) { failed = true; };
    if (cdm.BuildToType2Graph(g_input, out) == nullptr || !cdm.graph().Run())
        return false;
    const auto deadline = std::chrono::steady_clock::now() + 120s;
    while (!complete && !failed && std::chrono::steady_clock::now() < deadline) {
        if (executor->runPending() == 0)
            std::this_thread::sleep_for(1ms);
    }
    cdm.graph().Stop();
    return complete && !failed;
}

// The module's conversion from the build to a durable output, the module
// let go; seconds, or -1.
double ConvertThroughModule(const QString &out)
{
    const auto start = std::chrono::steady_clock::now();
    if (!ConvertOnce(out))
        return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// ffmpeg on the same file; seconds, or -1.
double ConvertWithFfmpeg()
{
    const auto start = std::chrono::steady_clock::now();
    const ToolResult run = runTool("ffmpeg", {"-v", "error", "-y", "-i", g_input, "-c:v", "copy",
                                              "-c:a", "pcm_s16le", g_dir + "/ffmpeg.avi"});
    if (run.exitCode != 0 || !syncFileData(g_dir + "/ffmpeg.avi"))
        return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_Type1ToType2Pairs(benchmark::State &state)
{
    vidora::bench::RunPairs(
        state, g_pairs, [] { return ConvertThroughModule(g_dir + "/graph.avi"); },
        [] { return ConvertWithFfmpeg(); });
}
BENCHMARK(BM_Type1ToType2Pairs)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);

} // namespace

[[maybe_unused]] const bool g_defined = vidora::bench::define({
    .prepare =
        [] {
            static QTemporaryDir dir;
            if (!dir.isValid())
                return false;
            g_dir = dir.path();
            g_input = dir.filePath("in.avi");
            const ToolResult made = runTool(
                "ffmpeg", QString("-v error -y -f lavfi -i testsrc=size=720x576:rate=25 -f lavfi "
                                  "-i sine=sample_rate=48000 -t 60 -ac 2 -pix_fmt yuv420p -f dv")
                                  .split(' ')
                              << dir.filePath("in.dv"));
            if (made.exitCode != 0) {
                std::fprintf(stderr, "cannot make the input with ffmpeg\n");
                return false;
            }
            writeFileBytes(g_input, dvType1Avi(readFileBytes(dir.filePath("in.dv"))));
            return true;
        },
    .report =
        [] {
            g_pairs.print("DV type 1 to type 2 through the module",
                          "ffmpeg -c:v copy -c:a pcm_s16le", 1.0);
        },
});
