#pragma once

// The run of a graph that feeds a scene or subtitle writer through a
// detector's callbacks: the writer's file is put in place only when the run
// completed, after the graph has stopped and the detector made its final
// report; an aborted or failed run drops it, and an existing file of that
// name stays as it was.
#include "files/cdmgraphrun.h"

#include <QString>

#include <functional>
#include <memory>

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
    // Stops the graph (the detector's final report happens there), then puts
    // the file in place. Throws std::runtime_error with the reason when the
    // graph failed while it stopped (the file is then dropped) or when the
    // file cannot be put in place.
    void Stop() override;
    void Abort() override;
    QString LastError() const override { return m_run.LastError(); }

private:
    void Finish(bool commit);

    TCdmGraphRun m_run;
    Writer m_writer;
    bool m_done = false;
};

// The subtitle command's run over the subtitle graph just built: the date
// scene detector's titles (with the options already set on it) go to the
// ".srt" of `videoName`, cue times at `fps`, put in place as above. On the
// control thread, while the graph is stopped.
std::unique_ptr<TWriterGraphRun> MakeSrtGraphRun(TCdm &cdm, media::IMediaSeeking &position,
                                                 const QString &videoName, double fps);

} // namespace vidora
