#include "platform/media/filters/colour_converter.h"

namespace vidora::media {

namespace {

// The same picture as `in`, in another layout: 24 or 32 bits, bottom-up.
MediaType rgbOf(const MediaType &in, int bits)
{
    const auto layout = ffmpeg::pictureLayout(in);
    const auto info = in.videoInfo();
    if (bits == 24)
        return ffmpeg::rgb24Type(layout->width, layout->height, info->AvgTimePerFrame);
    VideoInfoHeader v = *info;
    v.bmiHeader.biHeight = layout->height;
    v.bmiHeader.biBitCount = 32;
    v.bmiHeader.biCompression = 0;
    v.bmiHeader.biSizeImage =
        static_cast<std::uint32_t>(static_cast<std::size_t>(layout->width) * 4 * layout->height);
    return MediaType::video(fourCC("RGB4"), v);
}

} // namespace

ColourConverterFilter::ColourConverterFilter() : TransformFilter("Color Space Converter") {}

ColourConverterFilter::~ColourConverterFilter() = default;

bool ColourConverterFilter::CheckInputType(const MediaType &type)
{
    return ffmpeg::pictureLayout(type).has_value();
}

bool ColourConverterFilter::CheckTransform(const MediaType &in, const MediaType &out)
{
    const auto a = ffmpeg::pictureLayout(in);
    const auto b = ffmpeg::pictureLayout(out);
    if (!a || !b || a->width != b->width || a->height != b->height)
        return false;
    // Any layout may be kept as it is; conversions make RGB.
    return in == out || b->format == AV_PIX_FMT_BGR24 || b->format == AV_PIX_FMT_BGRA;
}

std::optional<MediaType> ColourConverterFilter::GetMediaType(int position)
{
    if (!input().isConnected())
        return std::nullopt;
    const MediaType &in = input().connectionType();
    switch (position) {
    case 0:
        return in;
    case 1:
        return rgbOf(in, 24);
    case 2:
        return rgbOf(in, 32);
    default:
        return std::nullopt;
    }
}

bool ColourConverterFilter::DecideBufferSize(Allocator &allocator, const AllocatorProperties &)
{
    const auto layout = ffmpeg::pictureLayout(output().connectionType());
    if (!layout)
        return false;
    const auto granted = allocator.setProperties({3, layout->imageSize, 16});
    return granted && granted->size >= layout->imageSize;
}

bool ColourConverterFilter::StartStreaming()
{
    const auto in = ffmpeg::pictureLayout(input().connectionType());
    const auto out = ffmpeg::pictureLayout(output().connectionType());
    if (!in || !out)
        return false;
    m_in = *in;
    m_out = *out;
    m_passThrough = input().connectionType() == output().connectionType();
    if (m_passThrough)
        return true;
    m_scaler = std::make_unique<ffmpeg::BandedScaler>(
        ffmpeg::BandedScaler::Picture{m_in.width, m_in.height, m_in.format},
        ffmpeg::BandedScaler::Picture{m_out.width, m_out.height, m_out.format}, SWS_BICUBIC,
        ffmpeg::defaultThreadCount());
    return m_scaler->isValid();
}

void ColourConverterFilter::StopStreaming()
{
    m_scaler.reset();
}

Flow ColourConverterFilter::Receive(const SamplePtr &sample)
{
    if (m_passThrough)
        return output().deliver(sample);
    return TransformFilter::Receive(sample);
}

Flow ColourConverterFilter::Transform(const MediaSample &in, MediaSample &out)
{
    if (in.actualLength() < m_in.imageSize || out.capacity() < m_out.imageSize)
        return Flow::Error;
    const std::uint8_t *src[4];
    int srcStride[4];
    ffmpeg::pictureArrays(m_in, in.data(), src, srcStride);
    const std::uint8_t *dstConst[4];
    int dstStride[4];
    ffmpeg::pictureArrays(m_out, out.data(), dstConst, dstStride);
    std::uint8_t *dst[4];
    for (int i = 0; i < 4; ++i)
        dst[i] = const_cast<std::uint8_t *>(dstConst[i]);
    if (!m_scaler->scale(src, srcStride, dst, dstStride))
        return Flow::Error;
    out.setActualLength(m_out.imageSize);
    return Flow::Ok;
}

} // namespace vidora::media
