#pragma once

// The action data module: every file command of the program as a component
// of the command list `cl`, made from one table (dmactiontable.cpp, one row
// per command), and the handlers of their steps. The main window finds a
// command by its action's name and hands it to the command engine.
//
// Threads: conditions, destinations, executions and graph builds run on the
// engine's worker (conditions also on the GUI thread); questions on the GUI
// thread. Whatever a handler does to the preview, a window or the list runs
// on the GUI thread (runOnGui).
#include "files/commands.h"
#include "scenes/officeexport.h"
#include "scenes/scenemodel.h"
#include "settings/settings.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>

namespace vidora {

class TCdm;
class TaviFichier;
struct SettingValues;
namespace media {
class IMediaSeeking;
}

// What the commands need of the preview; its owner implements it. Called on
// the GUI thread.
class IActionPreview
{
public:
    virtual ~IActionPreview() = default;
    // The full path of the file loaded in the preview; empty when none.
    virtual QString LoadedFile() const = 0;
    // Stops the preview graph and lets go of its file.
    virtual void CloseGraph() = 0;
};

class TdmAction;

enum class TCmdClass {
    Custom, // tCustomCmd
    Fast,   // TFastcmd
    Cmd,    // Tcmd
    Graph,  // TGraphCmd
    Rename, // TRenameCmd
};

// How the main window groups the command actions.
enum class TCmdCategory {
    None,
    Conversion,
    Scenes,
    Rename,
};

// The dialog the window shows before a command to ask for its value; the
// answer is the command's parameter.
enum class TCmdPreparation {
    None,
    Codec,      // the four-character code
    FrameRate,  // frames per second
    TimeOffset, // a time offset in days
    Interval,   // the length of the scenes, in seconds
};

// One command of the table. Texts are UTF-8; null for none. Handlers are
// members of the module; null for none. A file condition handler gets the
// entry as a video entry; an entry of another class is out of scope. A row
// names the fields it sets; the others keep these defaults.
struct TCommandRow
{
    using FileCondition = void (TdmAction::*)(const TaviFichier &entry, bool &visible,
                                              bool &enabled) const;
    using CommandCondition = bool (TdmAction::*)() const;
    using Confirmation = QString (TdmAction::*)(const TaviFichier &entry,
                                                const QStringList &params) const;
    using Destination = QString (TdmAction::*)(const TaviFichier &entry,
                                               const QStringList &params) const;
    using Execution = void (TdmAction::*)(const EngineEntryPtr &entry, const QString &destination,
                                          const QStringList &params, TCommandEngine &ce);
    using BuildGraph = media::IMediaSeeking *(TdmAction::*)(const TaviFichier &entry,
                                                            const QString &destination,
                                                            const QStringList &params);

