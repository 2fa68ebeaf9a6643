// The AVI splitter against indexes that no longer describe their file: a
// stale "idx1" or "indx", single bad entries, a recording that stopped short
// with a zero-filled tail, and picture sizes at the ends of their range.
// Every frame delivered must be the frame its number says.
#include "formats/riff.h"
#include "support/avi_files.h"
#include "support/lebytes.h"
#include "support/media_hang_guard.h"
#include "support/riffbuilder.h"
#include "support/tools.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <limits>
#include <map>

namespace {

using namespace vidora::media;
using namespace vidora::test;
using namespace std::chrono_literals;

// The 16 bytes of small frame `i`: its number in text.
QByteArray payload(int i)
{
    return QString("frame %1").arg(i, 4, 10, QLatin1Char('0')).toLatin1().leftJustified(16, '.');
}

// A one-stream AVI of 16-byte "00dc" frames that say their number.
struct SmallLayout
{
    int frames = 12;
    bool idx1 = true;
    // An empty "JUNK" chunk first in "movi" that the idx1 does not know of
    // (the index was written before it): every entry is 8 bytes early.
    bool junkFirst = false;
    // Bytes after the frames inside "movi" (a zero-filled tail).
    QByteArray tail;
    qint32 width = 16;
    qint32 height = 16;
};

struct SmallAvi
{
    QByteArray bytes;
    qint64 idx1 = -1; // data of "idx1"
};

SmallAvi smallAvi(const SmallLayout &layout)
{
    SmallAvi avi;
    QBuffer buffer(&avi.bytes);
    buffer.open(QIODevice::ReadWrite);
    RiffBuilder b(buffer);
    {
        auto form = b.list("RIFF", "AVI ");
        {
            auto hdrl = b.list("LIST", "hdrl");
            {
                auto avih = b.chunk("avih");
                b.u32(40000);
                b.zeros(12);
                b.u32(quint32(layout.frames));
                b.zeros(4);
                b.u32(1);
                b.zeros(28);
            }
            auto strl = b.list("LIST", "strl");
            {
                auto strh = b.chunk("strh");
                b.fourcc("vids");
                b.fourcc("tst ");
                b.zeros(12);
                b.u32(1);  // scale
                b.u32(25); // rate
                b.u32(0);
                b.u32(quint32(layout.frames));
                b.u32(16);
                b.zeros(16);
            }
            auto strf = b.chunk("strf");
            b.u32(40);
            b.u32(quint32(layout.width));
            b.u32(quint32(layout.height));
            b.u16(1);
            b.u16(24);
            b.fourcc("tst ");
            b.zeros(20);
        }
        QByteArray index;
        {
            auto movi = b.list("LIST", "movi");
            const qint64 moviType = movi.dataOffset();
            if (layout.junkFirst)
                b.leaf("JUNK", {});
            const qint64 unknown = layout.junkFirst ? 8 : 0;
            for (int f = 0; f < layout.frames; ++f) {
                index += QByteArray("00dc") + vidora::bytesLE32(0x10) +
                         vidora::bytesLE32(quint32(b.pos() - moviType - unknown)) +
                         vidora::bytesLE32(16);
                b.leaf("00dc", payload(f));
            }
            b.bytes(layout.tail);
        }
        if (layout.idx1) {
            auto idx1 = b.chunk("idx1");
            avi.idx1 = idx1.dataOffset();
            b.bytes(index);
        }
    }
    return avi;
}

// What a run of the file through a file source and an AVI splitter gave.
struct Played
{
    bool connected = false;
    std::string error;
    bool complete = false;
    // Each delivered sample of every stream: its media start and its bytes.
    std::map<std::size_t, std::vector<std::pair<std::int64_t, QByteArray>>> samples;
    std::optional<VideoInfoHeader> video;
};

Played play(const QString &path)
{
    Played played;
    auto executor = std::make_shared<QueueEventExecutor>();
    FilterGraph graph(executor);
    EventLog log(graph, executor);
    auto source = std::make_shared<FileSourceFilter>();
    auto splitter = std::make_shared<AviSplitterFilter>();
    graph.AddFilter(source, "source");
    graph.AddFilter(splitter, "avisplitter");
    if (!source->Load(path, nullptr))
        return played;
    played.connected = graph.Connect(source->output(), splitter->input());
    played.error = splitter->lastError();
    if (!played.connected)
        return played;
    std::mutex mutex;
    std::vector<std::shared_ptr<RecordingSink>> sinks;
    for (std::size_t i = 0; i < splitter->outputCount(); ++i) {
        auto sink = std::make_shared<RecordingSink>();
        sink->onRender = [&, i](const MediaSample &s) {
            std::lock_guard lock(mutex);
            played.samples[i].emplace_back(
                s.mediaTime ? s.mediaTime->start : -1,
                QByteArray(reinterpret_cast<const char *>(s.data()), qsizetype(s.actualLength())));
            return Flow::Ok;
        };
        graph.AddFilter(sink, "sink");
        EXPECT_TRUE(graph.Connect(splitter->outputAt(i), sink->input()));
        sinks.push_back(sink);
    }
    if (splitter->outputCount() > 0)
        played.video = splitter->outputAt(0).connectionType().videoInfo();
    EXPECT_TRUE(graph.Run());
    played.complete = log.waitFor(GraphEventCode::Complete, 10s);
    graph.Stop();
    return played;
}

class AviSplitterIndex : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString write(const QByteArray &bytes, const QString &name = "f.avi")
    {
        writeFileBytes(dir.filePath(name), bytes);
        return dir.filePath(name);
    }
    // Every delivered frame of stream 0 is the small frame its number says;
    // the frame numbers delivered.
    static std::vector<std::int64_t> checkedFrames(const Played &played)
    {
        std::vector<std::int64_t> numbers;
        if (!played.samples.count(0))
            return numbers;
        for (const auto &[number, bytes] : played.samples.at(0)) {
            EXPECT_EQ(bytes, payload(int(number))) << "frame " << number;
            numbers.push_back(number);
        }
        return numbers;
    }
    static std::vector<std::int64_t> range(int from, int to)
    {
        std::vector<std::int64_t> numbers;
        for (int i = from; i < to; ++i)
            numbers.push_back(i);
        return numbers;
    }

