#include "platform/media/filters/dv_audio.h"
#include "platform/media/filters/dv_muxer.h"
#include "platform/media/filters/dv_splitter.h"
#include "support/media_filters.h"
#include "support/media_hang_guard.h"
#include "support/tools.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <span>

namespace {

using namespace vidora::media;
using namespace vidora::test;
using namespace std::chrono_literals;

MediaType dvVideoType(bool pal)
{
    return testVideoType(vidora::DvSystemByLines(!pal).frameDuration, pal);
}

MediaType pcmType(int rate, int channels = 2, int bits = 16, std::uint16_t tag = 1)
{
    WaveFormatEx wave;
    wave.wFormatTag = tag;
    wave.nChannels = static_cast<std::uint16_t>(channels);
    wave.nSamplesPerSec = static_cast<std::uint32_t>(rate);
    wave.wBitsPerSample = static_cast<std::uint16_t>(bits);
    wave.nBlockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    wave.nAvgBytesPerSec = wave.nSamplesPerSec * wave.nBlockAlign;
    return MediaType::audio(wave);
}

// Interleaved 16-bit values as little-endian bytes, cut into buffers of
// `chunk` values (not aligned to video frames).
std::vector<QByteArray> pcmChunks(const std::vector<std::int16_t> &values, std::size_t chunk)
{
    std::vector<QByteArray> chunks;
    for (std::size_t at = 0; at < values.size(); at += chunk) {
        QByteArray bytes;
        for (std::size_t i = at; i < std::min(values.size(), at + chunk); ++i) {
            const auto u = static_cast<std::uint16_t>(values[i]);
            bytes.append(static_cast<char>(u & 0xff));
            bytes.append(static_cast<char>(u >> 8));
        }
        chunks.push_back(std::move(bytes));
    }
    return chunks;
}

std::vector<std::int16_t> noise(std::size_t count, std::uint32_t seed)
{
    std::vector<std::int16_t> values(count);
    for (auto &v : values) {
        seed = seed * 1664525u + 1013904223u;
        v = static_cast<std::int16_t>(seed >> 16);
    }
    return values;
}

std::vector<std::int16_t> valuesOf(const QByteArray &bytes)
{
    std::vector<std::int16_t> values(static_cast<std::size_t>(bytes.size()) / 2);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<std::int16_t>(static_cast<std::uint8_t>(bytes[2 * i]) |
                                              static_cast<std::uint8_t>(bytes[2 * i + 1]) << 8);
    return values;
}

// The bytes of a frame the sink recorded, for the DV audio readers.
std::span<const std::uint8_t> bytesOf(const QByteArray &frame)
{
    return {reinterpret_cast<const std::uint8_t *>(frame.constData()),
            static_cast<std::size_t>(frame.size())};
}

// Buffer source (video, audio…) → DV muxer → a recording sink or a DV splitter.
struct MuxRun : TestGraph
{
    std::shared_ptr<BufferSource> source;
    std::shared_ptr<DvMuxerFilter> muxer = std::make_shared<DvMuxerFilter>();

