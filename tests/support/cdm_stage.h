#pragma once

// The processing module run as the program runs it: a graph command whose
// build step calls one of the module's builders, on the command engine's
// worker, with the module's notices ending the engine's wait.
#include "support/engine_fixture.h"

#include "files/cdmgraphrun.h"
#include "platform/gui_thread.h"
#include "platform/media/dsfunctions_media.h"
#include "video/filters/dv_dvheader.h"
#include "video/graphs/convertirdvunit.h"

#include <chrono>
#include <functional>

namespace vidora::test {

class CdmStage : public EngineStage
{
protected:
    // Builds the graph for one file; null when it cannot be built. Runs on
    // the worker, like the program's build step. `output` is the command's
    // destination for the file.
    using Builder = std::function<media::IMediaSeeking *(TCdm &cdm, const QString &source,
                                                         const QString &output)>;

    CdmStage()
    {
        ConnectCdmToEngine(cdm, engine);
        command.Nombre = TcmdNombre::fnSelect;
        command.UpdateFile = TUpdateFile::ufAdd;
        command.ErrorMessage = QStringLiteral("Conversion failed: %s");
        command.OnDestination = [this](const EngineEntryPtr &e, const QStringList &, int) {
            return outputFor ? outputFor(e->FullPath())
                             : Path(QFileInfo(e->FullPath()).completeBaseName() + "_out.avi");
        };
        command.OnBuildGraph = [this](const EngineEntryPtr &e, const QString &destination,
                                      const QStringList &, int) -> std::unique_ptr<IGraphRun> {
            media::IMediaSeeking *position = builder(cdm, e->FullPath(), destination);
            if (position == nullptr)
                return nullptr;
            if (afterBuild)
                afterBuild(cdm);
            return std::make_unique<TCdmGraphRun>(cdm, *position);
        };
    }

    ~CdmStage() override
    {
        // The run must not outlive the module it uses.
        engine.AbortAll();
        while (engine.IsRunning())
            runQueuedGuiCalls(std::chrono::milliseconds(10));
    }

    // Runs the command over `source` with `build`; true when the run ended
    // (whatever its outcome: check the log for errors, and the output).
    bool RunCommand(const QString &path, Builder build)
    {
        source_ = path;
        builder = std::move(build);
        source.Clear();
        source.Put(path, true);
        return RunToEnd(command);
    }

    // What a video command handler sets after a build: the DV header
    // filter's four options, and the audio converters in use to the sources'
    // 48 kHz.
    static void SetHandlerOptions(TCdm &cdm, double days, bool copy, bool writeAspect, bool wide)
    {
        cdm.DvHeader().SetDateOffset(days);
        cdm.DvHeader().SetCopyHeaders(copy);
        cdm.DvHeader().SetWriteAspect(writeAspect);
        cdm.DvHeader().SetAspectWide(wide);
        for (media::Filter *acm : {cdm.Acm1(), cdm.Acm2()})
            if (acm != nullptr && acm->pins().front()->isConnected()) {
                EXPECT_TRUE(media::SetAudioSampleRate(acm, 48000));
            }
    }

    TGraphCmd command;
    Builder builder;
    // Sets the own filters' options after a successful build, as the
    // command handlers do (on the worker).
    std::function<void(TCdm &)> afterBuild;
    // The destination of a source; default: <base>_out.avi in the test folder.
    std::function<QString(const QString &source)> outputFor;
    QString source_;
    TCdm cdm;
};

} // namespace vidora::test
