#include "files/commandengine.h"

#include "platform/gui_thread.h"
#include "platform/logging.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace vidora {

// One run's state. Written by its worker; read by the GUI thread only during
// the worker's synchronous calls into it.
struct TCommandEngine::Run
{
    std::vector<EngineEntryPtr> files;
    QStringList params;
    // The stored answer, for No to all and Yes to all; lives for one run.
    TModalResult answer = TModalResult::mrYes;
    EngineEntryPtr current;
    int pass = 1;
    std::atomic<TErrorType> errorType{TErrorType::etNoError};
};

struct TCommandEngine::Worker
{
    std::thread thread;
    // Set as the worker's very last act: from then on it touches nothing of
    // the engine.
    std::atomic<bool> exited{false};
};

namespace {

bool samePath(const QString &a, const QString &b)
{
    if (a == b)
        return true;
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

[[noreturn]] void fail(const QString &text)
{
    throw std::runtime_error(text.toStdString());
}

} // namespace

TCommandEngine::TCommandEngine() = default;

TCommandEngine::~TCommandEngine()
{
    if (m_running.load())
        AbortAll();
    ReapWorkers(true);
}

void TCommandEngine::SetFichierClass(EngineEntryFactory factory)
{
    m_factory = std::move(factory);
}

bool TCommandEngine::Execute(tAbstractCmd &command, const QStringList *params)
{
    if (m_running.load())
        return false;
    ReapWorkers(false);
    if (SourceFichierListbox == nullptr || DestFichierListbox == nullptr)
        return false;
    if (!command.CommandCondition(*this))
        return false;
    command.m_engine = this;

    auto run = std::make_shared<Run>();
    IEngineList &source = *SourceFichierListbox;
    switch (command.Nombre) {
    case TcmdNombre::fnSingle: {
        auto current = source.CurrentEntry();
        if (!current)
            return false;
        run->files.push_back(std::move(current));
        m_nbFichiers = 1;
        break;
    }
    case TcmdNombre::fnSelect: {
        auto selected = source.SelectedEntries();
        if (selected.empty())
            return false;
        m_nbFichiers = static_cast<int>(selected.size());
        for (const auto &entry : selected) {
            run->files.push_back(entry);
            source.SetSelected(entry, false);
        }
        break;
    }
    case TcmdNombre::fnAll: {
        auto all = source.AllEntries();
        if (all.empty())
            return false;
        m_nbFichiers = static_cast<int>(all.size());
        run->files = std::move(all);
        source.DeselectAll();
        break;
    }
    case TcmdNombre::fnNone:
        break;
    }
    if (params != nullptr)
        run->params = *params;

    m_run = run;
    m_command = &command;
    m_abortCurrent = false;
    m_abortAll = false;
    m_running = true;

    // The start of the command is reported here, on the GUI thread, before
    // Execute returns: a script that waits on the busy state sees it set
    // the moment the work starts.
    try {
        if (command.Nombre == TcmdNombre::fnSelect || command.Nombre == TcmdNombre::fnAll)
            source.SetEnabled(false);
        if (OnStartCommand)
            OnStartCommand();
    } catch (...) {
        // The run never started: leave the engine idle and the list usable.
        source.SetEnabled(true);
        m_command = nullptr;
        m_running = false;
        throw;
    }

    auto worker = std::make_unique<Worker>();
    Worker *w = worker.get();
    m_workers.push_back(std::move(worker));
    w->thread = std::thread([this, run, &command, w] {
        WorkerLoop(*run, command);
        w->exited = true;
    });
    return true;
}

void TCommandEngine::WorkerLoop(Run &run, tAbstractCmd &command)
{
    run.answer = TModalResult::mrYes;
    // A failure that a command does not catch itself ends the work at once and
    // is reported as the command's error; the end of the command is still
    // reported.
    try {
        if (run.files.empty()) {
            run.current.reset();
            const int passes = std::max(1, command.NbPasses);
            for (int pass = 1; pass <= passes; ++pass) {
                run.pass = pass;
                run.errorType = TErrorType::etNoError;
                command.Execute(nullptr, run.params, pass, *this);
            }
        } else {
            for (const auto &entry : run.files) {
                if (m_abortAll.load())
                    break;
                // An abort asked for between two files is for the one about
                // to start.
                if (m_abortCurrent.exchange(false))
                    continue;
                ProcessEntry(run, command, entry);
                if (run.answer == TModalResult::mrCancel)
                    break;
                // Aborting the current file ends that file only.
                m_abortCurrent = false;
            }
        }
    } catch (...) {
        const QString reason = CurrentExceptionText();
        qCWarning(lcFiles) << "a command ended on a failure:" << reason;
        try {
            Error(reason, TErrorType::etAllError);
        } catch (...) {
            qCWarning(lcFiles) << "the failure could not be shown:" << CurrentExceptionText();
        }
    }
    try {
        runOnGui([&] { EndOfCommand(command); });
    } catch (...) {
        qCWarning(lcFiles) << "the end of a command could not be reported:"
                           << CurrentExceptionText();
    }
}

void TCommandEngine::ProcessEntry(Run &run, tAbstractCmd &command, const EngineEntryPtr &entry)
{
    IEngineList &source = *SourceFichierListbox;
    // The user may have removed the entry (or cleared the list) meanwhile.
    bool listed = false;
    runOnGui([&] { listed = source.Contains(entry); });
    if (!listed)
        return;

    run.current = entry;
    bool visible = true;
    bool enabled = true;
    command.FileCondition(entry, visible, enabled);
    if (!enabled)
        return;

    // This file's own number of passes (one per scene of a cut); a declined
    // pass skips that pass only.
    const int passes = command.FilePasses(entry, run.params, *this);
    for (int pass = 1; pass <= passes; ++pass) {
        // A step may have replaced the entry (the next pass works on the new
        // one) or removed it (nothing is left to work on).
        const EngineEntryPtr current = run.current;
        if (!current || m_abortCurrent.load())
            return;
        run.pass = pass;

        bool verified = false;
        runOnGui([&] {
            verified = command.FileVerification(current, run.params, pass, *this);
            if (!verified && run.answer != TModalResult::mrNoToAll &&
                run.answer != TModalResult::mrYesToAll)
                run.answer = command.FileConfirmation(current, run.params, pass, *this);
        });
        if (!verified) {
            if (run.answer == TModalResult::mrCancel)
                return;
            if (run.answer == TModalResult::mrNo || run.answer == TModalResult::mrNoToAll)
                continue;
        }

        runOnGui([&] {
            source.SetSelected(current, true);
            if (OnStartFichier)
                OnStartFichier(current, run.params, pass);
        });
        run.errorType = TErrorType::etNoError;
        command.Execute(current, run.params, pass, *this);
        if (run.errorType.load() == TErrorType::etAllError)
            return;
        runOnGui([&] {
            if (command.UpdateDisplay == TUpdateDisplay::udEach)
                source.RefreshActive();
            if (OnEndFichier)
                OnEndFichier(run.current, run.params, pass);
        });
    }
}

void TCommandEngine::EndOfCommand(tAbstractCmd &command)
{
    // The engine is idle before OnEndCommand runs, so its handler (or a
    // script it releases) may start the next command.
    m_command = nullptr;
    m_running = false;
    IEngineList &source = *SourceFichierListbox;
    if (command.UpdateDisplay == TUpdateDisplay::udFinal)
        source.RefreshActiveAndCounts();
    source.SetEnabled(true);
    if (OnEndCommand)
        OnEndCommand();
}

void TCommandEngine::ReapWorkers(bool wait)
{
    if (wait) {
        auto anyActive = [&] {
            return std::any_of(m_workers.begin(), m_workers.end(),
                               [](const auto &w) { return !w->exited.load(); });
        };
        // The worker may be waiting for a call into this (the GUI) thread.
        while (anyActive())
            runQueuedGuiCalls(std::chrono::milliseconds(10));
    }
    std::erase_if(m_workers, [](const std::unique_ptr<Worker> &w) {
        if (!w->exited.load())
            return false;
        if (w->thread.joinable())
            w->thread.join();
        return true;
    });
}

void TCommandEngine::Message(const QString &text)
{
    runOnGui([&] {
        if (OnMessageCommand)
            OnMessageCommand(text);
    });
}

void TCommandEngine::Error(const QString &text, TErrorType type)
{
    if (m_run)
        m_run->errorType = type;
    runOnGui([&] {
        if (OnErrorCommand)
            OnErrorCommand(text, type);
    });
}

TErrorType TCommandEngine::StepErrorType() const
{
    return m_run ? m_run->errorType.load() : TErrorType::etNoError;
}

void TCommandEngine::AbortCurrent()
{
    if (!m_running.load() || m_command == nullptr)
        return;
    m_abortCurrent = true;
    m_command->Abort(*this);
}

void TCommandEngine::AbortAll()
{
    if (!m_running.load() || m_command == nullptr)
        return;
    m_abortAll = true;
    m_abortCurrent = true;
    m_command->Abort(*this);
}

void TCommandEngine::StartProgress(int maximum)
{
    m_progressMax = maximum;
    m_progressPos = 0;
    runOnGui([&] {
        if (OnStartProgress)
            OnStartProgress(maximum);
    });
}

void TCommandEngine::SetProgress(int position)
{
    m_progressPos = position;
    runOnGui([&] {
        if (OnSetProgress)
            OnSetProgress(position);
    });
}

void TCommandEngine::EndProgress()
{
    runOnGui([&] {
        if (OnEndProgress)
            OnEndProgress();
    });
}

void TCommandEngine::ResetCmdEvent()
{
    std::lock_guard lock(m_eventMutex);
    m_event = EventState::Clear;
}

TWaitResult TCommandEngine::WaitCmdEvent(int milliseconds)
{
    std::unique_lock lock(m_eventMutex);
    if (!m_eventChanged.wait_for(lock, std::chrono::milliseconds(std::max(0, milliseconds)),
                                 [&] { return m_event != EventState::Clear; }))
        return TWaitResult::wrTimeout;
    const EventState seen = m_event;
    m_event = EventState::Clear;
    return seen == EventState::Completed ? TWaitResult::wrSignaled : TWaitResult::wrError;
}

void TCommandEngine::SetCmdEvent()
{
    std::lock_guard lock(m_eventMutex);
    // An error notice already waiting is not hidden by a later completion.
    if (m_event != EventState::Failed)
        m_event = EventState::Completed;
    m_eventChanged.notify_all();
}

void TCommandEngine::SetCmdErrorEvent()
{
    std::lock_guard lock(m_eventMutex);
    m_event = EventState::Failed;
    m_eventChanged.notify_all();
}

EngineEntryPtr TCommandEngine::CurrentFichier() const
{
    return m_run ? m_run->current : nullptr;
}

TModalResult TCommandEngine::Confirm(const QString &text, bool toAllButtons)
{
    if (Questions == nullptr)
        return TModalResult::mrNo;
    return Questions->Confirm(text, toAllButtons);
}

EngineEntryPtr TCommandEngine::MakeEntry(const QString &path) const
{
    if (!m_factory)
        throw std::logic_error("TCommandEngine: no entry class set");
    auto entry = m_factory(path);
    if (!entry)
        fail(QStringLiteral("Cannot read %1").arg(path));
    return entry;
}

void TCommandEngine::AddFichier(const QString &path)
{
    if (!QFileInfo::exists(path))
        return;
    auto entry = MakeEntry(path);
    runOnGui([&] {
        if (DestFichierListbox != nullptr)
            DestFichierListbox->AddEntry(entry);
    });
}

void TCommandEngine::ReplaceFichier(const QString &path)
{
    if (!m_run || !m_run->current || !QFileInfo::exists(path))
        return;
    const EngineEntryPtr old = m_run->current;
    const QString oldPath = old->FullPath();
    // A command that wrote over its own source has nothing to delete.
    if (!samePath(oldPath, path) && QFileInfo::exists(oldPath) && !QFile::remove(oldPath))
        fail(QStringLiteral("Cannot delete %1").arg(oldPath));
    auto entry = MakeEntry(path);
    runOnGui([&] { SourceFichierListbox->ReplaceEntry(old, entry); });
    m_run->current = entry;
}

void TCommandEngine::RenameFichier(const QString &path)
{
    if (!m_run || !m_run->current)
        return;
    const EngineEntryPtr entry = m_run->current;
    const QString oldPath = entry->FullPath();
    if (oldPath == path)
        return;
    // QFile::rename never replaces an existing file.
    QFile file(oldPath);
    if (!file.rename(path))
        fail(QStringLiteral("Cannot rename %1 to %2: %3").arg(oldPath, path, file.errorString()));
    runOnGui([&] {
        entry->SetFileName(path);
        SourceFichierListbox->ResortEntry(entry);
    });
}

void TCommandEngine::ReloadFichier()
{
    if (!m_run || !m_run->current)
        return;
    const EngineEntryPtr old = m_run->current;
    auto entry = MakeEntry(old->FullPath());
    runOnGui([&] { SourceFichierListbox->ReloadEntry(old, entry); });
    m_run->current = entry;
}

void TCommandEngine::RemoveFichier()
{
    if (!m_run || !m_run->current)
        return;
    const EngineEntryPtr old = m_run->current;
    runOnGui([&] { SourceFichierListbox->RemoveEntry(old); });
    m_run->current.reset();
}

} // namespace vidora
