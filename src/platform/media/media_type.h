#pragma once

// Media types: what flows over a pin connection. A type has a major type, a
// subtype, a format type and a format block. The format blocks are kept as the
// exact little-endian bytes that AVI files and the DV filters use, so a block
// read from a file can be handed on untouched; the typed structs below read
// and write them field by field.
#include "formats/avilayout.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vidora::media {

enum class MajorType : std::uint8_t {
    None, // in a partial type: any major type
    Video,
    Audio,
    Interleaved, // DV type 1: video and audio in one DIF stream
    Stream,      // a byte stream (a file source's output, a WAVE writer's output)
};

enum class FormatType : std::uint8_t {
    None,
    VideoInfo,    // VIDEOINFOHEADER, 88 bytes
    WaveFormatEx, // WAVEFORMATEX, 18 bytes + cbSize
    DvInfo,       // DVINFO, 32 bytes
};

// Subtypes are FourCC codes, first character in the lowest byte as in a RIFF
// file. 0 in a partial type means any subtype.
using Subtype = std::uint32_t;

constexpr Subtype fourCC(const char (&code)[5])
{
    return static_cast<Subtype>(static_cast<std::uint8_t>(code[0])) |
           static_cast<Subtype>(static_cast<std::uint8_t>(code[1])) << 8 |
           static_cast<Subtype>(static_cast<std::uint8_t>(code[2])) << 16 |
           static_cast<Subtype>(static_cast<std::uint8_t>(code[3])) << 24;
}

namespace subtype {
constexpr Subtype Any = 0;
constexpr Subtype Dvsd = fourCC("dvsd");
constexpr Subtype Rgb24 = fourCC("RGB3"); // uncompressed BGR, 24 bits, bottom-up rows
constexpr Subtype Yuy2 = fourCC("YUY2");
// Planar YUV: the Y plane, then U and V at half width and height (4:2:0) or
// at a quarter width (4:1:1).
constexpr Subtype I420 = fourCC("I420");
constexpr Subtype Y41b = fourCC("Y41B");
constexpr Subtype Pcm = 0x00000001;     // WAVE_FORMAT_PCM
constexpr Subtype Avi = fourCC("AVI "); // byte stream holding a RIFF AVI file
constexpr Subtype Wave = fourCC("WAVE");
} // namespace subtype

std::string fourCCText(std::uint32_t code); // four characters, unprintable ones as '?'

// BITMAPINFOHEADER, 40 bytes.
struct BitmapInfoHeader
{
    static constexpr std::size_t Size = avi::kBitmapInfoHeaderSize;
    std::uint32_t biSize = Size;
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0; // > 0: bottom-up rows
    std::uint16_t biPlanes = 1;
    std::uint16_t biBitCount = 0;
    std::uint32_t biCompression = 0; // FourCC, or 0 (BI_RGB)
    std::uint32_t biSizeImage = 0;
    std::int32_t biXPelsPerMeter = 0;
    std::int32_t biYPelsPerMeter = 0;
    std::uint32_t biClrUsed = 0;
    std::uint32_t biClrImportant = 0;

    static std::optional<BitmapInfoHeader> read(std::span<const std::uint8_t> bytes);
    void write(std::span<std::uint8_t, Size> out) const;
    bool operator==(const BitmapInfoHeader &) const = default;
};

struct Rect
{
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const Rect &) const = default;
};

// VIDEOINFOHEADER, 88 bytes: two RECTs, bit rate, error rate, frame duration,
// then the BITMAPINFOHEADER.
struct VideoInfoHeader
{
    static constexpr std::size_t Size = avi::kVideoInfoHeaderSize;
    Rect rcSource;
    Rect rcTarget;
    std::uint32_t dwBitRate = 0;
    std::uint32_t dwBitErrorRate = 0;
    std::int64_t AvgTimePerFrame = 0; // 100 ns units
    BitmapInfoHeader bmiHeader;

