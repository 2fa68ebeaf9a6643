#include "platform/media/filters/file_writer.h"

#include "platform/durablefile.h"
#include "platform/media/graph.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace vidora::media {

namespace {

// The same file: equal canonical paths, or the same inode (a hard link).
bool sameFile(const QString &a, const QString &b)
{
    const QFileInfo fa(a);
    const QFileInfo fb(b);
    if (fa.absoluteFilePath() == fb.absoluteFilePath())
        return true;
    if (fa.exists() && fb.exists()) {
        if (fa.canonicalFilePath() == fb.canonicalFilePath())
            return true;
        struct stat sa
        {};
        struct stat sb
        {};
        if (::stat(QFile::encodeName(a).constData(), &sa) == 0 &&
            ::stat(QFile::encodeName(b).constData(), &sb) == 0)
            return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    }
    return false;
}

} // namespace

FileWriterFilter::FileWriterFilter() : RendererFilter("File writer", "in") {}

FileWriterFilter::~FileWriterFilter()
{
    std::lock_guard lock(m_mutex);
    discardTemporary();
}

bool FileWriterFilter::writesOverSource(const QString &path) const
{
    if (!graph())
        return false;
    for (const auto &source : graph()->sourceFiles())
        if (sameFile(source, path))
            return true;
    return false;
}

bool FileWriterFilter::SetFileName(const QString &path, const MediaType *type)
{
    if (path.isEmpty() || state() != FilterState::Stopped || writesOverSource(path))
        return false;
    std::lock_guard lock(m_mutex);
    m_path = path;
    m_type = type ? std::optional<MediaType>(*type) : std::nullopt;
    return true;
}

QString FileWriterFilter::GetCurFile() const
{
    std::lock_guard lock(m_mutex);
    return m_path;
}

bool FileWriterFilter::SetMode(std::uint32_t flags)
{
    if ((flags & ~AM_FILE_OVERWRITE) != 0)
        return false;
    std::lock_guard lock(m_mutex);
    m_mode = flags;
    return true;
}

std::uint32_t FileWriterFilter::GetMode() const
{
    std::lock_guard lock(m_mutex);
    return m_mode;
}

bool FileWriterFilter::CheckInputType(const MediaType &type)
{
    std::lock_guard lock(m_mutex);
    return !m_type || type.matches(*m_type);
}

void *FileWriterFilter::pinInterface(const Pin &pin, const std::type_info &type)
{
    if (&pin == &input() && type == typeid(IStream))
        return static_cast<IStream *>(&m_stream);
    return nullptr;
}

void FileWriterFilter::injectFaults(const FileWriterFaults &faults)
{
    std::lock_guard lock(m_mutex);
    m_faults = faults;
}

bool FileWriterFilter::StartStreaming()
{
    const QString path = GetCurFile();
    if (path.isEmpty()) {
        reportError(name() + ": no file name");
        return false;
    }
    if (writesOverSource(path)) {
        reportError(name() + ": " + path.toStdString() + " is the file being read");
        return false;
    }
    const QFileInfo target(path);
    if (target.isDir()) {
        reportError(name() + ": " + path.toStdString() + " is a folder");
        return false;
    }
    std::string failure;
    {
        std::lock_guard lock(m_mutex);
        if (!(m_mode & AM_FILE_OVERWRITE) && QFileInfo::exists(path)) {
            failure = name() + ": " + path.toStdString() + " exists already";
        } else {
            discardTemporary();
            m_failure.clear();
            m_reported = false;
            // Created as any new file is, so the umask (and a folder's
            // default ACL) decides its permissions, which the output keeps.
            m_fd = CreateTemporaryBeside(QFile::encodeName(target.absolutePath()),
                                         QFile::encodeName(target.fileName()), m_temporary);
            const int error = errno;
            if (m_fd < 0)
                failure = name() + ": cannot create a file beside " + path.toStdString() + ": " +
                          std::strerror(error);
        }
        m_position = 0;
        m_end = 0;
        m_endOfStream = false;
    }
    if (!failure.empty()) {
        reportError(failure);
        return false;
    }
    return true;
}

void FileWriterFilter::fail(const char *what, int error)
{
    if (m_failure.empty() && !m_reported)
        m_failure =
            name() + ": cannot " + what + " " + m_path.toStdString() + ": " + std::strerror(error);
}

std::string FileWriterFilter::takeFailure()
{
    if (m_failure.empty())
        return {};
    m_reported = true;
    return std::exchange(m_failure, std::string());
}

