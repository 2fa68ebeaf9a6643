// Two commands of the processing module on a one-minute PAL DV type-2 AVI
// (1500 frames, PCM audio), each next to a peer on the same file in the same
// run:
//   scenes by recording date (BuildScnByDateGraph, every frame's packs read)
//       vs `mediainfo --File_DvDif_Analysis=1`, which reads every frame's
//       DIF blocks too;
//   the sound as a WAVE file (BuildAudioExtractGraph) vs
//       `ffmpeg -y -i in.avi -vn -c:a pcm_s16le out.wav`.
// The graphs run as the graph command runs them: no clock, to completion,
// then stopped (final reports, the WAVE header and the rename happen then).
// ffmpeg's WAVE file is written through to the disk (fdatasync) inside its
// timing, as our file writer does before it names its output.
// Printed at the end: the ratio of the medians of 5 runs each (graph / peer).
// Goal for both: not slower than the peer (ratio ≤ 1.0).
#include "main/bench_main.h"
#include "platform/media/dsfunctions_media.h"
#include "platform/media/executor.h"
#include "support/tools.h"
#include "video/filters/dv_scenedetect.h"
#include "video/graphs/convertirdvunit.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {

using vidora::bench::median;

using namespace vidora;
using namespace vidora::test;

QString g_input;
QString g_dir;
std::vector<double> g_scenesGraph, g_scenesPeer, g_audioGraph, g_audioPeer;

// Runs the graph the builder made until it completes or fails, then stops it.
bool runToCompletion(TCdm &cdm, media::QueueEventExecutor &events, bool built)
{
    if (!built)
        return false;
    std::atomic<int> outcome{0}; // 1 complete, -1 error
    cdm.OnGraphComplete = [&] { outcome = 1; };
    cdm.OnGraphError = [&](const QString &) { outcome = -1; };
    cdm.graph().SetSyncSource(nullptr);
    if (!cdm.graph().Run())
        return false;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (outcome == 0 && std::chrono::steady_clock::now() < limit) {
        events.runPending();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    cdm.graph().Stop();
    events.runPending();
    return outcome == 1;
}

template <class Step>
void timed(benchmark::State &state, std::vector<double> &seconds, Step step)
{
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (!step()) {
            state.SkipWithError("the run failed");
            return;
        }
        seconds.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
}

void BM_ScenesByDateGraph(benchmark::State &state)
{
    auto events = std::make_shared<media::QueueEventExecutor>();
    TCdm cdm(events);
    timed(state, g_scenesGraph, [&] {
        std::atomic<std::uint32_t> end{0};
        const bool built = cdm.BuildScnByDateGraph(g_input) != nullptr;
        cdm.SceneDetect().SetOnScene(
            [&](const TDvFrameInfo &, const TDvFrameInfo &e) { end = e.FrameNumber; });
        // Every frame read: the last scene ends after frame 1500.
        return runToCompletion(cdm, *events, built) && end == 1500;
    });
}
BENCHMARK(BM_ScenesByDateGraph)->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);

void BM_ScenesByDateMediainfo(benchmark::State &state)
{
    timed(state, g_scenesPeer, [] {
        return runTool("mediainfo", {"--File_DvDif_Analysis=1", g_input}).exitCode == 0;
    });
}
BENCHMARK(BM_ScenesByDateMediainfo)->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);

void BM_AudioExtractGraph(benchmark::State &state)
{
    auto events = std::make_shared<media::QueueEventExecutor>();
    TCdm cdm(events);
    timed(state, g_audioGraph, [&] {
        const bool built = cdm.BuildAudioExtractGraph(g_input, g_dir + "/graph.wav") != nullptr;
        SetAudioSampleRate(cdm.Acm1(), 48000);
        // A minute of 48 kHz stereo after the 46-byte header.
        return runToCompletion(cdm, *events, built) &&
               QFileInfo(g_dir + "/graph.wav").size() == 46 + 60 * 192000;
    });
}
BENCHMARK(BM_AudioExtractGraph)->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);

void BM_AudioExtractFfmpeg(benchmark::State &state)
{
    timed(state, g_audioPeer, [] {
        return runTool("ffmpeg", {"-v", "error", "-y", "-i", g_input, "-vn", "-c:a", "pcm_s16le",
                                  g_dir + "/ffmpeg.wav"})
                       .exitCode == 0 &&
               syncFileData(g_dir + "/ffmpeg.wav");
    });
}
BENCHMARK(BM_AudioExtractFfmpeg)->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);

} // namespace

[[maybe_unused]] const bool g_defined = vidora::bench::define({
    .prepare =
        [] {
            static QTemporaryDir dir;
            if (!dir.isValid())
                return false;
            g_dir = dir.path();
            g_input = dir.filePath("in.avi");
            const QString raw = dir.filePath("in.dv");
            const ToolResult made = runTool(
                "ffmpeg", QString("-v error -y -f lavfi -i testsrc=size=720x576:rate=25 -f lavfi "
                                  "-i sine=sample_rate=48000 -t 60 -ac 2 -pix_fmt yuv420p "
                                  "-metadata creation_time=2005-06-07T08:09:10Z -f dv")
                                  .split(' ')
                              << raw);
            const ToolResult wrapped = runTool("ffmpeg", {"-v", "error", "-y", "-i", raw, "-c:v",
                                                          "copy", "-c:a", "pcm_s16le", g_input});
            if (made.exitCode != 0 || wrapped.exitCode != 0) {
                std::fprintf(stderr, "cannot make the input with ffmpeg\n");
                return false;
            }
            return true;
        },
    .report =
        [] {
            const auto report = [](const char *what, const std::vector<double> &graph,
                                   const std::vector<double> &peer, const char *peerName) {
                const double g = median(graph);
                const double p = median(peer);
                if (g > 0 && p > 0)
                    std::printf("%s, median of %zu / %zu runs: graph %.3f s, %s %.3f s, ratio "
                                "%.2f (goal <= 1.0)\n",
                                what, graph.size(), peer.size(), g, peerName, p, g / p);
            };
            report("Scenes by date", g_scenesGraph, g_scenesPeer,
                   "mediainfo --File_DvDif_Analysis=1");
            report("Audio extraction", g_audioGraph, g_audioPeer, "ffmpeg -vn -c:a pcm_s16le");
        },
});
