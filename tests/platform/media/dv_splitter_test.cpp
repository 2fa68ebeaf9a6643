#include "platform/media/filters/dv_splitter.h"
#include "platform/media/filters/null_renderer.h"
#include "support/dvframe.h"
#include "support/media_filters.h"
#include "support/media_hang_guard.h"
#include "support/tools.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using namespace vidora::media;
using namespace vidora::test;
using namespace std::chrono_literals;

// DVINFO of a stream: AAUX source payload (PC1..PC4, PC1 lowest) and the VAUX
// source payload whose PC3 bit 5 tells 625/50 from 525/60.
MediaType interleavedType(std::uint32_t aauxSource, bool pal)
{
    DvInfo info;
    info.dwDVAAuxSrc = aauxSource;
    info.dwDVAAuxSrc1 = aauxSource;
    info.dwDVVAuxSrc = pal ? 0xff20ffffu : 0xff00ffffu;
    return MediaType::interleaved(subtype::Dvsd, info);
}

// AAUX source payloads: 48 kHz 16-bit PAL, 32 kHz 12-bit NTSC.
constexpr std::uint32_t kPal48k16 = 0xc0e000d8u;
constexpr std::uint32_t kNtsc32k12 = 0xd1c030ceu;

// Buffer source → DV splitter → one recording sink per output, run to the end.
struct SplitRun : TestGraph
{
    std::shared_ptr<BufferSource> source;
    std::shared_ptr<DvSplitterFilter> splitter = std::make_shared<DvSplitterFilter>();
    std::vector<std::shared_ptr<RecordingSink>> sinks;

    SplitRun(const MediaType &type, std::vector<QByteArray> frames,
             std::int64_t frameDuration = 400000)
        : source(std::make_shared<BufferSource>(
              BufferSource::Stream{type, std::move(frames), frameDuration}))
    {
        graph.AddFilter(source, "source");
        graph.AddFilter(splitter, "DV Splitter");
    }
    bool connect()
    {
        if (!graph.ConnectDirect(source->outputAt(0), *splitter->inputPin()))
            return false;
        for (std::size_t i = 0; i < splitter->outputCount(); ++i) {
            sinks.push_back(std::make_shared<RecordingSink>());
            graph.AddFilter(sinks.back(), "sink " + std::to_string(i));
            if (!graph.ConnectDirect(splitter->outputAt(i), sinks.back()->input()))
                return false;
        }
        return true;
    }
    // Complete, and no error even while stopping.
    bool run() { return TestGraph::run(10s) && log.count(GraphEventCode::ErrorAbort) == 0; }
};

TEST(DvSplitter, CreatesItsOutputsFromTheInputType)
{
    struct Case
    {
        const char *what;
        MediaType type;
        std::vector<std::string> pins;
        int height;
        int rate;
    };
    VideoInfoHeader ntscVideo;
    ntscVideo.bmiHeader.biWidth = 720;
    ntscVideo.bmiHeader.biHeight = 480;
    ntscVideo.bmiHeader.biCompression = fourCC("dvsd");
    ntscVideo.bmiHeader.biSizeImage = 120000;
    ntscVideo.AvgTimePerFrame = 333667;
    const Case cases[] = {
        {"PAL, 48 kHz 16-bit",
         interleavedType(kPal48k16, true),
         {"Input", "DVVidOut0", "AudOut00"},
         576,
         48000},
        {"NTSC, 32 kHz 12-bit: two pairs",
         interleavedType(kNtsc32k12, false),
         {"Input", "DVVidOut0", "AudOut00", "AudOut01"},
         480,
         32000},
        {"blank DVINFO: PAL, one 48 kHz pair",
         interleavedType(0, true),
         {"Input", "DVVidOut0", "AudOut00"},
         576,
         48000},
        {"AAUX source of filler bytes: frames without sound",
         interleavedType(0xffffffffu, false),
         {"Input", "DVVidOut0"},
         480,
         0},
        {"DV video of a type 2 file",
         MediaType::video(subtype::Dvsd, ntscVideo),
         {"Input", "DVVidOut0", "AudOut00"},
         480,
         48000},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        SplitRun run(c.type, {});
        EXPECT_EQ(pinNames(*run.splitter), std::vector<std::string>{"Input"});
        ASSERT_TRUE(run.connect());
        EXPECT_EQ(pinNames(*run.splitter), c.pins);
        const auto video = run.splitter->outputAt(0).connectionType().videoInfo();
        ASSERT_TRUE(video);
        EXPECT_EQ(run.splitter->outputAt(0).connectionType().subtype(), subtype::Dvsd);
        EXPECT_EQ(video->bmiHeader.biHeight, c.height);
        for (std::size_t i = 1; i < run.splitter->outputCount(); ++i) {
            const auto wave = run.splitter->outputAt(i).connectionType().waveFormat();
            ASSERT_TRUE(wave);
            EXPECT_EQ(wave->nSamplesPerSec, static_cast<std::uint32_t>(c.rate));
            EXPECT_EQ(wave->nChannels, 2);
            EXPECT_EQ(wave->wBitsPerSample, 16);
        }
        // The outputs lose their connections with the input's.
        ASSERT_TRUE(run.graph.Disconnect(*run.splitter->inputPin()));
        for (std::size_t i = 0; i < run.splitter->outputCount(); ++i)
            EXPECT_FALSE(run.splitter->outputAt(i).isConnected());
    }

    DvSplitterFilter splitter;
    EXPECT_FALSE(splitter.inputPin()->acceptsType(testAudioType()));
    EXPECT_FALSE(
        splitter.inputPin()->acceptsType(MediaType(MajorType::Interleaved, subtype::Dvsd)));
    VideoInfoHeader rgb;
    EXPECT_FALSE(splitter.inputPin()->acceptsType(MediaType::video(subtype::Rgb24, rgb)));
}

