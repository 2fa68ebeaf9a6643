#include "platform/media/filters/dv_splitter.h"
#include "platform/media/filters/null_renderer.h"
#include "support/avi_files.h"
#include "support/dvfiles.h"
#include "support/media_hang_guard.h"
#include "support/riffbuilder.h"
#include "support/tools.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using namespace vidora::media;
using namespace vidora::test;
using namespace std::chrono_literals;

// A file source and an AVI splitter, each output into a recording sink.
struct SplitGraph : TestGraph
{
    explicit SplitGraph(const QString &path)
        : source(std::make_shared<FileSourceFilter>()),
          splitter(std::make_shared<AviSplitterFilter>())
    {
        graph.AddFilter(source, "source");
        graph.AddFilter(splitter, "avisplitter");
        loaded = source->Load(path, nullptr);
        connected = loaded && graph.Connect(source->output(), splitter->input());
        for (std::size_t i = 0; connected && i < splitter->outputCount(); ++i) {
            sinks.push_back(std::make_shared<RecordingSink>());
            graph.AddFilter(sinks.back(), "sink");
            connected = graph.Connect(splitter->outputAt(i), sinks.back()->input());
        }
    }
    std::shared_ptr<FileSourceFilter> source;
    std::shared_ptr<AviSplitterFilter> splitter;
    std::vector<std::shared_ptr<RecordingSink>> sinks;
    bool loaded = false;
    bool connected = false;
};

class AviSplitter : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        raw = makeRawDv(dir.path(), 10);
        ASSERT_EQ(raw.size(), 10 * kPalFrame);
    }
    QString path(const QString &name) const { return dir.filePath(name); }
    QByteArray frame(int i) const { return raw.mid(i * kPalFrame, kPalFrame); }

    QTemporaryDir dir;
    QByteArray raw;
};

TEST_F(AviSplitter, Type2PublishesVideoAndWidenedAudioWithFrameTimes)
{
    HangGuard guard(20s);
    ASSERT_TRUE(makeType2Avi(path("raw.dv"), path("t2.avi")));
    SplitGraph g(path("t2.avi"));
    ASSERT_TRUE(g.connected) << g.splitter->lastError();
    // One output per stream, then the input last.
    const auto pins = g.splitter->pins();
    ASSERT_EQ(pins.size(), 3u);
    EXPECT_EQ(pins[2], &g.splitter->input());

    const MediaType video = g.splitter->outputAt(0).connectionType();
    EXPECT_EQ(video.major(), MajorType::Video);
    EXPECT_EQ(video.subtype(), subtype::Dvsd);
    ASSERT_TRUE(video.videoInfo());
    EXPECT_EQ(video.videoInfo()->AvgTimePerFrame, 400000);
    EXPECT_EQ(video.videoInfo()->bmiHeader.biWidth, 720);
    const MediaType audio = g.splitter->outputAt(1).connectionType();
    EXPECT_EQ(audio.major(), MajorType::Audio);
    EXPECT_EQ(audio.format().size(), 18u) << "ffmpeg writes a 16-byte PCMWAVEFORMAT";
    ASSERT_TRUE(audio.waveFormat());
    EXPECT_EQ(audio.waveFormat()->nSamplesPerSec, 48000u);
    EXPECT_EQ(g.splitter->Duration(), 10 * 400000);

    ASSERT_TRUE(g.run());
    const auto rendered = g.sinks[0]->rendered();
    ASSERT_EQ(rendered.size(), 10u);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(rendered[i].mediaTime, (TimeRange{i, i + 1}));
        EXPECT_EQ(rendered[i].time, (TimeRange{i * 400000, (i + 1) * 400000}));
        EXPECT_TRUE(rendered[i].bytes == frame(i)) << "frame " << i << " is the file's DV frame";
    }
    EXPECT_FALSE(g.sinks[1]->rendered().empty());
}

