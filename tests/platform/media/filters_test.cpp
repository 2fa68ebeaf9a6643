#include "platform/media/filters/file_source.h"
#include "platform/media/filters/file_writer.h"
#include "platform/media/filters/infinite_tee.h"
#include "platform/media/filters/null_renderer.h"
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

TEST(InfiniteTee, AddsAFreeOutputAfterEachConnectionAndCopiesBeforeAChange)
{
    HangGuard guard(10s);
    auto executor = std::make_shared<QueueEventExecutor>();
    FilterGraph graph(executor);
    EventLog log(graph, executor);
    auto source = std::make_shared<MemorySource>(MemorySource::Options{.frameCount = 5});
    auto tee = std::make_shared<InfiniteTeeFilter>();
    auto changer = std::make_shared<CountingTransform>(true, "changer");
    changer->writeByte = 7;
    auto changed = std::make_shared<RecordingSink>();
    auto untouched = std::make_shared<RecordingSink>();
    for (auto [f, n] : {std::pair<std::shared_ptr<Filter>, const char *>{source, "source"},
                        {tee, "tee"},
                        {changer, "changer"},
                        {changed, "changed"},
                        {untouched, "untouched"}})
        graph.AddFilter(f, n);

    EXPECT_EQ(pinNames(*tee), (std::vector<std::string>{"Input", "Output1"}));
    ASSERT_TRUE(graph.Connect(source->outputAt(0), *tee->pin(0)));
    ASSERT_TRUE(graph.Connect(*tee->pin(1), changer->input()));
    EXPECT_EQ(pinNames(*tee), (std::vector<std::string>{"Input", "Output1", "Output2"}));
    ASSERT_TRUE(graph.Connect(*tee->pin(2), untouched->input()));
    EXPECT_EQ(pinNames(*tee), (std::vector<std::string>{"Input", "Output1", "Output2", "Output3"}));
    ASSERT_TRUE(graph.Connect(changer->output(), changed->input()));
    // Outputs carry the input's type only.
    EXPECT_EQ(tee->pin(3)->mediaTypes(), std::vector<MediaType>{testVideoType()});

    std::vector<int> seenByUntouched;
    untouched->onRender = [&](const MediaSample &s) {
        seenByUntouched.push_back(s.data()[4]);
        return Flow::Ok;
    };
    std::vector<int> seenByChanged;
    changed->onRender = [&](const MediaSample &s) {
        seenByChanged.push_back(s.data()[4]);
        return Flow::Ok;
    };
    ASSERT_TRUE(graph.Run());
    ASSERT_TRUE(log.waitFor(GraphEventCode::Complete, 2s));
    graph.Stop();
    EXPECT_EQ(changed->renderedFrames(), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(untouched->renderedFrames(), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(seenByChanged, (std::vector<int>{7, 7, 7, 7, 7}));
    EXPECT_EQ(seenByUntouched, (std::vector<int>{0, 0, 0, 0, 0}));
}

TEST(NullRenderer, TakesAnyStreamAndCompletes)
{
    HangGuard guard(10s);
    for (const auto &type : {testVideoType(), testAudioType(), MediaType(MajorType::Stream)}) {
        FilterHarness h(std::make_shared<CountingTransform>(),
                        {.streams = {type}, .frameCount = 3});
        auto null = std::make_shared<NullRenderer>();
        h.graph().AddFilter(null, "null");
        ASSERT_TRUE(h.graph().Disconnect(h.sink().input()));
        auto *counterOut = h.graph().FindFilterByName("under test")->pin(1);
        ASSERT_TRUE(h.graph().Connect(*counterOut, null->input()));
        EXPECT_TRUE(h.run());
    }
}

class FileFilters : public ::testing::Test
{
protected:
    QString path(const QString &name) const { return dir.filePath(name); }
    QStringList entries() const
    {
        return QDir(dir.path())
            .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    QTemporaryDir dir;
};

TEST_F(FileFilters, FileSourceLoadsAndReadsWithinTheFile)
{
    writeFileBytes(path("a.avi"), QByteArray("RIFF\x04\0\0\0AVI LIST", 16));
    writeFileBytes(path("b.bin"), QByteArray("0123456789"));
    FileSourceFilter source;
    EXPECT_FALSE(source.Load(path("missing.avi"), nullptr));
    EXPECT_FALSE(source.Load(dir.path(), nullptr)); // a folder
    EXPECT_TRUE(source.output().mediaTypes().empty());

    ASSERT_TRUE(source.Load(path("a.avi"), nullptr));
    EXPECT_EQ(source.GetCurFile(), path("a.avi"));
    EXPECT_EQ(source.output().mediaTypes(),
              std::vector<MediaType>{MediaType(MajorType::Stream, subtype::Avi)});
    ASSERT_TRUE(source.Load(path("b.bin"), nullptr));
    EXPECT_EQ(source.output().mediaTypes(), std::vector<MediaType>{MediaType(MajorType::Stream)});

    auto *reader = source.output().queryInterface<IAsyncReader>();
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->Length(), 10);
    char buffer[4] = {};
    ASSERT_TRUE(reader->SyncRead(6, 4, buffer));
    EXPECT_EQ(std::string(buffer, 4), "6789");
    EXPECT_FALSE(reader->SyncRead(7, 4, buffer)); // past the end
    EXPECT_FALSE(reader->SyncRead(-1, 1, buffer));
    EXPECT_EQ(source.queryInterface<IFileSourceFilter>(), &source);
}

// source -> counter -> file writer; frames of 8 bytes (or `frameSize`) whose
// times are their byte offsets, so the file is the frames one after the
// other. The counter's stop hook may append a trailer through the writer's
// IStream, as a multiplexer writes its index at the end of the file when the
// graph stops.
struct WriterGraph
{
    explicit WriterGraph(const QString &target, int frames = 4, int frameSize = 8)
        : executor(std::make_shared<QueueEventExecutor>()), graph(executor), log(graph, executor),
          source(std::make_shared<MemorySource>(
              MemorySource::Options{.frameCount = frames,
                                    .frameSize = std::size_t(frameSize),
                                    .frameDuration = frameSize})),
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
    bool runToCompletion()
    {
        if (!graph.Run())
            return false;
        const bool complete = log.waitFor(GraphEventCode::Complete, 2s);
        graph.Stop();
        return complete;
    }
    // Runs until the graph completes or fails, then stops; the outcome is
    // the graph's.
    bool runUntilDone()
    {
        if (!graph.Run())
            return false;
        for (int waited = 0; waited < 5000 && !graph.hasCompleted() && !graph.hadError();
             waited += 5)
            std::this_thread::sleep_for(5ms);
        const bool complete = graph.hasCompleted();
        graph.Stop();
        log.codes();
        return complete;
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
    std::shared_ptr<QueueEventExecutor> executor;
    FilterGraph graph;
    EventLog log;
    std::shared_ptr<MemorySource> source;
    std::shared_ptr<CountingTransform> counter;
    std::shared_ptr<FileWriterFilter> writer;
    bool ok = false;
};

QByteArray frames(int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i) {
        QByteArray frame(8, '\0');
        frame[0] = static_cast<char>(i);
        bytes += frame;
    }
    return bytes;
}

TEST_F(FileFilters, FileWriterReplacesTheTargetOnlyWhenTheGraphCompletes)
{
    HangGuard guard(10s);
    const QString target = path("out.avi");
    writeFileBytes(target, "previous output");
    {
        WriterGraph w(target);
        ASSERT_TRUE(w.ok);
        ASSERT_TRUE(w.runToCompletion());
    }
    EXPECT_EQ(readFileBytes(target), frames(4));
    EXPECT_EQ(entries(), QStringList{"out.avi"}); // no temporary file left

    // A stop before completion (abort) and a failing filter (error) keep
    // the previous file and leave nothing else.
    for (bool failing : {false, true}) {
        WriterGraph w(target, 1000);
        ASSERT_TRUE(w.ok);
        w.source->setPositions(0, std::nullopt);
        if (failing) {
            w.counter->failAtFrame = 2;
            ASSERT_TRUE(w.graph.Run());
            ASSERT_TRUE(w.log.waitFor(GraphEventCode::ErrorAbort, 2s));
        } else {
            ASSERT_TRUE(w.graph.Pause());
            ASSERT_TRUE(w.graph.GetState(2s).complete);
            EXPECT_EQ(entries().size(), 2) << "the temporary file is beside the target";
        }
        w.graph.Stop();
        EXPECT_EQ(readFileBytes(target), frames(4));
        EXPECT_EQ(entries(), QStringList{"out.avi"});
    }
}

TEST_F(FileFilters, FileWriterWithoutOverwriteLeavesAnExistingFile)
{
    HangGuard guard(10s);
    const QString target = path("kept.avi");
    writeFileBytes(target, "keep me");
    WriterGraph w(target);
    ASSERT_TRUE(w.writer->SetMode(0));
    EXPECT_FALSE(w.writer->SetMode(2));
    EXPECT_FALSE(w.graph.Run());
    EXPECT_NE(w.graph.lastError().find("exists"), std::string::npos);
    EXPECT_EQ(readFileBytes(target), "keep me");
    EXPECT_EQ(entries(), QStringList{"kept.avi"});
}

TEST_F(FileFilters, FileWriterRefusesToWriteOverTheGraphsSource)
{
    const QString input = path("in.avi");
    writeFileBytes(input, "RIFF source bytes");
    auto executor = std::make_shared<QueueEventExecutor>();
    FilterGraph graph(executor);
    auto source = std::make_shared<FileSourceFilter>();
    auto writer = std::make_shared<FileWriterFilter>();
    graph.AddFilter(source, "source");
    graph.AddFilter(writer, "destination");
    ASSERT_TRUE(writer->SetFileName(input, nullptr)); // nothing read yet
    ASSERT_TRUE(source->Load(input, nullptr));
    EXPECT_FALSE(writer->SetFileName(input, nullptr));
    EXPECT_FALSE(writer->SetFileName(dir.path() + "/./in.avi", nullptr));
    ASSERT_TRUE(graph.Connect(source->output(), writer->input()));
    // Named before the source was loaded: refused when the run starts.
    EXPECT_FALSE(graph.Pause());
    EXPECT_NE(graph.lastError().find("being read"), std::string::npos) << graph.lastError();
    EXPECT_EQ(readFileBytes(input), "RIFF source bytes");
}

TEST_F(FileFilters, FileWriterTakesPositionalWritesFromStopHooksAndClosesLast)
{
    HangGuard guard(10s);
    const QString target = path("header.wav");
    WriterGraph w(target);
    ASSERT_TRUE(w.ok);
    auto *stream = w.writer->input().queryInterface<IStream>();
    ASSERT_NE(stream, nullptr);
    EXPECT_FALSE(stream->Seek(0)); // nothing open while stopped
    bool written = false;
    char back[6] = {};
    std::int64_t readAtEnd = -2;
    w.counter->onStop = [&] {
        written = stream->Seek(2) && stream->Write("HDR", 3);
        // The position advanced past what was written; 32 bytes in all.
        readAtEnd = stream->Read(back, 6);
        written = written && stream->Seek(28) && stream->Read(back, 6) == 4 && stream->Seek(0) &&
                  stream->Read(back, 6) == 6;
    };
    ASSERT_TRUE(w.runToCompletion());
    EXPECT_TRUE(written);
    EXPECT_EQ(readAtEnd, 6);
    EXPECT_EQ(std::string(back, 6), std::string("\0\0HDR\0", 6));
    QByteArray expected = frames(4);
    expected.replace(2, 3, "HDR");
    EXPECT_EQ(readFileBytes(target), expected);
}

// The file writer at the end of a run: the final writes, the flush and the
// rename fail as a full or failing disk makes them fail; the run reports it
// with the system's reason and the previous output stays. An abort discards
// even a completed run; the output's name and permissions.
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

TEST_F(FileFilters, FileWriterAFailureAtTheEndIsTheRunsErrorWithTheReasonAndKeepsThePreviousFile)
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
        WriterGraph w(target, kFrames, kFrameSize);
        ASSERT_TRUE(w.ok);
        w.appendAtStop(kData, 200);
        w.writer->injectFaults(cases[i].faults);
        w.runUntilDone();
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
    WriterGraph w(target, kFrames, kFrameSize);
    ASSERT_TRUE(w.ok);
    w.appendAtStop(kData, 200);
    ASSERT_TRUE(w.runUntilDone());
    EXPECT_FALSE(w.graph.hadError()) << w.graph.lastError();
    EXPECT_EQ(readFileBytes(target).size(), kData + 200);
}

// A real disk that fills at its last page, when this test may mount one.
TEST_F(FileFilters, FileWriterADiskThatFillsAtTheLastPage)
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
    WriterGraph w(target, 8, kFrameSize);
    ASSERT_TRUE(w.ok);
    w.appendAtStop(8 * kFrameSize, 100);
    w.runUntilDone();
    EXPECT_TRUE(w.graph.hadError());
    EXPECT_NE(w.graph.lastError().find(std::strerror(ENOSPC)), std::string::npos)
        << w.graph.lastError();
    EXPECT_EQ(readFileBytes(target), "old");
    EXPECT_EQ(QDir(mountPoint).entryList(QDir::Files | QDir::Hidden), QStringList{"out.avi"});
}

