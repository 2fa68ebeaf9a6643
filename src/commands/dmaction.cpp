#include "commands/dmaction.h"

#include "commands/dialogvalues.h"
#include "files/avifichier.h"
#include "files/cdmgraphrun.h"
#include "files/commandengine.h"
#include "formats/datetime.h"
#include "formats/fpsunit.h"
#include "platform/gui_thread.h"
#include "platform/media/dsfunctions_media.h"
#include "platform/shell/pathroutines.h"
#include "platform/shell/shellroutines.h"
#include "settings/settings.h"
#include "video/filters/dv_dvheader.h"
#include "video/filters/dv_superposer.h"
#include "video/graphs/convertirdvunit.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include <cmath>
#include <stdexcept>

namespace vidora {

namespace {

const QString kRecycleNote = QStringLiteral("If yes, it will be sent to the Recycle bin.");

std::shared_ptr<TaviFichier> AsVideo(const EngineEntryPtr &entry)
{
    return std::dynamic_pointer_cast<TaviFichier>(entry);
}

const TaviFichier &VideoOf(const EngineEntryPtr &entry)
{
    const auto video = AsVideo(entry);
    if (!video)
        throw std::runtime_error("the command needs a video entry");
    return *video;
}

// The first parameter; empty when there is none.
QString FirstParam(const QStringList &params)
{
    return params.isEmpty() ? QString() : params.first();
}

bool IsNoText(const QString &text)
{
    return text == QLatin1String("N/A") || text == QLatin1String("Error") ||
           text == QLatin1String("-");
}

// `path` with its extension (from the last "." of the name on) replaced.
QString WithExtension(const QString &path, const QString &extension)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype dot = path.lastIndexOf(u'.');
    return (dot > slash ? path.left(dot) : path) + extension;
}

// Makes a file writable by its owner for a patch and gives it back its
// permissions afterwards, also when the patch fails.
class WritableForPatch
{
public:
    // Qt reports the running user's access in the "User" flags and writes
    // them as the owner's bits; only the stored bits are kept, so a file
    // that root patches does not come back writable.
    static constexpr QFileDevice::Permissions kUserFlags{
        QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser};

    explicit WritableForPatch(const QString &path)
        : m_path(path), m_permissions(QFile::permissions(path) & ~kUserFlags)
    {
        if (!m_permissions.testFlag(QFileDevice::WriteOwner)) {
            if (!QFile::setPermissions(path, m_permissions | QFileDevice::WriteOwner))
                throw std::runtime_error("cannot make the file writable");
            m_changed = true;
        }
    }
    ~WritableForPatch()
    {
        if (m_changed)
            QFile::setPermissions(m_path, m_permissions);
    }
    WritableForPatch(const WritableForPatch &) = delete;
    WritableForPatch &operator=(const WritableForPatch &) = delete;

private:
    QString m_path;
    QFileDevice::Permissions m_permissions;
    bool m_changed = false;
};

} // namespace

bool IsAnniversary(const QDate &day)
{
    return day.month() == kAnniversaryMonth && day.day() == kAnniversaryDay;
}

double ShiftedRecDate(const TaviFichier &entry)
{
    try {
        return AddDateOffset(entry.Data().recDateTime, entry.TimeOffset());
    } catch (const std::exception &) {
        return 0;
    }
}

bool IsDated(const TaviFichier &entry)
{
    return !IsNoText(entry.Data().datecodeText) && entry.Data().recDateTime != 0;
}

QString OffsetEnding(double offsetDays)
{
    QString text = offsetDays >= 0 ? QStringLiteral("+") : QStringLiteral("-");
    const double magnitude = std::isfinite(offsetDays) ? std::fabs(offsetDays) : 0.0;
    // Whole seconds of the offset, to the nearest millisecond first so that
    // 0.25 days is 6 hours and not 5:59:59.
    const auto ms = static_cast<long long>(std::llround(std::min(magnitude, 3.0e6) * 86400000.0));
    const long long days = ms / 86400000;
    const long long inDay = (ms % 86400000) / 1000;
    const long long hours = inDay / 3600;
    const long long minutes = inDay / 60 % 60;
    const long long seconds = inDay % 60;
    if (days > 0)
        text += QString::number(days) + QStringLiteral("days");
    if (hours != 0)
        text += QString::number(hours) + u'h';
    if (minutes != 0)
        text += QString::number(minutes) + QStringLiteral("mn");
    if (seconds != 0)
        text += QString::number(seconds) + u'S';
    return QStringLiteral("_(") + text + QStringLiteral(").avi");
}

