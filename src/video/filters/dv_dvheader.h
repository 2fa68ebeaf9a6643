#pragma once

// The DV header rewriting filter: an in-place filter on a DV stream that gives
// re-encoded frames back the packs of their source frames (the linked scene
// detector's header store as it stood after the source frame: the frame's
// DvFrameNote, else the detector's present store), shifts the recording date
// and time, and sets the display mode. The per-frame work is DvHeaderCore's;
// the standards of the source (from that store) and of the target (each
// frame's size) are learnt per frame, so a 525/60 source re-encoded as 625/50
// and the reverse both keep their own system information.
//
// The options keep their values from one run to the next and may be set from
// any thread; a change applies from the next frame.
#include "platform/media/transform.h"
#include "video/filters/dvheadercore.h"

namespace vidora {

class Tdv_sceneDetect;

class Tdv_DVheader final : public media::InPlaceTransformFilter
{
public:
    static constexpr const char *kObjectName = "Vesk Tobrek cf_DVHeader";

    // detector: the linked scene detector, not owned; must outlive this
    // filter; may be null (nothing to copy then).
    explicit Tdv_DVheader(const Tdv_sceneDetect *detector);

    void SetDateOffset(double days) { m_core.setDateOffset(days); }
    double DateOffset() const { return m_core.dateOffset(); }
    void SetCopyHeaders(bool on) { m_core.setCopyHeaders(on); }
    bool CopyHeaders() const { return m_core.copyHeaders(); }
    void SetWriteAspect(bool on) { m_core.setWriteAspect(on); }
    bool WriteAspect() const { return m_core.writeAspect(); }
    void SetAspectWide(bool wide) { m_core.setAspectWide(wide); }
    bool AspectWide() const { return m_core.aspectWide(); }

    bool CheckInputType(const media::MediaType &type) override;
    media::Flow Transform(media::MediaSample &sample) override;
    using media::InPlaceTransformFilter::Transform;

private:
    DvHeaderCore m_core;
};

} // namespace vidora
