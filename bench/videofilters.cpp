// Per-frame cost of the program's own picture filters on 720 × 576 RGB24
// frames, each against a peer in the same run:
//  - CopyFrame, the peer: one copy of a bottom-up sample into a top-down
//    working picture, the least any of these filters does per frame.
//  - Deinterlace: the deinterlacing filter's in-place pass on an interlaced
//    picture (a moving edge on every row pair and a noisy background).
//  - OverlayHidden: the overlay filter on a frame where its text is not shown
//    (copy in, copy out) — the peer of Overlay.
//  - Overlay/w: the overlay filter drawing two lines with an outline of w
//    pixels ((2w + 1)² + 1 text draws per line).
//  - ContentDetect: the content detector's comparison of one picture.
#include "video/filters/contentdetect.h"
#include "video/filters/dv_deintercore.h"
#include "video/filters/dv_superposercore.h"

#include <QGuiApplication>
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

using namespace vidora;

constexpr int kWidth = 720;
constexpr int kHeight = 576;

std::vector<std::uint8_t> interlacedSample(unsigned seed)
{
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(Rgb24Stride(kWidth)) * kHeight);
    std::mt19937 random(seed);
    for (auto &b : bytes)
        b = static_cast<std::uint8_t>(64 + random() % 32);
    Rgb24View view = sampleView(bytes.data(), bytes.size(), kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y) {
        const int edge = y % 2 == 0 ? 300 : 340; // the fields disagree by 40 pixels
        std::uint8_t *row = view.row(y);
        for (int x = edge; x < kWidth; ++x)
            row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = 220;
    }
    return bytes;
}

void CopyFrame(benchmark::State &state)
{
    const std::vector<std::uint8_t> sample = interlacedSample(1);
    QImage work(kWidth, kHeight, QImage::Format_BGR888);
    for (auto _ : state) {
        CopyRgb24(sampleView(sample.data(), sample.size(), kWidth, kHeight), viewOf(work));
        benchmark::DoNotOptimize(work.constBits());
    }
}
BENCHMARK(CopyFrame);

void Deinterlace(benchmark::State &state)
{
    const std::vector<std::uint8_t> source = interlacedSample(2);
    std::vector<std::uint8_t> sample = source;
    DeinterCore core;
    core.StartStreaming(kWidth, kHeight);
    for (auto _ : state) {
        state.PauseTiming();
        sample = source;
        state.ResumeTiming();
        core.Transform(sampleView(sample.data(), sample.size(), kWidth, kHeight));
        benchmark::DoNotOptimize(sample.data());
    }
}
BENCHMARK(Deinterlace);

void runOverlay(benchmark::State &state, bool show, int outline)
{
    const std::vector<std::uint8_t> input = interlacedSample(3);
    std::vector<std::uint8_t> output(input.size());
    SuperposerCore core;
    TincrustRec options;
    options.Font.Name = QStringLiteral("Arial");
    options.Font.Size = 16;
    options.Font.Bold = 1;
    options.Outline = outline;
    core.SetOptions(options);
    core.StartStreaming(kWidth, kHeight);
    const std::array<QString, 2> texts{QStringLiteral("14.05.2006"), QStringLiteral("10:31:07")};
    for (auto _ : state) {
        core.Transform(sampleView(input.data(), input.size(), kWidth, kHeight),
                       sampleView(output.data(), output.size(), kWidth, kHeight), texts, show);
        benchmark::DoNotOptimize(output.data());
    }
}

void OverlayHidden(benchmark::State &state)
{
    runOverlay(state, false, 0);
}
BENCHMARK(OverlayHidden);

void Overlay(benchmark::State &state)
{
    runOverlay(state, true, static_cast<int>(state.range(0)));
}
BENCHMARK(Overlay)->Arg(0)->Arg(2)->Arg(5);

void ContentDetect(benchmark::State &state)
{
    const std::vector<std::uint8_t> a = interlacedSample(4);
    const std::vector<std::uint8_t> b = interlacedSample(5);
    SceneDetectContenuCore detector;
    detector.StartStreaming();
    bool flip = false;
    for (auto _ : state) {
        benchmark::DoNotOptimize(detector.Transform(flip ? a : b));
        flip = !flip;
    }
}
BENCHMARK(ContentDetect);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // fonts need it
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
