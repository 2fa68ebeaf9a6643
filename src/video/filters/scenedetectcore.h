#pragma once

// The per-frame work of the date-based scene detector, apart from any filter
// framework: it reads every DV frame's date, time code, audio format, display
// mode and line system, finds where scenes begin, builds the subtitle lines and
// keeps the leading blocks of the last frame for the DV header rewriting.
//
// The in-place filter that wraps it maps its life cycle one to one:
//   start of streaming  → startStreaming(frame duration of the connection)
//   each sample         → processFrame(buffer, actual length)
//   Stop, after streaming has quiesced → stop()
//
// A run is everything from startStreaming to stop. startStreaming resets the
// scene state and the frame records (a run may read another file), so each
// run begins alike whatever the previous one did; stop
// makes the final report (last scene, empty subtitle lines, OnEnd, in that
// order) exactly once per run, also for a run that saw no frame, and a stop
// outside a run reports nothing.
//
// Threads: startStreaming and processFrame run on the streaming thread, stop on
// the thread that stops the graph after the streaming thread has finished. The
// callbacks run on the thread of the call that makes them, without any lock of
// the detector held, so they may read the detector. The frame records and the
// header store are read from other threads (the GUI's position timer, the probe,
// the overlay and header filters) through the accessors, which copy under a
// lock. The callbacks are set only while no run is streaming; the options may
// be set at any time and apply from the next frame.
#include "settings/incrustrec.h"
#include "video/filters/dvframeinfo.h"
#include "video/filters/titletemplate.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>

namespace vidora {

class DvSceneDetectCore
{
public:
    // A scene has ended. start is its first frame; end.FrameNumber the first
    // frame after it, and at a break end is the first frame of the new scene.
    using SceneCallback = std::function<void(const TDvFrameInfo &start, const TDvFrameInfo &end)>;
    // The subtitle text has changed; info is the frame from which it applies.
    using TitleCallback =
        std::function<void(const TDvFrameInfo &info, const QString &line1, const QString &line2)>;
    // The run has stopped and every scene and text has been reported.
    using EndCallback = std::function<void()>;

    // A recording time that moves by more than this between consecutive dated
    // frames begins a new scene (either direction).
    static constexpr double kJumpThresholdDays = 5.0 / 86400.0;
    // A date that returns after at most this many frames from the scene start
    // continues the scene.
    static constexpr std::uint32_t kDateGapFrames = 12;
    static constexpr std::int32_t kDefaultShowCount = 125; // 5 s at 25 frames a second

    DvSceneDetectCore();

    // The options the detector reads: Line1, Line2, When, DateFormat1,
    // DateFormat2, DateOffset, and Seconds for ShowCount, recomputed here when
    // the frame duration is known.
    void setOptions(const TincrustRec &options);
    TincrustRec options() const;
    std::int32_t showCount() const;

    void setOnScene(SceneCallback callback) { m_onScene = std::move(callback); }
    // Cleared by every stop(): set it again for each run.
    void setOnTitle(TitleCallback callback) { m_onTitle = std::move(callback); }
    void setOnEnd(EndCallback callback) { m_onEnd = std::move(callback); }

    // Begins a run; called for every run, also when the connection has no
    // format block. frameDuration100ns is the connection's frame duration (a
    // video-info block's average time per frame); 0 or less when the
    // connection states none (an interleaved DV stream), and then the first
    // DV frame's system gives it.
    void startStreaming(std::int64_t frameDuration100ns);

    // One sample. A buffer of 120000 bytes (525/60) or 144000 bytes (625/50) is
    // a DV frame: it is decoded and counted and true is returned. Any other
    // length is not looked at: false, and the frame count does not advance.
    // The buffer is never changed.
    bool processFrame(std::span<const std::uint8_t> sample);

    // Ends the run: the final report, then the reset, and OnTitle is cleared.
    void stop();

    // Snapshots, safe from any thread.
    TDvFrameInfo currentInfo() const;  // the working record: after a frame, its
                                       // values with the next frame's number
    TDvFrameInfo previousInfo() const; // the record as it was before the last frame
    TDvFrameInfo lastInfo() const;     // the last frame, after its scene rules
    DvHeaderStore headerStore() const;
    // Copies the header store into an existing one, for a caller on the
    // streaming path that keeps its own.
    void copyHeaderStore(DvHeaderStore &target) const;
    // The last frame's record and header store in one snapshot. The store is
    // the detector's own, shared rather than copied: each frame fills a new
    // one (recycled from a small pool once nobody holds it), so a holder keeps
    // that frame's blocks however many frames the detector reads after it.
    // Null store before the run's first DV frame.
    struct FrameRecord
    {
        TDvFrameInfo info;
        std::shared_ptr<const DvHeaderStore> store;
    };
    FrameRecord lastFrame() const;
    // The frame duration in use (100 ns); 0 until a run has learnt it.
    std::int64_t frameDuration() const;

private:
    void resetRun();
    void breakScene(const TDvFrameInfo &current);
    void reportTitle(const TDvFrameInfo &info, const TitleLines &lines);

    // guarded by m_lock; written on the streaming thread (and by stop() once
    // streaming has ended), read from any thread through the accessors
    mutable std::mutex m_lock;
    TDvFrameInfo m_current;
    TDvFrameInfo m_previous;
    TDvFrameInfo m_last;
    std::shared_ptr<const DvHeaderStore> m_headerStore; // null before the run's first frame
    TincrustRec m_options;
    std::int32_t m_showCount = kDefaultShowCount;
    std::int64_t m_frameDuration = 0;

    // Header stores that no frame holds any more; shared with the stores it
    // gave out, which may outlive the detector.
    struct StorePool;
    std::shared_ptr<StorePool> m_storePool;

    // Owned by the thread that runs the run (streaming, then stopping thread).
    TDvFrameInfo m_sceneStart;
    bool m_firstFrame = true;
    bool m_running = false;
    double m_referenceDate = 0.0;
    bool m_haveReference = false;
    ShowTrigger m_trigger;
    TitleLines m_reported; // the lines reported last

    // Set only while no run is streaming.
    SceneCallback m_onScene;
    TitleCallback m_onTitle;
    EndCallback m_onEnd;
};

} // namespace vidora
