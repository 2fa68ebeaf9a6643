#include "formats/aviinfo.h"
#include "support/avi_files.h"
#include "support/lebytes.h"
#include "support/media_buffer_source.h"
#include "support/media_hang_guard.h"
#include "support/tools.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <optional>

#include <sys/resource.h>

namespace {

using namespace vidora::media;
using namespace vidora::test;
using namespace std::chrono_literals;

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
    EXPECT_TRUE(graph.Run());
    EXPECT_TRUE(log.waitFor(GraphEventCode::Complete, 10s));
    graph.Stop();
    return sink->samples();
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

// The video and the audio of a type-2 file arrive on two streaming threads;
// the chunks go out in the order of their times, so every run writes the
// same bytes, with each second's audio next to its frames.
TEST_F(AviMux, ChunksFollowTheirTimesWhicheverThreadIsFirst)
{
    ASSERT_TRUE(makeType2Avi(path("raw.dv"), path("t2.avi")));
    QByteArray first;
    for (int run = 0; run < 3; ++run) {
        const QString out = path(QStringLiteral("out%1.avi").arg(run));
        Rewrap r(path("t2.avi"), out);
        ASSERT_TRUE(r.run());
        const QByteArray bytes = readFileBytes(out);
        ASSERT_FALSE(bytes.isEmpty());
        if (run == 0)
            first = bytes;
        else
            EXPECT_TRUE(bytes == first) << "run " << run << " wrote other bytes";
    }
    EXPECT_EQ(decodeErrors(path("out0.avi")), QString());
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
        writeFileBytes(in, dvType1Avi(raw));
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
                         [](const testing::TestParamInfo<RewrapCase> &caseInfo) {
                             return std::string(caseInfo.param.name);
                         });

TEST(AviMuxInput, RefusesAtConnectionTypesItCannotWrite)
{
    VideoInfoHeader video;
    video.AvgTimePerFrame = 400000;
    video.bmiHeader.biWidth = 720;
    video.bmiHeader.biHeight = 576;
    video.bmiHeader.biCompression = fourCC("dvsd");
    WaveFormatEx wave;
    struct Case
    {
        const char *what;
        MediaType type;
        bool accepted;
    };
    const Case cases[] = {
        {"DV type 1", MediaType::interleaved(subtype::Dvsd, DvInfo{}), true},
        {"video", MediaType::video(subtype::Dvsd, video), true},
        {"audio", MediaType::audio(wave), true},
        {"interleaved without DV info", MediaType(MajorType::Interleaved, subtype::Dvsd), false},
        {"interleaved, not DV", MediaType::interleaved(fourCC("mpg2"), DvInfo{}), false},
        {"video without a format", MediaType(MajorType::Video, subtype::Dvsd), false},
        {"audio without a format", MediaType(MajorType::Audio, subtype::Pcm), false},
        {"a byte stream", MediaType(MajorType::Stream, subtype::Avi), false},
        {"any type", MediaType(), false},
    };
    AviMuxFilter mux;
    for (const auto &c : cases)
        EXPECT_EQ(mux.inputAt(0).acceptsType(c.type), c.accepted) << c.what;
}

// Stream headers are written at the end, so a stream's format may still
// change on its first sample; later the file could not describe it.
TEST(AviMuxInput, TakesANewFormatOnlyOnAStreamsFirstSample)
{
    HangGuard guard(30s);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto videoType = [](std::int64_t frameDuration) {
        VideoInfoHeader info;
        info.AvgTimePerFrame = frameDuration;
        info.bmiHeader.biWidth = 16;
        info.bmiHeader.biHeight = 16;
        info.bmiHeader.biCompression = fourCC("test");
        return MediaType::video(fourCC("test"), info);
    };
    struct Case
    {
        const char *what;
        std::size_t at; // the sample carrying the change
        MediaType change;
        bool written;
    };
    const Case cases[] = {
        {"first sample, another frame rate", 0, videoType(333667), true},
        {"third sample", 2, videoType(333667), false},
        {"first sample, audio on a video stream", 0, MediaType::audio(WaveFormatEx{}), false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        auto executor = std::make_shared<QueueEventExecutor>();
        FilterGraph graph(executor);
        EventLog log(graph, executor);
        BufferSource::Stream video{videoType(400000),
                                   std::vector<QByteArray>(5, QByteArray(100, 7)), 400000};
        video.typeChanges[c.at] = c.change;
        auto source = std::make_shared<BufferSource>(video);
        auto mux = std::make_shared<AviMuxFilter>();
        auto writer = std::make_shared<FileWriterFilter>();
        graph.AddFilter(source, "source");
        graph.AddFilter(mux, "mux");
        graph.AddFilter(writer, "writer");
        const QString out = dir.filePath(QString("out%1.avi").arg(&c - cases));
        ASSERT_TRUE(graph.ConnectDirect(source->outputAt(0), mux->inputAt(0)));
        ASSERT_TRUE(graph.Connect(mux->output(), writer->input()));
        ASSERT_TRUE(writer->SetFileName(out, nullptr));
        ASSERT_TRUE(writer->SetMode(AM_FILE_OVERWRITE));
        ASSERT_TRUE(graph.Run());
        EXPECT_TRUE(
            log.waitFor(c.written ? GraphEventCode::Complete : GraphEventCode::ErrorAbort, 10s));
        graph.Stop();
        EXPECT_EQ(log.count(GraphEventCode::ErrorAbort), c.written ? 0 : 1);
        EXPECT_EQ(QFileInfo::exists(out), c.written);
        if (!c.written) {
            EXPECT_NE(graph.lastError().find("changed after its first sample"), std::string::npos)
                << graph.lastError();
            continue;
        }
        // The stream header's dwScale and dwRate follow the new format.
        const QByteArray bytes = readFileBytes(out);
        const qsizetype strh = bytes.indexOf("strh");
        ASSERT_GT(strh, 0);
        EXPECT_EQ(le32At(bytes, strh + 8 + 20), 1001u);
        EXPECT_EQ(le32At(bytes, strh + 8 + 24), 30000u);
    }
}

// Each input delivers on its own thread; the file still holds the chunks in
// the order of their times (video first at equal times), so the same streams
// always make the same bytes.
TEST(AviMuxInput, WritesChunksInTimeOrderWhateverTheThreadsDo)
{
    HangGuard guard(30s);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    VideoInfoHeader info;
    info.AvgTimePerFrame = 400000;
    info.bmiHeader.biWidth = 16;
    info.bmiHeader.biHeight = 16;
    info.bmiHeader.biCompression = fourCC("test");
    WaveFormatEx wave;
    constexpr int kFrames = 40;
    // Audio chunks two frames long.
    auto source = std::make_shared<BufferSource>(std::vector<BufferSource::Stream>{
        {MediaType::video(fourCC("test"), info),
         std::vector<QByteArray>(kFrames, QByteArray(100, 7)), 400000},
        {MediaType::audio(wave), std::vector<QByteArray>(kFrames / 2, QByteArray(60, 7)), 800000}});
    auto executor = std::make_shared<QueueEventExecutor>();
    FilterGraph graph(executor);
    EventLog log(graph, executor);
    auto mux = std::make_shared<AviMuxFilter>();
    auto writer = std::make_shared<FileWriterFilter>();
    graph.AddFilter(source, "source");
    graph.AddFilter(mux, "mux");
    graph.AddFilter(writer, "writer");
    const QString out = dir.filePath("out.avi");
    ASSERT_TRUE(graph.ConnectDirect(source->outputAt(0), mux->inputAt(0)));
    ASSERT_TRUE(graph.ConnectDirect(source->outputAt(1), mux->inputAt(1)));
    ASSERT_TRUE(graph.Connect(mux->output(), writer->input()));
    ASSERT_TRUE(writer->SetFileName(out, nullptr));
    ASSERT_TRUE(graph.Run());
    EXPECT_TRUE(log.waitFor(GraphEventCode::Complete, 10s));
    graph.Stop();

    const QByteArray bytes = readFileBytes(out);
    QString order;
    for (qsizetype at = bytes.indexOf("movi") + 4; at + 8 <= bytes.size();) {
        const QByteArray id = bytes.mid(at, 4);
        if (id != "00dc" && id != "01wb")
            break;
        order += id == "00dc" ? "v" : "a";
        at += 8 + ((le32At(bytes, at + 4) + 1) & ~1u);
    }
    // v a | v | v a | v | …
    EXPECT_EQ(order, QString("vav").repeated(kFrames / 2)) << order.toStdString();
}

// Limits the size of files this process writes; writes past it fail (EFBIG)
// instead of raising SIGXFSZ.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit m_saved{};
    void (*m_handler)(int) = nullptr;
};

// An output that fails ends the rewrap with an error, leaves no file of its
// own under the target's name and keeps the file that was there.
TEST_F(AviMux, AFailingOutputEndsWithAnErrorAndLeavesNoFile)
{
    HangGuard guard(60s);
    const QString in = path("in.avi");
    writeFileBytes(in, dvType1Avi(raw));
    struct Case
    {
        const char *what;
        QString target;
        rlim_t sizeLimit; // 0: none
        QByteArray previous;
    };
    const Case cases[] = {
        {"the target's folder is a file", path("in.avi") + "/out.avi", 0, {}},
        {"the disk fills while writing", path("full.avi"), 1 << 20, {}},
        {"the disk fills while replacing a file", path("old.avi"), 1 << 20, "the old file"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.previous.isEmpty())
            writeFileBytes(c.target, c.previous);
        const auto before = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        Rewrap r(in, c.target);
        ASSERT_TRUE(r.ok);
        bool completed = false;
        {
            std::optional<FileSizeLimit> limit;
            if (c.sizeLimit > 0)
                limit.emplace(c.sizeLimit);
            // The run ends one way or the other: no waiting out a time-out
            // for the completion that must not come.
            if (r.graph.Run()) {
                r.log.waitForAny({GraphEventCode::Complete, GraphEventCode::ErrorAbort}, 30s);
                completed = r.log.count(GraphEventCode::Complete) > 0;
            }
            r.graph.Stop();
        }
        EXPECT_FALSE(completed);
        EXPECT_GT(r.log.count(GraphEventCode::ErrorAbort), 0);
        EXPECT_FALSE(r.graph.lastError().empty());
        if (c.previous.isEmpty())
            EXPECT_FALSE(QFileInfo::exists(c.target));
        else
            EXPECT_EQ(readFileBytes(c.target), c.previous);
        // No temporary file stays behind either.
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), before);
    }
}

TEST_F(AviMux, RiffLimitOnlyWhileStoppedAndWithinIndexReach)
{
    AviMuxFilter mux;
    EXPECT_TRUE(mux.setRiffLimit(1 << 20));
    EXPECT_FALSE(mux.setRiffLimit(1000));
    EXPECT_FALSE(mux.setRiffLimit(std::int64_t(4) << 30));
}

} // namespace
