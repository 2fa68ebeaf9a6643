#pragma once

// A graph built by the processing module, as the graph command runs and
// watches it.
#include "files/engineinterfaces.h"

namespace vidora {

class TCdm;
class TCommandEngine;
namespace media {
class IMediaSeeking;
}

class TCdmGraphRun final : public IGraphRun
{
public:
    // `position` is what the builder returned: the interface whose current
    // position is the command's progress. The module must keep the graph
    // (no other build) while this run exists.
    TCdmGraphRun(TCdm &cdm, media::IMediaSeeking &position);

    // The graph's duration; 0 when unknown.
    qint64 Duration() override;
    // The position interface's current position; 0 when unknown.
    qint64 CurrentPosition() override;
    // Runs the graph with no reference clock; throws std::runtime_error with
    // the graph's error when a filter refuses to start.
    void Run() override;
    // Stops the graph; throws std::runtime_error with the graph's error when
    // a filter failed while it stopped (the output was then discarded), or
    // when the run had not completed.
    void Stop() override;
    void Abort() override;
    QString LastError() const override;

private:
    TCdm &m_cdm;
    media::IMediaSeeking &m_position;
};

// Makes the module's completion and error notices end the engine's wait.
void ConnectCdmToEngine(TCdm &cdm, TCommandEngine &engine);

} // namespace vidora