QString ExpandRenamePattern(const QString &pattern, const QString &dateFormat,
                            const TaviFichier &entry)
{
    const QFileInfo info(entry.Path());
    const QString folder = info.absolutePath();
    const QString name = info.fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString base = dot >= 0 ? name.left(dot) : name;
    const QString extension = dot >= 0 ? name.mid(dot) : QString();
    const TaviData &data = entry.Data();

    // One pass over the template: a value that itself holds "%D" is not
    // expanded again.
    QString result;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c != u'%' || i + 1 >= pattern.size()) {
            result += c;
            continue;
        }
        const QChar code = pattern.at(i + 1).toUpper();
        QString value;
        if (code == u'F')
            value = base;
        else if (code == u'E')
            value = extension;
        else if (code == u'D')
            value = FormatDateTime(dateFormat, ShiftedRecDate(entry));
        else if (code == u'T')
            value = data.timecodeText;
        else if (code == u'C')
            value = data.codec;
        else if (code == u'I')
            value = data.pictureText + data.aspectText;
        else if (code == u'A')
            value = data.audioText;
        else if (code == u'U')
            value = data.videoDurationText;
        else {
            result += c;
            continue;
        }
        result += value;
        ++i;
    }
    for (QChar &c : result) {
        if (c == u'<' || c == u'>' || c == u'"' || c == u'/' || c == u'\\' || c == u'|')
            c = u'_';
        else if (c == u':')
            c = u'.';
    }
    return folder + u'/' + result;
}

QString FreeRenameName(const QString &candidate)
{
    if (!QFileInfo::exists(candidate))
        return candidate;
    const qsizetype slash = candidate.lastIndexOf(u'/');
    const qsizetype dot = candidate.lastIndexOf(u'.');
    const QString stem = dot > slash ? candidate.left(dot) : candidate;
    const QString extension = dot > slash ? candidate.mid(dot) : QString();
    for (int n = 1;; ++n) {
        const QString name = stem + u'_' + QString::number(n) + extension;
        if (!QFileInfo::exists(name))
            return name;
    }
}

namespace {

bool IsRemovableTail(const QString &rawTail)
{
    static const QStringList kEndings = {QStringLiteral("type2"), QStringLiteral("type1"),
                                         QStringLiteral("in"),    QStringLiteral("ntsc"),
                                         QStringLiteral("pal"),   QStringLiteral("16x9"),
                                         QStringLiteral("4x3"),   QStringLiteral("am"),
                                         QStringLiteral("pm"),    QStringLiteral("dvtype2")};
    const QString tail = rawTail.toLower().trimmed();
    if (kEndings.contains(tail))
        return true;
    if (tail.startsWith(u'(') && tail.endsWith(u')'))
        return true;
    for (qsizetype i = 0; i + 1 < tail.size(); ++i)
        if (tail.at(i) >= u'a' && tail.at(i) <= u'z')
            return false;
    return true;
}

// The file name without its last four characters (the extension).
QString NameStem(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    return name.left(std::max<qsizetype>(0, name.size() - 4));
}

} // namespace

bool HasRemovableEnding(const QString &path)
{
    const QString stem = NameStem(path);
    const qsizetype underscore = stem.lastIndexOf(u'_');
    return underscore >= 0 && IsRemovableTail(stem.mid(underscore + 1));
}

QString PurgerNomDestination(const QString &path)
{
    const QString folder = QFileInfo(path).absolutePath() + u'/';
    QString stem = NameStem(path);
    for (qsizetype underscore = stem.lastIndexOf(u'_'); underscore >= 0;
         underscore = stem.lastIndexOf(u'_')) {
        if (!IsRemovableTail(stem.mid(underscore + 1)))
            break;
        stem = stem.left(underscore);
    }
    QString candidate = folder + stem;
    for (int n = 1; QFileInfo::exists(candidate + QStringLiteral(".avi")); ++n)
        candidate = folder + stem + u'_' + QString::number(n);
    return candidate + QStringLiteral(".avi");
}

// --- the module --------------------------------------------------------------

TdmAction::TdmAction(const SettingValues &settings, TCdm &cdm) : m_settings(settings), m_cdm(cdm)
{
    DataModuleCreate();
}

TdmAction::~TdmAction() = default;

