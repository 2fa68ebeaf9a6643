// The memory a long scene list costs: a ".scn" file of 10,000 scenes (an
// hour's tape cut every 0.36 s, each scene titled) is loaded for a PAL
// video and written out as its "_scn.txt" listing, as the export command
// does. Not a timing: the figure is the peak resident memory of the load and
// the listing, the peak reset just before them (the inputs are made first).
// Goal: under 100 MB; the program prints the figure at the end.
#include "main/bench_main.h"
#include "scenes/scenefile.h"
#include "scenes/scenelist.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

using namespace vidora;

constexpr int kScenes = 10000;
constexpr std::uint32_t kSceneFrames = 9;

QTemporaryDir &Folder()
{
    static QTemporaryDir dir;
    return dir;
}

QString Video()
{
    return Folder().filePath(QStringLiteral("tape.avi"));
}

TSceneContext PalContext()
{
    TSceneContext context;
    TSceneVideo video;
    video.path = Video();
    video.width = 720;
    video.height = 576;
    video.frameRate = 25;
    video.frameCount = std::int64_t{kScenes} * kSceneFrames;
    video.codec = QStringLiteral("dvsd");
    video.isDv = true;
    context.video = video;
    return context;
}

// A field of /proc/self/status in kB ("VmHWM", "VmRSS"); -1 when unknown.
long StatusKb(const std::string &field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field + ":", 0) == 0)
            return std::stol(line.substr(field.size() + 1));
    return -1;
}

// Lets the peak resident figure start again from the present one.
bool ResetPeak()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    return static_cast<bool>(clear);
}

long g_peakKb = -1;
long g_baseKb = -1;

bool Prepare()
{
    if (!Folder().isValid())
        return false;
    QFile(Video()).open(QIODevice::WriteOnly);
    TwriteScene writer(Video());
    const TSceneContext context = PalContext();
    for (int k = 0; k < kScenes; ++k) {
        TSceneClass scene(static_cast<std::uint32_t>(k) * kSceneFrames,
                          static_cast<std::uint32_t>(k + 1) * kSceneFrames, context);
        scene.Title = QStringLiteral("Scene %1").arg(k + 1);
        writer.AddScene(scene);
    }
    return writer.Close();
}

void LoadAndList(benchmark::State &state)
{
    const bool reset = ResetPeak();
    g_baseKb = StatusKb("VmRSS");
    for (auto _ : state) {
        TSceneList list = LoadSceneListOf(Video(), PalContext());
        if (list.size() != kScenes) {
            state.SkipWithError("the scene file did not load whole");
            return;
        }
        TListingTexts texts;
        texts.versionText = QStringLiteral("7.0.5");
        QString error;
        if (!ExportSceneText(Video(), list, texts, error)) {
            state.SkipWithError(error.toStdString().c_str());
            return;
        }
    }
    g_peakKb = reset ? StatusKb("VmHWM") : -1;
    state.counters["peak_MB"] = double(g_peakKb) / 1024;
}

void Report()
{
    if (g_peakKb < 0) {
        std::printf("peak resident memory: unknown (no /proc/self/clear_refs)\n");
        return;
    }
    std::printf("loading %d scenes and writing their listing: peak resident memory %.1f MB "
                "(%.1f MB before; goal < 100 MB)\n",
                kScenes, double(g_peakKb) / 1024, double(g_baseKb) / 1024);
}

} // namespace

BENCHMARK(LoadAndList)->Iterations(1)->Unit(benchmark::kMillisecond);

[[maybe_unused]] const bool g_defined = vidora::bench::define({
    .prepare = Prepare,
    .report = Report,
});
