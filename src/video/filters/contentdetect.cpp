#include "video/filters/contentdetect.h"

#include <algorithm>
#include <cstdlib>

namespace vidora {

void MediaStamperCore::StartStreaming()
{
    m_mediaStart.store(0, std::memory_order_release);
    m_mediaEnd.store(0, std::memory_order_release);
}

void MediaStamperCore::Receive(std::optional<std::int64_t> mediaStart,
                               std::optional<std::int64_t> mediaEnd)
{
    if (mediaStart)
        m_mediaStart.store(*mediaStart, std::memory_order_release);
    if (mediaEnd)
        m_mediaEnd.store(*mediaEnd, std::memory_order_release);
}

std::int32_t MediaStamperCore::FrameNumber() const
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(MediaStart()));
}

SceneDetectContenuCore::SceneDetectContenuCore(const MediaStamperCore *stamper) : m_stamper(stamper)
{}

void SceneDetectContenuCore::SetStamper(const MediaStamperCore *stamper)
{
    m_stamper.store(stamper);
}

void SceneDetectContenuCore::SetOnScene(SceneCallback onScene)
{
    const std::lock_guard lock(m_callbackLock);
    m_onScene = std::move(onScene);
}

void SceneDetectContenuCore::SetOnEnd(EndCallback onEnd)
{
    const std::lock_guard lock(m_callbackLock);
    m_onEnd = std::move(onEnd);
}

void SceneDetectContenuCore::StartStreaming()
{
    std::fill(m_previous.begin(), m_previous.end(), 0);
    std::fill(std::begin(m_history), std::end(m_history), 0);
    m_pictures.store(0);
    m_lastFrame.store(-1);
    m_finalReportArmed.store(true);
}

std::int32_t SceneDetectContenuCore::currentFrame() const
{
    if (const std::int64_t own = m_lastFrame.load(); own >= 0)
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(own));
    if (const MediaStamperCore *stamper = m_stamper.load())
        return stamper->FrameNumber();
    const std::int64_t pictures = m_pictures.load();
    const std::int64_t last = pictures > 0 ? pictures - 1 : 0;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(last));
}

ContentChange SceneDetectContenuCore::Transform(std::span<const std::uint8_t> picture,
                                                std::optional<std::int64_t> frame)
{
    m_pictures.fetch_add(1);
    m_lastFrame.store(frame && *frame >= 0 ? *frame : -1);
    ContentChange result;
    result.count = static_cast<int>(
        std::min<std::size_t>(picture.size() / kSampleStep, static_cast<std::size_t>(kMaxSamples)));
    std::size_t position = 0;
    for (int i = 0; i < kMaxSamples && position < picture.size(); ++i, position += kSampleStep) {
        const std::uint8_t byte = picture[position];
        if (std::abs(int(byte) - int(m_previous[i])) > kByteThreshold)
            ++result.changed;
        m_previous[i] = byte;
        ++result.sampled;
    }

    // changed > 0.3 × count, in integers.
    result.scene = 10 * static_cast<std::int64_t>(result.changed) > 3 * result.count &&
                   std::all_of(std::begin(m_history), std::end(m_history),
                               [&](int past) { return result.changed > 2 * past; });

    std::copy_backward(std::begin(m_history), std::end(m_history) - 1, std::end(m_history));
    m_history[0] = result.changed;

    if (result.scene) {
        SceneCallback onScene;
        {
            const std::lock_guard lock(m_callbackLock);
            onScene = m_onScene;
        }
        if (onScene)
            onScene(currentFrame());
    }
    return result;
}

bool SceneDetectContenuCore::Stop()
{
    if (!m_finalReportArmed.exchange(false))
        return false;
    SceneCallback onScene;
    EndCallback onEnd;
    {
        const std::lock_guard lock(m_callbackLock);
        onScene = m_onScene;
        onEnd = m_onEnd;
    }
    if (onScene)
        onScene(currentFrame());
    if (onEnd)
        onEnd();
    return true;
}

} // namespace vidora
