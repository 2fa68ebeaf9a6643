#include "platform/media/filters/dv_encoder.h"

#include <array>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace vidora::media {

namespace {

constexpr int DvWidth = 720;

// One row per DV system.
struct DvSystem
{
    int videoFormat;
    int height;                 // pixels; the width is 720
    AVPixelFormat pixelFormat;  // 4:2:0 (PAL) or 4:1:1 (NTSC)
    AVRational frameRate;       // frames per second
    std::int64_t frameDuration; // 100 ns, rounded
    std::size_t frameBytes;     // one DIF frame
};

constexpr std::array<DvSystem, 2> DvSystems{{
    {DVENCODERVIDEOFORMAT_PAL, 576, AV_PIX_FMT_YUV420P, {25, 1}, 400000, 144000},
    {DVENCODERVIDEOFORMAT_NTSC, 480, AV_PIX_FMT_YUV411P, {30000, 1001}, 333667, 120000},
}};

const DvSystem &systemOf(int videoFormat)
{
    return videoFormat == DVENCODERVIDEOFORMAT_PAL ? DvSystems[0] : DvSystems[1];
}

bool isRgb24(const MediaType &type)
{
    const auto layout = ffmpeg::pictureLayout(type);
    return layout && layout->format == AV_PIX_FMT_BGR24;
}

// Pictures at least this wide for their height are marked 16:9 (between
// 4:3 = 1.33 and 16:9 = 1.78).
constexpr double WideAspect = 1.55;

} // namespace

DvEncoderFilter::DvEncoderFilter() : TransformFilter("DV Video Encoder")
{
    // Two pictures wait while one is encoded: enough to keep both sides busy
    // (the upstream's pool holds three).
    setQueuedInput(2);
}

DvEncoderFilter::~DvEncoderFilter() = default;

bool DvEncoderFilter::put_FormatSettings(int videoFormat, int dvFormat, int resolution,
                                         bool withDvInfo)
{
    if (videoFormat != DVENCODERVIDEOFORMAT_NTSC && videoFormat != DVENCODERVIDEOFORMAT_PAL)
        return false;
    if (dvFormat != DVENCODERFORMAT_DVSD || resolution != DVENCODERRESOLUTION_720x480 || withDvInfo)
        return false;
    if (output().isConnected() && videoFormat != m_videoFormat)
        return false;
    m_videoFormat = videoFormat;
    return true;
}

void DvEncoderFilter::get_FormatSettings(int &videoFormat, int &dvFormat, int &resolution,
                                         bool &withDvInfo) const
{
    videoFormat = m_videoFormat;
    dvFormat = DVENCODERFORMAT_DVSD;
    resolution = DVENCODERRESOLUTION_720x480;
    withDvInfo = false;
}

bool DvEncoderFilter::CheckInputType(const MediaType &type)
{
    return isRgb24(type);
}

std::optional<MediaType> DvEncoderFilter::GetMediaType(int position)
{
    if (position != 0 || !input().isConnected())
        return std::nullopt;
    const DvSystem &s = systemOf(m_videoFormat);
    VideoInfoHeader info;
    info.rcSource = {0, 0, DvWidth, s.height};
    info.rcTarget = info.rcSource;
    info.AvgTimePerFrame = s.frameDuration;
    info.dwBitRate = static_cast<std::uint32_t>(s.frameBytes * 8 * s.frameRate.num /
                                                static_cast<std::size_t>(s.frameRate.den));
    info.bmiHeader.biWidth = DvWidth;
    info.bmiHeader.biHeight = s.height;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = subtype::Dvsd;
    info.bmiHeader.biSizeImage = static_cast<std::uint32_t>(s.frameBytes);
    MediaType type = MediaType::video(subtype::Dvsd, info);
    type.fixedSizeSamples = true;
    type.sampleSize = static_cast<std::uint32_t>(s.frameBytes);
    return type;
}

bool DvEncoderFilter::CheckTransform(const MediaType &in, const MediaType &out)
{
    if (!isRgb24(in) || out.major() != MajorType::Video || out.subtype() != subtype::Dvsd)
        return false;
    const auto info = out.videoInfo();
    const DvSystem &s = systemOf(m_videoFormat);
    return info && info->bmiHeader.biWidth == DvWidth && info->bmiHeader.biHeight == s.height;
}

bool DvEncoderFilter::DecideBufferSize(Allocator &allocator, const AllocatorProperties &)
{
    const std::size_t size = systemOf(m_videoFormat).frameBytes;
    const auto granted = allocator.setProperties({4, size, 16});
    return granted && granted->size >= size;
}

// The encoders and their threads. A lane takes one picture at a time: it
// converts the picture to the DV system's planar format, lets it go back to
// its pool, and encodes it. The filter's streaming thread hands pictures out
// and takes the frames back, oldest first, so a lane is free again by the
// time it is given the next picture in turn.
class DvEncoderFilter::Lanes
{
public:
    struct Setup
    {
        ffmpeg::PictureLayout in;
        const DvSystem *system = nullptr;
        AVRational sampleAspect{1, 1};
    };

