#pragma once

// Finding, decoding and rewriting the data packs that a DV camcorder writes into
// every DIF frame (IEC 61834 / SMPTE 314M): the recording date and time, the time
// code, the audio format, the display mode (4:3 or 16:9) and the line system.
//
// Every routine works in place on one frame held in memory, keeps no state and
// allocates nothing. The caller passes the frame as a span and the number of DIF
// sequences it holds (10 for 525/60, 12 for 625/50, see kDvSystems). Nothing is
// read or written outside the span: a DIF sequence that does not fit wholly in it
// is not searched, so a short buffer answers only from what it holds.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "formats/dvsystem.h"

namespace vidora {

// Time code of a frame, decoded from BCD.
struct TDvTimecode
{
    std::uint8_t Hours = 0;
    std::uint8_t Minutes = 0;
    std::uint8_t Seconds = 0;
    std::uint8_t Frames = 0;
};

// Recording date and time of a frame. Not range-checked: a pack holding
// out-of-range digits decodes to out-of-range values, which the caller's date
// conversion rejects.
struct TDvRecDateTime
{
    std::int32_t Year = 0; // four digits
    std::uint8_t Month = 0;
    std::uint8_t Day = 0;
    std::uint8_t Hour = 0;
    std::uint8_t Minute = 0;
    std::uint8_t Second = 0;
};

// Tens-digit masks of the BCD fields; the remaining high bits carry flags.
inline constexpr std::uint8_t kDvTensFrames =
    0x30; // time code PC1; bit 7 colour frame, bit 6 drop frame
inline constexpr std::uint8_t kDvTensSeconds = 0x70; // time code and time PC2; bit 7 flag
inline constexpr std::uint8_t kDvTensMinutes = 0x70; // time code and time PC3; bit 7 flag
inline constexpr std::uint8_t kDvTensHours = 0x30;   // time code and time PC4; bits 7–6 flags
inline constexpr std::uint8_t kDvTensDay = 0x30;     // date PC2; bits 7–6 reserved
inline constexpr std::uint8_t kDvTensMonth = 0x10;   // date PC3; bits 7–5 day of the week
inline constexpr std::uint8_t kDvTensYear = 0xF0;    // date PC4; two-digit year, no flags

// A BCD field of a pack: tens digit in the bits of tensMask, units in the low nibble.
constexpr int DecodeDvBcd(std::uint8_t byte, std::uint8_t tensMask)
{
    return ((byte & tensMask) >> 4) * 10 + (byte & 0x0F);
}

// Writes value as two BCD digits into a field decoded by DecodeDvBcd with the same
// mask, keeping every other bit. A tens digit the field cannot hold is not
// written: the field keeps its old tens bits.
void EncodeDvBcd(std::uint8_t &byte, unsigned value, std::uint8_t tensMask);

// A pack: PC0 (the pack identifier) then the value bytes PC1 to PC4.
using TDvPack = std::array<std::uint8_t, 5>;
// A DIF block, as copied out by FindAauxPack.
using TDvBlock = std::array<std::uint8_t, 80>;

// Pack identifiers (PC0) the program reads or writes.
inline constexpr std::uint8_t kDvPackTimecode = 0x13;          // subcode and VAUX
inline constexpr std::uint8_t kDvPackAauxSource = 0x50;        // audio blocks
inline constexpr std::uint8_t kDvPackVauxSourceControl = 0x61; // subcode and VAUX
inline constexpr std::uint8_t kDvPackRecDate = 0x62;           // subcode and VAUX
inline constexpr std::uint8_t kDvPackRecTime = 0x63;           // subcode and VAUX

// Copies the first subcode or VAUX pack whose PC0 is `id`. Searched sequence by
// sequence; within one, the 12 subcode packs (block 1 then 2) before the 45 VAUX
// packs (blocks 3, 4, 5). False when nSeq < 1 or no pack matches.
bool FindDvPack(std::span<const std::uint8_t> frame, std::uint8_t id, int nSeq, TDvPack &pack);

// Copies the first audio block (blocks 6, 22, …, 134 of each sequence) whose
// byte 3, the AAUX pack identifier, is `id`.
bool FindAauxPack(std::span<const std::uint8_t> frame, std::uint8_t id, int nSeq, TDvBlock &block);

bool ReadDvTimecode(std::span<const std::uint8_t> frame, int nSeq, TDvTimecode &timecode);

// Reads the recording time (0x63) and date (0x62) packs. When either is not found
// by the search, both are taken from the fixed positions of the VAUX block 5 of
// sequence 0 (frame bytes 458 and 463), provided those hold the pack identifier
// or 0x00. The two-digit year reads 70–99 as 1970–1999 and 00–69 as 2000–2069.
bool ReadDvRecDateTime(std::span<const std::uint8_t> frame, int nSeq, TDvRecDateTime &dateTime);

// Rewrites every recording date and time pack among the subcode and VAUX packs of
// every sequence; audio blocks are not touched. A frame without them is unchanged.
void WriteDvRecDateTime(std::span<std::uint8_t> frame, int nSeq, const TDvRecDateTime &dateTime);

// Rewrite the value bytes of one recording time / date pack in place, keeping
// the flag bits (week day, reserved bits) and PC1. The year is written as its
// last two decimal digits. A tens digit too large for its field leaves the
// field's tens bits as they were.
void WriteDvRecTimePack(std::span<std::uint8_t, 5> pack, const TDvRecDateTime &dateTime);
void WriteDvRecDatePack(std::span<std::uint8_t, 5> pack, const TDvRecDateTime &dateTime);

// Byte 3 of the first header block: 0x3F is 525/60, 0xBF is 625/50. Any other
// value (or a buffer too short to hold it) gives False and leaves is525 as it was.
bool ReadDvSystem(std::span<const std::uint8_t> frame, bool &is525);

// Decodes the AAUX source pack (0x50). True whenever the pack is found; a coding
// the program does not know gives 0 for that value.
bool ReadDvAudioFormat(std::span<const std::uint8_t> frame, int nSeq, std::int32_t &sampleRate,
                       std::int32_t &bits, std::int32_t &channels);

// 16:9 from the display mode of the first VAUX source control pack (0x61):
// mode 2, or mode 7 when the low three bits of byte 12 of the first header block
// are 0. False when there is no such pack.
bool ReadDvWideFlag(std::span<const std::uint8_t> frame, int nSeq, bool &wide);

// Rewrites the display mode of every VAUX source control pack of every sequence:
// 0 for 4:3; for 16:9, 7 when the low three bits of byte 12 of that sequence's
// header block are 0, else 2. The other bits of PC2 are kept.
void SetDvWideFlag(std::span<std::uint8_t> frame, int nSeq, bool wide);

// Offsets within a DIF sequence of its 57 subcode and VAUX pack positions, in
// the search order of FindDvPack: subcode blocks 1 and 2 (six packs each), then
// VAUX blocks 3, 4 and 5 (fifteen each). Each pack is 5 bytes, PC0 first.
std::span<const std::uint16_t> DvSequencePackOffsets();

// The two-digit year of a date pack as a four-digit year: 70–99 → 1970–1999,
// 00–69 → 2000–2069. Values above 99 (invalid BCD) follow the 19xx branch.
constexpr std::int32_t DvYearFromTwoDigits(int twoDigitYear)
{
    return twoDigitYear < 70 ? 2000 + twoDigitYear : 1900 + twoDigitYear;
}

} // namespace vidora
