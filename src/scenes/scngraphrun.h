#pragma once

// The run of a graph that feeds a scene or subtitle writer through a
// detector's callbacks: the writer's file is put in place only when the run
// completed, after the graph has stopped and the detector made its final
// report; an aborted or failed run drops it, and an existing file of that
// name stays as it was.
#include "files/cdmgraphrun.h"

#include <QString>

#include <functional>

namespace vidora {

class TWriterGraphRun final : public IGraphRun
{
public:
    struct Writer
    {
        // Puts the file in place; false with the reason.
        std::function<bool(QString &error)> commit;
        // Drops what was written.
        std::function<void()> discard;
        // Clears the detector's callbacks once the graph has stopped.
        std::function<void()> clearCallbacks;
    };

    TWriterGraphRun(TCdm &cdm, media::IMediaSeeking &position, Writer writer)
        : m_run(cdm, position), m_writer(std::move(writer))
    {}
    ~TWriterGraphRun() override;

    qint64 Duration() override { return m_run.Duration(); }
    qint64 CurrentPosition() override { return m_run.CurrentPosition(); }
    void Run() override { m_run.Run(); }
    // Throws std::runtime_error with the reason when the file cannot be put
    // in place.
    void Stop() override;
    void Abort() override;

private:
    void Finish(bool commit);

    TCdmGraphRun m_run;
    Writer m_writer;
    bool m_done = false;
};

} // namespace vidora
