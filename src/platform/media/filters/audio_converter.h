#pragma once

// The audio converter: audio in (PCM of 8, 16, 24 or 32 bits, IEEE float, or
// a compressed WAVE format tag that libavcodec decodes, MP3 0x0055 say),
// 16-bit or same-width PCM out at the rate its output is set to, converted
// with libswresample. Video and interleaved streams are refused, so a graph
// builder may try it on every stream and route only audio through it.
//
// Output types offered: the input's own format (16-bit PCM at the input rate
// for compressed or float input), then 16-bit PCM at 48000, 44100 and
// 32000 Hz with the input's channels. IAMStreamConfig::SetFormat picks the
// output rate; set while the output is connected (the graph built), the new
// format leaves in-band as the type change of the first sample of each run.
// An in-band change of the input's PCM format is followed: by the output too
// when no format was set and the output was the input's own format.
#include "platform/media/filters/ffmpeg_support.h"
#include "platform/media/interfaces.h"
#include "platform/media/transform.h"

#include <vector>

namespace vidora::media {

class AudioConverterFilter final : public TransformFilter, public IAMStreamConfig
{
public:
    AudioConverterFilter();
    ~AudioConverterFilter() override;

    // PCM only, the input's channels, the input's bits or 16, a rate from
    // 1000 to 384000 Hz; the input connected and the graph stopped.
    // nAvgBytesPerSec is made rate × nBlockAlign.
    bool SetFormat(const MediaType &type) override;
    std::optional<MediaType> GetFormat() const override;

    bool CheckInputType(const MediaType &type) override;
    bool CheckTransform(const MediaType &in, const MediaType &out) override;
    std::optional<MediaType> GetMediaType(int position) override;
    bool DecideBufferSize(Allocator &allocator, const AllocatorProperties &input) override;
    bool StartStreaming() override;
    void StopStreaming() override;
    Flow Receive(const SamplePtr &sample) override;
    // Drains what the decoder and the resampler hold. The pin call rather
    // than EndOfStream: a drain that fails or meets a flush answers that
    // upstream and sends no end of stream on.
    Flow endOfStream(InputPin &pin) override;
    // Drops what the decoder and the resampler hold from the last segment.
    void NewSegment(std::int64_t start, std::int64_t stop) override;
    void *pinInterface(const Pin &pin, const std::type_info &type) override;

private:
    // The output format the filter makes now: the one set, else the
    // connection's.
    std::optional<WaveFormatEx> outputFormat() const;
    bool openResampler(AVSampleFormat format, int rate, const AVChannelLayout &layout);
    // Converts `count` input samples (null: drain) into m_pending.
    bool convert(const std::uint8_t **data, int count);
    bool decode(const std::uint8_t *data, std::size_t size); // null: drain the decoder
    bool decodePacket(const std::uint8_t *data, std::size_t size);
    Flow deliverPending(bool all);
    // An in-band change of the input's PCM format: the resampler follows it,
    // and so does an output that no SetFormat chose and that was the input's
    // own format (announced with the next sample). False when it cannot.
    bool followInputChange(const MediaType &type, const MediaSample &sample);
    void resetStream();

    std::optional<WaveFormatEx> m_chosen; // set by SetFormat; control thread
    bool m_announce = false;              // m_chosen differs from the connection's type

    // Streaming state: made in StartStreaming, used on the streaming thread.
    ffmpeg::CodecContextPtr m_decoder; // compressed input only
    // Splits compressed data into whole frames where libavcodec has a
    // parser for the codec (chunks of an AVI file need not hold whole frames).
    ffmpeg::ParserPtr m_parser;
    ffmpeg::PacketPtr m_packet;
    ffmpeg::FramePtr m_frame;
    ffmpeg::SwrPtr m_resampler;
    WaveFormatEx m_in;
    WaveFormatEx m_out;
    MediaType m_outType;
    AVSampleFormat m_inSampleFormat = AV_SAMPLE_FMT_NONE; // PCM input
    // PCM in the output's own format: the bytes go on as they came, without
    // the resampler (which would copy them unchanged).
    bool m_passThrough = false;
    bool m_announced = false;
    std::vector<std::uint8_t> m_pending;    // converted bytes not yet delivered
    std::vector<std::uint8_t> m_scratch;    // widened 24-bit input, resampler output
    std::int64_t m_outSamples = 0;          // delivered in this segment
    std::optional<std::int64_t> m_timeBase; // start time of the segment's first sample
    bool m_discontinuity = false;
};

// The libavcodec decoder for a compressed WAVE format tag, or none.
AVCodecID codecForWaveTag(std::uint16_t tag);

} // namespace vidora::media