// The 16-bit audio is what ffmpeg's own DV demuxer decodes from the same
// frames, and the video is the frames themselves with their times.
TEST(DvSplitter, AudioEqualsWhatFfmpegDecodes)
{
    HangGuard guard(60s);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    struct Case
    {
        const char *what;
        bool pal;
        int rate;
    };
    const Case cases[] = {{"PAL 48 kHz", true, 48000},
                          {"NTSC 48 kHz", false, 48000},
                          {"PAL 32 kHz", true, 32000},
                          {"NTSC 44.1 kHz", false, 44100}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = dir.filePath(QStringLiteral("in.dv"));
        const QString size = c.pal ? "720x576" : "720x480";
        const QString fps = c.pal ? "25" : "30000/1001";
        const auto made =
            runTool("ffmpeg",
                    {"-y",
                     "-v",
                     "error",
                     "-f",
                     "lavfi",
                     "-i",
                     "testsrc=size=" + size + ":rate=" + fps,
                     "-f",
                     "lavfi",
                     "-i",
                     QStringLiteral("sine=frequency=440:beep_factor=3:sample_rate=%1").arg(c.rate),
                     "-t",
                     "0.5",
                     "-ac",
                     "2",
                     "-c:v",
                     "dvvideo",
                     "-pix_fmt",
                     c.pal ? "yuv420p" : "yuv411p",
                     "-c:a",
                     "pcm_s16le",
                     "-ar",
                     QString::number(c.rate),
                     "-f",
                     "dv",
                     path});
        if (made.exitCode != 0) {
            // ffmpeg's DV muxer takes 48 kHz and 32 kHz only, depending on the version.
            ASSERT_NE(c.rate, 48000) << made.err.toStdString();
            continue;
        }
        const auto decoded = runTool("ffmpeg", {"-v", "error", "-i", path, "-f", "s16le", "-"});
        ASSERT_EQ(decoded.exitCode, 0) << decoded.err.toStdString();
        const auto frames = splitDvFrames(readFileBytes(path));
        ASSERT_GE(frames.size(), 10u);

        const std::int64_t frameDuration = c.pal ? 400000 : 333667;
        SplitRun run(interleavedType(0, c.pal), frames, frameDuration);
        ASSERT_TRUE(run.connect());
        ASSERT_EQ(run.sinks.size(), 2u);
        ASSERT_TRUE(run.run());
        EXPECT_EQ(run.sinks[0]->samples(), frames);
        const QByteArray audio = run.sinks[1]->joined();
        EXPECT_EQ(audio.size(), decoded.out.size());
        EXPECT_TRUE(audio == decoded.out) << "audio differs from ffmpeg's";
        const auto audioTimes = run.sinks[1]->times();
        ASSERT_EQ(audioTimes.size(), frames.size());
        EXPECT_EQ(audioTimes[3], (TimeRange{3 * frameDuration, 4 * frameDuration}));
        EXPECT_EQ(run.sinks[0]->times(), audioTimes);
    }
}

// Hand-built frames: sample places follow the shuffling of IEC 61834-2
// (sequence (n/3 + 2(n%3)) mod half, block 3(n%3) + (n mod P)/(P/3), data
// position n/P, P = 54 for 625/50).
struct Sample12
{
    int pair; // 0: first half of the sequences, 1: second half
    int n;    // sample number in the frame
    int left;
    int right; // 12-bit codes
};

