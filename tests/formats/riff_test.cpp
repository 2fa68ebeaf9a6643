#include "formats/riff.h"
#include "support/riffbuilder.h"

#include <QBuffer>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>
#include <utility>
#include <vector>

namespace {

using namespace vidora;
using namespace vidora::test;

riff::Tree treeOf(QByteArray bytes)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return riff::walkTree(buffer);
}

QByteArray build(const std::function<void(RiffBuilder &)> &write)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    RiffBuilder builder(buffer);
    write(builder);
    return bytes;
}

TEST(RiffFourCC, PacksFirstCharacterLowest)
{
    EXPECT_EQ(makeFourCC("dvsd"), 0x64737664u);
    EXPECT_EQ(fourCCBytesText(makeFourCC("AVIX")), QStringLiteral("AVIX"));
    EXPECT_EQ(riff::fourCCDumpText(0x00617401), QStringLiteral(".ta."));
    EXPECT_EQ(bytesLE32(0x01020304), QByteArray("\x04\x03\x02\x01", 4));
}

TEST(RiffBoundedReader, NeverReadsPastTheEnd)
{
    QByteArray bytes("RIFF\x04\0\0\0AVI ", 12);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    riff::BoundedReader reader(buffer);
    EXPECT_EQ(reader.fileSize(), 12);
    ASSERT_TRUE(reader.headerAt(0));
    EXPECT_EQ(reader.headerAt(0)->id, riff::kRiff);
    EXPECT_EQ(reader.headerAt(0)->size, 4u);
    EXPECT_EQ(reader.fourCCAt(8), makeFourCC("AVI "));
    EXPECT_EQ(reader.readAt(12, 0), QByteArray());
    EXPECT_FALSE(reader.headerAt(5));
    EXPECT_FALSE(reader.fourCCAt(9));
    EXPECT_FALSE(reader.readAt(-1, 2));
    EXPECT_FALSE(reader.readAt(13, 0));
    EXPECT_FALSE(reader.readAt(4, std::numeric_limits<qint64>::max()));
    EXPECT_FALSE(reader.readAt(std::numeric_limits<qint64>::max(), 1));
}

// Any byte source: the reader asks it only for ranges inside the file, and a
// source that fails a read gives nothing.
TEST(RiffBoundedReader, AsksItsSourceOnlyInsideTheFile)
{
    struct Source final : riff::ByteSource
    {
        QByteArray bytes{"RIFF\x04\0\0\0AVI ", 12};
        bool fail = false;
        std::vector<std::pair<qint64, qint64>> asked;
        qint64 size() const override { return bytes.size(); }
        bool read(qint64 offset, qint64 count, void *out) override
        {
            asked.emplace_back(offset, count);
            if (fail)
                return false;
            std::memcpy(out, bytes.constData() + offset, std::size_t(count));
            return true;
        }
    } source;
    const riff::BoundedReader reader(source);
    EXPECT_EQ(reader.fourCCAt(8), makeFourCC("AVI "));
    EXPECT_FALSE(reader.headerAt(6));
    EXPECT_FALSE(reader.readAt(10, std::numeric_limits<qint64>::max()));
    std::uint8_t out[4];
    EXPECT_FALSE(reader.read(-4, 4, out));
    EXPECT_EQ(source.asked, (std::vector<std::pair<qint64, qint64>>{{8, 4}}));
    source.fail = true;
    EXPECT_FALSE(reader.headerAt(0));
    EXPECT_FALSE(reader.read(0, 4, out));
}

// The builder's output as the walker sees it: every list, pad byte and
// OpenDML chunk where it belongs.
TEST(RiffTree, DumpsAnOpenDmlFileWithOddChunks)
{
    AviLayout layout = openDmlLayout();
    layout.oddChunks = true;
    const riff::Tree tree = treeOf(buildAvi(layout).bytes);
    EXPECT_EQ(tree.dump(), QStringLiteral("RIFF 'AVI ' at 0 size 1088\n"
                                          "  LIST 'hdrl' at 12 size 826\n"
                                          "    avih at 24 size 56\n"
                                          "    JUNK at 88 size 3\n"
                                          "    LIST 'strl' at 100 size 258\n"
                                          "      strh at 112 size 56\n"
                                          "      strf at 176 size 72\n"
                                          "      indx at 256 size 88\n"
                                          "      strn at 352 size 5\n"
                                          "    LIST 'strl' at 366 size 204\n"
                                          "      strh at 378 size 56\n"
                                          "      strf at 442 size 18\n"
                                          "      indx at 468 size 88\n"
                                          "      strn at 564 size 5\n"
                                          "    LIST 'odml' at 578 size 260\n"
                                          "      dmlh at 590 size 248\n"
                                          "  JUNK at 846 size 5\n"
                                          "  LIST 'movi' at 860 size 156\n"
                                          "  idx1 at 1024 size 64\n"
                                          "RIFF 'AVIX' at 1096 size 168\n"
                                          "  LIST 'movi' at 1108 size 156\n"));
    const riff::Chunk &strn = tree.chunks[8];
    EXPECT_EQ(strn.dataSize(), 5);
    EXPECT_EQ(strn.end(), 366);
    EXPECT_EQ(tree.chunks[2].parent, 1);
}

