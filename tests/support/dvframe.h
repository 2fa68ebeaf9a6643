#pragma once

// A DV frame builder for tests: a blank but structurally correct DIF frame of
// either system, with packs placed byte by byte. It knows the frame layout on
// its own (IEC 61834-2) and never calls the program's DV routines, so fixtures
// stay independent of the code they test.
//
// Blank means: in every DIF sequence, the header block (system byte 0xBF for
// 625/50, 0x3F for 525/60), two subcode, three VAUX, nine audio and 135 video
// blocks in their standard order, each with its 3-byte block identifier; every
// pack slot (subcode, VAUX, AAUX) holds the filler 0xFF, as does the rest of the
// header and VAUX blocks and of the subcode blocks apart from their sync block
// IDs; audio and video payloads are zero.
#include <QByteArray>

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vidora::test {

using DvPackBytes = std::array<std::uint8_t, 5>;

enum class DvStandard {
    Ntsc, // 525 lines, 60 fields: 10 DIF sequences, 120000 bytes
    Pal,  // 625 lines, 50 fields: 12 DIF sequences, 144000 bytes
};

// Where a subcode or VAUX pack sits: block 1–2 (subcode, slot 0–5) or 3–5
// (VAUX, slot 0–14) of DIF sequence `sequence`.
struct DvPackSlot
{
    int sequence = 0;
    int block = 1;
    int slot = 0;
};

inline DvPackSlot subcodeSlot(int sequence, int subcodeBlock, int slot)
{
    return {sequence, 1 + subcodeBlock, slot}; // subcodeBlock 0–1
}
inline DvPackSlot vauxSlot(int sequence, int vauxBlock, int slot)
{
    return {sequence, 3 + vauxBlock, slot}; // vauxBlock 0–2
}

class DvFrame
{
public:
    static constexpr std::size_t kBlockBytes = 80;
    static constexpr std::size_t kSequenceBytes = 150 * kBlockBytes;

    explicit DvFrame(DvStandard standard);

    DvStandard standard() const { return m_standard; }
    int sequences() const { return m_standard == DvStandard::Pal ? 12 : 10; }
    std::size_t size() const { return m_bytes.size(); }
    std::span<std::uint8_t> bytes() { return m_bytes; }
    std::span<const std::uint8_t> bytes() const { return m_bytes; }
    QByteArray toByteArray() const;

    // Byte offsets in the frame; out-of-range arguments fail the current test.
    static std::size_t blockOffset(int sequence, int block);
    static std::size_t packOffset(DvPackSlot slot);
    static std::size_t aauxOffset(int sequence, int audioBlock); // audioBlock 0–8

    DvFrame &setByte(std::size_t offset, std::uint8_t value);
    DvFrame &setHeaderByte(int sequence, int index, std::uint8_t value);
    DvFrame &setPack(DvPackSlot slot, const DvPackBytes &pack);
    DvFrame &setAauxPack(int sequence, int audioBlock, const DvPackBytes &pack);

    DvPackBytes pack(DvPackSlot slot) const;
    DvPackBytes aauxPack(int sequence, int audioBlock) const;

private:
    DvStandard m_standard;
    std::vector<std::uint8_t> m_bytes;
};

// Packs made from plain numbers, each digit written as BCD the way camcorders
// do, with the flag bits given or set to 1 (IEC 61834-4 leaves unused flags 1).
std::uint8_t bcd(int value); // 0–99 → 0x00–0x99

// 0x13: time code h:m:s:f; PC1 bits 7–6 (colour frame, drop frame) from flags.
DvPackBytes timecodePack(int hours, int minutes, int seconds, int frames,
                         std::uint8_t frameFlags = 0x00);
// 0x62: recording date; PC1 time zone unset (0xFF), PC2 bits 7–6 set, PC3 bits
// 7–5 the week day (7: unknown).
DvPackBytes recDatePack(int day, int month, int twoDigitYear, std::uint8_t weekDay = 7);
// 0x63: recording time; PC1 frames unset (0xFF), flag bits set.
DvPackBytes recTimePack(int hours, int minutes, int seconds);
// 0x61: VAUX source control with display mode 0–7 in PC2 bits 2–0; PC2's other
// bits as a camcorder writes them (0xC8: frame/field and interlace flags).
DvPackBytes vauxSourceControlPack(int displayMode, std::uint8_t pc2High = 0xC8);
// 0x50: AAUX source from raw value bytes.
DvPackBytes aauxSourcePack(std::uint8_t pc1, std::uint8_t pc2, std::uint8_t pc3, std::uint8_t pc4);

// A DIF frame with the nine audio blocks of each whole sequence zeroed
// (blocks 6, 22, 38, … of 150: one before every 15 video blocks): frames that
// differ only in their sound compare equal so.
QByteArray withoutAudio(QByteArray frame);

} // namespace vidora::test
