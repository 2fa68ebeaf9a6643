#pragma once

// A small file system of its own (tmpfs) mounted on a folder for the
// lifetime of the object, for tests that need a disk that fills up. Only a
// process that may mount (root, or one with CAP_SYS_ADMIN) gets one; the
// others see isMounted() false and skip with skipReason().
#include <QString>

namespace vidora::test {

class SmallDisk
{
public:
    // Mounts `bytes` (whole pages) at `folder`, which is created.
    SmallDisk(const QString &folder, int bytes);
    ~SmallDisk();
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;

    bool isMounted() const { return m_mounted; }
    QString skipReason() const { return m_reason; }
    const QString &path() const { return m_folder; }
    // Fills what is left of the disk with a file named `name`.
    void fill(const QString &name = QStringLiteral(".filler")) const;

private:
    QString m_folder;
    QString m_reason;
    bool m_mounted = false;
};

} // namespace vidora::test