    QTemporaryDir dir;
};

TEST_F(AviSplitterIndex, AStaleIdx1GivesWayToTheChunksOfTheFile)
{
    HangGuard guard(20s);
    // The index was written before an empty chunk went in front of the
    // frames: each entry points 8 bytes before its chunk's header. Read as it
    // stands, every frame would start with the header of its own chunk.
    SmallLayout layout;
    layout.junkFirst = true;
    const Played played = play(write(smallAvi(layout).bytes));
    ASSERT_TRUE(played.connected) << played.error;
    EXPECT_TRUE(played.complete);
    EXPECT_EQ(checkedFrames(played), range(0, 12));
}

TEST_F(AviSplitterIndex, OneBadIdx1EntryIsSkippedAndTheStreamGoesOn)
{
    HangGuard guard(60s);
    // Entry 102 of 200 (between those compared when the file is read)
    // damaged in three ways; the frames around it must all come, each the
    // frame its number says, and the stream must run to its end.
    struct Case
    {
        const char *what;
        qint64 field; // in the entry: 8 offset, 12 size
        quint32 value;
    };
    SmallLayout layout;
    layout.frames = 200;
    const SmallAvi avi = smallAvi(layout);
    const qint64 entry = avi.idx1 + 102 * 16;
    const quint32 offset = le32At(avi.bytes, entry + 8);
    for (const Case &c : {Case{"offset past the end of the file", 8, 0x7FFFFFF0u},
                          Case{"a frame of 1.8 GB", 12, 0x70000000u},
                          Case{"offset into the middle of a chunk", 8, offset + 4}}) {
        SCOPED_TRACE(c.what);
        QByteArray bytes = avi.bytes;
        putLe(bytes, entry + c.field, c.value);
        const Played played = play(write(bytes));
        ASSERT_TRUE(played.connected) << played.error;
        EXPECT_TRUE(played.complete);
        std::vector<std::int64_t> frames = checkedFrames(played);
        std::erase(frames, 102); // found again by a scan, or skipped
        std::vector<std::int64_t> expected = range(0, 200);
        std::erase(expected, 102);
        EXPECT_EQ(frames, expected);
    }
}

