#pragma once

// The command kinds: a command says which entries it takes (`Nombre`), how
// many passes it makes over each, what it says when it starts or fails, how
// the list is refreshed and what becomes of the entry afterwards; its
// behaviour comes from handlers, one per step. The engine (commandengine.h)
// calls the steps.
//
// Threads: FileVerification, FileConfirmation, Abort and CommandCondition run
// on the GUI thread; Execute and FileCondition run on the engine's worker
// thread during a run (FileCondition also on the GUI thread when the window
// decides whether an action shows). Properties are set before a run and not
// changed while it runs.
#include "files/engineinterfaces.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace vidora {

class TCommandEngine;

// Which entries a command takes.
enum class TcmdNombre {
    fnNone,   // no entry: the step runs once per pass without one
    fnSingle, // the list's current item
    fnSelect, // the selected items
    fnAll,    // every item
};

// How the list is shown again after a command.
enum class TUpdateDisplay {
    udNone,
    udFinal, // the active entry and the counters, once at the end
    udEach,  // the active entry, after each file
};

// What happens to the entry after a file's step.
enum class TUpdateFile {
    ufNone,
    ufAdd,     // the destination file is added to the list
    ufRemove,  // the entry leaves the list
    ufReload,  // the entry is read again from its file
    ufReplace, // the source file is deleted and the destination takes its place
    ufRename,  // the file is renamed to the destination and the entry re-sorted
};

// The kind of an error a step reports.
enum class TErrorType {
    etNoError,
    etError,    // the current file has failed
    etAllError, // the work on the current file ends (no further pass)
};

using TExecutionEvent = std::function<void(const EngineEntryPtr &fichier, const QStringList &params,
                                           TCommandEngine &ce, int passe)>;
using TDestExecutionEvent =
    std::function<void(const EngineEntryPtr &fichier, const QString &destination,
                       const QStringList &params, TCommandEngine &ce, int passe)>;
using TDestinationEvent =
    std::function<QString(const EngineEntryPtr &aFichier, const QStringList &aParams, int passe)>;
// Builds the command's graph for one file and gives the handle the command
// runs and watches; none when no graph could be built.
using TBuildGraphEvent = std::function<std::unique_ptr<IGraphRun>(
    const EngineEntryPtr &fichier, const QString &wDest, const QStringList &params, int passe)>;
using TFileConditionEvent =
    std::function<void(const EngineEntryPtr &fichier, bool &visible, bool &enabled)>;
using TFileVerificationEvent = std::function<bool(
    const EngineEntryPtr &fichier, const QStringList &params, TCommandEngine &ce, int passe)>;
using TDestFileVerificationEvent =
    std::function<bool(const QString &destination, const EngineEntryPtr &fichier,
                       const QStringList &params, TCommandEngine &ce, int passe)>;
// Gives the text of the question about a file.
using TFileConfirmationEvent = std::function<QString(
    const EngineEntryPtr &fichier, const QStringList &params, TCommandEngine &ce, int passe)>;
// The number of passes over one file, known before its first pass.
using TFilePassesEvent = std::function<int(const EngineEntryPtr &fichier, const QStringList &params,
                                           TCommandEngine &ce)>;
using TCommandConditionEvent = std::function<bool(TCommandEngine &ce)>;
using TCommandConfirmationEvent = std::function<bool(TCommandEngine &ce)>;
using TAbortEvent = std::function<void(TCommandEngine &ce)>;

// `format` with every "%s" replaced by `text`, every "%d" by `number` and
// "%%" by "%": the start and error messages of the commands.
QString FormatCmdText(const QString &format, const QString &text, int number);

// The seven steps every command answers, and its properties. Commands start
// with every number, flag and text zero or empty.
class tAbstractCmd
{
public:
    virtual ~tAbstractCmd() = default;
    tAbstractCmd() = default;
    tAbstractCmd(const tAbstractCmd &) = delete;
    tAbstractCmd &operator=(const tAbstractCmd &) = delete;

