#include "files/cdmgraphrun.h"

#include "files/commandengine.h"
#include "platform/media/seeking.h"
#include "video/graphs/convertirdvunit.h"

#include <stdexcept>

namespace vidora {

TCdmGraphRun::TCdmGraphRun(TCdm &cdm, media::IMediaSeeking &position)
    : m_cdm(cdm), m_position(position)
{}

qint64 TCdmGraphRun::Duration()
{
    return m_cdm.graph().seeking().GetDuration().value_or(0);
}

qint64 TCdmGraphRun::CurrentPosition()
{
    return m_position.GetCurrentPosition().value_or(0);
}

void TCdmGraphRun::Run()
{
    media::FilterGraph &graph = m_cdm.graph();
    graph.SetSyncSource(nullptr);
    if (!graph.Run()) {
        const std::string reason = graph.lastError();
        graph.Stop();
        throw std::runtime_error(reason.empty() ? std::string("the graph could not start")
                                                : reason);
    }
}

void TCdmGraphRun::Stop()
{
    m_cdm.graph().Stop();
}

void TCdmGraphRun::Abort()
{
    // Stopped before completion, the file writer deletes its temporary file
    // and leaves the target as it was.
    m_cdm.graph().Stop();
}

void ConnectCdmToEngine(TCdm &cdm, TCommandEngine &engine)
{
    cdm.OnGraphComplete = [&engine] { engine.SetCmdEvent(); };
    cdm.OnGraphError = [&engine](const QString &) { engine.SetCmdErrorEvent(); };
}

} // namespace vidora
