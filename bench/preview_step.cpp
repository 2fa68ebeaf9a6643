// One step forward in the preview, until the view's sink has the new
// picture: the preview graph (SeekBy(1) on a paused DV type-1 PAL file, which
// flushes, seeks, and cues the frame through the DV splitter, the date
// detector, the DV decoder, the overlay filter, the colour converter and the
// video renderer) next to an in-process peer that does the same seek and
// decode with libavformat and libavcodec and converts the picture to 24-bit
// RGB with libswscale, as a view needs it (the renderer lends its picture to
// the view without a copy, so the peer makes none either). Each runs 500 steps over the same
// file in the same run; compare the medians (goal: preview / peer <= 1.0).
// cpu_ms is the processor time per step of the whole process. BM_PairedRatio
// takes a step of each in turn and gives the median of the ratios of the
// pairs, which a machine whose load changes disturbs less.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include "main/bench_main.h"

#include "platform/media/filters/video_renderer.h"
#include "support/dvfiles.h"
#include "support/tools.h"
#include "video/graphs/viewgraph.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <vector>

namespace {

using vidora::bench::median;

using namespace vidora;
using Clock = std::chrono::steady_clock;

constexpr int kSteps = 500;

struct Input
{
    QTemporaryDir dir;
    QString path;

    Input()
    {
        path = QDir(dir.path()).filePath("pal-type1.avi");
        // ffmpegRawDv makes the frames for the seconds asked: 520 frames.
        test::writeFileBytes(path,
                             test::dvType1Avi(test::ffmpegRawDv(dir.path(), {false, false, 520})));
    }
};

Input &input()
{
    static Input in;
    return in;
}

// Processor time of the whole process (every thread), seconds: what the steps
// cost the machine, which a loaded machine changes less than the time they take.
double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

class CountingView final : public IPreviewView, public media::IVideoSink
{
public:
    std::atomic<int> presented{0};

    void ShowVideoUnavailable(TVideoMessageCode) override {}
    void ShowAudioOnly(TVideoMessageCode) override {}
    void ShowVideo() override {}
    void SetPositionSlider(int) override {}
    std::shared_ptr<media::IVideoSink> VideoSink() override
    {
        return std::shared_ptr<media::IVideoSink>(std::shared_ptr<void>(), this);
    }
    void presentFrame(media::VideoFrame) override { ++presented; }
    // As the view: a picture is let go when the next comes.
    bool borrowsPictures() const override { return true; }
};

void BM_Preview(benchmark::State &state)
{
    CountingView view;
    Tviewdm viewdm;
    TPreviewEntry entry;
    entry.FileName = input().path;
    entry.IsDv = true;
    entry.CodecText = "dvsd";
    entry.AudioText = "48000Hz 16 bits";
    entry.FrameRate = 25;
    if (!viewdm.OpenFile(&entry, &view) || viewdm.StopPosition() < kSteps + 1) {
        state.SkipWithError("the preview could not open the file");
        return;
    }
    viewdm.SeekTo(0);
    for (auto _ : state) {
        std::vector<double> steps;
        viewdm.SeekTo(0);
        const double cpuStart = processCpuSeconds();
        for (int i = 0; i < kSteps; ++i) {
            const int before = view.presented.load();
            const auto start = Clock::now();
            viewdm.SeekBy(1);
            while (view.presented.load() == before)
                QCoreApplication::processEvents();
            steps.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        }
        const double cpu = processCpuSeconds() - cpuStart;
        if (viewdm.CurrentPosition() != kSteps)
            state.SkipWithError("the steps did not reach the frame expected");
        const double m = median(steps);
        state.SetIterationTime(m);
        state.counters["median_ms"] = m * 1e3;
        state.counters["cpu_ms"] = cpu * 1e3 / kSteps;
    }
}

struct Peer
{
    AVFormatContext *format = nullptr;
    AVCodecContext *codec = nullptr;
    SwsContext *sws = nullptr;
    AVPacket *packet = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    int stream = -1;

    ~Peer()
    {
        sws_freeContext(sws);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
        av_packet_free(&packet);
        av_frame_free(&frame);
    }

