#include "platform/media/media_type.h"

#include <cstring>

namespace vidora::media {

namespace {

// Little-endian field access over a byte span. Every caller checks the span's
// size first; the reader and writer only advance.
class LeReader
{
public:
    explicit LeReader(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}
    template <class T>
    T get()
    {
        using U = std::make_unsigned_t<T>;
        U value = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i)
            value |= static_cast<U>(static_cast<U>(m_bytes[m_pos + i]) << (8 * i));
        m_pos += sizeof(T);
        return static_cast<T>(value);
    }
    std::size_t position() const { return m_pos; }

private:
    std::span<const std::uint8_t> m_bytes;
    std::size_t m_pos = 0;
};

class LeWriter
{
public:
    explicit LeWriter(std::span<std::uint8_t> bytes) : m_bytes(bytes) {}
    template <class T>
    void put(T value)
    {
        using U = std::make_unsigned_t<T>;
        const auto u = static_cast<U>(value);
        for (std::size_t i = 0; i < sizeof(T); ++i)
            m_bytes[m_pos + i] = static_cast<std::uint8_t>(u >> (8 * i));
        m_pos += sizeof(T);
    }

private:
    std::span<std::uint8_t> m_bytes;
    std::size_t m_pos = 0;
};

Rect readRect(LeReader &in)
{
    Rect r;
    r.left = in.get<std::int32_t>();
    r.top = in.get<std::int32_t>();
    r.right = in.get<std::int32_t>();
    r.bottom = in.get<std::int32_t>();
    return r;
}

void writeRect(LeWriter &out, const Rect &r)
{
    out.put(r.left);
    out.put(r.top);
    out.put(r.right);
    out.put(r.bottom);
}

} // namespace

std::string fourCCText(std::uint32_t code)
{
    std::string text(4, '?');
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<char>((code >> (8 * i)) & 0xff);
        if (c >= 0x20 && c < 0x7f)
            text[static_cast<std::size_t>(i)] = c;
    }
    return text;
}

std::optional<BitmapInfoHeader> BitmapInfoHeader::read(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < Size)
        return std::nullopt;
    LeReader in(bytes);
    BitmapInfoHeader h;
    h.biSize = in.get<std::uint32_t>();
    h.biWidth = in.get<std::int32_t>();
    h.biHeight = in.get<std::int32_t>();
    h.biPlanes = in.get<std::uint16_t>();
    h.biBitCount = in.get<std::uint16_t>();
    h.biCompression = in.get<std::uint32_t>();
    h.biSizeImage = in.get<std::uint32_t>();
    h.biXPelsPerMeter = in.get<std::int32_t>();
    h.biYPelsPerMeter = in.get<std::int32_t>();
    h.biClrUsed = in.get<std::uint32_t>();
    h.biClrImportant = in.get<std::uint32_t>();
    return h;
}

void BitmapInfoHeader::write(std::span<std::uint8_t, Size> bytes) const
{
    LeWriter out(bytes);
    out.put(biSize);
    out.put(biWidth);
    out.put(biHeight);
    out.put(biPlanes);
    out.put(biBitCount);
    out.put(biCompression);
    out.put(biSizeImage);
    out.put(biXPelsPerMeter);
    out.put(biYPelsPerMeter);
    out.put(biClrUsed);
    out.put(biClrImportant);
}

std::optional<VideoInfoHeader> VideoInfoHeader::read(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < Size)
        return std::nullopt;
    LeReader in(bytes);
    VideoInfoHeader v;
    v.rcSource = readRect(in);
    v.rcTarget = readRect(in);
    v.dwBitRate = in.get<std::uint32_t>();
    v.dwBitErrorRate = in.get<std::uint32_t>();
    v.AvgTimePerFrame = in.get<std::int64_t>();
    v.bmiHeader = *BitmapInfoHeader::read(bytes.subspan(in.position()));
    return v;
}

std::vector<std::uint8_t> VideoInfoHeader::bytes() const
{
    std::vector<std::uint8_t> block(Size);
    LeWriter out(block);
    writeRect(out, rcSource);
    writeRect(out, rcTarget);
    out.put(dwBitRate);
    out.put(dwBitErrorRate);
    out.put(AvgTimePerFrame);
    bmiHeader.write(std::span<std::uint8_t, BitmapInfoHeader::Size>(
        block.data() + avi::kVideoInfoBitmapOffset, BitmapInfoHeader::Size));
    return block;
}

std::optional<WaveFormatEx> WaveFormatEx::read(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < avi::kPcmWaveFormatSize)
        return std::nullopt;
    LeReader in(bytes);
    WaveFormatEx w;
    w.wFormatTag = in.get<std::uint16_t>();
    w.nChannels = in.get<std::uint16_t>();
    w.nSamplesPerSec = in.get<std::uint32_t>();
    w.nAvgBytesPerSec = in.get<std::uint32_t>();
    w.nBlockAlign = in.get<std::uint16_t>();
    w.wBitsPerSample = in.get<std::uint16_t>();
    if (bytes.size() >= Size) {
        const auto cbSize = in.get<std::uint16_t>();
        if (bytes.size() - Size < cbSize)
            return std::nullopt;
        w.extra.assign(bytes.begin() + Size, bytes.begin() + Size + cbSize);
    }
    return w;
}