TEST_F(AviSplitter, Type1PublishesOneInterleavedStreamWithItsDvInfo)
{
    HangGuard guard(20s);
    // Stored packs that differ from the frames' own.
    const DvInfoWords stored{0xD0E000C0, 0xC0C038FF, 0xD0E001C0,
                             0xC0C038FF, 0xFF20FFFF, 0xFFFC8AFF};
    writeFileBytes(path("t1.avi"), dvType1Avi(raw, stored));
    SplitGraph g(path("t1.avi"));
    ASSERT_TRUE(g.connected) << g.splitter->lastError();
    ASSERT_EQ(g.splitter->outputCount(), 1u);
    const MediaType type = g.splitter->outputAt(0).connectionType();
    EXPECT_EQ(type.major(), MajorType::Interleaved);
    EXPECT_EQ(type.subtype(), subtype::Dvsd);
    ASSERT_TRUE(type.dvInfo());
    // The frames' own VAUX source pack (ffmpeg's), not the stored 0xFF20FFFF.
    EXPECT_EQ(type.dvInfo()->dwDVVAuxSrc, 0xFFE0FFFFu);
    ASSERT_TRUE(g.run());
    EXPECT_EQ(g.sinks[0]->renderedFrames().size(), 10u);
}

// The sound and line system of a type-1 file are its frames': the first
// whole DIF frame's packs replace what capture software stored in DVINFO,
// and the DV splitter makes its outputs from them.
TEST_F(AviSplitter, Type1TakesItsDvInfoFromTheFirstWholeFrame)
{
    HangGuard guard(30s);
    // 32 kHz 12-bit four-channel 525/60 frames, as a DVINFO would store them.
    constexpr DvInfoWords ntsc32k12{0x91c030ceu, 0xffffffffu, 0x91c030ceu,
                                    0xffffffffu, 0xffc0ffffu, 0xfffcc83fu};
    const auto damaged = [](QByteArray frames) {
        for (qsizetype at = 0; at < frames.size(); at += kNtscFrame)
            frames[at] = char(0xff); // no header block first
        return frames;
    };
    const QByteArray ntsc12 = builtDvFrames(DvStandard::Ntsc, 3, DvSound{32000, true});
    struct Case
    {
        const char *what;
        QByteArray frames;
        std::optional<DvInfoWords> stored;
        std::size_t audioPairs;
        int height;
        int rate;
    };
    const Case cases[] = {
        {"625 lines, 32 kHz 12-bit four channels, stored as 48 kHz 16-bit",
         builtDvFrames(DvStandard::Pal, 3, DvSound{32000, true}), kPal48kDvInfo, 2, 576, 32000},
        {"525-line frames stored as 625 lines", builtDvFrames(DvStandard::Ntsc, 3, DvSound{}),
         kPal48kDvInfo, 1, 480, 48000},
        {"525-line frames, blank DVINFO", builtDvFrames(DvStandard::Ntsc, 3, DvSound{}),
         kBlankDvInfo, 1, 480, 48000},
        {"frames without sound", builtDvFrames(DvStandard::Pal, 3, std::nullopt), kPal48kDvInfo, 0,
         576, 0},
        {"a damaged first frame: the next one",
         damaged(ntsc12.left(kNtscFrame)) + ntsc12.mid(kNtscFrame), kPal48kDvInfo, 2, 480, 32000},
        {"no whole DV frame: the stored DVINFO", damaged(builtDvFrames(DvStandard::Ntsc, 2, {})),
         ntsc32k12, 2, 480, 32000},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        writeFileBytes(path("t1.avi"), dvType1Avi(c.frames, c.stored));
        auto executor = std::make_shared<QueueEventExecutor>();
        FilterGraph graph(executor);
        auto source = std::make_shared<FileSourceFilter>();
        auto splitter = std::make_shared<AviSplitterFilter>();
        auto dv = std::make_shared<DvSplitterFilter>();
        graph.AddFilter(source, "source");
        graph.AddFilter(splitter, "avisplitter");
        graph.AddFilter(dv, "dvsplitter");
        ASSERT_TRUE(source->Load(path("t1.avi"), nullptr));
        ASSERT_TRUE(graph.ConnectDirect(source->output(), splitter->input()))
            << splitter->lastError();
        ASSERT_EQ(splitter->outputCount(), 1u);
        ASSERT_TRUE(graph.ConnectDirect(splitter->outputAt(0), *dv->inputPin()));

        ASSERT_EQ(dv->outputCount(), 1 + c.audioPairs);
        const auto video = dv->OutputTypes(0).at(0).videoInfo();
        ASSERT_TRUE(video);
        EXPECT_EQ(video->bmiHeader.biHeight, c.height);
        EXPECT_EQ(video->AvgTimePerFrame, c.height == 480 ? 333667 : 400000);
        for (std::size_t pair = 1; pair <= c.audioPairs; ++pair) {
            const auto wave = dv->OutputTypes(pair).at(0).waveFormat();
            ASSERT_TRUE(wave);
            EXPECT_EQ(wave->nSamplesPerSec, std::uint32_t(c.rate)) << "pair " << pair;
        }
        const auto info = splitter->outputAt(0).connectionType().dvInfo();
        ASSERT_TRUE(info);
        EXPECT_EQ((info->dwDVVAuxSrc & (1u << 21)) != 0, c.height == 576) << "50/60 flag";
    }
}

