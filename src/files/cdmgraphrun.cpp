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
    media::FilterGraph &graph = m_cdm.graph();
    graph.Stop();
    m_cdm.CloseNotices();
    // Errors raised while the graph stopped (the final writes, the flush and
    // the rename of the output) are known to the graph now; their notices
    // would come too late for the wait.
    if (graph.hadError())
        throw std::runtime_error(graph.lastError());
    if (!graph.hasCompleted())
        throw std::runtime_error("the graph stopped before it completed");
}

void TCdmGraphRun::Abort()
{
    // The file writer deletes its temporary file and leaves the target as it
    // was, also when the run has completed meanwhile.
    m_cdm.graph().Abort();
    m_cdm.CloseNotices();
}

QString TCdmGraphRun::LastError() const
{
    return QString::fromStdString(m_cdm.graph().lastError());
}

void ConnectCdmToEngine(TCdm &cdm, TCommandEngine &engine)
{
    cdm.OnGraphComplete = [&engine] { engine.SetCmdEvent(); };
    cdm.OnGraphError = [&engine](const QString &) { engine.SetCmdErrorEvent(); };
}

} // namespace vidora