bool FileWriterFilter::writeAt(std::int64_t position, const void *data, std::size_t size)
{
    if (m_fd < 0 || position < 0)
        return false;
    const auto *bytes = static_cast<const char *>(data);
    while (size > 0) {
        std::size_t chunk = size;
        if (m_faults.spaceLimit)
            chunk = static_cast<std::size_t>(std::clamp<std::int64_t>(
                *m_faults.spaceLimit - position, 0, static_cast<std::int64_t>(size)));
        ssize_t put = -1;
        if (chunk == 0)
            errno = ENOSPC;
        else
            put = ::pwrite(m_fd, bytes, chunk, position);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            // A write that moves nothing has found no room.
            fail("write", put == 0 ? ENOSPC : errno);
            return false;
        }
        bytes += put;
        position += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

Flow FileWriterFilter::DoRenderSample(const MediaSample &sample)
{
    std::string failure;
    {
        std::lock_guard lock(m_mutex);
        const std::int64_t at = sample.time ? sample.time->start : m_end;
        if (writeAt(at, sample.data(), sample.actualLength())) {
            m_end = std::max<std::int64_t>(m_end,
                                           at + static_cast<std::int64_t>(sample.actualLength()));
            return Flow::Ok;
        }
        failure = takeFailure();
    }
    // The reason first: the base's own report of the failed sample comes
    // second and is not the run's error.
    if (!failure.empty())
        reportError(failure);
    return Flow::Error;
}

Flow FileWriterFilter::endOfStream(InputPin &pin)
{
    const Flow result = RendererFilter::endOfStream(pin);
    if (result == Flow::Ok)
        m_endOfStream = true;
    return result;
}

bool FileWriterFilter::Stream::Seek(std::int64_t position)
{
    std::lock_guard lock(m_owner.m_mutex);
    if (m_owner.m_fd < 0 || position < 0)
        return false;
    m_owner.m_position = position;
    return true;
}

bool FileWriterFilter::Stream::Write(const void *data, std::size_t size)
{
    std::string failure;
    {
        std::lock_guard lock(m_owner.m_mutex);
        if (m_owner.writeAt(m_owner.m_position, data, size)) {
            m_owner.m_position += static_cast<std::int64_t>(size);
            return true;
        }
        failure = m_owner.takeFailure();
    }
    // Reported here, with the system's reason, before the filter that
    // wrote reports its own failure.
    if (!failure.empty())
        m_owner.reportError(failure);
    return false;
}

std::int64_t FileWriterFilter::Stream::Read(void *data, std::size_t size)
{
    std::lock_guard lock(m_owner.m_mutex);
    if (m_owner.m_fd < 0)
        return -1;
    auto *bytes = static_cast<char *>(data);
    std::int64_t done = 0;
    while (size > 0) {
        const ssize_t got = ::pread(m_owner.m_fd, bytes, size, m_owner.m_position);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        bytes += got;
        size -= static_cast<std::size_t>(got);
        done += got;
        m_owner.m_position += got;
    }
    return done;
}

void FileWriterFilter::discardTemporary()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_temporary.isEmpty())
        ::unlink(m_temporary.constData());
    m_temporary.clear();
}

void FileWriterFilter::commitTemporary()
{
    // The data (and the size that reads it back) reach the disk before the
    // file takes the target's name: a crash leaves the old file or the whole
    // new one. The times need no separate flush.
    const int fd = std::exchange(m_fd, -1);
    if (m_faults.syncError != 0 || ::fdatasync(fd) != 0) {
        fail("write", m_faults.syncError != 0 ? m_faults.syncError : errno);
        ::close(fd);
        return;
    }
    if (::close(fd) != 0) {
        fail("write", errno);
        return;
    }
    const QByteArray target = QFile::encodeName(m_path);
    if (m_faults.renameError != 0 ||
        std::rename(m_temporary.constData(), target.constData()) != 0) {
        fail("rename the finished file to",
             m_faults.renameError != 0 ? m_faults.renameError : errno);
        return;
    }
    m_temporary.clear();
}

void FileWriterFilter::Stop()
{
    // Every other filter has stopped: what they wrote from their Stop is in,
    // and a failure of theirs is known to the graph.
    const bool keep = m_endOfStream.load() && graph() && graph()->keepsOutput();
    std::string failure;
    {
        std::lock_guard lock(m_mutex);
        if (m_fd >= 0 && keep)
            commitTemporary();
        discardTemporary();
        failure = takeFailure();
    }
    if (!failure.empty())
        reportError(failure);
    m_endOfStream = false;
    RendererFilter::Stop();
}

} // namespace vidora::media
