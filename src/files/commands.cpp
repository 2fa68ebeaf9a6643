#include "files/commands.h"

#include "files/commandengine.h"
#include "platform/logging.h"

#include <QFileInfo>

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace vidora {

namespace {

// The note added to a question asked for a run of two or more files.
const QString kCustomToAllNote = QStringLiteral(
    "Si vous répondez \"Oui à Tous\" ou \"Non à Tous\", alors plus aucune confirmation ne sera "
    "demandée.");
const QString kOverwriteToAllNote =
    QStringLiteral("If you answer \"All\", then no more confirmation will be requested");
const QString kRenameToAllNote =
    QStringLiteral("If you answer \"All\", then no more confirmation will be requested.");

int clampProgress(qint64 value)
{
    return static_cast<int>(std::clamp<qint64>(value, 0, std::numeric_limits<int>::max()));
}

// Stops a graph handle on every way out of a run: Stop() only once the run
// has completed, Abort() otherwise, so an unfinished output never stays under
// its final name.
class GraphRunGuard
{
public:
    explicit GraphRunGuard(IGraphRun &graph) : m_graph(graph) {}
    ~GraphRunGuard()
    {
        if (m_done)
            return;
        try {
            m_graph.Abort();
        } catch (...) {
            qCWarning(lcFiles) << "a graph could not be aborted:" << CurrentExceptionText();
        }
    }
    GraphRunGuard(const GraphRunGuard &) = delete;
    GraphRunGuard &operator=(const GraphRunGuard &) = delete;

    void Stop()
    {
        m_done = true;
        m_graph.Stop();
    }
    void Abort()
    {
        m_done = true;
        m_graph.Abort();
    }

private:
    IGraphRun &m_graph;
    bool m_done = false;
};

// Ends the progress on every way out once it was started.
class ProgressScope
{
public:
    ProgressScope(TCommandEngine &ce, int maximum) : m_ce(ce) { m_ce.StartProgress(maximum); }
    ~ProgressScope()
    {
        try {
            m_ce.EndProgress();
        } catch (...) {
            qCWarning(lcFiles) << "the progress could not be ended:" << CurrentExceptionText();
        }
    }
    ProgressScope(const ProgressScope &) = delete;
    ProgressScope &operator=(const ProgressScope &) = delete;

private:
    TCommandEngine &m_ce;
};

} // namespace

QString FormatCmdText(const QString &format, const QString &text, int number)
{
    QString result;
    result.reserve(format.size() + text.size());
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == u'%' && i + 1 < format.size()) {
            const QChar code = format.at(i + 1);
            if (code == u's') {
                result += text;
                ++i;
                continue;
            }
            if (code == u'd') {
                result += QString::number(number);
                ++i;
                continue;
            }
            if (code == u'%') {
                result += u'%';
                ++i;
                continue;
            }
        }
        result += c;
    }
    return result;
}

// --- tAbstractCmd ----------------------------------------------------------

int tAbstractCmd::FilePasses(const EngineEntryPtr &, const QStringList &, TCommandEngine &)
{
    return std::max(1, NbPasses);
}

// --- tCustomCmd_np ---------------------------------------------------------

void tCustomCmd_np::Abort(TCommandEngine &ce)
{
    if (OnAbort)
        OnAbort(ce);
}

bool tCustomCmd_np::FileVerification(const EngineEntryPtr &entry, const QStringList &params,
                                     int pass, TCommandEngine &ce)
{
    return OnFileVerification ? OnFileVerification(entry, params, ce, pass) : true;
}

TModalResult tCustomCmd_np::FileConfirmation(const EngineEntryPtr &entry, const QStringList &params,
                                             int pass, TCommandEngine &ce)
{
    if (!OnFileConFirmation)
        return TModalResult::mrYesToAll;
    return Ask(ce, OnFileConFirmation(entry, params, ce, pass), kCustomToAllNote);
}

bool tCustomCmd_np::CommandCondition(TCommandEngine &ce)
{
    return OnCommandCondition ? OnCommandCondition(ce) : true;
}

bool tCustomCmd_np::CommandConfirmation(TCommandEngine &ce)
{
    return OnCommandConFirmation ? OnCommandConFirmation(ce) : true;
}

void tCustomCmd_np::FileCondition(const EngineEntryPtr &entry, bool &visible, bool &enabled)
{
    visible = true;
    enabled = true;
    if (OnFileCondition)
        OnFileCondition(entry, visible, enabled);
}

