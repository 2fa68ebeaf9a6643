#include "support/dvframe.h"

#include <gtest/gtest.h>

namespace vidora::test {

namespace {

// Section types of the DIF block identifier (ID0 bits 7–5), with bit 4 and
// the arbitrary bits 3–0 set as recorders write them.
constexpr std::uint8_t kSectionHeader = 0x1F;
constexpr std::uint8_t kSectionSubcode = 0x3F;
constexpr std::uint8_t kSectionVaux = 0x56;
constexpr std::uint8_t kSectionAudio = 0x76;
constexpr std::uint8_t kSectionVideo = 0x96;

constexpr int kBlocksPerSequence = 150;
constexpr std::uint8_t kFiller = 0xFF;

void writeBlockId(std::uint8_t *block, std::uint8_t section, int sequence, int number)
{
    block[0] = section;
    block[1] = static_cast<std::uint8_t>((sequence << 4) | 0x07); // DIF sequence, FSC 0, reserved
    block[2] = static_cast<std::uint8_t>(number);                 // block number within its type
}

} // namespace

DvFrame::DvFrame(DvStandard standard) : m_standard(standard)
{
    m_bytes.assign(static_cast<std::size_t>(sequences()) * kSequenceBytes, 0x00);
    for (int s = 0; s < sequences(); ++s) {
        std::uint8_t *sequence = m_bytes.data() + static_cast<std::size_t>(s) * kSequenceBytes;

        std::uint8_t *header = sequence;
        std::fill(header, header + kBlockBytes, kFiller);
        writeBlockId(header, kSectionHeader, s, 0);
        header[3] = standard == DvStandard::Pal ? 0xBF : 0x3F; // DSF, reserved bits 1
        header[4] = 0xF8;                                      // APT 0: IEC 61834
        header[5] = header[6] = header[7] = 0x78;              // TF1–TF3 on, AP1–AP3 0

        for (int b = 0; b < 2; ++b) {
            std::uint8_t *subcode = sequence + (1 + b) * kBlockBytes;
            std::fill(subcode, subcode + kBlockBytes, kFiller);
            writeBlockId(subcode, kSectionSubcode, s, b);
            // Six sync blocks of 8 bytes: ID (FR flag for the first half of the
            // sequences, sync block number), then the pack slot.
            const bool firstHalf = s < sequences() / 2;
            for (int k = 0; k < 6; ++k) {
                std::uint8_t *syncBlock = subcode + 3 + 8 * k;
                syncBlock[0] = firstHalf ? 0x8F : 0x0F;
                syncBlock[1] = static_cast<std::uint8_t>(0xF0 | (b * 6 + k));
                syncBlock[2] = kFiller;
            }
        }
        for (int b = 0; b < 3; ++b) {
            std::uint8_t *vaux = sequence + (3 + b) * kBlockBytes;
            std::fill(vaux, vaux + kBlockBytes, kFiller);
            writeBlockId(vaux, kSectionVaux, s, b);
        }
        // Then 9 groups of one audio block and 15 video blocks.
        int audioNumber = 0;
        int videoNumber = 0;
        for (int b = 6; b < kBlocksPerSequence; ++b) {
            std::uint8_t *block = sequence + b * kBlockBytes;
            if ((b - 6) % 16 == 0) {
                writeBlockId(block, kSectionAudio, s, audioNumber++);
                std::fill(block + 3, block + 8, kFiller);
            } else {
                writeBlockId(block, kSectionVideo, s, videoNumber++);
            }
        }
    }
}

QByteArray DvFrame::toByteArray() const
{
    return QByteArray(reinterpret_cast<const char *>(m_bytes.data()),
                      static_cast<qsizetype>(m_bytes.size()));
}

std::size_t DvFrame::blockOffset(int sequence, int block)
{
    EXPECT_TRUE(sequence >= 0 && sequence < 12) << "sequence " << sequence;
    EXPECT_TRUE(block >= 0 && block < kBlocksPerSequence) << "block " << block;
    return static_cast<std::size_t>(sequence) * kSequenceBytes +
           static_cast<std::size_t>(block) * kBlockBytes;
}

std::size_t DvFrame::packOffset(DvPackSlot slot)
{
    if (slot.block == 1 || slot.block == 2) {
        EXPECT_TRUE(slot.slot >= 0 && slot.slot < 6) << "subcode slot " << slot.slot;
        return blockOffset(slot.sequence, slot.block) + 6 + 8 * static_cast<std::size_t>(slot.slot);
    }
    EXPECT_TRUE(slot.block >= 3 && slot.block <= 5) << "not a pack block: " << slot.block;
    EXPECT_TRUE(slot.slot >= 0 && slot.slot < 15) << "VAUX slot " << slot.slot;
    return blockOffset(slot.sequence, slot.block) + 3 + 5 * static_cast<std::size_t>(slot.slot);
}

std::size_t DvFrame::aauxOffset(int sequence, int audioBlock)
{
    EXPECT_TRUE(audioBlock >= 0 && audioBlock < 9) << "audio block " << audioBlock;
    return blockOffset(sequence, 6 + 16 * audioBlock) + 3;
}

DvFrame &DvFrame::setByte(std::size_t offset, std::uint8_t value)
{
    if (offset < m_bytes.size())
        m_bytes[offset] = value;
    else
        ADD_FAILURE() << "offset " << offset << " beyond the frame";
    return *this;
}

DvFrame &DvFrame::setHeaderByte(int sequence, int index, std::uint8_t value)
{
    EXPECT_TRUE(index >= 3 && index < static_cast<int>(kBlockBytes)) << "header byte " << index;
    return setByte(blockOffset(sequence, 0) + static_cast<std::size_t>(index), value);
}

DvFrame &DvFrame::setPack(DvPackSlot slot, const DvPackBytes &pack)
{
    const std::size_t at = packOffset(slot);
    for (std::size_t i = 0; i < pack.size(); ++i)
        setByte(at + i, pack[i]);
    return *this;
}

DvFrame &DvFrame::setAauxPack(int sequence, int audioBlock, const DvPackBytes &pack)
{
    const std::size_t at = aauxOffset(sequence, audioBlock);
    for (std::size_t i = 0; i < pack.size(); ++i)
        setByte(at + i, pack[i]);
    return *this;
}

DvPackBytes DvFrame::pack(DvPackSlot slot) const
{
    DvPackBytes out{};
    const std::size_t at = packOffset(slot);
    if (at + out.size() <= m_bytes.size())
        std::copy_n(m_bytes.begin() + static_cast<std::ptrdiff_t>(at), out.size(), out.begin());
    return out;
}

DvPackBytes DvFrame::aauxPack(int sequence, int audioBlock) const
{
    DvPackBytes out{};
    const std::size_t at = aauxOffset(sequence, audioBlock);
    if (at + out.size() <= m_bytes.size())
        std::copy_n(m_bytes.begin() + static_cast<std::ptrdiff_t>(at), out.size(), out.begin());
    return out;
}

std::uint8_t bcd(int value)
{
    EXPECT_TRUE(value >= 0 && value <= 99) << "not two decimal digits: " << value;
    return static_cast<std::uint8_t>(((value / 10) << 4) | (value % 10));
}

DvPackBytes timecodePack(int hours, int minutes, int seconds, int frames, std::uint8_t frameFlags)
{
    return {0x13, static_cast<std::uint8_t>((frameFlags & 0xC0) | bcd(frames)),
            static_cast<std::uint8_t>(0x80 | bcd(seconds)),
            static_cast<std::uint8_t>(0x80 | bcd(minutes)),
            static_cast<std::uint8_t>(0xC0 | bcd(hours))};
}

DvPackBytes recDatePack(int day, int month, int twoDigitYear, std::uint8_t weekDay)
{
    return {0x62, 0xFF, static_cast<std::uint8_t>(0xC0 | bcd(day)),
            static_cast<std::uint8_t>(((weekDay & 0x07) << 5) | bcd(month)), bcd(twoDigitYear)};
}

DvPackBytes recTimePack(int hours, int minutes, int seconds)
{
    return {0x63, 0xFF, static_cast<std::uint8_t>(0x80 | bcd(seconds)),
            static_cast<std::uint8_t>(0x80 | bcd(minutes)),
            static_cast<std::uint8_t>(0xC0 | bcd(hours))};
}

DvPackBytes vauxSourceControlPack(int displayMode, std::uint8_t pc2High)
{
    return {0x61, 0x3F, static_cast<std::uint8_t>((pc2High & 0xF8) | (displayMode & 0x07)), 0xFC,
            0xFF};
}

DvPackBytes aauxSourcePack(std::uint8_t pc1, std::uint8_t pc2, std::uint8_t pc3, std::uint8_t pc4)
{
    return {0x50, pc1, pc2, pc3, pc4};
}

QByteArray withoutAudio(QByteArray frame)
{
    constexpr auto kBlock = qsizetype(DvFrame::kBlockBytes);
    constexpr auto kSequence = qsizetype(DvFrame::kSequenceBytes);
    for (qsizetype seq = 0; seq + kSequence <= frame.size(); seq += kSequence)
        for (int k = 0; k < 9; ++k)
            frame.replace(seq + (6 + 16 * k) * kBlock, kBlock, QByteArray(kBlock, '\0'));
    return frame;
}

} // namespace vidora::test