void TdmAction::DataModuleCreate()
{
    for (const TCommandRow &row : CommandTable()) {
        tAbstractCmd &command = cl.Add(MakeCommand(row));
        m_names[command.Name.toLower()] = &command;
        m_rows[&command] = &row;
    }
    AddSceneCommands();
    if (auto *birthday = dynamic_cast<tCustomCmd_np *>(FindCommand(QStringLiteral("Anniversaire"))))
        birthday->OnCommandConFirmation = [this](TCommandEngine &ce) {
            return AnniversaireCommandConFirmation(ce);
        };
}

tAbstractCmd *TdmAction::FindCommand(const QString &name) const
{
    const auto found = m_names.find(name.toLower());
    return found == m_names.end() ? nullptr : found->second;
}

const TCommandRow *TdmAction::RowOf(const tAbstractCmd &command) const
{
    const auto found = m_rows.find(&command);
    return found == m_rows.end() ? nullptr : found->second;
}

std::unique_ptr<tAbstractCmd> TdmAction::MakeCommand(const TCommandRow &row)
{
    std::unique_ptr<tAbstractCmd> command;
    tCustomCmd_np *custom = nullptr;
    TCmd_np *withDestination = nullptr;

    const auto execution =
        [this, exec = row.execution](const EngineEntryPtr &entry, const QString &destination,
                                     const QStringList &params, TCommandEngine &ce) {
            (this->*exec)(entry, destination, params, ce);
        };

    switch (row.kind) {
    case TCmdClass::Custom: {
        auto c = std::make_unique<tCustomCmd>();
        if (row.execution)
            c->OnExecution = [execution](const EngineEntryPtr &e, const QStringList &p,
                                         TCommandEngine &ce,
                                         int) { execution(e, QString(), p, ce); };
        custom = c.get();
        command = std::move(c);
        break;
    }
    case TCmdClass::Fast: {
        auto c = std::make_unique<TFastcmd>();
        if (row.execution)
            c->OnExecution = [execution](const EngineEntryPtr &e, const QStringList &p,
                                         TCommandEngine &ce,
                                         int) { execution(e, QString(), p, ce); };
        custom = c.get();
        command = std::move(c);
        break;
    }
    case TCmdClass::Cmd: {
        auto c = std::make_unique<Tcmd>();
        if (row.execution)
            c->OnExecution = [execution](const EngineEntryPtr &e, const QString &d,
                                         const QStringList &p, TCommandEngine &ce,
                                         int) { execution(e, d, p, ce); };
        custom = withDestination = c.get();
        command = std::move(c);
        break;
    }
    case TCmdClass::Graph: {
        auto c = std::make_unique<TGraphCmd>();
        if (row.buildGraph) {
            c->OnBuildGraph = [this, build = row.buildGraph](
                                  const EngineEntryPtr &e, const QString &destination,
                                  const QStringList &p, int) -> std::unique_ptr<IGraphRun> {
                media::IMediaSeeking *position = (this->*build)(VideoOf(e), destination, p);
                if (position == nullptr)
                    return nullptr;
                return std::make_unique<TCdmGraphRun>(m_cdm, *position);
            };
        }
        custom = withDestination = c.get();
        command = std::move(c);
        break;
    }
    case TCmdClass::Rename: {
        auto c = std::make_unique<TRenameCmd>();
        if (row.execution)
            c->OnExecution = [execution](const EngineEntryPtr &e, const QString &d,
                                         const QStringList &p, TCommandEngine &ce,
                                         int) { execution(e, d, p, ce); };
        // standardDestFileVerification: every file is asked.
        c->OnFileVerification = [](const QString &, const EngineEntryPtr &, const QStringList &,
                                   TCommandEngine &, int) { return false; };
        custom = withDestination = c.get();
        command = std::move(c);
        break;
    }
    }

    command->Name = QString::fromUtf8(row.name);
    command->Nombre = row.nombre;
    command->UpdateDisplay = row.updateDisplay;
    command->UpdateFile = row.updateFile;
    command->ShowProgress = row.showProgress;
    command->NbPasses = 0;
    if (row.startMessage)
        command->StartMessage = QString::fromUtf8(row.startMessage);
    if (row.errorMessage)
        command->ErrorMessage = QString::fromUtf8(row.errorMessage);

    if (row.fileCondition) {
        custom->OnFileCondition = [this, condition = row.fileCondition,
                                   hidden = row.hiddenWhenDisabled](const EngineEntryPtr &e,
                                                                    bool &visible, bool &enabled) {
            const auto video = AsVideo(e);
            if (!video) {
                enabled = false;
                visible = !hidden;
                return;
            }
            (this->*condition)(*video, visible, enabled);
            if (hidden)
                visible = enabled;
        };
    }
    if (row.commandCondition)
        custom->OnCommandCondition = [this, condition = row.commandCondition](TCommandEngine &) {
            return (this->*condition)();
        };
    if (row.confirmation) {
        // standardFileVerification: every file is asked.
        custom->OnFileVerification = [](const EngineEntryPtr &, const QStringList &,
                                        TCommandEngine &, int) { return false; };
        custom->OnFileConFirmation =
            [this, confirmation = row.confirmation](const EngineEntryPtr &e, const QStringList &p,
                                                    TCommandEngine &, int) {
                const auto video = AsVideo(e);
                return video ? (this->*confirmation)(*video, p) : QString();
            };
    }
    if (withDestination && row.ending)
        withDestination->OnDestination = [this, ending = QString::fromUtf8(row.ending)](
                                             const EngineEntryPtr &e, const QStringList &, int) {
            return OutputPath(VideoOf(e), ending);
        };
    if (withDestination && row.destination)
        withDestination->OnDestination = [this, destination = row.destination](
                                             const EngineEntryPtr &e, const QStringList &p, int) {
            return (this->*destination)(VideoOf(e), p);
        };
    return command;
}

