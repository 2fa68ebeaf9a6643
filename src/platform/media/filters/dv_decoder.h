#pragma once

// The DV video decoder: DV frames (Video/dvsd and the other FourCCs of
// 25 Mbit/s DV) in, RGB24 pictures out (bottom-up BGR rows, each padded to a
// multiple of 4 bytes). Decoding uses libavcodec's dvvideo with slice threads
// only, so each picture leaves with the frame that made it: no frame delay.
#include "platform/media/filters/banded_scaler.h"
#include "platform/media/filters/ffmpeg_support.h"
#include "platform/media/transform.h"

#include <utility>

namespace vidora::media {

// Picture sizes of the DV decoder.
constexpr int DVRESOLUTION_FULL = 1000;    // 720 × 576 (PAL) or 720 × 480 (NTSC)
constexpr int DVRESOLUTION_HALF = 1001;    // 360 × 288 / 360 × 240
constexpr int DVRESOLUTION_QUARTER = 1002; // 180 × 144 / 180 × 120
constexpr int DVRESOLUTION_DC = 1003;      // 88 × 72 / 88 × 60

class IIPDVDec
{
public:
    // False for an unknown resolution or while the output is connected.
    virtual bool put_IPDisplay(int resolution) = 0;
    virtual int get_IPDisplay() const = 0;

protected:
    ~IIPDVDec() = default;
};

// Whether `code` is the FourCC of a 25 Mbit/s DV video stream (dvsd, dsvd,
// cdvc, dvc, dvcp, dv25, in either case).
bool isDvFourCC(std::uint32_t code);

class DvDecoderFilter final : public TransformFilter, public IIPDVDec
{
public:
    DvDecoderFilter();
    ~DvDecoderFilter() override;

    bool put_IPDisplay(int resolution) override;
    int get_IPDisplay() const override { return m_resolution; }

    // Slice threads of the codec and bands of the colour conversion
    // (default: the processor count, at most 8). Only while stopped.
    void setThreadCount(int count) { m_threadCount = count < 1 ? 1 : count; }

    bool CheckInputType(const MediaType &type) override;
    bool CheckTransform(const MediaType &in, const MediaType &out) override;
    std::optional<MediaType> GetMediaType(int position) override;
    bool DecideBufferSize(Allocator &allocator, const AllocatorProperties &input) override;
    bool StartStreaming() override;
    void StopStreaming() override;
    Flow Transform(const MediaSample &in, MediaSample &out) override;

private:
    struct Geometry
    {
        int frameHeight = 0; // 576 or 480
        std::int64_t frameDuration = 0;
    };
    static std::optional<Geometry> geometryOf(const MediaType &type);
    // The output picture for a frame height at the current resolution.
    std::pair<int, int> pictureSize(int frameHeight) const; // width, height

    int m_resolution = DVRESOLUTION_FULL; // control thread
    int m_threadCount = ffmpeg::defaultThreadCount();

    // Streaming state: made in StartStreaming, used on the streaming thread,
    // freed in StopStreaming.
    ffmpeg::CodecContextPtr m_codec;
    ffmpeg::FramePtr m_frame;
    ffmpeg::PacketPtr m_packet;
    std::unique_ptr<ffmpeg::BandedScaler> m_scaler;
    int m_scalerWidth = 0;
    int m_scalerHeight = 0;
    AVPixelFormat m_scalerFormat = AV_PIX_FMT_NONE;
    int m_outWidth = 0;
    int m_outHeight = 0;
};

} // namespace vidora::media
