#include "formats/dvcodes.h"
#include "platform/media/filters/audio_converter.h"
#include "platform/media/filters/dv_audio.h"
#include "platform/media/filters/dv_muxer.h"
#include "platform/media/filters/dv_splitter.h"
#include "support/avi_files.h"
#include "support/dvframe.h"
#include "support/media_hang_guard.h"
#include "support/tools.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <span>

namespace {

using namespace vidora::media;
using namespace vidora::test;
using namespace std::chrono_literals;

// A file source and an AVI splitter reading `in`, an AVI mux and a file
// writer writing `out`; the middle of the graph is the caller's.
struct Conversion
{
    std::shared_ptr<QueueEventExecutor> executor = std::make_shared<QueueEventExecutor>();
    FilterGraph graph{executor};
    EventLog log{graph, executor};
    std::shared_ptr<FileSourceFilter> source = std::make_shared<FileSourceFilter>();
    std::shared_ptr<AviSplitterFilter> splitter = std::make_shared<AviSplitterFilter>();
    std::shared_ptr<AviMuxFilter> mux = std::make_shared<AviMuxFilter>();
    std::shared_ptr<FileWriterFilter> writer = std::make_shared<FileWriterFilter>();

    // Without the mux and the writer when only reading.
    explicit Conversion(bool writing = true)
    {
        graph.AddFilter(source, "source");
        graph.AddFilter(splitter, "avisplitter");
        if (writing) {
            graph.AddFilter(mux, "avimux");
            graph.AddFilter(writer, "destination");
        }
    }
    bool open(const QString &in)
    {
        return source->Load(in, nullptr) && graph.Connect(source->output(), splitter->input());
    }
    // Into the mux's free (last) input.
    bool toMux(Pin &out) { return graph.Connect(out, *mux->pins().back()); }
    bool run(const QString &out)
    {
        if (!graph.Connect(mux->output(), writer->input()) || !writer->SetFileName(out, nullptr) ||
            !writer->SetMode(AM_FILE_OVERWRITE) || !graph.Run())
            return false;
        const bool complete = log.waitFor(GraphEventCode::Complete, 30s);
        graph.Stop();
        return complete && log.count(GraphEventCode::ErrorAbort) == 0;
    }
};

// Type 1 → type 2: the DV splitter takes the interleaved stream apart.
bool toType2(const QString &in, const QString &out)
{
    Conversion c;
    auto dv = std::make_shared<DvSplitterFilter>();
    c.graph.AddFilter(dv, "dvsplitter");
    if (!c.open(in) || c.splitter->outputCount() != 1 ||
        !c.graph.Connect(c.splitter->outputAt(0), *dv->inputPin()) || dv->outputCount() != 2 ||
        !c.toMux(dv->outputAt(0)) || !c.toMux(dv->outputAt(1))) {
        ADD_FAILURE() << "cannot build the type 2 graph: " << c.graph.lastError();
        return false;
    }
    return c.run(out);
}

// Type 2 → type 1: the DV muxer puts the audio back into the frames.
bool toType1(const QString &in, const QString &out)
{
    Conversion c;
    auto dv = std::make_shared<DvMuxerFilter>();
    c.graph.AddFilter(dv, "dvmuxer");
    bool ok = c.open(in) && c.splitter->outputCount() == 2 &&
              c.graph.Connect(c.splitter->outputAt(0), dv->videoInput());
    if (ok) {
        const auto pins = dv->pins();
        ok = c.graph.Connect(c.splitter->outputAt(1), *pins[pins.size() - 2]) &&
             c.toMux(dv->output());
    }
    if (!ok) {
        ADD_FAILURE() << "cannot build the type 1 graph: " << c.graph.lastError();
        return false;
    }
    return c.run(out);
}

// The DV frames of a file, as the AVI splitter delivers them on stream 0.
std::vector<QByteArray> framesOf(const QString &path)
{
    Conversion c(false);
    auto sink = std::make_shared<RecordingSink>();
    c.graph.AddFilter(sink, "sink");
    std::vector<QByteArray> frames;
    if (!c.open(path) || !c.graph.Connect(c.splitter->outputAt(0), sink->input())) {
        ADD_FAILURE() << "cannot read " << path.toStdString();
        return frames;
    }
    EXPECT_TRUE(c.graph.Run());
    EXPECT_TRUE(c.log.waitFor(GraphEventCode::Complete, 10s));
    c.graph.Stop();
    return sink->samples();
}

QByteArray decodedAudio(const QString &path)
{
    const ToolResult r = runTool(
        "ffmpeg", {"-v", "error", "-i", path, "-map", "0:a:0", "-f", "s16le", "-ac", "2", "-"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    return r.out;
}

// Time code and recording date and time of a frame, as text for comparing.
std::string codesOf(const QByteArray &frame, int sequences)
{
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t *>(frame.data()),
                                              std::size_t(frame.size()));
    vidora::TDvTimecode tc;
    vidora::TDvRecDateTime dt;
    if (!vidora::ReadDvTimecode(bytes, sequences, tc) ||
        !vidora::ReadDvRecDateTime(bytes, sequences, dt))
        return "none";
    return QString::asprintf("%02d:%02d:%02d:%02d %04d-%02d-%02d %02d:%02d:%02d", tc.Hours,
                             tc.Minutes, tc.Seconds, tc.Frames, dt.Year, dt.Month, dt.Day, dt.Hour,
                             dt.Minute, dt.Second)
        .toStdString();
}

class DvRoundTrip : public testing::TestWithParam<bool>
{};

TEST_P(DvRoundTrip, Type1ToType2AndBackKeepsFramesAudioAndCodes)
{
    HangGuard guard(90s);
    const bool ntsc = GetParam();
    const int frameBytes = ntsc ? kNtscFrame : kPalFrame;
    const int sequences = ntsc ? 10 : 12;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray raw = makeRawDv(dir.path(), 30, ntsc);
    ASSERT_GT(raw.size(), 0);
    ASSERT_EQ(raw.size() % frameBytes, 0);
    const QString in = dir.filePath("in.avi");
    const QString mid = dir.filePath("type2.avi");
    const QString out = dir.filePath("out.avi");
    // The stream's DV info says 32 kHz while the frames carry 48 kHz audio:
    // the frames' own audio format must win, all the way round.
    writeFileBytes(in, dvType1Avi(raw));

    ASSERT_TRUE(toType2(in, mid));
    ASSERT_TRUE(toType1(mid, out));

    const std::vector<QByteArray> source = framesOf(in);
    const std::vector<QByteArray> middle = framesOf(mid);
    const std::vector<QByteArray> result = framesOf(out);
    ASSERT_EQ(int(source.size()), raw.size() / frameBytes);
    EXPECT_EQ(middle.size(), source.size());
    ASSERT_EQ(result.size(), source.size());
    for (std::size_t i = 0; i < source.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(result[i].size(), frameBytes);
        EXPECT_TRUE(withoutAudio(result[i]) == withoutAudio(source[i]));
        EXPECT_EQ(codesOf(result[i], sequences), codesOf(source[i], sequences));
        EXPECT_EQ(codesOf(middle[i], sequences), codesOf(source[i], sequences));
    }
    EXPECT_EQ(codesOf(result.front(), sequences).substr(0, 11), "01:02:03:04");

    const QByteArray sourceAudio = decodedAudio(in);
    EXPECT_GT(sourceAudio.size(), 0);
    EXPECT_TRUE(decodedAudio(mid) == sourceAudio);
    const QByteArray resultAudio = decodedAudio(out);
    EXPECT_EQ(resultAudio.size(), sourceAudio.size());
    qsizetype firstDifference = -1;
    for (qsizetype i = 0; i < std::min(resultAudio.size(), sourceAudio.size()); ++i)
        if (resultAudio[i] != sourceAudio[i]) {
            firstDifference = i;
            break;
        }
    EXPECT_EQ(firstDifference, -1) << "bytes of 16-bit stereo";

    EXPECT_EQ(decodeErrors(out), "");
    const ToolResult info = runTool("mediainfo", {"--Inform=General;%Recorded_Date%", out});
    EXPECT_EQ(QString::fromUtf8(info.out).trimmed(), "2005-06-07 08:09:10.000");
}

INSTANTIATE_TEST_SUITE_P(Systems, DvRoundTrip, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool> &caseInfo) {
                             return std::string(caseInfo.param ? "Ntsc" : "Pal");
                         });

// Type 2 → type 1 with an audio converter in front of the DV muxer whose
// rate is set after the graph is built: the change reaches the muxer in-band
// and the frames carry audio of the new rate; a rate DV cannot carry ends the
// conversion with an error and no file.
TEST(DvMuxer, TakesTheRateSetOnTheAudioConverterAfterConnection)
{
    HangGuard guard(120s);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    constexpr int kFrames = 20;
    ASSERT_EQ(makeRawDv(dir.path(), kFrames).size(), kFrames * kPalFrame);
    const QString in = dir.filePath("type2.avi");
    ASSERT_TRUE(makeType2Avi(dir.filePath("raw.dv"), in));

    struct Case
    {
        std::uint32_t rate;
        const char *refusal; // in the error; null: converts
    };
    for (const Case c : {Case{32000, nullptr}, Case{22050, "22050 Hz, 16-bit, 2 channels"}}) {
        SCOPED_TRACE(c.rate);
        const QString out = dir.filePath(QString("out%1.avi").arg(c.rate));
        Conversion conv;
        auto converter = std::make_shared<AudioConverterFilter>();
        auto dv = std::make_shared<DvMuxerFilter>();
        conv.graph.AddFilter(converter, "audioconverter");
        conv.graph.AddFilter(dv, "dvmuxer");
        ASSERT_TRUE(conv.open(in));
        ASSERT_EQ(conv.splitter->outputCount(), 2u);
        ASSERT_TRUE(conv.graph.Connect(conv.splitter->outputAt(0), dv->videoInput()));
        ASSERT_TRUE(conv.graph.Connect(conv.splitter->outputAt(1), converter->input()));
        const auto pins = dv->pins();
        ASSERT_TRUE(conv.graph.Connect(converter->output(), *pins[pins.size() - 2]));
        ASSERT_TRUE(conv.toMux(dv->output()));
        ASSERT_TRUE(conv.graph.Connect(conv.mux->output(), conv.writer->input()));
        ASSERT_TRUE(conv.writer->SetFileName(out, nullptr));

        auto format = converter->GetFormat();
        ASSERT_TRUE(format && format->waveFormat());
        auto wave = *format->waveFormat();
        ASSERT_EQ(wave.nSamplesPerSec, 48000u);
        wave.nSamplesPerSec = c.rate;
        wave.nAvgBytesPerSec = c.rate * wave.nBlockAlign;
        ASSERT_TRUE(converter->SetFormat(MediaType::audio(wave)));

        ASSERT_TRUE(conv.graph.Run());
        if (c.refusal) {
            EXPECT_TRUE(conv.log.waitFor(GraphEventCode::ErrorAbort, 30s));
            conv.graph.Stop();
            EXPECT_NE(conv.graph.lastError().find(c.refusal), std::string::npos)
                << conv.graph.lastError();
            EXPECT_FALSE(QFileInfo::exists(out));
            continue;
        }
        EXPECT_TRUE(conv.log.waitFor(GraphEventCode::Complete, 30s));
        conv.graph.Stop();
        ASSERT_EQ(conv.log.count(GraphEventCode::ErrorAbort), 0) << conv.graph.lastError();

        const auto frames = framesOf(out);
        ASSERT_EQ(frames.size(), std::size_t(kFrames));
        const auto &sys = vidora::kDv625;
        for (std::size_t i = 0; i < frames.size(); ++i) {
            const std::span<const std::uint8_t> bytes(
                reinterpret_cast<const std::uint8_t *>(frames[i].data()),
                std::size_t(frames[i].size()));
            for (int half = 0; half < 2; ++half) {
                const auto pack = dv::readSourcePack(bytes, sys, half);
                ASSERT_TRUE(pack) << "frame " << i;
                EXPECT_EQ(pack->rate, dv::AudioRate::Hz32000) << "frame " << i;
                EXPECT_EQ(pack->samples, 1280) << "frame " << i;
            }
        }
        const ToolResult probe =
            runTool("ffprobe", {"-v", "error", "-select_streams", "a:0", "-show_entries",
                                "stream=sample_rate", "-of", "csv=p=0", out});
        EXPECT_EQ(QString::fromUtf8(probe.out).trimmed(), "32000");
        // 1280 stereo samples of two bytes per frame.
        EXPECT_EQ(decodedAudio(out).size(), kFrames * 1280 * 4);
        EXPECT_EQ(decodeErrors(out), "");
    }
}

} // namespace
