#pragma once

// The DV video decoder: DV frames (Video/dvsd and the other FourCCs of
// 25 Mbit/s DV) in, RGB24 pictures out (bottom-up BGR rows, each padded to a
// multiple of 4 bytes, or top-down rows when asked), or, when asked, planar
// YUV pictures in the system's own sampling, as the codec makes them. Decoding uses libavcodec's
// dvvideo with slice threads only, so each picture leaves with the frame that made it: no frame
// delay. A graph that only processes (no one watches the pictures as they come) may turn on frame
// lanes instead (frame_lanes.h): several frames are decoded and converted at once, each on a thread
// of its own, and leave in order, at most one lane's worth behind the input and all of them before
// the end of stream.
#include "formats/dvsystem.h"
#include "platform/media/filters/banded_scaler.h"
#include "platform/media/filters/ffmpeg_support.h"
#include "platform/media/frame_lanes.h"
#include "platform/media/transform.h"

#include <deque>
#include <memory>
#include <utility>
#include <vector>

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
    // Slice threads for a picture decoded while the filter is paused (the
    // still a seek or a step cues): a viewer then waits for that one picture
    // alone, so it may be decoded on more threads than playback uses. Its
    // colour conversion runs in one band on the streaming thread: bands
    // written by other threads leave the picture in their caches, and the
    // filters after it then read it more slowly. 0 (the default): as
    // setThreadCount. Only while stopped.
    void setCueThreadCount(int count) { m_cueThreadCount = count < 0 ? 0 : count; }
    // Top-down rows (a negative height in the output type) instead of
    // bottom-up: a renderer can then hand a picture on as it is, without
    // turning it over. Only while the output is unconnected.
    void setTopDownOutput(bool topDown) { m_topDown = topDown; }
    // Offers planar pictures first (full size only): I420 for 625/50, Y41B
    // for 525/60, the sampling DV itself uses, so a graph that encodes DV
    // again converts no colours. RGB24 stays on offer after them. Only while
    // the output is unconnected.
    void setPlanarOutput(bool planar) { m_planar = planar; }
    // Frames decoded at once; 0 (the default) decodes one at a time on slice
    // threads. Only while stopped.
    void setFrameLanes(int lanes) { m_frameLanes = lanes < 0 ? 0 : lanes; }

    bool CheckInputType(const MediaType &type) override;
    bool CheckTransform(const MediaType &in, const MediaType &out) override;
    std::optional<MediaType> GetMediaType(int position) override;
    bool DecideBufferSize(Allocator &allocator, const AllocatorProperties &input) override;
    bool StartStreaming() override;
    void StopStreaming() override;
    Flow Transform(const MediaSample &in, MediaSample &out) override;
    Flow Receive(const SamplePtr &sample) override;
    void NewSegment(std::int64_t start, std::int64_t stop) override;
    Flow EndOfStream() override;

private:
    // A codec with its conversion: the one of the filter, or one per lane.
    struct Decoding
    {
        ffmpeg::CodecContextPtr codec;
        ffmpeg::FramePtr frame;
        ffmpeg::PacketPtr packet;
        std::unique_ptr<ffmpeg::BandedScaler> scaler;
        int scalerWidth = 0;
        int scalerHeight = 0;
        AVPixelFormat scalerFormat = AV_PIX_FMT_NONE;
        int threads = 1; // slice threads
        int bands = 1;   // conversion bands
    };
    static bool open(Decoding &decoding, int threads, int bands);
    Flow decode(Decoding &decoding, const MediaSample &in, MediaSample &out) const;
    // Waits for the oldest picture in the lanes and delivers it.
    Flow deliverOldest();

    struct Geometry
    {
        int frameHeight = 0; // 576 or 480
        std::int64_t frameDuration = 0;
    };
    static std::optional<Geometry> geometryOf(const MediaType &type);
    // The output picture for a frame height at the current resolution.
    std::pair<int, int> pictureSize(int frameHeight) const; // width, height
    // The output types in the order they are offered.
    std::vector<MediaType> outputTypes(const Geometry &g) const;

    int m_resolution = DVRESOLUTION_FULL; // control thread
    int m_threadCount = ffmpeg::defaultThreadCount();
    int m_cueThreadCount = 0; // control thread
    bool m_topDown = false;   // control thread
    bool m_planar = false;    // control thread

    // Streaming state: made in StartStreaming, used on the streaming thread
    // (a lane's decoding on its lane while it works), freed in StopStreaming.
    int m_frameLanes = 0; // control thread
    Decoding m_decoding;
    // The paused filter's (see setCueThreadCount); no codec when it is
    // m_decoding's.
    Decoding m_cueDecoding;
    std::vector<Decoding> m_laneDecodings;
    std::unique_ptr<FrameLanes> m_lanes;
    std::deque<SamplePtr> m_pending; // the lanes' pictures, oldest first
    ffmpeg::PictureLayout m_outLayout;
};

} // namespace vidora::media