int tCustomCmd_np::FilePasses(const EngineEntryPtr &entry, const QStringList &params,
                              TCommandEngine &ce)
{
    if (!OnFilePasses)
        return tAbstractCmd::FilePasses(entry, params, ce);
    int passes = 0;
    Guarded(entry, 1, ce, [&] { passes = std::max(0, OnFilePasses(entry, params, ce)); });
    return passes;
}

TModalResult tCustomCmd_np::Ask(TCommandEngine &ce, const QString &text, const QString &manyNote)
{
    const bool many = ce.NbFichiers() >= 2;
    return ce.Confirm(many ? text + u'\n' + manyNote : text, many);
}

void tCustomCmd_np::SendStartMessage(const EngineEntryPtr &entry, int pass,
                                     TCommandEngine &ce) const
{
    if (!StartMessage.isEmpty())
        ce.Message(FormatCmdText(StartMessage, entry ? entry->FileName() : QString(), pass));
}

void tCustomCmd_np::Guarded(const EngineEntryPtr &entry, int pass, TCommandEngine &ce,
                            const std::function<void()> &work) const
{
    // The reason, when the failure gives one, follows the command's text on
    // a line of its own.
    const auto report = [&](const QString &reason) {
        if (ErrorMessage.isEmpty())
            return;
        QString text = FormatCmdText(ErrorMessage, entry ? entry->FullPath() : QString(), pass);
        if (!reason.isEmpty())
            text += u'\n' + reason;
        ce.Error(text, TErrorType::etError);
    };
    try {
        work();
    } catch (const std::exception &e) {
        report(QString::fromUtf8(e.what()));
    } catch (...) {
        report(QString());
    }
}

// --- tCustomCmd, TFastcmd --------------------------------------------------

void tCustomCmd::Execute(const EngineEntryPtr &entry, const QStringList &params, int pass,
                         TCommandEngine &ce)
{
    if (OnExecution)
        OnExecution(entry, params, ce, pass);
}

void TFastcmd::Execute(const EngineEntryPtr &entry, const QStringList &params, int pass,
                       TCommandEngine &ce)
{
    SendStartMessage(entry, pass, ce);
    Guarded(entry, pass, ce, [&] {
        if (OnExecution)
            OnExecution(entry, params, ce, pass);
        if (UpdateFile == TUpdateFile::ufRemove)
            ce.RemoveFichier();
        else if (UpdateFile == TUpdateFile::ufReload)
            ce.ReloadFichier();
    });
}

// --- TCmd_np, Tcmd ---------------------------------------------------------

bool TCmd_np::FileVerification(const EngineEntryPtr &entry, const QStringList &params, int pass,
                               TCommandEngine &)
{
    if (!OnDestination)
        return true;
    m_destination = OnDestination(entry, params, pass);
    return !QFileInfo::exists(m_destination);
}

TModalResult TCmd_np::FileConfirmation(const EngineEntryPtr &, const QStringList &, int,
                                       TCommandEngine &ce)
{
    const QString question =
        QStringLiteral("Do you really want to delete the existing file ") + m_destination;
    if (ce.NbFichiers() >= 2)
        return ce.Confirm(question + u'?' + u'\n' + kOverwriteToAllNote, true);
    return ce.Confirm(question, false);
}

void TCmd_np::ApplyUpdateFile(TCommandEngine &ce, bool needDestination) const
{
    if (ce.Aborted() || ce.StepErrorType() != TErrorType::etNoError)
        return;
    const bool haveDestination = !needDestination || !m_destination.isEmpty();
    switch (UpdateFile) {
    case TUpdateFile::ufNone:
        break;
    case TUpdateFile::ufAdd:
        if (haveDestination)
            ce.AddFichier(m_destination);
        break;
    case TUpdateFile::ufRemove:
        ce.RemoveFichier();
        break;
    case TUpdateFile::ufReload:
        ce.ReloadFichier();
        break;
    case TUpdateFile::ufReplace:
        if (haveDestination)
            ce.ReplaceFichier(m_destination);
        break;
    case TUpdateFile::ufRename:
        if (haveDestination)
            ce.RenameFichier(m_destination);
        break;
    }
}

