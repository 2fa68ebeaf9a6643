#include "platform/media/filters/dv_encoder.h"

#include <array>
#include <cstring>

namespace vidora::media {

namespace {

constexpr int DvWidth = 720;

// One row per DV system.
struct DvSystem
{
    int videoFormat;
    int height;                 // pixels; the width is 720
    AVPixelFormat pixelFormat;  // 4:2:0 (PAL) or 4:1:1 (NTSC)
    AVRational frameRate;       // frames per second
    std::int64_t frameDuration; // 100 ns, rounded
    std::size_t frameBytes;     // one DIF frame
};

constexpr std::array<DvSystem, 2> DvSystems{{
    {DVENCODERVIDEOFORMAT_PAL, 576, AV_PIX_FMT_YUV420P, {25, 1}, 400000, 144000},
    {DVENCODERVIDEOFORMAT_NTSC, 480, AV_PIX_FMT_YUV411P, {30000, 1001}, 333667, 120000},
}};

const DvSystem &systemOf(int videoFormat)
{
    return videoFormat == DVENCODERVIDEOFORMAT_PAL ? DvSystems[0] : DvSystems[1];
}

bool isRgb24(const MediaType &type)
{
    const auto layout = ffmpeg::pictureLayout(type);
    return layout && layout->format == AV_PIX_FMT_BGR24;
}

// Pictures at least this wide for their height are marked 16:9 (between
// 4:3 = 1.33 and 16:9 = 1.78).
constexpr double WideAspect = 1.55;

} // namespace

DvEncoderFilter::DvEncoderFilter() : TransformFilter("DV Video Encoder") {}

DvEncoderFilter::~DvEncoderFilter() = default;

bool DvEncoderFilter::put_FormatSettings(int videoFormat, int dvFormat, int resolution,
                                         bool withDvInfo)
{
    if (videoFormat != DVENCODERVIDEOFORMAT_NTSC && videoFormat != DVENCODERVIDEOFORMAT_PAL)
        return false;
    if (dvFormat != DVENCODERFORMAT_DVSD || resolution != DVENCODERRESOLUTION_720x480 || withDvInfo)
        return false;
    if (output().isConnected() && videoFormat != m_videoFormat)
        return false;
    m_videoFormat = videoFormat;
    return true;
}

void DvEncoderFilter::get_FormatSettings(int &videoFormat, int &dvFormat, int &resolution,
                                         bool &withDvInfo) const
{
    videoFormat = m_videoFormat;
    dvFormat = DVENCODERFORMAT_DVSD;
    resolution = DVENCODERRESOLUTION_720x480;
    withDvInfo = false;
}

bool DvEncoderFilter::CheckInputType(const MediaType &type)
{
    return isRgb24(type);
}

std::optional<MediaType> DvEncoderFilter::GetMediaType(int position)
{
    if (position != 0 || !input().isConnected())
        return std::nullopt;
    const DvSystem &s = systemOf(m_videoFormat);
    VideoInfoHeader info;
    info.rcSource = {0, 0, DvWidth, s.height};
    info.rcTarget = info.rcSource;
    info.AvgTimePerFrame = s.frameDuration;
    info.dwBitRate = static_cast<std::uint32_t>(s.frameBytes * 8 * s.frameRate.num /
                                                static_cast<std::size_t>(s.frameRate.den));
    info.bmiHeader.biWidth = DvWidth;
    info.bmiHeader.biHeight = s.height;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = subtype::Dvsd;
    info.bmiHeader.biSizeImage = static_cast<std::uint32_t>(s.frameBytes);
    MediaType type = MediaType::video(subtype::Dvsd, info);
    type.fixedSizeSamples = true;
    type.sampleSize = static_cast<std::uint32_t>(s.frameBytes);
    return type;
}

bool DvEncoderFilter::CheckTransform(const MediaType &in, const MediaType &out)
{
    if (!isRgb24(in) || out.major() != MajorType::Video || out.subtype() != subtype::Dvsd)
        return false;
    const auto info = out.videoInfo();
    const DvSystem &s = systemOf(m_videoFormat);
    return info && info->bmiHeader.biWidth == DvWidth && info->bmiHeader.biHeight == s.height;
}

bool DvEncoderFilter::DecideBufferSize(Allocator &allocator, const AllocatorProperties &)
{
    const std::size_t size = systemOf(m_videoFormat).frameBytes;
    const auto granted = allocator.setProperties({4, size, 16});
    return granted && granted->size >= size;
}

bool DvEncoderFilter::StartStreaming()
{
    const auto layout = ffmpeg::pictureLayout(input().connectionType());
    const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_DVVIDEO);
    if (!layout || !codec)
        return false;
    m_inLayout = *layout;
    const DvSystem &s = systemOf(m_videoFormat);
    m_codec.reset(avcodec_alloc_context3(codec));
    m_frame.reset(av_frame_alloc());
    m_packet.reset(av_packet_alloc());
    if (!m_codec || !m_frame || !m_packet)
        return false;
    m_codec->width = DvWidth;
    m_codec->height = s.height;
    m_codec->pix_fmt = s.pixelFormat;
    m_codec->time_base = av_inv_q(s.frameRate);
    m_codec->framerate = s.frameRate;
    // The display mode follows the picture's shape: the sample aspect that
    // makes the DV frame 16:9 or 4:3 wide.
    const bool wide = static_cast<double>(layout->width) / layout->height >= WideAspect;
    const AVRational display = wide ? AVRational{16, 9} : AVRational{4, 3};
    m_codec->sample_aspect_ratio = av_div_q(display, AVRational{DvWidth, s.height});
    m_codec->thread_count = m_threadCount;
    m_codec->thread_type = FF_THREAD_SLICE;
    if (avcodec_open2(m_codec.get(), codec, nullptr) < 0) {
        m_codec.reset();
        return false;
    }
    m_frame->format = s.pixelFormat;
    m_frame->width = DvWidth;
    m_frame->height = s.height;
    if (av_frame_get_buffer(m_frame.get(), 0) < 0)
        return false;
    m_scaler = std::make_unique<ffmpeg::BandedScaler>(
        ffmpeg::BandedScaler::Picture{layout->width, layout->height, layout->format},
        ffmpeg::BandedScaler::Picture{DvWidth, s.height, s.pixelFormat}, SWS_BICUBIC,
        m_threadCount);
    m_nextFrame = 0;
    return m_scaler->isValid();
}

