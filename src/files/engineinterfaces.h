#pragma once

// What the command engine needs of a list entry, of the file list and of the
// user, as small interfaces: the program's list entries and list control are
// adapted to them, and tests script them.
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace vidora {

// A file of the list as the engine and the commands see it. Entries are owned
// by std::shared_ptr: the list, the engine's run and a command step may hold
// the same entry, so an entry removed from the list during a run stays valid
// for the step that is using it.
class IEngineEntry
{
public:
    virtual ~IEngineEntry() = default;
    // The full path of the file.
    virtual QString FullPath() const = 0;
    // The file name part of the path.
    virtual QString FileName() const = 0;
    // Gives the entry a new path (after its file was renamed) and recomputes
    // its sort keys.
    virtual void SetFileName(const QString &path) = 0;
};
using EngineEntryPtr = std::shared_ptr<IEngineEntry>;

// Makes an entry of the list's entry class from a path. Called on the
// engine's worker thread; reading the file's information must therefore be
// safe on any thread.
using EngineEntryFactory = std::function<EngineEntryPtr(const QString &path)>;

// The file list as the engine uses it. Every operation is called on the GUI
// thread. An entry that is not (or no longer) in the list is ignored by every
// operation that takes one: the user may remove entries or clear the list
// while a command runs.
class IEngineList
{
public:
    virtual ~IEngineList() = default;

    // The list's current item; none for an empty list.
    virtual EngineEntryPtr CurrentEntry() const = 0;
    // The selected entries from the top of the list down.
    virtual std::vector<EngineEntryPtr> SelectedEntries() const = 0;
    // Every entry from the top of the list down.
    virtual std::vector<EngineEntryPtr> AllEntries() const = 0;
    virtual bool Contains(const EngineEntryPtr &entry) const = 0;

    virtual void SetSelected(const EngineEntryPtr &entry, bool selected) = 0;
    virtual void DeselectAll() = 0;

    // Adds the entry at its sorted place without selecting it.
    virtual void AddEntry(const EngineEntryPtr &entry) = 0;
    // Puts `replacement` in place of `old`: the replacement is inserted at its
    // own sorted place and selected, and becomes the list's current item when
    // `old` was the active entry; `old` leaves the list.
    virtual void ReplaceEntry(const EngineEntryPtr &old, const EngineEntryPtr &replacement) = 0;
    // Moves an entry whose name changed to its new sorted place, selected.
    virtual void ResortEntry(const EngineEntryPtr &entry) = 0;
    // Puts `replacement` in place of `old` at the same position of the list
    // (an entry read again from its file).
    virtual void ReloadEntry(const EngineEntryPtr &old, const EngineEntryPtr &replacement) = 0;
    virtual void RemoveEntry(const EngineEntryPtr &entry) = 0;

    // Shows the active entry again (its information may have changed).
    virtual void RefreshActive() = 0;
    // Shows the active entry again and recounts the list.
    virtual void RefreshActiveAndCounts() = 0;
    // Lets the user change the list, or not, while a command runs.
    virtual void SetEnabled(bool enabled) = 0;
};

// The answers of a confirmation, in the platform's modal-result sense.
enum class TModalResult {
    mrYes,
    mrNo,
    mrCancel,
    mrNoToAll,
    mrYesToAll,
};

// Asks the user about a file; called on the GUI thread.
class IEngineQuestions
{
public:
    virtual ~IEngineQuestions() = default;
    // A confirmation box with the question icon and `text`: buttons Yes, No,
    // Cancel, and with `toAllButtons` also No to all and Yes to all.
    virtual TModalResult Confirm(const QString &text, bool toAllButtons) = 0;
};

// The running graph of a video command, as the command watches it. Called on
// the engine's worker thread. Times are in units of 100 ns.
class IGraphRun
{
public:
    virtual ~IGraphRun() = default;
    // The length of the whole graph's media.
    virtual qint64 Duration() = 0;
    virtual qint64 CurrentPosition() = 0;
    // Plays the graph with no reference clock, as fast as its filters go;
    // completion (or an error or abort notice) reaches the engine through
    // TCommandEngine::SetCmdEvent / SetCmdErrorEvent.
    virtual void Run() = 0;
    // Stops a graph that completed: its output is kept under its final name.
    // Throws (std::runtime_error with the reason) when the graph failed
    // while it stopped: the output is then discarded as by Abort.
    virtual void Stop() = 0;
    // Stops a graph that did not complete (aborted, failed, or waited on no
    // longer), or that completed while it was being aborted: its output is
    // discarded and nothing is left under the final name; a file that was
    // there before the run is left as it was.
    virtual void Abort() = 0;
    // What failed in the graph, for the command's error text; empty when
    // nothing is known.
    virtual QString LastError() const { return {}; }
};

} // namespace vidora