TEST_F(AviSplitterIndex, AStaleOrDamagedOpenDmlIndexGivesWayToTheChunksOfTheFile)
{
    HangGuard guard(60s);
    const QByteArray raw = makeRawDv(dir.path(), 10);
    ASSERT_EQ(raw.size(), 10 * kPalFrame);
    ASSERT_TRUE(makeType2Avi(dir.filePath("raw.dv"), dir.filePath("plain.avi")));
    // Rewritten by the AVI mux with a form every two frames or so.
    {
        Rewrap rewrap(dir.filePath("plain.avi"), dir.filePath("t2.avi"), 400 * 1024);
        ASSERT_TRUE(rewrap.ok);
        ASSERT_TRUE(rewrap.run());
    }
    const QByteArray t2 = readFileBytes(dir.filePath("t2.avi"));
    ASSERT_GT(t2.count("AVIX"), 1);
    // The video's super index and its first standard index.
    const qint64 indx = t2.indexOf("indx") + 8;
    const qint64 ix00 = t2.indexOf("ix00") + 8;
    ASSERT_GT(indx, 8);
    ASSERT_GT(ix00, 8);
    const qint64 base = ix00 + 12; // qwBaseOffset, low half
    const qint64 firstIx = indx + 24;
    struct Case
    {
        const char *what;
        qint64 at;
        quint32 value;
    };
    for (const Case &c : {
             // Written before 8 bytes went in front of the frames.
             Case{"standard index 8 bytes early", base, le32At(t2, base) - 8},
             Case{"super index entry off its standard index", firstIx, le32At(t2, firstIx) + 16},
             Case{"super index of 3 longs per entry", indx, (le32At(t2, indx) & 0xFFFF0000u) | 3},
         }) {
        SCOPED_TRACE(c.what);
        QByteArray bytes = t2;
        putLe(bytes, c.at, c.value);
        const Played played = play(write(bytes));
        ASSERT_TRUE(played.connected) << played.error;
        EXPECT_TRUE(played.complete);
        ASSERT_EQ(played.samples.count(0), 1u);
        const auto &video = played.samples.at(0);
        ASSERT_EQ(video.size(), 10u);
        for (std::size_t i = 0; i < video.size(); ++i) {
            EXPECT_EQ(video[i].first, std::int64_t(i));
            EXPECT_TRUE(video[i].second == raw.mid(qsizetype(i) * kPalFrame, kPalFrame))
                << "frame " << i;
        }
        EXPECT_FALSE(played.samples.count(1) == 0 || played.samples.at(1).empty()) << "the sound";
    }
}

TEST_F(AviSplitterIndex, TheScanOfAShortRecordingStopsAtItsZeroFilledTail)
{
    HangGuard guard(20s);
    // Capture stopped after 10 frames: no idx1, and the "movi" list still
    // claims the space the recorder had set aside, zeros up to a chunk left
    // there by an earlier recording.
    SmallLayout layout;
    layout.frames = 10;
    layout.idx1 = false;
    layout.tail = QByteArray(64 * 1024, '\0') + "00dc" + vidora::bytesLE32(16) + payload(10);
    const Played played = play(write(smallAvi(layout).bytes));
    ASSERT_TRUE(played.connected) << played.error;
    EXPECT_TRUE(played.complete);
    EXPECT_EQ(checkedFrames(played), range(0, 10));
}

TEST_F(AviSplitterIndex, PictureSizesAtTheEndsOfTheirRangeArePublishedAsTheyAre)
{
    HangGuard guard(20s);
    struct Case
    {
        qint32 width, height;
        std::int32_t shownHeight;
    };
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
    for (const Case &c : {Case{kMax, kMin, kMax}, Case{kMin, kMax, kMax}, Case{kMax, -5, 5}}) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        SmallLayout layout;
        layout.width = c.width;
        layout.height = c.height;
        const Played played = play(write(smallAvi(layout).bytes));
        ASSERT_TRUE(played.connected) << played.error;
        ASSERT_TRUE(played.video);
        EXPECT_EQ(played.video->rcSource.right, c.width);
        EXPECT_EQ(played.video->rcSource.bottom, c.shownHeight);
        EXPECT_EQ(checkedFrames(played), range(0, 12));
    }
}

} // namespace
