#include "support/smalldisk.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace vidora::test {

SmallDisk::SmallDisk(const QString &folder, int bytes) : m_folder(folder)
{
    if (!QDir().mkpath(folder)) {
        m_reason = QStringLiteral("cannot make ") + folder;
        return;
    }
    const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0777";
    if (::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, options.constData()) !=
        0) {
        m_reason = QStringLiteral("cannot mount a small file system here: ") +
                   QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    m_mounted = true;
}

SmallDisk::~SmallDisk()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
}

void SmallDisk::fill(const QString &name) const
{
    const int fd = ::open(QFile::encodeName(m_folder + QLatin1Char('/') + name).constData(),
                          O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    const QByteArray block(4096, 'x');
    // Whole blocks, then single bytes until nothing more fits.
    while (::write(fd, block.constData(), block.size()) > 0) {
    }
    while (::write(fd, "x", 1) > 0) {
    }
    ::close(fd);
}

} // namespace vidora::test