TEST(RiffTree, BrokenFilesAreCutToTheFile)
{
    const struct
    {
        const char *name;
        std::function<void(RiffBuilder &)> write;
        const char *dump;
    } cases[] = {
        {"a chunk past the end of the file is cut to it",
         [](RiffBuilder &b) {
             auto form = b.list("RIFF", "AVI ");
             auto hdrl = b.list("LIST", "hdrl");
             auto avih = b.chunk("avih");
             avih.declareSize(1000);
             b.zeros(8);
         },
         "RIFF 'AVI ' at 0 size 32\n"
         "  LIST 'hdrl' at 12 size 20\n"
         "    avih at 24 size 1000 cut to 8\n"},
        {"a missing last pad byte counts as a cut",
         [](RiffBuilder &b) {
             b.fourcc("RIFF");
             b.u32(15);
             b.fourcc("AVI ");
             b.fourcc("JUNK");
             b.u32(3);
             b.zeros(3);
         },
         "RIFF 'AVI ' at 0 size 15 cut to 15\n"
         "  JUNK at 12 size 3 cut to 3\n"},
        {"a child longer than its list ends the list",
         [](RiffBuilder &b) {
             auto form = b.list("RIFF", "AVI ");
             {
                 auto hdrl = b.list("LIST", "hdrl");
                 hdrl.declareSize(12);
                 b.leaf("avih", QByteArray(8, 'a'));
                 b.leaf("JUNK", QByteArray(4, 'j'));
             }
         },
         "RIFF 'AVI ' at 0 size 44\n"
         "  LIST 'hdrl' at 12 size 12\n"
         "    avih at 24 size 8 overruns parent\n"
         "  aaaa at 32 size 1633771873 cut to 12\n"},
        {"bytes after the last form",
         [](RiffBuilder &b) {
             b.leaf("RIFF", QByteArray("AVI ", 4));
             b.leaf("JUNK", QByteArray(2, 'j'));
         },
         "RIFF 'AVI ' at 0 size 4\n"
         "garbage at 12\n"},
        {"fewer than 8 bytes after the last form",
         [](RiffBuilder &b) {
             b.leaf("RIFF", QByteArray("AVI ", 4));
             b.zeros(7);
         },
         "RIFF 'AVI ' at 0 size 4\n"
         "unexpected end\n"},
        {"a form of size 0 ends the walk",
         [](RiffBuilder &b) {
             b.leaf("RIFF", {});
             b.leaf("RIFF", QByteArray("AVI ", 4));
         },
         "RIFF at 0 size 0\n"},
        {"a list too short for its type and empty chunks",
         [](RiffBuilder &b) {
             auto form = b.list("RIFF", "AVI ");
             b.leaf("LIST", QByteArray(2, 'x'));
             b.leaf("JUNK", {});
             b.leaf("JUNK", {});
         },
         "RIFF 'AVI ' at 0 size 30\n"
         "  LIST at 12 size 2\n"
         "  JUNK at 22 size 0\n"
         "  JUNK at 30 size 0\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(treeOf(build(c.write)).dump(), QString::fromLatin1(c.dump));
    }
}

TEST(RiffTree, NestingIsCapped)
{
    const QByteArray bytes = build([](RiffBuilder &b) {
        std::vector<RiffBuilder::Scope> lists;
        lists.push_back(b.list("RIFF", "AVI "));
        for (int i = 0; i < 200; ++i)
            lists.push_back(b.list("LIST", "deep"));
        b.leaf("JUNK", QByteArray(4, 'j'));
        while (!lists.empty())
            lists.pop_back();
    });
    const riff::Tree tree = treeOf(bytes);
    EXPECT_TRUE(tree.depthLimited);
    EXPECT_EQ(int(tree.chunks.size()), riff::Tree::kMaxDepth + 1);
    EXPECT_EQ(tree.chunks.back().depth, riff::Tree::kMaxDepth);
}

} // namespace
