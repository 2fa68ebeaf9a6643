// The scene writers (".scn", ".srt", "_scn.txt") when the disk is full or a
// write fails, and with names as long as the file system allows: a failure
// keeps the older file, leaves no temporary file and names the system's
// reason; the longest names are replaced like any other.
#include "platform/durablefile.h"
#include "scenes/scenefile.h"
#include "scenes/scnlisting.h"
#include "scenes/uscenes.h"

#include "support/smalldisk.h"
#include "support/tools.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <unistd.h>

namespace vidora {
namespace {

using test::readFileBytes;
using test::SmallDisk;
using test::writeFileBytes;

struct Written
{
    bool ok = false;
    QString error;
};

struct SceneWriter
{
    const char *name;
    const char *ending; // replaces the video's ".avi"
    std::function<Written(const QString &video, int scenes)> write;
};

TSceneClass Scene(std::uint32_t start, std::uint32_t end)
{
    TSceneClass scene(start, end, TSceneContext{});
    scene.Title = QStringLiteral("Plage");
    return scene;
}

// Enough for several of the writers' buffers.
constexpr int kManyScenes = 3000;

const SceneWriter kWriters[] = {
    {"scene file", ".scn",
     [](const QString &video, int scenes) {
         TwriteScene writer(video);
         for (int k = 0; k < scenes; ++k)
             writer.AddScene(Scene(k * 10, k * 10 + 10));
         const bool ok = writer.Close();
         return Written{ok, writer.ErrorString()};
     }},
    {"subtitles", ".srt",
     [](const QString &video, int scenes) {
         TWriteSrt srt(video, 25);
         for (int k = 0; k < scenes; ++k)
             srt.AddTitle(k * 10, QStringLiteral("Plage"), QString::number(k));
         srt.AddTitle(scenes * 10, QString(), QString());
         const bool ok = srt.Close();
         return Written{ok, srt.ErrorString()};
     }},
    {"scene listing", "_scn.txt",
     [](const QString &video, int scenes) {
         TListingTexts texts;
         texts.versionText = QStringLiteral("7.0.5");
         texts.locale = QLocale::c();
         TWriteScn_text listing(video, texts);
         for (int k = 0; k < scenes; ++k)
             listing.AddScene(Scene(k * 10, k * 10 + 10));
         const bool ok = listing.Finish();
         return Written{ok, listing.ErrorString()};
     }},
};

QString OutputOf(const QString &video, const char *ending)
{
    return video.left(video.size() - 4) + QString::fromLatin1(ending);
}

QStringList Entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

const QString kNoSpace = QString::fromLocal8Bit(std::strerror(ENOSPC));

TEST(SceneWritersFaults, AFullDiskKeepsTheOlderFileAndSaysWhy)
{
    QTemporaryDir dir;
    SmallDisk disk(dir.filePath("small"), 64 * 1024);
    if (!disk.isMounted())
        GTEST_SKIP() << disk.skipReason().toStdString();
    const QString video = disk.path() + "/clip.avi";
    for (const SceneWriter &writer : kWriters)
        writeFileBytes(OutputOf(video, writer.ending), "older");
    disk.fill();
    const QStringList before = Entries(disk.path());

    // A small file fails only when it is flushed; a large one on the way.
    for (const int scenes : {1, kManyScenes}) {
        for (const SceneWriter &writer : kWriters) {
            SCOPED_TRACE(testing::Message() << writer.name << ", " << scenes << " scenes");
            const QString output = OutputOf(video, writer.ending);
            const Written written = writer.write(video, scenes);
            EXPECT_FALSE(written.ok);
            EXPECT_EQ(written.error, output + ": " + kNoSpace);
            EXPECT_EQ(readFileBytes(output), "older");
            EXPECT_EQ(Entries(disk.path()), before);
        }
    }
}

TEST(SceneWritersFaults, AFailedWriteOrFlushKeepsTheOlderFile)
{
    const struct
    {
        const char *name;
        DurableWriteFaults faults;
        int error;
    } faults[] = {
        {"no room", {.spaceLimit = 0}, ENOSPC},
        {"room for a part", {.spaceLimit = 1000}, ENOSPC},
        {"flush fails", {.syncError = EIO}, EIO},
    };
    for (const auto &fault : faults) {
        for (const SceneWriter &writer : kWriters) {
            SCOPED_TRACE(std::string(fault.name) + ", " + writer.name);
            QTemporaryDir dir;
            const QString video = dir.filePath("clip.avi");
            const QString output = OutputOf(video, writer.ending);
            writeFileBytes(output, "older");
            Written written;
            {
                DurableWriteFaultsScope scope(fault.faults);
                written = writer.write(video, kManyScenes);
            }
            EXPECT_FALSE(written.ok);
            EXPECT_EQ(written.error,
                      output + ": " + QString::fromLocal8Bit(std::strerror(fault.error)));
            EXPECT_EQ(readFileBytes(output), "older");
            EXPECT_EQ(Entries(dir.path()), QStringList{QDir(dir.path()).relativeFilePath(output)});
        }
    }
}

// An output name of exactly the file system's limit is created, then
// replaced.
TEST(SceneWritersFaults, TheLongestNamesCanBeReplaced)
{
    QTemporaryDir dir;
    const long limit = ::pathconf(QFile::encodeName(dir.path()).constData(), _PC_NAME_MAX);
    ASSERT_GT(limit, 16);
    for (const SceneWriter &writer : kWriters) {
        SCOPED_TRACE(writer.name);
        const int stem = int(limit) - int(std::strlen(writer.ending));
        const QString video = dir.filePath(QString(stem, QLatin1Char('v')) + ".avi");
        const QString output = OutputOf(video, writer.ending);
        ASSERT_EQ(QFile::encodeName(QDir(dir.path()).relativeFilePath(output)).size(), limit);
        for (int round = 0; round < 2; ++round) {
            const Written written = writer.write(video, kManyScenes);
            EXPECT_TRUE(written.ok) << round << ": " << written.error.toStdString();
        }
        EXPECT_GT(readFileBytes(output).size(), 1000);
        EXPECT_EQ(Entries(dir.path()), QStringList{QDir(dir.path()).relativeFilePath(output)});
        QFile::remove(output);
    }
}

} // namespace
} // namespace vidora
