#include "support/media_video_sink.h"

namespace vidora::test {

void RecordingVideoSink::presentFrame(media::VideoFrame frame)
{
    const std::int64_t clockTime = m_clock ? m_clock->now() : -1;
    {
        std::lock_guard lock(m_mutex);
        m_frames.push_back({std::move(frame), clockTime});
    }
    m_changed.notify_all();
}

std::vector<PresentedFrame> RecordingVideoSink::frames() const
{
    std::lock_guard lock(m_mutex);
    return m_frames;
}

bool RecordingVideoSink::waitForFrames(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_frames.size() >= count; });
}

} // namespace vidora::test
