#pragma once

// The per-frame work of the date overlay filter, apart from the media layer:
// the filter class passes each decoded picture in (RGB24, or planar YUV in a
// graph that encodes DV again) and gets the picture with the text burnt in
// (and deinterlaced when asked) back; it also keeps a deinterlaced still of
// the last frame for the video view and the scene thumbnails.
//
// What the two lines say and whether they are shown on a frame (the
// "%D1"/"%D2"/"%T" codes and the show triggers) is decided by the caller; this
// class takes the finished texts and the decision.
//
// Threads: the setters, Settings(), the still-picture operations and the
// frame-shown flag may be used from any thread (in practice the GUI thread)
// while StartStreaming, the transforms and StopStreaming run on the streaming
// (or stopping) thread. Settings are
// copied under a lock at the start of each frame, so a change takes effect with
// the next frame; the working pictures are guarded by a second lock, held for a
// whole frame and by the still-picture operations.
#include "settings/incrustrec.h"
#include "video/filters/deinter.h"
#include "video/filters/overlaylayout.h"
#include "video/filters/overlayraster.h"
#include "video/filters/rgb24picture.h"
#include "video/filters/yuvpicture.h"

#include <QFont>
#include <QImage>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace vidora {

struct SuperposerSettings
{
    // Own copy of the overlay options. Line1, Line2, When, the date formats,
    // DateOffset and Seconds are kept for the caller's texts and triggers.
    TincrustRec Options = InitialOptions();
    bool OverlayOn = true;
    std::int32_t PosX = 900; // per mille of the width, 0..1000
    std::int32_t PosY = 900; // per mille of the height, 0..1000
    std::uint8_t Alignment = 2;
    bool Deinterlace = false;
    // The drawing font: bold white "Arial" with a 28-pixel cell until options
    // are set; then Options.Font, whose size AutoSize replaces at each start of
    // streaming.
    TfontRecord Font = InitialFont();

    static TincrustRec InitialOptions();
    static TfontRecord InitialFont();
};

class SuperposerCore
{
public:
    SuperposerCore();

    void SetOptions(const TincrustRec &options); // also takes its font; leaves the countdown alone
    void SetAlignment(std::uint8_t alignment);
    void SetDateOffset(double days);
    void SetDisplayMode(std::uint8_t when); // Options.When; the caller restarts its countdown
    // x and y are clamped to 0..1000.
    void SetPosition(std::int32_t x, std::int32_t y, std::uint8_t alignment);
    void SetOverlayOn(bool on);
    void SetDeinterlace(bool on);
    SuperposerSettings Settings() const;

    // Start of streaming, with the connected picture size. Resets the frame
    // counter, sizes the working pictures and applies AutoSize. False, and
    // nothing else done, for a size that is not positive.
    bool StartStreaming(int width, int height);

    // One frame: `input` is copied into the working picture, the texts are
    // drawn when the overlay is on and `showText` is set, and the result (or its
    // deinterlaced form) is written to `output`; input and output may be views
    // of different buffers, either row order, and must have the streamed size.
    // Then, when the frame-shown flag is clear, the frame is kept for the still
    // picture (made when the still is first asked for) and the flag set; the
    // frame counter steps on. False when the input could
    // not be taken or the output not written.
    bool Transform(ConstRgb24View input, Rgb24View output, const std::array<QString, 2> &texts,
                   bool showText);
    // One frame drawn where it lies: as Transform with `picture` as both
    // input and output, but only the text box (and, deinterlacing, the
    // pixels of the second field that change) is written, and nothing is
    // copied. The core may keep the frame for its still picture and for
    // CopyPictureDeinterlaced instead of a copy: while it holds `hold`, which
    // must keep the picture's memory alive, nobody may write into the
    // picture. It lets go at the next frame (the still it owes a waiting
    // caller is made first) and at StopStreaming.
    bool TransformInPlace(Rgb24View picture, std::shared_ptr<const void> hold,
                          const std::array<QString, 2> &texts, bool showText);
    // A planar frame drawn where it lies, as TransformInPlace: only the
    // samples under the text box change. Deinterlacing takes the frame
    // through RGB24 and back (TransformPlanar), and keeps nothing.
    bool TransformPlanarInPlace(const YuvView &picture, std::shared_ptr<const void> hold,
                                const std::array<QString, 2> &texts, bool showText);
    // A planar frame through RGB24: converted, processed as Transform does,
    // and converted back into `output` (which may be `input`). Streaming
    // thread only.
    bool TransformPlanar(const YuvView &input, const YuvView &output,
                         const std::array<QString, 2> &texts, bool showText);
    // The end of streaming: the frames held are copied into the core's own
    // pictures and let go.
    void StopStreaming();