void put12(DvFrame &frame, const Sample12 &s)
{
    const int seq = (s.n / 3 + 2 * (s.n % 3)) % 6 + 6 * s.pair;
    const int block = 3 * (s.n % 3) + (s.n % 54) / 18;
    const std::size_t at =
        DvFrame::aauxOffset(seq, block) + 5 + 3 * static_cast<std::size_t>(s.n / 54);
    const auto l = static_cast<unsigned>(s.left) & 0xfff;
    const auto r = static_cast<unsigned>(s.right) & 0xfff;
    frame.setByte(at, static_cast<std::uint8_t>(l >> 4));
    frame.setByte(at + 1, static_cast<std::uint8_t>(r >> 4));
    frame.setByte(at + 2, static_cast<std::uint8_t>((l & 0xf) << 4 | (r & 0xf)));
}

void put16(DvFrame &frame, int n, int channel, std::uint16_t value)
{
    const int seq = (n / 3 + 2 * (n % 3)) % 6 + 6 * channel;
    const int block = 3 * (n % 3) + (n % 54) / 18;
    const std::size_t at =
        DvFrame::aauxOffset(seq, block) + 5 + 2 * static_cast<std::size_t>(n / 54);
    frame.setByte(at, static_cast<std::uint8_t>(value >> 8));
    frame.setByte(at + 1, static_cast<std::uint8_t>(value & 0xff));
}

std::int16_t sampleAt(const QByteArray &pcm, int n, int channel)
{
    const qsizetype at = (2 * static_cast<qsizetype>(n) + channel) * 2;
    return static_cast<std::int16_t>(static_cast<std::uint8_t>(pcm.at(at)) |
                                     static_cast<std::uint8_t>(pcm.at(at + 1)) << 8);
}

TEST(DvSplitter, ReadsTwelveBitFourChannelAudioAsTwoStereoPairs)
{
    HangGuard guard(20s);
    DvFrame frame(DvStandard::Pal);
    // 0x50 in both halves: AF_SIZE 16 (1264 + 16 = 1280 samples), 625/50,
    // 32 kHz (SMP 2), 12-bit (QU 1).
    for (int seq = 0; seq < 12; ++seq)
        frame.setAauxPack(seq, seq % 2 == 0 ? 3 : 0, aauxSourcePack(0xd0, 0x30, 0xe0, 0xd1));
    // Codes and their 16-bit values from the segment table: linear up to
    // ±511, then 256 codes per segment, each doubling the step.
    const Sample12 samples[] = {
        {0, 0, 0x100, 0xfff},    // 256, -1
        {0, 1, 0x200, 0xe00},    // 512, -512
        {0, 2, 0x7ff, 0x801},    // 32704, -32641
        {0, 3, 0x800, 0x300},    // error: the last good sample again; 1024
        {0, 1279, 0x580, 0xa7f}, // (0x580 - 1024) << 4 = 6144; -6145
        {1, 0, 0x010, 0x020},    // second pair: 16, 32
        {1, 60, 0x3ff, 0xc00},   // (0x3ff - 512) << 2 = 2044; -2045
    };
    for (const auto &s : samples)
        put12(frame, s);

    SplitRun run(interleavedType(kNtsc32k12, true), {frame.toByteArray()});
    ASSERT_TRUE(run.connect());
    ASSERT_EQ(run.sinks.size(), 3u);
    ASSERT_TRUE(run.run());
    const QByteArray first = run.sinks[1]->joined();
    const QByteArray second = run.sinks[2]->joined();
    ASSERT_EQ(first.size(), 1280 * 4);
    ASSERT_EQ(second.size(), 1280 * 4);
    const std::pair<int, int> firstExpected[] = {
        {256, -1}, {512, -512}, {32704, -32641}, {32704, 1024}};
    for (int n = 0; n < 4; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(sampleAt(first, n, 0), firstExpected[n].first);
        EXPECT_EQ(sampleAt(first, n, 1), firstExpected[n].second);
    }
    EXPECT_EQ(sampleAt(first, 1279, 0), 6144);
    EXPECT_EQ(sampleAt(first, 1279, 1), -6145);
    EXPECT_EQ(sampleAt(second, 0, 0), 16);
    EXPECT_EQ(sampleAt(second, 0, 1), 32);
    EXPECT_EQ(sampleAt(second, 60, 0), 2044);
    EXPECT_EQ(sampleAt(second, 60, 1), -2045);
    EXPECT_EQ(sampleAt(second, 1, 0), 0);
}