    const char *name = nullptr;
    TCmdClass kind = TCmdClass::Custom;
    TcmdNombre nombre = TcmdNombre::fnSelect;
    TUpdateDisplay updateDisplay = TUpdateDisplay::udNone;
    TUpdateFile updateFile = TUpdateFile::ufNone;
    bool showProgress = false;
    const char *startMessage = nullptr;
    const char *errorMessage = nullptr;
    TCmdCategory category = TCmdCategory::None;
    FileCondition fileCondition = nullptr;
    // The command shows only for the entries it is enabled for.
    bool hiddenWhenDisabled = false;
    CommandCondition commandCondition = nullptr;
    // The question asked for every file (standardFileVerification); none:
    // no question (a rename asks its own).
    Confirmation confirmation = nullptr;
    Destination destination = nullptr;
    Execution execution = nullptr;
    BuildGraph buildGraph = nullptr;
    // The output's ending ("_type1.avi") when the destination is the output
    // name of the source with it; null when `destination` names it.
    const char *ending = nullptr;
    // The action hands the command the values the action holds (its
    // preparation's answer, a script's or the command line's value).
    bool takesValue = false;
    // The dialog the window shows before the command; None: none.
    TCmdPreparation preparation = TCmdPreparation::None;
};

// The command table.
std::span<const TCommandRow> CommandTable();

// The program's web and mail addresses, and the day the birthday command
// applies on.
inline const QString kBlogAddress = HomePageAddress + QStringLiteral("blog/");
inline const QString kContactAddress = QStringLiteral("vesk.tobrek@example.org");
constexpr int kAnniversaryMonth = 3;
constexpr int kAnniversaryDay = 14;
bool IsAnniversary(const QDate &day);

// The recording date and time plus the entry's time offset; 0 when it does
// not decode.
double ShiftedRecDate(const TaviFichier &entry);

// The entry is dated: its datecode text is none of "N/A", "Error" and "-",
// and its recording date is not 0.
bool IsDated(const TaviFichier &entry);

// The ending of the time-shift command's output for an offset in days:
// "_(+1days12h).avi", "_(-6h).avi", "_(+).avi".
QString OffsetEnding(double offsetDays);

// Rename templates. `ExpandRenamePattern` gives the full path of the new
// name: %F name without extension, %E extension with its dot, %D recording
// date + time offset in `dateFormat`, %T time-code text, %C codec, %I picture
// and aspect texts, %A audio text, %U video duration text (codes in any
// case); then each of < > " / \ | becomes "_" and each ":" "."; the entry's
// folder goes in front.
QString ExpandRenamePattern(const QString &pattern, const QString &dateFormat,
                            const TaviFichier &entry);
// `candidate`, or the first of candidate_1.ext, candidate_2.ext… naming no
// existing file.
QString FreeRenameName(const QString &candidate);
// The name `path` has once the endings the program's own commands add are
// stripped ("clip_type2_16x9.avi" -> "clip.avi"), made free; only the file
// name is stripped, never its folder.
QString PurgerNomDestination(const QString &path);
// Whether the last part of the name after "_" is one PurgerNomDestination
// strips.
bool HasRemovableEnding(const QString &path);

class TdmAction
{
public:
    // `settings` and `cdm` are not owned and outlive the module.
    TdmAction(const SettingValues &settings, TCdm &cdm);
    ~TdmAction();
    TdmAction(const TdmAction &) = delete;
    TdmAction &operator=(const TdmAction &) = delete;

    // The command list, made from the table in its order.
    TcmdList cl;
    // The command of a name (the action's name without "cc"), in any case;
    // none when there is none.
    tAbstractCmd *FindCommand(const QString &name) const;
    // The row a command was made from; none for a command of another list.
    const TCommandRow *RowOf(const tAbstractCmd &command) const;

    // Set by its owner; none: nothing to let go of.
    IActionPreview *Preview = nullptr;
    // Shows the AVI analysis of a file (GUI thread): the window's analyser,
    // set by the window; none: the command shows nothing.
    std::function<void(const QString &path)> OnShowRiffAnalysis;
    // The language of the program's texts ("En").
    QString Language = QStringLiteral("En");
    // The day the command conditions take as today; none: the system's date.
    std::function<QDate()> Today;

