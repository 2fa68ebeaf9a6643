#include "platform/media/filters/dv_decoder.h"

#include <cctype>
#include <cstring>

namespace vidora::media {

namespace {

constexpr std::int64_t PalFrameDuration = 400000; // 100 ns
constexpr std::int64_t NtscFrameDuration = 333667;
constexpr std::size_t PalFrameBytes = 144000;
constexpr std::size_t NtscFrameBytes = 120000;

} // namespace

bool isDvFourCC(std::uint32_t code)
{
    std::uint32_t lower = 0;
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<unsigned char>((code >> (8 * i)) & 0xff);
        lower |= static_cast<std::uint32_t>(std::tolower(c)) << (8 * i);
    }
    for (Subtype known : {fourCC("dvsd"), fourCC("dsvd"), fourCC("cdvc"), fourCC("dvc "),
                          fourCC("dvcp"), fourCC("dv25")})
        if (lower == known)
            return true;
    return false;
}

DvDecoderFilter::DvDecoderFilter() : TransformFilter("DV Video Decoder") {}

DvDecoderFilter::~DvDecoderFilter() = default;

bool DvDecoderFilter::put_IPDisplay(int resolution)
{
    if (resolution < DVRESOLUTION_FULL || resolution > DVRESOLUTION_DC)
        return false;
    if (output().isConnected() && resolution != m_resolution)
        return false;
    m_resolution = resolution;
    return true;
}

std::optional<DvDecoderFilter::Geometry> DvDecoderFilter::geometryOf(const MediaType &type)
{
    if (type.major() != MajorType::Video || !isDvFourCC(type.subtype()))
        return std::nullopt;
    const auto info = type.videoInfo();
    if (!info)
        return std::nullopt;
    const auto height =
        info->bmiHeader.biHeight < 0 ? -info->bmiHeader.biHeight : info->bmiHeader.biHeight;
    Geometry g;
    // The picture height tells the system; a type without one is told by its
    // frame rate.
    if (height == 576 || height == 480)
        g.frameHeight = height;
    else if (height == 0 && info->AvgTimePerFrame == PalFrameDuration)
        g.frameHeight = 576;
    else if (height == 0 && (info->AvgTimePerFrame == NtscFrameDuration ||
                             info->AvgTimePerFrame == NtscFrameDuration - 1))
        g.frameHeight = 480;
    else
        return std::nullopt;
    if (info->bmiHeader.biWidth != 0 && info->bmiHeader.biWidth != 720)
        return std::nullopt;
    g.frameDuration = info->AvgTimePerFrame > 0
                          ? info->AvgTimePerFrame
                          : (g.frameHeight == 576 ? PalFrameDuration : NtscFrameDuration);
    return g;
}

std::pair<int, int> DvDecoderFilter::pictureSize(int frameHeight) const
{
    switch (m_resolution) {
    case DVRESOLUTION_HALF:
        return {360, frameHeight / 2};
    case DVRESOLUTION_QUARTER:
        return {180, frameHeight / 4};
    case DVRESOLUTION_DC:
        return {88, frameHeight / 8};
    default:
        return {720, frameHeight};
    }
}

bool DvDecoderFilter::CheckInputType(const MediaType &type)
{
    return geometryOf(type).has_value();
}

std::optional<MediaType> DvDecoderFilter::GetMediaType(int position)
{
    if (position != 0 || !input().isConnected())
        return std::nullopt;
    const auto g = geometryOf(input().connectionType());
    if (!g)
        return std::nullopt;
    const auto [w, h] = pictureSize(g->frameHeight);
    return ffmpeg::rgb24Type(w, h, g->frameDuration);
}

bool DvDecoderFilter::CheckTransform(const MediaType &in, const MediaType &out)
{
    const auto g = geometryOf(in);
    if (!g || out.major() != MajorType::Video || out.subtype() != subtype::Rgb24)
        return false;
    const auto info = out.videoInfo();
    if (!info)
        return false;
    const auto [w, h] = pictureSize(g->frameHeight);
    const auto &bmi = info->bmiHeader;
    return bmi.biWidth == w && bmi.biHeight == h && bmi.biBitCount == 24 && bmi.biCompression == 0;
}