TEST_F(FileFilters, FileWriterAnOutputNamedLikeAFolderIsRefusedAtTheStart)
{
    HangGuard guard(10s);
    const QString folder = path("clips.avi");
    ASSERT_TRUE(QDir().mkpath(folder + "/inner"));
    WriterGraph w(folder, 2, kFrameSize);
    ASSERT_TRUE(w.ok);
    EXPECT_FALSE(w.graph.Run());
    EXPECT_NE(w.graph.lastError().find("is a folder"), std::string::npos) << w.graph.lastError();
    EXPECT_TRUE(QFileInfo(folder + "/inner").isDir());
    EXPECT_TRUE(entries().isEmpty()) << "no temporary file";
}

TEST_F(FileFilters, FileWriterAnAbortDiscardsARunThatHasCompleted)
{
    HangGuard guard(10s);
    const QString target = path("out.avi");
    writeFileBytes(target, "previous output");
    WriterGraph w(target, 4, kFrameSize);
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
    ASSERT_TRUE(w.runUntilDone());
    EXPECT_GT(w.graph.runId(), firstRun);
    EXPECT_EQ(readFileBytes(target).size(), 4 * kFrameSize);
}

// Names up to the file system's limit work: the temporary name beside the
// target is shortened to fit, at a character boundary.
TEST_F(FileFilters, FileWriterNamesUpTo255BytesWork)
{
    HangGuard guard(10s);
    const QString plain = QString(251, 'n') + ".avi";
    const QString wide = QString(125, QChar(0x00E9)) + "x.avi"; // "é" is two bytes
    for (const QString &name : {plain, wide}) {
        ASSERT_EQ(QFile::encodeName(name).size(), 255);
        WriterGraph w(path(name), 2, kFrameSize);
        ASSERT_TRUE(w.ok);
        ASSERT_TRUE(w.runUntilDone()) << w.graph.lastError();
        EXPECT_FALSE(w.graph.hadError()) << w.graph.lastError();
        EXPECT_EQ(readFileBytes(path(name)).size(), 2 * kFrameSize);
        EXPECT_EQ(entries(), QStringList{name});
        QFile::remove(path(name));
    }
}

// Outputs get 0666 less the umask, as any new file does, not the 0600 of a
// private temporary file.
TEST_F(FileFilters, FileWriterOutputsGetTheUsualPermissions)
{
    HangGuard guard(10s);
    for (const mode_t mask : {mode_t(022), mode_t(002), mode_t(077)}) {
        const mode_t before = ::umask(mask);
        const QString target = path(QString("out%1.avi").arg(mask, 0, 8));
        WriterGraph w(target, 2, kFrameSize);
        const bool ran = w.ok && w.runUntilDone();
        ::umask(before);
        ASSERT_TRUE(ran);
        struct stat st
        {};
        ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask) << "umask " << std::oct << mask;
    }
}

} // namespace