    // The work of one pass over one entry (none for fnNone), on the worker.
    virtual void Execute(const EngineEntryPtr &entry, const QStringList &params, int pass,
                         TCommandEngine &ce) = 0;
    // The user asked to abort the current file or the whole run.
    virtual void Abort(TCommandEngine &ce) = 0;
    // True when this pass over the entry needs no question.
    virtual bool FileVerification(const EngineEntryPtr &entry, const QStringList &params, int pass,
                                  TCommandEngine &ce) = 0;
    // The answer to the question about this pass over the entry.
    virtual TModalResult FileConfirmation(const EngineEntryPtr &entry, const QStringList &params,
                                          int pass, TCommandEngine &ce) = 0;
    // Whether the command may run at all.
    virtual bool CommandCondition(TCommandEngine &ce) = 0;
    // Never called by the engine.
    virtual bool CommandConfirmation(TCommandEngine &ce) = 0;
    // Whether the entry is in the command's scope (enabled) and whether the
    // command shows for it (visible); both come in true.
    virtual void FileCondition(const EngineEntryPtr &entry, bool &visible, bool &enabled) = 0;
    // The passes over the entry (worker thread, before the first): each
    // file's run has its own count, so a pass declined or failed on one file
    // changes neither its later passes nor the next file's. 0 skips the
    // file. By default max(1, NbPasses).
    virtual int FilePasses(const EngineEntryPtr &entry, const QStringList &params,
                           TCommandEngine &ce);

    // The command's name, by which the window finds it.
    QString Name;
    bool ShowProgress = false;
    int NbPasses = 0; // 0 and 1 both mean one pass
    TcmdNombre Nombre = TcmdNombre::fnNone;
    TUpdateDisplay UpdateDisplay = TUpdateDisplay::udNone;
    // "%s" takes the entry's file name, "%d" the pass.
    QString StartMessage;
    // "%s" takes the entry's full path, "%d" the pass; empty keeps failures
    // silent.
    QString ErrorMessage;
    TUpdateFile UpdateFile = TUpdateFile::ufNone;

    // The full path computed for the current file and pass.
    QString Destination() const { return m_destination; }
    // The engine of the current (or last) run; none before the first.
    TCommandEngine *Engine() const { return m_engine; }

protected:
    QString m_destination;

private:
    friend class TCommandEngine;
    TCommandEngine *m_engine = nullptr;
};

// Steps from handlers, with the defaults: no work, no abort work, no question
// needed, Yes to all, may run, confirmed, in scope and shown. A failure inside
// its execution handler is not caught here: it ends the whole run.
class tCustomCmd_np : public tAbstractCmd
{
public:
    void Abort(TCommandEngine &ce) override;
    bool FileVerification(const EngineEntryPtr &entry, const QStringList &params, int pass,
                          TCommandEngine &ce) override;
    TModalResult FileConfirmation(const EngineEntryPtr &entry, const QStringList &params, int pass,
                                  TCommandEngine &ce) override;
    bool CommandCondition(TCommandEngine &ce) override;
    bool CommandConfirmation(TCommandEngine &ce) override;
    void FileCondition(const EngineEntryPtr &entry, bool &visible, bool &enabled) override;
    // OnFilePasses when set; a failure inside it is reported as in an
    // execution (ErrorMessage and the reason) and skips the file.
    int FilePasses(const EngineEntryPtr &entry, const QStringList &params,
                   TCommandEngine &ce) override;

    TFileConditionEvent OnFileCondition;
    TFilePassesEvent OnFilePasses;
    TAbortEvent OnAbort;
    TCommandConditionEvent OnCommandCondition;
    TFileVerificationEvent OnFileVerification;
    TFileConfirmationEvent OnFileConFirmation;
    TCommandConfirmationEvent OnCommandConFirmation;

protected:
    // Asks `text` with the engine's questions: Yes, No, Cancel for a run of
    // one file; with two or more, `manyNote` on a line of its own and the
    // five buttons.
    static TModalResult Ask(TCommandEngine &ce, const QString &text, const QString &manyNote);
    // The start message of a pass, when there is one.
    void SendStartMessage(const EngineEntryPtr &entry, int pass, TCommandEngine &ce) const;
    // Runs `work`; a failure inside it is caught and reported with
    // ErrorMessage (nothing when ErrorMessage is empty) as etError, followed
    // by the failure's own reason on a line of its own when it has one.
    void Guarded(const EngineEntryPtr &entry, int pass, TCommandEngine &ce,
                 const std::function<void()> &work) const;
};