    // Null when an encoder cannot be opened.
    static std::unique_ptr<Lanes> open(std::size_t count, const Setup &setup)
    {
        auto lanes = std::unique_ptr<Lanes>(new Lanes(setup));
        lanes->m_lanes.resize(count);
        for (Lane &lane : lanes->m_lanes)
            if (!lanes->openLane(lane))
                return nullptr;
        for (Lane &lane : lanes->m_lanes)
            lane.thread = std::thread([raw = lanes.get(), &lane] { raw->run(lane); });
        return lanes;
    }

    ~Lanes()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_quit = true;
            m_changed.notify_all();
        }
        for (Lane &lane : m_lanes)
            if (lane.thread.joinable())
                lane.thread.join();
    }

    Lanes(const Lanes &) = delete;
    Lanes &operator=(const Lanes &) = delete;

    std::size_t size() const { return m_lanes.size(); }

    // Waits until lane `i` has finished its last picture, then gives it this one.
    void submit(std::size_t i, SamplePtr picture)
    {
        Lane &lane = m_lanes[i];
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return !lane.busy; });
        lane.picture = std::move(picture);
        lane.busy = true;
        m_changed.notify_all();
    }

    // Waits until lane `i` has finished; its frame, or null when the picture
    // could not be encoded. Valid until the lane's next picture.
    const std::vector<std::uint8_t> *take(std::size_t i)
    {
        Lane &lane = m_lanes[i];
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return !lane.busy; });
        return lane.ok ? &lane.encoded : nullptr;
    }

private:
    struct Lane
    {
        ffmpeg::CodecContextPtr codec;
        ffmpeg::FramePtr frame;
        ffmpeg::PacketPtr packet;
        ffmpeg::SwsPtr scaler;
        std::int64_t pts = 0;
        // guarded by m_mutex
        SamplePtr picture;
        bool busy = false;
        bool ok = false;
        // written by the lane while busy, read by the streaming thread after
        std::vector<std::uint8_t> encoded;
        std::thread thread;
    };

    explicit Lanes(const Setup &setup) : m_setup(setup) {}

    bool openLane(Lane &lane)
    {
        const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_DVVIDEO);
        if (!codec)
            return false;
        const DvSystem &s = *m_setup.system;
        lane.codec.reset(avcodec_alloc_context3(codec));
        lane.frame.reset(av_frame_alloc());
        lane.packet.reset(av_packet_alloc());
        if (!lane.codec || !lane.frame || !lane.packet)
            return false;
        lane.codec->width = DvWidth;
        lane.codec->height = s.height;
        lane.codec->pix_fmt = s.pixelFormat;
        lane.codec->time_base = av_inv_q(s.frameRate);
        lane.codec->framerate = s.frameRate;
        lane.codec->sample_aspect_ratio = m_setup.sampleAspect;
        lane.codec->thread_count = 1;
        if (avcodec_open2(lane.codec.get(), codec, nullptr) < 0)
            return false;
        lane.frame->format = s.pixelFormat;
        lane.frame->width = DvWidth;
        lane.frame->height = s.height;
        if (av_frame_get_buffer(lane.frame.get(), 0) < 0)
            return false;
        const ffmpeg::PictureLayout &in = m_setup.in;
        lane.scaler.reset(sws_getContext(in.width, in.height, in.format, DvWidth, s.height,
                                         s.pixelFormat, SWS_BICUBIC, nullptr, nullptr, nullptr));
        return lane.scaler != nullptr;
    }

    void run(Lane &lane)
    {
        for (;;) {
            SamplePtr picture;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] { return m_quit || lane.picture; });
                if (m_quit)
                    return;
                picture = std::move(lane.picture);
            }
            const bool ok = encode(lane, picture);
            const std::lock_guard lock(m_mutex);
            lane.ok = ok;
            lane.busy = false;
            m_changed.notify_all();
        }
    }

    bool encode(Lane &lane, SamplePtr &picture)
    {
        const ffmpeg::PictureLayout &in = m_setup.in;
        if (picture->actualLength() < in.imageSize)
            return false;
        if (av_frame_make_writable(lane.frame.get()) < 0)
            return false;
        const std::uint8_t *src[4];
        int srcStride[4];
        ffmpeg::pictureArrays(in, picture->data(), src, srcStride);
        AVFrame &frame = *lane.frame;
        const int rows =
            sws_scale(lane.scaler.get(), src, srcStride, 0, in.height, frame.data, frame.linesize);
        // The picture goes back to its pool as soon as it has been read.
        picture.reset();
        if (rows != frame.height)
            return false;
        // DV is interlaced, bottom field first in both systems' usual recordings.
        frame.interlaced_frame = 1;
        frame.top_field_first = 0;
        frame.pts = lane.pts++;
        if (avcodec_send_frame(lane.codec.get(), &frame) < 0)
            return false;
        if (avcodec_receive_packet(lane.codec.get(), lane.packet.get()) < 0)
            return false;
        const bool whole =
            static_cast<std::size_t>(lane.packet->size) == m_setup.system->frameBytes;
        if (whole)
            lane.encoded.assign(lane.packet->data, lane.packet->data + lane.packet->size);
        av_packet_unref(lane.packet.get());
        return whole;
    }

    const Setup m_setup;
    std::vector<Lane> m_lanes; // sized once, before the threads start
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_quit = false; // guarded by m_mutex
};

