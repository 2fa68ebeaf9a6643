// Burning the date into a one-minute DV type 2 file (PAL: 1500 frames; NTSC:
// 1798 frames; 48 kHz stereo): the processing module's overlay graph (AVI
// splitter → scene detector → DV decoder → date overlay on the planar picture
// → DV encoder → DV header → DV muxer with the audio → DV splitter → AVI mux →
// file writer, no clock) run to completion, next to the ffmpeg command line
// doing the same job (`ffmpeg -i in.avi -vf drawtext=… -c:v dvvideo -c:a copy
// out.avi`), on the same file. Both use the same codec thread count (the DV
// codec filters' default, the processor count up to 8; ffmpeg gets it with
// -threads). Both draw on the decoded YUV picture, with no colour conversion.
// Both end with the output written through to the disk: the graph's file
// writer does it before it names the file, ffmpeg's output gets an fdatasync
// inside its timing.
// Each repetition runs the graph, then ffmpeg (a pair); printed at the end:
// the median of the pairs' ratios (graph / ffmpeg) with the load average of
// each pair. Goal: ratio <= 1.0 for both standards on a quiet machine.
#include "main/bench_main.h"
#include "main/bench_pairs.h"
#include "platform/media/executor.h"
#include "platform/media/filters/ffmpeg_support.h"
#include "platform/media/graph.h"
#include "settings/incrustrec.h"
#include "support/tools.h"
#include "video/filters/dv_dvheader.h"
#include "video/filters/dv_superposer.h"
#include "video/graphs/convertirdvunit.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace vidora;
using namespace vidora::test;
using vidora::bench::Pairs;

constexpr char kFont[] = "/usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf";

// A one-minute type 2 file of the standard, made once.
struct Input
{
    QTemporaryDir dir;
    QString path;
    bool ntsc = false;
    bool ok = false;

    explicit Input(bool ntscInput) : ntsc(ntscInput)
    {
        // Raw DV first, for its recording date packs; then type 2.
        const QString raw = dir.filePath("in.dv");
        path = dir.filePath("in.avi");
        const QString picture = ntsc ? QStringLiteral("testsrc2=size=720x480:rate=30000/1001")
                                     : QStringLiteral("testsrc2=size=720x576:rate=25");
        const auto made = runTool("ffmpeg", {"-v",
                                             "error",
                                             "-y",
                                             "-f",
                                             "lavfi",
                                             "-i",
                                             picture,
                                             "-f",
                                             "lavfi",
                                             "-i",
                                             "sine=frequency=440:sample_rate=48000",
                                             "-t",
                                             "60",
                                             "-ac",
                                             "2",
                                             "-pix_fmt",
                                             ntsc ? "yuv411p" : "yuv420p",
                                             "-metadata",
                                             "creation_time=2005-06-07T08:09:10Z",
                                             "-f",
                                             "dv",
                                             raw});
        const auto wrapped = runTool(
            "ffmpeg", {"-v", "error", "-y", "-i", raw, "-c:v", "copy", "-c:a", "pcm_s16le", path});
        ok = made.exitCode == 0 && wrapped.exitCode == 0;
    }
};

Input &input(bool ntsc)
{
    static Input pal(false);
    static Input ntscInput(true);
    return ntsc ? ntscInput : pal;
}

// The graph from build to a durable output; seconds, or -1.
double RunGraph(const Input &in)
{
    const QString out = in.dir.filePath("graph.avi");
    auto executor = std::make_shared<media::QueueEventExecutor>();
    TCdm cdm(executor);
    std::atomic<bool> complete{false};
    std::atomic<bool> failed{false};
    cdm.OnGraphComplete = [&] { complete = true; };
    cdm.OnGraphError = [&](const QString &) { failed = true; };
    if (cdm.BuildOverlayGraphType2(in.path, out, in.ntsc) == nullptr)
        return -1;
    TincrustRec options;
    options.Line1 = QStringLiteral("%D1");
    options.Line2 = QStringLiteral("%D2");
    options.When = 0;
    cdm.Superposer().SetOptions(options);
    cdm.Superposer().SetPosition(920, 920, 2);
    cdm.Superposer().SetOverlayOn(true);
    cdm.DvHeader().SetDateOffset(0);
    cdm.DvHeader().SetCopyHeaders(true);
    cdm.DvHeader().SetWriteAspect(false);
    cdm.DvHeader().SetAspectWide(false);
    media::FilterGraph &graph = cdm.graph();
    graph.SetSyncSource(nullptr);
    const auto start = std::chrono::steady_clock::now();
    if (!graph.Run())
        return -1;
    const auto limit = start + std::chrono::minutes(5);
    while (!complete && !failed && std::chrono::steady_clock::now() < limit) {
        if (executor->runPending() == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // The run ends when the file writer has written the output through to
    // the disk and renamed it, in Stop.
    graph.Stop();
    const auto end = std::chrono::steady_clock::now();
    return complete ? std::chrono::duration<double>(end - start).count() : -1;
}

// ffmpeg on the same file; seconds, or -1.
double RunFfmpeg(const Input &in)
{
    const QString threads = QString::number(media::ffmpeg::defaultThreadCount());
    const QString out = in.dir.filePath("ffmpeg.avi");
    const QString filter = QString("drawtext=text='07.06.2005 08\\:09\\:10':fontfile=%1:"
                                   "fontsize=28:fontcolor=white:borderw=2:x=w*0.92-tw:y=h*0.92-th")
                               .arg(kFont);
    const auto start = std::chrono::steady_clock::now();
    const auto r =
        runTool("ffmpeg", {"-v", "error", "-y", "-threads", threads, "-i", in.path, "-vf", filter,
                           "-c:v", "dvvideo", "-threads", threads, "-pix_fmt",
                           in.ntsc ? "yuv411p" : "yuv420p", "-c:a", "copy", out});
    const bool synced = r.exitCode == 0 && syncFileData(out);
    const auto end = std::chrono::steady_clock::now();
    return synced ? std::chrono::duration<double>(end - start).count() : -1;
}

Pairs g_pairs[2]; // PAL, NTSC

void BM_OverlayPairs(benchmark::State &state, bool ntsc)
{
    const Input &in = input(ntsc);
    if (!in.ok) {
        state.SkipWithError("the input file could not be made");
        return;
    }
    vidora::bench::RunPairs(
        state, g_pairs[ntsc], [&] { return RunGraph(in); }, [&] { return RunFfmpeg(in); });
    state.counters["threads"] = media::ffmpeg::defaultThreadCount();
}

BENCHMARK_CAPTURE(BM_OverlayPairs, pal, false)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OverlayPairs, ntsc, true)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);

} // namespace

[[maybe_unused]] const bool g_defined = vidora::bench::define({
    .prepare = {},
    .report =
        [] {
            g_pairs[0].print("date overlay PAL", "ffmpeg -vf drawtext -c:v dvvideo", 1.0);
            g_pairs[1].print("date overlay NTSC", "ffmpeg -vf drawtext -c:v dvvideo", 1.0);
        },
});
