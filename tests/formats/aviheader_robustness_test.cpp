// Damaged files against both AVI header readers: every fixture cut at every
// chunk boundary (and one byte either side), and every chunk size replaced by
// sizes that lie. Neither reader may crash, hang or read past the file; the
// parser refuses a first form cut short; the patcher writes nothing but the
// fields it names, inside the file, and never changes the file's length.
#include "formats/aviinfo.h"
#include "formats/fpsunit.h"
#include "support/riffbuilder.h"
#include "support/tools.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

using namespace vidora;
using namespace vidora::test;

struct Fixture
{
    const char *name;
    AviLayout layout;
};

std::vector<Fixture> fixtures()
{
    AviLayout oddOpenDml = openDmlLayout();
    oddOpenDml.oddChunks = true;
    AviLayout twoVideos = dvType2Layout();
    StreamLayout second = twoVideos.streams[0];
    second.handler = second.compression = "bbbb";
    twoVideos.streams.push_back(second);
    AviLayout longStrh = dvType2Layout();
    longStrh.streams[0].strhSize = 64;
    return {
        {"type 1", dvType1Layout()},
        {"type 2", dvType2Layout()},
        {"type 2 without DVINFO", dvType2Layout(false)},
        {"OpenDML", openDmlLayout()},
        {"OpenDML with odd chunks", oddOpenDml},
        {"two video streams", twoVideos},
        {"64-byte stream header", longStrh},
    };
}

// Where each patched field may lie in a fixture: the fields of its streams.
struct Candidates
{
    std::set<qint64> handler, scale, compression;
};

Candidates candidatesOf(const AviLayout &layout, const BuiltAvi &avi)
{
    Candidates c;
    for (std::size_t i = 0; i < layout.streams.size(); ++i) {
        const QByteArray &type = layout.streams[i].type;
        if (type != "vids" && type != "iavs")
            continue;
        c.handler.insert(avi.streams[i].strhData + 4);
        c.scale.insert(avi.streams[i].strhData + 20);
        if (type == "vids" && avi.streams[i].strfData >= 0)
            c.compression.insert(avi.streams[i].strfData + 16);
    }
    return c;
}

QByteArray patched(QByteArray bytes, qint64 position, const QByteArray &value)
{
    if (position >= 0)
        bytes.replace(position, value.size(), value);
    return bytes;
}

class AviHeaderRobustness : public TempFolderTest
{
protected:
    // Runs the scan and both patches on `bytes`; checks that each found field
    // is one of the fixture's and lies inside the file, and that each patch
    // changes exactly the fields found. Returns what the scan found.
    AviHeaderPositions checkPatcher(const QByteArray &bytes, const Candidates &candidates)
    {
        const QString path = write(bytes);
        const AviHeaderPositions found = ScanAviHeader(path);
        const auto check = [&](qint64 position, qint64 width, const std::set<qint64> &allowed) {
            if (position < 0)
                return;
            EXPECT_TRUE(allowed.count(position)) << position;
            EXPECT_LE(position + width, bytes.size());
        };
        check(found.handler, 4, candidates.handler);
        check(found.scale, 8, candidates.scale);
        check(found.compression, 4, candidates.compression);

        const QByteArray code("dsvd");
        const bool codecFound = found.handler >= 0 || found.compression >= 0;
        EXPECT_EQ(WriteAviCodec(path, readLE32(code.constData())), codecFound);
        const QByteArray afterCodec =
            patched(patched(bytes, found.handler, code), found.compression, code);
        EXPECT_EQ(readFileBytes(path), afterCodec);

        if (found.scale >= 0) {
            EXPECT_NO_THROW(WriteAviFrameRate(path, 25));
        } else {
            EXPECT_THROW(WriteAviFrameRate(path, 25), AviFileError);
        }
        EXPECT_EQ(readFileBytes(path),
                  patched(afterCodec, found.scale, bytesLE32(40000) + bytesLE32(1000000)));
        return found;
    }
};

