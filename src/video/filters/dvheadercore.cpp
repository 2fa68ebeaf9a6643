#include "video/filters/dvheadercore.h"

#include "formats/converterror.h"
#include "formats/datetime.h"
#include "video/filters/scenedetectcore.h"

#include <algorithm>

namespace vidora {

namespace {

constexpr std::uint8_t kDvPackVauxSource = 0x60; // states the line system; the encoder's own
constexpr std::size_t kPackBytes = 5;

// Frames per second as the time code counts them.
int timecodeRate(int nSeq)
{
    return nSeq == 10 ? 30 : 25;
}

// Scales the BCD frame field of a time code pack (PC1: bits 5–4 tens, 3–0
// units; bits 7–6 are flags and stay) from one rate to another, rounding down.
void scaleTimecodeFrames(std::span<std::uint8_t> pack, int sourceRate, int targetRate)
{
    const std::uint8_t pc1 = pack[1];
    const int units = pc1 & 0x0F;
    const int frames = ((pc1 & 0x30) >> 4) * 10 + units;
    if (units > 9 || frames >= sourceRate)
        return;
    const int scaled = frames * targetRate / sourceRate;
    pack[1] = static_cast<std::uint8_t>((pc1 & 0xC0) | ((scaled / 10) << 4) | (scaled % 10));
}

const DvSystem *systemOfFrameSize(std::size_t bytes)
{
    for (const DvSystem &system : kDvSystems) {
        if (system.frameBytes == bytes)
            return &system;
    }
    return nullptr;
}

} // namespace

void CopyDvHeaderPacks(std::span<std::uint8_t> frame, int nSeq, const DvHeaderStore &store)
{
    const int sourceSeq = store.Sequences;
    if (sourceSeq < 1 || sourceSeq > static_cast<int>(DvHeaderStore::kEntries) || nSeq < 1)
        return;
    const int sequences = std::min<int>(nSeq, static_cast<int>(frame.size() / kDvSequenceBytes));
    const bool rescale = sourceSeq != nSeq;
    for (int i = 0; i < sequences; ++i) {
        const auto &source = store.Entries[static_cast<std::size_t>(i % sourceSeq)];
        const auto target = frame.subspan(static_cast<std::size_t>(i) * kDvSequenceBytes,
                                          DvHeaderStore::kEntryBytes);
        for (const std::uint16_t offset : DvSequencePackOffsets()) {
            const auto from = std::span(source).subspan(offset, kPackBytes);
            const auto to = target.subspan(offset, kPackBytes);
            if (from[0] == kDvPackVauxSource || to[0] == kDvPackVauxSource)
                continue;
            std::copy(from.begin(), from.end(), to.begin());
            if (rescale && to[0] == kDvPackTimecode)
                scaleTimecodeFrames(to, timecodeRate(sourceSeq), timecodeRate(nSeq));
        }
    }
}

bool ShiftDvRecDateTime(std::span<std::uint8_t> frame, int nSeq, double offsetDays)
{
    TDvRecDateTime packs;
    if (!ReadDvRecDateTime(frame, nSeq, packs))
        return false;
    const DateTimeParts parts{{packs.Year, packs.Month, packs.Day},
                              {packs.Hour, packs.Minute, packs.Second, 0}};
    DateTimeValue value = 0.0;
    if (!TryEncodeDateTime(parts, value))
        return false;
    DateTimeParts shifted;
    try {
        // Rounded to the millisecond; the milliseconds are dropped.
        shifted = DecodeDateTime(AddDateOffset(value, offsetDays));
    } catch (const ConvertError &) {
        return false;
    }
    const TDvRecDateTime written{shifted.date.year,
                                 static_cast<std::uint8_t>(shifted.date.month),
                                 static_cast<std::uint8_t>(shifted.date.day),
                                 static_cast<std::uint8_t>(shifted.time.hour),
                                 static_cast<std::uint8_t>(shifted.time.minute),
                                 static_cast<std::uint8_t>(shifted.time.second)};
    WriteDvRecDateTime(frame, nSeq, written);
    return true;
}

DvHeaderCore::DvHeaderCore(const DvSceneDetectCore *detector) : m_detector(detector) {}

bool DvHeaderCore::processFrame(std::span<std::uint8_t> sample, const DvHeaderStore *frameStore)
{
    const DvSystem *system = systemOfFrameSize(sample.size());
    if (system == nullptr)
        return false;
    const int nSeq = system->difSequences;

    if (m_copyHeaders.load() && m_detector != nullptr) {
        if (frameStore != nullptr) {
            CopyDvHeaderPacks(sample, nSeq, *frameStore);
        } else {
            m_detector->copyHeaderStore(m_store);
            CopyDvHeaderPacks(sample, nSeq, m_store);
        }
    }
    if (const double offset = m_dateOffset.load(); offset != 0.0)
        ShiftDvRecDateTime(sample, nSeq, offset);
    if (m_writeAspect.load())
        SetDvWideFlag(sample, nSeq, m_aspectWide.load());
    return true;
}

} // namespace vidora
