#include "platform/media/filters/file_source.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vidora::media {

FileSourceFilter::FileSourceFilter() : Filter("File Source (Async.)"), m_output(*this, "Output") {}

FileSourceFilter::~FileSourceFilter()
{
    close();
}

void FileSourceFilter::close()
{
    std::lock_guard lock(m_mutex);
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_length = 0;
    m_path.clear();
    m_type = MediaType();
}

bool FileSourceFilter::Load(const QString &path, const MediaType *type)
{
    if (state() != FilterState::Stopped || m_output.isConnected())
        return false;
    close();
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info
    {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    MediaType proposed(MajorType::Stream);
    char head[12] = {};
    if (info.st_size >= 12 && ::pread(fd, head, sizeof head, 0) == 12 &&
        std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "AVI ", 4) == 0)
        proposed.setSubtype(subtype::Avi);
    std::lock_guard lock(m_mutex);
    m_fd = fd;
    m_length = info.st_size;
    m_path = path;
    m_type = type ? *type : proposed;
    return true;
}

QString FileSourceFilter::GetCurFile() const
{
    std::lock_guard lock(m_mutex);
    return m_path;
}

std::vector<MediaType> FileSourceFilter::proposeTypes(const Pin &)
{
    std::lock_guard lock(m_mutex);
    if (m_fd < 0)
        return {};
    return {m_type};
}

bool FileSourceFilter::checkPinType(const Pin &, const MediaType &type)
{
    std::lock_guard lock(m_mutex);
    return m_fd >= 0 && type == m_type;
}

void *FileSourceFilter::pinInterface(const Pin &pin, const std::type_info &type)
{
    if (&pin == &m_output && type == typeid(IAsyncReader))
        return static_cast<IAsyncReader *>(&m_reader);
    return nullptr;
}

std::int64_t FileSourceFilter::Reader::Length() const
{
    std::lock_guard lock(m_owner.m_mutex);
    return m_owner.m_length;
}

bool FileSourceFilter::Reader::SyncRead(std::int64_t position, std::size_t size, void *buffer)
{
    int fd;
    {
        std::lock_guard lock(m_owner.m_mutex);
        fd = m_owner.m_fd;
        if (fd < 0 || position < 0 || position > m_owner.m_length ||
            static_cast<std::uint64_t>(m_owner.m_length - position) < size)
            return false;
    }
    // pread leaves the file offset alone, so streams may read at once.
    auto *out = static_cast<char *>(buffer);
    while (size > 0) {
        const ssize_t got = ::pread(fd, out, size, position);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        out += got;
        position += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

} // namespace vidora::media
