#include "support/avi_files.h"

#include "support/tools.h"

#include <QFile>
#include <gtest/gtest.h>

namespace vidora::test {

using namespace vidora::media;
using namespace std::chrono_literals;

QByteArray makeRawDv(const QString &dir, int frames, bool ntsc, const QString &recorded,
                     const QString &name)
{
    return ffmpegRawDv(dir, {.ntsc = ntsc, .wide = false, .frames = frames}, recorded, name);
}

bool makeType2Avi(const QString &rawDvPath, const QString &out, const QStringList &extra)
{
    return ffmpegDvType2Avi(rawDvPath, out, true, extra);
}

QStringList probeStreams(const QString &path)
{
    const ToolResult probe =
        runTool("ffprobe", {"-v", "error", "-count_frames", "-show_entries",
                            "stream=codec_type,codec_name,nb_read_frames", "-of", "csv=p=0", path});
    QStringList lines;
    for (const auto &line : QString::fromUtf8(probe.out).split('\n', Qt::SkipEmptyParts))
        lines << line.trimmed();
    return lines;
}

QString decodeErrors(const QString &path)
{
    const ToolResult run = runTool("ffmpeg", {"-v", "error", "-i", path, "-f", "null", "-"});
    return QString::fromUtf8(run.out + run.err).trimmed();
}

Rewrap::Rewrap(const QString &in, const QString &out, std::int64_t riffLimit)
    : executor(std::make_shared<QueueEventExecutor>()), graph(executor), log(graph, executor),
      source(std::make_shared<FileSourceFilter>()), splitter(std::make_shared<AviSplitterFilter>()),
      mux(std::make_shared<AviMuxFilter>()), writer(std::make_shared<FileWriterFilter>())
{
    graph.AddFilter(source, "source");
    graph.AddFilter(splitter, "avisplitter");
    graph.AddFilter(mux, "avimux");
    graph.AddFilter(writer, "destination");
    if (riffLimit > 0 && !mux->setRiffLimit(riffLimit))
        return;
    if (!source->Load(in, nullptr) || !graph.Connect(source->output(), splitter->input()))
        return;
    // Every stream of the splitter into the mux's free (last) input.
    for (std::size_t i = 0; i < splitter->outputCount(); ++i) {
        auto pins = mux->pins();
        if (!graph.Connect(splitter->outputAt(i), *pins.back()))
            return;
    }
    ok = graph.Connect(mux->output(), writer->input()) && writer->SetFileName(out, nullptr) &&
         writer->SetMode(AM_FILE_OVERWRITE);
}

bool Rewrap::run()
{
    if (!graph.Run())
        return false;
    const bool complete = log.waitFor(GraphEventCode::Complete, 20s);
    graph.Stop();
    return complete && log.count(GraphEventCode::ErrorAbort) == 0;
}

} // namespace vidora::test
