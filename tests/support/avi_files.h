#pragma once

// Shared by the AVI splitter and AVI mux tests: DV files made by ffmpeg, a
// DV type-1 AVI wrapped around them, and a rewrap graph (file source → AVI
// splitter → AVI mux → file writer).
#include "formats/dvsystem.h"
#include "platform/media/filters/avi_mux.h"
#include "platform/media/filters/avi_splitter.h"
#include "platform/media/filters/file_source.h"
#include "platform/media/filters/file_writer.h"
#include "support/media_filters.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace vidora::test {

constexpr int kPalFrame = int(kDv625.frameBytes);
constexpr int kNtscFrame = int(kDv525.frameBytes);

// Raw DV (PAL or NTSC, 48 kHz stereo) of about `frames` frames with a
// recording date of 2005-06-07 08:09:10 and the time code 01:02:03:04, in
// dir/raw.dv; empty when ffmpeg fails. The recording time advances with the
// frames from `recorded` (ISO 8601, UTC), which other clips may set apart;
// `name` is the file's name in dir.
QByteArray makeRawDv(const QString &dir, int frames, bool ntsc = false,
                     const QString &recorded = QStringLiteral("2005-06-07T08:09:10Z"),
                     const QString &name = QStringLiteral("raw.dv"));
// The frames as a DV type-1 AVI ("iavs" "dvsd", DVINFO, "00dc" chunks, idx1).
QByteArray type1Avi(const QByteArray &rawDv, bool ntsc = false);
// The same frames as a type-2 AVI made by ffmpeg (video copied, PCM audio).
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
