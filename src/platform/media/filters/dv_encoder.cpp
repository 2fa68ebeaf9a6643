#include "platform/media/filters/dv_encoder.h"

#include "formats/dvsystem.h"

extern "C" {
#include <libavutil/imgutils.h>
}

#include <array>
#include <cstring>

namespace vidora::media {

namespace {

const DvSystem &systemOf(int videoFormat)
{
    return DvSystemByLines(videoFormat != DVENCODERVIDEOFORMAT_PAL);
}

// libavcodec's picture sampling of each system (IEC 61834-2): 4:1:1 for
// 525/60, 4:2:0 for 625/50.
AVPixelFormat pixelFormatOf(const DvSystem &s)
{
    return s.is525 ? AV_PIX_FMT_YUV411P : AV_PIX_FMT_YUV420P;
}

AVRational frameRateOf(const DvSystem &s)
{
    return {s.rate.num, s.rate.den};
}

// RGB24, or planar pictures in either DV sampling.
bool isPicture(const MediaType &type)
{
    const auto layout = ffmpeg::pictureLayout(type);
    return layout && (layout->format == AV_PIX_FMT_BGR24 || layout->format == AV_PIX_FMT_YUV420P ||
                      layout->format == AV_PIX_FMT_YUV411P);
}

// Pictures at least this wide for their height are marked 16:9 (between
// 4:3 = 1.33 and 16:9 = 1.78).
constexpr double WideAspect = 1.55;

} // namespace

DvEncoderFilter::DvEncoderFilter() : TransformFilter("DV Video Encoder")
{
    // Two pictures wait while one is encoded: enough to keep both sides busy
    // (the upstream's pool holds three).
    setQueuedInput(2);
}

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
    return isPicture(type);
}

std::optional<MediaType> DvEncoderFilter::GetMediaType(int position)
{
    if (position != 0 || !input().isConnected())
        return std::nullopt;
    const DvSystem &s = systemOf(m_videoFormat);
    VideoInfoHeader info;
    info.rcSource = {0, 0, s.width, s.height};
    info.rcTarget = info.rcSource;
    info.AvgTimePerFrame = s.frameDuration;
    info.dwBitRate = static_cast<std::uint32_t>(s.frameBytes * 8 * s.rate.num /
                                                static_cast<std::size_t>(s.rate.den));
    info.bmiHeader.biWidth = s.width;
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
    if (!isPicture(in) || out.major() != MajorType::Video || out.subtype() != subtype::Dvsd)
        return false;
    const auto info = out.videoInfo();
    const DvSystem &s = systemOf(m_videoFormat);
    return info && info->bmiHeader.biWidth == s.width && info->bmiHeader.biHeight == s.height;
}

bool DvEncoderFilter::DecideBufferSize(Allocator &allocator, const AllocatorProperties &)
{
    const std::size_t size = systemOf(m_videoFormat).frameBytes;
    const auto granted = allocator.setProperties({4, size, 16});
    return granted && granted->size >= size;
}

// One lane's encoder: the picture converted to the DV system's planar
// format, then encoded; the frame's bytes stay here until delivered.
struct DvEncoderFilter::LaneCodec
{
    ffmpeg::CodecContextPtr codec;
    ffmpeg::FramePtr frame;
    ffmpeg::PacketPtr packet;
    ffmpeg::SwsPtr scaler;
    std::int64_t pts = 0;
    std::vector<std::uint8_t> encoded;
};

bool DvEncoderFilter::openLane(LaneCodec &lane, const ffmpeg::PictureLayout &in,
                               AVRational sampleAspect) const
{
    const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_DVVIDEO);
    if (!codec)
        return false;
    const DvSystem &s = systemOf(m_videoFormat);
    lane.codec.reset(avcodec_alloc_context3(codec));
    lane.frame.reset(av_frame_alloc());
    lane.packet.reset(av_packet_alloc());
    if (!lane.codec || !lane.frame || !lane.packet)
        return false;
    lane.codec->width = s.width;
    lane.codec->height = s.height;
    lane.codec->pix_fmt = pixelFormatOf(s);
    lane.codec->time_base = av_inv_q(frameRateOf(s));
    lane.codec->framerate = frameRateOf(s);
    lane.codec->sample_aspect_ratio = sampleAspect;
    lane.codec->thread_count = 1;
    if (avcodec_open2(lane.codec.get(), codec, nullptr) < 0)
        return false;
    lane.frame->format = pixelFormatOf(s);
    lane.frame->width = s.width;
    lane.frame->height = s.height;
    if (av_frame_get_buffer(lane.frame.get(), 0) < 0)
        return false;
    // Pictures in the system's own sampling and size are encoded as they come.
    if (in.format == pixelFormatOf(s) && in.width == s.width && in.height == s.height)
        return true;
    lane.scaler.reset(sws_getContext(in.width, in.height, in.format, s.width, s.height,
                                     pixelFormatOf(s), SWS_BICUBIC, nullptr, nullptr, nullptr));
    return lane.scaler != nullptr;
}

