#include "bench_files.h"

#include "support/dvfiles.h"
#include "support/tools.h"

#include <QDir>

#include <chrono>

namespace vidora::bench {

using namespace vidora::test;

DvClipFolder::DvClipFolder(int count)
{
    videos = dir.filePath("videos");
    QDir().mkpath(videos);
    const QString raw = dir.filePath("clip.dv");
    const QByteArray frames = ffmpegRawDv(dir.path(), {.frames = 5});
    writeFileBytes(raw, frames);
    const QString type2 = dir.filePath("type2.avi");
    if (frames.isEmpty() || !ffmpegDvType2Avi(raw, type2))
        return;
    const QByteArray one = dvType1Avi(frames);
    const QByteArray two = readFileBytes(type2);
    for (int i = 0; i < count; ++i) {
        const QString path =
            QDir(videos).filePath(QStringLiteral("clip%1.avi").arg(i, 3, 10, QChar('0')));
        writeFileBytes(path, i % 2 == 0 ? one : two);
        paths << path;
    }
    ok = true;
}

void MeasureMediainfo(benchmark::State &state, const QStringList &arguments, int files,
                      std::vector<double> &times)
{
    const QStringList all = QStringList{"--Output=JSON"} + arguments;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const ToolResult r = runTool("mediainfo", all, 600000);
        const auto end = std::chrono::steady_clock::now();
        if (r.exitCode != 0 || r.out.count("\"@ref\"") != files) {
            state.SkipWithError("mediainfo failed");
            return;
        }
        const double seconds = std::chrono::duration<double>(end - start).count();
        times.push_back(seconds);
        state.SetIterationTime(seconds);
    }
}

} // namespace vidora::bench