    static std::optional<VideoInfoHeader> read(std::span<const std::uint8_t> bytes);
    std::vector<std::uint8_t> bytes() const;
    bool operator==(const VideoInfoHeader &) const = default;
};

// WAVEFORMATEX, 18 bytes followed by cbSize extra bytes.
struct WaveFormatEx
{
    static constexpr std::size_t Size = avi::kWaveFormatExSize;
    std::uint16_t wFormatTag = 1; // WAVE_FORMAT_PCM
    std::uint16_t nChannels = 0;
    std::uint32_t nSamplesPerSec = 0;
    std::uint32_t nAvgBytesPerSec = 0;
    std::uint16_t nBlockAlign = 0;
    std::uint16_t wBitsPerSample = 0;
    std::vector<std::uint8_t> extra; // cbSize is extra.size() when written

    // A 16-byte PCMWAVEFORMAT (no cbSize) is read with no extra bytes. Extra
    // bytes beyond the block are refused.
    static std::optional<WaveFormatEx> read(std::span<const std::uint8_t> bytes);
    std::vector<std::uint8_t> bytes() const;
    bool operator==(const WaveFormatEx &) const = default;
};

// DVINFO, 32 bytes: the AAUX and VAUX source and source-control packs of the
// stream (payload bytes of each pack, pack header excluded), as DV type 1 AVI
// files store them.
struct DvInfo
{
    static constexpr std::size_t Size = avi::kDvInfoSize;
    std::uint32_t dwDVAAuxSrc = 0;
    std::uint32_t dwDVAAuxCtl = 0;
    std::uint32_t dwDVAAuxSrc1 = 0;
    std::uint32_t dwDVAAuxCtl1 = 0;
    std::uint32_t dwDVVAuxSrc = 0;
    std::uint32_t dwDVVAuxCtl = 0;
    std::array<std::uint32_t, 2> dwDVReserved{};

    static std::optional<DvInfo> read(std::span<const std::uint8_t> bytes);
    std::vector<std::uint8_t> bytes() const;
    bool operator==(const DvInfo &) const = default;
};

class MediaType
{
public:
    MediaType() = default;
    explicit MediaType(MajorType major, Subtype sub = subtype::Any) : m_major(major), m_subtype(sub)
    {}

    static MediaType video(Subtype sub, const VideoInfoHeader &info);
    static MediaType audio(const WaveFormatEx &format);
    static MediaType interleaved(Subtype sub, const DvInfo &info);

    MajorType major() const { return m_major; }
    Subtype subtype() const { return m_subtype; }
    FormatType formatType() const { return m_formatType; }
    const std::vector<std::uint8_t> &format() const { return m_format; }

    void setMajor(MajorType major) { m_major = major; }
    void setSubtype(Subtype sub) { m_subtype = sub; }
    void setFormat(FormatType type, std::vector<std::uint8_t> block);

    // Typed views of the block; nothing when the format type differs or the
    // block is too short for the struct.
    std::optional<VideoInfoHeader> videoInfo() const;
    std::optional<WaveFormatEx> waveFormat() const;
    std::optional<DvInfo> dvInfo() const;

    // Fixed-size samples (uncompressed video, PCM) and the size of one sample.
    bool fixedSizeSamples = false;
    std::uint32_t sampleSize = 0;

    // A partial type leaves the major type or the subtype open (None/Any),
    // or gives no format block; it is used as a filter on connections.
    bool isPartial() const;
    // True when every field that `pattern` sets equals this type's field.
    bool matches(const MediaType &pattern) const;

    bool operator==(const MediaType &) const = default;
    std::string describe() const; // for logs and test failures

private:
    MajorType m_major = MajorType::None;
    Subtype m_subtype = subtype::Any;
    FormatType m_formatType = FormatType::None;
    std::vector<std::uint8_t> m_format;
};

} // namespace vidora::media