void TdmAction::ReleaseFromPreview(const QString &path)
{
    if (Preview == nullptr)
        return;
    runOnGui([&] {
        if (Preview->LoadedFile() == path)
            Preview->CloseGraph();
    });
}

void TdmAction::SetHeaderOptions(bool copyHeaders, double dateOffset, bool writeAspect, bool wide)
{
    Tdv_DVheader &header = m_cdm.DvHeader();
    header.SetCopyHeaders(copyHeaders);
    header.SetDateOffset(dateOffset);
    header.SetWriteAspect(writeAspect);
    header.SetAspectWide(wide);
}

void TdmAction::SetAudioRate(const TaviFichier &entry)
{
    // The entry's numeric rate, not a text cut out of its audio description.
    const std::uint32_t rate = entry.Data().audioSampleRate;
    if (rate == 0)
        return;
    for (media::Filter *acm : {m_cdm.Acm1(), m_cdm.Acm2()})
        if (acm != nullptr)
            media::SetAudioSampleRate(acm, rate);
}

QString TdmAction::OutputPath(const TaviFichier &entry, const QString &ending) const
{
    return MakeOutputPath(entry.Path(), ending, m_settings.SaveInSameFolder, m_settings.SaveFolder);
}

bool TdmAction::StartProgram(const QString &program, const QStringList &arguments) const
{
    // The arguments reach the program as they are: no shell and no quoting.
    return QProcess::startDetached(program, arguments);
}

// --- file and shell commands -------------------------------------------------

void TdmAction::ViderListeExecution(const EngineEntryPtr &, const QString &, const QStringList &,
                                    TCommandEngine &ce)
{
    runOnGui([&] {
        IEngineList *list = ce.SourceFichierListbox;
        for (const EngineEntryPtr &entry : list->AllEntries())
            list->RemoveEntry(entry);
    });
}

void TdmAction::DossierParentExecution(const EngineEntryPtr &entry, const QString &,
                                       const QStringList &, TCommandEngine &)
{
    const QString path = entry->FullPath();
    runOnGui([&] { ShowInExplorer(path); });
}

void TdmAction::SupprimerFichierFileCondition(const TaviFichier &entry, bool &visible,
                                              bool &enabled) const
{
    visible = true;
    enabled = !entry.ReadOnly();
}

QString TdmAction::SupprimerFichierFileConFirmation(const TaviFichier &entry,
                                                    const QStringList &) const
{
    const QString text = QStringLiteral("Do you really want to delete the file ") + entry.Path() +
                         QStringLiteral(" ?") + u'\n' + kRecycleNote;
    if (text.size() > 254)
        return QStringLiteral("Do you really want to delete this file?") + u'\n' + kRecycleNote;
    return text;
}

void TdmAction::SupprimerFichierExecution(const EngineEntryPtr &entry, const QString &,
                                          const QStringList &, TCommandEngine &ce)
{
    // A file that did not reach the trash stays in the list: the list shows
    // what is on the disk.
    if (!DeleteToRecycleBin(entry->FullPath())) {
        ce.Error(
            QStringLiteral("The file %1 could not be sent to the trash.").arg(entry->FullPath()),
            TErrorType::etError);
        return;
    }
    ce.RemoveFichier();
}

bool TdmAction::OpenFichierF3CommandCondition() const
{
    return !m_settings.FileF3.isEmpty() && QFileInfo(m_settings.FileF3).isFile();
}