    // --- file and shell commands
    void ViderListeExecution(const EngineEntryPtr &, const QString &, const QStringList &,
                             TCommandEngine &ce);
    void DossierParentExecution(const EngineEntryPtr &entry, const QString &, const QStringList &,
                                TCommandEngine &);
    void SupprimerFichierFileCondition(const TaviFichier &entry, bool &visible,
                                       bool &enabled) const;
    QString SupprimerFichierFileConFirmation(const TaviFichier &entry, const QStringList &) const;
    void SupprimerFichierExecution(const EngineEntryPtr &entry, const QString &,
                                   const QStringList &, TCommandEngine &ce);
    bool OpenFichierF3CommandCondition() const;
    bool OpenFichierF4CommandCondition() const;
    void OpenFichierF3Execution(const EngineEntryPtr &entry, const QString &, const QStringList &,
                                TCommandEngine &ce);
    void OpenFichierF4Execution(const EngineEntryPtr &entry, const QString &, const QStringList &,
                                TCommandEngine &ce);
    void QuillmarkFileCondition(const TaviFichier &, bool &visible, bool &enabled) const;
    void QuillmarkExecution(const EngineEntryPtr &entry, const QString &, const QStringList &,
                            TCommandEngine &ce);
    void DefaultPlayerExecution(const EngineEntryPtr &entry, const QString &, const QStringList &,
                                TCommandEngine &ce);
    void RiffHeaderExecution(const EngineEntryPtr &entry, const QString &, const QStringList &,
                             TCommandEngine &);
    void DecalageHoraireExecution(const EngineEntryPtr &entry, const QString &,
                                  const QStringList &params, TCommandEngine &);
    void VisitHomePageExecution(const EngineEntryPtr &, const QString &, const QStringList &,
                                TCommandEngine &);
    bool VisitBlogCommandCondition() const;
    void VisitBlogExecution(const EngineEntryPtr &, const QString &, const QStringList &,
                            TCommandEngine &);
    void SendMailExecution(const EngineEntryPtr &, const QString &, const QStringList &,
                           TCommandEngine &);
    bool AnniversaireCommandCondition() const;
    // Asks whether to send the birthday e-mail: true for Yes.
    bool AnniversaireCommandConFirmation(TCommandEngine &ce) const;
    void AnniversaireExecution(const EngineEntryPtr &, const QString &, const QStringList &,
                               TCommandEngine &);

    // --- video commands: file conditions
    void ConvertirDV1FileCondition(const TaviFichier &e, bool &visible, bool &enabled) const;
    void ConvertirDV2FileCondition(const TaviFichier &e, bool &visible, bool &enabled) const;
    void RecompresserDV2FileCondition(const TaviFichier &e, bool &visible, bool &enabled) const;
    void CorrigerType2FileCondition(const TaviFichier &e, bool &visible, bool &enabled) const;
    void ConvertirNTSCFileCondition(const TaviFichier &e, bool &visible, bool &enabled) const;
    void ConvertirPalFileCondition(const TaviFichier &e, bool &visible, bool &enabled) const;
    void IncrusterFileCondition(const TaviFichier &e, bool &visible, bool &enabled) const;
    void isDVFileCondition(const TaviFichier &e, bool &visible, bool &enabled) const;
    void Convertir16x9FileCondition(const TaviFichier &e, bool &visible, bool &enabled) const;
    void Convertir4x3FileCondition(const TaviFichier &e, bool &visible, bool &enabled) const;
    void ExtraireAudioFileCondition(const TaviFichier &e, bool &visible, bool &enabled) const;

    // --- video commands: destinations
    QString DecalerHoraireDestination(const TaviFichier &e, const QStringList &params) const;

    // --- video commands: graphs
    media::IMediaSeeking *ConvertirDV1BuildGraph(const TaviFichier &e, const QString &dest,
                                                 const QStringList &);
    media::IMediaSeeking *ConvertirDV2BuildGraph(const TaviFichier &e, const QString &dest,
                                                 const QStringList &);
    media::IMediaSeeking *RecompresserDV2BuildGraph(const TaviFichier &e, const QString &dest,
                                                    const QStringList &);
    media::IMediaSeeking *CorrigerType2BuildGraph(const TaviFichier &e, const QString &dest,
                                                  const QStringList &);
    media::IMediaSeeking *ConvertirNTSCBuildGraph(const TaviFichier &e, const QString &dest,
                                                  const QStringList &);
    media::IMediaSeeking *ConvertirPalBuildGraph(const TaviFichier &e, const QString &dest,
                                                 const QStringList &);
    media::IMediaSeeking *IncrusterBuildGraph(const TaviFichier &e, const QString &dest,
                                              const QStringList &);
    media::IMediaSeeking *DecalerHoraireBuildGraph(const TaviFichier &e, const QString &dest,
                                                   const QStringList &params);
    media::IMediaSeeking *Convertir16x9BuildGraph(const TaviFichier &e, const QString &dest,
                                                  const QStringList &);
    media::IMediaSeeking *Convertir4x3BuildGraph(const TaviFichier &e, const QString &dest,
                                                 const QStringList &);
    media::IMediaSeeking *ExtraireAudioBuildGraph(const TaviFichier &e, const QString &dest,
                                                  const QStringList &);

