#include "platform/media/filters/dv_decoder.h"

#include "formats/dvfourcc.h"

extern "C" {
#include <libavutil/imgutils.h>
}

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

std::vector<MediaType> DvDecoderFilter::outputTypes(const Geometry &g) const
{
    const auto [w, h] = pictureSize(g.frameHeight);
    std::vector<MediaType> types;
    if (m_planar && m_resolution == DVRESOLUTION_FULL) {
        const DvSystem *system = DvSystemByHeight(g.frameHeight);
        if (system != nullptr)
            types.push_back(ffmpeg::planarType(
                system->is525 ? AV_PIX_FMT_YUV411P : AV_PIX_FMT_YUV420P, w, h, g.frameDuration));
    }
    types.push_back(ffmpeg::rgb24Type(w, h, g.frameDuration, m_topDown));
    return types;
}

std::optional<MediaType> DvDecoderFilter::GetMediaType(int position)
{
    if (position < 0 || !input().isConnected())
        return std::nullopt;
    const auto g = geometryOf(input().connectionType());
    if (!g)
        return std::nullopt;
    const std::vector<MediaType> types = outputTypes(*g);
    if (static_cast<std::size_t>(position) >= types.size())
        return std::nullopt;
    return types[static_cast<std::size_t>(position)];
}

bool DvDecoderFilter::CheckTransform(const MediaType &in, const MediaType &out)
{
    const auto g = geometryOf(in);
    const auto layout = ffmpeg::pictureLayout(out);
    if (!g || !layout)
        return false;
    const auto [w, h] = pictureSize(g->frameHeight);
    if (layout->width != w || layout->height != h)
        return false;
    // Any of the types offered, in either row order for RGB24.
    for (const MediaType &offered : outputTypes(*g)) {
        const auto candidate = ffmpeg::pictureLayout(offered);
        if (candidate && candidate->format == layout->format)
            return true;
    }
    return false;
}

bool DvDecoderFilter::DecideBufferSize(Allocator &allocator, const AllocatorProperties &)
{
    const auto layout = ffmpeg::pictureLayout(output().connectionType());
    if (!layout)
        return false;
    const std::size_t size = layout->imageSize;
    // One picture decoding, one on its way, one waiting in a renderer for its
    // time and one a view may still show (a renderer may lend it the
    // sample); each lane fills a picture of its own, and as many decoded
    // ones may wait downstream (an encoder's lanes read theirs) without the
    // lanes running out of pictures to fill.
    const auto granted =
        allocator.setProperties({4 + 2 * static_cast<std::size_t>(m_frameLanes), size, 16});
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
    const auto layout = ffmpeg::pictureLayout(output().connectionType());
    if (!layout)
        return false;
    m_outLayout = *layout;
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
    const ffmpeg::PictureLayout &to = m_outLayout;
    if (out.capacity() < to.imageSize) {
        av_frame_unref(d.frame.get());
        return Flow::Error;
    }
    const std::uint8_t *planes[4];
    int dstStride[4];
    ffmpeg::pictureArrays(to, out.data(), planes, dstStride);
    std::uint8_t *const dst[4] = {out.data() + (planes[0] - out.data()),
                                  planes[1] ? out.data() + (planes[1] - out.data()) : nullptr,
                                  planes[2] ? out.data() + (planes[2] - out.data()) : nullptr,
                                  nullptr};
    bool converted = true;
    if (f.format == to.format && f.width == to.width && f.height == to.height) {
        // The codec's own sampling: the planes are copied as they are.
        std::uint8_t *copyTo[4] = {dst[0], dst[1], dst[2], dst[3]};
        const std::uint8_t *copyFrom[4] = {f.data[0], f.data[1], f.data[2], f.data[3]};
        av_image_copy(copyTo, dstStride, copyFrom, f.linesize, to.format, to.width, to.height);
    } else {
        if (!d.scaler || f.width != d.scalerWidth || f.height != d.scalerHeight ||
            f.format != d.scalerFormat) {
            // The conversion ffmpeg's own tools make by default (bicubic, BT.601).
            d.scaler = std::make_unique<ffmpeg::BandedScaler>(
                ffmpeg::BandedScaler::Picture{f.width, f.height,
                                              static_cast<AVPixelFormat>(f.format)},
                ffmpeg::BandedScaler::Picture{to.width, to.height, to.format}, SWS_BICUBIC,
                d.bands);
            d.scalerWidth = f.width;
            d.scalerHeight = f.height;
            d.scalerFormat = static_cast<AVPixelFormat>(f.format);
        }
        // Bottom-up rows put the top picture row last in memory, addressed
        // with a negative stride.
        converted = d.scaler->isValid() && d.scaler->scale(f.data, f.linesize, dst, dstStride);
    }
    av_frame_unref(d.frame.get());
    if (!converted)
        return Flow::Error;
    out.setActualLength(to.imageSize);
    out.syncPoint = true;
    return Flow::Ok;
}

} // namespace vidora::media
