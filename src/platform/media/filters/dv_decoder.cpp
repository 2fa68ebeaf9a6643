#include "platform/media/filters/dv_decoder.h"

#include "formats/dvfourcc.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace vidora::media {

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
    if (type.major() != MajorType::Video || !IsDv25FourCC(type.subtype()))
        return std::nullopt;
    const auto info = type.videoInfo();
    if (!info)
        return std::nullopt;
    // 64-bit: the height of a bottom-up picture is negative, and -2^31 has
    // no 32-bit opposite.
    const std::int64_t height = std::abs(std::int64_t{info->bmiHeader.biHeight});
    Geometry g;
    // The picture height tells the system; a type without one is told by its
    // frame rate.
    const DvSystem *system = height > std::numeric_limits<int>::max() ? nullptr
                             : height != 0 ? DvSystemByHeight(static_cast<int>(height))
                                           : DvSystemByFrameDuration(info->AvgTimePerFrame);
    if (!system)
        return std::nullopt;
    g.frameHeight = system->height;
    if (info->bmiHeader.biWidth != 0 && info->bmiHeader.biWidth != system->width)
        return std::nullopt;
    g.frameDuration = info->AvgTimePerFrame > 0 ? info->AvgTimePerFrame : system->frameDuration;
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
    return ffmpeg::rgb24Type(w, h, g->frameDuration, m_topDown);
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
    return bmi.biWidth == w && (bmi.biHeight == h || bmi.biHeight == -h) && bmi.biBitCount == 24 &&
           bmi.biCompression == 0;
}

bool DvDecoderFilter::DecideBufferSize(Allocator &allocator, const AllocatorProperties &)
{
    const auto info = output().connectionType().videoInfo();
    if (!info)
        return false;
    const std::size_t size =
        ffmpeg::rgb24ImageSize(info->bmiHeader.biWidth, std::abs(info->bmiHeader.biHeight));
    // One picture decoding, one on its way, one waiting in a renderer for its
    // time and one a view may still show (a renderer may lend it the
    // sample); each lane fills a picture of its own.
    const auto granted =
        allocator.setProperties({4 + static_cast<std::size_t>(m_frameLanes), size, 16});
    return granted && granted->size >= size;
}

bool DvDecoderFilter::open(Decoding &decoding, int threads, int bands)
{
    const AVCodec *codec = avcodec_find_decoder(AV_CODEC_ID_DVVIDEO);
    if (!codec)
        return false;
    decoding.codec.reset(avcodec_alloc_context3(codec));
    decoding.frame.reset(av_frame_alloc());
    decoding.packet.reset(av_packet_alloc());
    if (!decoding.codec || !decoding.frame || !decoding.packet)
        return false;
    decoding.codec->thread_count = threads;
    decoding.codec->thread_type = FF_THREAD_SLICE;
    decoding.threads = threads;
    decoding.bands = bands;
    decoding.scaler.reset();
    decoding.scalerFormat = AV_PIX_FMT_NONE;
    return avcodec_open2(decoding.codec.get(), codec, nullptr) >= 0;
}

bool DvDecoderFilter::StartStreaming()
{
    const auto info = output().connectionType().videoInfo();
    if (!info)
        return false;
    m_outWidth = info->bmiHeader.biWidth;
    m_outHeight = std::abs(info->bmiHeader.biHeight);
    m_outTopDown = info->bmiHeader.biHeight < 0;
    m_pending.clear();
    if (m_frameLanes == 0) {
        m_cueDecoding = Decoding{};
        if (m_cueThreadCount > 0 && m_cueThreadCount != m_threadCount &&
            !open(m_cueDecoding, m_cueThreadCount, 1))
            return false;
        return open(m_decoding, m_threadCount, m_threadCount);
    }
    m_laneDecodings.clear();
    m_laneDecodings.resize(static_cast<std::size_t>(m_frameLanes));
    for (Decoding &decoding : m_laneDecodings)
        if (!open(decoding, 1, 1))
            return false;
    m_lanes = std::make_unique<FrameLanes>(m_laneDecodings.size());
    return true;
}

void DvDecoderFilter::StopStreaming()
{
    // The lanes end before the codecs they use.
    m_lanes.reset();
    m_pending.clear();
    m_laneDecodings.clear();
    m_decoding = Decoding{};
    m_cueDecoding = Decoding{};
}

Flow DvDecoderFilter::Transform(const MediaSample &in, MediaSample &out)
{
    // DV frames stand alone: either codec decodes any of them.
    const bool cue = m_cueDecoding.codec && state() == FilterState::Paused;
    return decode(cue ? m_cueDecoding : m_decoding, in, out);
}

