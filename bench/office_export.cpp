// Exporting a list of 50 scenes with thumbnails to ".ods" and ".odt" through
// vidora-office (office start and end included) next to LibreOffice's own
// conversion of the same table (CSV to ".ods", HTML with the same 50 pictures
// to ".odt") in a fresh profile of its own, on the same input in one run.
// The goal: each export of 50 scenes in at most 3 s on this machine; the
// program prints the medians, the peers' and the ratios at the end.
#include "main/bench_main.h"
#include "scenes/officeexport.h"
#include "support/tools.h"

#include <QDir>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <vector>

namespace {

using namespace vidora;
using namespace vidora::test;

constexpr int kScenes = 50;

#ifdef VIDORA_OFFICE_HELPER_PATH
const QString kHelper = QStringLiteral(VIDORA_OFFICE_HELPER_PATH);
#else
const QString kHelper;
#endif

std::vector<TSceneClass> &Scenes()
{
    static std::vector<TSceneClass> scenes = [] {
        TSceneContext context;
        TSceneVideo video;
        video.width = 720;
        video.height = 576;
        video.frameRate = 25;
        context.video = video;
        std::vector<TSceneClass> list;
        for (int k = 1; k <= kScenes; ++k) {
            TSceneClass s(static_cast<std::uint32_t>(250 * (k - 1)),
                          static_cast<std::uint32_t>(250 * k), context);
            s.Number = k;
            s.StartText = QStringLiteral("0:%1:00:00").arg(k, 2, 10, QChar('0'));
            s.EndText = QStringLiteral("0:%1:09:24").arg(k, 2, 10, QChar('0'));
            s.DurationText = "10.00";
            s.DatecodeText = "12/05/2006 10:20:30";
            s.TimecodeText = "00.10.00.00";
            s.Title = QStringLiteral("Scene title %1").arg(k);
            s.Subtitle = "subtitle";
            // A picture with some detail, different for every scene.
            for (int y = 0; y < s.Thumbnail.height(); ++y)
                for (int x = 0; x < s.Thumbnail.width(); ++x)
                    s.Thumbnail.setPixel(x, y,
                                         qRgb((x * k) % 256, (y * 3 + k) % 256, (x ^ y) % 256));
            s.Detailed = true;
            list.push_back(std::move(s));
        }
        return list;
    }();
    return scenes;
}

std::map<std::string, std::vector<double>> g_times;

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void BM_VidoraExport(benchmark::State &state, TOfficeFormat format, const char *name)
{
    if (kHelper.isEmpty() || FindOfficeProgram().isEmpty()) {
        state.SkipWithError("vidora-office or LibreOffice is missing");
        return;
    }
    QTemporaryDir dir;
    for (auto _ : state) {
        TOfficeSetup setup;
        setup.helperPath = kHelper;
        setup.appVersionText = "Vidora 7.0.5";
        setup.versionText = "7.0.5";
        const auto start = std::chrono::steady_clock::now();
        TOfficeExport writer(format, dir.filePath("clip.avi"),
                             dir.filePath("clip") + OfficeEnding(format), setup);
        for (const TSceneClass &s : Scenes())
            writer.AddScene(s);
        const bool ok = writer.Finish();
        const auto end = std::chrono::steady_clock::now();
        if (!ok) {
            state.SkipWithError(writer.ErrorString().toStdString().c_str());
            return;
        }
        const double seconds = std::chrono::duration<double>(end - start).count();
        g_times[name].push_back(seconds);
        state.SetIterationTime(seconds);
    }
}

// The same table through `soffice --convert-to`, with a fresh profile each time.
void BM_SofficeConvert(benchmark::State &state, const char *target, const char *name)
{
    QTemporaryDir dir;
    const bool spreadsheet = QByteArray(target) == "ods";
    QString input;
    if (spreadsheet) {
        QStringList lines = {",Number,Start,End,Duration,Datecode,Timecode,Title,Subtitle"};
        for (const TSceneClass &s : Scenes())
            lines << QStringLiteral(",%1,%2,%3,%4,%5,%6,%7,%8")
                         .arg(s.Number)
                         .arg(s.StartText, s.EndText, s.DurationText, s.DatecodeText,
                              s.TimecodeText, s.Title, s.Subtitle);
        input = dir.filePath("clip.csv");
        writeFileBytes(input, lines.join("\n").toUtf8());
    } else {
        QString html = "<html><body><h1>clip.avi</h1><table>";
        int k = 0;
        for (const TSceneClass &s : Scenes()) {
            const QString png = dir.filePath(QStringLiteral("s%1.png").arg(++k));
            s.Thumbnail.save(png, "PNG", 80);
            html += QStringLiteral("<tr><td>Scene n°%1<br><img src=\"%2\"><br>%3 - "
                                   "%4<br>%5<br>%6<br>%7<br>%8</td></tr>")
                        .arg(s.Number)
                        .arg(QUrl::fromLocalFile(png).toString(), s.StartText, s.EndText,
                             s.DurationText, s.DatecodeText, s.Title, s.Subtitle);
        }
        input = dir.filePath("clip.html");
        writeFileBytes(input, (html + "</table></body></html>").toUtf8());
    }
    for (auto _ : state) {
        // A fresh profile, seeded like the helper's so that neither runs the
        // office's first-start checks.
        QTemporaryDir profile;
        SeedOfficeProfile(profile.path());
        const QString filter = spreadsheet ? QStringLiteral("ods") : QStringLiteral("odt:writer8");
        const QStringList arguments = {"-env:UserInstallation=" +
                                           QUrl::fromLocalFile(profile.path()).toString(),
                                       "--headless",
                                       "--norestore",
                                       "--convert-to",
                                       filter,
                                       "--outdir",
                                       dir.path(),
                                       input};
        const auto start = std::chrono::steady_clock::now();
        const ToolResult r = runTool("soffice", arguments);
        const auto end = std::chrono::steady_clock::now();
        if (r.exitCode != 0 || !QFile::exists(dir.filePath(QStringLiteral("clip.") + target))) {
            state.SkipWithError("soffice --convert-to failed");
            return;
        }
        const double seconds = std::chrono::duration<double>(end - start).count();
        g_times[name].push_back(seconds);
        state.SetIterationTime(seconds);
    }
}

BENCHMARK_CAPTURE(BM_VidoraExport, ods, TOfficeFormat::Ods, "vidora ods")
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SofficeConvert, ods, "ods", "soffice ods")
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_VidoraExport, odt, TOfficeFormat::Odt, "vidora odt")
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SofficeConvert, odt, "odt", "soffice odt")
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);

} // namespace

[[maybe_unused]] const bool g_defined = vidora::bench::define({
    .prepare = {},
    .report =
        [] {
            for (const char *format : {"ods", "odt"}) {
                const double ours = median(g_times[std::string("vidora ") + format]);
                const double peer = median(g_times[std::string("soffice ") + format]);
                if (ours > 0 && peer > 0)
                    std::printf("office export %s, %d scenes: vidora %.0f ms, soffice "
                                "--convert-to %.0f ms (medians), ratio %.2f; goal <= 3000 ms: "
                                "%s\n",
                                format, kScenes, 1000 * ours, 1000 * peer, ours / peer,
                                ours <= 3.0 ? "met" : "not met");
            }
        },
});
