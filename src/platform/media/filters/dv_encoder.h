#pragma once

// The DV video encoder: RGB24 pictures of any size in (bottom-up BGR rows,
// padded to a multiple of 4 bytes), 25 Mbit/s DV frames out (Video/dvsd,
// 720 × 576 PAL 4:2:0 or 720 × 480 NTSC 4:1:1, as put_FormatSettings
// chooses), with libavcodec's dvvideo on slice threads: one frame in, its
// frames out at once (no frame delay).
//
// Frame rate. The output runs at the standard's rate; output frame n starts
// at n × the standard's frame duration. When the input's time stamps run at
// another rate, each input picture is encoded into every output frame that
// starts inside its time range: pictures are dropped or repeated, so the
// duration stays. Input without time stamps gives one frame per picture.
//
// Display mode: pictures at least about 16:9 wide (width / height ≥ 1.55)
// are marked 16:9, others 4:3.
#include "platform/media/filters/banded_scaler.h"
#include "platform/media/filters/ffmpeg_support.h"
#include "platform/media/transform.h"

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

    // Slice threads of the codec and bands of the colour conversion
    // (default: the processor count, at most 8). Only while stopped.
    void setThreadCount(int count) { m_threadCount = count < 1 ? 1 : count; }

    bool CheckInputType(const MediaType &type) override;
    bool CheckTransform(const MediaType &in, const MediaType &out) override;
    std::optional<MediaType> GetMediaType(int position) override;
    bool DecideBufferSize(Allocator &allocator, const AllocatorProperties &input) override;
    bool StartStreaming() override;
    void StopStreaming() override;
    Flow Receive(const SamplePtr &sample) override;
    void newSegment(InputPin &pin, std::int64_t start, std::int64_t stop) override;

private:
    // Start of output frame n, 100 ns from the segment start.
    std::int64_t frameStart(std::int64_t n) const;
    Flow encode(const MediaSample &in);

    int m_videoFormat = DVENCODERVIDEOFORMAT_NTSC; // control thread
    int m_threadCount = ffmpeg::defaultThreadCount();

    // Streaming state: made in StartStreaming, used on the streaming thread.
    ffmpeg::CodecContextPtr m_codec;
    ffmpeg::FramePtr m_frame;
    ffmpeg::PacketPtr m_packet;
    // The last encoded frame, copied out of the packet once: a picture
    // repeated to conform the frame rate is delivered from here. The packet's
    // bytes were written by libavcodec's slice threads, which synchronise
    // through atomics that ThreadSanitizer cannot see; each read of them in a
    // checked build costs a (suppressed) report per word.
    std::vector<std::uint8_t> m_encoded;
    std::unique_ptr<ffmpeg::BandedScaler> m_scaler;
    ffmpeg::PictureLayout m_inLayout;
    std::int64_t m_nextFrame = 0; // output frames delivered in this segment
};

} // namespace vidora::media
