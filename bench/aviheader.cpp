// The AVI header readers on the same files as a peer, libavformat's AVI
// demuxer opening the file (avformat_open_input reads the same header lists,
// and the OpenDML and legacy indexes besides). Compare the ratios, not the
// times: the point is that a file of several GiB costs no more than a small
// one, because only headers are read.
#include "formats/aviinfo.h"
#include "formats/fpsunit.h"
#include "main/bench_main.h"
#include "support/riffbuilder.h"
#include "support/tools.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#ifdef VIDORA_BENCH_AVFORMAT
extern "C" {
#include <libavformat/avformat.h>
}
#endif

namespace {

using namespace vidora;

struct Files
{
    QTemporaryDir dir;
    QString small;  // OpenDML type 2, a few KiB
    QString sparse; // past 4 GiB, mostly holes

    Files()
    {
        small = dir.filePath(QStringLiteral("small.avi"));
        test::writeFileBytes(small, test::buildAvi(test::openDmlLayout()).bytes);
        sparse = dir.filePath(QStringLiteral("sparse.avi"));
        test::writeSparseAvi(sparse);
    }
};

const QString &file(int which)
{
    static Files files;
    return which == 0 ? files.small : files.sparse;
}

const char *label(int which)
{
    return which == 0 ? "OpenDML small" : "past 4 GiB";
}

void BM_TAviParam(benchmark::State &state)
{
    const QString &path = file(int(state.range(0)));
    state.SetLabel(label(int(state.range(0))));
    for (auto _ : state) {
        const TAviParam param(path);
        benchmark::DoNotOptimize(param.Parsed());
    }
}
BENCHMARK(BM_TAviParam)->Arg(0)->Arg(1);

void BM_ScanAviHeader(benchmark::State &state)
{
    const QString &path = file(int(state.range(0)));
    state.SetLabel(label(int(state.range(0))));
    for (auto _ : state)
        benchmark::DoNotOptimize(ScanAviHeader(path));
}
BENCHMARK(BM_ScanAviHeader)->Arg(0)->Arg(1);

#ifdef VIDORA_BENCH_AVFORMAT
void BM_PeerAvformatOpen(benchmark::State &state)
{
    const QByteArray path = file(int(state.range(0))).toLocal8Bit();
    state.SetLabel(label(int(state.range(0))));
    av_log_set_level(AV_LOG_QUIET);
    for (auto _ : state) {
        AVFormatContext *context = nullptr;
        if (avformat_open_input(&context, path.constData(), nullptr, nullptr) < 0) {
            state.SkipWithError("avformat_open_input failed");
            break;
        }
        benchmark::DoNotOptimize(context->nb_streams);
        avformat_close_input(&context);
    }
}
BENCHMARK(BM_PeerAvformatOpen)->Arg(0)->Arg(1);
#endif

} // namespace