bool DvDecoderFilter::DecideBufferSize(Allocator &allocator, const AllocatorProperties &)
{
    const auto info = output().connectionType().videoInfo();
    if (!info)
        return false;
    const std::size_t size =
        ffmpeg::rgb24ImageSize(info->bmiHeader.biWidth, info->bmiHeader.biHeight);
    const auto granted = allocator.setProperties({3, size, 16});
    return granted && granted->size >= size;
}

bool DvDecoderFilter::StartStreaming()
{
    const AVCodec *codec = avcodec_find_decoder(AV_CODEC_ID_DVVIDEO);
    const auto info = output().connectionType().videoInfo();
    if (!codec || !info)
        return false;
    m_codec.reset(avcodec_alloc_context3(codec));
    m_frame.reset(av_frame_alloc());
    m_packet.reset(av_packet_alloc());
    if (!m_codec || !m_frame || !m_packet)
        return false;
    m_codec->thread_count = m_threadCount;
    m_codec->thread_type = FF_THREAD_SLICE;
    if (avcodec_open2(m_codec.get(), codec, nullptr) < 0) {
        m_codec.reset();
        return false;
    }
    m_outWidth = info->bmiHeader.biWidth;
    m_outHeight = info->bmiHeader.biHeight;
    m_scaler.reset();
    m_scalerFormat = AV_PIX_FMT_NONE;
    return true;
}

void DvDecoderFilter::StopStreaming()
{
    m_scaler.reset();
    m_packet.reset();
    m_frame.reset();
    m_codec.reset();
}

Flow DvDecoderFilter::Transform(const MediaSample &in, MediaSample &out)
{
    const std::size_t size = in.actualLength();
    if (size != PalFrameBytes && size != NtscFrameBytes)
        return Flow::Error;
    // The decoder reads up to the padding beyond the data: decode from a copy.
    if (av_new_packet(m_packet.get(), static_cast<int>(size)) < 0)
        return Flow::Error;
    std::memcpy(m_packet->data, in.data(), size);
    const int sent = avcodec_send_packet(m_codec.get(), m_packet.get());
    av_packet_unref(m_packet.get());
    if (sent < 0)
        return Flow::Error;
    if (avcodec_receive_frame(m_codec.get(), m_frame.get()) < 0)
        return Flow::Error;
    const AVFrame &f = *m_frame;
    if (!m_scaler || f.width != m_scalerWidth || f.height != m_scalerHeight ||
        f.format != m_scalerFormat) {
        // The conversion ffmpeg's own tools make by default (bicubic, BT.601).
        m_scaler = std::make_unique<ffmpeg::BandedScaler>(
            ffmpeg::BandedScaler::Picture{f.width, f.height, static_cast<AVPixelFormat>(f.format)},
            ffmpeg::BandedScaler::Picture{m_outWidth, m_outHeight, AV_PIX_FMT_BGR24}, SWS_BICUBIC,
            m_threadCount);
        m_scalerWidth = f.width;
        m_scalerHeight = f.height;
        m_scalerFormat = static_cast<AVPixelFormat>(f.format);
    }
    const std::size_t image = ffmpeg::rgb24ImageSize(m_outWidth, m_outHeight);
    if (!m_scaler->isValid() || out.capacity() < image) {
        av_frame_unref(m_frame.get());
        return Flow::Error;
    }
    // Bottom-up rows: the top picture row goes to the last row in memory.
    const auto stride = ffmpeg::rgb24Stride(m_outWidth);
    std::uint8_t *dst[4] = {out.data() + stride * (m_outHeight - 1), nullptr, nullptr, nullptr};
    const int dstStride[4] = {static_cast<int>(-stride), 0, 0, 0};
    const bool converted = m_scaler->scale(f.data, f.linesize, dst, dstStride);
    av_frame_unref(m_frame.get());
    if (!converted)
        return Flow::Error;
    out.setActualLength(image);
    out.syncPoint = true;
    return Flow::Ok;
}

} // namespace vidora::media