bool TdmAction::OpenFichierF4CommandCondition() const
{
    return !m_settings.FileF4.isEmpty() && QFileInfo(m_settings.FileF4).isFile();
}

void TdmAction::OpenFichierF3Execution(const EngineEntryPtr &entry, const QString &,
                                       const QStringList &, TCommandEngine &)
{
    StartProgram(m_settings.FileF3, {entry->FullPath()});
}

void TdmAction::OpenFichierF4Execution(const EngineEntryPtr &entry, const QString &,
                                       const QStringList &, TCommandEngine &)
{
    StartProgram(m_settings.FileF4, {entry->FullPath()});
}

void TdmAction::QuillmarkFileCondition(const TaviFichier &, bool &visible, bool &enabled) const
{
    visible = true;
    enabled = !m_settings.FileQuillmark.isEmpty() && QFileInfo(m_settings.FileQuillmark).isFile();
}

void TdmAction::QuillmarkExecution(const EngineEntryPtr &entry, const QString &,
                                   const QStringList &, TCommandEngine &)
{
    const QString path = entry->FullPath();
    StartProgram(m_settings.FileQuillmark,
                 {m_settings.LoadQuillmark ? QStringLiteral("+F=") + path : path});
}

void TdmAction::DefaultPlayerExecution(const EngineEntryPtr &entry, const QString &,
                                       const QStringList &, TCommandEngine &)
{
    const QUrl url = QUrl::fromLocalFile(entry->FullPath());
    runOnGui([&] { QDesktopServices::openUrl(url); });
}

void TdmAction::RiffHeaderExecution(const EngineEntryPtr &entry, const QString &,
                                    const QStringList &, TCommandEngine &)
{
    const QString path = entry->FullPath();
    runOnGui([&] {
        if (OnShowRiffAnalysis)
            OnShowRiffAnalysis(path);
    });
}

void TdmAction::DecalageHoraireExecution(const EngineEntryPtr &entry, const QString &,
                                         const QStringList &params, TCommandEngine &)
{
    if (params.isEmpty())
        return;
    double offset = SafeStrToFloat(params.first());
    const QString text = FormatOffsetText(offset);
    const auto video = AsVideo(entry);
    if (!video)
        return;
    runOnGui([&] { video->SetTimeOffset(offset, text); });
}

void TdmAction::VisitHomePageExecution(const EngineEntryPtr &, const QString &, const QStringList &,
                                       TCommandEngine &)
{
    runOnGui([] { OpenURL(HomePageAddress); });
}

bool TdmAction::VisitBlogCommandCondition() const
{
    return Language == QLatin1String("En");
}

void TdmAction::VisitBlogExecution(const EngineEntryPtr &, const QString &, const QStringList &,
                                   TCommandEngine &)
{
    runOnGui([] { OpenURL(kBlogAddress); });
}

void TdmAction::SendMailExecution(const EngineEntryPtr &, const QString &, const QStringList &,
                                  TCommandEngine &)
{
    runOnGui([] {
        SendMailTo(kContactAddress, QStringLiteral("About  ") + kProgramName,
                   QStringLiteral("Hello Vesk Tobrek,\r\n"));
    });
}

bool TdmAction::AnniversaireCommandCondition() const
{
    return IsAnniversary(Today ? Today() : QDate::currentDate());
}

bool TdmAction::AnniversaireCommandConFirmation(TCommandEngine &ce) const
{
    return ce.Confirm(QStringLiteral("It's today Vesk Tobrek's birthday. Do you want to send him "
                                     "a e-mail?"),
                      false) == TModalResult::mrYes;
}

void TdmAction::AnniversaireExecution(const EngineEntryPtr &, const QString &, const QStringList &,
                                      TCommandEngine &)
{
    runOnGui([] {
        SendMailTo(kContactAddress, QStringLiteral("Happy birthday to Vesk Tobrek"),
                   QStringLiteral("Happy birthday from a user of %1 !").arg(kProgramName));
    });
}

// --- video commands ------------------------------------------------------------

void TdmAction::ConvertirDV1FileCondition(const TaviFichier &e, bool &, bool &enabled) const
{
    enabled = e.Data().isDv && e.Data().dvType == 2;
}

void TdmAction::ConvertirDV2FileCondition(const TaviFichier &e, bool &, bool &enabled) const
{
    enabled = e.Data().isDv && e.Data().dvType == 1;
}

