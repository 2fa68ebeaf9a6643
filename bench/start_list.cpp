// Starting the real program with 500 short DV files on its command line
// (type 1 and type 2 alternately, five PAL frames each) until its list holds
// all 500 and the first frame is shown — offscreen, with a temporary home and
// the program's ready notice on stderr — next to `mediainfo --Output=JSON`
// over the same 500 files, in one run; and, for comparison, the same files
// opened as one folder ("+openfolder="). Compare the medians of the
// repetitions: the goal is start / mediainfo <= 1.0; the program prints the
// ratio and the load average at the end.
#include "main/bench_files.h"
#include "main/bench_main.h"
#include "settings/settings.h"
#include "support/dvfiles.h"
#include "support/isolatedhome.h"
#include "support/tools.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
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

#ifdef VIDORA_EXE_PATH
const QString kProgram = QStringLiteral(VIDORA_EXE_PATH);
#else
const QString kProgram;
#endif

vidora::bench::DvClipFolder &files()
{
    static vidora::bench::DvClipFolder f(kFiles);
    return f;
}

// A home whose stored settings let the program close without a question.
IsolatedHome &home()
{
    static IsolatedHome h;
    static const bool stored = [] {
        Settings settings(SettingsEnvironment::forRunningProgram());
        settings.PreferencesMode = kPreferencesRegistry;
        settings.SavePreferences();
        return true;
    }();
    (void)stored;
    return h;
}

std::vector<double> g_start;
std::vector<double> g_folder;
std::vector<double> g_mediainfo;

// Starts the program with `arguments` and measures until its notice says
// that the list holds every file and the first frame is shown.
void RunVidora(benchmark::State &state, const QStringList &arguments, std::vector<double> &times)
{
    auto &f = files();
    if (!f.ok || kProgram.isEmpty()) {
        state.SkipWithError("the files or the program are missing");
        return;
    }
    home();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("VIDORA_AUDIO_OUTPUT", "null");
    environment.insert("VIDORA_READY_NOTICE", "1");
    const QByteArray notice = "vidora: listed " + QByteArray::number(kFiles) + ",";
    for (auto _ : state) {
        QProcess process;
        process.setProcessEnvironment(environment);
        // waitForReadyRead waits for the read channel: the notice comes on
        // stderr (waiting on stdout would time out and round every figure up
        // to the next 100 ms).
        process.setReadChannel(QProcess::StandardError);
        const auto start = std::chrono::steady_clock::now();
        process.start(kProgram, arguments);
        QByteArray seen;
        QDeadlineTimer deadline(600000);
        while (!seen.contains(notice) && !deadline.hasExpired() &&
               process.state() != QProcess::NotRunning) {
            process.waitForReadyRead(100);
            seen += process.readAllStandardError();
        }
        const auto end = std::chrono::steady_clock::now();
        // Measured; the program's close is not part of the start.
        process.kill();
        process.waitForFinished(30000);
        if (!seen.contains(notice)) {
            state.SkipWithError("the program did not list every file");
            return;
        }
        const double seconds = std::chrono::duration<double>(end - start).count();
        times.push_back(seconds);
        state.SetIterationTime(seconds);
    }
}

// Every file an argument of its own: one opening per argument.
void BM_VidoraStart(benchmark::State &state)
{
    RunVidora(state, files().paths, g_start);
}

// For comparison: the same files as one folder opened from the command line.
void BM_VidoraStartFolder(benchmark::State &state)
{
    RunVidora(state, {"+openfolder=" + QFileInfo(files().paths.value(0)).path()}, g_folder);
}

void BM_Mediainfo(benchmark::State &state)
{
    auto &f = files();
    if (!f.ok) {
        state.SkipWithError("the files could not be made");
        return;
    }
    vidora::bench::MeasureMediainfo(state, f.paths, kFiles, g_mediainfo);
}

BENCHMARK(BM_VidoraStart)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VidoraStartFolder)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mediainfo)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);

QString LoadAverage()
{
    QFile file("/proc/loadavg");
    if (!file.open(QIODevice::ReadOnly))
        return "unknown";
    return QString::fromLatin1(file.readLine()).section(' ', 0, 2);
}

} // namespace

[[maybe_unused]] const bool g_defined = vidora::bench::define({
    .prepare = {},
    .report =
        [] {
            if (!g_start.empty() && !g_mediainfo.empty())
                std::printf(
                    "start with %d files: vidora %.1f ms, mediainfo %.1f ms (medians), ratio "
                    "%.3f, load average %s\n",
                    kFiles, 1000 * median(g_start), 1000 * median(g_mediainfo),
                    median(g_start) / median(g_mediainfo), qPrintable(LoadAverage()));
            if (!g_folder.empty() && !g_mediainfo.empty())
                std::printf("the same files as one folder: vidora %.1f ms, ratio %.3f\n",
                            1000 * median(g_folder), median(g_folder) / median(g_mediainfo));
        },
});
