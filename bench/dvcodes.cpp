// Throughput of the DV pack readers over a long DV stream in memory: for every
// frame the system, recording date and time, time code, audio format and display
// mode are read, as the date-based scene detector does. Two mixes:
//  - Camcorder: packs where camcorders put them, found in the first DIF sequence.
//  - NoPacks: no date, time, time code or control packs at all and the AAUX
//    source pack only in the last audio block, so every search runs through all
//    sequences and the date falls back to the fixed positions (worst case).
// A peer does the same lookups with a plain position-by-position pack search.
// The stream is far larger than the caches, as a real file read sample by
// sample is. The readers must not allocate: the benchmark counts allocations
// made while it runs and fails if there are any.
#include "formats/dvcodes.h"
#include "main/bench_main.h"
#include "support/dvframe.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <vector>

namespace {

std::atomic<long long> g_allocations{0};

} // namespace

// Counting global allocation functions for this benchmark program only.
void *operator new(std::size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void *p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept
{
    std::free(p);
}
void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}

namespace {

using namespace vidora;
using namespace vidora::test;

constexpr std::size_t kStreamFrames = 10000;

enum class Mix {
    Camcorder,
    NoPacks,
};

DvFrame camcorderFrame(int index)
{
    DvFrame frame(DvStandard::Pal);
    const int frames = index % 25;
    const bool wide = index % 2 == 1;
    for (int s = 0; s < frame.sequences(); ++s) {
        for (int b = 0; b < 2; ++b) {
            for (int k = 0; k < 6; ++k) {
                // Second half of the sequences: time code, date, time in turn.
                const int kind = s < frame.sequences() / 2 ? 0 : k % 3;
                frame.setPack(subcodeSlot(s, b, k), kind == 0   ? timecodePack(1, 2, 3, frames)
                                                    : kind == 1 ? recDatePack(14, 7, 3 + index)
                                                                : recTimePack(15, 16, 17));
            }
        }
        for (int b = 0; b < 3; ++b) {
            for (int first : {0, 9}) {
                frame.setPack(vauxSlot(s, b, first), {0x60, 0xFF, 0xFF, 0xE0, 0xFF});
                frame.setPack(vauxSlot(s, b, first + 1), vauxSourceControlPack(wide ? 2 : 0));
                frame.setPack(vauxSlot(s, b, first + 2), recDatePack(14, 7, 3 + index));
                frame.setPack(vauxSlot(s, b, first + 3), recTimePack(15, 16, 17));
            }
        }
        frame.setAauxPack(s, s % 2 == 0 ? 3 : 0,
                          aauxSourcePack(0xD6, 0x00, 0xE0, index % 2 == 0 ? 0xC0 : 0xC8));
    }
    return frame;
}

DvFrame frameWithoutPacks(int index)
{
    DvFrame frame(DvStandard::Pal);
    frame.setAauxPack(frame.sequences() - 1, 8,
                      aauxSourcePack(0xD6, 0x00, 0xE0, index % 2 == 0 ? 0xC0 : 0xD0));
    return frame;
}

struct Stream
{
    Mix mix;
    std::size_t frameBytes = 0;
    int sequences = 0;
    std::unique_ptr<std::uint8_t[]> bytes;
};

// One stream at a time (10000 PAL frames are 1.44 GB).
const Stream &streamFor(Mix mix)
{
    static std::optional<Stream> stream;
    if (stream && stream->mix == mix)
        return *stream;
    stream.reset();
    std::vector<DvFrame> distinct;
    for (int i = 0; i < 4; ++i)
        distinct.push_back(mix == Mix::Camcorder ? camcorderFrame(i) : frameWithoutPacks(i));
    Stream made{mix, distinct[0].size(), distinct[0].sequences(),
                std::make_unique_for_overwrite<std::uint8_t[]>(kStreamFrames * distinct[0].size())};
    for (std::size_t i = 0; i < kStreamFrames; ++i) {
        const DvFrame &frame = distinct[i % distinct.size()];
        std::memcpy(made.bytes.get() + i * made.frameBytes, frame.bytes().data(), made.frameBytes);
    }
    stream = std::move(made);
    return *stream;
}

void readEveryFrame(benchmark::State &state, Mix mix)
{
    const Stream &stream = streamFor(mix);
    const long long allocationsBefore = g_allocations.load();
    std::size_t dated = 0;
    for (auto _ : state) {
        for (std::size_t i = 0; i < kStreamFrames; ++i) {
            const std::span<const std::uint8_t> frame(stream.bytes.get() + i * stream.frameBytes,
                                                      stream.frameBytes);
            bool is525 = false;
            TDvRecDateTime date;
            TDvTimecode timecode;
            std::int32_t rate = 0, bits = 0, channels = 0;
            bool wide = false;
            benchmark::DoNotOptimize(ReadDvSystem(frame, is525));
            const int nSeq = is525 ? 10 : 12;
            dated += ReadDvRecDateTime(frame, nSeq, date) ? 1 : 0;
            benchmark::DoNotOptimize(ReadDvTimecode(frame, nSeq, timecode));
            benchmark::DoNotOptimize(ReadDvAudioFormat(frame, nSeq, rate, bits, channels));
            benchmark::DoNotOptimize(ReadDvWideFlag(frame, nSeq, wide));
            benchmark::DoNotOptimize(date);
            benchmark::DoNotOptimize(timecode);
            benchmark::DoNotOptimize(wide);
        }
    }
    const long long allocations = g_allocations.load() - allocationsBefore;
    if (allocations != 0)
        state.SkipWithError("the DV pack readers allocated memory");
    const bool expectDates = mix == Mix::Camcorder;
    if ((dated != 0) != expectDates)
        state.SkipWithError("unexpected date result for this mix");
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kStreamFrames));
    state.counters["allocations"] = static_cast<double>(allocations);
}

