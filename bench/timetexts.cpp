// The date texts are made once per frame by the overlay and the scene
// detector, at the graph's full speed. Peers: Qt's own formatting of the same
// moment with an equivalent pattern, and printf-style formatting of a duration.
#include "formats/datetime.h"
#include "formats/dsfunctions.h"
#include "main/bench_main.h"

#include <QDateTime>
#include <QLocale>

#include <benchmark/benchmark.h>

namespace {

const vidora::DateTimeValue kValue = vidora::EncodeDateTime({{2006, 5, 14}, {10, 31, 7, 45}});

void FormatDateTimeNumeric(benchmark::State &state)
{
    const QLocale locale(QLocale::German, QLocale::Germany);
    const QString pattern = QStringLiteral("dd/mm/yyyy hh:nn:ss");
    for (auto _ : state)
        benchmark::DoNotOptimize(vidora::FormatDateTime(pattern, kValue, locale));
}
BENCHMARK(FormatDateTimeNumeric);

void QtNumeric(benchmark::State &state)
{
    const QLocale locale(QLocale::German, QLocale::Germany);
    const QString pattern = QStringLiteral("dd.MM.yyyy HH:mm:ss");
    const QDateTime moment = vidora::ToQDateTime(kValue);
    for (auto _ : state)
        benchmark::DoNotOptimize(locale.toString(moment, pattern));
}
BENCHMARK(QtNumeric);

void FormatDateTimeLocale(benchmark::State &state)
{
    const QLocale locale(QLocale::German, QLocale::Germany);
    const QString pattern = QStringLiteral("dddddd tt");
    for (auto _ : state)
        benchmark::DoNotOptimize(vidora::FormatDateTime(pattern, kValue, locale));
}
BENCHMARK(FormatDateTimeLocale);

void QtLocale(benchmark::State &state)
{
    const QLocale locale(QLocale::German, QLocale::Germany);
    const QDateTime moment = vidora::ToQDateTime(kValue);
    for (auto _ : state)
        benchmark::DoNotOptimize(locale.toString(moment.date(), QLocale::LongFormat) +
                                 QLatin1Char(' ') +
                                 locale.toString(moment.time(), QStringLiteral("HH:mm:ss")));
}
BENCHMARK(QtLocale);

void DurationFrames(benchmark::State &state)
{
    std::int64_t duration = 36'123'456'789;
    for (auto _ : state)
        benchmark::DoNotOptimize(vidora::FormatDurationFrames(duration++, 400'000));
}
BENCHMARK(DurationFrames);

void DurationAsprintf(benchmark::State &state)
{
    std::int64_t duration = 36'123'456'789;
    for (auto _ : state) {
        const std::int64_t s = duration / 10'000'000;
        benchmark::DoNotOptimize(QString::asprintf("%dh %.2dmn %.2ds %.2dfr", int(s / 3600),
                                                   int(s / 60 % 60), int(s % 60),
                                                   int(duration % 10'000'000 / 400'000)));
        ++duration;
    }
}
BENCHMARK(DurationAsprintf);

} // namespace
