#pragma once

// Scene changes found from the pictures themselves, for videos without a usable
// recording date, apart from the media layer. Two filters cooperate in one
// streaming chain: the media-time stamper, right after the splitter, remembers
// the frame numbers (media times) of the last sample that passed it; the
// content detector, after the decoder, compares each RGB24 picture with the
// previous one and reports a change with the picture's own frame number.
//
// The picture's sample carries the splitter's frame number through the
// decoder and converters where they keep it; the stamper's number is the
// fallback for samples that lost it. It cannot come first: between the
// stamper and the detector a DV splitter queues frames for its own streaming
// thread, so the stamper has seen frames the detector has not, and its
// number runs ahead of the picture compared.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace vidora {

// Media times (frame numbers from the splitter) of the last sample that passed.
// Written on the streaming thread; read by the detector on the same chain and
// at the end of a run from the thread that stops the graph.
class MediaStamperCore
{
public:
    // Start of streaming: back to 0, so a run never reports the last frame of
    // the run before it.
    void StartStreaming();

    // One sample: its media start and end, each absent when the sample carries
    // none (the value of the sample before is then kept).
    void Receive(std::optional<std::int64_t> mediaStart, std::optional<std::int64_t> mediaEnd);

    std::int64_t MediaStart() const { return m_mediaStart.load(std::memory_order_acquire); }
    std::int64_t MediaEnd() const { return m_mediaEnd.load(std::memory_order_acquire); }
    // The frame number the detector reports: the low 32 bits of MediaStart.
    std::int32_t FrameNumber() const;

private:
    std::atomic<std::int64_t> m_mediaStart{0};
    std::atomic<std::int64_t> m_mediaEnd{0};
};

// What the detector made of one picture.
struct ContentChange
{
    int count = 0;      // picture length div kSampleStep, at most kMaxSamples
    int sampled = 0;    // bytes compared
    int changed = 0;    // of those, bytes that moved by more than kByteThreshold
    bool scene = false; // a scene change (reported when OnScene is set)
};

// Threads: StartStreaming and Transform run on the streaming chain (Transform
// calls OnScene there); Stop runs on the thread that stops the graph, after
// streaming has quiesced, and makes the final calls there. The callbacks may be
// set from any thread; each call uses the callback set when it was made.
class SceneDetectContenuCore
{
public:
    static constexpr int kSampleStep = 397;   // one picture byte in 397 is compared
    static constexpr int kMaxSamples = 10000; // at most this many per picture
    static constexpr int kByteThreshold = 16; // a byte changes when it moves by more
    static constexpr int kHistory = 3;        // frames a change must stand out against

    using SceneCallback = std::function<void(std::int32_t frame)>;
    using EndCallback = std::function<void()>;

    // The stamper is not owned; without one, frame numbers count the pictures
    // since the start of streaming from 0.
    explicit SceneDetectContenuCore(const MediaStamperCore *stamper = nullptr);

    void SetStamper(const MediaStamperCore *stamper);
    // Set before a run, cleared after it; empty means unset.
    void SetOnScene(SceneCallback onScene);
    void SetOnEnd(EndCallback onEnd);

    // Start of streaming: the previous picture and the change history return to
    // zero (so the first picture is compared with zero bytes) and the run's
    // final report is armed.
    void StartStreaming();

    // One picture (the sample's data, its actual length) and its frame number
    // when its sample carries one (else the stamper's, or the count of
    // pictures, stands for it): the byte at 0, 397,
    // 794, ... inside the data is compared with the same byte of the previous
    // picture. A scene change is a frame where more than 0.3 × count bytes
    // changed and more than twice as many as in each of the last three frames:
    // a cut stands out once, while a slow pan changes many bytes in every frame
    // and raises the history with it. OnScene is called on the calling thread
    // with the frame number.
    ContentChange Transform(std::span<const std::uint8_t> picture,
                            std::optional<std::int64_t> frame = std::nullopt);

    // End of a run, once streaming has quiesced: reports the frame number of the
    // last picture (the end of the last scene) to OnScene, then calls OnEnd.
    // Only the first Stop after a StartStreaming reports; true when it did.
    bool Stop();

private:
    std::int32_t currentFrame() const;

    std::atomic<const MediaStamperCore *> m_stamper;
    std::mutex m_callbackLock;
    SceneCallback m_onScene; // guarded by m_callbackLock
    EndCallback m_onEnd;     // guarded by m_callbackLock

    // Streaming thread only (and StartStreaming before it starts).
    std::vector<std::uint8_t> m_previous = std::vector<std::uint8_t>(kMaxSamples, 0);
    int m_history[kHistory] = {0, 0, 0};     // changed counts, newest first
    std::atomic<std::int64_t> m_pictures{0}; // pictures since the start of streaming
    // The last picture's own frame number; -1 when its sample had none.
    std::atomic<std::int64_t> m_lastFrame{-1};

    std::atomic<bool> m_finalReportArmed{false};
};

} // namespace vidora
