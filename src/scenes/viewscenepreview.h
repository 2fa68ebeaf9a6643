#pragma once

// The scene details as the preview graph gives them: a seek of the preview
// to the scene's frame, a wait for that frame, the overlay filter's still
// picture of it and the date scene detector's record of it.
#include "scenes/scenemodel.h"

namespace vidora {

class Tviewdm;

class TViewScenePreview final : public IScenePreview
{
public:
    // `viewdm` is not owned and outlives this object.
    explicit TViewScenePreview(Tviewdm &viewdm) : m_viewdm(viewdm) {}

    // GUI thread. False without a ready graph with video, for a video that
    // is not the one the preview holds, and when no frame came within the
    // preview's wait (a wait already running is not entered again). The
    // frame is sought across the whole file, whatever range the scene
    // editor keeps the preview to; that range stays as it was. A video that
    // is not DV gives a record without date or time code.
    bool ShowFrame(const QString &path, std::uint32_t frame, TDvFrameInfo &info,
                   QImage &picture) override;

private:
    Tviewdm &m_viewdm;
};

} // namespace vidora