bool DvEncoderFilter::StartStreaming()
{
    const auto layout = ffmpeg::pictureLayout(input().connectionType());
    if (!layout)
        return false;
    const DvSystem &s = systemOf(m_videoFormat);
    // The display mode follows the picture's shape: the sample aspect that
    // makes the DV frame 16:9 or 4:3 wide.
    const bool wide = static_cast<double>(layout->width) / layout->height >= WideAspect;
    const AVRational display = wide ? AVRational{16, 9} : AVRational{4, 3};
    Lanes::Setup setup;
    setup.in = *layout;
    setup.system = &s;
    setup.sampleAspect = av_div_q(display, AVRational{DvWidth, s.height});
    m_lanes = Lanes::open(static_cast<std::size_t>(m_threadCount), setup);
    m_pending.clear();
    m_nextLane = 0;
    m_nextFrame = m_scheduledFrame = 0;
    return m_lanes != nullptr;
}

void DvEncoderFilter::StopStreaming()
{
    m_pending.clear();
    m_lanes.reset();
}

void DvEncoderFilter::NewSegment(std::int64_t, std::int64_t)
{
    // Pictures of the segment before (a seek) are not delivered; output
    // frames count from the segment's start again.
    discardPending();
    m_nextFrame = m_scheduledFrame = 0;
}

Flow DvEncoderFilter::EndOfStream()
{
    Flow result = Flow::Ok;
    while (!m_pending.empty() && result == Flow::Ok)
        result = deliverOldest();
    discardPending();
    return result;
}

void DvEncoderFilter::discardPending()
{
    m_pending.clear();
    m_nextLane = 0;
}

std::int64_t DvEncoderFilter::frameStart(std::int64_t n) const
{
    const AVRational rate = systemOf(m_videoFormat).frameRate;
    return av_rescale(n, 10000000LL * rate.den, rate.num);
}

Flow DvEncoderFilter::deliverOldest()
{
    const Pending pending = m_pending.front();
    m_pending.pop_front();
    const std::vector<std::uint8_t> *encoded = m_lanes->take(pending.lane);
    if (encoded == nullptr) {
        reportError(name() + ": a picture cannot be encoded");
        return Flow::Error;
    }
    Flow result = Flow::Ok;
    for (std::int64_t i = 0; i < pending.count && result == Flow::Ok; ++i) {
        SamplePtr out;
        result = output().allocator()->getBuffer(out);
        if (result != Flow::Ok)
            break;
        const std::int64_t n = pending.firstFrame + i;
        std::memcpy(out->data(), encoded->data(), encoded->size());
        out->setActualLength(encoded->size());
        out->time = TimeRange{frameStart(n), frameStart(n + 1)};
        out->mediaTime = TimeRange{n, n + 1};
        out->syncPoint = true;
        out->discontinuity = pending.discontinuity && i == 0;
        out->preroll = pending.preroll;
        out->note = pending.note;
        m_nextFrame = n + 1;
        result = output().deliver(out);
    }
    return result;
}

Flow DvEncoderFilter::Receive(const SamplePtr &sample)
{
    // The output frames that start inside this picture's time range.
    // A picture never fills more than a minute of output: a broken stop time
    // must not make the encoder repeat it without end.
    constexpr std::int64_t MaxRepeats = 30 * 60;
    std::int64_t count = 1;
    if (sample->time) {
        count = 0;
        while (count < MaxRepeats && frameStart(m_scheduledFrame + count) < sample->time->stop)
            ++count;
    }
    if (count == 0)
        return Flow::Ok; // dropped: the output is ahead of the input
    // Every lane busy: the oldest picture's frames go first, which frees
    // the lane whose turn is next.
    if (m_pending.size() == m_lanes->size()) {
        const Flow delivered = deliverOldest();
        if (delivered != Flow::Ok)
            return delivered;
    }
    Pending pending;
    pending.lane = m_nextLane;
    pending.firstFrame = m_scheduledFrame;
    pending.count = count;
    pending.discontinuity = sample->discontinuity;
    pending.preroll = sample->preroll;
    pending.note = sample->note;
    m_lanes->submit(m_nextLane, sample);
    m_nextLane = (m_nextLane + 1) % m_lanes->size();
    m_scheduledFrame += count;
    m_pending.push_back(std::move(pending));
    return Flow::Ok;
}

} // namespace vidora::media