std::vector<std::uint8_t> WaveFormatEx::bytes() const
{
    std::vector<std::uint8_t> block(Size + extra.size());
    LeWriter out(block);
    out.put(wFormatTag);
    out.put(nChannels);
    out.put(nSamplesPerSec);
    out.put(nAvgBytesPerSec);
    out.put(nBlockAlign);
    out.put(wBitsPerSample);
    out.put(static_cast<std::uint16_t>(extra.size()));
    if (!extra.empty())
        std::memcpy(block.data() + Size, extra.data(), extra.size());
    return block;
}

std::optional<DvInfo> DvInfo::read(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < Size)
        return std::nullopt;
    LeReader in(bytes);
    DvInfo d;
    d.dwDVAAuxSrc = in.get<std::uint32_t>();
    d.dwDVAAuxCtl = in.get<std::uint32_t>();
    d.dwDVAAuxSrc1 = in.get<std::uint32_t>();
    d.dwDVAAuxCtl1 = in.get<std::uint32_t>();
    d.dwDVVAuxSrc = in.get<std::uint32_t>();
    d.dwDVVAuxCtl = in.get<std::uint32_t>();
    d.dwDVReserved[0] = in.get<std::uint32_t>();
    d.dwDVReserved[1] = in.get<std::uint32_t>();
    return d;
}

std::vector<std::uint8_t> DvInfo::bytes() const
{
    std::vector<std::uint8_t> block(Size);
    LeWriter out(block);
    out.put(dwDVAAuxSrc);
    out.put(dwDVAAuxCtl);
    out.put(dwDVAAuxSrc1);
    out.put(dwDVAAuxCtl1);
    out.put(dwDVVAuxSrc);
    out.put(dwDVVAuxCtl);
    out.put(dwDVReserved[0]);
    out.put(dwDVReserved[1]);
    return block;
}

MediaType MediaType::video(Subtype sub, const VideoInfoHeader &info)
{
    MediaType t(MajorType::Video, sub);
    t.setFormat(FormatType::VideoInfo, info.bytes());
    if (info.bmiHeader.biCompression == 0) {
        t.fixedSizeSamples = true;
        t.sampleSize = info.bmiHeader.biSizeImage;
    }
    return t;
}

MediaType MediaType::audio(const WaveFormatEx &format)
{
    MediaType t(MajorType::Audio, format.wFormatTag);
    t.setFormat(FormatType::WaveFormatEx, format.bytes());
    t.fixedSizeSamples = true;
    t.sampleSize = format.nBlockAlign;
    return t;
}

MediaType MediaType::interleaved(Subtype sub, const DvInfo &info)
{
    MediaType t(MajorType::Interleaved, sub);
    t.setFormat(FormatType::DvInfo, info.bytes());
    return t;
}

void MediaType::setFormat(FormatType type, std::vector<std::uint8_t> block)
{
    m_formatType = type;
    m_format = std::move(block);
}

std::optional<VideoInfoHeader> MediaType::videoInfo() const
{
    if (m_formatType != FormatType::VideoInfo)
        return std::nullopt;
    return VideoInfoHeader::read(m_format);
}

std::optional<WaveFormatEx> MediaType::waveFormat() const
{
    if (m_formatType != FormatType::WaveFormatEx)
        return std::nullopt;
    return WaveFormatEx::read(m_format);
}

std::optional<DvInfo> MediaType::dvInfo() const
{
    if (m_formatType != FormatType::DvInfo)
        return std::nullopt;
    return DvInfo::read(m_format);
}

bool MediaType::isPartial() const
{
    return m_major == MajorType::None || m_subtype == subtype::Any ||
           m_formatType == FormatType::None;
}

bool MediaType::matches(const MediaType &pattern) const
{
    if (pattern.m_major != MajorType::None && pattern.m_major != m_major)
        return false;
    if (pattern.m_subtype != subtype::Any && pattern.m_subtype != m_subtype)
        return false;
    if (pattern.m_formatType != FormatType::None &&
        (pattern.m_formatType != m_formatType || pattern.m_format != m_format))
        return false;
    return true;
}

std::string MediaType::describe() const
{
    static const char *const majors[] = {"any", "video", "audio", "interleaved", "stream"};
    static const char *const formats[] = {"none", "VideoInfo", "WaveFormatEx", "DvInfo"};
    return std::string(majors[static_cast<int>(m_major)]) + "/" +
           (m_subtype == subtype::Any ? std::string("any") : fourCCText(m_subtype)) + "/" +
           formats[static_cast<int>(m_formatType)] + "(" + std::to_string(m_format.size()) + ")";
}

} // namespace vidora::media