void Tcmd::Execute(const EngineEntryPtr &entry, const QStringList &params, int pass,
                   TCommandEngine &ce)
{
    SendStartMessage(entry, pass, ce);
    Guarded(entry, pass, ce, [&] {
        if (OnExecution)
            OnExecution(entry, m_destination, params, ce, pass);
        ApplyUpdateFile(ce, true);
    });
}

// --- TGraphCmd -------------------------------------------------------------

void TGraphCmd::Execute(const EngineEntryPtr &entry, const QStringList &params, int pass,
                        TCommandEngine &ce)
{
    if (!OnBuildGraph)
        return;
    SendStartMessage(entry, pass, ce);
    Guarded(entry, pass, ce, [&] {
        Duree = 0;
        Debut = 0;
        // A completion left over from an earlier graph must not end this
        // one's wait.
        ce.ResetCmdEvent();
        std::unique_ptr<IGraphRun> graph = OnBuildGraph(entry, m_destination, params, pass);
        // A file that gives no graph, or a graph with nothing to run (no
        // frame could be found), fails the command on that file: it is
        // reported, never a silent success.
        if (!graph)
            throw std::runtime_error("No processing graph could be built for this file.");
        {
            GraphRunGuard guard(*graph);
            if (Duree == 0)
                Duree = graph->Duration();
            if (Duree <= 0)
                throw std::runtime_error("The file holds no frame to process.");
            bool completed = false;
            bool failed = false;
            {
                ProgressScope progress(ce, clampProgress(Duree / 1024));
                graph->Run();
                while (!ce.Aborted()) {
                    ce.SetProgress(clampProgress((graph->CurrentPosition() - Debut) / 1024));
                    const TWaitResult waited = ce.WaitCmdEvent(kWaitSliceMs);
                    if (waited == TWaitResult::wrSignaled) {
                        completed = true;
                        break;
                    }
                    if (waited == TWaitResult::wrError) {
                        failed = true;
                        break;
                    }
                }
            }
            // An abort that arrives with the completion still wins: the
            // output is discarded, whatever the graph finished.
            if (!completed || ce.Aborted()) {
                guard.Abort();
                if (failed)
                    throw std::runtime_error(graph->LastError().toStdString());
                return; // aborted: nothing of this file reaches the list
            }
            // Throws when the graph failed while it stopped (its last
            // writes, the output's flush and rename): no list update then.
            guard.Stop();
        }
        ApplyUpdateFile(ce, false);
    });
}

// --- TRenameCmd ------------------------------------------------------------

void TRenameCmd::ComputeDestination(const EngineEntryPtr &entry, const QStringList &params,
                                    int pass)
{
    if (OnDestination)
        m_destination = OnDestination(entry, params, pass);
}

bool TRenameCmd::FileVerification(const EngineEntryPtr &entry, const QStringList &params, int pass,
                                  TCommandEngine &ce)
{
    ComputeDestination(entry, params, pass);
    return OnFileVerification ? OnFileVerification(m_destination, entry, params, ce, pass) : true;
}

TModalResult TRenameCmd::FileConfirmation(const EngineEntryPtr &entry, const QStringList &params,
                                          int pass, TCommandEngine &ce)
{
    ComputeDestination(entry, params, pass);
    const QString question = QStringLiteral("Do you want to rename ") +
                             (entry ? entry->FileName() : QString()) + QStringLiteral(" to ") +
                             m_destination + QStringLiteral(" ?");
    return Ask(ce, question, kRenameToAllNote);
}

void TRenameCmd::Execute(const EngineEntryPtr &entry, const QStringList &params, int pass,
                         TCommandEngine &ce)
{
    SendStartMessage(entry, pass, ce);
    Guarded(entry, pass, ce, [&] {
        if (OnExecution)
            OnExecution(entry, m_destination, params, ce, pass);
        if (!m_destination.isEmpty() && !ce.Aborted() &&
            ce.StepErrorType() == TErrorType::etNoError)
            ce.RenameFichier(m_destination);
    });
}

// --- TcmdList --------------------------------------------------------------

tAbstractCmd &TcmdList::Add(std::unique_ptr<tAbstractCmd> command)
{
    m_commands.push_back(std::move(command));
    return *m_commands.back();
}

tAbstractCmd *TcmdList::Find(const QString &name) const
{
    for (const auto &command : m_commands)
        if (command->Name.compare(name, Qt::CaseInsensitive) == 0)
            return command.get();
    return nullptr;
}

} // namespace vidora
