#include "platform/media/filters/video_decoder.h"

#include "formats/dvfourcc.h"
#include "platform/media/filters/dv_decoder.h"

#include <cctype>
#include <cstring>

namespace vidora::media {

namespace {

std::uint32_t upperFourCC(std::uint32_t code)
{
    std::uint32_t upper = 0;
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<unsigned char>((code >> (8 * i)) & 0xff);
        upper |= static_cast<std::uint32_t>(std::toupper(c)) << (8 * i);
    }
    return upper;
}

struct CodecCode
{
    Subtype code; // upper case
    AVCodecID codec;
};

constexpr CodecCode CodecCodes[] = {
    {fourCC("MJPG"), AV_CODEC_ID_MJPEG},      {fourCC("AVRN"), AV_CODEC_ID_MJPEG},
    {fourCC("XVID"), AV_CODEC_ID_MPEG4},      {fourCC("DIVX"), AV_CODEC_ID_MPEG4},
    {fourCC("DX50"), AV_CODEC_ID_MPEG4},      {fourCC("FMP4"), AV_CODEC_ID_MPEG4},
    {fourCC("MP4V"), AV_CODEC_ID_MPEG4},      {fourCC("H264"), AV_CODEC_ID_H264},
    {fourCC("X264"), AV_CODEC_ID_H264},       {fourCC("AVC1"), AV_CODEC_ID_H264},
    {fourCC("MP42"), AV_CODEC_ID_MSMPEG4V2},  {fourCC("MP43"), AV_CODEC_ID_MSMPEG4V3},
    {fourCC("DIV3"), AV_CODEC_ID_MSMPEG4V3},  {fourCC("WMV1"), AV_CODEC_ID_WMV1},
    {fourCC("WMV2"), AV_CODEC_ID_WMV2},       {fourCC("CVID"), AV_CODEC_ID_CINEPAK},
    {fourCC("MPG2"), AV_CODEC_ID_MPEG2VIDEO}, {fourCC("HFYU"), AV_CODEC_ID_HUFFYUV},
    {fourCC("FFV1"), AV_CODEC_ID_FFV1},
};

} // namespace

AVCodecID codecForVideoFourCC(std::uint32_t code)
{
    if (IsDv25FourCC(code))
        return AV_CODEC_ID_NONE;
    const std::uint32_t upper = upperFourCC(code);
    for (const auto &c : CodecCodes)
        if (c.code == upper)
            return c.codec;
    return AV_CODEC_ID_NONE;
}

VideoDecoderFilter::VideoDecoderFilter() : TransformFilter("Video Decoder") {}

VideoDecoderFilter::~VideoDecoderFilter() = default;

bool VideoDecoderFilter::CheckInputType(const MediaType &type)
{
    if (type.major() != MajorType::Video)
        return false;
    const auto info = type.videoInfo();
    if (!info || info->bmiHeader.biWidth <= 0 || info->bmiHeader.biWidth > 16384 ||
        info->bmiHeader.biHeight == 0 || info->bmiHeader.biHeight > 16384 ||
        info->bmiHeader.biHeight < -16384)
        return false;
    const AVCodecID id = codecForVideoFourCC(type.subtype());
    return id != AV_CODEC_ID_NONE && avcodec_find_decoder(id) != nullptr;
}

std::optional<MediaType> VideoDecoderFilter::GetMediaType(int position)
{
    if (position != 0 || !input().isConnected())
        return std::nullopt;
    const auto info = input().connectionType().videoInfo();
    const int height =
        info->bmiHeader.biHeight < 0 ? -info->bmiHeader.biHeight : info->bmiHeader.biHeight;
    return ffmpeg::rgb24Type(info->bmiHeader.biWidth, height, info->AvgTimePerFrame);
}

bool VideoDecoderFilter::CheckTransform(const MediaType &in, const MediaType &out)
{
    const auto a = in.videoInfo();
    const auto b = ffmpeg::pictureLayout(out);
    if (!a || !b || b->format != AV_PIX_FMT_BGR24 || !b->bottomUp)
        return false;
    const int height = a->bmiHeader.biHeight < 0 ? -a->bmiHeader.biHeight : a->bmiHeader.biHeight;
    return b->width == a->bmiHeader.biWidth && b->height == height;
}

bool VideoDecoderFilter::DecideBufferSize(Allocator &allocator, const AllocatorProperties &)
{
    const auto layout = ffmpeg::pictureLayout(output().connectionType());
    if (!layout)
        return false;
    const auto granted = allocator.setProperties({3, layout->imageSize, 16});
    return granted && granted->size >= layout->imageSize;
}

