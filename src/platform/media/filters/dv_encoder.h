#pragma once

// The DV video encoder: RGB24 pictures of any size in (bottom-up BGR rows,
// padded to a multiple of 4 bytes), or planar I420 / Y41B pictures (those in
// the output system's own sampling and size are encoded with no conversion),
// 25 Mbit/s DV frames out (Video/dvsd,
// 720 × 576 PAL 4:2:0 or 720 × 480 NTSC 4:1:1, as put_FormatSettings
// chooses), with libavcodec's dvvideo.
//
// Threads. The input is queued (transform.h): the filters before the encoder
// (decoding, drawing) prepare the next pictures while it encodes. DV frames
// are coded each on its own, so several pictures are converted and encoded at
// once, each by an encoder of its own on a thread of its own ("lanes", as many
// as the thread count); frames leave in their pictures' order, each with its
// picture's note, at most one lane's worth of pictures behind the input, and
// all of them before the end of stream.
//
// Frame rate. The output runs at the standard's rate; output frame n starts
// at n × the standard's frame duration. When the input's time stamps run at
// another rate, each input picture is encoded into every output frame that
// starts inside its time range: pictures are dropped or repeated, so the
// duration stays. Input without time stamps gives one frame per picture.
//
// Display mode: pictures at least about 16:9 wide (width / height ≥ 1.55)
// are marked 16:9, others 4:3.
#include "platform/media/filters/ffmpeg_support.h"
#include "platform/media/frame_lanes.h"
#include "platform/media/transform.h"

#include <deque>
#include <memory>
#include <vector>

namespace vidora::media {

constexpr int DVENCODERVIDEOFORMAT_NTSC = 2000;
constexpr int DVENCODERVIDEOFORMAT_PAL = 2001;
constexpr int DVENCODERFORMAT_DVSD = 2007;
constexpr int DVENCODERRESOLUTION_720x480 = 2012; // full size of the standard

class IDVEnc
{
public:
    // Video format (NTSC or PAL), DV format (DVSD only), resolution (full
    // only) and whether a DVINFO block follows the format (not supported:
    // false). False, nothing changed, for anything else or for a different
    // standard while the output is connected.
    virtual bool put_FormatSettings(int videoFormat, int dvFormat, int resolution,
                                    bool withDvInfo) = 0;
    virtual void get_FormatSettings(int &videoFormat, int &dvFormat, int &resolution,
                                    bool &withDvInfo) const = 0;

protected:
    ~IDVEnc() = default;
};

class DvEncoderFilter final : public TransformFilter, public IDVEnc
{
public:
    DvEncoderFilter();
    ~DvEncoderFilter() override;

    bool put_FormatSettings(int videoFormat, int dvFormat, int resolution,
                            bool withDvInfo) override;
    void get_FormatSettings(int &videoFormat, int &dvFormat, int &resolution,
                            bool &withDvInfo) const override;

    // Pictures encoded at once (default: the processor count, at most 8).
    // Only while stopped.
    void setThreadCount(int count) { m_threadCount = count < 1 ? 1 : count; }

    bool CheckInputType(const MediaType &type) override;
    bool CheckTransform(const MediaType &in, const MediaType &out) override;
    std::optional<MediaType> GetMediaType(int position) override;
    bool DecideBufferSize(Allocator &allocator, const AllocatorProperties &input) override;
    bool StartStreaming() override;
    void StopStreaming() override;
    Flow Receive(const SamplePtr &sample) override;
    void NewSegment(std::int64_t start, std::int64_t stop) override;
    Flow EndOfStream() override;

private:
    struct LaneCodec;
    // A picture handed to a lane, until its frames are delivered.
    struct Pending
    {
        std::size_t lane = 0;
        std::int64_t firstFrame = 0; // output frame number in the segment
        std::int64_t count = 0;      // output frames it fills
        bool discontinuity = false;
        bool preroll = false;
        std::shared_ptr<const SampleNote> note;
    };

    bool openLane(LaneCodec &lane, const ffmpeg::PictureLayout &in, AVRational sampleAspect) const;
    bool encode(LaneCodec &lane, SamplePtr picture) const;
    // Start of output frame n, 100 ns from the segment start.
    std::int64_t frameStart(std::int64_t n) const;
    // Waits for the oldest pending picture and delivers its frames.
    Flow deliverOldest();
    // Drops the pending pictures (a new segment, a stop).
    void discardPending();

    int m_videoFormat = DVENCODERVIDEOFORMAT_NTSC; // control thread
    int m_threadCount = ffmpeg::defaultThreadCount();

    // Streaming state: made in StartStreaming, used on the streaming thread
    // (a lane's codec on its lane while the lane works on a picture).
    ffmpeg::PictureLayout m_inLayout;
    std::vector<LaneCodec> m_laneCodecs;
    std::unique_ptr<FrameLanes> m_lanes;
    std::deque<Pending> m_pending;     // oldest first, as the lanes hold them
    std::int64_t m_nextFrame = 0;      // output frames delivered in this segment
    std::int64_t m_scheduledFrame = 0; // output frames handed to lanes in this segment
};

} // namespace vidora::media