TEST_F(AviSplitter, DvVariantsArePublishedAsDvsdAndKeepTheirCode)
{
    HangGuard guard(30s);
    struct Case
    {
        const char *tag;
        bool dv;
    };
    // "dsvd" is named; "abcd" is found by its DIF frames.
    for (const Case c : {Case{"dsvd", true}, Case{"CDVC", true}, Case{"abcd", true}}) {
        SCOPED_TRACE(c.tag);
        const QString file = path(QString(c.tag) + ".avi");
        // ffmpeg writes only its own tag: the header's codes are replaced.
        ASSERT_TRUE(makeType2Avi(path("raw.dv"), file));
        QByteArray bytes = readFileBytes(file);
        const qsizetype movi = bytes.indexOf("movi");
        for (qsizetype at = bytes.indexOf("dvsd"); at >= 0 && at < movi;
             at = bytes.indexOf("dvsd", at))
            bytes.replace(at, 4, c.tag);
        writeFileBytes(file, bytes);
        SplitGraph g(file);
        ASSERT_TRUE(g.connected) << g.splitter->lastError();
        const MediaType video = g.splitter->outputAt(0).connectionType();
        EXPECT_EQ(video.subtype() == subtype::Dvsd, c.dv);
        EXPECT_EQ(fourCCText(video.videoInfo()->bmiHeader.biCompression), c.tag);
    }
}

TEST_F(AviSplitter, SeeksWithAStopPosition)
{
    HangGuard guard(20s);
    // Sound chunks of 2.5 frames: the positions fall inside chunks.
    ASSERT_TRUE(makeType2Avi(path("raw.dv"), path("t2.avi"), {"-af", "asetnsamples=n=4800"}));
    SplitGraph g(path("t2.avi"));
    ASSERT_TRUE(g.connected) << g.splitter->lastError();
    ASSERT_TRUE(g.splitter->setPositions(3 * 400000, 6 * 400000));
    ASSERT_TRUE(g.run());
    const auto rendered = g.sinks[0]->rendered();
    ASSERT_EQ(rendered.size(), 3u);
    EXPECT_EQ(rendered[0].mediaTime, (TimeRange{3, 4}));
    EXPECT_EQ(rendered[0].time, (TimeRange{0, 400000})) << "times restart at the seek";
    EXPECT_EQ(rendered[2].mediaTime, (TimeRange{5, 6}));
    // The sound starts and ends at the positions' own samples (1920 a frame).
    const auto audio = g.sinks[1]->rendered();
    ASSERT_FALSE(audio.empty());
    EXPECT_EQ(audio.front().time->start, 0);
    EXPECT_EQ(audio.front().mediaTime->start, 3 * 1920);
    EXPECT_EQ(audio.back().mediaTime->stop, 6 * 1920);
    EXPECT_EQ(audio.back().time->stop, 3 * 400000);
}

