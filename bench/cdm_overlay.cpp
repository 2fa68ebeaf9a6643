// Burning the date into a one-minute PAL DV type 2 file (1500 frames, 48 kHz
// stereo): the processing module's overlay graph (AVI splitter → scene
// detector → DV decoder → date overlay on RGB24 → DV encoder → DV header →
// DV muxer with the audio → DV splitter → AVI mux → file writer, no clock)
// run to completion, next to the ffmpeg command line doing the same job
// (`ffmpeg -i in.avi -vf drawtext=… -c:v dvvideo -c:a copy out.avi`), on the
// same file in one run. Both use the same codec slice-thread count (the DV
// codec filters' default, the processor count up to 8; ffmpeg gets it with
// -threads). Compare the medians of the repetitions: the goal is
// graph / ffmpeg ≤ 1.2. ffmpeg draws on the YUV picture; the graph converts to
// RGB24 and back, as the overlay filter works on RGB24. Both end with the
// output written through to the disk: the graph's file writer does it before
// it names the file, ffmpeg's output gets an fdatasync inside its timing.
#include "main/bench_main.h"
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

constexpr char kFont[] = "/usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf";

struct Input
{
    QTemporaryDir dir;
    QString path;
    bool ok = false;

    Input()
    {
        // Raw DV first, for its recording date packs; then type 2.
        const QString raw = dir.filePath("in.dv");
        path = dir.filePath("in.avi");
        const auto made = runTool("ffmpeg", {"-v",
                                             "error",
                                             "-y",
                                             "-f",
                                             "lavfi",
                                             "-i",
                                             "testsrc2=size=720x576:rate=25",
                                             "-f",
                                             "lavfi",
                                             "-i",
                                             "sine=frequency=440:sample_rate=48000",
                                             "-t",
                                             "60",
                                             "-ac",
                                             "2",
                                             "-pix_fmt",
                                             "yuv420p",
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

Input &input()
{
    static Input in;
    return in;
}

void BM_OverlayGraph(benchmark::State &state)
{
    Input &in = input();
    if (!in.ok) {
        state.SkipWithError("the input file could not be made");
        return;
    }
    const QString out = in.dir.filePath("graph.avi");
    auto executor = std::make_shared<media::QueueEventExecutor>();
    TCdm cdm(executor);
    std::atomic<bool> complete{false};
    std::atomic<bool> failed{false};
    cdm.OnGraphComplete = [&] { complete = true; };
    cdm.OnGraphError = [&](const QString &) { failed = true; };
    for (auto _ : state) {
        complete = false;
        if (cdm.BuildOverlayGraphType2(in.path, out, false) == nullptr) {
            state.SkipWithError("the graph cannot be built");
            return;
        }
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
        if (!graph.Run()) {
            state.SkipWithError("the graph does not run");
            return;
        }
        const auto limit = start + std::chrono::minutes(5);
        while (!complete && !failed && std::chrono::steady_clock::now() < limit) {
            executor->runPending();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        // The run ends when the file writer has written the output through
        // to the disk and renamed it, in Stop.
        graph.Stop();
        const auto end = std::chrono::steady_clock::now();
        if (!complete) {
            state.SkipWithError("the graph did not complete");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    state.counters["threads"] = media::ffmpeg::defaultThreadCount();
}

void BM_Ffmpeg(benchmark::State &state)
{
    Input &in = input();
    if (!in.ok) {
        state.SkipWithError("the input file could not be made");
        return;
    }
    const QString threads = QString::number(media::ffmpeg::defaultThreadCount());
    const QString out = in.dir.filePath("ffmpeg.avi");
    const QString filter = QString("drawtext=text='07.06.2005 08\\:09\\:10':fontfile=%1:"
                                   "fontsize=28:fontcolor=white:borderw=2:x=w*0.92-tw:y=h*0.92-th")
                               .arg(kFont);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const auto r = runTool("ffmpeg", {"-v", "error", "-y", "-threads", threads, "-i", in.path,
                                          "-vf", filter, "-c:v", "dvvideo", "-threads", threads,
                                          "-pix_fmt", "yuv420p", "-c:a", "copy", out});
        const bool synced = r.exitCode == 0 && syncFileData(out);
        const auto end = std::chrono::steady_clock::now();
        if (!synced) {
            state.SkipWithError(r.err.constData());
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    state.counters["threads"] = media::ffmpeg::defaultThreadCount();
}

BENCHMARK(BM_OverlayGraph)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ffmpeg)->UseManualTime()->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);

} // namespace
