// Per-frame cost of the date-based scene detector and of the DV header
// rewriting over a long stream of camcorder-like PAL frames in memory, far
// larger than the caches. Peers on the same stream in the same run:
//  - PackReadsOnly: the five pack reads the detector makes for each frame and
//    nothing else, the floor of the detector's cost.
//  - HeaderBlockCopy: copying the first 480 bytes of every DIF sequence from a
//    store, the plain copy that the pack-by-pack copy replaces.
#include "formats/dvcodes.h"
#include "main/bench_main.h"
#include "support/dvframe.h"
#include "video/filters/dvheadercore.h"
#include "video/filters/scenedetectcore.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

using namespace vidora;
using namespace vidora::test;

constexpr std::size_t kStreamFrames = 2000; // 288 MB
constexpr std::size_t kFrameBytes = kDv625.frameBytes;

DvFrame camcorderFrame(int index)
{
    DvFrame frame(DvStandard::Pal);
    for (int s = 0; s < frame.sequences(); ++s) {
        for (int b = 0; b < 2; ++b)
            for (int k = 0; k < 6; ++k)
                frame.setPack(subcodeSlot(s, b, k), k % 3 == 0   ? timecodePack(1, 2, 3, index)
                                                    : k % 3 == 1 ? recDatePack(14, 7, 6)
                                                                 : recTimePack(15, 16, index));
        for (int b = 0; b < 3; ++b) {
            frame.setPack(vauxSlot(s, b, 0), {0x60, 0xFF, 0xFF, 0xE0, 0xFF});
            frame.setPack(vauxSlot(s, b, 1), vauxSourceControlPack(0));
            frame.setPack(vauxSlot(s, b, 2), recDatePack(14, 7, 6));
            frame.setPack(vauxSlot(s, b, 3), recTimePack(15, 16, index));
        }
        frame.setAauxPack(s, 0, aauxSourcePack(0xD6, 0x00, 0xE0, 0xC0));
    }
    return frame;
}

std::vector<std::uint8_t> &stream()
{
    static std::vector<std::uint8_t> bytes = [] {
        std::vector<std::uint8_t> made(kStreamFrames * kFrameBytes);
        std::vector<DvFrame> distinct;
        for (int i = 0; i < 25; ++i)
            distinct.push_back(camcorderFrame(i));
        for (std::size_t i = 0; i < kStreamFrames; ++i)
            std::memcpy(made.data() + i * kFrameBytes, distinct[i % 25].bytes().data(),
                        kFrameBytes);
        return made;
    }();
    return bytes;
}

std::span<std::uint8_t> frameAt(std::size_t i)
{
    return std::span(stream()).subspan(i * kFrameBytes, kFrameBytes);
}

void Detector(benchmark::State &state, bool titles)
{
    stream(); // built before the clock runs
    DvSceneDetectCore detector;
    std::size_t titleCalls = 0;
    if (titles) {
        TincrustRec options;
        options.When = kShowAlways;
        options.Line1 = "%D1";
        options.Line2 = "%D2 %T";
        detector.setOptions(options);
    }
    for (auto _ : state) {
        if (titles)
            detector.setOnTitle([&titleCalls](const TDvFrameInfo &, const QString &,
                                              const QString &) { ++titleCalls; });
        detector.startStreaming(kDv625.frameDuration);
        for (std::size_t i = 0; i < kStreamFrames; ++i)
            benchmark::DoNotOptimize(detector.processFrame(frameAt(i)));
        detector.stop();
    }
    benchmark::DoNotOptimize(titleCalls);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kStreamFrames));
}

void PackReadsOnly(benchmark::State &state)
{
    for (auto _ : state) {
        for (std::size_t i = 0; i < kStreamFrames; ++i) {
            const std::span<const std::uint8_t> frame = frameAt(i);
            TDvRecDateTime date;
            TDvTimecode timecode;
            std::int32_t rate = 0, bits = 0, channels = 0;
            bool wide = false, is525 = false;
            benchmark::DoNotOptimize(ReadDvRecDateTime(frame, 12, date));
            benchmark::DoNotOptimize(ReadDvTimecode(frame, 12, timecode));
            benchmark::DoNotOptimize(ReadDvAudioFormat(frame, 12, rate, bits, channels));
            benchmark::DoNotOptimize(ReadDvWideFlag(frame, 12, wide));
            benchmark::DoNotOptimize(ReadDvSystem(frame, is525));
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kStreamFrames));
}

void HeaderRewrite(benchmark::State &state)
{
    DvSceneDetectCore detector;
    detector.startStreaming(kDv625.frameDuration);
    detector.processFrame(frameAt(0));
    DvHeaderCore header(&detector);
    header.setDateOffset(1.0 / 24);
    for (auto _ : state) {
        for (std::size_t i = 0; i < kStreamFrames; ++i)
            benchmark::DoNotOptimize(header.processFrame(frameAt(i)));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kStreamFrames));
}

void HeaderBlockCopy(benchmark::State &state)
{
    DvHeaderStore store;
    for (std::size_t s = 0; s < DvHeaderStore::kEntries; ++s)
        std::memcpy(store.Entries[s].data(), frameAt(0).data() + s * 12000,
                    DvHeaderStore::kEntryBytes);
    for (auto _ : state) {
        for (std::size_t i = 0; i < kStreamFrames; ++i) {
            const auto frame = frameAt(i);
            for (std::size_t s = 0; s < DvHeaderStore::kEntries; ++s)
                std::memcpy(frame.data() + s * 12000, store.Entries[s].data(),
                            DvHeaderStore::kEntryBytes);
            benchmark::ClobberMemory();
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kStreamFrames));
}

BENCHMARK_CAPTURE(Detector, ScenesOnly, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Detector, WithTitles, true)->Unit(benchmark::kMillisecond);
BENCHMARK(PackReadsOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(HeaderRewrite)->Unit(benchmark::kMillisecond);
BENCHMARK(HeaderBlockCopy)->Unit(benchmark::kMillisecond);

} // namespace