TEST(DvSplitter, ConcealsErrorSamplesAndKeepsToTheAudioArea)
{
    HangGuard guard(20s);
    // 625/50 48 kHz 16-bit with AF_SIZE 63: 1959 samples announced, 1944 fit.
    DvFrame frame(DvStandard::Pal);
    for (int seq = 0; seq < 12; ++seq)
        frame.setAauxPack(seq, seq % 2 == 0 ? 3 : 0, aauxSourcePack(0xff, 0x00, 0xe0, 0xc0));
    put16(frame, 0, 0, 0x1234);
    put16(frame, 0, 1, 0xfedc);
    put16(frame, 1, 0, 0x8000); // error: repeats 0x1234
    put16(frame, 1, 1, 0x0042);
    put16(frame, 1943, 1, 0x7fff);

    SplitRun run(interleavedType(kPal48k16, true), {frame.toByteArray()});
    ASSERT_TRUE(run.connect());
    ASSERT_TRUE(run.run());
    const QByteArray pcm = run.sinks[1]->joined();
    ASSERT_EQ(pcm.size(), 1944 * 4);
    EXPECT_EQ(sampleAt(pcm, 0, 0), 0x1234);
    EXPECT_EQ(sampleAt(pcm, 0, 1), static_cast<std::int16_t>(0xfedc));
    EXPECT_EQ(sampleAt(pcm, 1, 0), 0x1234);
    EXPECT_EQ(sampleAt(pcm, 1, 1), 0x0042);
    EXPECT_EQ(sampleAt(pcm, 1943, 1), 0x7fff);
}

TEST(DvSplitter, PassesFramesOfTheWrongSizeAsVideoOnly)
{
    HangGuard guard(20s);
    DvFrame good(DvStandard::Pal);
    for (int seq = 0; seq < 12; ++seq)
        good.setAauxPack(seq, seq % 2 == 0 ? 3 : 0, aauxSourcePack(0xd8, 0x00, 0xe0, 0xc0));
    const QByteArray frame = good.toByteArray();
    const QByteArray tooShort = frame.left(1000);
    const QByteArray tooLong = frame + QByteArray(1, 0);
    const QByteArray cut = frame.left(143999);
    // A 525/60-sized frame without audio packs gives silence of the standard length.
    const QByteArray ntsc(120000, 0);
    const std::vector<QByteArray> frames{frame, tooShort, tooLong, QByteArray(), cut, ntsc, frame};

    SplitRun run(interleavedType(kPal48k16, true), frames);
    ASSERT_TRUE(run.connect());
    ASSERT_TRUE(run.run());
    EXPECT_EQ(run.sinks[0]->samples(), frames);
    const auto audio = run.sinks[1]->samples();
    ASSERT_EQ(audio.size(), 3u);
    EXPECT_EQ(audio[0].size(), 1920 * 4);
    EXPECT_EQ(audio[1], QByteArray(1600 * 4, 0)); // frame 5: first of the five-frame cycle
    EXPECT_EQ(audio[2].size(), 1920 * 4);
}

// Each output has its own thread: a renderer holding the first video frame
// while paused does not keep the audio renderer from cueing, and a stop
// while both hold a sample ends without a hang.
TEST(DvSplitter, CuesVideoAndAudioRenderersTogether)
{
    HangGuard guard(20s);
    DvFrame frame(DvStandard::Pal);
    const std::vector<QByteArray> frames(12, frame.toByteArray());
    SplitRun run(interleavedType(kPal48k16, true), frames);
    ASSERT_TRUE(run.connect());
    ASSERT_TRUE(run.graph.Pause());
    const auto state = run.graph.GetState(5s);
    EXPECT_EQ(state.state, FilterState::Paused);
    EXPECT_TRUE(state.complete);
    run.graph.Stop();
    EXPECT_EQ(run.log.count(GraphEventCode::ErrorAbort), 0);
    // Stopped, then run again from the kept position: everything arrives.
    ASSERT_TRUE(run.run());
    EXPECT_GE(run.sinks[0]->samples().size(), frames.size());
}

TEST(DvSplitter, IsFoundByRenderForInterleavedDv)
{
    HangGuard guard(20s);
    auto registry = std::make_shared<FilterRegistry>();
    registry->add(dvSplitterFactory());
    registry->add(
        {"Null Renderer", merit::Unlikely, [] { return std::make_shared<NullRenderer>(); }});
    auto executor = std::make_shared<QueueEventExecutor>();
    FilterGraph graph(executor);
    graph.setRegistry(registry);
    auto source = std::make_shared<BufferSource>(
        BufferSource::Stream{interleavedType(kPal48k16, true), {}, 400000});
    graph.AddFilter(source, "source");
    ASSERT_TRUE(graph.Render(source->outputAt(0)));
    auto *splitter = dynamic_cast<DvSplitterFilter *>(graph.FindFilterByName("DV Splitter"));
    ASSERT_NE(splitter, nullptr);
    EXPECT_TRUE(splitter->inputPin()->isConnected());
    EXPECT_TRUE(splitter->outputAt(0).isConnected());
    EXPECT_TRUE(splitter->outputAt(1).isConnected());
}

} // namespace
