#pragma once

// A video sink for tests: records every frame the video renderer presents,
// with the time a clock showed at that moment.
#include "platform/media/clock.h"
#include "platform/media/filters/video_renderer.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace vidora::test {

struct PresentedFrame
{
    media::VideoFrame frame;
    std::int64_t clockTime = -1; // the clock's time when presented, -1 without one
};

class RecordingVideoSink final : public media::IVideoSink
{
public:
    // `clock` (may be null) must outlive the sink's use.
    explicit RecordingVideoSink(const media::ReferenceClock *clock = nullptr) : m_clock(clock) {}

    void presentFrame(media::VideoFrame frame) override;

    std::vector<PresentedFrame> frames() const;
    bool waitForFrames(std::size_t count, std::chrono::milliseconds timeout) const;

private:
    const media::ReferenceClock *m_clock;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<PresentedFrame> m_frames; // guarded by m_mutex
};

} // namespace vidora::test
