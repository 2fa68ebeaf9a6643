#include "platform/media/dsfunctions_media.h"
#include "platform/media/filters/audio_converter.h"
#include "support/media_buffer_source.h"
#include "support/media_filters.h"
#include "support/media_hang_guard.h"
#include "support/tools.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <mutex>
#include <numbers>

namespace {

using namespace vidora::media;
using namespace vidora::test;
using namespace std::chrono_literals;

WaveFormatEx pcmFormat(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits)
{
    WaveFormatEx w;
    w.nChannels = channels;
    w.nSamplesPerSec = rate;
    w.wBitsPerSample = bits;
    w.nBlockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    w.nAvgBytesPerSec = rate * w.nBlockAlign;
    return w;
}

// `seconds` of a 1 kHz sine, 16-bit stereo, in chunks of one PAL frame
// (40 ms), with their times.
BufferSource::Stream sineChunks(std::uint32_t rate, int seconds)
{
    BufferSource::Stream o;
    o.type = MediaType::audio(pcmFormat(2, rate, 16));
    const int perChunk = static_cast<int>(rate / 25);
    o.frameDuration = 400000;
    int n = 0;
    for (int chunk = 0; chunk < seconds * 25; ++chunk) {
        QByteArray bytes(perChunk * 4, '\0');
        auto *s = reinterpret_cast<std::int16_t *>(bytes.data());
        for (int i = 0; i < perChunk; ++i, ++n) {
            const auto v = static_cast<std::int16_t>(
                10000 * std::sin(2 * std::numbers::pi * 1000 * n / static_cast<double>(rate)));
            s[2 * i] = v;
            s[2 * i + 1] = v;
        }
        o.buffers.push_back(bytes);
    }
    return o;
}

// What a sink received: the bytes, the type change it saw first, the times.
struct Received
{
    QByteArray data;
    std::optional<MediaType> typeChange;
    std::optional<TimeRange> last;
    bool complete = false;
    std::string error;
};

// Runs source → converter → sink; `configure` runs after the graph is built.
Received run(BufferSource::Stream input, std::shared_ptr<AudioConverterFilter> converter,
             const std::function<void()> &configure = {})
{
    Received r;
    auto executor = std::make_shared<QueueEventExecutor>();
    FilterGraph graph(executor);
    EventLog log(graph, executor);
    auto source = std::make_shared<BufferSource>(std::move(input));
    auto sink = std::make_shared<RecordingSink>();
    std::mutex mutex;
    sink->onRender = [&](const MediaSample &sample) {
        std::lock_guard lock(mutex);
        if (r.data.isEmpty())
            r.typeChange = sample.typeChange;
        r.data.append(reinterpret_cast<const char *>(sample.data()),
                      static_cast<qsizetype>(sample.actualLength()));
        r.last = sample.time;
        return Flow::Ok;
    };
    graph.AddFilter(source, "source");
    graph.AddFilter(converter, "acm1");
    graph.AddFilter(sink, "sink");
    EXPECT_TRUE(graph.Connect(source->outputAt(0), converter->input()));
    EXPECT_TRUE(graph.Connect(converter->output(), sink->input()));
    if (configure)
        configure();
    EXPECT_TRUE(graph.Run());
    r.complete = log.waitFor(GraphEventCode::Complete, 60s);
    r.error = graph.lastError();
    graph.Stop();
    return r;
}

// Sign changes of the first channel of 16-bit samples, with a margin so that
// noise around zero does not count: twice the frequency of a sine per second.
int signChanges(const QByteArray &data, int channels)
{
    const auto *s = reinterpret_cast<const std::int16_t *>(data.constData());
    const auto frames = data.size() / (2 * channels);
    int changes = 0;
    int side = 0; // -1 below -1000, 1 above 1000
    for (qsizetype i = 0; i < frames; ++i) {
        const int v = s[i * channels];
        const int now = v > 1000 ? 1 : v < -1000 ? -1 : side;
        if (side != 0 && now != side)
            ++changes;
        side = now;
    }
    return changes;
}

TEST(AudioConverter, SampleRateSetAfterTheGraphIsBuiltConvertsAndKeepsDuration)
{
    HangGuard guard(60s);
    auto converter = std::make_shared<AudioConverterFilter>();
    bool set = false;
    const Received r = run(sineChunks(48000, 2), converter, [&] {
        set = SetAudioSampleRate(converter.get(), 32000);
        const auto format = converter->GetFormat();
        ASSERT_TRUE(format);
        EXPECT_EQ(format->waveFormat()->nSamplesPerSec, 32000u);
        EXPECT_EQ(format->waveFormat()->nAvgBytesPerSec, 128000u);
    });
    ASSERT_TRUE(set);
    ASSERT_TRUE(r.complete) << r.error;
    // The new format reaches downstream in-band with the first sample.
    ASSERT_TRUE(r.typeChange);
    const auto w = r.typeChange->waveFormat();
    ASSERT_TRUE(w);
    EXPECT_EQ(w->nSamplesPerSec, 32000u);
    EXPECT_EQ(w->nChannels, 2);
    EXPECT_EQ(w->wBitsPerSample, 16);
    EXPECT_EQ(w->nAvgBytesPerSec, 128000u);
    // Two seconds within one PAL frame (1280 samples at 32000 Hz).
    const auto samples = r.data.size() / 4;
    EXPECT_NEAR(static_cast<double>(samples), 64000.0, 1280.0);
    ASSERT_TRUE(r.last);
    EXPECT_NEAR(static_cast<double>(r.last->stop), 2e7, 400000.0);
    // Still a 1 kHz tone: about 2000 sign changes a second.
    EXPECT_NEAR(signChanges(r.data, 2), 4000, 10);
}

// A converter whose input is connected but whose output is not (an audio
// stream the next filter refused) is a dead end: its stream ends quietly and
// the rest of the graph runs to completion.
TEST(AudioConverter, WithItsOutputUnconnectedEndsItsStreamQuietly)
{
    HangGuard guard(60s);
    auto executor = std::make_shared<QueueEventExecutor>();
    FilterGraph graph(executor);
    EventLog log(graph, executor);
    auto dangling = std::make_shared<BufferSource>(sineChunks(48000, 1));
    auto converter = std::make_shared<AudioConverterFilter>();
    auto source = std::make_shared<BufferSource>(sineChunks(48000, 1));
    auto sink = std::make_shared<RecordingSink>();
    graph.AddFilter(dangling, "dangling");
    graph.AddFilter(converter, "acm2");
    graph.AddFilter(source, "source");
    graph.AddFilter(sink, "sink");
    ASSERT_TRUE(graph.Connect(dangling->outputAt(0), converter->input()));
    ASSERT_TRUE(graph.Connect(source->outputAt(0), sink->input()));
    ASSERT_TRUE(graph.Run());
    EXPECT_TRUE(log.waitFor(GraphEventCode::Complete, 30s)) << graph.lastError();
    graph.Stop();
    EXPECT_EQ(log.count(GraphEventCode::ErrorAbort), 0);
}

TEST(AudioConverter, WithoutASetRateTheInputFormatPassesUnchanged)
{
    HangGuard guard(60s);
    const auto input = sineChunks(44100, 1);
    QByteArray all;
    for (const auto &b : input.buffers)
        all += b;
    const Received r = run(input, std::make_shared<AudioConverterFilter>());
    ASSERT_TRUE(r.complete) << r.error;
    EXPECT_FALSE(r.typeChange);
    EXPECT_EQ(r.data, all);
}

// The upstream filter connected with one rate and tells the real one with
// its first sample (a DV splitter whose stream info was wrong): the samples
// are read at the real rate; an output that was the input's own format
// follows it, a rate that was set stays.
TEST(AudioConverter, FollowsTheInputFormatToldInBand)
{
    const struct
    {
        const char *name;
        std::optional<std::uint32_t> setRate;
        std::uint32_t outRate;
    } cases[] = {{"own format", std::nullopt, 48000}, {"set rate", 44100, 44100}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        HangGuard guard(60s);
        auto input = sineChunks(48000, 1);
        QByteArray all;
        for (const auto &b : input.buffers)
            all += b;
        input.typeChanges = {{0, input.type}};
        input.type = MediaType::audio(pcmFormat(2, 32000, 16));
        auto converter = std::make_shared<AudioConverterFilter>();
        const Received r = run(input, converter, [&] {
            if (c.setRate) {
                EXPECT_TRUE(SetAudioSampleRate(converter.get(), *c.setRate));
            }
        });
        ASSERT_TRUE(r.complete) << r.error;
        ASSERT_TRUE(r.typeChange);
        EXPECT_EQ(r.typeChange->waveFormat()->nSamplesPerSec, c.outRate);
        if (!c.setRate) {
            EXPECT_TRUE(r.data == all) << "passed on unchanged";
        }
        EXPECT_NEAR(static_cast<double>(r.data.size() / 4), c.outRate * 1.0, c.outRate / 25.0);
        EXPECT_NEAR(signChanges(r.data, 2), 2000, 10) << "still a 1 kHz tone";
        ASSERT_TRUE(r.last);
        EXPECT_NEAR(static_cast<double>(r.last->stop), 1e7, 400000.0);
    }
}

TEST(AudioConverter, OffersTheInputFormatThen16BitPcmAtTheDvRates)
{
    struct Case
    {
        WaveFormatEx input;
        std::vector<WaveFormatEx> offered;
    };
    const std::vector<Case> cases{
        {pcmFormat(2, 48000, 16),
         {pcmFormat(2, 48000, 16), pcmFormat(2, 44100, 16), pcmFormat(2, 32000, 16)}},
        {pcmFormat(1, 22050, 8),
         {pcmFormat(1, 22050, 8), pcmFormat(1, 48000, 16), pcmFormat(1, 44100, 16),
          pcmFormat(1, 32000, 16)}},
    };
    for (const auto &c : cases) {
        auto converter = std::make_shared<AudioConverterFilter>();
        FilterHarness h(converter, {.streams = {MediaType::audio(c.input)}, .frameCount = 0});
        ASSERT_TRUE(h.connected());
        std::vector<WaveFormatEx> offered;
        for (const auto &t : converter->output().mediaTypes())
            offered.push_back(*t.waveFormat());
        EXPECT_EQ(offered, c.offered);
    }
}

TEST(AudioConverter, RefusesVideoInterleavedAndUnknownInputs)
{
    WaveFormatEx unknown = pcmFormat(2, 48000, 16);
    unknown.wFormatTag = 0x1234;
    WaveFormatEx odd = pcmFormat(2, 48000, 16);
    odd.wBitsPerSample = 12;
    WaveFormatEx mp3;
    mp3.wFormatTag = 0x0055;
    mp3.nChannels = 2;
    mp3.nSamplesPerSec = 44100;
    mp3.nAvgBytesPerSec = 16000;
    mp3.nBlockAlign = 1;
    struct Case
    {
        MediaType type;
        bool accepted;
    };
    const std::vector<Case> cases{
        {MediaType::audio(pcmFormat(2, 48000, 16)), true},
        {MediaType::audio(pcmFormat(4, 32000, 24)), true},
        {MediaType::audio(mp3), true},
        {MediaType::audio(unknown), false},
        {MediaType::audio(odd), false},
        {MediaType(MajorType::Audio, 1), false}, // no format block
        {testVideoType(), false},
        {MediaType::interleaved(fourCC("dvsd"), DvInfo{}), false},
    };
    AudioConverterFilter converter;
    for (const auto &c : cases)
        EXPECT_EQ(converter.CheckInputType(c.type), c.accepted) << c.type.describe();
}

TEST(SetAudioSampleRate, FailsAndLeavesTheFilterUnchanged)
{
    EXPECT_FALSE(SetAudioSampleRate(nullptr, 32000));
    // Input not connected.
    AudioConverterFilter alone;
    EXPECT_FALSE(SetAudioSampleRate(&alone, 32000));
    EXPECT_FALSE(alone.GetFormat());
    // A filter without IAMStreamConfig.
    FilterHarness plain(std::make_shared<CountingTransform>(),
                        {.streams = {testAudioType()}, .frameCount = 0});
    ASSERT_TRUE(plain.connected());
    EXPECT_FALSE(SetAudioSampleRate(plain.graph().FindFilterByName("under test"), 32000));
    // A rate the converter cannot make.
    auto converter = std::make_shared<AudioConverterFilter>();
    FilterHarness h(converter, {.streams = {testAudioType()}, .frameCount = 0});
    ASSERT_TRUE(h.connected());
    const auto before = converter->GetFormat();
    EXPECT_FALSE(SetAudioSampleRate(converter.get(), 0));
    EXPECT_FALSE(SetAudioSampleRate(converter.get(), 1000000));
    EXPECT_EQ(converter->GetFormat(), before);
    EXPECT_TRUE(SetAudioSampleRate(converter.get(), 44100));
    EXPECT_EQ(converter->GetFormat()->waveFormat()->nAvgBytesPerSec, 176400u);
}

TEST(AudioConverter, DecodesMp3ToPcm)
{
    HangGuard guard(60s);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.path() + "/tone.mp3";
    const auto made = runTool("ffmpeg", {"-v",
                                         "error",
                                         "-y",
                                         "-f",
                                         "lavfi",
                                         "-i",
                                         "sine=frequency=1000:sample_rate=44100",
                                         "-t",
                                         "2",
                                         "-ac",
                                         "2",
                                         "-c:a",
                                         "libmp3lame",
                                         "-b:a",
                                         "128k",
                                         "-id3v2_version",
                                         "0",
                                         "-write_xing",
                                         "0",
                                         "-f",
                                         "mp3",
                                         path});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    const QByteArray file = readFileBytes(path);
    ASSERT_GT(file.size(), 10000);
    WaveFormatEx mp3;
    mp3.wFormatTag = 0x0055;
    mp3.nChannels = 2;
    mp3.nSamplesPerSec = 44100;
    mp3.nAvgBytesPerSec = 16000;
    mp3.nBlockAlign = 1;
    BufferSource::Stream input;
    input.type = MediaType::audio(mp3);
    // Chunks that cut frames anywhere, as AVI chunks may.
    for (qsizetype at = 0; at < file.size(); at += 3000)
        input.buffers.push_back(file.mid(at, 3000));
    input.frameDuration = 3000 * 10000000LL / 16000;
    auto converter = std::make_shared<AudioConverterFilter>();
    std::optional<WaveFormatEx> out;
    const Received r =
        run(input, converter, [&] { out = converter->output().connectionType().waveFormat(); });
    ASSERT_TRUE(r.complete) << r.error;
    ASSERT_TRUE(out);
    EXPECT_EQ(out->wFormatTag, 1);
    EXPECT_EQ(out->nChannels, 2);
    EXPECT_EQ(out->wBitsPerSample, 16);
    EXPECT_EQ(out->nSamplesPerSec, 44100u);
    // Two seconds plus the encoder's delay and padding (under two frames).
    const auto samples = r.data.size() / 4;
    EXPECT_GE(samples, 88200);
    EXPECT_LE(samples, 88200 + 2 * 1152 + 1152);
    EXPECT_NEAR(signChanges(r.data, 2), 4000, 20);
}

} // namespace
