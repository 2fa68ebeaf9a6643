#pragma once

// The date-based scene detector as an in-place filter on a DV stream (the DV
// video stream, Video/dvsd, or the interleaved stream of a type-1 file). It
// reads every frame and never changes it; the per-frame work is
// DvSceneDetectCore's.
//
// Life cycle of a run, as the media layer drives it:
//   leaving Stopped (control thread) → the core starts a run with the
//       connection's frame duration: a VideoInfo block's AvgTimePerFrame, or,
//       on an interleaved connection (a DV info block states no duration), the
//       duration of the first frame's DV system;
//   each sample (streaming thread)   → the core reads the frame;
//   Stop, once streaming has quiesced (stopping thread) → the final report:
//       the last scene, empty title lines when text was shown, then OnEnd;
//       exactly once per run, also for a run without frames.
//
// Other filters and modules read the frame records and the header store
// through the accessors, which copy under the core's lock. Each DV frame also
// leaves with a DvFrameNote, whatever the sharing of its sample: the same
// records as they stood after that frame, for filters further down that a
// queued filter or frame lanes put behind the detector (it has read later
// frames by the time they see this one).
#include "platform/media/transform.h"
#include "video/filters/scenedetectcore.h"

namespace vidora {

// The detector's records after one frame, attached to that frame's sample.
struct DvFrameNote final : media::SampleNote
{
    TDvFrameInfo Info; // what LastInfo answered after the frame
    // What HeaderStore answered after the frame: the detector's store of that
    // frame, shared (never null on a note).
    std::shared_ptr<const DvHeaderStore> Store;
};

// The detector's note on a sample, or null.
const DvFrameNote *DvFrameNoteOf(const media::MediaSample &sample);

class Tdv_sceneDetect final : public media::InPlaceTransformFilter
{
public:
    static constexpr const char *kObjectName = "Vesk Tobrek dv_sceneDetect";

    Tdv_sceneDetect();

    // A copy of the options; ShowCount follows when the frame duration is
    // known. While the graph is stopped.
    void SetOptions(const TincrustRec &options) { m_core.setOptions(options); }
    // Callbacks, set while the graph is stopped. OnTitle is cleared by each
    // stop and must be set again for the next run.
    void SetOnTitle(DvSceneDetectCore::TitleCallback callback);
    void SetOnScene(DvSceneDetectCore::SceneCallback callback);
    void SetOnEnd(DvSceneDetectCore::EndCallback callback);

    // Snapshots, from any thread.
    TDvFrameInfo CurrentInfo() const { return m_core.currentInfo(); }
    TDvFrameInfo PreviousInfo() const { return m_core.previousInfo(); }
    TDvFrameInfo LastInfo() const { return m_core.lastInfo(); }
    DvHeaderStore HeaderStore() const { return m_core.headerStore(); }
    std::int32_t ShowCount() const { return m_core.showCount(); }
    std::int64_t FrameDuration() const { return m_core.frameDuration(); }

    // For the filters linked to this one (the DV header filter reads the
    // header store on the streaming path).
    const DvSceneDetectCore &core() const { return m_core; }

    bool CheckInputType(const media::MediaType &type) override;
    bool StartStreaming() override;
    void StopStreaming() override;
    media::Flow Transform(media::MediaSample &sample) override;
    using media::InPlaceTransformFilter::Transform;

private:
    DvSceneDetectCore m_core;
};

// Whether a connection carries DV frames the program's DV filters read: any
// interleaved stream, or video with the dvsd subtype.
bool IsDvConnectionType(const media::MediaType &type);

} // namespace vidora
