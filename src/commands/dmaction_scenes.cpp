// The scene commands of the action data module: scene files by recording
// date, by content and at fixed intervals, cutting a video into its scenes,
// subtitles, deleting the companions, and the five exports.
#include "commands/dmaction.h"

#include "files/avifichier.h"
#include "files/cdmgraphrun.h"
#include "files/commandengine.h"
#include "formats/rounding.h"
#include "platform/gui_thread.h"
#include "platform/media/seeking.h"
#include "platform/shell/pathroutines.h"
#include "platform/shell/shellroutines.h"
#include "scenes/scenefile.h"
#include "scenes/scngraphrun.h"
#include "scenes/scnlisting.h"
#include "scenes/uscenes.h"
#include "scenes/viewscenepreview.h"
#include "settings/settings.h"
#include "video/filters/dv_scenedetect.h"
#include "video/filters/uscenedetectcontenu.h"
#include "video/graphs/convertirdvunit.h"

#include <QFileInfo>

#include <cmath>
#include <limits>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <utility>

namespace vidora {
namespace {

const QString kRecycleNote = QStringLiteral("If yes, it will be sent to the Recycle bin.");

std::shared_ptr<TaviFichier> VideoEntry(const EngineEntryPtr &entry)
{
    auto video = std::dynamic_pointer_cast<TaviFichier>(entry);
    if (!video)
        throw std::runtime_error("the command needs a video entry");
    return video;
}

QString Scn(const TaviFichier &entry)
{
    return CompanionFileName(entry.Path(), QStringLiteral(".scn"));
}

QString Srt(const TaviFichier &entry)
{
    return CompanionFileName(entry.Path(), QStringLiteral(".srt"));
}

// SupprimerFichier's question about another file.
QString DeleteQuestion(const QString &path)
{
    const QString text = QStringLiteral("Do you really want to delete the file ") + path +
                         QStringLiteral(" ?") + u'\n' + kRecycleNote;
    if (text.size() > 254)
        return QStringLiteral("Do you really want to delete this file?") + u'\n' + kRecycleNote;
    return text;
}

// The entry's scene file into `list`; a damaged or unreadable one (cut short,
// garbled, a count its records contradict) fails the command rather than
// giving part of its scenes.
void LoadScenesOf(const TaviFichier &entry, TSceneList &list, const TSceneContext &context)
{
    const QString path = Scn(entry);
    QString readError;
    if (!LoadScnFile(path, list, context, &readError)) {
        list.clear();
        if (!readError.isEmpty())
            throw std::runtime_error(readError.toStdString());
        throw std::runtime_error(
            QStringLiteral("The scene file %1 could not be read: it is missing or damaged.")
                .arg(path)
                .toStdString());
    }
}

// A frame number as the progress counts it: the longest files' frames past
// the progress's range stay at its end.
int ProgressValue(std::uint32_t frame)
{
    return static_cast<int>(std::min<std::uint32_t>(frame, std::numeric_limits<int>::max()));
}

// Fills the details of a scene on the GUI thread, where the preview lives;
// with `thumbnail`, its picture too.
void FillOnGui(TSceneClass &scene, const TSceneContext &context, bool thumbnail)
{
    if (!context.preview || (scene.Detailed && (!thumbnail || !scene.Thumbnail.isNull())))
        return;
    runOnGui([&] { scene.FillDetails(context, thumbnail); });
}

// Lets the details' reader go of the file it opened for a command's file,
// whichever way the file's work ends.
class ReleaseOnGui
{
public:
    explicit ReleaseOnGui(IScenePreview *preview) : m_preview(preview) {}
    ~ReleaseOnGui()
    {
        if (m_preview)
            runOnGui([this] { m_preview->Release(); });
    }
    ReleaseOnGui(const ReleaseOnGui &) = delete;
    ReleaseOnGui &operator=(const ReleaseOnGui &) = delete;

private:
    IScenePreview *m_preview;
};

// The scene writer of one detection run, shared by the detector's callbacks
// (streaming thread, then the stopping thread) and the run.
struct ScnRun
{
    explicit ScnRun(const QString &video, TSceneContext sceneContext)
        : writer(video), context(std::move(sceneContext))
    {}
    void Add(std::uint32_t start, std::uint32_t end)
    {
        std::lock_guard lock(mutex);
        if (end < start)
            return;
        writer.AddScene(TSceneClass(start, end, context));
    }
    // The run completed: the scenes up to `end` (the last from the last
    // content break; none for end 0), then the file put in place.
    bool Commit(std::uint32_t end, QString &error)
    {
        std::lock_guard lock(mutex);
        if (end > previousBreak)
            writer.AddScene(TSceneClass(previousBreak, end, context));
        if (writer.Close())
            return true;
        error = writer.ErrorString();
        return false;
    }
    // What a detection's run does with the writer; `clear` resets the
    // detector's callbacks.
    static TWriterGraphRun::Writer Of(const std::shared_ptr<ScnRun> &run, std::uint32_t end,
                                      std::function<void()> clear)
    {
        return {[run, end](QString &error) { return run->Commit(end, error); },
                [run] { run->writer.Discard(); }, std::move(clear)};
    }

