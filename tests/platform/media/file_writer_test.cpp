// The file writer at the end of a run: the final writes, the flush and the
// rename fail as a full or failing disk makes them fail, the run reports it
// with the system's reason and the previous output stays; an abort discards
// even a completed run; the output's name and permissions.
#include "platform/media/filters/file_writer.h"
#include "platform/media/graph.h"
#include "support/media_filters.h"
#include "support/media_hang_guard.h"
#include "support/tools.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include <sys/mount.h>
#include <sys/stat.h>

namespace {

using namespace vidora::media;
using namespace vidora::test;
using namespace std::chrono_literals;

constexpr int kFrameSize = 1024;

// One failure of the writer's.
FileWriterFaults RenameFails(int error)
{
    FileWriterFaults f;
    f.renameError = error;
    return f;
}
FileWriterFaults SyncFails(int error)
{
    FileWriterFaults f;
    f.syncError = error;
    return f;
}
FileWriterFaults FullAt(std::int64_t bytes)
{
    FileWriterFaults f;
    f.spaceLimit = bytes;
    return f;
}

// source -> counter -> file writer; each frame's time is its byte offset, so
// the file is the frames one after the other. The counter's stop hook may
// append a trailer through the writer's IStream, as a multiplexer writes its
// index at the end of the file when the graph stops.
struct WriterRun
{
    WriterRun(const QString &target, int frames)
        : executor(std::make_shared<QueueEventExecutor>()), graph(executor), log(graph, executor),
          source(std::make_shared<MemorySource>(MemorySource::Options{
              .frameCount = frames, .frameSize = kFrameSize, .frameDuration = kFrameSize})),
          counter(std::make_shared<CountingTransform>()),
          writer(std::make_shared<FileWriterFilter>())
    {
        graph.AddFilter(source, "source");
        graph.AddFilter(counter, "counter");
        graph.AddFilter(writer, "destination");
        ok = graph.Connect(source->outputAt(0), counter->input()) &&
             graph.Connect(counter->output(), writer->input()) &&
             writer->SetFileName(target, nullptr) && writer->SetMode(AM_FILE_OVERWRITE);
    }
    void appendAtStop(std::int64_t at, int bytes)
    {
        auto *stream = writer->input().queryInterface<IStream>();
        counter->onStop = [stream, at, bytes] {
            const QByteArray trailer(bytes, 't');
            if (stream->Seek(at))
                stream->Write(trailer.constData(), std::size_t(trailer.size()));
        };
    }
    // Runs until it completes or fails, then stops; the outcome is the graph's.
    bool run()
    {
        if (!graph.Run())
            return false;
        for (int waited = 0; waited < 5000 && !graph.hasCompleted() && !graph.hadError();
             waited += 5)
            std::this_thread::sleep_for(5ms);
        const bool complete = graph.hasCompleted();
        graph.Stop();
        log.codes(); // the notices, for the next run's sake
        return complete;
    }
    std::shared_ptr<QueueEventExecutor> executor;
    FilterGraph graph;
    EventLog log;
    std::shared_ptr<MemorySource> source;
    std::shared_ptr<CountingTransform> counter;
    std::shared_ptr<FileWriterFilter> writer;
    bool ok = false;
};

class FileWriterEnd : public ::testing::Test
{
protected:
    QString path(const QString &name) const { return dir.filePath(name); }
    QStringList entries() const
    {
        return QDir(dir.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    QTemporaryDir dir;
};

TEST_F(FileWriterEnd, AFailureAtTheEndIsTheRunsErrorWithTheReasonAndKeepsThePreviousFile)
{
    HangGuard guard(20s);
    constexpr int kFrames = 8;
    constexpr std::int64_t kData = std::int64_t(kFrames) * kFrameSize;
    const struct
    {
        const char *name;
        FileWriterFaults faults;
        const char *reason;
    } cases[] = {
        {"the final rename", RenameFails(EROFS), "cannot rename the finished file to"},
        {"the flush", SyncFails(EIO), "cannot write"},
        // The disk fills inside the trailer written while the graph stops.
        {"the last page", FullAt(kData + 100), "cannot write"},
        // ... or inside the last sample.
        {"the last sample", FullAt(kData - 1), "cannot write"},
    };
    const int errors[] = {EROFS, EIO, ENOSPC, ENOSPC};
    const QString target = path("out.avi");
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        writeFileBytes(target, "previous output");
        WriterRun w(target, kFrames);
        ASSERT_TRUE(w.ok);
        w.appendAtStop(kData, 200);
        w.writer->injectFaults(cases[i].faults);
        w.run();
        EXPECT_TRUE(w.graph.hadError());
        EXPECT_FALSE(w.graph.keepsOutput());
        const std::string error = w.graph.lastError();
        EXPECT_NE(error.find(cases[i].reason), std::string::npos) << error;
        EXPECT_NE(error.find(std::strerror(errors[i])), std::string::npos) << error;
        EXPECT_NE(error.find(target.toStdString()), std::string::npos) << error;
        EXPECT_EQ(readFileBytes(target), "previous output");
        EXPECT_EQ(entries(), QStringList{"out.avi"}) << "no temporary file is left";
    }

    // Without a fault the same run writes the frames and the trailer.
    WriterRun w(target, kFrames);
    ASSERT_TRUE(w.ok);
    w.appendAtStop(kData, 200);
    ASSERT_TRUE(w.run());
    EXPECT_FALSE(w.graph.hadError()) << w.graph.lastError();
    EXPECT_EQ(readFileBytes(target).size(), kData + 200);
}

// A real disk that fills at its last page, when this test may mount one.
TEST_F(FileWriterEnd, ADiskThatFillsAtTheLastPage)
{
    HangGuard guard(20s);
    const QString mountPoint = path("small");
    ASSERT_TRUE(QDir().mkpath(mountPoint));
    // Three pages hold the frames; the trailer needs a fourth.
    if (::mount("tmpfs", QFile::encodeName(mountPoint).constData(), "tmpfs", 0,
                "size=12k,mode=0777") != 0)
        GTEST_SKIP() << "cannot mount a small file system here: " << std::strerror(errno);
    struct Unmount
    {
        QByteArray at;
        ~Unmount() { ::umount2(at.constData(), MNT_DETACH); }
    } unmount{QFile::encodeName(mountPoint)};

    // The old file takes one page and the frames two: the trailer written
    // while the graph stops needs a fourth.
    const QString target = mountPoint + "/out.avi";
    writeFileBytes(target, "old");
    WriterRun w(target, 8);
    ASSERT_TRUE(w.ok);
    w.appendAtStop(8 * kFrameSize, 100);
    w.run();
    EXPECT_TRUE(w.graph.hadError());
    EXPECT_NE(w.graph.lastError().find(std::strerror(ENOSPC)), std::string::npos)
        << w.graph.lastError();
    EXPECT_EQ(readFileBytes(target), "old");
    EXPECT_EQ(QDir(mountPoint).entryList(QDir::Files | QDir::Hidden), QStringList{"out.avi"});
}

TEST_F(FileWriterEnd, AnOutputNamedLikeAFolderIsRefusedAtTheStart)
{
    HangGuard guard(10s);
    const QString folder = path("clips.avi");
    ASSERT_TRUE(QDir().mkpath(folder + "/inner"));
    WriterRun w(folder, 2);
    ASSERT_TRUE(w.ok);
    EXPECT_FALSE(w.graph.Run());
    EXPECT_NE(w.graph.lastError().find("is a folder"), std::string::npos) << w.graph.lastError();
    EXPECT_TRUE(QFileInfo(folder + "/inner").isDir());
    EXPECT_EQ(entries(), QStringList{"clips.avi"});
}

TEST_F(FileWriterEnd, AnAbortDiscardsARunThatHasCompleted)
{
    HangGuard guard(10s);
    const QString target = path("out.avi");
    writeFileBytes(target, "previous output");
    WriterRun w(target, 4);
    ASSERT_TRUE(w.ok);
    ASSERT_TRUE(w.graph.Run());
    ASSERT_TRUE(w.log.waitFor(GraphEventCode::Complete, 5s));
    EXPECT_TRUE(w.graph.keepsOutput());
    const std::uint64_t firstRun = w.graph.runId();
    w.graph.Abort();
    EXPECT_FALSE(w.graph.keepsOutput());
    EXPECT_FALSE(w.graph.hadError());
    EXPECT_EQ(readFileBytes(target), "previous output");
    EXPECT_EQ(entries(), QStringList{"out.avi"});

    // The next run is a run of its own: a later number, and Stop keeps it.
    w.source->setPositions(0, std::nullopt);
    ASSERT_TRUE(w.run());
    EXPECT_GT(w.graph.runId(), firstRun);
    EXPECT_EQ(readFileBytes(target).size(), 4 * kFrameSize);
}

// Names up to the file system's limit work: the temporary name beside the
// target is shortened to fit, at a character boundary.
TEST_F(FileWriterEnd, NamesUpTo255BytesWork)
{
    HangGuard guard(10s);
    const QString plain = QString(251, 'n') + ".avi";
    const QString wide = QString(125, QChar(0x00E9)) + "x.avi"; // "é" is two bytes
    for (const QString &name : {plain, wide}) {
        ASSERT_EQ(QFile::encodeName(name).size(), 255);
        WriterRun w(path(name), 2);
        ASSERT_TRUE(w.ok);
        ASSERT_TRUE(w.run()) << w.graph.lastError();
        EXPECT_FALSE(w.graph.hadError()) << w.graph.lastError();
        EXPECT_EQ(readFileBytes(path(name)).size(), 2 * kFrameSize);
        EXPECT_EQ(entries(), QStringList{name});
        QFile::remove(path(name));
    }
}

// Outputs get 0666 less the umask, as any new file does, not the 0600 of a
// private temporary file.
TEST_F(FileWriterEnd, OutputsGetTheUsualPermissions)
{
    HangGuard guard(10s);
    for (const mode_t mask : {mode_t(022), mode_t(002), mode_t(077)}) {
        const mode_t before = ::umask(mask);
        const QString target = path(QString("out%1.avi").arg(mask, 0, 8));
        WriterRun w(target, 2);
        const bool ran = w.ok && w.run();
        ::umask(before);
        ASSERT_TRUE(ran);
        struct stat st
        {};
        ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask) << "umask " << std::oct << mask;
    }
}

} // namespace
