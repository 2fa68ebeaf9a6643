#pragma once

// Background opening: files, folders with their subfolders, every fixed
// drive, playlists, the clipboard's files and files dropped on the list are
// searched on a worker thread, which creates each new entry there and hands
// it to the GUI thread with a synchronous call.
//
// Requests are queued and run one at a time, in order, on one worker thread,
// which is started with the first request and waits for the next one until
// the opener goes. Abort ends the running request and drops the queued ones;
// what was found so far is kept. The worker never blocks on anything but its
// own GUI calls (which abort releases), the reading of one entry and the wait
// for a request: only regular files are read, folder links are never
// followed, and a folder is never searched twice in one request.
//
// Found entries are handed over in groups, one GUI call each: the first
// entry of a request at once (so the list can show it while the rest are
// read), then at most kFoundGroupSize entries or what was found within
// kFoundGroupMs of the group's first one (checked as each entry is made),
// and what is left before a folder is reported and at the end.
#include "files/listfichier.h"

#include <QFileInfo>
#include <QObject>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vidora {

enum class TOpenMode {
    Fichiers = 0, // each path, without descending into folders
    Folder = 1,   // the folder with every subfolder
    PlayList = 2, // each path line of the playlist, without descending
    All = 3,      // every fixed drive with every subfolder
    Paste = 4,    // each name from the clipboard, with every subfolder
    Dropped = 5,  // each dropped name: ".txt" is a playlist, anything else with every subfolder
};

// Makes the entry of a file found in `folder`; runs on the opening thread.
using TFichierFactory =
    std::function<std::shared_ptr<TSRFichier>(const QString &folder, const QFileInfo &found)>;
// Whether a found file (its name) is to be listed; runs on the opening thread.
using TTestExtension = std::function<bool(const QString &fileName)>;

// The path lines of a playlist text: each line trimmed of blanks and control
// characters; empty lines and lines starting with "#" skipped; a relative
// path taken from the playlist's folder. The text is decoded by DecodeText.
QStringList PlayListPaths(const QString &text, const QString &playlistFolder);

// Whether a file name matches a search mask: a mask with "*" or "?" matches
// without regard to case, and "*.*" matches every name; any other mask is the
// one name it spells.
bool MaskMatches(const QString &mask, const QString &name);

// Whether a mounted volume is a fixed drive to search: a real file system
// (no network, optical, pseudo or temporary type) on a block device that is
// not removable.
bool IsFixedVolume(const QByteArray &fileSystemType, const QByteArray &device, bool removable);

// The most entries handed to the GUI thread in one call, and how long the
// first of them may wait for the others.
inline constexpr int kFoundGroupSize = 64;
inline constexpr int kFoundGroupMs = 40;
// The roots of the mounted, ready fixed volumes.
QStringList FixedVolumeRoots();

class TThreadOpen : public QObject
{
    Q_OBJECT
public:
    explicit TThreadOpen(QObject *parent = nullptr);
    ~TThreadOpen() override;

    // GUI thread. Taken with each request when it is queued.
    void SetFactory(TFichierFactory factory) { m_factory = std::move(factory); }
    void SetTestExtension(TTestExtension test) { m_testExtension = std::move(test); }

    // GUI thread: queues a request; Opening() is true from here on. Made
    // from a handler while an abort runs, it starts when the abort ends.
    void Open(TOpenMode mode, const QStringList &paths);
    // GUI thread: ends the running request and drops the queued ones, then
    // returns after the running request's end report (openEnd) was made and
    // the opening thread waits for the next request. Meanwhile it runs the
    // calls handed to the GUI thread (the opener's and the program's:
    // runQueuedGuiCalls), so an opening thread that waits for one of them is
    // never stuck. Opening() is false afterwards unless a handler queued a
    // new request.
    void Abort();
    // True from a request's queueing to the end report of the last queued one.
    bool Opening() const { return m_opening.load(); }
    // Any thread: an abort is under way.
    bool AbortRequested() const { return m_abort.load(); }

signals:
    // All on the GUI thread, each while the opening thread waits for it.
    void openStart();
    void openFolderFound(const QString &folder);
    // An entry was made for a file of `folder`; `entry` is to be listed. The
    // entries of one group come one after the other; an abort made from a
    // handler drops the rest of the group.
    void openFileFound(const QString &folder, const std::shared_ptr<vidora::TSRFichier> &entry);
    // Before and after each group of openFileFound.
    void openGroupStart();
    void openGroupEnd();
    // `count`: the entries handed over (openFileFound) in the request.
    void openEnd(int count);

private:
    // GUI thread: runs the calls the opening thread handed over.
    void Drain();

    struct Request
    {
        TOpenMode mode = TOpenMode::Fichiers;
        QStringList paths;
        TFichierFactory factory;
        TTestExtension testExtension;
    };
    struct PendingCall
    {
        std::function<void()> fn;
        bool done = false; // guarded by m_lock
    };
    class Search;

    void WorkerLoop();
    int RunRequest(Search &search, const Request &request);
    // Starts the worker when there is none yet and wakes it for the queue.
    void StartWorker();
    bool WorkerBusy();
    // GUI thread: hands a group of found entries to the list.
    void EmitFound(const QString &folder, const std::vector<std::shared_ptr<TSRFichier>> &entries);
    // GUI thread: runs a handed-over call and releases the opening thread
    // waiting for it.
    void RunCall(PendingCall &call);
    void RunCalls(std::deque<std::shared_ptr<PendingCall>> &calls);
    // Opening thread: runs fn on the GUI thread and waits for it, or until an
    // abort (fn then still runs, later, on the GUI thread).
    void CallGui(std::function<void()> fn);
    void EndReport();
    void Shutdown();

    TFichierFactory m_factory;      // GUI thread
    TTestExtension m_testExtension; // GUI thread
    std::atomic<bool> m_opening{false};
    std::atomic<bool> m_abort{false};
    bool m_aborting = false; // GUI thread: Abort is running
    int m_aborts = 0;        // GUI thread: how many aborts were made
    int m_handedOver = 0;    // GUI thread: the entries of the running request listed

    std::mutex m_lock;
    std::condition_variable m_callDone;
    std::condition_variable m_workToDo;               // the queue, m_abort or m_quitWorker changed
    std::deque<Request> m_queue;                      // guarded by m_lock
    std::deque<std::shared_ptr<PendingCall>> m_inbox; // guarded by m_lock
    // The worker runs a request (from taking it to its end report).
    bool m_workerBusy = false; // guarded by m_lock
    bool m_quitWorker = false; // guarded by m_lock; the opener is going
    std::thread m_worker;      // GUI thread
    // Held by the opener; a drain posted to the GUI thread runs only while
    // it lives (both are on the GUI thread, so no lock is needed).
    std::shared_ptr<const bool> m_alive = std::make_shared<const bool>(true);
    // What the opening thread hands to its posted drains; never written, so
    // it may be read while the GUI thread lets go of m_alive.
    const std::weak_ptr<const bool> m_aliveWatch = m_alive;
};

} // namespace vidora
