#include "settings/inputfiles.h"

#include "settings/textcodec.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vidora {

namespace {

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Closes the descriptor when it goes.
class FileDescriptor
{
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

TFileRead ReadRegularFile(const QString &path, qint64 maxBytes)
{
    TFileRead result;
    const QByteArray name = QFile::encodeName(path);
    if (path.isEmpty()) {
        result.missing = true;
        result.error = QStringLiteral("no file name");
        return result;
    }
    // Non-blocking: opening a FIFO for reading would otherwise wait for a
    // writer. Whether it is a regular file is asked of what was opened, so a
    // name changed meanwhile cannot slip a FIFO or a device in.
    const FileDescriptor fd(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) {
        const int error = errno;
        result.missing = error == ENOENT;
        result.error = QStringLiteral("%1: %2").arg(path, systemReason(error));
        return result;
    }
    struct stat info = {};
    if (::fstat(fd.get(), &info) != 0) {
        result.error = QStringLiteral("%1: %2").arg(path, systemReason(errno));
        return result;
    }
    if (!S_ISREG(info.st_mode)) {
        result.error = QStringLiteral("%1: it is not a regular file").arg(path);
        return result;
    }
    const auto tooLarge = [&] {
        result.error =
            QStringLiteral("%1: the file is larger than %2 bytes").arg(path).arg(maxBytes);
        return result;
    };
    if (info.st_size > maxBytes)
        return tooLarge();
    QByteArray bytes;
    bytes.resize(static_cast<qsizetype>(info.st_size) + 1);
    qsizetype filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (filled > maxBytes)
                return tooLarge(); // it grew while read
            bytes.resize(std::min<qsizetype>(bytes.size() * 2 + 4096, maxBytes + 1));
        }
        const ssize_t n = ::read(fd.get(), bytes.data() + filled,
                                 static_cast<std::size_t>(bytes.size() - filled));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            result.error = QStringLiteral("%1: %2").arg(path, systemReason(errno));
            return result;
        }
        if (n == 0)
            break;
        filled += n;
    }
    if (filled > maxBytes)
        return tooLarge();
    bytes.truncate(filled);
    result.bytes = std::move(bytes);
    return result;
}

TTextRead ReadTextFile(const QString &path, qint64 maxBytes)
{
    TTextRead result;
    TFileRead file = ReadRegularFile(path, maxBytes);
    result.missing = file.missing;
    if (!file.bytes) {
        result.error = std::move(file.error);
        return result;
    }
    result.text = DecodeTextFile(*file.bytes);
    if (!result.text)
        result.error = QStringLiteral("%1: it is not a text file").arg(path);
    return result;
}

void TellOnStdErr(const QString &message)
{
    std::fprintf(stderr, "vidora: %s\n", message.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace vidora