    bool open(const QString &path)
    {
        if (avformat_open_input(&format, path.toLocal8Bit().constData(), nullptr, nullptr) < 0 ||
            avformat_find_stream_info(format, nullptr) < 0)
            return false;
        stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (stream < 0)
            return false;
        const AVCodec *decoder = avcodec_find_decoder(format->streams[stream]->codecpar->codec_id);
        codec = avcodec_alloc_context3(decoder);
        avcodec_parameters_to_context(codec, format->streams[stream]->codecpar);
        codec->thread_count = 1;
        return avcodec_open2(codec, decoder, nullptr) >= 0;
    }

    // Seeks to frame `n`, decodes it and converts it into `picture`.
    bool show(std::int64_t n, QImage &picture)
    {
        if (av_seek_frame(format, stream, n, AVSEEK_FLAG_BACKWARD) < 0)
            return false;
        avcodec_flush_buffers(codec);
        while (av_read_frame(format, packet) >= 0) {
            const bool ours = packet->stream_index == stream;
            if (ours && avcodec_send_packet(codec, packet) < 0) {
                av_packet_unref(packet);
                return false;
            }
            av_packet_unref(packet);
            if (ours && avcodec_receive_frame(codec, frame) == 0) {
                sws = sws_getCachedContext(
                    sws, frame->width, frame->height, AVPixelFormat(frame->format), frame->width,
                    frame->height, AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
                if (picture.size() != QSize(frame->width, frame->height))
                    picture = QImage(frame->width, frame->height, QImage::Format_BGR888);
                std::uint8_t *rows[1] = {picture.bits()};
                const int strides[1] = {int(picture.bytesPerLine())};
                sws_scale(sws, frame->data, frame->linesize, 0, frame->height, rows, strides);
                return true;
            }
        }
        return false;
    }
};

void BM_Peer(benchmark::State &state)
{
    Peer peer;
    if (!peer.open(input().path)) {
        state.SkipWithError("libavformat could not open the file");
        return;
    }
    QImage picture;
    for (auto _ : state) {
        std::vector<double> steps;
        peer.show(0, picture);
        const double cpuStart = processCpuSeconds();
        for (int i = 1; i <= kSteps; ++i) {
            const auto start = Clock::now();
            if (!peer.show(i, picture)) {
                state.SkipWithError("a frame could not be decoded");
                return;
            }
            benchmark::DoNotOptimize(picture);
            steps.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        }
        const double cpu = processCpuSeconds() - cpuStart;
        const double m = median(steps);
        state.SetIterationTime(m);
        state.counters["median_ms"] = m * 1e3;
        state.counters["cpu_ms"] = cpu * 1e3 / kSteps;
    }
}

// Both in one loop, a preview step and the peer's step in turn, so that a
// change of the machine's load falls on both alike: the median of the ratios
// of each pair.
void BM_PairedRatio(benchmark::State &state)
{
    CountingView view;
    Tviewdm viewdm;
    TPreviewEntry entry;
    entry.FileName = input().path;
    entry.IsDv = true;
    entry.CodecText = "dvsd";
    entry.AudioText = "48000Hz 16 bits";
    entry.FrameRate = 25;
    Peer peer;
    if (!viewdm.OpenFile(&entry, &view) || viewdm.StopPosition() < kSteps + 1 ||
        !peer.open(input().path)) {
        state.SkipWithError("the file could not be opened");
        return;
    }
    QImage picture;
    for (auto _ : state) {
        std::vector<double> ours, theirs, ratios;
        viewdm.SeekTo(0);
        peer.show(0, picture);
        for (int i = 1; i <= kSteps; ++i) {
            const int before = view.presented.load();
            const auto start = Clock::now();
            viewdm.SeekBy(1);
            while (view.presented.load() == before)
                QCoreApplication::processEvents();
            const auto middle = Clock::now();
            if (!peer.show(i, picture)) {
                state.SkipWithError("a frame could not be decoded");
                return;
            }
            benchmark::DoNotOptimize(picture);
            const auto end = Clock::now();
            ours.push_back(std::chrono::duration<double>(middle - start).count());
            theirs.push_back(std::chrono::duration<double>(end - middle).count());
            ratios.push_back(ours.back() / theirs.back());
        }
        const double ratio = median(ratios);
        state.SetIterationTime(ratio * 1e-3);
        state.counters["ratio"] = ratio;
        state.counters["preview_ms"] = median(ours) * 1e3;
        state.counters["peer_ms"] = median(theirs) * 1e3;
    }
}

BENCHMARK(BM_Preview)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Peer)->UseManualTime()->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PairedRatio)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);

} // namespace