void DvEncoderFilter::StopStreaming()
{
    m_scaler.reset();
    m_packet.reset();
    m_frame.reset();
    m_codec.reset();
}

void DvEncoderFilter::newSegment(InputPin &pin, std::int64_t start, std::int64_t stop)
{
    // Output frames count from the segment's start again.
    m_nextFrame = 0;
    TransformFilter::newSegment(pin, start, stop);
}

std::int64_t DvEncoderFilter::frameStart(std::int64_t n) const
{
    const AVRational rate = systemOf(m_videoFormat).frameRate;
    return av_rescale(n, 10000000LL * rate.den, rate.num);
}

Flow DvEncoderFilter::encode(const MediaSample &in)
{
    if (in.actualLength() < m_inLayout.imageSize)
        return Flow::Error;
    if (av_frame_make_writable(m_frame.get()) < 0)
        return Flow::Error;
    const std::uint8_t *src[4];
    int srcStride[4];
    ffmpeg::pictureArrays(m_inLayout, in.data(), src, srcStride);
    if (!m_scaler->scale(src, srcStride, m_frame->data, m_frame->linesize))
        return Flow::Error;
    // DV is interlaced, bottom field first in both systems' usual recordings.
    m_frame->interlaced_frame = 1;
    m_frame->top_field_first = 0;
    m_frame->pts = m_nextFrame;
    if (avcodec_send_frame(m_codec.get(), m_frame.get()) < 0)
        return Flow::Error;
    if (avcodec_receive_packet(m_codec.get(), m_packet.get()) < 0)
        return Flow::Error;
    const bool whole =
        static_cast<std::size_t>(m_packet->size) == systemOf(m_videoFormat).frameBytes;
    if (whole)
        m_encoded.assign(m_packet->data, m_packet->data + m_packet->size);
    av_packet_unref(m_packet.get());
    return whole ? Flow::Ok : Flow::Error;
}

Flow DvEncoderFilter::Receive(const SamplePtr &sample)
{
    // The output frames that start inside this picture's time range.
    // A picture never fills more than a minute of output: a broken stop time
    // must not make the encoder repeat it without end.
    constexpr std::int64_t MaxRepeats = 30 * 60;
    std::int64_t count = 1;
    if (sample->time) {
        count = 0;
        while (count < MaxRepeats && frameStart(m_nextFrame + count) < sample->time->stop)
            ++count;
    }
    if (count == 0)
        return Flow::Ok; // dropped: the output is ahead of the input
    if (encode(*sample) != Flow::Ok) {
        reportError(name() + ": a picture cannot be encoded");
        return Flow::Error;
    }
    Flow result = Flow::Ok;
    for (std::int64_t i = 0; i < count && result == Flow::Ok; ++i) {
        SamplePtr out;
        result = output().allocator()->getBuffer(out);
        if (result != Flow::Ok)
            break;
        const std::int64_t n = m_nextFrame;
        std::memcpy(out->data(), m_encoded.data(), m_encoded.size());
        out->setActualLength(m_encoded.size());
        out->time = TimeRange{frameStart(n), frameStart(n + 1)};
        out->mediaTime = TimeRange{n, n + 1};
        out->syncPoint = true;
        out->discontinuity = sample->discontinuity && i == 0;
        out->preroll = sample->preroll;
        ++m_nextFrame;
        result = output().deliver(out);
    }
    return result;
}

} // namespace vidora::media