    // --- rename, codec, frame-rate and file-date commands
    void hasDatecodeFileCondition(const TaviFichier &e, bool &visible, bool &enabled) const;
    void AjouterTimecodeFileCondition(const TaviFichier &e, bool &visible, bool &enabled) const;
    void PurgerNomFileCondition(const TaviFichier &e, bool &visible, bool &enabled) const;
    void FrequenceVideoFileCondition(const TaviFichier &e, bool &visible, bool &enabled) const;
    QString AjouterDatecodeDestination(const TaviFichier &e, const QStringList &) const;
    QString AjouterTimecodeDestination(const TaviFichier &e, const QStringList &) const;
    QString RenommerDestination(const TaviFichier &e, const QStringList &) const;
    QString PurgerNomDestinationHandler(const TaviFichier &e, const QStringList &) const;
    void RenommerExecution(const EngineEntryPtr &entry, const QString &destination,
                           const QStringList &, TCommandEngine &ce);
    QString ModifierCodecFileConFirmation(const TaviFichier &e, const QStringList &params) const;
    void ModifierCodecExecution(const EngineEntryPtr &entry, const QString &,
                                const QStringList &params, TCommandEngine &);
    QString FrequenceVideoFileConFirmation(const TaviFichier &e, const QStringList &params) const;
    void FrequenceVideoExecution(const EngineEntryPtr &entry, const QString &,
                                 const QStringList &params, TCommandEngine &);
    QString DateFichierFileConFirmation(const TaviFichier &e, const QStringList &) const;
    void DateFichierExecution(const EngineEntryPtr &entry, const QString &, const QStringList &,
                              TCommandEngine &);

    // --- scene commands (dmaction_scenes.cpp)
    // Fills the details of the scenes the interval command and the exports
    // make or read (GUI thread): the window's preview, which reads the files
    // it does not show from the files themselves. None: a reader of the
    // files of the module's own does.
    IScenePreview *ScenePreview = nullptr;
    // Opens a stored office document with the desktop's handler for its
    // type (GUI thread); tests replace it. Not called for a command that a
    // script or the command line ran.
    std::function<void(const QString &file)> OpenDocument;
    // The running command was started by a script or the command line. Set
    // on the GUI thread before the command runs.
    std::atomic<bool> Unattended{false};
    // The listing's and the exports' version texts ("7.0.5", "Vidora 7.0.5").
    QString VersionText;
    QString AppVersionText;
    // Where the office exports find their helper and office; the defaults
    // are the installed ones.
    TOfficeSetup OfficeSetup;