// On the lane's thread.
bool DvEncoderFilter::encode(LaneCodec &lane, SamplePtr picture) const
{
    if (picture->actualLength() < m_inLayout.imageSize)
        return false;
    if (av_frame_make_writable(lane.frame.get()) < 0)
        return false;
    const std::uint8_t *src[4];
    int srcStride[4];
    ffmpeg::pictureArrays(m_inLayout, picture->data(), src, srcStride);
    AVFrame &frame = *lane.frame;
    if (lane.scaler) {
        const int rows = sws_scale(lane.scaler.get(), src, srcStride, 0, m_inLayout.height,
                                   frame.data, frame.linesize);
        if (rows != frame.height)
            return false;
    } else {
        av_image_copy(frame.data, frame.linesize, src, srcStride, m_inLayout.format,
                      m_inLayout.width, m_inLayout.height);
    }
    // The picture goes back to its pool as soon as it has been read.
    picture.reset();
    // DV is interlaced, bottom field first in both systems' usual recordings.
    frame.interlaced_frame = 1;
    frame.top_field_first = 0;
    frame.pts = lane.pts++;
    if (avcodec_send_frame(lane.codec.get(), &frame) < 0)
        return false;
    if (avcodec_receive_packet(lane.codec.get(), lane.packet.get()) < 0)
        return false;
    const bool whole =
        static_cast<std::size_t>(lane.packet->size) == systemOf(m_videoFormat).frameBytes;
    if (whole)
        lane.encoded.assign(lane.packet->data, lane.packet->data + lane.packet->size);
    av_packet_unref(lane.packet.get());
    return whole;
}

bool DvEncoderFilter::StartStreaming()
{
    const auto layout = ffmpeg::pictureLayout(input().connectionType());
    if (!layout)
        return false;
    const DvSystem &s = systemOf(m_videoFormat);
    // The display mode follows the picture's shape: the sample aspect that
    // makes the DV frame 16:9 or 4:3 wide.
    const bool wide = static_cast<double>(layout->width) / layout->height >= WideAspect;
    const AVRational display = wide ? AVRational{16, 9} : AVRational{4, 3};
    const AVRational sampleAspect = av_div_q(display, AVRational{s.width, s.height});
    m_inLayout = *layout;
    m_laneCodecs.clear();
    m_laneCodecs.resize(static_cast<std::size_t>(m_threadCount));
    for (LaneCodec &lane : m_laneCodecs)
        if (!openLane(lane, *layout, sampleAspect))
            return false;
    m_lanes = std::make_unique<FrameLanes>(m_laneCodecs.size());
    m_pending.clear();
    m_nextFrame = m_scheduledFrame = 0;
    return true;
}

void DvEncoderFilter::StopStreaming()
{
    // The lanes end before the codecs they use.
    m_lanes.reset();
    m_pending.clear();
    m_laneCodecs.clear();
}

void DvEncoderFilter::NewSegment(std::int64_t, std::int64_t)
{
    // Pictures of the segment before (a seek) are not delivered; output
    // frames count from the segment's start again.
    discardPending();
    m_nextFrame = m_scheduledFrame = 0;
}

Flow DvEncoderFilter::EndOfStream()
{
    Flow result = Flow::Ok;
    while (!m_pending.empty() && result == Flow::Ok)
        result = deliverOldest();
    discardPending();
    return result;
}

void DvEncoderFilter::discardPending()
{
    m_pending.clear();
    if (m_lanes)
        m_lanes->discard();
}

std::int64_t DvEncoderFilter::frameStart(std::int64_t n) const
{
    const AVRational rate = frameRateOf(systemOf(m_videoFormat));
    return av_rescale(n, 10000000LL * rate.den, rate.num);
}

Flow DvEncoderFilter::deliverOldest()
{
    const Pending pending = m_pending.front();
    m_pending.pop_front();
    const bool encodedOk = m_lanes->takeOldest();
    const std::vector<std::uint8_t> *encoded = &m_laneCodecs[pending.lane].encoded;
    if (!encodedOk) {
        reportError(name() + ": a picture cannot be encoded");
        return Flow::Error;
    }
    Flow result = Flow::Ok;
    for (std::int64_t i = 0; i < pending.count && result == Flow::Ok; ++i) {
        SamplePtr out;
        result = output().allocator()->getBuffer(out);
        if (result != Flow::Ok)
            break;
        const std::int64_t n = pending.firstFrame + i;
        std::memcpy(out->data(), encoded->data(), encoded->size());
        out->setActualLength(encoded->size());
        out->time = TimeRange{frameStart(n), frameStart(n + 1)};
        out->mediaTime = TimeRange{n, n + 1};
        out->syncPoint = true;
        out->discontinuity = pending.discontinuity && i == 0;
        out->preroll = pending.preroll;
        out->note = pending.note;
        m_nextFrame = n + 1;
        result = output().deliver(out);
    }
    return result;
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
        while (count < MaxRepeats && frameStart(m_scheduledFrame + count) < sample->time->stop)
            ++count;
    }
    if (count == 0)
        return Flow::Ok; // dropped: the output is ahead of the input
    // Every lane busy: the oldest picture's frames go first, which frees
    // the lane whose turn is next.
    if (m_lanes->full()) {
        const Flow delivered = deliverOldest();
        if (delivered != Flow::Ok)
            return delivered;
    }
    Pending pending;
    pending.lane = m_lanes->next();
    pending.firstFrame = m_scheduledFrame;
    pending.count = count;
    pending.discontinuity = sample->discontinuity;
    pending.preroll = sample->preroll;
    pending.note = sample->note;
    m_lanes->start([this, sample](std::size_t lane) { return encode(m_laneCodecs[lane], sample); });
    m_scheduledFrame += count;
    m_pending.push_back(std::move(pending));
    return Flow::Ok;
}

} // namespace vidora::media