TEST_F(AviHeaderRobustness, EveryTruncation)
{
    for (const Fixture &fixture : fixtures()) {
        SCOPED_TRACE(fixture.name);
        const BuiltAvi avi = buildAvi(fixture.layout);
        const Candidates candidates = candidatesOf(fixture.layout, avi);
        const TAviParam whole(write(avi.bytes));
        ASSERT_TRUE(whole.Parsed());
        const QString handler = whole.GetVideoHandler();
        const AviHeaderPositions full = ScanAviHeader(write(avi.bytes));
        ASSERT_GE(full.handler, 0);

        std::set<qint64> lengths;
        for (const BuiltChunk &c : avi.chunks) {
            for (const qint64 b :
                 {c.headerOffset, c.headerOffset + 4, c.dataOffset, c.dataOffset + 4, c.end}) {
                for (const qint64 d : {-1, 0, 1})
                    lengths.insert(std::clamp<qint64>(b + d, 0, avi.bytes.size()));
            }
        }
        for (const qint64 length : lengths) {
            SCOPED_TRACE(length);
            const QByteArray cut = avi.bytes.left(length);
            const TAviParam param(write(cut));
            const bool firstFormWhole = length >= avi.firstFormEnd;
            EXPECT_EQ(param.Parsed(), firstFormWhole);
            EXPECT_EQ(param.GetVideoHandler(), firstFormWhole ? handler : QStringLiteral("####"));

            const AviHeaderPositions found = checkPatcher(cut, candidates);
            if (length >= avi.hdrlEnd) {
                EXPECT_EQ(found, full);
            }
        }
    }
}

TEST_F(AviHeaderRobustness, EverySizeThatLies)
{
    for (const Fixture &fixture : fixtures()) {
        SCOPED_TRACE(fixture.name);
        const BuiltAvi avi = buildAvi(fixture.layout);
        const Candidates candidates = candidatesOf(fixture.layout, avi);
        QSet<QString> handlers{QStringLiteral("####")};
        for (const StreamLayout &s : fixture.layout.streams)
            handlers.insert(QString::fromLatin1(s.handler));

        for (std::size_t i = 0; i < avi.chunks.size(); ++i) {
            const BuiltChunk &chunk = avi.chunks[i];
            SCOPED_TRACE(chunk.id.toStdString() + " at " + std::to_string(chunk.headerOffset));
            const quint32 stored = readLE32(avi.bytes.constData() + chunk.headerOffset + 4);
            qint64 parentEnd = avi.bytes.size();
            for (std::size_t p = i; p-- > 0;) {
                if (avi.chunks[p].depth == chunk.depth - 1) {
                    parentEnd = avi.chunks[p].end;
                    break;
                }
            }
            const quint32 pastParent = quint32(parentEnd - chunk.dataOffset + 2);
            for (const quint32 size : {0u, 1u, 3u, stored ^ 1u, stored + 8, pastParent, 0x7FFFFFFFu,
                                       0x80000000u, 0xFFFFFFFEu, 0xFFFFFFFFu}) {
                SCOPED_TRACE(size);
                QByteArray bytes = avi.bytes;
                bytes.replace(chunk.headerOffset + 4, 4, bytesLE32(size));
                const TAviParam param(write(bytes));
                EXPECT_TRUE(handlers.contains(param.GetVideoHandler()));
                const TAviParam again(write(bytes));
                EXPECT_EQ(again.Parsed(), param.Parsed());
                EXPECT_EQ(again.GetVideoHandler(), param.GetVideoHandler());
                checkPatcher(bytes, candidates);
            }
        }
    }
}

TEST_F(AviHeaderRobustness, DeepAndEmptyChunks)
{
    // Lists nested far deeper than any AVI, and a run of empty chunks: both
    // walks stay bounded and make progress.
    QByteArray deep;
    {
        QBuffer buffer(&deep);
        buffer.open(QIODevice::WriteOnly);
        RiffBuilder b(buffer);
        auto form = b.list("RIFF", "AVI ");
        std::vector<RiffBuilder::Scope> lists;
        for (int i = 0; i < 20000; ++i)
            lists.push_back(b.list("LIST", "strl"));
        b.leaf("strh", QByteArray("vidsdvsd", 8) + QByteArray(48, '\0'));
        while (!lists.empty())
            lists.pop_back();
        for (int i = 0; i < 1000; ++i)
            b.leaf("JUNK", {});
    }
    const TAviParam param(write(deep));
    EXPECT_TRUE(param.Parsed());
    EXPECT_EQ(param.GetVideoHandler(), QStringLiteral("####"));
    EXPECT_EQ(checkPatcher(deep, {}), AviHeaderPositions{});
}

} // namespace
