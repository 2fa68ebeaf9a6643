#pragma once

// Shared by the AVI splitter and AVI mux tests: DV files made by ffmpeg (see
// dvfiles.h for the builders), ffprobe's view of a file, and a rewrap graph
// (file source → AVI splitter → AVI mux → file writer).
#include "formats/dvsystem.h"
#include "platform/media/filters/avi_mux.h"
#include "platform/media/filters/avi_splitter.h"
#include "platform/media/filters/file_source.h"
#include "platform/media/filters/file_writer.h"
#include "support/dvfiles.h"
#include "support/media_filters.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace vidora::test {

constexpr int kPalFrame = int(kDv625.frameBytes);
constexpr int kNtscFrame = int(kDv525.frameBytes);

// ffmpegRawDv in dir/`name` (default raw.dv): `frames` frames recorded from
// `recorded` on.
QByteArray makeRawDv(const QString &dir, int frames, bool ntsc = false,
                     const QString &recorded = QStringLiteral("2005-06-07T08:09:10Z"),
                     const QString &name = QStringLiteral("raw.dv"));
// ffmpegDvType2Avi with PCM audio and `extra` ffmpeg arguments.
bool makeType2Avi(const QString &rawDvPath, const QString &out, const QStringList &extra = {});

// ffprobe's "codec_type,codec_name,frames" per stream, counting frames.
QStringList probeStreams(const QString &path);
// What `ffmpeg -v error -i file -f null -` prints (empty for a clean file).
QString decodeErrors(const QString &path);

struct Rewrap
{
    explicit Rewrap(const QString &in, const QString &out, std::int64_t riffLimit = 0);
    bool run(); // to completion, then stop
    std::shared_ptr<media::QueueEventExecutor> executor;
    media::FilterGraph graph;
    EventLog log;
    std::shared_ptr<media::FileSourceFilter> source;
    std::shared_ptr<media::AviSplitterFilter> splitter;
    std::shared_ptr<media::AviMuxFilter> mux;
    std::shared_ptr<media::FileWriterFilter> writer;
    bool ok = false;
};

} // namespace vidora::test
