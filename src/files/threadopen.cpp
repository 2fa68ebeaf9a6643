#include "files/threadopen.h"

#include "platform/gui_thread.h"
#include "platform/logging.h"
#include "settings/inputfiles.h"
#include "settings/textcodec.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStorageInfo>

#include <chrono>
#include <cstdint>
#include <optional>
#include <set>
#include <tuple>
#include <utility>

#include <sys/stat.h>

namespace vidora {

namespace {

// Names longer than this, from the clipboard or a drop, are skipped.
constexpr qsizetype kMaxDroppedName = 65530;
// A playlist larger than this is not a playlist.
constexpr qint64 kMaxPlayListBytes = 64 * 1024 * 1024;

bool IsBlankOrControl(QChar c)
{
    return c.unicode() <= 0x20 || c.category() == QChar::Other_Control;
}

QString TrimBlanksAndControls(const QString &line)
{
    qsizetype begin = 0;
    qsizetype end = line.size();
    while (begin < end && IsBlankOrControl(line.at(begin)))
        ++begin;
    while (end > begin && IsBlankOrControl(line.at(end - 1)))
        --end;
    return line.mid(begin, end - begin);
}

// Device and inode of a folder itself (not of where a link points).
struct FolderId
{
    dev_t device = 0;
    ino_t inode = 0;
};

// A folder searched for a mask; searching it again for that mask would add
// nothing new, and a loop of mounts would never end.
using SearchId = std::tuple<dev_t, ino_t, QString>;

bool ReadFolderId(const QString &path, FolderId &id)
{
    struct stat st
    {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    id = {st.st_dev, st.st_ino};
    return true;
}

bool SysBlockRemovable(const QByteArray &device)
{
    // /dev/sdb1 -> /sys/class/block/sdb1; a partition's disk is its parent folder.
    const QString name = QFileInfo(QString::fromLocal8Bit(device)).fileName();
    const QFileInfo node(QStringLiteral("/sys/class/block/") + name);
    if (!node.exists())
        return false;
    QString disk = node.canonicalFilePath();
    if (QFileInfo::exists(disk + QStringLiteral("/partition")))
        disk = QFileInfo(disk).path();
    QFile flag(disk + QStringLiteral("/removable"));
    if (!flag.open(QIODevice::ReadOnly))
        return false;
    return flag.read(4).trimmed() == "1";
}

} // namespace

QStringList PlayListPaths(const QString &text, const QString &playlistFolder)
{
    QStringList paths;
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\n|\r"));
    const QDir folder(playlistFolder);
    for (const QString &raw : text.split(lineBreak)) {
        const QString line = TrimBlanksAndControls(raw);
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        paths << QDir::cleanPath(folder.absoluteFilePath(line));
    }
    return paths;
}

bool MaskMatches(const QString &mask, const QString &name)
{
    if (mask == QStringLiteral("*.*") || mask == QStringLiteral("*"))
        return true;
    if (!mask.contains(QLatin1Char('*')) && !mask.contains(QLatin1Char('?')))
        return mask == name;
    const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(mask),
                                QRegularExpression::CaseInsensitiveOption);
    return re.match(name).hasMatch();
}

bool IsFixedVolume(const QByteArray &fileSystemType, const QByteArray &device, bool removable)
{
    static const std::set<QByteArray> excluded = {
        // network
        "nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "afs", "9p", "ceph", "glusterfs", "davfs",
        "fuse.sshfs", "sshfs", "fuse.davfs2", "fuse.glusterfs", "fuse.rclone",
        // optical
        "iso9660", "udf",
        // temporary
        "tmpfs", "ramfs",
        // pseudo and images
        "proc", "sysfs", "devtmpfs", "devpts", "cgroup", "cgroup2", "securityfs", "debugfs",
        "tracefs", "configfs", "fusectl", "mqueue", "hugetlbfs", "pstore", "bpf", "autofs",
        "binfmt_misc", "efivarfs", "rpc_pipefs", "nsfs", "squashfs", "overlay", "fuse.portal",
        "fuse.gvfsd-fuse"};
    if (excluded.count(fileSystemType.toLower()) != 0)
        return false;
    if (!device.startsWith("/dev/"))
        return false;
    if (device.startsWith("/dev/sr") || device.startsWith("/dev/loop"))
        return false;
    return !removable;
}

QStringList FixedVolumeRoots()
{
    QStringList roots;
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || !volume.isReady())
            continue;
        if (IsFixedVolume(volume.fileSystemType(), volume.device(),
                          SysBlockRemovable(volume.device())))
            roots << volume.rootPath();
    }
    return roots;
}

