#include "platform/media/filters/dv_info.h"

#include "formats/dvcodes.h"

namespace vidora::media::dv {

namespace {

constexpr std::uint8_t kPackVauxSource = 0x60;
constexpr std::uint8_t kPackVauxSourceControl = 0x61;
constexpr std::uint32_t k625Flag = 1u << 21; // VAUX source PC3 bit 5: 50 fields
// VAUX source with nothing known but the system: no channel, source code 3
// (none), SD 25 Mbit/s.
constexpr std::uint32_t kBareVauxSource = 0xffc0ffffu;

// PC1..PC4 of a pack as DVINFO stores them, PC1 in the lowest byte.
std::uint32_t payload(const std::uint8_t *pack)
{
    return static_cast<std::uint32_t>(pack[1]) | static_cast<std::uint32_t>(pack[2]) << 8 |
           static_cast<std::uint32_t>(pack[3]) << 16 | static_cast<std::uint32_t>(pack[4]) << 24;
}

// The first AAUX pack `id` among the audio blocks of half `half`.
std::uint32_t aauxWord(std::span<const std::uint8_t> frame, const System &sys, int half,
                       std::uint8_t id)
{
    const int halfSequences = sys.difSequences / 2;
    const auto part = frame.subspan(static_cast<std::size_t>(half * halfSequences) * kSequenceBytes,
                                    static_cast<std::size_t>(halfSequences) * kSequenceBytes);
    TDvBlock block;
    if (!FindAauxPack(part, id, halfSequences, block))
        return kNoPack;
    return payload(block.data() + 3); // bytes 0-2 are the block identifier
}

std::uint32_t vauxWord(std::span<const std::uint8_t> frame, const System &sys, std::uint8_t id,
                       std::uint32_t stored)
{
    TDvPack pack;
    if (!FindDvPack(frame, id, sys.difSequences, pack))
        return stored;
    return payload(pack.data());
}

} // namespace

DvInfo frameDvInfo(std::span<const std::uint8_t> frame, const System &sys, const DvInfo &stored)
{
    DvInfo info = stored;
    if (frame.size() < sys.frameBytes)
        return info;
    frame = frame.first(sys.frameBytes);

    info.dwDVAAuxSrc = aauxWord(frame, sys, 0, kPackAauxSource);
    if (info.dwDVAAuxSrc == kNoPack) {
        info.dwDVAAuxCtl = info.dwDVAAuxSrc1 = info.dwDVAAuxCtl1 = kNoPack;
    } else {
        info.dwDVAAuxCtl = aauxWord(frame, sys, 0, kPackAauxSourceControl);
        info.dwDVAAuxSrc1 = aauxWord(frame, sys, 1, kPackAauxSource);
        info.dwDVAAuxCtl1 = aauxWord(frame, sys, 1, kPackAauxSourceControl);
    }

    std::uint32_t source = vauxWord(frame, sys, kPackVauxSource, stored.dwDVVAuxSrc);
    if (source == 0 || source == kNoPack)
        source = kBareVauxSource;
    info.dwDVVAuxSrc = sys.is525 ? source & ~k625Flag : source | k625Flag;
    info.dwDVVAuxCtl = vauxWord(frame, sys, kPackVauxSourceControl, stored.dwDVVAuxCtl);
    return info;
}

} // namespace vidora::media::dv
