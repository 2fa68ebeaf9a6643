#include "scenes/srtgraphrun.h"

#include "video/filters/dv_scenedetect.h"
#include "video/graphs/convertirdvunit.h"

#include <stdexcept>

namespace vidora {

TSrtGraphRun::TSrtGraphRun(TCdm &cdm, media::IMediaSeeking &position, const QString &videoName,
                           double fps)
    : m_run(cdm, position), m_srt(std::make_shared<TWriteSrt>(videoName, fps))
{
    // The detector's calls come one at a time (streaming thread, then the
    // stopping thread for the last); the writer outlives them: it is shared
    // with the callback, which the next build clears.
    cdm.SceneDetect().SetOnTitle(
        [srt = m_srt](const TDvFrameInfo &info, const QString &line1, const QString &line2) {
            srt->AddTitle(static_cast<std::int32_t>(info.FrameNumber), line1, line2);
        });
}

void TSrtGraphRun::Stop()
{
    try {
        m_run.Stop();
    } catch (...) {
        m_srt->Discard();
        throw;
    }
    if (!m_srt->Close())
        throw std::runtime_error(m_srt->ErrorString().toStdString());
}

void TSrtGraphRun::Abort()
{
    m_run.Abort();
    m_srt->Discard();
}

} // namespace vidora