// One request's search on the opening thread.
class TThreadOpen::Search
{
public:
    Search(TThreadOpen &opener, const Request &request) : m_opener(opener), m_request(request) {}

    // Searches the folder part of the path for its name part.
    int ScanPath(const QString &path, bool descend)
    {
        if (Aborted())
            return 0;
        const QString clean = QDir::cleanPath(path);
        const QFileInfo info(clean);
        return ScanFolder(info.path(), info.fileName(), descend, std::nullopt);
    }

    // Searches the folder for the mask; when descending, subfolders on the
    // same device as `sameDevice` (when given) too.
    int ScanFolder(const QString &folder, const QString &mask, bool descend,
                   std::optional<dev_t> sameDevice)
    {
        if (Aborted() || mask.isEmpty())
            return 0;
        FolderId id;
        if (!ReadFolderId(folder, id) || !m_searched.insert({id.device, id.inode, mask}).second)
            return 0;
        const QString shownFolder =
            folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
        if (descend) {
            HandOver();
            m_opener.CallGui(
                [opener = &m_opener, shownFolder] { emit opener->openFolderFound(shownFolder); });
        }

        QFileInfoList items;
        const QDir dir(folder);
        if (!mask.contains(QLatin1Char('*')) && !mask.contains(QLatin1Char('?'))) {
            const QFileInfo one(dir.filePath(mask));
            if (one.exists() || one.isSymLink())
                items << one;
        } else {
            for (const QFileInfo &item : dir.entryInfoList(QDir::AllEntries | QDir::Hidden |
                                                               QDir::System | QDir::NoDotAndDotDot,
                                                           QDir::Name)) {
                if (MaskMatches(mask, item.fileName()))
                    items << item;
            }
        }

        int count = 0;
        for (const QFileInfo &item : items) {
            if (Aborted())
                break;
            if (item.isDir()) {
                // Folder links are never followed: they can make loops.
                if (!descend || item.isSymLink())
                    continue;
                FolderId sub;
                if (!ReadFolderId(item.filePath(), sub))
                    continue;
                if (sameDevice && sub.device != *sameDevice)
                    continue; // another mounted volume
                const QString subMask = item.fileName() == mask ? QStringLiteral("*.*") : mask;
                count += ScanFolder(item.filePath(), subMask, true, sameDevice);
            } else if (item.isFile()) {
                count += AddFile(shownFolder, item);
            }
            // FIFOs, sockets and devices are not files to list.
        }
        return count;
    }

    int ReadPlayList(const QString &path)
    {
        // A FIFO, a device, a huge file or one that is no text (a video
        // opened as a playlist) is refused at once.
        const TTextRead read = ReadTextFile(path, kMaxPlayListBytes);
        if (!read.text) {
            if (!read.missing)
                TellOnStdErr(QStringLiteral("cannot read the playlist %1").arg(read.error));
            return 0;
        }
        int count = 0;
        for (const QString &line : PlayListPaths(*read.text, QFileInfo(path).absolutePath())) {
            if (Aborted())
                break;
            count += ScanPath(line, false);
        }
        return count;
    }

    bool Aborted() const { return m_opener.m_abort.load(); }

    // Hands the entries found and not yet handed over to the GUI thread.
    void HandOver()
    {
        if (m_found.empty())
            return;
        m_opener.CallGui([opener = &m_opener, folder = m_foundFolder,
                          entries = std::move(m_found)] { opener->EmitFound(folder, entries); });
        m_found.clear();
        m_handedAny = true;
    }

private:
    int AddFile(const QString &folder, const QFileInfo &item)
    {
        if (m_request.testExtension && !m_request.testExtension(item.fileName()))
            return 0;
        if (!m_request.factory)
            return 0;
        std::shared_ptr<TSRFichier> entry;
        // A file whose entry cannot be made is not listed; the search goes on.
        try {
            entry = m_request.factory(folder, item);
        } catch (...) {
            return 0;
        }
        if (!entry)
            return 0;
        if (!m_found.empty() && folder != m_foundFolder)
            HandOver();
        if (m_found.empty())
            m_foundSince = std::chrono::steady_clock::now();
        m_foundFolder = folder;
        m_found.push_back(std::move(entry));
        if (!m_handedAny || int(m_found.size()) >= kFoundGroupSize ||
            std::chrono::steady_clock::now() - m_foundSince >=
                std::chrono::milliseconds(kFoundGroupMs))
            HandOver();
        return 1;
    }