void TdmAction::RecompresserDV2FileCondition(const TaviFichier &e, bool &visible,
                                             bool &enabled) const
{
    enabled = !e.Data().isDv;
    visible = e.Data().pictureText != kNotAvailable;
}

void TdmAction::CorrigerType2FileCondition(const TaviFichier &e, bool &, bool &enabled) const
{
    enabled = e.Data().isDv && e.Data().dvType == 2 && e.Data().interleavedType2;
}

void TdmAction::ConvertirNTSCFileCondition(const TaviFichier &e, bool &, bool &enabled) const
{
    const TaviData &d = e.Data();
    enabled = d.isDv && d.standard == TDvStandard::Pal &&
              (d.dvType == 2 || d.codec == QLatin1String("dvsd"));
}

void TdmAction::ConvertirPalFileCondition(const TaviFichier &e, bool &, bool &enabled) const
{
    const TaviData &d = e.Data();
    enabled = d.isDv && d.standard == TDvStandard::Ntsc &&
              (d.dvType == 2 || d.codec == QLatin1String("dvsd"));
}

void TdmAction::IncrusterFileCondition(const TaviFichier &e, bool &, bool &enabled) const
{
    const TaviData &d = e.Data();
    enabled = d.isDv && (d.dvType == 2 || d.codec == QLatin1String("dvsd"));
}

void TdmAction::isDVFileCondition(const TaviFichier &e, bool &, bool &enabled) const
{
    enabled = e.Data().isDv;
}

void TdmAction::Convertir16x9FileCondition(const TaviFichier &e, bool &, bool &enabled) const
{
    enabled = e.Data().isDv && !e.Data().wide;
}

void TdmAction::Convertir4x3FileCondition(const TaviFichier &e, bool &, bool &enabled) const
{
    enabled = e.Data().isDv && e.Data().wide;
}

void TdmAction::ExtraireAudioFileCondition(const TaviFichier &e, bool &visible, bool &enabled) const
{
    const TaviData &d = e.Data();
    enabled = d.audioText != kNotAvailable;
    visible = !(d.isDv && d.dvType == 1 && d.codec != QLatin1String("dvsd"));
}

QString TdmAction::DecalerHoraireDestination(const TaviFichier &e, const QStringList &params) const
{
    return OutputPath(e, OffsetEnding(SafeStrToFloat(FirstParam(params))));
}

// Every handler sets the four options of the DV header filter, so no option
// is left over from the previous command.

media::IMediaSeeking *TdmAction::Copying(const TaviFichier &e, media::IMediaSeeking *seeking)
{
    if (seeking)
        SetHeaderOptions(true, 0, false, e.Data().wide);
    return seeking;
}

media::IMediaSeeking *TdmAction::ConvertirDV1BuildGraph(const TaviFichier &e, const QString &dest,
                                                        const QStringList &)
{
    return Copying(e, m_cdm.BuildToType1Graph(e.Path(), dest));
}

media::IMediaSeeking *TdmAction::ConvertirDV2BuildGraph(const TaviFichier &e, const QString &dest,
                                                        const QStringList &)
{
    return Copying(e, m_cdm.BuildToType2Graph(e.Path(), dest));
}

media::IMediaSeeking *TdmAction::RecompresserDV2BuildGraph(const TaviFichier &e,
                                                           const QString &dest, const QStringList &)
{
    return Copying(e, m_cdm.BuildRecompressGraph(e.Path(), dest));
}

media::IMediaSeeking *TdmAction::CorrigerType2BuildGraph(const TaviFichier &e, const QString &dest,
                                                         const QStringList &)
{
    return Copying(e, m_cdm.BuildFixType2Graph(e.Path(), dest));
}

media::IMediaSeeking *TdmAction::BuildStandard(const TaviFichier &e, const QString &dest,
                                               bool toNtsc)
{
    media::IMediaSeeking *seeking = e.Data().dvType == 2
                                        ? m_cdm.BuildStandardGraphType2(e.Path(), dest, toNtsc)
                                        : m_cdm.BuildStandardGraphType1(e.Path(), dest, toNtsc);
    if (seeking) {
        SetAudioRate(e);
        SetHeaderOptions(true, m_settings.TimeOffset, false, e.Data().wide);
    }
    return seeking;
}

media::IMediaSeeking *TdmAction::ConvertirNTSCBuildGraph(const TaviFichier &e, const QString &dest,
                                                         const QStringList &)
{
    return BuildStandard(e, dest, true);
}

media::IMediaSeeking *TdmAction::ConvertirPalBuildGraph(const TaviFichier &e, const QString &dest,
                                                        const QStringList &)
{
    return BuildStandard(e, dest, false);
}