Flow DvDecoderFilter::Receive(const SamplePtr &sample)
{
    if (!m_lanes)
        return TransformFilter::Receive(sample);
    if (m_lanes->full()) {
        const Flow delivered = deliverOldest();
        if (delivered != Flow::Ok)
            return delivered;
    }
    SamplePtr out;
    const Flow got = output().allocator()->getBuffer(out);
    if (got != Flow::Ok)
        return got;
    out->copyPropertiesFrom(*sample);
    // The output's type is this filter's: a type change upstream is not one here.
    out->typeChange.reset();
    m_pending.push_back(out);
    m_lanes->start([this, sample, out](std::size_t lane) {
        return decode(m_laneDecodings[lane], *sample, *out) == Flow::Ok;
    });
    return Flow::Ok;
}

Flow DvDecoderFilter::deliverOldest()
{
    SamplePtr out = std::move(m_pending.front());
    m_pending.pop_front();
    if (!m_lanes->takeOldest()) {
        reportError(name() + ": a sample cannot be transformed");
        return Flow::Error;
    }
    return output().deliver(out);
}

void DvDecoderFilter::NewSegment(std::int64_t, std::int64_t)
{
    // Pictures of the segment before (a seek) are not delivered.
    if (m_lanes)
        m_lanes->discard();
    m_pending.clear();
}

Flow DvDecoderFilter::EndOfStream()
{
    Flow result = Flow::Ok;
    while (!m_pending.empty() && result == Flow::Ok)
        result = deliverOldest();
    if (m_lanes)
        m_lanes->discard();
    m_pending.clear();
    return result;
}

// On the streaming thread, or on a lane with that lane's decoding.
Flow DvDecoderFilter::decode(Decoding &d, const MediaSample &in, MediaSample &out) const
{
    const std::size_t size = in.actualLength();
    if (!DvSystemByFrameBytes(size))
        return Flow::Error;
    // The decoder reads up to the padding beyond the data. A frame whose
    // buffer has it, zeroed (the AVI splitter's samples), is decoded where it
    // is; any other from a copy.
    const bool inPlace =
        in.capacity() - size >= AV_INPUT_BUFFER_PADDING_SIZE &&
        std::all_of(in.data() + size, in.data() + size + AV_INPUT_BUFFER_PADDING_SIZE,
                    [](std::uint8_t b) { return b == 0; });
    if (inPlace) {
        d.packet->buf = av_buffer_create(
            const_cast<std::uint8_t *>(in.data()), size + AV_INPUT_BUFFER_PADDING_SIZE,
            [](void *, std::uint8_t *) {}, nullptr, AV_BUFFER_FLAG_READONLY);
        if (!d.packet->buf)
            return Flow::Error;
        d.packet->data = d.packet->buf->data;
        d.packet->size = static_cast<int>(size);
    } else {
        if (av_new_packet(d.packet.get(), static_cast<int>(size)) < 0)
            return Flow::Error;
        std::memcpy(d.packet->data, in.data(), size);
    }
    const int sent = avcodec_send_packet(d.codec.get(), d.packet.get());
    const int received = sent < 0 ? sent : avcodec_receive_frame(d.codec.get(), d.frame.get());
    // A DV frame is decoded at once, so the codec has let go of the packet;
    // were it still to hold the frame's buffer, which goes back to its pool
    // after this call, it is made to drop it.
    if (inPlace && av_buffer_get_ref_count(d.packet->buf) > 1)
        avcodec_flush_buffers(d.codec.get());
    av_packet_unref(d.packet.get());
    if (received < 0)
        return Flow::Error;
    const AVFrame &f = *d.frame;
    if (!d.scaler || f.width != d.scalerWidth || f.height != d.scalerHeight ||
        f.format != d.scalerFormat) {
        // The conversion ffmpeg's own tools make by default (bicubic, BT.601).
        d.scaler = std::make_unique<ffmpeg::BandedScaler>(
            ffmpeg::BandedScaler::Picture{f.width, f.height, static_cast<AVPixelFormat>(f.format)},
            ffmpeg::BandedScaler::Picture{m_outWidth, m_outHeight, AV_PIX_FMT_BGR24}, SWS_BICUBIC,
            d.bands);
        d.scalerWidth = f.width;
        d.scalerHeight = f.height;
        d.scalerFormat = static_cast<AVPixelFormat>(f.format);
    }
    const std::size_t image = ffmpeg::rgb24ImageSize(m_outWidth, m_outHeight);
    if (!d.scaler->isValid() || out.capacity() < image) {
        av_frame_unref(d.frame.get());
        return Flow::Error;
    }
    // Bottom-up rows put the top picture row last in memory; top-down rows
    // keep the picture's order.
    const auto stride = ffmpeg::rgb24Stride(m_outWidth);
    std::uint8_t *dst[4] = {m_outTopDown ? out.data() : out.data() + stride * (m_outHeight - 1),
                            nullptr, nullptr, nullptr};
    const int dstStride[4] = {static_cast<int>(m_outTopDown ? stride : -stride), 0, 0, 0};
    const bool converted = d.scaler->scale(f.data, f.linesize, dst, dstStride);
    av_frame_unref(d.frame.get());
    if (!converted)
        return Flow::Error;
    out.setActualLength(image);
    out.syncPoint = true;
    return Flow::Ok;
}

} // namespace vidora::media