    TThreadOpen &m_opener;
    const Request &m_request;
    std::set<SearchId> m_searched;
    // Found, not handed over yet: all of one folder, the first at m_foundSince.
    std::vector<std::shared_ptr<TSRFichier>> m_found;
    QString m_foundFolder;
    std::chrono::steady_clock::time_point m_foundSince;
    bool m_handedAny = false;
};

TThreadOpen::TThreadOpen(QObject *parent) : QObject(parent) {}

TThreadOpen::~TThreadOpen()
{
    Shutdown();
}

void TThreadOpen::Open(TOpenMode mode, const QStringList &paths)
{
    Request request{mode, paths, m_factory, m_testExtension};
    m_opening = true;
    {
        const std::lock_guard guard(m_lock);
        m_queue.push_back(std::move(request));
    }
    // During an abort (from a handler of its last calls) the request waits
    // for the abort to end, which starts it.
    if (!m_abort.load())
        StartWorker();
}

void TThreadOpen::StartWorker()
{
    {
        const std::lock_guard guard(m_lock);
        if (m_queue.empty())
            return;
    }
    if (!m_worker.joinable())
        m_worker = std::thread(&TThreadOpen::WorkerLoop, this);
    m_workToDo.notify_all();
}

bool TThreadOpen::WorkerBusy()
{
    const std::lock_guard guard(m_lock);
    return m_workerBusy;
}

void TThreadOpen::Abort()
{
    if (m_aborting)
        return; // from a handler of the abort's own calls
    m_aborting = true;
    ++m_aborts;
    {
        const std::lock_guard guard(m_lock);
        m_queue.clear();
        m_abort = true;
    }
    m_callDone.notify_all();
    // The opening thread may be reading an entry that waits for a call into
    // this thread (another worker's, holding what the reading needs): the
    // calls go on running here, the opener's and the program's, until the
    // thread has ended its request; its waits for its own calls end at the
    // abort.
    while (WorkerBusy()) {
        Drain();
        runQueuedGuiCalls(std::chrono::milliseconds(10));
    }
    // What the thread handed over last (entries found before the abort, the
    // end report) runs now; a request made from their handlers is not part
    // of the abort and runs as usual.
    std::deque<std::shared_ptr<PendingCall>> last;
    {
        const std::lock_guard guard(m_lock);
        last.swap(m_inbox);
        m_abort = false;
    }
    RunCalls(last);
    m_aborting = false;
    {
        const std::lock_guard guard(m_lock);
        m_opening = !m_queue.empty() || m_workerBusy;
    }
    StartWorker();
}

void TThreadOpen::Shutdown()
{
    {
        const std::lock_guard guard(m_lock);
        m_queue.clear();
        m_inbox.clear();
        m_abort = true;
        m_quitWorker = true;
    }
    m_callDone.notify_all();
    m_workToDo.notify_all();
    // Nothing more reaches the list, which is going; the program's other
    // calls into this thread go on running while the thread ends (it may be
    // reading an entry that waits for one of them).
    m_alive.reset();
    if (isGuiThread())
        while (WorkerBusy())
            runQueuedGuiCalls(std::chrono::milliseconds(10));
    if (m_worker.joinable())
        m_worker.join();
    const std::lock_guard guard(m_lock);
    m_inbox.clear();
}

void TThreadOpen::WorkerLoop()
{
    for (;;) {
        Request request;
        {
            std::unique_lock lock(m_lock);
            m_workerBusy = false;
            // During an abort the queue waits for the abort's end.
            m_workToDo.wait(
                lock, [this] { return m_quitWorker || (!m_queue.empty() && !m_abort.load()); });
            if (m_quitWorker)
                return;
            request = std::move(m_queue.front());
            m_queue.pop_front();
            m_workerBusy = true;
        }
        CallGui([this] {
            m_handedOver = 0;
            emit openStart();
        });
        Search search(*this, request);
        // A failure of the search ends the request, not the program: what
        // was found stays listed and the end is reported as always.
        try {
            RunRequest(search, request);
        } catch (...) {
            qCWarning(lcFiles) << "opening ended on a failure:" << CurrentExceptionText();
        }
        search.HandOver();
        CallGui([this] { EndReport(); });
    }
}