TEST_F(AviSplitter, TruncatedFilesPlayTheWholeFramesTheyHold)
{
    HangGuard guard(20s);
    // Type 1 without its idx1 and cut inside frame 7 (a recording cut
    // short); an OpenDML type 2 cut the same way.
    const QByteArray t1 = dvType1Avi(raw);
    ASSERT_TRUE(makeType2Avi(path("raw.dv"), path("t2.avi")));
    const QByteArray t2 = readFileBytes(path("t2.avi"));
    const qint64 cut1 = t1.indexOf("00dc", t1.indexOf("movi")) + 7 * (kPalFrame + 8) + 100;
    const qint64 cut2 = t2.indexOf(frame(7)) + 100;
    ASSERT_GT(cut2, 100);
    struct Case
    {
        QByteArray bytes;
        std::size_t frames;
    };
    // The ffmpeg file keeps its index at the end: without it the movi list
    // is scanned.
    for (const Case &c : {Case{t1.left(cut1), 7u}, Case{t2.left(cut2), 7u}}) {
        writeFileBytes(path("cut.avi"), c.bytes);
        SplitGraph g(path("cut.avi"));
        ASSERT_TRUE(g.connected) << g.splitter->lastError();
        ASSERT_TRUE(g.run());
        EXPECT_EQ(g.sinks[0]->renderedFrames().size(), c.frames);
    }
}

TEST_F(AviSplitter, RefusesFilesThatAreNotAviOrHoldImpossibleSizes)
{
    QByteArray absurdFormat = dvType1Avi(raw.left(2 * kPalFrame));
    const qsizetype strf = absurdFormat.indexOf("strf");
    absurdFormat.replace(strf + 4, 4, QByteArray("\xF0\xFF\xFF\x7F", 4));
    QByteArray absurdHeader = dvType1Avi(raw.left(2 * kPalFrame));
    absurdHeader.replace(absurdHeader.indexOf("hdrl") - 4, 4, QByteArray("\xF0\xFF\xFF\xFF", 4));
    QByteArray zeroRate = dvType1Avi(raw.left(2 * kPalFrame));
    zeroRate.replace(zeroRate.indexOf("strh") + 8 + 24, 4, QByteArray(4, '\0'));
    struct Case
    {
        const char *what;
        QByteArray bytes;
        const char *error;
    };
    for (const auto &c :
         {Case{"text", "hello, this is not a video file", "not an AVI"},
          Case{"WAVE", QByteArray("RIFF\x04\0\0\0WAVE", 12), "not an AVI"},
          Case{"empty", QByteArray(), "not an AVI"},
          Case{"strf size", absurdFormat, "does not fit"},
          Case{"hdrl size", absurdHeader, "header list"}, Case{"rate 0", zeroRate, "frame rate"}}) {
        SCOPED_TRACE(c.what);
        writeFileBytes(path("bad.avi"), c.bytes);
        SplitGraph g(path("bad.avi"));
        ASSERT_TRUE(g.loaded);
        EXPECT_FALSE(g.connected);
        EXPECT_NE(g.splitter->lastError().find(c.error), std::string::npos)
            << g.splitter->lastError();
        EXPECT_EQ(g.splitter->pins().size(), 1u) << "only the input while unconnected";
    }
}

TEST_F(AviSplitter, RenderPutsTheSplitterAfterAFileSource)
{
    HangGuard guard(20s);
    writeFileBytes(path("t1.avi"), dvType1Avi(raw.left(3 * kPalFrame)));
    auto executor = std::make_shared<QueueEventExecutor>();
    FilterGraph graph(executor);
    EventLog log(graph, executor);
    auto registry = std::make_shared<FilterRegistry>();
    registry->add(aviSplitterFactory());
    registry->add(
        {"Null Renderer", merit::Unlikely, [] { return std::make_shared<NullRenderer>(); }});
    graph.setRegistry(registry);
    auto source = std::make_shared<FileSourceFilter>();
    graph.AddFilter(source, "source");
    ASSERT_TRUE(source->Load(path("t1.avi"), nullptr));
    ASSERT_TRUE(graph.Render(source->output()));
    auto *splitter = dynamic_cast<AviSplitterFilter *>(graph.FindFilterByName("AVI Splitter"));
    ASSERT_NE(splitter, nullptr);
    EXPECT_TRUE(splitter->outputAt(0).isConnected());
    ASSERT_TRUE(graph.Run());
    EXPECT_TRUE(log.waitFor(GraphEventCode::Complete, 10s));
    graph.Stop();
}

} // namespace
