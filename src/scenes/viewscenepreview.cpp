#include "scenes/viewscenepreview.h"

#include "video/filters/dv_scenedetect.h"
#include "video/filters/dv_superposer.h"
#include "video/graphs/viewgraph.h"

#include <QFileInfo>

namespace vidora {
namespace {

bool SameFile(const QString &a, const QString &b)
{
    if (a == b)
        return true;
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
}

bool Holds(const Tviewdm &viewdm, const QString &path)
{
    return viewdm.GraphReady() && viewdm.HasVideo() && viewdm.FrameRate() > 0 &&
           SameFile(path, viewdm.Entry().FileName);
}

// The frame of a graph that holds the video, sought across the whole file.
bool FrameOf(Tviewdm &viewdm, std::uint32_t frame, TDvFrameInfo &info, QImage &picture)
{
    if (frame >= viewdm.Duration())
        return false;
    const std::int64_t start = viewdm.StartPosition();
    const std::int64_t stop = viewdm.StopPosition();
    viewdm.SetRange(0, viewdm.Duration());
    viewdm.SeekTo(frame);
    viewdm.SetRange(start, stop);
    // The flag is cleared by the seek and set by the overlay filter once the
    // frame has been through it: unset, the wait ran out or was ended.
    Tdv_Superposer &overlay = viewdm.Superposer();
    if (!overlay.FrameShown())
        return false;
    // The detector and the overlay filter run on one streaming thread: the
    // detector's last frame is the one shown.
    info = viewdm.SceneDetectActive() ? viewdm.SceneDetect().LastInfo() : TDvFrameInfo{};
    picture = overlay.Picture();
    return !picture.isNull();
}

} // namespace

TFileScenePreview::TFileScenePreview(const SettingValues *settings) : m_source(settings) {}

TFileScenePreview::~TFileScenePreview() = default;

bool TFileScenePreview::ShowFrame(const TSceneVideo &video, std::uint32_t frame, TDvFrameInfo &info,
                                  QImage &picture)
{
    if (!m_viewdm || !SameFile(video.path, m_path)) {
        Release();
        if (m_source)
            m_settings = *m_source;
        auto viewdm = std::make_unique<Tviewdm>();
        viewdm->SetSettings(&m_settings);
        viewdm->SetAudioRendered(false);
        TPreviewEntry entry;
        entry.FileName = video.path;
        entry.IsDv = video.isDv;
        entry.CodecText = video.codec.isEmpty() ? QStringLiteral("N/A") : video.codec;
        entry.FrameRate = video.frameRate;
        entry.DateOffset = video.dateOffset;
        if (!viewdm->OpenFile(&entry, nullptr))
            return false;
        m_viewdm = std::move(viewdm);
        m_path = video.path;
    }
    return Holds(*m_viewdm, video.path) && FrameOf(*m_viewdm, frame, info, picture);
}

void TFileScenePreview::Release()
{
    m_viewdm.reset();
    m_path.clear();
}

TViewScenePreview::TViewScenePreview(Tviewdm &viewdm) : m_viewdm(viewdm) {}

TViewScenePreview::~TViewScenePreview() = default;

bool TViewScenePreview::ShowFrame(const TSceneVideo &video, std::uint32_t frame, TDvFrameInfo &info,
                                  QImage &picture)
{
    if (Holds(m_viewdm, video.path))
        return FrameOf(m_viewdm, frame, info, picture);
    m_files.SetSettings(&m_viewdm.Settings());
    return m_files.ShowFrame(video, frame, info, picture);
}

void TViewScenePreview::Release()
{
    m_files.Release();
}

} // namespace vidora