    // Frames processed since the start of streaming (the media times the
    // filter gives a sample that carries none).
    std::uint32_t FrameCounter() const { return m_frameCounter.load(); }

    // The placement of the last frame's text (drawn false when none was drawn).
    OverlayLayout LastLayout() const;

    // Set after each frame processed; a caller clears it and waits for it to
    // learn that a frame (and its still picture) has come through.
    void ClearFrameShown() { m_frameShown.store(false, std::memory_order_release); }
    bool FrameShown() const { return m_frameShown.load(std::memory_order_acquire); }
    // Called on the streaming thread after each frame that set the flag, so
    // that a waiting caller is woken rather than polls. Set before frames
    // stream.
    void SetFrameShownObserver(std::function<void()> observer)
    {
        m_frameShownObserver = std::move(observer);
    }

    // A copy of the still picture: null before the first start of streaming,
    // black until a frame has been processed.
    QImage Picture() const;
    // Stretches the still picture over the whole of `target`.
    void CopyPicture(QImage &target) const;
    // Refreshes the still picture from the last frame with its text, then as
    // CopyPicture.
    void CopyPictureDeinterlaced(QImage &target);

private:
    // A frame taken: in one of m_texts (no hold), or where a caller of
    // TransformInPlace or TransformPlanarInPlace keeps it (held; a planar
    // frame has no RGB24 picture until one is made from it).
    struct Frame
    {
        ConstRgb24View picture;
        YuvView planar;
        std::shared_ptr<const void> hold;
    };

    // One frame: the settings copied, `body(settings, font)` run with the
    // pictures locked, then the frame-shown flag and the frame counter.
    template <typename Body>
    bool frame(Body body);
    bool process(ConstRgb24View input, Rgb24View output, std::shared_ptr<const void> hold,
                 const std::array<QString, 2> &texts, bool showText);
    OverlayPlacement placementOf(const SuperposerSettings &settings) const; // m_pictureLock held
    // The frame's picture in RGB24: a planar one is converted into
    // m_planarPicture (m_pictureLock held).
    ConstRgb24View rgbOf(const Frame &frame) const;
    void drawPictureInto(QImage &target) const; // m_pictureLock held
    // Makes the still from the frame kept for it, when one waits (m_pictureLock held).
    void makePendingStill() const;

    mutable std::mutex m_settingsLock;
    SuperposerSettings m_settings; // guarded by m_settingsLock
    QFont m_font;                  // guarded by m_settingsLock; made from m_settings.Font

    mutable std::mutex m_pictureLock;
    int m_frameWidth = 0;  // guarded by m_pictureLock
    int m_frameHeight = 0; // guarded by m_pictureLock
    // guarded by m_pictureLock: the working pictures of the copied frames
    // with their text, the last one at m_current; the other may hold the
    // frame a still is to be made from.
    std::array<QImage, 2> m_texts;
    int m_current = 0;
    Frame m_last;                        // guarded by m_pictureLock: the last frame taken
    mutable QImage m_picture;            // guarded by m_pictureLock: deinterlaced output and still
    mutable QImage m_planarPicture;      // guarded by m_pictureLock: a planar frame in RGB24
    mutable bool m_stillPending = false; // guarded by m_pictureLock: m_picture is to be made
    mutable Frame m_stillFrame;          // guarded by m_pictureLock: from this frame
    DeinterlaceMasks m_masks;            // guarded by m_pictureLock
    OverlayLayout m_lastLayout;          // guarded by m_pictureLock
    OverlayCache m_overlay;              // guarded by m_pictureLock

    QImage m_planarScratch; // streaming thread: TransformPlanar's RGB24 picture

    std::atomic<std::uint32_t> m_frameCounter{0};
    std::atomic<bool> m_frameShown{false};
    std::function<void()> m_frameShownObserver; // set before frames stream
};

} // namespace vidora