    std::mutex mutex;
    TwriteScene writer; // guarded by mutex
    TSceneContext context;
    std::uint32_t previousBreak = 0; // content detection; guarded by mutex
};

} // namespace

TSceneContext TdmAction::SceneContextFor(const TaviFichier &entry) const
{
    TSceneContext context;
    context.video = TSceneVideo::FromEntry(entry);
    context.durationFormat = m_settings.DurationFormat;
    context.datecodeFormat = m_settings.FormatShowDatecode;
    context.preview = ScenePreview ? ScenePreview : m_filePreview.get();
    return context;
}

// --- conditions, destinations and questions --------------------------------

void TdmAction::ScenesDateFileCondition(const TaviFichier &e, bool &visible, bool &enabled) const
{
    enabled = e.Data().isDv;
    visible = enabled;
}

void TdmAction::CreerScnByContenuFileCondition(const TaviFichier &e, bool &visible,
                                               bool &enabled) const
{
    visible = true;
    enabled = e.Data().pictureText != QLatin1String("N/A");
}

void TdmAction::CutScenesFileCondition(const TaviFichier &e, bool &visible, bool &enabled) const
{
    visible = true;
    enabled = e.Data().isDv && QFileInfo::exists(Scn(e));
}

void TdmAction::CreerSrtFileCondition(const TaviFichier &e, bool &visible, bool &enabled) const
{
    visible = true;
    enabled = e.Data().isDv;
}

void TdmAction::hasScnFileCondition(const TaviFichier &e, bool &visible, bool &enabled) const
{
    visible = true;
    enabled = QFileInfo::exists(Scn(e));
}

void TdmAction::SupprimerSrtFileCondition(const TaviFichier &e, bool &visible, bool &enabled) const
{
    visible = true;
    enabled = QFileInfo::exists(Srt(e));
}

QString TdmAction::ScenesDateDestination(const TaviFichier &e, const QStringList &) const
{
    return Scn(e);
}

QString TdmAction::CreerSrtDestination(const TaviFichier &e, const QStringList &) const
{
    return Srt(e);
}

QString TdmAction::ExporterScenesTexteDestination(const TaviFichier &e, const QStringList &) const
{
    return OutputPath(e, QStringLiteral("_scn.txt"));
}

QString TdmAction::ExporterScenesExcelDestination(const TaviFichier &e, const QStringList &) const
{
    return OutputPath(e, OfficeEnding(TOfficeFormat::Xls));
}

QString TdmAction::ExporterScenesWordDestination(const TaviFichier &e, const QStringList &) const
{
    return OutputPath(e, OfficeEnding(TOfficeFormat::Doc));
}

QString TdmAction::ExporterScenesCalcDestination(const TaviFichier &e, const QStringList &) const
{
    return OutputPath(e, OfficeEnding(TOfficeFormat::Ods));
}

QString TdmAction::ExporterScenesWriterDestination(const TaviFichier &e, const QStringList &) const
{
    return OutputPath(e, OfficeEnding(TOfficeFormat::Odt));
}

QString TdmAction::SupprimerScnFileConFirmation(const TaviFichier &e, const QStringList &) const
{
    return DeleteQuestion(Scn(e));
}

QString TdmAction::SupprimerSrtFileConFirmation(const TaviFichier &e, const QStringList &) const
{
    return DeleteQuestion(Srt(e));
}

// --- executions ------------------------------------------------------------

void TdmAction::CreerScnByIntervalleExecution(const EngineEntryPtr &entry, const QString &,
                                              const QStringList &params, TCommandEngine &ce)
{
    const auto video = VideoEntry(entry);
    const TaviData &d = video->Data();
    // A value from a script is checked as the dialog checks it: an interval
    // of 0 or less writes nothing.
    const int seconds = SafeStrToInt(params.isEmpty() ? QString() : params.first());
    if (seconds <= 0)
        return;
    if (!(d.frameRate > 0) || d.frameCount <= 0)
        throw std::runtime_error("The file has no frame rate or no frame count: its scenes "
                                 "cannot be timed.");
    const std::int64_t length = roundHalfEven(seconds * d.frameRate);
    if (length <= 0)
        return;
    const TSceneContext context = SceneContextFor(*video);
    const ReleaseOnGui release(context.preview);
    const std::uint32_t frames = SceneFrames(d.frameCount);
    TwriteScene writer(video->Path());
    ce.StartProgress(ProgressValue(frames));
    std::uint32_t start = 0;
    int number = 0;
    do {
        if (ce.Aborted()) {
            writer.Discard(); // an aborted run leaves the old file
            ce.EndProgress();
            return;
        }
        ce.SetProgress(ProgressValue(start));
        const auto end = static_cast<std::uint32_t>(
            std::min<std::int64_t>(start + length, static_cast<std::int64_t>(frames)));
        TSceneClass scene(start, end, context);
        scene.Number = ++number;
        FillOnGui(scene, context, false); // the scene file holds no picture
        writer.AddScene(scene);
        start = end;
    } while (start < frames);
    ce.EndProgress();
    if (!writer.Close())
        throw std::runtime_error(writer.ErrorString().toStdString());
}

void TdmAction::SupprimerScnExecution(const EngineEntryPtr &entry, const QString &,
                                      const QStringList &, TCommandEngine &)
{
    const QString path = Scn(*VideoEntry(entry));
    if (!DeleteToRecycleBin(path))
        throw std::runtime_error(path.toStdString() + " could not go to the trash");
}

void TdmAction::SupprimerSrtExecution(const EngineEntryPtr &entry, const QString &,
                                      const QStringList &, TCommandEngine &)
{
    const QString path = Srt(*VideoEntry(entry));
    if (!DeleteToRecycleBin(path))
        throw std::runtime_error(path.toStdString() + " could not go to the trash");
}

void TdmAction::ExportScenes(const EngineEntryPtr &entry, const QString &destination,
                             TCommandEngine &ce, std::optional<TOfficeFormat> format)
{
    const auto video = VideoEntry(entry);
    const TSceneContext context = SceneContextFor(*video);
    const ReleaseOnGui release(context.preview);
    TSceneList list;
    LoadScenesOf(*video, list, context); // before any writer: a failure writes nothing
    std::unique_ptr<TWriteScn_text> listing;
    std::unique_ptr<TOfficeExport> office;
    // Only the documents show the scenes' pictures.
    const bool pictures = format == TOfficeFormat::Doc || format == TOfficeFormat::Odt;
    if (format) {
        TOfficeSetup setup = OfficeSetup;
        setup.appVersionText = AppVersionText;
        setup.versionText = VersionText;
        setup.languageCode = Language;
        setup.aborted = [&ce] { return ce.Aborted(); };
        office = std::make_unique<TOfficeExport>(*format, video->Path(), destination, setup);
    } else {
        TListingTexts texts;
        texts.versionText = VersionText;
        texts.languageCode = Language;
        listing = std::make_unique<TWriteScn_text>(video->Path(), texts, destination);
    }
    if (!list.empty()) {
        ce.StartProgress(static_cast<int>(list.size()));
        for (std::size_t i = 0; i < list.size(); ++i) {
            ce.SetProgress(static_cast<int>(i));
            if (ce.Aborted()) {
                ce.EndProgress();
                if (listing)
                    listing->Discard();
                return; // nothing is written
            }
            TSceneClass &scene = *list[i].Scene;
            FillOnGui(scene, context, pictures);
            if (listing)
                listing->AddScene(scene);
            else
                office->AddScene(scene);
            scene.Thumbnail = QImage(); // the export keeps what it needs
        }
        ce.EndProgress();
    }
    if (listing && !listing->Finish())
        throw std::runtime_error(listing->ErrorString().toStdString());
    if (office && !office->Finish()) {
        if (office->Aborted())
            return; // nothing is written
        throw std::runtime_error(office->ErrorString().toStdString());
    }
    // The document is stored and checked: it is shown to the user, unless
    // nobody may be there to see it.
    if (office && !Unattended.load() && OpenDocument) {
        const QString stored = office->OutName();
        runOnGui([&] { OpenDocument(stored); });
    }
}

void TdmAction::ExporterScenesTexteExecution(const EngineEntryPtr &entry,
                                             const QString &destination, const QStringList &,
                                             TCommandEngine &ce)
{
    ExportScenes(entry, destination, ce, std::nullopt);
}

void TdmAction::ExporterScenesExcelExecution(const EngineEntryPtr &entry,
                                             const QString &destination, const QStringList &,
                                             TCommandEngine &ce)
{
    ExportScenes(entry, destination, ce, TOfficeFormat::Xls);
}

void TdmAction::ExporterScenesWordExecution(const EngineEntryPtr &entry, const QString &destination,
                                            const QStringList &, TCommandEngine &ce)
{
    ExportScenes(entry, destination, ce, TOfficeFormat::Doc);
}

void TdmAction::ExporterScenesCalcExecution(const EngineEntryPtr &entry, const QString &destination,
                                            const QStringList &, TCommandEngine &ce)
{
    ExportScenes(entry, destination, ce, TOfficeFormat::Ods);
}

void TdmAction::ExporterScenesWriterExecution(const EngineEntryPtr &entry,
                                              const QString &destination, const QStringList &,
                                              TCommandEngine &ce)
{
    ExportScenes(entry, destination, ce, TOfficeFormat::Odt);
}

// --- graph commands --------------------------------------------------------

void TdmAction::AddSceneCommands()
{
    m_filePreview = std::make_unique<TFileScenePreview>(&m_settings);
    OpenDocument = [](const QString &file) { OpenDocumentFile(file); };

    const auto graphCommand = [this](const char *name) {
        return dynamic_cast<TGraphCmd *>(FindCommand(QString::fromLatin1(name)));
    };

    if (TGraphCmd *byDate = graphCommand("CreerScnByDate")) {
        byDate->OnBuildGraph = [this](const EngineEntryPtr &e, const QString &, const QStringList &,
                                      int) -> std::unique_ptr<IGraphRun> {
            const auto video = VideoEntry(e);
            media::IMediaSeeking *position = m_cdm.BuildScnByDateGraph(video->Path());
            if (!position)
                return nullptr;
            auto run = std::make_shared<ScnRun>(video->Path(), SceneContextFor(*video));
            Tdv_sceneDetect &detect = m_cdm.SceneDetect();
            detect.SetOnScene([run](const TDvFrameInfo &start, const TDvFrameInfo &end) {
                run->Add(start.FrameNumber, end.FrameNumber);
            });
            detect.SetOnEnd({});
            return std::make_unique<TWriterGraphRun>(m_cdm, *position,
                                                     ScnRun::Of(run, 0, [&detect] {
                                                         detect.SetOnScene({});
                                                         detect.SetOnEnd({});
                                                     }));
        };
    }

    if (TGraphCmd *byContent = graphCommand("CreerScnByContenu")) {
        byContent->OnBuildGraph = [this](const EngineEntryPtr &e, const QString &,
                                         const QStringList &, int) -> std::unique_ptr<IGraphRun> {
            const auto video = VideoEntry(e);
            media::IMediaSeeking *position = m_cdm.BuildScnByContenuGraph(video->Path());
            if (!position)
                return nullptr;
            // Each file starts at frame 0.
            auto run = std::make_shared<ScnRun>(video->Path(), SceneContextFor(*video));
            const auto frames = SceneFrames(video->Data().frameCount);
            TSceneDetectContenu &detect = m_cdm.SceneDetectContenu();
            // A cut at frame f ends the scene whose last frame is f - 1. The
            // run's last report names the last picture, the end rather than
            // a cut: each report waits for the next one, and the end notice
            // drops the one left.
            auto pending = std::make_shared<std::optional<std::int32_t>>(); // guarded by run->mutex
            detect.SetOnScene([run, pending](std::int32_t report) {
                std::uint32_t start = 0;
                std::optional<std::int32_t> cut;
                {
                    std::lock_guard lock(run->mutex);
                    cut = std::exchange(*pending, report);
                    if (!cut || *cut <= 0)
                        return;
                    start = run->previousBreak;
                    run->previousBreak = static_cast<std::uint32_t>(*cut);
                }
                run->Add(start, static_cast<std::uint32_t>(*cut));
            });
            detect.SetOnEnd([run, pending] {
                std::lock_guard lock(run->mutex);
                pending->reset();
            });
            // The last scene runs from the last cut to the end.
            return std::make_unique<TWriterGraphRun>(m_cdm, *position,
                                                     ScnRun::Of(run, frames, [&detect] {
                                                         detect.SetOnScene({});
                                                         detect.SetOnEnd({});
                                                     }));
        };
    }

    if (TGraphCmd *srt = graphCommand("CreerSrt")) {
        srt->OnBuildGraph = [this](const EngineEntryPtr &e, const QString &, const QStringList &,
                                   int) -> std::unique_ptr<IGraphRun> {
            const auto video = VideoEntry(e);
            media::IMediaSeeking *position = m_cdm.BuildSrtGraph(video->Path());
            if (!position)
                return nullptr;
            m_cdm.SceneDetect().SetOptions(m_settings.Incrust);
            return MakeSrtGraphRun(m_cdm, *position, video->Path(), video->Data().frameRate);
        };
    }

    if (TGraphCmd *cut = graphCommand("CutScenes")) {
        // The scenes of the file being cut, read before its first pass: one
        // pass per scene, whichever passes are declined. Worker thread only.
        auto scenes = std::make_shared<TSceneList>();
        cut->OnDestination = [this](const EngineEntryPtr &e, const QStringList &, int pass) {
            return OutputPath(*VideoEntry(e),
                              QStringLiteral("_scene_%1.avi").arg(std::max(pass, 1)));
        };
        cut->OnFilePasses = [this, scenes](const EngineEntryPtr &e, const QStringList &,
                                           TCommandEngine &) {
            const auto video = VideoEntry(e);
            scenes->clear();
            LoadScenesOf(*video, *scenes, SceneContextFor(*video));
            return static_cast<int>(scenes->size());
        };
        cut->OnBuildGraph = [this, cut, scenes](const EngineEntryPtr &e, const QString &destination,
                                                const QStringList &,
                                                int pass) -> std::unique_ptr<IGraphRun> {
            const auto video = VideoEntry(e);
            const TaviData &d = video->Data();
            if (pass < 1 || pass > static_cast<int>(scenes->size()) || !(d.frameRate > 0))
                return nullptr;
            const TSceneClass &scene = *(*scenes)[static_cast<std::size_t>(pass - 1)].Scene;
            if (scene.EndFrame <= scene.StartFrame)
                return nullptr;
            media::IMediaSeeking *position =
                d.dvType == 2 ? m_cdm.BuildCutSceneGraphType2(video->Path(), destination)
                              : m_cdm.BuildCutSceneGraphType1(video->Path(), destination);
            if (!position)
                return nullptr;
            // In frames: the stream converts a frame number to that frame's
            // own start by its exact rate (a 30000/1001 frame lasts
            // 333666.67 × 100 ns), so [StartFrame, EndFrame) is cut exactly.
            if (!position->SetTimeFormat(media::TimeFormat::Frame) ||
                !position->SetPositions(scene.StartFrame, scene.EndFrame))
                throw std::runtime_error("The scene's frames could not be found in the file.");
            const auto start = position->ConvertTimeFormat(
                scene.StartFrame, media::TimeFormat::MediaTime, media::TimeFormat::Frame);
            const auto stop = position->ConvertTimeFormat(
                scene.EndFrame, media::TimeFormat::MediaTime, media::TimeFormat::Frame);
            position->SetTimeFormat(media::TimeFormat::MediaTime);
            cut->Debut = start.value_or(0);
            cut->Duree = stop.value_or(0) - cut->Debut;
            return std::make_unique<TCdmGraphRun>(m_cdm, *position);
        };
    }
}

} // namespace vidora
