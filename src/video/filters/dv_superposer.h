#pragma once

// The date overlay filter: a transform on decoded pictures (RGB24, or the
// DV decoder's planar I420 / Y41B in a graph that encodes DV again) that burns
// two lines of text (the recording date and time and the time code of
// the frame, from the linked scene detector's LastInfo, through the "%D1",
// "%D2" and "%T" templates) into every frame, and can deinterlace it. The
// drawing, the still picture and the frame-shown flag are SuperposerCore's;
// this class adds the media layer, the show triggers and the title texts.
//
// The detector sits upstream of the decoder; each frame's record comes with
// the frame (its DvFrameNote), else from the detector's LastInfo, which on a
// chain of synchronous transforms describes the frame this filter receives.
//
// Threads: the setters, the still-picture operations and the frame-shown flag
// are for the GUI thread (any thread is safe); a change applies from the next
// frame. StartStreaming runs before streaming, Receive and Transform on the
// streaming thread, StopStreaming on the stopping thread.
#include "platform/media/transform.h"
#include "video/filters/dv_superposercore.h"
#include "video/filters/rgb24connection.h"
#include "video/filters/titletemplate.h"

#include <atomic>

namespace vidora {

class Tdv_sceneDetect;

class Tdv_Superposer final : public media::TransformFilter
{
public:
    static constexpr const char *kObjectName = "Vesk Tobrek cf_Superposer";

    // detector: the linked scene detector, not owned; must outlive this
    // filter; may be null (no date: frames are drawn as undated).
    explicit Tdv_Superposer(const Tdv_sceneDetect *detector);

    // The options, font included; ShowCount follows when the frame duration
    // is known. Neither restarts the countdown nor applies AutoSize.
    void SetOptions(const TincrustRec &options);
    void SetAlignment(std::uint8_t alignment) { m_core.SetAlignment(alignment); }
    void SetDateOffset(double days) { m_core.SetDateOffset(days); }
    // Options.When, and the countdown restarts at the next frame.
    void SetDisplayMode(std::uint8_t when);
    // x and y per mille, clamped to 0..1000.
    void SetPosition(std::int32_t x, std::int32_t y, std::uint8_t alignment)
    {
        m_core.SetPosition(x, y, alignment);
    }
    void SetOverlayOn(bool on) { m_core.SetOverlayOn(on); }
    void SetDeinterlace(bool on) { m_core.SetDeinterlace(on); }
    SuperposerSettings Settings() const { return m_core.Settings(); }
    std::int32_t ShowCount() const { return m_showCount.load(); }

    // This instance's frame-shown flag: set after each frame; a caller clears
    // it and waits for it (the frame's still picture is then ready).
    void ClearFrameShown() { m_core.ClearFrameShown(); }
    bool FrameShown() const { return m_core.FrameShown(); }
    // See SuperposerCore::SetFrameShownObserver.
    void SetFrameShownObserver(std::function<void()> observer)
    {
        m_core.SetFrameShownObserver(std::move(observer));
    }
    QImage Picture() const { return m_core.Picture(); }
    void CopyPicture(QImage &target) const { m_core.CopyPicture(target); }
    void CopyPictureDeinterlaced(QImage &target) { m_core.CopyPictureDeinterlaced(target); }
    // The placement of the last frame's text.
    OverlayLayout LastLayout() const { return m_core.LastLayout(); }

    // Video/RGB24, I420 or Y41B with a VIDEOINFOHEADER; the output the same.
    bool CheckInputType(const media::MediaType &type) override;
    bool CheckTransform(const media::MediaType &in, const media::MediaType &out) override;
    // The input's type (RGB24 with the image size of padded 24-bit rows).
    std::optional<media::MediaType> GetMediaType(int position) override;
    // The input's buffer count, and buffers that hold a whole picture.
    bool DecideBufferSize(media::Allocator &allocator,
                          const media::AllocatorProperties &input) override;
    bool StartStreaming() override;
    void StopStreaming() override;
    // A picture that only this stream holds is drawn on where it lies and
    // handed on without a copy, as a read-only view (the filter keeps the
    // frame for its still picture until the next one); a read-only one (a
    // branch of a tee) goes through Transform into a buffer of the output's
    // pool.
    media::Flow Receive(const media::SamplePtr &sample) override;
    // A picture that cannot be taken or written ends the run with an error.
    media::Flow Transform(const media::MediaSample &in, media::MediaSample &out) override;

private:
    // The frame's number when it carries none, and whether and what text is
    // drawn on it. Streaming thread.
    struct FrameTexts
    {
        std::array<QString, 2> texts;
        bool shown = false;
    };
    FrameTexts nextFrame(const media::MediaSample &in, media::MediaSample &out);

    const Tdv_sceneDetect *m_detector;
    SuperposerCore m_core;
    std::atomic<std::int64_t> m_avgTimePerFrame{0}; // 100 ns; 0 until streaming starts
    std::atomic<std::int32_t> m_showCount{125};     // 5 s at 25 frames a second
    std::atomic<bool> m_restartCountdown{false};    // set by SetDisplayMode

    // The picture a sample holds, as the input's type lays it out.
    YuvView planarView(const media::MediaSample &sample) const;
    std::size_t imageSize() const;

    // streaming thread (StartStreaming before it starts)
    ShowTrigger m_trigger;
    Rgb24Geometry m_geometry;
    bool m_planar = false;  // planar pictures with the chroma shifts below
    int m_chromaShiftX = 1; // as YuvView's
    int m_chromaShiftY = 1;
};

} // namespace vidora
