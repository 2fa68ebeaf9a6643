#include "formats/aviinfo.h"
#include "support/avi_files.h"
#include "support/media_hang_guard.h"
#include "support/tools.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using namespace vidora::media;
using namespace vidora::test;
using namespace std::chrono_literals;

quint32 le32At(const QByteArray &bytes, qint64 at)
{
    quint32 v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | quint8(bytes[at + i]);
    return v;
}

// Every DV frame the AVI splitter delivers from a file, in order.
std::vector<QByteArray> videoFrames(const QString &path, std::size_t stream = 0)
{
    auto executor = std::make_shared<QueueEventExecutor>();
    FilterGraph graph(executor);
    EventLog log(graph, executor);
    auto source = std::make_shared<FileSourceFilter>();
    auto splitter = std::make_shared<AviSplitterFilter>();
    auto sink = std::make_shared<RecordingSink>();
    graph.AddFilter(source, "source");
    graph.AddFilter(splitter, "splitter");
    graph.AddFilter(sink, "sink");
    std::vector<QByteArray> frames;
    if (!source->Load(path, nullptr) || !graph.Connect(source->output(), splitter->input()) ||
        !graph.Connect(splitter->outputAt(stream), sink->input())) {
        ADD_FAILURE() << "cannot read " << path.toStdString() << ": " << splitter->lastError();
        return frames;
    }
    sink->onRender = [&](const MediaSample &s) {
        frames.emplace_back(reinterpret_cast<const char *>(s.data()), int(s.actualLength()));
        return Flow::Ok;
    };
    EXPECT_TRUE(graph.Run());
    EXPECT_TRUE(log.waitFor(GraphEventCode::Complete, 10s));
    graph.Stop();
    return frames;
}

QString recordedDate(const QString &path)
{
    const ToolResult info = runTool("mediainfo", {"--Inform=General;%Recorded_Date%", path});
    return QString::fromUtf8(info.out).trimmed();
}

class AviMux : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        raw = makeRawDv(dir.path(), 25);
        ASSERT_EQ(raw.size(), 25 * kPalFrame);
        source = std::vector<QByteArray>(25);
        for (int i = 0; i < 25; ++i)
            source[i] = raw.mid(i * kPalFrame, kPalFrame);
    }
    QString path(const QString &name) const { return dir.filePath(name); }

    QTemporaryDir dir;
    QByteArray raw;
    std::vector<QByteArray> source;
};

TEST_F(AviMux, OutputFirstAndANewFreeInputAfterEachConnection)
{
    ASSERT_TRUE(makeType2Avi(path("raw.dv"), path("t2.avi")));
    Rewrap r(path("t2.avi"), path("out.avi"));
    ASSERT_TRUE(r.ok);
    const auto pins = r.mux->pins();
    ASSERT_EQ(pins.size(), 4u);
    EXPECT_EQ(pins[0], &r.mux->output());
    EXPECT_TRUE(pins[1]->isConnected());
    EXPECT_TRUE(pins[2]->isConnected());
    EXPECT_FALSE(pins[3]->isConnected());
    EXPECT_EQ(pins[3]->direction(), PinDirection::Input);
    // A stream the mux cannot write is refused.
    EXPECT_FALSE(pins[3]->acceptsType(MediaType(MajorType::Stream, subtype::Avi)));
}

// One row per rewrap: the file is read back by ffprobe, ffmpeg, mediainfo,
// our own header parser and our splitter.
struct RewrapCase
{
    const char *name;
    bool type1;
    std::int64_t riffLimit; // 0: the default
    bool openDml;
    bool ntsc = false;
};

class AviMuxRewrap : public AviMux, public testing::WithParamInterface<RewrapCase>
{};

TEST_P(AviMuxRewrap, WritesAFileOtherProgramsReadWholly)
{
    HangGuard guard(60s);
    const RewrapCase &c = GetParam();
    if (c.ntsc) {
        raw = makeRawDv(dir.path(), 25, true);
        ASSERT_GT(raw.size(), 0);
        ASSERT_EQ(raw.size() % kNtscFrame, 0);
    }
    const int frameBytes = c.ntsc ? kNtscFrame : kPalFrame;
    const int frames = int(raw.size() / frameBytes);
    source.clear();
    for (int i = 0; i < frames; ++i)
        source.push_back(raw.mid(i * frameBytes, frameBytes));
    const QString in = path("in.avi");
    if (c.type1)
        writeFileBytes(in, type1Avi(raw, c.ntsc));
    else
        ASSERT_TRUE(makeType2Avi(path("raw.dv"), in));
    const QString out = path("out.avi");
    {
        Rewrap r(in, out, c.riffLimit);
        ASSERT_TRUE(r.ok);
        ASSERT_TRUE(r.run()) << r.graph.lastError();
        // The position is the end of the latest sample muxed.
        const std::int64_t end = c.ntsc ? frames * 10000000LL * 1001 / 30000 : frames * 400000LL;
        EXPECT_EQ(r.mux->queryInterface<IMediaSeeking>()->GetCurrentPosition(), end);
    }
    // ffprobe: codec, type and packets read; audio packets follow the chunking.
    const QStringList streams = probeStreams(out);
    ASSERT_EQ(streams.size(), 2);
    EXPECT_EQ(streams[0], QString("dvvideo,video,%1").arg(frames));
    EXPECT_TRUE(streams[1].startsWith("pcm_s16le,audio,")) << streams[1].toStdString();
    EXPECT_EQ(decodeErrors(out), "");
    EXPECT_EQ(recordedDate(out), "2005-06-07 08:09:10.000");

    vidora::TAviParam parsed(out);
    EXPECT_TRUE(parsed.Parsed());
    EXPECT_EQ(parsed.GetVideoHandler(), "dvsd");
    ASSERT_EQ(parsed.Streams().size(), c.type1 ? 1u : 2u);
    EXPECT_EQ(fourCCText(parsed.Streams()[0].fccType()), c.type1 ? "iavs" : "vids");

    const QByteArray bytes = readFileBytes(out);
    EXPECT_EQ(bytes.contains("AVIX"), c.openDml);
    EXPECT_EQ(bytes.contains("idx1"), true);
    if (c.openDml) {
        EXPECT_EQ(le32At(bytes, bytes.indexOf("dmlh") + 4), 248u);
        EXPECT_GE(le32At(bytes, bytes.indexOf("indx") + 4), 88u);
        EXPECT_EQ(bytes.count("ix00"), bytes.count("AVIX") + 1) << "one per form";
    }
    // The frames come back byte for byte.
    EXPECT_TRUE(videoFrames(out) == source);
}

INSTANTIATE_TEST_SUITE_P(Layouts, AviMuxRewrap,
                         testing::Values(RewrapCase{"Type2", false, 0, false},
                                         RewrapCase{"Type1", true, 0, false},
                                         RewrapCase{"Type1Ntsc", true, 0, false, true},
                                         RewrapCase{"Type2Ntsc", false, 0, false, true},
                                         RewrapCase{"Type2OpenDml", false, 1 << 20, true},
                                         RewrapCase{"Type1OpenDml", true, 1 << 20, true}),
                         [](const testing::TestParamInfo<RewrapCase> &info) {
                             return std::string(info.param.name);
                         });

TEST_F(AviMux, RiffLimitOnlyWhileStoppedAndWithinIndexReach)
{
    AviMuxFilter mux;
    EXPECT_TRUE(mux.setRiffLimit(1 << 20));
    EXPECT_FALSE(mux.setRiffLimit(1000));
    EXPECT_FALSE(mux.setRiffLimit(std::int64_t(4) << 30));
}

} // namespace