bool VideoDecoderFilter::StartStreaming()
{
    const MediaType &in = input().connectionType();
    const auto info = in.videoInfo();
    const auto out = ffmpeg::pictureLayout(output().connectionType());
    const AVCodec *codec = avcodec_find_decoder(codecForVideoFourCC(in.subtype()));
    if (!info || !out || !codec)
        return false;
    m_width = out->width;
    m_height = out->height;
    m_frameDuration = info->AvgTimePerFrame;
    m_codec.reset(avcodec_alloc_context3(codec));
    m_frame.reset(av_frame_alloc());
    m_packet.reset(av_packet_alloc());
    if (!m_codec || !m_frame || !m_packet)
        return false;
    m_codec->width = m_width;
    m_codec->height = m_height;
    m_codec->codec_tag = in.subtype();
    m_codec->thread_count = ffmpeg::defaultThreadCount();
    m_codec->thread_type = FF_THREAD_SLICE;
    // Extra bytes after the BITMAPINFOHEADER are the codec's own setup data.
    const auto &block = in.format();
    if (block.size() > VideoInfoHeader::Size) {
        const std::size_t extra = block.size() - VideoInfoHeader::Size;
        m_codec->extradata =
            static_cast<std::uint8_t *>(av_mallocz(extra + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!m_codec->extradata)
            return false;
        std::memcpy(m_codec->extradata, block.data() + VideoInfoHeader::Size, extra);
        m_codec->extradata_size = static_cast<int>(extra);
    }
    if (avcodec_open2(m_codec.get(), codec, nullptr) < 0)
        return false;
    m_scaler.reset();
    m_pending.clear();
    m_counter = 0;
    return true;
}

void VideoDecoderFilter::StopStreaming()
{
    m_scaler.reset();
    m_packet.reset();
    m_frame.reset();
    m_codec.reset();
    m_pending.clear();
}

void VideoDecoderFilter::NewSegment(std::int64_t, std::int64_t)
{
    if (isStreaming() && m_codec) {
        avcodec_flush_buffers(m_codec.get());
        m_pending.clear();
    }
}

Flow VideoDecoderFilter::deliverFrame()
{
    const AVFrame &f = *m_frame;
    Sent sent;
    if (const auto it = m_pending.find(f.pts); it != m_pending.end()) {
        sent = it->second;
        m_pending.erase(m_pending.begin(), std::next(it));
    }
    SamplePtr out;
    const Flow got = output().allocator()->getBuffer(out);
    if (got != Flow::Ok)
        return got;
    const auto format = static_cast<AVPixelFormat>(f.format);
    // The scaler is kept while the decoded pictures keep their size and
    // format. (sws_getCachedContext cannot be relied on for this: it stores
    // the full-range JPEG formats that MJPEG decodes to under their limited-
    // range names, so it made a new context for every picture.)
    if (!m_scaler || f.width != m_scalerIn.width || f.height != m_scalerIn.height ||
        format != m_scalerIn.format) {
        m_scaler = std::make_unique<ffmpeg::BandedScaler>(
            ffmpeg::BandedScaler::Picture{f.width, f.height, format},
            ffmpeg::BandedScaler::Picture{m_width, m_height, AV_PIX_FMT_BGR24}, SWS_BICUBIC,
            ffmpeg::defaultThreadCount());
        m_scalerIn = {f.width, f.height, format};
    }
    if (!m_scaler->isValid())
        return Flow::Error;
    const auto stride = ffmpeg::rgb24Stride(m_width);
    std::uint8_t *dst[4] = {out->data() + stride * (m_height - 1), nullptr, nullptr, nullptr};
    const int dstStride[4] = {static_cast<int>(-stride), 0, 0, 0};
    if (!m_scaler->scale(f.data, f.linesize, dst, dstStride))
        return Flow::Error;
    out->setActualLength(ffmpeg::rgb24ImageSize(m_width, m_height));
    out->time = sent.time;
    out->mediaTime = sent.mediaTime;
    out->syncPoint = true;
    return output().deliver(out);
}

Flow VideoDecoderFilter::decode(const MediaSample *sample)
{
    if (sample) {
        const std::size_t size = sample->actualLength();
        if (size == 0)
            return Flow::Ok; // an empty chunk repeats the previous picture: nothing to decode
        if (av_new_packet(m_packet.get(), static_cast<int>(size)) < 0)
            return Flow::Error;
        std::memcpy(m_packet->data, sample->data(), size);
        m_packet->pts = m_counter;
        m_packet->flags = sample->syncPoint ? AV_PKT_FLAG_KEY : 0;
        m_pending[m_counter++] = {sample->time, sample->mediaTime};
    }
    const int sent = avcodec_send_packet(m_codec.get(), sample ? m_packet.get() : nullptr);
    av_packet_unref(m_packet.get());
    if (sent < 0 && sent != AVERROR_EOF && sent != AVERROR_INVALIDDATA)
        return Flow::Error;
    for (;;) {
        const int got = avcodec_receive_frame(m_codec.get(), m_frame.get());
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            return Flow::Ok;
        if (got < 0)
            return Flow::Error;
        const Flow delivered = deliverFrame();
        av_frame_unref(m_frame.get());
        if (delivered != Flow::Ok)
            return delivered;
    }
}

Flow VideoDecoderFilter::Receive(const SamplePtr &sample)
{
    const Flow result = decode(sample.get());
    if (result == Flow::Error)
        reportError(name() + ": a frame cannot be decoded");
    return result;
}

Flow VideoDecoderFilter::endOfStream(InputPin &pin)
{
    if (isStreaming() && isFlowing() && m_codec) {
        const Flow drained = decode(nullptr);
        if (drained == Flow::Error) {
            reportError(name() + ": a frame cannot be decoded");
            return drained;
        }
    }
    return TransformFilter::endOfStream(pin);
}

} // namespace vidora::media
