#pragma once

// The generic video decoder for non-DV AVI streams: compressed video in,
// chosen by the stream's FourCC (MJPEG, MPEG-4 part 2, H.264, the MS-MPEG-4
// variants…), RGB24 pictures out (bottom-up BGR rows padded to a multiple of
// 4 bytes) at the stream's size, decoded with libavcodec on slice threads.
// Codecs that reorder frames hand a picture out a few frames late; each
// picture keeps the time of the frame it shows, and the end of the stream
// drains what the codec still holds.
#include "platform/media/filters/banded_scaler.h"
#include "platform/media/filters/ffmpeg_support.h"
#include "platform/media/transform.h"

#include <map>

namespace vidora::media {

// The libavcodec decoder for a video FourCC (either case), or none. DV
// FourCCs have a decoder of their own and give none here.
AVCodecID codecForVideoFourCC(std::uint32_t code);

class VideoDecoderFilter final : public TransformFilter
{
public:
    VideoDecoderFilter();
    ~VideoDecoderFilter() override;

    bool CheckInputType(const MediaType &type) override;
    bool CheckTransform(const MediaType &in, const MediaType &out) override;
    std::optional<MediaType> GetMediaType(int position) override;
    bool DecideBufferSize(Allocator &allocator, const AllocatorProperties &input) override;
    bool StartStreaming() override;
    void StopStreaming() override;
    Flow Receive(const SamplePtr &sample) override;
    // Drains what the codec holds. The pin call rather than EndOfStream: a
    // drain that fails answers Error upstream and sends no end of stream on.
    Flow endOfStream(InputPin &pin) override;
    // Drops what the codec holds from the last segment.
    void NewSegment(std::int64_t start, std::int64_t stop) override;

private:
    // Sends a packet (null: drains) and delivers every picture that results.
    Flow decode(const MediaSample *sample);
    Flow deliverFrame();

    // Streaming state: made in StartStreaming, used on the streaming thread.
    ffmpeg::CodecContextPtr m_codec;
    ffmpeg::FramePtr m_frame;
    ffmpeg::PacketPtr m_packet;
    std::unique_ptr<ffmpeg::BandedScaler> m_scaler;
    struct
    {
        int width = 0;
        int height = 0;
        AVPixelFormat format = AV_PIX_FMT_NONE;
    } m_scalerIn; // what m_scaler converts from
    int m_width = 0;
    int m_height = 0;
    std::int64_t m_frameDuration = 0;
    std::int64_t m_counter = 0; // packets sent, the key of m_pending
    // What each sent packet carried, by packet number, until its picture
    // leaves.
    struct Sent
    {
        std::optional<TimeRange> time;
        std::optional<TimeRange> mediaTime;
    };
    std::map<std::int64_t, Sent> m_pending;
};

} // namespace vidora::media
