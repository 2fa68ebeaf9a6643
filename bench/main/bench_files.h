#pragma once

// Inputs and the peer run shared by the listing benchmarks (a folder of short
// DV files listed by the program and by mediainfo).
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <vector>

namespace vidora::bench {

// `count` AVI files clip000.avi, clip001.avi… in dir/videos, DV type 1 and
// type 2 alternately, five PAL frames each (the frames made by ffmpeg); `ok`
// false when they could not be made.
struct DvClipFolder
{
    explicit DvClipFolder(int count);
    QTemporaryDir dir;
    QString videos;
    QStringList paths;
    bool ok = false;
};

// One `mediainfo --Output=JSON` over `arguments` (files or folders) per
// iteration, its wall time kept in `times`; the benchmark fails when
// mediainfo does, or reports other than `files` files.
void MeasureMediainfo(benchmark::State &state, const QStringList &arguments, int files,
                      std::vector<double> &times);

} // namespace vidora::bench