class tCustomCmd : public tCustomCmd_np
{
public:
    void Execute(const EngineEntryPtr &entry, const QStringList &params, int pass,
                 TCommandEngine &ce) override;

    TExecutionEvent OnExecution;
};

// A command with messages: the start message, the handler under a guard, then
// ufRemove or ufReload (the other updates do nothing).
class TFastCmd_np : public tCustomCmd_np
{};

class TFastcmd : public TFastCmd_np
{
public:
    void Execute(const EngineEntryPtr &entry, const QStringList &params, int pass,
                 TCommandEngine &ce) override;

    TExecutionEvent OnExecution;
};

// A command that writes a destination file: the destination comes from
// OnDestination when the file is verified, and an existing destination is
// asked about before it is overwritten.
class TCmd_np : public TFastCmd_np
{
public:
    // destination := OnDestination (kept when there is none); true when no
    // file of that name exists.
    bool FileVerification(const EngineEntryPtr &entry, const QStringList &params, int pass,
                          TCommandEngine &ce) override;
    // The overwrite question.
    TModalResult FileConfirmation(const EngineEntryPtr &entry, const QStringList &params, int pass,
                                  TCommandEngine &ce) override;

    TDestinationEvent OnDestination;

protected:
    // The list update after a step. `needDestination`: add, replace and
    // rename act only when there is a destination. Nothing is updated after
    // the step reported an error or the current file was aborted: its output
    // is not to be trusted.
    void ApplyUpdateFile(TCommandEngine &ce, bool needDestination) const;
};

class Tcmd : public TCmd_np
{
public:
    void Execute(const EngineEntryPtr &entry, const QStringList &params, int pass,
                 TCommandEngine &ce) override;

    TDestExecutionEvent OnExecution;
};

// A video command: builds a graph for the file, plays it as fast as it goes
// and watches it until the engine's completion event, showing progress.
class TGraphCmd : public TCmd_np
{
public:
    // The step waits for the completion event in slices of this length,
    // reading the position and the abort flag between them.
    static constexpr int kWaitSliceMs = 200;

    void Execute(const EngineEntryPtr &entry, const QStringList &params, int pass,
                 TCommandEngine &ce) override;

    // The span to run and its start position, in units of 100 ns; cleared
    // before OnBuildGraph, which may set them (a scene's span).
    qint64 Duree = 0;
    qint64 Debut = 0;
    TBuildGraphEvent OnBuildGraph;
};

// Renames the entry's file to the destination the command computes.
class TRenameCmd : public TCmd_np
{
public:
    void Execute(const EngineEntryPtr &entry, const QStringList &params, int pass,
                 TCommandEngine &ce) override;
    // destination := OnDestination; then OnFileVerification with it, default
    // true.
    bool FileVerification(const EngineEntryPtr &entry, const QStringList &params, int pass,
                          TCommandEngine &ce) override;
    // destination := OnDestination; the rename question.
    TModalResult FileConfirmation(const EngineEntryPtr &entry, const QStringList &params, int pass,
                                  TCommandEngine &ce) override;

    TDestExecutionEvent OnExecution;
    // Receives the destination of the same entry and pass (this replaces
    // the plain verification handler for renames).
    TDestFileVerificationEvent OnFileVerification;

private:
    void ComputeDestination(const EngineEntryPtr &entry, const QStringList &params, int pass);
};

// The commands of the program, found by name.
class TcmdList
{
public:
    // Takes the command; its Name should be unique.
    tAbstractCmd &Add(std::unique_ptr<tAbstractCmd> command);
    // The command of that name, compared without regard to case; none when
    // there is none.
    tAbstractCmd *Find(const QString &name) const;
    int Count() const { return static_cast<int>(m_commands.size()); }
    tAbstractCmd &At(int index) const { return *m_commands.at(static_cast<std::size_t>(index)); }

private:
    std::vector<std::unique_ptr<tAbstractCmd>> m_commands;
};

} // namespace vidora
