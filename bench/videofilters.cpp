// Per-frame cost of the program's own picture filters on 720 × 576 RGB24
// frames, each against a peer in the same run:
//  - CopyFrame, the peer: one copy of a bottom-up sample into a top-down
//    working picture, the least any of these filters does per frame.
//  - Deinterlace: the deinterlacing filter's in-place pass on an interlaced
//    picture (a moving edge on every row pair and a noisy background).
//  - DeinterlaceFootage: the overlay filter's pass during playback, into its
//    working picture, on a frame like camcorder footage: a smooth background
//    with faint noise and still vertical edges, and a textured subject panning
//    between the fields over a third of the picture (combed where it moves).
//  - OverlayHidden: the overlay filter on a frame where its text is not shown
//    (copy in, copy out) — the peer of Overlay.
//  - Overlay/w: the overlay filter drawing the same two lines with an outline
//    of w pixels on every frame, as while the date and time stay (the text is
//    rendered once, then composited).
//  - OverlayNewText/w: the same with a text that changes on every frame, as
//    when the time code is shown (rendered and composited on every frame).
//  - OverlayDirect/w, the peer of both: the copy in and out with the two
//    lines drawn straight onto the picture ((2w + 1)² + 1 text draws a line).
//  - ContentDetect: the content detector's comparison of one picture.
#include "main/bench_main.h"
#include "video/filters/contentdetect.h"
#include "video/filters/deinter.h"
#include "video/filters/dv_deintercore.h"
#include "video/filters/dv_superposercore.h"
#include "video/filters/overlayraster.h"

#include <QGuiApplication>
#include <benchmark/benchmark.h>

#include <random>
#include <utility>
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

std::vector<std::uint8_t> footageSample(unsigned seed)
{
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(Rgb24Stride(kWidth)) * kHeight);
    std::mt19937 random(seed);
    Rgb24View view = sampleView(bytes.data(), bytes.size(), kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y) {
        std::uint8_t *row = view.row(y);
        // The second field saw the subject 6 pixels further right.
        const int pan = y % 2 == 0 ? 0 : 6;
        for (int x = 0; x < kWidth; ++x) {
            int blue = 40 + x / 8;
            int green = 60 + y / 6;
            int red = 80 + (x + y) / 16;
            if (x % 90 < 3) { // posts that do not move
                blue += 100;
                green += 100;
                red += 100;
            }
            if (x >= 200 && x < 520 && y >= 100 && y < 460) {
                const int patch = ((x - pan) / 12 + y / 12 * 7) % 5;
                blue = 30 + 40 * patch;
                green = 200 - 35 * patch;
                red = 90 + 25 * patch;
            }
            const int noise = static_cast<int>(random() % 5) - 2;
            row[3 * x] = static_cast<std::uint8_t>(blue + noise);
            row[3 * x + 1] = static_cast<std::uint8_t>(green + noise);
            row[3 * x + 2] = static_cast<std::uint8_t>(red - noise);
        }
    }
    return bytes;
}

void DeinterlaceFootage(benchmark::State &state)
{
    const std::vector<std::uint8_t> source = footageSample(6);
    QImage work;
    DeinterlaceMasks masks;
    for (auto _ : state) {
        vidora::Deinterlace(sampleView(source.data(), source.size(), kWidth, kHeight), work, masks);
        benchmark::DoNotOptimize(work.constBits());
    }
}
BENCHMARK(DeinterlaceFootage);

TincrustRec overlayOptions(int outline)
{
    TincrustRec options;
    options.Font.Name = QStringLiteral("Arial");
    options.Font.Size = 16;
    options.Font.Bold = 1;
    options.Outline = outline;
    return options;
}

const std::array<QString, 2> kTexts{QStringLiteral("14.05.2006"), QStringLiteral("10:31:07")};

void runOverlay(benchmark::State &state, bool show, int outline, bool newText = false)
{
    const std::vector<std::uint8_t> input = interlacedSample(3);
    std::vector<std::uint8_t> output(input.size());
    SuperposerCore core;
    core.SetOptions(overlayOptions(outline));
    core.StartStreaming(kWidth, kHeight);
    std::array<QString, 2> texts = kTexts;
    int frame = 0;
    for (auto _ : state) {
        if (newText)
            texts[1] = QStringLiteral("10:31:07:%1").arg(frame++ % 25, 2, 10, QLatin1Char('0'));
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

void OverlayNewText(benchmark::State &state)
{
    runOverlay(state, true, static_cast<int>(state.range(0)), true);
}
BENCHMARK(OverlayNewText)->Arg(0)->Arg(2)->Arg(5);

void OverlayDirect(benchmark::State &state)
{
    const std::vector<std::uint8_t> input = interlacedSample(3);
    std::vector<std::uint8_t> output(input.size());
    QImage work(kWidth, kHeight, QImage::Format_BGR888);
    const TincrustRec options = overlayOptions(static_cast<int>(state.range(0)));
    const QFont font = OverlayFont(options.Font);
    const QFontMetrics metrics(font, &work);
    OverlayPlacement placement;
    placement.frameWidth = kWidth;
    placement.frameHeight = kHeight;
    placement.lineStep = OverlayLineStep(options.Font.Size);
    placement.outline = options.Outline;
    placement.color = options.Font.Color;
    const OverlayLayout layout = LayoutOverlay(
        kTexts, {MeasureOverlayLine(metrics, kTexts[0]), MeasureOverlayLine(metrics, kTexts[1])},
        placement);
    for (auto _ : state) {
        CopyRgb24(sampleView(input.data(), input.size(), kWidth, kHeight), viewOf(work));
        DrawOverlay(work, layout, font);
        CopyRgb24(viewOf(std::as_const(work)),
                  sampleView(output.data(), output.size(), kWidth, kHeight));
        benchmark::DoNotOptimize(output.data());
    }
}
BENCHMARK(OverlayDirect)->Arg(0)->Arg(2)->Arg(5);

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
