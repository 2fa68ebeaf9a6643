#include "platform/media/filters/file_source.h"
#include "platform/media/filters/file_writer.h"
#include "platform/media/filters/infinite_tee.h"
#include "platform/media/filters/null_renderer.h"
#include "support/media_filters.h"
#include "support/media_hang_guard.h"
#include "support/tools.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using namespace vidora::media;
using namespace vidora::test;
using namespace std::chrono_literals;

std::vector<std::string> pinNames(Filter &filter)
{
    std::vector<std::string> names;
    for (auto *p : filter.pins())
        names.push_back(p->name());
    return names;
}

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
        EXPECT_TRUE(h.runToCompletion());
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

// source -> counter -> file writer; frames of 8 bytes whose times are their
// byte offsets, so the file is the frames one after the other.
struct WriterGraph
{
    explicit WriterGraph(const QString &target, int frames = 4)
        : executor(std::make_shared<QueueEventExecutor>()), graph(executor), log(graph, executor),
          source(std::make_shared<MemorySource>(
              MemorySource::Options{.frameCount = frames, .frameSize = 8, .frameDuration = 8})),
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

} // namespace
