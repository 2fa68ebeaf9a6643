#pragma once

// The video renderer: uncompressed RGB pictures in (RGB24 with the padded
// bottom-up rows of ffmpeg_support.h, or RGB32; top-down rows when the
// height is negative), each picture handed to a sink as a copy when its time
// comes, or lent without a copy to a sink that borrows pictures. A paused graph shows its cued
// frame: the sample the renderer holds while paused is presented at once, and not again when the
// graph runs. Without a sink the pictures are dropped (a window not yet attached).
#include "platform/media/renderer.h"

#include <QImage>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

namespace vidora::media {

// One picture for display: a copy that nothing else writes while it is held
// (its buffer is reused once every copy is gone; a lent picture is the
// sample's own buffer, which returns to its pool then), top row first, in
// QImage::Format_BGR888 (RGB24 input) or QImage::Format_RGB32 (RGB32 input),
// with the time of the sample it came from (100 ns, segment-relative).
struct VideoFrame
{
    QImage picture;
    std::optional<TimeRange> time;
};

// Where the renderer's pictures go. presentFrame runs on the streaming thread
// and must return quickly and must not
// call back into the graph.
class IVideoSink
{
public:
    virtual void presentFrame(VideoFrame frame) = 0;
    // True for a sink that keeps a picture only until the next one comes and
    // hands out copies of it for longer: a top-down 24-bit picture is then
    // lent to it in the sample's own buffer, which stays out of the upstream
    // pool while the sink holds the picture. Asked on the streaming thread.
    virtual bool borrowsPictures() const { return false; }
    // A lent picture as the renderer receives it, before it waits for the
    // picture's time: the same picture that presentFrame brings when the
    // time comes (the same QImage::cacheKey), unless the frame is dropped or
    // flushed first. A sink may get ready to show it here, while the
    // picture is fresh in the streaming thread's cache; the picture must not
    // be kept. Streaming thread; borrowing sinks only.
    virtual void prepareFrame(const VideoFrame &) {}

protected:
    ~IVideoSink() = default;
};

class PicturePool;

class VideoRendererFilter final : public RendererFilter
{
public:
    explicit VideoRendererFilter(std::shared_ptr<IVideoSink> sink = nullptr);
    ~VideoRendererFilter() override;

    // Any thread, any state; the next picture goes to the new sink.
    void setSink(std::shared_ptr<IVideoSink> sink);

    bool CheckInputType(const MediaType &type) override;
    bool StartStreaming() override;
    Flow DoRenderSample(const MediaSample &sample) override;
    void OnReceiveFirstSample(const MediaSample &sample) override;
    void beginFlush(InputPin &pin) override;
    void Stop() override;
    // Keeps the sample at hand while it is rendered, so that it can be lent.
    Flow receive(InputPin &pin, const SamplePtr &sample) override;

private:
    Flow present(const MediaSample &sample);

    std::mutex m_sinkMutex;
    std::shared_ptr<IVideoSink> m_sink; // guarded by m_sinkMutex

    // Streaming state: set in StartStreaming, then used on the streaming
    // thread only.
    MediaType m_type;
    // The sample in receive, and its picture when lent to the sink
    // (streaming thread only).
    SamplePtr m_receiving;
    QImage m_lent;
    // The sample presented while paused (identity only), so that Run does
    // not present it twice; streaming thread, cleared on flush and stop.
    std::atomic<const MediaSample *> m_cuedSample{nullptr};
    // The buffers of the pictures handed to the sink, reused once the sink
    // has let go of them.
    std::shared_ptr<PicturePool> m_pictures;
};

} // namespace vidora::media
