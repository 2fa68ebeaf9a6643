#include "video/filters/dvheadercore.h"

#include "formats/converterror.h"
#include "formats/datetime.h"
#include "video/filters/scenedetectcore.h"

#include <algorithm>
#include <array>

namespace vidora {

namespace {

constexpr std::uint8_t kDvPackVauxSource = 0x60; // states the line system; the encoder's own
constexpr std::size_t kPackBytes = 5;

// Frames per second as the time code of a frame of nSeq sequences counts them.
int timecodeRate(int nSeq)
{
    return DvSystemByLines(nSeq == kDv525.difSequences).timecodeRate;
}

// Scales the frame field of a time code pack from one rate to another, rounding
// down; the flags beside the digits stay.
void scaleTimecodeFrames(std::span<std::uint8_t> pack, int sourceRate, int targetRate)
{
    const int frames = DecodeDvBcd(pack[1], kDvTensFrames);
    if ((pack[1] & 0x0F) > 9 || frames >= sourceRate)
        return;
    EncodeDvBcd(pack[1], static_cast<unsigned>(frames * targetRate / sourceRate), kDvTensFrames);
}

constexpr std::uint8_t kNoPack = 0xFF;      // a slot's filler
constexpr std::size_t kSubcodePacks = 12;   // pack slots of the two subcode blocks
constexpr std::size_t kVauxBlockPacks = 15; // pack slots of one VAUX block
constexpr std::size_t kVauxPacks = 3 * kVauxBlockPacks;

// The packs that follow the source pack in a camcorder's main VAUX area, in
// their order there: source control (display mode), recording date, time.
constexpr std::array<std::uint8_t, 3> kMainAreaFollowers{kDvPackVauxSourceControl, kDvPackRecDate,
                                                         kDvPackRecTime};

// The first pack `id` of the store, VAUX before subcode, looked for in
// sequence `first` and then in the others; null when there is none.
const std::uint8_t *storedPack(const DvHeaderStore &store, int first, std::uint8_t id)
{
    const auto offsets = DvSequencePackOffsets();
    for (int n = 0; n < store.Sequences; ++n) {
        const auto &entry = store.Entries[static_cast<std::size_t>((first + n) % store.Sequences)];
        for (const auto part : {offsets.subspan(kSubcodePacks), offsets.first(kSubcodePacks)})
            for (const std::uint16_t offset : part)
                if (entry[offset] == id)
                    return &entry[offset];
    }
    return nullptr;
}

// Readers of DV (mediainfo among them) take a frame's display mode and
// recording date from the packs that follow its first VAUX source pack, as a
// camcorder's main VAUX area lays them out: 0x60, 0x61, 0x62, 0x63. A
// re-encoded frame keeps its encoder's 0x60 packs, at other places than the
// source's, so after each of them the source's own 0x61, 0x62 and 0x63 are
// written (those the source has, in that order, within the VAUX block and
// never over a 0x60). A pack that was copied into one of those slots moves to
// a slot of the sequence's VAUX left empty; with none left it is dropped.
void followSourcePacks(std::span<std::uint8_t> sequence, const DvHeaderStore &store, int from)
{
    std::array<const std::uint8_t *, kMainAreaFollowers.size()> followers{};
    bool any = false;
    for (std::size_t i = 0; i < followers.size(); ++i) {
        followers[i] = storedPack(store, from, kMainAreaFollowers[i]);
        any = any || followers[i] != nullptr;
    }
    if (!any)
        return;
    const auto vaux = DvSequencePackOffsets().subspan(kSubcodePacks, kVauxPacks);
    const auto slot = [&](std::size_t index) { return sequence.subspan(vaux[index], kPackBytes); };
    std::array<bool, kVauxPacks> written{};
    std::array<TDvPack, kVauxPacks> displaced;
    std::size_t displacedCount = 0;
    for (std::size_t source = 0; source < kVauxPacks; ++source) {
        if (slot(source)[0] != kDvPackVauxSource)
            continue;
        const std::size_t blockEnd = (source / kVauxBlockPacks + 1) * kVauxBlockPacks;
        for (std::size_t i = 0; i < followers.size(); ++i) {
            const std::size_t at = source + 1 + i;
            if (at >= blockEnd || slot(at)[0] == kDvPackVauxSource)
                break;
            if (followers[i] == nullptr)
                continue;
            const auto to = slot(at);
            const bool follower = std::find(kMainAreaFollowers.begin(), kMainAreaFollowers.end(),
                                            to[0]) != kMainAreaFollowers.end();
            if (to[0] != kNoPack && !follower && !written[at])
                std::copy(to.begin(), to.end(), displaced[displacedCount++].begin());
            std::copy_n(followers[i], kPackBytes, to.begin());
            written[at] = true;
        }
    }
    std::size_t next = 0;
    for (std::size_t i = 0; i < displacedCount; ++i) {
        while (next < kVauxPacks && (written[next] || slot(next)[0] != kNoPack))
            ++next;
        if (next == kVauxPacks)
            break;
        std::copy(displaced[i].begin(), displaced[i].end(), slot(next).begin());
        written[next] = true;
    }
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
        followSourcePacks(target, store, i % sourceSeq);
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
