#include "support/avi_files.h"

#include "support/riffbuilder.h"
#include "support/tools.h"

#include <QBuffer>
#include <QFile>
#include <gtest/gtest.h>

namespace vidora::test {

using namespace vidora::media;
using namespace std::chrono_literals;

namespace {

QByteArray le32(quint32 v)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char(v >> (8 * i));
    return b;
}

} // namespace

QByteArray makeRawDv(const QString &dir, int frames, bool ntsc, const QString &recorded,
                     const QString &name)
{
    const QString path = dir + "/" + name;
    const QString video =
        ntsc ? "testsrc=size=720x480:rate=30000/1001" : "testsrc=size=720x576:rate=25";
    const double seconds = ntsc ? frames * 1001 / 30000.0 : frames / 25.0;
    const QStringList args = QString("-hide_banner -loglevel error -y -f lavfi -i %1 -f lavfi -i "
                                     "sine=frequency=440:sample_rate=48000 -t %2 -ac 2 "
                                     "-pix_fmt %3 -metadata creation_time=%4 "
                                     "-timecode 01:02:03:04 -f dv")
                                 .arg(video)
                                 .arg(seconds)
                                 .arg(ntsc ? "yuv411p" : "yuv420p")
                                 .arg(recorded)
                                 .split(' ')
                             << path;
    const ToolResult made = runTool("ffmpeg", args);
    if (made.exitCode != 0) {
        ADD_FAILURE() << made.err.toStdString();
        return {};
    }
    return readFileBytes(path);
}

QByteArray type1Avi(const QByteArray &rawDv, bool ntsc)
{
    const int frameBytes = ntsc ? kNtscFrame : kPalFrame;
    const int frames = rawDv.size() / frameBytes;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadWrite);
    RiffBuilder b(buffer);
    {
        auto form = b.list("RIFF", "AVI ");
        {
            auto hdrl = b.list("LIST", "hdrl");
            {
                auto avih = b.chunk("avih");
                b.u32(ntsc ? 33367 : 40000); // µs per frame
                b.u32(0);
                b.u32(0);
                b.u32(0x10);
                b.u32(quint32(frames));
                b.u32(0);
                b.u32(1);
                b.u32(quint32(frameBytes));
                b.u32(720);
                b.u32(ntsc ? 480 : 576);
                b.zeros(16);
            }
            auto strl = b.list("LIST", "strl");
            {
                auto strh = b.chunk("strh");
                b.fourcc("iavs");
                b.fourcc("dvsd");
                b.zeros(12);
                b.u32(ntsc ? 1001 : 1);   // scale
                b.u32(ntsc ? 30000 : 25); // rate
                b.u32(0);
                b.u32(quint32(frames));
                b.u32(quint32(frameBytes));
                b.zeros(16);
            }
            // DVINFO: AAUX and VAUX source and control packs of a PAL frame.
            auto strf = b.chunk("strf");
            b.u32(0xD0E000C0);
            b.u32(0xC0C038FF);
            b.u32(0xD0E001C0);
            b.u32(0xC0C038FF);
            b.u32(0xFF20FFFF);
            b.u32(0xFFFC8AFF);
            b.zeros(8);
        }
        QByteArray index;
        {
            auto movi = b.list("LIST", "movi");
            const qint64 moviType = movi.dataOffset();
            for (int f = 0; f < frames; ++f) {
                index += QByteArray("00dc") + le32(0x10) + le32(quint32(b.pos() - moviType)) +
                         le32(quint32(frameBytes));
                b.leaf("00dc", rawDv.mid(f * frameBytes, frameBytes));
            }
        }
        b.leaf("idx1", index);
    }
    return bytes;
}

bool makeType2Avi(const QString &rawDvPath, const QString &out, const QStringList &extra)
{
    QStringList args{"-hide_banner", "-loglevel", "error", "-y",   "-i",
                     rawDvPath,      "-c:v",      "copy",  "-c:a", "pcm_s16le"};
    args << extra << out;
    const ToolResult made = runTool("ffmpeg", args);
    EXPECT_EQ(made.exitCode, 0) << made.err.toStdString();
    return made.exitCode == 0;
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
