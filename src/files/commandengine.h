#pragma once

// The command engine: runs one command over entries of the file list on a
// worker thread of its own. For each entry and pass it tests the command's
// file condition, asks for confirmation where the command needs it, runs the
// command's execution step on the worker, and reports the start and end of
// the command and of each file, messages, errors and progress through its
// events, always on the GUI thread. It also offers the list updates a command
// makes, the abort flags, and the completion event a running graph sets.
//
// Threads: the GUI thread starts runs, asks for aborts, receives every event
// and makes every list change; the worker reaches the GUI only through
// synchronous calls (runOnGui), so the handlers need no lock. The abort flags
// are atomics; the completion event may be set from any thread.
#include "files/commands.h"
#include "files/engineinterfaces.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vidora {

// What a wait on the completion event gave.
enum class TWaitResult {
    wrSignaled, // the graph completed
    wrTimeout,
    wrError, // the graph reported an error or was aborted
};

class TCommandEngine
{
public:
    // On the GUI thread.
    TCommandEngine();
    // Aborts a running command and waits for its worker (running the calls
    // it makes into the GUI thread meanwhile), so no worker outlives the
    // engine.
    ~TCommandEngine();
    TCommandEngine(const TCommandEngine &) = delete;
    TCommandEngine &operator=(const TCommandEngine &) = delete;

    // Events, all called on the GUI thread; unset ones are skipped.
    std::function<void()> OnStartCommand;
    std::function<void()> OnEndCommand;
    std::function<void(const EngineEntryPtr &aFichier, const QStringList &aParams, int passe)>
        OnStartFichier;
    // aFichier is none after the step removed the entry.
    std::function<void(const EngineEntryPtr &aFichier, const QStringList &aParams, int passe)>
        OnEndFichier;
    std::function<void(const QString &aMsg)> OnMessageCommand;
    std::function<void(const QString &aMsg, TErrorType aErrorType)> OnErrorCommand;
    std::function<void(int progress)> OnStartProgress;
    std::function<void(int progress)> OnSetProgress;
    std::function<void()> OnEndProgress;

    // The list the entries come from, and the list that receives added
    // entries; both must be set for a command to run. Set on the GUI thread
    // while no command runs.
    IEngineList *SourceFichierListbox = nullptr;
    IEngineList *DestFichierListbox = nullptr;
    // Asks the user; without it every question is answered No, so nothing
    // is overwritten unasked.
    IEngineQuestions *Questions = nullptr;

    // How new entries are made from a path (the list's entry class).
    void SetFichierClass(EngineEntryFactory factory);

    // GUI thread. Starts a run of `command` with a copy of `params` (none:
    // an empty list) and returns at once. The start of the command (the
    // source list disabled for fnSelect and fnAll, OnStartCommand) is reported
    // before it returns, so whoever waits on the command sees it busy at once.
    // False when nothing was started: a run is active (one command at a
    // time), a list is not set, the command's condition is false, or the
    // command's Nombre finds no entry.
    bool Execute(tAbstractCmd &command, const QStringList *params = nullptr);
    // True from a started Execute until the end of its command is reported.
    bool IsRunning() const { return m_running.load(); }
    // The number of entries the latest run took (kept by fnNone runs).
    int NbFichiers() const { return m_nbFichiers.load(); }

    // Messages and errors of the running command, from any step.
    void Message(const QString &text);
    // Reports an error through OnErrorCommand and records its type for the
    // current step: etAllError ends the work on the current entry.
    void Error(const QString &text, TErrorType type);
    // The error type the current step has reported so far (worker thread).
    TErrorType StepErrorType() const;

    // The current-file abort flag.
    bool Aborted() const { return m_abortCurrent.load(); }
    bool AllAborted() const { return m_abortAll.load(); }
    // GUI thread. Ends the current file (only that file: the next entry
    // runs), and asks the running command to abort its work.
    void AbortCurrent();
    // GUI thread. Ends the whole run after the current file, and asks the
    // running command to abort its work.
    void AbortAll();

    void StartProgress(int maximum);
    void SetProgress(int position);
    void EndProgress();
    int ProgressMax() const { return m_progressMax.load(); }
    int ProgressPosition() const { return m_progressPos.load(); }

    // The completion event of a graph run: one event owned by the engine,
    // auto-reset (a wait that sees it consumes it).
    void ResetCmdEvent();
    // Waits up to `milliseconds` for the event.
    TWaitResult WaitCmdEvent(int milliseconds);
    // From any thread: the graph completed.
    void SetCmdEvent();
    // From any thread: the graph reported an error or was aborted; the
    // waiting command ends its file with its error message.
    void SetCmdErrorEvent();

    // The entry being worked on (worker thread, or the GUI thread during a
    // call from the worker); none after RemoveFichier.
    EngineEntryPtr CurrentFichier() const;

    // Asks a question about the current file (GUI thread; see
    // IEngineQuestions).
    TModalResult Confirm(const QString &text, bool toAllButtons);

    // List updates, called by commands on the worker thread; each list
    // change runs on the GUI thread. A failure throws std::runtime_error,
    // which the command's guard reports.
    //
    // When a file of that path exists: makes an entry for it and adds it to
    // the destination list.
    void AddFichier(const QString &path);
    // When a file of that path exists: deletes the current entry's file and
    // puts an entry of the path in its place in the source list; the new
    // entry becomes the current one. Throws when the old file cannot be
    // deleted (the list is then left as it was).
    void ReplaceFichier(const QString &path);
    // Renames the current entry's file to `path` and moves the entry to its
    // new sorted place. Never replaces an existing file: when the file cannot
    // be renamed it throws, and the entry keeps its name.
    void RenameFichier(const QString &path);
    // Reads the current entry again from its file, in the same list position.
    void ReloadFichier();
    // Removes the current entry from the source list; the run then has no
    // current entry.
    void RemoveFichier();

private:
    struct Run;
    struct Worker;

    void WorkerLoop(Run &run, tAbstractCmd &command);
    void ProcessEntry(Run &run, tAbstractCmd &command, const EngineEntryPtr &entry);
    void EndOfCommand(tAbstractCmd &command);
    EngineEntryPtr MakeEntry(const QString &path) const;
    void ReapWorkers(bool wait);

    EngineEntryFactory m_factory;
    std::atomic<bool> m_abortCurrent{false};
    std::atomic<bool> m_abortAll{false};
    std::atomic<bool> m_running{false};
    // The running command; set and cleared on the GUI thread, read by the
    // GUI thread's abort requests.
    tAbstractCmd *m_command = nullptr;
    // The state of the latest run; replaced by Execute while no run is
    // active, used by its worker and by the GUI calls it makes.
    std::shared_ptr<Run> m_run;
    std::atomic<int> m_nbFichiers{0};
    std::atomic<int> m_progressMax{0};
    std::atomic<int> m_progressPos{0};

    // The completion event; guarded by m_eventMutex.
    enum class EventState {
        Clear,
        Completed,
        Failed
    };
    std::mutex m_eventMutex;
    std::condition_variable m_eventChanged;
    EventState m_event = EventState::Clear;

    // Workers of this and earlier runs, joined once they have left.
    std::vector<std::unique_ptr<Worker>> m_workers;
};

} // namespace vidora