    void ScenesDateFileCondition(const TaviFichier &e, bool &visible, bool &enabled) const;
    void CreerScnByContenuFileCondition(const TaviFichier &e, bool &visible, bool &enabled) const;
    void CutScenesFileCondition(const TaviFichier &e, bool &visible, bool &enabled) const;
    void CreerSrtFileCondition(const TaviFichier &e, bool &visible, bool &enabled) const;
    void hasScnFileCondition(const TaviFichier &e, bool &visible, bool &enabled) const;
    void SupprimerSrtFileCondition(const TaviFichier &e, bool &visible, bool &enabled) const;
    QString ScenesDateDestination(const TaviFichier &e, const QStringList &) const;
    QString CreerSrtDestination(const TaviFichier &e, const QStringList &) const;
    QString ExporterScenesTexteDestination(const TaviFichier &e, const QStringList &) const;
    QString ExporterScenesExcelDestination(const TaviFichier &e, const QStringList &) const;
    QString ExporterScenesWordDestination(const TaviFichier &e, const QStringList &) const;
    QString ExporterScenesCalcDestination(const TaviFichier &e, const QStringList &) const;
    QString ExporterScenesWriterDestination(const TaviFichier &e, const QStringList &) const;
    QString SupprimerScnFileConFirmation(const TaviFichier &e, const QStringList &) const;
    QString SupprimerSrtFileConFirmation(const TaviFichier &e, const QStringList &) const;
    void CreerScnByIntervalleExecution(const EngineEntryPtr &entry, const QString &destination,
                                       const QStringList &params, TCommandEngine &ce);
    void SupprimerScnExecution(const EngineEntryPtr &entry, const QString &, const QStringList &,
                               TCommandEngine &);
    void SupprimerSrtExecution(const EngineEntryPtr &entry, const QString &, const QStringList &,
                               TCommandEngine &);
    void ExporterScenesTexteExecution(const EngineEntryPtr &entry, const QString &destination,
                                      const QStringList &, TCommandEngine &ce);
    void ExporterScenesExcelExecution(const EngineEntryPtr &entry, const QString &destination,
                                      const QStringList &, TCommandEngine &ce);
    void ExporterScenesWordExecution(const EngineEntryPtr &entry, const QString &destination,
                                     const QStringList &, TCommandEngine &ce);
    void ExporterScenesCalcExecution(const EngineEntryPtr &entry, const QString &destination,
                                     const QStringList &, TCommandEngine &ce);
    void ExporterScenesWriterExecution(const EngineEntryPtr &entry, const QString &destination,
                                       const QStringList &, TCommandEngine &ce);
    // The scene context of an entry: its values, the duration style and
    // datecode pattern of the settings, ScenePreview.
    TSceneContext SceneContextFor(const TaviFichier &entry) const;

private:
    // The graph builds of the scene-file, subtitle and cutting commands,
    // whose runs commit their files only when complete (and the cut's passes).
    void AddSceneCommands();
    void ExportScenes(const EngineEntryPtr &entry, const QString &destination, TCommandEngine &ce,
                      std::optional<TOfficeFormat> format);
    void DataModuleCreate();
    std::unique_ptr<tAbstractCmd> MakeCommand(const TCommandRow &row);
    // The preview lets go of the file when it holds it.
    void ReleaseFromPreview(const QString &path);
    // The four options of the DV header filter.
    void SetHeaderOptions(bool copyHeaders, double dateOffset, bool writeAspect, bool wide);
    // A graph built (or none) whose header filter copies the source's
    // headers unchanged.
    media::IMediaSeeking *Copying(const TaviFichier &entry, media::IMediaSeeking *seeking);
    // The NTSC or PAL conversion for the entry's DV type.
    media::IMediaSeeking *BuildStandard(const TaviFichier &entry, const QString &dest, bool toNtsc);
    // The header graph writing the 16:9 or 4:3 flag.
    media::IMediaSeeking *BuildAspect(const TaviFichier &entry, const QString &dest, bool wide);
    // The entry's audio sample rate on the graph's audio converters.
    void SetAudioRate(const TaviFichier &entry);
    QString OutputPath(const TaviFichier &entry, const QString &ending) const;
    bool StartProgram(const QString &program, const QStringList &arguments) const;

    const SettingValues &m_settings;
    TCdm &m_cdm;
    // Lower-case name -> command of cl.
    std::map<QString, tAbstractCmd *> m_names;
    std::map<const tAbstractCmd *, const TCommandRow *> m_rows;
    // The scene details' reader without ScenePreview; used and released on
    // the GUI thread.
    std::unique_ptr<IScenePreview> m_filePreview;
};

} // namespace vidora
