#include "platform/durablefile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace vidora {

namespace {

// What is gathered before it is written: the writers' files are small, the
// larger ones go out in pieces of this size.
constexpr qsizetype kBufferSize = 64 * 1024;

std::mutex g_faultsLock;
std::optional<DurableWriteFaults> g_faults; // guarded by g_faultsLock

DurableWriteFaults currentFaults()
{
    std::lock_guard lock(g_faultsLock);
    return g_faults.value_or(DurableWriteFaults{});
}

QByteArray randomEnding()
{
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray ending(".");
    for (int i = 0; i < 6; ++i)
        ending += kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters - 1))];
    return ending;
}

} // namespace

DurableWriteFaultsScope::DurableWriteFaultsScope(const DurableWriteFaults &faults)
{
    std::lock_guard lock(g_faultsLock);
    g_faults = faults;
}

DurableWriteFaultsScope::~DurableWriteFaultsScope()
{
    std::lock_guard lock(g_faultsLock);
    g_faults.reset();
}

QByteArray TemporaryNameBase(const QByteArray &folder, const QByteArray &fileName, int endingLength)
{
    const long limit = ::pathconf(folder.constData(), _PC_NAME_MAX);
    const qsizetype room = (limit > 0 ? limit : 255) - 1 - endingLength;
    qsizetype keep = std::min(fileName.size(), std::max<qsizetype>(room, 1));
    // Not inside a UTF-8 sequence: continuation bytes are 10xxxxxx.
    while (keep > 1 && keep < fileName.size() &&
           (static_cast<unsigned char>(fileName.at(keep)) & 0xC0) == 0x80)
        --keep;
    return "." + fileName.left(keep);
}

int CreateTemporaryBeside(const QByteArray &folder, const QByteArray &fileName, QByteArray &name)
{
    constexpr int kEnding = 7; // "." and six random characters
    const QByteArray base = TemporaryNameBase(folder, fileName, kEnding);
    int error = EEXIST;
    // Created as any new file is, so the umask (and a folder's default ACL)
    // decides its permissions.
    for (int attempt = 0; attempt < 100; ++attempt) {
        QByteArray candidate = folder + "/" + base + randomEnding();
        const int fd = ::open(candidate.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            name = std::move(candidate);
            return fd;
        }
        if ((error = errno) != EEXIST)
            break;
    }
    errno = error;
    return -1;
}

DurableFile::DurableFile(const QString &path) : m_path(path) {}

DurableFile::~DurableFile()
{
    removeTemporary();
}

void DurableFile::fail(int error)
{
    if (m_failed)
        return;
    m_failed = true;
    m_reason = QString::fromLocal8Bit(std::strerror(error));
    m_error = m_path + QStringLiteral(": ") + m_reason;
}

void DurableFile::removeTemporary()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_temporary.isEmpty())
        ::unlink(m_temporary.constData());
    m_temporary.clear();
    m_buffer.clear();
}

bool DurableFile::Open()
{
    if (m_fd >= 0 || m_failed)
        return !m_failed;
    if (m_path.isEmpty()) {
        fail(ENOENT);
        return false;
    }
    QFileInfo info(m_path);
    // A link is replaced where it points, so the link itself stays.
    if (info.isSymLink())
        info = QFileInfo(info.symLinkTarget());
    if (info.isDir()) {
        fail(EISDIR);
        return false;
    }
    m_target = QFile::encodeName(info.absoluteFilePath());
    const DurableWriteFaults faults = currentFaults();
    if (faults.createError != 0) {
        fail(faults.createError);
        return false;
    }
    m_fd = CreateTemporaryBeside(QFile::encodeName(info.absolutePath()),
                                 QFile::encodeName(info.fileName()), m_temporary);
    if (m_fd < 0) {
        fail(errno);
        return false;
    }
    m_written = 0;
    return true;
}

bool DurableFile::Write(const QByteArray &bytes)
{
    if (m_committed || m_failed || (m_fd < 0 && !Open()))
        return false;
    m_buffer += bytes;
    if (m_buffer.size() >= kBufferSize)
        return flushBuffer();
    return true;
}

bool DurableFile::flushBuffer()
{
    const DurableWriteFaults faults = currentFaults();
    const char *data = m_buffer.constData();
    qsizetype left = m_buffer.size();
    while (left > 0) {
        std::size_t chunk = static_cast<std::size_t>(left);
        if (faults.spaceLimit)
            chunk = static_cast<std::size_t>(std::clamp<std::int64_t>(
                *faults.spaceLimit - m_written, 0, static_cast<std::int64_t>(left)));
        ssize_t put = -1;
        if (chunk == 0)
            errno = ENOSPC;
        else
            put = ::write(m_fd, data, chunk);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            // A write that moves nothing has found no room.
            fail(put == 0 ? ENOSPC : errno);
            removeTemporary();
            return false;
        }
        data += put;
        left -= put;
        m_written += put;
    }
    m_buffer.clear();
    return true;
}

bool DurableFile::Commit()
{
    if (m_committed)
        return true;
    if (m_failed || (m_fd < 0 && !Open())) {
        removeTemporary();
        return false;
    }
    if (!flushBuffer())
        return false;
    const DurableWriteFaults faults = currentFaults();
    // A file that is replaced keeps its permissions.
    struct stat old = {};
    if (::stat(m_target.constData(), &old) == 0 && S_ISREG(old.st_mode))
        ::fchmod(m_fd, old.st_mode & 07777);
    // The data reaches the disk before the file takes the target's name: a
    // crash leaves the old file or the whole new one.
    if (faults.syncError != 0 || ::fdatasync(m_fd) != 0) {
        fail(faults.syncError != 0 ? faults.syncError : errno);
        removeTemporary();
        return false;
    }
    const int fd = std::exchange(m_fd, -1);
    if (::close(fd) != 0) {
        fail(errno);
        removeTemporary();
        return false;
    }
    if (faults.renameError != 0 ||
        std::rename(m_temporary.constData(), m_target.constData()) != 0) {
        fail(faults.renameError != 0 ? faults.renameError : errno);
        removeTemporary();
        return false;
    }
    m_temporary.clear();
    m_committed = true;
    // The new name reaches the disk too, where the folder can be flushed.
    const QByteArray folder = m_target.left(m_target.lastIndexOf('/') + 1);
    const int dirFd =
        ::open(folder.isEmpty() ? "." : folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

void DurableFile::Discard()
{
    removeTemporary();
}

bool WriteFileDurably(const QString &path, const QByteArray &bytes, QString *error)
{
    DurableFile file(path);
    if (file.Open() && file.Write(bytes) && file.Commit())
        return true;
    if (error)
        *error = file.ErrorString();
    return false;
}

} // namespace vidora
