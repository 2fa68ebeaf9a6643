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

} // namespace

bool TViewScenePreview::ShowFrame(const QString &path, std::uint32_t frame, TDvFrameInfo &info,
                                  QImage &picture)
{
    if (!m_viewdm.GraphReady() || !m_viewdm.HasVideo() || !(m_viewdm.FrameRate() > 0) ||
        !SameFile(path, m_viewdm.Entry().FileName) || frame >= m_viewdm.Duration())
        return false;
    const std::int64_t start = m_viewdm.StartPosition();
    const std::int64_t stop = m_viewdm.StopPosition();
    m_viewdm.SetRange(0, m_viewdm.Duration());
    m_viewdm.SeekTo(frame);
    m_viewdm.SetRange(start, stop);
    // The flag is cleared by the seek and set by the overlay filter once the
    // frame has been through it: unset, the wait ran out or was ended.
    Tdv_Superposer &overlay = m_viewdm.Superposer();
    if (!overlay.FrameShown())
        return false;
    // The detector and the overlay filter run on one streaming thread: the
    // detector's last frame is the one shown.
    info = m_viewdm.SceneDetectActive() ? m_viewdm.SceneDetect().LastInfo() : TDvFrameInfo{};
    picture = overlay.Picture();
    return !picture.isNull();
}

} // namespace vidora
