#include "scenes/scngraphrun.h"

#include "scenes/uscenes.h"
#include "video/filters/dv_scenedetect.h"
#include "video/graphs/convertirdvunit.h"

#include <stdexcept>

namespace vidora {

TWriterGraphRun::~TWriterGraphRun()
{
    // A run left without Stop or Abort keeps nothing.
    if (!m_done) {
        m_done = true;
        if (m_writer.clearCallbacks)
            m_writer.clearCallbacks();
        if (m_writer.discard)
            m_writer.discard();
    }
}

void TWriterGraphRun::Finish(bool commit)
{
    if (m_done)
        return;
    m_done = true;
    if (m_writer.clearCallbacks)
        m_writer.clearCallbacks();
    if (!commit) {
        if (m_writer.discard)
            m_writer.discard();
        return;
    }
    QString error;
    if (m_writer.commit && !m_writer.commit(error))
        throw std::runtime_error(error.toStdString());
}

void TWriterGraphRun::Stop()
{
    try {
        m_run.Stop();
    } catch (...) {
        Finish(false);
        throw;
    }
    Finish(true);
}

void TWriterGraphRun::Abort()
{
    m_run.Abort();
    Finish(false);
}

std::unique_ptr<TWriterGraphRun> MakeSrtGraphRun(TCdm &cdm, media::IMediaSeeking &position,
                                                 const QString &videoName, double fps)
{
    auto srt = std::make_shared<TWriteSrt>(videoName, fps);
    Tdv_sceneDetect &detect = cdm.SceneDetect();
    // The detector's calls come one at a time (streaming thread, then the
    // stopping thread for the last); the writer is shared with the callback
    // so that it outlives them.
    detect.SetOnTitle([srt](const TDvFrameInfo &info, const QString &line1, const QString &line2) {
        srt->AddTitle(static_cast<std::int32_t>(info.FrameNumber), line1, line2);
    });
    detect.SetOnEnd({});
    TWriterGraphRun::Writer writer;
    writer.commit = [srt](QString &error) {
        if (srt->Close())
            return true;
        error = srt->ErrorString();
        return false;
    };
    writer.discard = [srt] { srt->Discard(); };
    writer.clearCallbacks = [&detect] {
        detect.SetOnTitle({});
        detect.SetOnEnd({});
    };
    return std::make_unique<TWriterGraphRun>(cdm, position, std::move(writer));
}

} // namespace vidora
