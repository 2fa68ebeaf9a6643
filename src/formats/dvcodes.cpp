#include "formats/dvcodes.h"

#include <algorithm>
#include <cstring>

namespace vidora {

namespace {

// Frame geometry (IEC 61834-2): a frame is a run of DIF sequences, each 150 DIF
// blocks of 80 bytes; every block begins with a 3-byte block identifier.
constexpr std::size_t kDifBlockBytes = 80;
constexpr std::size_t kDifBlocksPerSequence = 150;
constexpr std::size_t kDifSequenceBytes = kDifBlockBytes * kDifBlocksPerSequence; // 12000
static_assert(kDifSequenceBytes == kDvSequenceBytes);
constexpr std::size_t kPackBytes = 5;

// Header block (block 0 of each sequence).
constexpr std::size_t kHeaderSystemByte = 3;   // DSF: 625/50 or 525/60
constexpr std::size_t kHeaderDisplayByte = 12; // low three bits join the 16:9 rules

// Subcode blocks 1–2: six sync blocks of 8 bytes (3 ID bytes, then a pack).
constexpr std::size_t kSubcodeFirstBlock = 1;
constexpr std::size_t kSubcodeBlocks = 2;
constexpr std::size_t kSubcodePacksPerBlock = 6;
constexpr std::size_t kSubcodeFirstPackByte = 6;
constexpr std::size_t kSubcodePackStride = 8;

// VAUX blocks 3–5: fifteen packs back to back after the block identifier.
constexpr std::size_t kVauxFirstBlock = 3;
constexpr std::size_t kVauxBlocks = 3;
constexpr std::size_t kVauxPacksPerBlock = 15;
constexpr std::size_t kVauxFirstPackByte = 3;
constexpr std::size_t kVauxPackStride = kPackBytes;

// Audio blocks 6, 22, …, 134: one AAUX pack right after the block identifier.
constexpr std::size_t kAudioFirstBlock = 6;
constexpr std::size_t kAudioBlockStride = 16;
constexpr std::size_t kAudioBlocksPerSequence = 9;
constexpr std::size_t kAauxPackByte = 3;

// Fixed positions of the date and time packs, read when the search does not
// find both: packs 11 and 12 of VAUX block 5 of sequence 0.
constexpr std::size_t kFallbackDatePackByte =
    5 * kDifBlockBytes + kVauxFirstPackByte + 11 * kVauxPackStride;
constexpr std::size_t kFallbackTimePackByte =
    5 * kDifBlockBytes + kVauxFirstPackByte + 12 * kVauxPackStride;
static_assert(kFallbackDatePackByte == 458 && kFallbackTimePackByte == 463);

// Offsets within a DIF sequence of the 57 subcode and VAUX pack positions, in
// search order: subcode block 1 packs 0–5, block 2 packs 0–5, then VAUX blocks
// 3, 4, 5 packs 0–14.
constexpr std::size_t kSequencePackCount =
    kSubcodeBlocks * kSubcodePacksPerBlock + kVauxBlocks * kVauxPacksPerBlock;

constexpr std::array<std::uint16_t, kSequencePackCount> kSequencePackOffsets = [] {
    std::array<std::uint16_t, kSequencePackCount> offsets{};
    std::size_t n = 0;
    for (std::size_t b = 0; b < kSubcodeBlocks; ++b)
        for (std::size_t k = 0; k < kSubcodePacksPerBlock; ++k)
            offsets[n++] =
                static_cast<std::uint16_t>((kSubcodeFirstBlock + b) * kDifBlockBytes +
                                           kSubcodeFirstPackByte + k * kSubcodePackStride);
    for (std::size_t b = 0; b < kVauxBlocks; ++b)
        for (std::size_t k = 0; k < kVauxPacksPerBlock; ++k)
            offsets[n++] = static_cast<std::uint16_t>((kVauxFirstBlock + b) * kDifBlockBytes +
                                                      kVauxFirstPackByte + k * kVauxPackStride);
    return offsets;
}();

// Value bytes of a pack.
constexpr std::size_t kPc1 = 1;
constexpr std::size_t kPc2 = 2;
constexpr std::size_t kPc3 = 3;
constexpr std::size_t kPc4 = 4;

// Display mode: low three bits of PC2 of the VAUX source control pack.
constexpr std::uint8_t kDisplayModeMask = 0x07;
constexpr std::uint8_t kDisplayMode4x3 = 0;
constexpr std::uint8_t kDisplayMode16x9 = 2;
constexpr std::uint8_t kDisplayMode16x9Alt = 7; // 16:9 when header byte 12's low bits are 0

// AAUX source pack: PC4 bits 5–3 sampling frequency, bits 2–0 quantisation;
// PC2 bits 3–0 audio mode, bit 4 and bit 5 the channel layout.
constexpr std::array<std::int32_t, 3> kAauxSampleRates{48000, 44100, 32000}; // Hz by code
constexpr std::array<std::int32_t, 2> kAauxSampleBits{16, 12};               // bits by code

// The last two decimal digits of a year, also for a (meaningless) negative one.
unsigned twoDigitYear(std::int32_t year)
{
    const int rest = year % 100;
    return static_cast<unsigned>(rest < 0 ? rest + 100 : rest);
}

// Number of the nSeq sequences that lie wholly inside the buffer.
std::size_t sequencesInBuffer(std::size_t bufferBytes, int nSeq)
{
    if (nSeq < 1)
        return 0;
    return std::min(static_cast<std::size_t>(nSeq), bufferBytes / kDifSequenceBytes);
}

constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

// The pack positions of a sequence ascend in search order, so the first pack
// holding the identifier is the first byte between the first and the last pack
// position that equals it and begins a pack. memchr passes over the filler
// between packs far faster than testing the 57 positions one by one.
constexpr std::size_t kPackAreaBegin = kSequencePackOffsets.front();
constexpr std::size_t kPackAreaEnd = kSequencePackOffsets.back() + 1;
static_assert(std::is_sorted(kSequencePackOffsets.begin(), kSequencePackOffsets.end()));

constexpr std::array<bool, kPackAreaEnd> kIsPackStart = [] {
    std::array<bool, kPackAreaEnd> isStart{};
    for (const std::uint16_t offset : kSequencePackOffsets)
        isStart[offset] = true;
    return isStart;
}();

// Offset in the frame of the first subcode or VAUX pack with identifier id.
std::size_t locateDvPack(std::span<const std::uint8_t> frame, std::uint8_t id, int nSeq)
{
    const std::size_t sequences = sequencesInBuffer(frame.size(), nSeq);
    for (std::size_t s = 0; s < sequences; ++s) {
        const std::uint8_t *sequence = frame.data() + s * kDifSequenceBytes;
        const std::uint8_t *p = sequence + kPackAreaBegin;
        const std::uint8_t *const end = sequence + kPackAreaEnd;
        while (p < end) {
            p = static_cast<const std::uint8_t *>(
                std::memchr(p, id, static_cast<std::size_t>(end - p)));
            if (p == nullptr)
                break;
            const auto offset = static_cast<std::size_t>(p - sequence);
            if (kIsPackStart[offset])
                return s * kDifSequenceBytes + offset;
            ++p;
        }
    }
    return kNotFound;
}

// Offset in the frame of the first audio block whose AAUX pack has identifier id.
std::size_t locateAauxBlock(std::span<const std::uint8_t> frame, std::uint8_t id, int nSeq)
{
    const std::size_t sequences = sequencesInBuffer(frame.size(), nSeq);
    for (std::size_t s = 0; s < sequences; ++s) {
        for (std::size_t j = 0; j < kAudioBlocksPerSequence; ++j) {
            const std::size_t block =
                s * kDifSequenceBytes + (kAudioFirstBlock + j * kAudioBlockStride) * kDifBlockBytes;
            if (frame[block + kAauxPackByte] == id)
                return block;
        }
    }
    return kNotFound;
}

// Calls fn(pack, sequence) for every subcode and VAUX pack of the sequences
// that lie in the buffer, with the sequence that holds the pack.
template <typename Fn>
void forEachDvPack(std::span<std::uint8_t> frame, int nSeq, Fn fn)
{
    const std::size_t sequences = sequencesInBuffer(frame.size(), nSeq);
    for (std::size_t s = 0; s < sequences; ++s) {
        const auto sequence = frame.subspan(s * kDifSequenceBytes, kDifSequenceBytes);
        for (const std::uint16_t offset : kSequencePackOffsets)
            fn(sequence.subspan(offset).first<kPackBytes>(), sequence);
    }
}

} // namespace

void EncodeDvBcd(std::uint8_t &byte, unsigned value, std::uint8_t tensMask)
{
    const unsigned tens = value / 10;
    const unsigned units = value % 10;
    if (tens <= static_cast<unsigned>(tensMask >> 4))
        byte = static_cast<std::uint8_t>((byte & ~tensMask) | (tens << 4));
    byte = static_cast<std::uint8_t>((byte & 0xF0) | units);
}

std::span<const std::uint16_t> DvSequencePackOffsets()
{
    return kSequencePackOffsets;
}

bool FindDvPack(std::span<const std::uint8_t> frame, std::uint8_t id, int nSeq, TDvPack &pack)
{
    const std::size_t at = locateDvPack(frame, id, nSeq);
    if (at == kNotFound)
        return false;
    std::copy_n(frame.begin() + static_cast<std::ptrdiff_t>(at), kPackBytes, pack.begin());
    return true;
}

bool FindAauxPack(std::span<const std::uint8_t> frame, std::uint8_t id, int nSeq, TDvBlock &block)
{
    const std::size_t at = locateAauxBlock(frame, id, nSeq);
    if (at == kNotFound)
        return false;
    std::copy_n(frame.begin() + static_cast<std::ptrdiff_t>(at), kDifBlockBytes, block.begin());
    return true;
}

bool ReadDvTimecode(std::span<const std::uint8_t> frame, int nSeq, TDvTimecode &timecode)
{
    TDvPack pack;
    if (!FindDvPack(frame, kDvPackTimecode, nSeq, pack))
        return false;
    timecode.Frames = static_cast<std::uint8_t>(DecodeDvBcd(pack[kPc1], kDvTensFrames));
    timecode.Seconds = static_cast<std::uint8_t>(DecodeDvBcd(pack[kPc2], kDvTensSeconds));
    timecode.Minutes = static_cast<std::uint8_t>(DecodeDvBcd(pack[kPc3], kDvTensMinutes));
    timecode.Hours = static_cast<std::uint8_t>(DecodeDvBcd(pack[kPc4], kDvTensHours));
    return true;
}

bool ReadDvRecDateTime(std::span<const std::uint8_t> frame, int nSeq, TDvRecDateTime &dateTime)
{
    TDvPack time;
    TDvPack date;
    const bool found = FindDvPack(frame, kDvPackRecTime, nSeq, time) &&
                       FindDvPack(frame, kDvPackRecDate, nSeq, date);
    if (!found) {
        // The fixed positions are accepted holding their identifier or 0x00.
        if (frame.size() < kFallbackTimePackByte + kPackBytes)
            return false;
        const std::uint8_t dateId = frame[kFallbackDatePackByte];
        const std::uint8_t timeId = frame[kFallbackTimePackByte];
        if ((dateId != kDvPackRecDate && dateId != 0x00) ||
            (timeId != kDvPackRecTime && timeId != 0x00))
            return false;
        std::copy_n(frame.begin() + kFallbackDatePackByte, kPackBytes, date.begin());
        std::copy_n(frame.begin() + kFallbackTimePackByte, kPackBytes, time.begin());
    }
    dateTime.Second = static_cast<std::uint8_t>(DecodeDvBcd(time[kPc2], kDvTensSeconds));
    dateTime.Minute = static_cast<std::uint8_t>(DecodeDvBcd(time[kPc3], kDvTensMinutes));
    dateTime.Hour = static_cast<std::uint8_t>(DecodeDvBcd(time[kPc4], kDvTensHours));
    dateTime.Day = static_cast<std::uint8_t>(DecodeDvBcd(date[kPc2], kDvTensDay));
    dateTime.Month = static_cast<std::uint8_t>(DecodeDvBcd(date[kPc3], kDvTensMonth));
    dateTime.Year = DvYearFromTwoDigits(DecodeDvBcd(date[kPc4], kDvTensYear));
    return true;
}

void WriteDvRecTimePack(std::span<std::uint8_t, 5> pack, const TDvRecDateTime &dateTime)
{
    EncodeDvBcd(pack[kPc2], dateTime.Second, kDvTensSeconds);
    EncodeDvBcd(pack[kPc3], dateTime.Minute, kDvTensMinutes);
    EncodeDvBcd(pack[kPc4], dateTime.Hour, kDvTensHours);
}

void WriteDvRecDatePack(std::span<std::uint8_t, 5> pack, const TDvRecDateTime &dateTime)
{
    EncodeDvBcd(pack[kPc2], dateTime.Day, kDvTensDay);
    EncodeDvBcd(pack[kPc3], dateTime.Month, kDvTensMonth);
    EncodeDvBcd(pack[kPc4], twoDigitYear(dateTime.Year), kDvTensYear);
}

void WriteDvRecDateTime(std::span<std::uint8_t> frame, int nSeq, const TDvRecDateTime &dateTime)
{
    forEachDvPack(frame, nSeq, [&dateTime](std::span<std::uint8_t, kPackBytes> pack, auto) {
        if (pack[0] == kDvPackRecDate)
            WriteDvRecDatePack(pack, dateTime);
        else if (pack[0] == kDvPackRecTime)
            WriteDvRecTimePack(pack, dateTime);
    });
}

bool ReadDvSystem(std::span<const std::uint8_t> frame, bool &is525)
{
    if (frame.size() <= kHeaderSystemByte)
        return false;
    for (const DvSystem &system : kDvSystems) {
        if (frame[kHeaderSystemByte] == system.headerSystemByte) {
            is525 = system.is525;
            return true;
        }
    }
    return false;
}

bool ReadDvAudioFormat(std::span<const std::uint8_t> frame, int nSeq, std::int32_t &sampleRate,
                       std::int32_t &bits, std::int32_t &channels)
{
    const std::size_t at = locateAauxBlock(frame, kDvPackAauxSource, nSeq);
    if (at == kNotFound)
        return false;
    const auto pack = frame.subspan(at + kAauxPackByte, kPackBytes);
    const std::uint8_t pc2 = pack[kPc2];
    const std::uint8_t pc4 = pack[kPc4];

    const unsigned rateCode = (pc4 >> 3) & 0x07;  // bits 5–3
    const unsigned quantisation = pc4 & 0x07;     // bits 2–0
    const unsigned audioMode = pc2 & 0x0F;        // bits 3–0; other modes are not decoded
    const bool singleChannel = (pc2 & 0x20) != 0; // bit 5: 1 channel, else a stereo pair
    const bool doubled = (pc2 & 0x10) != 0;       // bit 4: twice that

    sampleRate = rateCode < kAauxSampleRates.size() ? kAauxSampleRates[rateCode] : 0;
    bits = quantisation < kAauxSampleBits.size() ? kAauxSampleBits[quantisation] : 0;
    channels = audioMode == 0 ? (singleChannel ? 1 : 2) * (doubled ? 2 : 1) : 0;
    return true;
}

bool ReadDvWideFlag(std::span<const std::uint8_t> frame, int nSeq, bool &wide)
{
    const std::size_t at = locateDvPack(frame, kDvPackVauxSourceControl, nSeq);
    if (at == kNotFound)
        return false;
    // A pack was found, so the whole of sequence 0 and its header lie in the buffer.
    const std::uint8_t headerBits = frame[kHeaderDisplayByte] & kDisplayModeMask;
    const std::uint8_t mode = frame[at + kPc2] & kDisplayModeMask;
    wide = mode == kDisplayMode16x9 || (mode == kDisplayMode16x9Alt && headerBits == 0);
    return true;
}

void SetDvWideFlag(std::span<std::uint8_t> frame, int nSeq, bool wide)
{
    forEachDvPack(
        frame, nSeq,
        [wide](std::span<std::uint8_t, kPackBytes> pack, std::span<std::uint8_t> sequence) {
            if (pack[0] != kDvPackVauxSourceControl)
                return;
            const bool headerBitsClear = (sequence[kHeaderDisplayByte] & kDisplayModeMask) == 0;
            const std::uint8_t mode =
                !wide ? kDisplayMode4x3
                      : (headerBitsClear ? kDisplayMode16x9Alt : kDisplayMode16x9);
            pack[kPc2] = static_cast<std::uint8_t>((pack[kPc2] & ~kDisplayModeMask) | mode);
        });
}

} // namespace vidora
