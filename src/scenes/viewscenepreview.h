#pragma once

// The scene details as a preview graph gives them: a seek of the graph to
// the scene's frame, a wait for that frame, the overlay filter's still
// picture of it and the date scene detector's record of it.
//
// TViewScenePreview reads the window's preview for the video it holds, and
// every other video (the other files of a command over several files)
// through a TFileScenePreview: a preview graph of its own that shows
// nothing, opened on that video with the preview's settings, so each file's
// details come from its own frames and read as the preview would give them.
#include "scenes/scenemodel.h"
#include "settings/settings.h"

#include <memory>

namespace vidora {

class Tviewdm;

class TFileScenePreview final : public IScenePreview
{
public:
    // `settings` (not owned; none: the defaults) are copied at each open:
    // the overlay the pictures carry, as the preview draws it.
    explicit TFileScenePreview(const SettingValues *settings = nullptr);
    ~TFileScenePreview() override;
    void SetSettings(const SettingValues *settings) { m_source = settings; }

    // GUI thread. Opens the video when it is not the one open (the graph is
    // kept for the next frame of the same video). False when the video
    // cannot be opened or has no picture, for a frame outside it, and when
    // no frame came within the preview's wait.
    bool ShowFrame(const TSceneVideo &video, std::uint32_t frame, TDvFrameInfo &info,
                   QImage &picture) override;
    // GUI thread. Closes the graph and lets go of the file.
    void Release() override;

private:
    const SettingValues *m_source;
    SettingValues m_settings; // the copy the open graph reads
    std::unique_ptr<Tviewdm> m_viewdm;
    QString m_path; // the video m_viewdm holds
};

class TViewScenePreview final : public IScenePreview
{
public:
    // `viewdm` is not owned and outlives this object.
    explicit TViewScenePreview(Tviewdm &viewdm);
    ~TViewScenePreview() override;

    // GUI thread. The preview's frame when it holds the video: false then
    // for a frame outside it and when no frame came within the preview's
    // wait (a wait already running is not entered again). The frame is
    // sought across the whole file, whatever range the scene editor keeps
    // the preview to; that range stays as it was. Another video, or the
    // preview without a ready graph, is read from its own file. A video
    // that is not DV gives a record without date or time code.
    bool ShowFrame(const TSceneVideo &video, std::uint32_t frame, TDvFrameInfo &info,
                   QImage &picture) override;
    void Release() override;

private:
    Tviewdm &m_viewdm;
    TFileScenePreview m_files;
};

} // namespace vidora
