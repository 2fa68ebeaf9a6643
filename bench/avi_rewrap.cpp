// Rewrapping one-minute PAL DV AVIs (1500 frames) through our graphs next to
// the ffmpeg command line on the same file, in the same run:
// - type 2 → type 2: file source → AVI splitter → AVI mux → file writer,
//   against `ffmpeg -i in.avi -c copy out.avi`;
// - type 1 → type 2: file source → AVI splitter → DV splitter → AVI mux →
//   file writer, against `ffmpeg -i in.avi -c:v copy -c:a pcm_s16le out.avi`.
// Each reads and writes ~220 MB; the page cache holds the input after the
// first run. Our file writer writes its output through to the disk before it
// names it (a crash never leaves a half-written file under the final name);
// ffmpeg's output is written through as well (fdatasync) inside its timing,
// so both runs end with the same durable file. Each repetition runs the
// graph, then ffmpeg (a pair); printed at the end: the median of the pairs'
// ratios (graph / ffmpeg) with the load average of each pair. Goal: not
// slower than ffmpeg (ratio ≤ 1.0) on a quiet machine.
#include "main/bench_main.h"
#include "main/bench_pairs.h"
#include "platform/media/filters/avi_mux.h"
#include "platform/media/filters/avi_splitter.h"
#include "platform/media/filters/dv_muxer.h"
#include "platform/media/filters/dv_splitter.h"
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
#include <map>

namespace {

using vidora::bench::Pairs;

using namespace vidora::media;
using namespace vidora::test;
using namespace std::chrono_literals;

QString g_type1;
QString g_type2;
QString g_dir;
Pairs g_type2Pairs;
Pairs g_type1Pairs;

enum class Middle {
    None,       // splitter streams straight into the mux
    DvSplitter, // the splitter's one DV stream through a DV splitter
    DvMuxer,    // video and audio through a DV muxer (makes a type-1 file)
};

// File source → AVI splitter → middle → AVI mux → file writer, to the end.
bool rewrap(const QString &in, const QString &out, Middle middle)
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
    if (!source->Load(in, nullptr) || !graph.Connect(source->output(), splitter->input()))
        return false;
    const auto toMux = [&](Pin &pin) { return graph.Connect(pin, *mux->pins().back()); };
    switch (middle) {
    case Middle::None:
        for (std::size_t i = 0; i < splitter->outputCount(); ++i)
            if (!toMux(splitter->outputAt(i)))
                return false;
        break;
    case Middle::DvSplitter: {
        auto dv = std::make_shared<DvSplitterFilter>();
        graph.AddFilter(dv, "dvsplitter");
        if (splitter->outputCount() != 1 || !graph.Connect(splitter->outputAt(0), *dv->inputPin()))
            return false;
        for (std::size_t i = 0; i < dv->outputCount(); ++i)
            if (!toMux(dv->outputAt(i)))
                return false;
        break;
    }
    case Middle::DvMuxer: {
        auto dv = std::make_shared<DvMuxerFilter>();
        graph.AddFilter(dv, "dvmuxer");
        if (splitter->outputCount() != 2 || !graph.Connect(splitter->outputAt(0), dv->videoInput()))
            return false;
        const auto pins = dv->pins();
        if (!graph.Connect(splitter->outputAt(1), *pins[pins.size() - 2]) || !toMux(dv->output()))
            return false;
        break;
    }
    }
    if (!graph.Connect(mux->output(), writer->input()) || !writer->SetFileName(out, nullptr) ||
        !writer->SetMode(AM_FILE_OVERWRITE) || !graph.Run())
        return false;
    const bool complete = log.waitFor(GraphEventCode::Complete, 120s);
    graph.Stop();
    return complete && log.count(GraphEventCode::ErrorAbort) == 0;
}

bool ffmpeg(const QStringList &args)
{
    return runTool("ffmpeg", QStringList{"-v", "error", "-y"} << args).exitCode == 0;
}

// The seconds `work` takes; -1 when it fails.
template <typename Work>
double Seconds(Work work)
{
    const auto start = std::chrono::steady_clock::now();
    if (!work())
        return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_Type2Pairs(benchmark::State &state)
{
    vidora::bench::RunPairs(
        state, g_type2Pairs,
        [] { return Seconds([] { return rewrap(g_type2, g_dir + "/graph.avi", Middle::None); }); },
        [] {
            return Seconds([] {
                return ffmpeg({"-i", g_type2, "-c", "copy", g_dir + "/ffmpeg.avi"}) &&
                       syncFileData(g_dir + "/ffmpeg.avi");
            });
        });
}
void BM_Type1ToType2Pairs(benchmark::State &state)
{
    vidora::bench::RunPairs(
        state, g_type1Pairs,
        [] {
            return Seconds(
                [] { return rewrap(g_type1, g_dir + "/graph.avi", Middle::DvSplitter); });
        },
        [] {
            return Seconds([] {
                return ffmpeg({"-i", g_type1, "-c:v", "copy", "-c:a", "pcm_s16le",
                               g_dir + "/ffmpeg.avi"}) &&
                       syncFileData(g_dir + "/ffmpeg.avi");
            });
        });
}
BENCHMARK(BM_Type2Pairs)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);
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
            g_type2 = dir.filePath("type2.avi");
            g_type1 = dir.filePath("type1.avi");
            const QString raw = dir.filePath("in.dv");
            // The type-1 input is made by our DV muxer from the type-2 file:
            // ffmpeg writes no interleaved DV streams.
            if (!ffmpeg(QString("-f lavfi -i testsrc=size=720x576:rate=25 -f lavfi -i "
                                "sine=sample_rate=48000 -t 60 -ac 2 -pix_fmt yuv420p -f dv")
                            .split(' ')
                        << raw) ||
                !ffmpeg({"-i", raw, "-c:v", "copy", "-c:a", "pcm_s16le", g_type2}) ||
                !rewrap(g_type2, g_type1, Middle::DvMuxer)) {
                std::fprintf(stderr, "cannot make the inputs\n");
                return false;
            }
            return true;
        },
    .report =
        [] {
            g_type2Pairs.print("AVI rewrap type 2", "ffmpeg -c copy", 1.0);
            g_type1Pairs.print("AVI rewrap type 1 to type 2", "ffmpeg -c:v copy -c:a pcm_s16le",
                               1.0);
        },
});
