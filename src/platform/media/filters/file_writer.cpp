#include "platform/media/filters/file_writer.h"

#include "platform/media/graph.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    std::lock_guard lock(m_mutex);
    if (!(m_mode & AM_FILE_OVERWRITE) && QFileInfo::exists(path)) {
        reportError(name() + ": " + path.toStdString() + " exists already");
        return false;
    }
    discardTemporary();
    const QFileInfo target(path);
    QByteArray pattern =
        QFile::encodeName(target.absolutePath() + "/." + target.fileName() + ".XXXXXX");
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        reportError(name() + ": cannot create a file beside " + path.toStdString() + ": " +
                    std::strerror(errno));
        return false;
    }
    m_fd = fd;
    m_temporary = QFile::decodeName(pattern);
    m_position = 0;
    m_end = 0;
    m_endOfStream = false;
    return true;
}

bool FileWriterFilter::writeAt(std::int64_t position, const void *data, std::size_t size)
{
    if (m_fd < 0 || position < 0)
        return false;
    const auto *bytes = static_cast<const char *>(data);
    while (size > 0) {
        const ssize_t put = ::pwrite(m_fd, bytes, size, position);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        bytes += put;
        position += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

Flow FileWriterFilter::DoRenderSample(const MediaSample &sample)
{
    std::lock_guard lock(m_mutex);
    const std::int64_t at = sample.time ? sample.time->start : m_end;
    if (!writeAt(at, sample.data(), sample.actualLength()))
        return Flow::Error; // the base reports it
    m_end = std::max<std::int64_t>(m_end, at + static_cast<std::int64_t>(sample.actualLength()));
    return Flow::Ok;
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
    std::lock_guard lock(m_owner.m_mutex);
    if (!m_owner.writeAt(m_owner.m_position, data, size))
        return false;
    m_owner.m_position += static_cast<std::int64_t>(size);
    return true;
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
        ::unlink(QFile::encodeName(m_temporary).constData());
    m_temporary.clear();
}

void FileWriterFilter::Stop()
{
    // Every other filter has stopped: what they wrote from their Stop is in.
    const bool keep =
        m_endOfStream.load() && graph() && graph()->hasCompleted() && !graph()->hadError();
    std::string failure;
    {
        std::lock_guard lock(m_mutex);
        if (m_fd >= 0 && keep) {
            // The data (and the size that reads it back) reach the disk
            // before the file takes the target's name: a crash leaves the old
            // file or the whole new one. The times need no separate flush.
            const bool flushed = ::fdatasync(m_fd) == 0;
            const bool closed = ::close(m_fd) == 0;
            m_fd = -1;
            if (flushed && closed &&
                std::rename(QFile::encodeName(m_temporary).constData(),
                            QFile::encodeName(m_path).constData()) == 0)
                m_temporary.clear();
            else
                failure =
                    name() + ": cannot write " + m_path.toStdString() + ": " + std::strerror(errno);
        }
        discardTemporary();
    }
    if (!failure.empty())
        reportError(failure);
    m_endOfStream = false;
    RendererFilter::Stop();
}

} // namespace vidora::media