media::IMediaSeeking *TdmAction::IncrusterBuildGraph(const TaviFichier &e, const QString &dest,
                                                     const QStringList &)
{
    // Neither NTSC nor PAL is encoded as NTSC.
    const bool ntsc = e.Data().standard != TDvStandard::Pal;
    media::IMediaSeeking *seeking = e.Data().dvType == 2
                                        ? m_cdm.BuildOverlayGraphType2(e.Path(), dest, ntsc)
                                        : m_cdm.BuildOverlayGraphType1(e.Path(), dest, ntsc);
    if (seeking) {
        SetAudioRate(e);
        Tdv_Superposer &overlay = m_cdm.Superposer();
        overlay.SetOptions(m_settings.Incrust);
        overlay.SetPosition(m_settings.IncrustPositionX, m_settings.IncrustPositionY,
                            m_settings.IncrustAlignment);
        overlay.SetOverlayOn(true);
        SetHeaderOptions(true, 0, false, e.Data().wide);
    }
    return seeking;
}

media::IMediaSeeking *TdmAction::DecalerHoraireBuildGraph(const TaviFichier &e, const QString &dest,
                                                          const QStringList &params)
{
    media::IMediaSeeking *seeking = m_cdm.BuildHeaderGraph(e.Path(), dest);
    if (seeking) {
        SetHeaderOptions(false, SafeStrToFloat(FirstParam(params)), false, e.Data().wide);
        SetAudioRate(e);
    }
    return seeking;
}

media::IMediaSeeking *TdmAction::BuildAspect(const TaviFichier &e, const QString &dest, bool wide)
{
    media::IMediaSeeking *seeking = m_cdm.BuildHeaderGraph(e.Path(), dest);
    if (seeking) {
        SetHeaderOptions(false, 0, true, wide);
        SetAudioRate(e);
    }
    return seeking;
}

media::IMediaSeeking *TdmAction::Convertir16x9BuildGraph(const TaviFichier &e, const QString &dest,
                                                         const QStringList &)
{
    return BuildAspect(e, dest, true);
}

media::IMediaSeeking *TdmAction::Convertir4x3BuildGraph(const TaviFichier &e, const QString &dest,
                                                        const QStringList &)
{
    return BuildAspect(e, dest, false);
}

media::IMediaSeeking *TdmAction::ExtraireAudioBuildGraph(const TaviFichier &e, const QString &dest,
                                                         const QStringList &)
{
    media::IMediaSeeking *seeking = m_cdm.BuildAudioExtractGraph(e.Path(), dest);
    if (seeking) {
        SetAudioRate(e);
        SetHeaderOptions(true, 0, false, e.Data().wide);
    }
    return seeking;
}

// --- rename, codec, frame-rate and file-date commands --------------------------

void TdmAction::hasDatecodeFileCondition(const TaviFichier &e, bool &, bool &enabled) const
{
    enabled = IsDated(e);
}

void TdmAction::AjouterTimecodeFileCondition(const TaviFichier &e, bool &, bool &enabled) const
{
    enabled = !IsNoText(e.Data().timecodeText);
}

void TdmAction::PurgerNomFileCondition(const TaviFichier &e, bool &, bool &enabled) const
{
    enabled = HasRemovableEnding(e.Path());
}

void TdmAction::FrequenceVideoFileCondition(const TaviFichier &e, bool &visible,
                                            bool &enabled) const
{
    visible = true;
    enabled = !(e.Data().isDv && e.Data().dvType == 1);
}

QString TdmAction::AjouterDatecodeDestination(const TaviFichier &e, const QStringList &) const
{
    const QString pattern =
        m_settings.DatecodeBefore ? QStringLiteral("%D_%F%E") : QStringLiteral("%F_%D%E");
    return FreeRenameName(ExpandRenamePattern(pattern, m_settings.FormatAddDatecode, e));
}

QString TdmAction::AjouterTimecodeDestination(const TaviFichier &e, const QStringList &) const
{
    const QString pattern =
        m_settings.TimecodeBefore ? QStringLiteral("%T_%F%E") : QStringLiteral("%F_%T%E");
    return FreeRenameName(ExpandRenamePattern(pattern, m_settings.FormatAddTimecode, e));
}

QString TdmAction::RenommerDestination(const TaviFichier &e, const QStringList &) const
{
    return FreeRenameName(
        ExpandRenamePattern(m_settings.RenameTemplate, m_settings.FormatRename, e));
}

