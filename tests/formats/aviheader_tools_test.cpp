// The AVI header readers on files nobody here wrote (made by the ffmpeg
// command-line tool) and on a file past 4 GiB, checked by ffprobe and ffmpeg.
#include "formats/aviinfo.h"
#include "formats/fpsunit.h"
#include "formats/riff.h"
#include "support/riffbuilder.h"
#include "support/tools.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using namespace vidora;
using namespace vidora::test;

// ffprobe's "key=value" lines for the first video stream.
// With `countFrames`, ffprobe decodes every frame and adds nb_read_frames.
QMap<QString, QString> probeVideo(const QString &path, bool countFrames = false)
{
    QStringList arguments{
        QStringLiteral("-v"),  QStringLiteral("error"),         QStringLiteral("-select_streams"),
        QStringLiteral("v:0"), QStringLiteral("-show_streams"), path};
    if (countFrames)
        arguments << QStringLiteral("-count_frames");
    const ToolResult probe = runTool(QStringLiteral("ffprobe"), arguments);
    EXPECT_EQ(probe.exitCode, 0) << probe.err.toStdString();
    EXPECT_TRUE(probe.err.isEmpty()) << probe.err.toStdString();
    QMap<QString, QString> values;
    for (const QByteArray &line : probe.out.split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0)
            values.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)));
    }
    return values;
}

// Whether the bytes outside [position, position + width) of each change are equal.
bool sameOutside(QByteArray a, QByteArray b, std::initializer_list<std::pair<qint64, int>> changes)
{
    for (const auto &[position, width] : changes) {
        a.replace(position, width, QByteArray(width, '\0'));
        b.replace(position, width, QByteArray(width, '\0'));
    }
    return a == b;
}

TEST(AviHeaderTools, FfmpegFileIsReadAndPatched)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.avi"));
    const ToolResult made = runTool(
        QStringLiteral("ffmpeg"),
        QStringLiteral("-v error -y -f lavfi -i testsrc=size=720x576:rate=25 -f lavfi -i sine -t 1 "
                       "-c:v dvvideo -pix_fmt yuv420p -c:a pcm_s16le -vtag dvsd")
                .split(u' ')
            << path);
    if (!made.started)
        FAIL() << "ffmpeg is not installed (scripts/setup installs it)";
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();

    const TAviParam param(path);
    EXPECT_TRUE(param.Parsed());
    EXPECT_EQ(param.GetVideoHandler(), QStringLiteral("dvsd"));
    EXPECT_EQ(FourCCToStr(ReadAviCodec(path)), QStringLiteral("dvsd"));

    const QByteArray before = readFileBytes(path);
    const AviHeaderPositions at = ScanAviHeader(path);
    ASSERT_GE(at.handler, 0);
    ASSERT_GE(at.scale, 0);
    ASSERT_GE(at.compression, 0);
    ASSERT_TRUE(WriteAviCodec(path, makeFourCC("dsvd")));
    WriteAviFrameRate(path, 23.976);
    const QByteArray after = readFileBytes(path);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_TRUE(sameOutside(before, after, {{at.handler, 4}, {at.compression, 4}, {at.scale, 8}}));

    QMap<QString, QString> video = probeVideo(path);
    EXPECT_EQ(video.value(QStringLiteral("codec_tag_string")), QStringLiteral("dsvd"));
    // dwScale/dwRate = 41708/1000000, reduced
    EXPECT_EQ(video.value(QStringLiteral("time_base")), QStringLiteral("10427/250000"));
    EXPECT_EQ(video.value(QStringLiteral("r_frame_rate")), QStringLiteral("250000/10427"));

    // ffmpeg knows no DV decoder under "dsvd"; under another DV code the
    // patched file still decodes, every frame, without error.
    ASSERT_TRUE(WriteAviCodec(path, makeFourCC("CDVC")));
    video = probeVideo(path, true);
    EXPECT_EQ(video.value(QStringLiteral("nb_read_frames")), QStringLiteral("25"));
    EXPECT_EQ(video.value(QStringLiteral("codec_name")), QStringLiteral("dvvideo"));
    EXPECT_EQ(video.value(QStringLiteral("codec_tag_string")), QStringLiteral("CDVC"));
    const ToolResult decoded =
        runTool(QStringLiteral("ffmpeg"),
                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
                 QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")});
    EXPECT_EQ(decoded.exitCode, 0);
    EXPECT_TRUE(decoded.err.isEmpty()) << decoded.err.toStdString();
    EXPECT_EQ(TAviParam(path).GetVideoHandler(), QStringLiteral("CDVC"));
}

TEST(AviHeaderTools, FilePast4GiB)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.avi"));
    const SparseAvi sparse = writeSparseAvi(path);
    ASSERT_GT(sparse.lastFormOffset, qint64(1) << 32);
    ASSERT_EQ(QFileInfo(path).size(), sparse.size);

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const riff::Tree tree = riff::walkTree(file);
    file.close();
    ASSERT_GE(tree.chunks.size(), 3u);
    const auto last = std::find_if(tree.chunks.rbegin(), tree.chunks.rend(),
                                   [](const riff::Chunk &c) { return c.depth == 0; });
    EXPECT_EQ(last->headerOffset, sparse.lastFormOffset);
    EXPECT_EQ(last->listType, makeFourCC("AVIX"));
    EXPECT_EQ(last->end(), sparse.size);
    EXPECT_FALSE(tree.unexpectedEnd);
    EXPECT_EQ(tree.garbageOffset, -1);

    // The only video stream lies in the last form.
    const TAviParam param(path);
    EXPECT_TRUE(param.Parsed());
    EXPECT_EQ(param.GetVideoHandler(), QStringLiteral("dvsd"));

    const AviHeaderPositions at = ScanAviHeader(path);
    EXPECT_EQ(at.handler, sparse.video.strhData + 4);
    EXPECT_EQ(at.scale, sparse.video.strhData + 20);
    EXPECT_EQ(at.compression, sparse.video.strfData + 16);

    const auto header = [&] {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        QByteArray head = f.read(4096);
        f.seek(sparse.lastFormOffset);
        return head + f.readAll();
    };
    const QByteArray before = header();
    ASSERT_TRUE(WriteAviCodec(path, makeFourCC("dsvd")));
    WriteAviFrameRate(path, 25);
    const QByteArray after = header();
    EXPECT_EQ(QFileInfo(path).size(), sparse.size);
    const qint64 base = sparse.lastFormOffset - 4096;
    EXPECT_TRUE(sameOutside(
        before, after, {{at.handler - base, 4}, {at.compression - base, 4}, {at.scale - base, 8}}));
    EXPECT_EQ(after.mid(at.handler - base, 4), QByteArray("dsvd"));
    EXPECT_EQ(after.mid(at.compression - base, 4), QByteArray("dsvd"));
    EXPECT_EQ(after.mid(at.scale - base, 8), bytesLE32(40000) + bytesLE32(1000000));
    EXPECT_EQ(FourCCToStr(ReadAviCodec(path)), QStringLiteral("dsvd"));
}

} // namespace
