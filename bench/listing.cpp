// Opening a folder of 500 short DV files (type 1 and type 2 alternately, five
// PAL frames each) into the file list with full probing — the real opener,
// video entries and probe graph — next to `mediainfo --Output=JSON folder`,
// which lists every file of the folder with its information, on the same
// folder in one run. The folder is made once. Compare the medians of the
// repetitions: the goal is list / mediainfo < 1.0; the program prints the
// ratio at the end.
#include "files/avifichier.h"
#include "files/fichierlistmodel.h"
#include "formats/dsfunctions.h"
#include "main/bench_files.h"
#include "main/bench_main.h"
#include "support/dvfiles.h"
#include "support/tools.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

using vidora::bench::median;

using namespace vidora;
using namespace vidora::test;

constexpr int kFiles = 500;

vidora::bench::DvClipFolder &folder()
{
    static vidora::bench::DvClipFolder f(kFiles);
    return f;
}

std::vector<double> g_list;
std::vector<double> g_mediainfo;

void BM_VidoraList(benchmark::State &state)
{
    auto &f = folder();
    if (!f.ok) {
        state.SkipWithError("the folder could not be made");
        return;
    }
    for (auto _ : state) {
        TFichierListModel model;
        model.SetFichierClass([](const QString &dir, const QFileInfo &found) {
            return TaviFichier::CreateFromSearchRec(dir, found, TaviReading{});
        });
        model.SetOpenTestExtension([](const QString &name) { return IsAviFile(name); });
        QEventLoop loop;
        QObject::connect(&model, &TFichierListModel::openEnd, &loop, &QEventLoop::quit);
        QTimer::singleShot(600000, &loop, &QEventLoop::quit);
        const auto start = std::chrono::steady_clock::now();
        model.OpenFolder(f.videos);
        loop.exec();
        const auto end = std::chrono::steady_clock::now();
        if (model.Count() != kFiles) {
            state.SkipWithError("not every file was listed");
            return;
        }
        const auto entry = std::dynamic_pointer_cast<TaviFichier>(model.GetFichier(0));
        if (!entry || !entry->Data().isDv) {
            state.SkipWithError("the files were not read as DV");
            return;
        }
        const double seconds = std::chrono::duration<double>(end - start).count();
        g_list.push_back(seconds);
        state.SetIterationTime(seconds);
    }
}

void BM_Mediainfo(benchmark::State &state)
{
    auto &f = folder();
    if (!f.ok) {
        state.SkipWithError("the folder could not be made");
        return;
    }
    vidora::bench::MeasureMediainfo(state, {f.videos}, kFiles, g_mediainfo);
}

BENCHMARK(BM_VidoraList)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mediainfo)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);

} // namespace

[[maybe_unused]] const bool g_defined = vidora::bench::define({
    .prepare = {},
    .report =
        [] {
            if (!g_list.empty() && !g_mediainfo.empty())
                std::printf("listing: list %.1f ms, mediainfo %.1f ms (medians), ratio %.3f\n",
                            1000 * median(g_list), 1000 * median(g_mediainfo),
                            median(g_list) / median(g_mediainfo));
        },
});