QString TdmAction::PurgerNomDestinationHandler(const TaviFichier &e, const QStringList &) const
{
    return PurgerNomDestination(e.Path());
}

void TdmAction::RenommerExecution(const EngineEntryPtr &entry, const QString &destination,
                                  const QStringList &, TCommandEngine &ce)
{
    const QString oldPath = entry->FullPath();
    // The engine renames the video and gives the entry its new name; it never
    // replaces an existing file and throws when the rename is refused, so the
    // companions are only renamed after the video was.
    ce.RenameFichier(destination);
    for (const QString &extension : {QStringLiteral(".scn"), QStringLiteral(".srt")}) {
        const QString companion = WithExtension(oldPath, extension);
        if (QFileInfo::exists(companion)) {
            const QString target = WithExtension(destination, extension);
            if (QFileInfo::exists(target) || !QFile::rename(companion, target))
                ce.Error(QStringLiteral("Cannot rename %1 to %2").arg(companion, target),
                         TErrorType::etError);
        }
    }
}

QString TdmAction::ModifierCodecFileConFirmation(const TaviFichier &e,
                                                 const QStringList &params) const
{
    return QStringLiteral("Do you want to change the codec \"") + e.Data().codec +
           QStringLiteral("\" from ") + e.Name() + QStringLiteral(" to \"") + FirstParam(params) +
           QStringLiteral("\" ?");
}

void TdmAction::ModifierCodecExecution(const EngineEntryPtr &entry, const QString &,
                                       const QStringList &params, TCommandEngine &)
{
    // A value from a script or the command line is checked as the dialog
    // checks it: padded to four characters, printable.
    const std::optional<QString> code =
        CodecFromChoice(TCodecChoice::Personalized, FirstParam(params).left(4));
    if (!code)
        throw std::runtime_error("not a codec code");
    const QString path = entry->FullPath();
    ReleaseFromPreview(path);
    const WritableForPatch writable(path);
    if (!WriteAviCodec(path, StrToFourCC(*code)))
        throw std::runtime_error("the codec could not be written");
}

QString TdmAction::FrequenceVideoFileConFirmation(const TaviFichier &e,
                                                  const QStringList &params) const
{
    return QStringLiteral("Do you want to change the frequency ") +
           QString::number(e.Data().frameRate, 'g', 6) + QStringLiteral(" from  ") + e.Name() +
           QStringLiteral(" to ") + FirstParam(params) + QStringLiteral(" ?");
}

void TdmAction::FrequenceVideoExecution(const EngineEntryPtr &entry, const QString &,
                                        const QStringList &params, TCommandEngine &)
{
    const std::optional<double> fps = FrameRateFromText(FirstParam(params));
    if (!fps)
        throw std::runtime_error("not a frame rate");
    const QString path = entry->FullPath();
    ReleaseFromPreview(path);
    const WritableForPatch writable(path);
    WriteAviFrameRate(path, *fps);
}

QString TdmAction::DateFichierFileConFirmation(const TaviFichier &e, const QStringList &) const
{
    const QString pattern = QStringLiteral("ddddd tt");
    const auto format = [&](double value) {
        try {
            return FormatDateTime(pattern, value);
        } catch (const std::exception &) {
            return QString();
        }
    };
    const QString dates = QStringLiteral("Old creation date: ") + format(e.CreationDate()) + u'\n' +
                          QStringLiteral("Old modified date:  ") + format(e.LastWriteDate()) +
                          u'\n' + QStringLiteral("New date : ") + format(ShiftedRecDate(e));
    const QString text = QStringLiteral("Do you really want to modify the dates of the file '") +
                         e.Path() + QStringLiteral("'") + u'\n' + u'\n' + dates;
    if (text.size() > 254)
        return QStringLiteral("Do you really want to change the dates of this file?") + u'\n' +
               u'\n' + dates;
    return text;
}

void TdmAction::DateFichierExecution(const EngineEntryPtr &entry, const QString &,
                                     const QStringList &, TCommandEngine &)
{
    const TaviFichier &video = VideoOf(entry);
    const QDateTime date = ToQDateTime(ShiftedRecDate(video));
    const QString path = entry->FullPath();
    ReleaseFromPreview(path);
    // Linux keeps no creation time that can be set: the modification time
    // takes the date, the access time stays.
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly))
        throw std::runtime_error("the file cannot be opened for writing");
    if (!file.setFileTime(date, QFileDevice::FileModificationTime))
        throw std::runtime_error("the date could not be set");
}

} // namespace vidora