// Peer: the same lookups with the pack search done position by position, 57
// tests per DIF sequence in search order, as the search order reads plainly.
bool findPackPositionByPosition(std::span<const std::uint8_t> frame, std::uint8_t id, int nSeq,
                                TDvPack &pack)
{
    const std::size_t sequences =
        nSeq < 1 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(nSeq), frame.size() / 12000);
    for (std::size_t s = 0; s < sequences; ++s) {
        const std::uint8_t *sequence = frame.data() + s * 12000;
        for (std::size_t block = 1; block <= 5; ++block) {
            const bool subcode = block <= 2;
            const std::size_t first = subcode ? 6 : 3;
            const std::size_t stride = subcode ? 8 : 5;
            const std::size_t count = subcode ? 6 : 15;
            for (std::size_t k = 0; k < count; ++k) {
                const std::uint8_t *p = sequence + block * 80 + first + k * stride;
                if (*p == id) {
                    std::copy_n(p, pack.size(), pack.begin());
                    return true;
                }
            }
        }
    }
    return false;
}

void readEveryFramePositionByPosition(benchmark::State &state, Mix mix)
{
    const Stream &stream = streamFor(mix);
    for (auto _ : state) {
        for (std::size_t i = 0; i < kStreamFrames; ++i) {
            const std::span<const std::uint8_t> frame(stream.bytes.get() + i * stream.frameBytes,
                                                      stream.frameBytes);
            bool is525 = false;
            benchmark::DoNotOptimize(ReadDvSystem(frame, is525));
            const int nSeq = is525 ? 10 : 12;
            TDvPack time, date, timecode, control;
            if (!(findPackPositionByPosition(frame, 0x63, nSeq, time) &&
                  findPackPositionByPosition(frame, 0x62, nSeq, date)))
                benchmark::DoNotOptimize(frame[458] | frame[463]);
            benchmark::DoNotOptimize(findPackPositionByPosition(frame, 0x13, nSeq, timecode));
            std::int32_t rate = 0, bits = 0, channels = 0;
            benchmark::DoNotOptimize(ReadDvAudioFormat(frame, nSeq, rate, bits, channels));
            benchmark::DoNotOptimize(findPackPositionByPosition(frame, 0x61, nSeq, control));
            benchmark::DoNotOptimize(time);
            benchmark::DoNotOptimize(date);
            benchmark::DoNotOptimize(timecode);
            benchmark::DoNotOptimize(control);
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kStreamFrames));
}

void BM_DvPacks_CamcorderFrames(benchmark::State &state)
{
    readEveryFrame(state, Mix::Camcorder);
}
void BM_DvPacks_NoPacksWorstCase(benchmark::State &state)
{
    readEveryFrame(state, Mix::NoPacks);
}

void BM_Peer_PositionByPosition_CamcorderFrames(benchmark::State &state)
{
    readEveryFramePositionByPosition(state, Mix::Camcorder);
}
void BM_Peer_PositionByPosition_NoPacksWorstCase(benchmark::State &state)
{
    readEveryFramePositionByPosition(state, Mix::NoPacks);
}

// Grouped by mix so that each 1.44 GB stream is built once.
BENCHMARK(BM_DvPacks_CamcorderFrames)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Peer_PositionByPosition_CamcorderFrames)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DvPacks_NoPacksWorstCase)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Peer_PositionByPosition_NoPacksWorstCase)->Unit(benchmark::kMillisecond);

} // namespace