int TThreadOpen::RunRequest(Search &search, const Request &request)
{
    int count = 0;
    switch (request.mode) {
    case TOpenMode::Fichiers:
        for (const QString &path : request.paths) {
            if (search.Aborted())
                break;
            count += search.ScanPath(path, false);
        }
        break;
    case TOpenMode::Folder:
        for (const QString &path : request.paths) {
            if (search.Aborted())
                break;
            count +=
                search.ScanFolder(QDir::cleanPath(path), QStringLiteral("*.*"), true, std::nullopt);
        }
        break;
    case TOpenMode::PlayList:
        for (const QString &path : request.paths) {
            if (search.Aborted())
                break;
            count += search.ReadPlayList(path);
        }
        break;
    case TOpenMode::All:
        for (const QString &root : FixedVolumeRoots()) {
            if (search.Aborted())
                break;
            FolderId id;
            if (ReadFolderId(root, id))
                count += search.ScanFolder(root, QStringLiteral("*.*"), true, id.device);
        }
        break;
    case TOpenMode::Paste:
    case TOpenMode::Dropped:
        for (const QString &name : request.paths) {
            if (search.Aborted())
                break;
            if (name.isEmpty() || name.size() > kMaxDroppedName)
                continue;
            // Exactly ".txt": "LIST.TXT" is searched as a plain file.
            if (request.mode == TOpenMode::Dropped &&
                QFileInfo(name).suffix() == QStringLiteral("txt"))
                count += search.ReadPlayList(name);
            else
                count += search.ScanPath(name, true);
        }
        break;
    }
    return count;
}

void TThreadOpen::CallGui(std::function<void()> fn)
{
    auto call = std::make_shared<PendingCall>();
    call->fn = std::move(fn);
    {
        const std::lock_guard guard(m_lock);
        m_inbox.push_back(call);
    }
    // The GUI thread is woken by the program's one GUI-call queue; the call
    // itself stays in the inbox, so an abort can run what is left of it
    // (Drain) before it returns, and a drain that arrives after the opener
    // is gone does nothing.
    postToGui([this, alive = m_aliveWatch] {
        if (alive.lock())
            Drain();
    });
    std::unique_lock lock(m_lock);
    m_callDone.wait(lock, [&] { return call->done || m_abort.load(); });
}

void TThreadOpen::Drain()
{
    for (;;) {
        std::shared_ptr<PendingCall> call;
        {
            const std::lock_guard guard(m_lock);
            if (m_inbox.empty())
                return;
            call = std::move(m_inbox.front());
            m_inbox.pop_front();
        }
        RunCall(*call);
    }
}

void TThreadOpen::RunCalls(std::deque<std::shared_ptr<PendingCall>> &calls)
{
    for (; !calls.empty(); calls.pop_front())
        RunCall(*calls.front());
}

void TThreadOpen::RunCall(PendingCall &call)
{
    // The opening thread waits for `done`, also when a handler throws.
    struct Done
    {
        TThreadOpen &opener;
        PendingCall &call;
        ~Done()
        {
            {
                const std::lock_guard guard(opener.m_lock);
                call.done = true;
            }
            opener.m_callDone.notify_all();
        }
    } done{*this, call};
    call.fn();
}

void TThreadOpen::EmitFound(const QString &folder,
                            const std::vector<std::shared_ptr<TSRFichier>> &entries)
{
    // An abort from a handler ends the listing here.
    const int aborts = m_aborts;
    emit openGroupStart();
    // The group ends also when a handler throws.
    struct GroupEnd
    {
        TThreadOpen &opener;
        ~GroupEnd() { emit opener.openGroupEnd(); }
    } groupEnd{*this};
    for (const std::shared_ptr<TSRFichier> &entry : entries) {
        if (m_aborts != aborts)
            break;
        ++m_handedOver;
        emit openFileFound(folder, entry);
    }
}

void TThreadOpen::EndReport()
{
    {
        const std::lock_guard guard(m_lock);
        m_opening = !m_queue.empty();
    }
    emit openEnd(m_handedOver);
}

} // namespace vidora