    explicit MuxRun(std::vector<BufferSource::Stream> streams)
        : source(std::make_shared<BufferSource>(std::move(streams)))
    {
        graph.AddFilter(source, "source");
        graph.AddFilter(muxer, "DV Muxer");
    }
    // Video to pin 0, each audio stream to the muxer's free audio input.
    bool connectInputs()
    {
        if (!graph.ConnectDirect(source->outputAt(0), muxer->videoInput()))
            return false;
        for (std::size_t i = 1; i < source->outputCount(); ++i) {
            auto pins = muxer->pins();
            auto *free = dynamic_cast<InputPin *>(pins[pins.size() - 2]);
            if (!free || !graph.ConnectDirect(source->outputAt(i), *free))
                return false;
        }
        return true;
    }
    // Complete, and no error even while stopping.
    bool run() { return TestGraph::run(20s) && log.count(GraphEventCode::ErrorAbort) == 0; }
};

TEST(DvMuxer, AddsAudioInputsBeforeTheOutputAndRefusesAudioDvCannotCarry)
{
    MuxRun run({{dvVideoType(true), {}, 400000},
                {pcmType(32000), {}, 400000},
                {pcmType(32000), {}, 400000},
                {pcmType(48000), {}, 400000}});
    EXPECT_EQ(pinNames(*run.muxer), (std::vector<std::string>{"Video Input", "Output"}));
    // Audio is not video.
    EXPECT_FALSE(run.muxer->videoInput().acceptsType(pcmType(48000)));
    ASSERT_TRUE(run.graph.ConnectDirect(run.source->outputAt(0), run.muxer->videoInput()));
    EXPECT_EQ(pinNames(*run.muxer),
              (std::vector<std::string>{"Video Input", "Audio Input 1", "Output"}));

    Pin &first = *run.muxer->pin(1);
    struct Case
    {
        const char *what;
        MediaType type;
        bool accepted;
    };
    const Case cases[] = {
        {"48 kHz stereo", pcmType(48000), true},    {"44.1 kHz mono", pcmType(44100, 1), true},
        {"32 kHz stereo", pcmType(32000), true},    {"22.05 kHz", pcmType(22050), false},
        {"8-bit", pcmType(48000, 2, 8), false},     {"six channels", pcmType(48000, 6), false},
        {"float", pcmType(48000, 2, 32, 3), false}, {"DV video", dvVideoType(true), false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(first.acceptsType(c.type), c.accepted) << c.what;

    ASSERT_TRUE(run.graph.ConnectDirect(run.source->outputAt(1), *run.muxer->inputPins()[1]));
    EXPECT_EQ(pinNames(*run.muxer), (std::vector<std::string>{"Video Input", "Audio Input 1",
                                                              "Audio Input 2", "Output"}));
    // A second pair only as 32 kHz 12-bit audio.
    Pin &second = *run.muxer->pin(2);
    EXPECT_FALSE(second.acceptsType(pcmType(48000)));
    EXPECT_TRUE(second.acceptsType(pcmType(32000)));
    ASSERT_TRUE(run.graph.ConnectDirect(run.source->outputAt(2), *run.muxer->inputPins()[2]));
    // A third pair does not fit.
    EXPECT_FALSE(run.muxer->pin(3)->acceptsType(pcmType(32000)));
    EXPECT_EQ(run.muxer->pins().back(), &run.muxer->output());
}

TEST(DvMuxer, PublishesTheDvInfoOfItsAudio)
{
    struct Case
    {
        const char *what;
        bool pal;
        std::vector<int> rates;
        std::uint8_t pc1, pc4; // AAUX source: AF_SIZE byte, SMP/QU byte
        int vauxPc3;
    };
    const Case cases[] = {
        // 48 kHz locked (LF 0); emphasis off; SMP 0/1/2 in bits 5-3; QU 1: 12-bit.
        {"PAL 48 kHz", true, {48000}, 0x40 | 24, 0x80, 0xe0},
        {"NTSC 48 kHz", false, {48000}, 0x40 | 20, 0x80, 0xc0},
        {"PAL 44.1 kHz", true, {44100}, 0xc0 | 22, 0x88, 0xe0},
        {"PAL 32 kHz, two pairs", true, {32000, 32000}, 0xc0 | 16, 0x91, 0xe0},
        {"NTSC, no audio", false, {}, 0x40 | 20, 0x80, 0xc0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<BufferSource::Stream> streams{{dvVideoType(c.pal), {}, 400000}};
        for (int rate : c.rates)
            streams.push_back({pcmType(rate), {}, 400000});
        MuxRun run(streams);
        ASSERT_TRUE(run.connectInputs());
        auto sink = std::make_shared<RecordingSink>();
        run.graph.AddFilter(sink, "sink");
        ASSERT_TRUE(run.graph.ConnectDirect(run.muxer->output(), sink->input()));
        const MediaType &type = run.muxer->output().connectionType();
        EXPECT_EQ(type.major(), MajorType::Interleaved);
        EXPECT_EQ(type.subtype(), subtype::Dvsd);
        const auto info = type.dvInfo();
        ASSERT_TRUE(info);
        for (auto src : {info->dwDVAAuxSrc, info->dwDVAAuxSrc1}) {
            EXPECT_EQ(src & 0xff, c.pc1);
            EXPECT_EQ(src >> 24, c.pc4);
            EXPECT_EQ((src >> 16) & 0x20, c.pal ? 0x20u : 0u);
        }
        EXPECT_EQ((info->dwDVVAuxSrc >> 16) & 0xff, static_cast<std::uint32_t>(c.vauxPc3));
        EXPECT_EQ(info->dwDVAAuxCtl & 0xff, 0x33u);
    }
}

bool inAudioBlock(std::size_t offset)
{
    const std::size_t block = (offset % 12000) / 80;
    return block >= 6 && (block - 6) % 16 == 0;
}

// Frames the muxer builds decode in ffmpeg to the PCM it was given, with the
// standard's sample count per frame; the video blocks stay as they were.
TEST(DvMuxer, FramesDecodeInFfmpegToTheGivenAudio)
{
    HangGuard guard(90s);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    struct Case
    {
        const char *what;
        bool pal;
        int rate;
        int channels;
        std::size_t audioFrames;   // stereo samples given; fewer than needed: silence follows
        std::size_t expectedTotal; // stereo samples in ten frames
    };
    const Case cases[] = {
        // 525/60 48 kHz: two cycles of 1600 + 4 × 1602.
        {"NTSC 48 kHz", false, 48000, 2, 20000, 2 * 8008},
        {"PAL 48 kHz", true, 48000, 2, 20000, 10 * 1920},
        {"PAL 44.1 kHz mono", true, 44100, 1, 20000, 10 * 1764},
        // 10 × 32000 × 1001 / 30000 = 10677.3
        {"NTSC 32 kHz, audio ends early", false, 32000, 2, 3000, 10677},
        // A slice that began elsewhere in the cycle ends two samples later:
        // the last frame keeps them (it can hold 1620).
        {"NTSC 48 kHz, audio ends in the last frame's room", false, 48000, 2, 2 * 8008 + 2,
         2 * 8008 + 2},
        {"PAL 48 kHz mono, audio ends in the last frame's room", true, 48000, 1, 19205, 19205},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const QString video = dir.filePath("video.dv");
        const auto made = runTool("ffmpeg", {"-y", "-v", "error", "-f", "lavfi", "-i",
                                             c.pal ? "testsrc=size=720x576:rate=25"
                                                   : "testsrc=size=720x480:rate=30000/1001",
                                             "-frames:v", "10", "-c:v", "dvvideo", "-pix_fmt",
                                             c.pal ? "yuv420p" : "yuv411p", "-f", "dv", video});
        ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
        const qsizetype frameBytes = c.pal ? 144000 : 120000;
        const std::vector<QByteArray> frames = splitDvFrames(readFileBytes(video));
        ASSERT_EQ(frames.size(), 10u);

        const auto pcm = noise(c.audioFrames * static_cast<std::size_t>(c.channels), 7);
        MuxRun run({{dvVideoType(c.pal), frames, c.pal ? 400000 : 333667},
                    {pcmType(c.rate, c.channels), pcmChunks(pcm, 1000), 400000}});
        ASSERT_TRUE(run.connectInputs());
        auto sink = std::make_shared<RecordingSink>();
        run.graph.AddFilter(sink, "sink");
        ASSERT_TRUE(run.graph.ConnectDirect(run.muxer->output(), *sink->inputPins()[0]));
        ASSERT_TRUE(run.run());

        const auto muxed = sink->samples();
        ASSERT_EQ(muxed.size(), frames.size());
        for (std::size_t f = 0; f < frames.size(); ++f) {
            ASSERT_EQ(muxed[f].size(), frameBytes);
            std::size_t changed = 0;
            for (qsizetype i = 0; i < frameBytes; ++i)
                changed += !inAudioBlock(static_cast<std::size_t>(i)) && muxed[f][i] != frames[f][i]
                               ? 1
                               : 0;
            EXPECT_EQ(changed, 0u) << "frame " << f;
        }

        const QString out = dir.filePath("muxed.dv");
        writeFileBytes(out, sink->joined());
        const auto decoded = runTool("ffmpeg", {"-v", "error", "-i", out, "-f", "s16le", "-"});
        ASSERT_EQ(decoded.exitCode, 0) << decoded.err.toStdString();
        EXPECT_TRUE(decoded.err.isEmpty()) << decoded.err.toStdString();
        const auto values = valuesOf(decoded.out);

        const std::size_t expectedTotal = c.expectedTotal;
        ASSERT_EQ(values.size(), expectedTotal * 2);
        std::vector<std::int16_t> expected(expectedTotal * 2, 0);
        for (std::size_t i = 0; i < std::min(c.audioFrames, expectedTotal); ++i) {
            const std::size_t from = i * static_cast<std::size_t>(c.channels);
            expected[2 * i] = pcm[from];
            expected[2 * i + 1] = pcm[from + (c.channels == 2 ? 1 : 0)];
        }
        EXPECT_TRUE(values == expected) << "decoded audio differs";
    }
}

// Two 32 kHz pairs go in as 12-bit four-channel audio and come out of the DV
// splitter again; values the 12-bit coding holds exactly come back unchanged.
TEST(DvMuxer, WritesTwoPairsAsTwelveBitAudioThatTheSplitterReadsBack)
{
    HangGuard guard(30s);
    const std::int16_t exact[] = {0, 1, -1, 511, -512, 512, 1022, -1023, 2044, 32704, -32641, 4096};
    auto pairValues = [&](int offset) {
        std::vector<std::int16_t> values;
        for (int i = 0; i < 1280 * 3 * 2; ++i)
            values.push_back(exact[static_cast<std::size_t>(i + offset) % std::size(exact)]);
        return values;
    };
    const auto pair1 = pairValues(0);
    const auto pair2 = pairValues(5);
    const std::vector<QByteArray> frames(3, QByteArray(144000, 0));
    MuxRun run({{dvVideoType(true), frames, 400000},
                {pcmType(32000), pcmChunks(pair1, 700), 400000},
                {pcmType(32000), pcmChunks(pair2, 900), 400000}});
    ASSERT_TRUE(run.connectInputs());
    auto splitter = std::make_shared<DvSplitterFilter>();
    run.graph.AddFilter(splitter, "DV Splitter");
    ASSERT_TRUE(run.graph.ConnectDirect(run.muxer->output(), *splitter->inputPin()));
    ASSERT_EQ(splitter->outputCount(), 3u);
    std::vector<std::shared_ptr<RecordingSink>> sinks;
    for (std::size_t i = 0; i < 3; ++i) {
        sinks.push_back(std::make_shared<RecordingSink>());
        run.graph.AddFilter(sinks.back(), "sink " + std::to_string(i));
        ASSERT_TRUE(run.graph.ConnectDirect(splitter->outputAt(i), sinks.back()->input()));
    }
    ASSERT_TRUE(run.run());
    const auto back1 = valuesOf(sinks[1]->joined());
    const auto back2 = valuesOf(sinks[2]->joined());
    ASSERT_EQ(back1.size(), 3u * 1280 * 2);
    EXPECT_TRUE(back1 == std::vector<std::int16_t>(pair1.begin(), pair1.begin() + 3 * 1280 * 2));
    EXPECT_TRUE(back2 == std::vector<std::int16_t>(pair2.begin(), pair2.begin() + 3 * 1280 * 2));
}

// An audio type change (an audio converter set to another rate after the
// graph was built) takes effect at the frame whose audio starts after it;
// the frame where the old audio runs out is filled with silence.
TEST(DvMuxer, WritesAudioInTheFormatOfATypeChange)
{
    HangGuard guard(30s);
    struct Segment
    {
        int rate;
        int channels;
        std::size_t samples; // per channel
    };
    struct Expected
    {
        int rate;
        std::size_t given; // samples from the input; the rest of the frame is silence
    };
    struct Case
    {
        const char *what;
        std::vector<Segment> segments; // each one buffer; all after the first announce their type
        bool firstAnnounces;           // the first buffer announces its type too
        std::vector<Expected> frames;
        int announcedRate; // of the first frame's type change; 0: none
    };
    const Case cases[] = {
        {"48 kHz stereo, then 32 kHz mono",
         {{48000, 2, 4800}, {32000, 1, 3840}},
         false,
         {{48000, 1920}, {48000, 1920}, {48000, 960}, {32000, 1280}, {32000, 1280}, {32000, 1280}},
         0},
        {"32 kHz from the first sample on",
         {{32000, 2, 2000}},
         true,
         {{32000, 1280}, {32000, 720}, {32000, 0}},
         32000},
        {"the same format again changes nothing",
         {{48000, 2, 1000}, {48000, 2, 1000}},
         false,
         {{48000, 1920}, {48000, 80}},
         0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<QByteArray> buffers;
        std::vector<std::int16_t> stereo; // the input's audio as the frames should hold it
        for (std::size_t i = 0; i < c.segments.size(); ++i) {
            const Segment &seg = c.segments[i];
            const auto values = noise(seg.samples * static_cast<std::size_t>(seg.channels),
                                      static_cast<std::uint32_t>(i + 1));
            buffers.push_back(pcmChunks(values, values.size()).front());
            for (std::size_t k = 0; k < seg.samples; ++k) {
                const std::size_t at = k * static_cast<std::size_t>(seg.channels);
                stereo.push_back(values[at]);
                stereo.push_back(values[at + (seg.channels == 2 ? 1 : 0)]);
            }
        }
        const std::vector<QByteArray> frames(c.frames.size(), QByteArray(144000, 0));
        BufferSource::Stream audio{pcmType(48000), buffers, 400000};
        for (std::size_t i = c.firstAnnounces ? 0 : 1; i < c.segments.size(); ++i)
            audio.typeChanges[i] = pcmType(c.segments[i].rate, c.segments[i].channels);
        MuxRun run({{dvVideoType(true), frames, 400000}, audio});
        ASSERT_TRUE(run.connectInputs());
        auto sink = std::make_shared<RecordingSink>();
        run.graph.AddFilter(sink, "sink");
        ASSERT_TRUE(run.graph.ConnectDirect(run.muxer->output(), sink->input()));
        ASSERT_TRUE(run.run()) << run.graph.lastError();

        const auto out = sink->samples();
        ASSERT_EQ(out.size(), c.frames.size());
        // Each frame takes the next `given` samples of the input's audio.
        std::size_t used = 0;
        for (std::size_t f = 0; f < out.size(); ++f) {
            SCOPED_TRACE("frame " + std::to_string(f));
            const auto &sys = vidora::kDv625;
            const auto pack = dv::readSourcePack(bytesOf(out[f]), sys, 0);
            ASSERT_TRUE(pack);
            EXPECT_EQ(dv::rateHz(pack->rate), c.frames[f].rate);
            const int samples = dv::standardSamples(sys, pack->rate, 0);
            EXPECT_EQ(pack->samples, samples);
            std::vector<std::int16_t> got(static_cast<std::size_t>(samples) * 2);
            dv::readSamples(bytesOf(out[f]), sys, pack->quant, 0, samples, got);
            std::vector<std::int16_t> expected(got.size(), 0);
            const std::size_t given = c.frames[f].given * 2;
            ASSERT_LE(used + given, stereo.size());
            std::copy_n(stereo.begin() + static_cast<std::ptrdiff_t>(used), given,
                        expected.begin());
            used += given;
            EXPECT_TRUE(got == expected);
        }
        const auto changes = sink->typeChanges();
        if (c.announcedRate == 0) {
            EXPECT_FALSE(changes.front());
        } else {
            ASSERT_TRUE(changes.front());
            const auto info = changes.front()->dvInfo();
            ASSERT_TRUE(info);
            const auto sys = vidora::kDv625;
            const auto rate = *dv::rateFromHz(c.announcedRate);
            EXPECT_EQ(info->dwDVAAuxSrc,
                      dv::packPayload(dv::sourcePack(sys, rate, dv::Quantization::Linear16,
                                                     dv::standardSamples(sys, rate, 0), 0, 2)));
        }
        for (std::size_t f = 1; f < changes.size(); ++f)
            EXPECT_FALSE(changes[f]) << "frame " << f;
    }
}

// A type change to audio DV cannot carry ends the run with an error naming
// the format, never a hang or frames of the wrong audio.
TEST(DvMuxer, RefusesATypeChangeToAudioDvCannotCarry)
{
    HangGuard guard(30s);
    struct Case
    {
        const char *what;
        std::vector<int> rates; // of the connected inputs
        MediaType change;       // on the last input's second buffer
        const char *named;
    };
    const Case cases[] = {
        {"8-bit", {48000}, pcmType(48000, 2, 8), "48000 Hz, 8-bit, 2 channels"},
        {"six channels", {44100}, pcmType(44100, 6), "44100 Hz, 16-bit, 6 channels"},
        {"48 kHz beside a second pair", {32000, 32000}, pcmType(48000), "48000 Hz, 16-bit"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<QByteArray> frames(10, QByteArray(144000, 0));
        std::vector<BufferSource::Stream> streams{{dvVideoType(true), frames, 400000}};
        for (int rate : c.rates)
            streams.push_back({pcmType(rate), pcmChunks(noise(20000, 5), 4000), 400000});
        streams.back().typeChanges[1] = c.change;
        MuxRun run(streams);
        ASSERT_TRUE(run.connectInputs());
        auto sink = std::make_shared<RecordingSink>();
        run.graph.AddFilter(sink, "sink");
        ASSERT_TRUE(run.graph.ConnectDirect(run.muxer->output(), sink->input()));
        ASSERT_TRUE(run.graph.Run());
        EXPECT_TRUE(run.log.waitFor(GraphEventCode::ErrorAbort, 20s));
        run.graph.Stop();
        EXPECT_NE(run.graph.lastError().find(c.named), std::string::npos) << run.graph.lastError();
        EXPECT_LT(sink->samples().size(), frames.size());
    }
}

// The video thread waits for audio: a pause still cues the renderer behind
// the muxer, and a stop wakes every wait.
TEST(DvMuxer, CuesAndStopsWhileWaitingForAudio)
{
    HangGuard guard(20s);
    const std::vector<QByteArray> frames(8, QByteArray(144000, 0));
    MuxRun run({{dvVideoType(true), frames, 400000},
                {pcmType(48000), pcmChunks(noise(48000 * 2, 3), 4000), 400000}});
    ASSERT_TRUE(run.connectInputs());
    auto sink = std::make_shared<RecordingSink>();
    run.graph.AddFilter(sink, "sink");
    ASSERT_TRUE(run.graph.ConnectDirect(run.muxer->output(), sink->input()));
    ASSERT_TRUE(run.graph.Pause());
    const auto state = run.graph.GetState(5s);
    EXPECT_TRUE(state.complete);
    run.graph.Stop();
    EXPECT_EQ(run.log.count(GraphEventCode::ErrorAbort), 0);
}

TEST(DvMuxer, PassesVideoFramesOfTheWrongSizeUntouched)
{
    HangGuard guard(20s);
    const QByteArray odd(1000, 0x5a);
    const QByteArray frame(144000, 0);
    MuxRun run({{dvVideoType(true), {frame, odd, QByteArray(), frame}, 400000}});
    ASSERT_TRUE(run.connectInputs());
    auto sink = std::make_shared<RecordingSink>();
    run.graph.AddFilter(sink, "sink");
    ASSERT_TRUE(run.graph.ConnectDirect(run.muxer->output(), sink->input()));
    ASSERT_TRUE(run.run());
    const auto out = sink->samples();
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[1], odd);
    EXPECT_TRUE(out[2].isEmpty());
    // Whole frames get audio packs even without audio: silence at 48 kHz.
    ASSERT_EQ(out[0].size(), 144000);
    EXPECT_EQ(out[0][6 * 80 + 3 * 16 * 80 + 3], 0x50);
}

} // namespace
