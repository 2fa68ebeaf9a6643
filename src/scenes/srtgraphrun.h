#pragma once

// The subtitle command's run: the subtitle graph of the processing module
// feeds a subtitle writer through the date scene detector's text callback,
// and the .srt is put in place only when the run succeeded. An aborted or
// failed run leaves an existing .srt of that name as it was.
#include "files/cdmgraphrun.h"
#include "scenes/uscenes.h"

#include <memory>

namespace vidora {

class TSrtGraphRun final : public IGraphRun
{
public:
    // Creates the writer for `videoName` (cue times at `fps`) and sets the
    // detector's text callback of the graph just built; `position` as for
    // TCdmGraphRun. On the control thread, while the graph is stopped.
    TSrtGraphRun(TCdm &cdm, media::IMediaSeeking &position, const QString &videoName, double fps);

    qint64 Duration() override { return m_run.Duration(); }
    qint64 CurrentPosition() override { return m_run.CurrentPosition(); }
    void Run() override { m_run.Run(); }
    // Stops the graph (the detector's final report ends the last cue) and
    // then puts the .srt in place; throws with the reason when the graph or
    // the writing failed, and the old file stays.
    void Stop() override;
    // Stops the graph and drops what was written.
    void Abort() override;
    QString LastError() const override { return m_run.LastError(); }

private:
    TCdmGraphRun m_run;
    std::shared_ptr<TWriteSrt> m_srt;
};

} // namespace vidora
