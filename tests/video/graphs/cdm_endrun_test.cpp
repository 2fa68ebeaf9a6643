// The end of a conversion run, as the command engine runs it: failures of the
// final writes, the flush and the rename of the output are the command's
// errors, with the system's reason; with "replace" and an existing
// destination the user agreed to overwrite, the source is never deleted; a
// late notice of a stopped run never ends the next run's wait; an abort that
// races the completion leaves no output.
#include "support/cdm_stage.h"

#include "platform/media/filters/file_writer.h"
#include "support/avi_files.h"
#include "support/tools.h"

#include <QDir>

#include <cerrno>
#include <cstring>
#include <thread>

namespace vidora::test {
namespace {

using namespace std::chrono_literals;

media::FileWriterFilter *WriterOf(TCdm &cdm)
{
    for (media::Filter *f : cdm.graph().filters())
        if (auto *writer = dynamic_cast<media::FileWriterFilter *>(f))
            return writer;
    return nullptr;
}

// One failure of the writer's.
media::FileWriterFaults RenameFails(int error)
{
    media::FileWriterFaults f;
    f.renameError = error;
    return f;
}
media::FileWriterFaults SyncFails(int error)
{
    media::FileWriterFaults f;
    f.syncError = error;
    return f;
}
media::FileWriterFaults FullAt(std::int64_t bytes)
{
    media::FileWriterFaults f;
    f.spaceLimit = bytes;
    return f;
}

media::IMediaSeeking *ToType2(TCdm &cdm, const QString &source, const QString &output)
{
    return cdm.BuildToType2Graph(source, output);
}

class CdmEndRun : public CdmStage
{
protected:
    QString Type1()
    {
        const QByteArray raw = makeRawDv(m_dir.path(), 12);
        EXPECT_FALSE(raw.isEmpty());
        writeFileBytes(Path("tape.avi"), dvType1Avi(raw));
        return Path("tape.avi");
    }
    QStringList Files() const
    {
        return QDir(m_dir.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
};

TEST_F(CdmEndRun, AFailureAtTheEndIsReportedAndNeverCostsTheSource)
{
    const QString in = Type1();
    const QByteArray sourceBytes = readFileBytes(in);
    const QString out = Path("tape_out.avi");

    // The size of a good output, to fill the disk at its last byte.
    ASSERT_TRUE(RunCommand(in, ToType2));
    ASSERT_TRUE(Errors().empty());
    const qint64 size = QFileInfo(out).size();
    ASSERT_GT(size, 0);
    QFile::remove(out);

    struct Case
    {
        const char *name;
        media::FileWriterFaults faults;
        bool folder; // the destination is an existing folder
        std::string reason;
    };
    const Case cases[] = {
        {"the final rename", RenameFails(EROFS), false,
         std::string("cannot rename the finished file to ") + out.toStdString() + ": " +
             std::strerror(EROFS)},
        {"the flush", SyncFails(EIO), false,
         "cannot write " + out.toStdString() + ": " + std::strerror(EIO)},
        // The AVI mux writes its index at the end of the file while the
        // graph stops: that write finds the disk full.
        {"the mux's final writes", FullAt(size - 1), false,
         "cannot write " + out.toStdString() + ": " + std::strerror(ENOSPC)},
        {"an existing folder", {}, true, out.toStdString() + " is a folder"},
    };
    command.UpdateFile = TUpdateFile::ufReplace;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.folder)
            ASSERT_TRUE(QDir().mkpath(out + "/inner"));
        else
            writeFileBytes(out, "the previous output");
        afterBuild = [&c](TCdm &m) {
            ASSERT_NE(WriterOf(m), nullptr);
            WriterOf(m)->injectFaults(c.faults);
        };
        questions.Script({TModalResult::mrYes}); // overwrite the existing destination
        const auto before = log.Events().size();
        ASSERT_TRUE(RunCommand(in, ToType2));

        const Events all = log.Events();
        const Events events(all.begin() + static_cast<long>(before), all.end());
        const std::string expected = "error Conversion failed: " + in.toStdString() + "\n";
        const auto error = std::find_if(events.begin(), events.end(), [&](const std::string &e) {
            return e.rfind(expected, 0) == 0;
        });
        ASSERT_NE(error, events.end()) << "no error reported";
        EXPECT_NE(error->find(c.reason), std::string::npos) << *error;
        EXPECT_EQ(
            std::count_if(events.begin(), events.end(),
                          [](const std::string &e) { return e.rfind("src replace", 0) == 0; }),
            0);
        EXPECT_EQ(readFileBytes(in), sourceBytes) << "the source is kept";
        EXPECT_EQ(source.Names(), QStringList{"tape.avi"});
        EXPECT_EQ(Files(), (QStringList{"raw.dv", "tape.avi", "tape_out.avi"}))
            << "no temporary file is left";
        if (c.folder) {
            EXPECT_TRUE(QFileInfo(out + "/inner").isDir());
            QDir(out).removeRecursively();
        } else {
            EXPECT_EQ(readFileBytes(out), "the previous output");
        }
        QFile::remove(out);
    }
}

// Without the engine: the notices of a run that was stopped arrive when the
// next run is being waited for (a queue drained late), and are not its own.
TEST_F(CdmEndRun, ALateNoticeOfAStoppedRunNeverEndsTheNextWait)
{
    const QString in = Type1();
    auto executor = std::make_shared<media::QueueEventExecutor>();
    TCdm late(executor);
    TCommandEngine waiting;
    ConnectCdmToEngine(late, waiting);
    const auto runToCompletion = [&](TCdmGraphRun &run) {
        run.Run();
        for (int waited = 0; waited < 20000 && !late.graph().hasCompleted(); waited += 5)
            std::this_thread::sleep_for(5ms);
        return late.graph().hasCompleted();
    };

    // The first run completes, then fails while it stops; its notices wait
    // in the queue.
    media::IMediaSeeking *position = late.BuildToType2Graph(in, Path("one.avi"));
    ASSERT_NE(position, nullptr);
    WriterOf(late)->injectFaults(RenameFails(EROFS));
    {
        TCdmGraphRun first(late, *position);
        ASSERT_TRUE(runToCompletion(first));
        EXPECT_THROW(first.Stop(), std::runtime_error);
    }

    // The next file's wait starts; its own run completes.
    waiting.ResetCmdEvent();
    position = late.BuildToType2Graph(in, Path("two.avi"));
    ASSERT_NE(position, nullptr);
    TCdmGraphRun second(late, *position);
    ASSERT_TRUE(runToCompletion(second));
    executor->runPending();
    EXPECT_EQ(waiting.WaitCmdEvent(0), TWaitResult::wrSignaled)
        << "the first run's error notice ended the second run's wait";
    EXPECT_NO_THROW(second.Stop());
    EXPECT_TRUE(QFileInfo::exists(Path("two.avi")));
    EXPECT_FALSE(QFileInfo::exists(Path("one.avi")));
}

TEST_F(CdmEndRun, AnAbortThatRacesTheCompletionLeavesNoOutput)
{
    const QString in = Type1();
    const QString out = Path("tape_out.avi");
    writeFileBytes(out, "the previous output");
    media::IMediaSeeking *position = cdm.BuildToType2Graph(in, out);
    ASSERT_NE(position, nullptr);
    TCdmGraphRun run(cdm, *position);
    run.Run();
    for (int waited = 0; waited < 20000 && !cdm.graph().hasCompleted(); waited += 5)
        std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(cdm.graph().hasCompleted());
    run.Abort(); // the user's abort came with the completion
    EXPECT_EQ(readFileBytes(out), "the previous output");
    EXPECT_EQ(Files(), (QStringList{"raw.dv", "tape.avi", "tape_out.avi"}));
}

} // namespace
} // namespace vidora::test
