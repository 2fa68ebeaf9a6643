#include "platform/durablefile.h"

#include "support/smalldisk.h"
#include "support/tools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using vidora::DurableFile;
using vidora::DurableWriteFaults;
using vidora::DurableWriteFaultsScope;
using vidora::WriteFileDurably;
using vidora::test::readFileBytes;
using vidora::test::SmallDisk;
using vidora::test::writeFileBytes;

QStringList folderEntries(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

QString reasonOf(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

TEST(DurableFile, ReplacesTheFileWholeAndKeepsItsPermissions)
{
    QTemporaryDir dir;
    const QString target = dir.filePath("a.scn");
    writeFileBytes(target, "older");
    ASSERT_TRUE(QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    // More than one buffer's worth, so the pieces must come out in order.
    QByteArray bytes;
    for (int i = 0; i < 50000; ++i)
        bytes += QByteArray::number(i) + '\n';

    QString error;
    ASSERT_TRUE(WriteFileDurably(target, bytes, &error)) << error.toStdString();
    EXPECT_EQ(readFileBytes(target), bytes);
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(QFile::permissions(target), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ReadUser | QFileDevice::WriteUser);
    EXPECT_EQ(folderEntries(dir.path()), QStringList{"a.scn"});
}

TEST(DurableFile, ALinkIsReplacedWhereItPoints)
{
    QTemporaryDir dir;
    const QString real = dir.filePath("real.txt");
    const QString link = dir.filePath("link.txt");
    writeFileBytes(real, "older");
    ASSERT_TRUE(QFile::link(real, link));
    ASSERT_TRUE(WriteFileDurably(link, "newer"));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(readFileBytes(real), "newer");
}

// Names up to the file system's limit (255 bytes here), in ASCII and in
// two-byte characters, are created and then replaced: the temporary name
// never passes the limit.
TEST(DurableFile, NamesAsLongAsTheFileSystemAllowsCanBeReplaced)
{
    QTemporaryDir dir;
    const long limit = ::pathconf(QFile::encodeName(dir.path()).constData(), _PC_NAME_MAX);
    ASSERT_GT(limit, 8);
    const QString ascii = QString(int(limit) - 4, QLatin1Char('n')) + ".scn";
    const QString twoByte = QString(int(limit - 4) / 2, QChar(0xE9)) + ".scn";
    for (const QString &name : {ascii, twoByte}) {
        SCOPED_TRACE(QFile::encodeName(name).size());
        const QString target = dir.filePath(name);
        QString error;
        ASSERT_TRUE(WriteFileDurably(target, "first", &error)) << error.toStdString();
        ASSERT_TRUE(WriteFileDurably(target, "second", &error)) << error.toStdString();
        EXPECT_EQ(readFileBytes(target), "second");
        EXPECT_EQ(folderEntries(dir.path()), QStringList{name});
        QFile::remove(target);
    }
}

struct FaultCase
{
    const char *name;
    DurableWriteFaults faults;
    int expected; // errno whose text the failure names
};

// Every step that can fail: the older file stays as it was, no temporary
// file is left, and the failure names the path and the system's reason.
TEST(DurableFile, AFailureAtAnyStepKeepsTheOlderFileAndNamesTheReason)
{
    const FaultCase cases[] = {
        {"no room at all", {.spaceLimit = 0}, ENOSPC},
        {"room for a part", {.spaceLimit = 70000}, ENOSPC},
        {"cannot create", {.createError = EACCES}, EACCES},
        {"flush fails", {.syncError = EIO}, EIO},
        {"rename fails", {.renameError = EXDEV}, EXDEV},
    };
    const QByteArray bytes(100000, 'b');
    for (const FaultCase &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString target = dir.filePath("list.txt");
        writeFileBytes(target, "older");
        {
            DurableWriteFaultsScope faults(c.faults);
            QString error;
            EXPECT_FALSE(WriteFileDurably(target, bytes, &error));
            EXPECT_EQ(error, target + ": " + reasonOf(c.expected));
        }
        EXPECT_EQ(readFileBytes(target), "older");
        EXPECT_EQ(folderEntries(dir.path()), QStringList{"list.txt"});
    }
}

TEST(DurableFile, AFailedWriteIsNeverCommittedAndADiscardLeavesNothing)
{
    QTemporaryDir dir;
    const QString target = dir.filePath("out.srt");
    {
        DurableWriteFaultsScope faults({.spaceLimit = 3});
        DurableFile file(target);
        ASSERT_TRUE(file.Open());
        // Buffered: the failure shows when the buffer goes out.
        EXPECT_TRUE(file.Write("abcdef"));
        EXPECT_FALSE(file.Commit());
        EXPECT_EQ(file.Reason(), reasonOf(ENOSPC));
        EXPECT_FALSE(file.Write("more"));
        EXPECT_FALSE(file.Commit());
    }
    EXPECT_TRUE(folderEntries(dir.path()).isEmpty());
    {
        DurableFile file(target);
        ASSERT_TRUE(file.Open());
        ASSERT_TRUE(file.Write("abc"));
        file.Discard();
    }
    EXPECT_TRUE(folderEntries(dir.path()).isEmpty());
    {
        DurableFile file(target);
        ASSERT_TRUE(file.Open());
        ASSERT_TRUE(file.Write("abc"));
    } // destroyed unclosed
    EXPECT_TRUE(folderEntries(dir.path()).isEmpty());
}

TEST(DurableFile, AFolderIsNeverReplaced)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("a.scn"));
    QString error;
    EXPECT_FALSE(WriteFileDurably(dir.filePath("a.scn"), "x", &error));
    EXPECT_EQ(error, dir.filePath("a.scn") + ": " + reasonOf(EISDIR));
    EXPECT_TRUE(QFileInfo(dir.filePath("a.scn")).isDir());
}

// A real file system with no room left.
TEST(DurableFile, AFullDiskKeepsTheOlderFile)
{
    QTemporaryDir dir;
    SmallDisk disk(dir.filePath("small"), 64 * 1024);
    if (!disk.isMounted())
        GTEST_SKIP() << disk.skipReason().toStdString();
    const QString target = disk.path() + "/a.scn";
    writeFileBytes(target, "older");
    disk.fill();

    for (const int size : {10, 200000}) {
        SCOPED_TRACE(size);
        QString error;
        EXPECT_FALSE(WriteFileDurably(target, QByteArray(size, 's'), &error));
        EXPECT_EQ(error, target + ": " + reasonOf(ENOSPC));
        EXPECT_EQ(readFileBytes(target), "older");
        EXPECT_EQ(folderEntries(disk.path()), (QStringList{".filler", "a.scn"}));
    }
}

} // namespace
