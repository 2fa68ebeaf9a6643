#pragma once

// The colour converter: uncompressed pictures (RGB24, RGB32, YUY2, UYVY,
// I420, YV12) in, the same picture in another of those layouts out, with
// libswscale (same size; RGB rows bottom-up and RGB24 rows padded to a
// multiple of 4 bytes). Offers the input's own type first: when both sides
// agree on it, samples pass through untouched (no copy).
#include "platform/media/filters/banded_scaler.h"
#include "platform/media/filters/ffmpeg_support.h"
#include "platform/media/transform.h"

namespace vidora::media {

class ColourConverterFilter final : public TransformFilter
{
public:
    ColourConverterFilter();
    ~ColourConverterFilter() override;

    bool CheckInputType(const MediaType &type) override;
    bool CheckTransform(const MediaType &in, const MediaType &out) override;
    std::optional<MediaType> GetMediaType(int position) override;
    bool DecideBufferSize(Allocator &allocator, const AllocatorProperties &input) override;
    bool StartStreaming() override;
    void StopStreaming() override;
    Flow Receive(const SamplePtr &sample) override;
    Flow Transform(const MediaSample &in, MediaSample &out) override;

private:
    // Streaming state: made in StartStreaming, used on the streaming thread.
    bool m_passThrough = false;
    ffmpeg::PictureLayout m_in;
    ffmpeg::PictureLayout m_out;
    std::unique_ptr<ffmpeg::BandedScaler> m_scaler;
};

} // namespace vidora::media
