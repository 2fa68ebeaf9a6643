// DV decode → RGB24 → DV re-encode of a one-minute PAL file (1500 frames)
// through the media layer (buffer source → DV decoder → DV encoder → null
// renderer, no clock) next to the ffmpeg command line doing the same work
// (`ffmpeg -threads N -i in.dv -vf format=bgr24 -c:v dvvideo`), with the
// same slice-thread count, on the same file, in one run. Compare the medians
// of the repetitions: the goal is layer / ffmpeg ≤ 1.2. The layer's source
// holds the frames in memory; ffmpeg reads them from the (cached) file.
//
// BM_Conversion times the colour conversions of DV decoding and encoding
// alone, per picture: one band (one sws_scale over the whole picture) next
// to the banded scaler with 2, 4 and the codec filters' thread count bands.
extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
}

#include "main/bench_main.h"

#include "formats/dvsystem.h"
#include "platform/media/filters/banded_scaler.h"
#include "platform/media/filters/dv_decoder.h"
#include "platform/media/filters/dv_encoder.h"
#include "platform/media/filters/null_renderer.h"
#include "platform/media/graph.h"
#include "support/media_buffer_source.h"
#include "support/media_filters.h"
#include "support/tools.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <chrono>
#include <random>

namespace {

using namespace vidora::media;
using vidora::kDv625;
using namespace vidora::test;

struct Input
{
    QTemporaryDir dir;
    QString path;
    std::vector<QByteArray> frames;

    Input()
    {
        path = dir.filePath("in.dv");
        runTool("ffmpeg",
                {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=size=720x576:rate=25", "-t",
                 "60", "-c:v", "dvvideo", "-pix_fmt", "yuv420p", "-f", "dv", path});
        frames = splitDvFrames(readFileBytes(path));
    }
};

Input &input()
{
    static Input in;
    return in;
}

MediaType palDv()
{
    VideoInfoHeader info;
    info.AvgTimePerFrame = kDv625.frameDuration;
    info.bmiHeader.biWidth = kDv625.width;
    info.bmiHeader.biHeight = kDv625.height;
    info.bmiHeader.biCompression = subtype::Dvsd;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biSizeImage = static_cast<std::uint32_t>(kDv625.frameBytes);
    return MediaType::video(subtype::Dvsd, info);
}

void BM_Layer(benchmark::State &state)
{
    const int threads = static_cast<int>(state.range(0));
    const auto &frames = input().frames;
    if (frames.size() != 1500) {
        state.SkipWithError("the input file could not be made");
        return;
    }
    for (auto _ : state) {
        auto executor = std::make_shared<QueueEventExecutor>();
        FilterGraph graph(executor);
        EventLog log(graph, executor);
        BufferSource::Stream options;
        options.type = palDv();
        options.buffers = frames;
        auto source = std::make_shared<BufferSource>(options);
        auto decoder = std::make_shared<DvDecoderFilter>();
        decoder->setThreadCount(threads);
        auto encoder = std::make_shared<DvEncoderFilter>();
        encoder->setThreadCount(threads);
        encoder->put_FormatSettings(DVENCODERVIDEOFORMAT_PAL, DVENCODERFORMAT_DVSD,
                                    DVENCODERRESOLUTION_720x480, false);
        auto sink = std::make_shared<NullRenderer>();
        graph.AddFilter(source, "source");
        graph.AddFilter(decoder, "decoder");
        graph.AddFilter(encoder, "encoder");
        graph.AddFilter(sink, "sink");
        if (!graph.Connect(source->outputAt(0), decoder->input()) ||
            !graph.Connect(decoder->output(), encoder->input()) ||
            !graph.Connect(encoder->output(), sink->input())) {
            state.SkipWithError("the graph cannot be built");
            return;
        }
        const auto start = std::chrono::steady_clock::now();
        graph.Run();
        const bool complete = log.waitFor(GraphEventCode::Complete, std::chrono::minutes(5));
        const auto end = std::chrono::steady_clock::now();
        graph.Stop();
        if (!complete) {
            state.SkipWithError("the graph did not complete");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    state.counters["frames/s"] = benchmark::Counter(
        1500.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Ffmpeg(benchmark::State &state)
{
    const QString threads = QString::number(state.range(0));
    Input &in = input();
    const QString out = in.dir.filePath("out.dv");
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const auto r = runTool("ffmpeg", {"-v", "error", "-y", "-threads", threads, "-i", in.path,
                                          "-vf", "format=bgr24", "-c:v", "dvvideo", "-threads",
                                          threads, "-pix_fmt", "yuv420p", "-an", "-f", "dv", out});
        const auto end = std::chrono::steady_clock::now();
        if (r.exitCode != 0) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
}

struct Conversion
{
    const char *name;
    AVPixelFormat in;
    AVPixelFormat out;
    int height;
};

constexpr Conversion Conversions[] = {
    {"PAL decode yuv420p->bgr24", AV_PIX_FMT_YUV420P, AV_PIX_FMT_BGR24, 576},
    {"NTSC decode yuv411p->bgr24", AV_PIX_FMT_YUV411P, AV_PIX_FMT_BGR24, 480},
    {"PAL encode bgr24->yuv420p", AV_PIX_FMT_BGR24, AV_PIX_FMT_YUV420P, 576},
    {"NTSC encode bgr24->yuv411p", AV_PIX_FMT_BGR24, AV_PIX_FMT_YUV411P, 480},
};

// Arguments: the conversion, and the most bands (0: the codec filters'
// thread count).
void BM_Conversion(benchmark::State &state)
{
    const Conversion &c = Conversions[state.range(0)];
    const int bands = state.range(1) > 0 ? static_cast<int>(state.range(1))
                                         : vidora::media::ffmpeg::defaultThreadCount();
    using vidora::media::ffmpeg::BandedScaler;
    BandedScaler scaler({720, c.height, c.in}, {720, c.height, c.out}, SWS_BICUBIC, bands);
    std::uint8_t *src[4];
    std::uint8_t *dst[4];
    int srcStride[4];
    int dstStride[4];
    const int srcSize = av_image_alloc(src, srcStride, 720, c.height, c.in, 32);
    const int dstSize = av_image_alloc(dst, dstStride, 720, c.height, c.out, 32);
    if (!scaler.isValid() || srcSize < 0 || dstSize < 0) {
        state.SkipWithError("the conversion cannot be set up");
    } else {
        std::mt19937 random(1);
        for (int i = 0; i < srcSize; ++i)
            src[0][i] = static_cast<std::uint8_t>(random());
        for (auto _ : state)
            if (!scaler.scale(src, srcStride, dst, dstStride))
                state.SkipWithError("the conversion failed");
        state.SetLabel(std::string(c.name) + ", " + std::to_string(scaler.bandCount()) + " bands");
    }
    av_freep(&src[0]);
    av_freep(&dst[0]);
}

BENCHMARK(BM_Conversion)
    ->ArgsProduct({{0, 1, 2, 3}, {1, 2, 4, 0}})
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Layer)->Arg(1)->Arg(4)->UseManualTime()->Iterations(1)->Repetitions(5)->Unit(
    benchmark::kMillisecond);
BENCHMARK(BM_Ffmpeg)->Arg(1)->Arg(4)->UseManualTime()->Iterations(1)->Repetitions(5)->Unit(
    benchmark::kMillisecond);

} // namespace
