// The graph run of a video command: progress against the file's own length,
// completion, error and abort notices, the current-file abort, and what is
// left on disk and in the list afterwards.
#include "support/engine_fixture.h"

#include "platform/gui_thread.h"

#include <thread>

namespace vidora::test {
namespace {

enum class Outcome {
    Complete, // completion is signalled from another thread
    Fail,     // an error notice is signalled from another thread
    Never,    // nothing is signalled
};

// A graph that "writes" its output under a temporary name and renames it to
// the final name only when stopped after completion.
class FakeGraph : public IGraphRun
{
public:
    struct Script
    {
        qint64 duration = 0;
        qint64 position = 0;
        Outcome outcome = Outcome::Complete;
        int signalAtPoll = 1;         // the poll after which the outcome is signalled
        bool gateAtPoll = false;      // the first poll calls the GUI (the test aborts there)
        bool gateAfterSignal = false; // the GUI is called once the outcome is signalled
    };

    FakeGraph(Script script, QString output, TCommandEngine &ce, EngineEventLog &log, int &polls)
        : m_script(script), m_output(std::move(output)), m_ce(ce), m_log(log), m_polls(polls)
    {}

    qint64 Duration() override
    {
        m_log.Worker("graph duration");
        return m_script.duration;
    }
    qint64 CurrentPosition() override
    {
        ++m_polls;
        ++m_ownPolls;
        if (m_ownPolls == 1 && m_script.gateAtPoll)
            m_ce.Message("gate");
        if (m_ownPolls == m_script.signalAtPoll && m_script.outcome != Outcome::Never) {
            const bool complete = m_script.outcome == Outcome::Complete;
            // Signalled from another thread, as a graph's notices arrive; joined
            // here so the notice is in before the command waits (a late one
            // would only add polls, and the log would depend on the load).
            std::thread signaller([this, complete] {
                if (complete)
                    m_ce.SetCmdEvent();
                else
                    m_ce.SetCmdErrorEvent();
            });
            signaller.join();
            if (m_script.gateAfterSignal)
                m_ce.Message("gate");
        }
        return m_script.position;
    }
    void Run() override
    {
        m_log.Worker("graph run");
        QFile part(m_output + ".part");
        ASSERT_TRUE(part.open(QIODevice::WriteOnly));
        part.write("dv");
    }
    void Stop() override
    {
        m_log.Worker("graph stop");
        QFile::rename(m_output + ".part", m_output);
    }
    void Abort() override
    {
        m_log.Worker("graph abort");
        QFile::remove(m_output + ".part");
    }
    QString LastError() const override
    {
        return m_script.outcome == Outcome::Fail ? QStringLiteral("the disk is on fire")
                                                 : QString();
    }

private:
    Script m_script;
    QString m_output;
    TCommandEngine &m_ce;
    EngineEventLog &m_log;
    int &m_polls; // every graph's polls
    int m_ownPolls = 0;
};

class EngineGraph : public EngineStage
{
protected:
    EngineGraph()
    {
        command.Nombre = TcmdNombre::fnSelect;
        command.UpdateFile = TUpdateFile::ufAdd;
        command.StartMessage = QStringLiteral("Converting %s");
        command.ErrorMessage = QStringLiteral("Conversion failed: %s");
        command.OnDestination = [this](const EngineEntryPtr &e, const QStringList &, int) {
            return Path(QFileInfo(e->FullPath()).completeBaseName() + ".out");
        };
        command.OnBuildGraph = [this](const EngineEntryPtr &e, const QString &destination,
                                      const QStringList &, int) -> std::unique_ptr<IGraphRun> {
            log.Worker("build " + e->FileName());
            const auto found = scripts.find(e->FileName());
            if (found == scripts.end())
                return nullptr;
            return std::make_unique<FakeGraph>(found->second, destination, engine, log, polls);
        };
    }

    ~EngineGraph() override
    {
        // The run must not outlive the command it runs.
        engine.AbortAll();
        while (engine.IsRunning())
            runQueuedGuiCalls(std::chrono::milliseconds(10));
    }

    TGraphCmd command;
    std::map<QString, FakeGraph::Script> scripts;
    int polls = 0; // written on the worker, read after the run
};

TEST_F(EngineGraph, EachFileShowsProgressToItsOwnLengthAndIsAddedWhenComplete)
{
    source.Put(Path("a.avi"), true);
    source.Put(Path("b.avi"), true);
    scripts["a.avi"] = {.duration = 1024 * 10000, .position = 1024 * 5000};
    scripts["b.avi"] = {.duration = 1024 * 20000, .position = 1024 * 20000};
    ASSERT_TRUE(RunToEnd(command));
    EXPECT_EQ(FileEvents(log.Events()), (Events{"start command",
                                                "start a.avi 1",
                                                "message Converting a.avi",
                                                "build a.avi",
                                                "graph duration",
                                                "progress max 10000",
                                                "graph run",
                                                "progress 5000",
                                                "progress end",
                                                "graph stop",
                                                "dst add a.out",
                                                "end a.avi 1",
                                                "start b.avi 1",
                                                "message Converting b.avi",
                                                "build b.avi",
                                                "graph duration",
                                                "progress max 20000",
                                                "graph run",
                                                "progress 20000",
                                                "progress end",
                                                "graph stop",
                                                "dst add b.out",
                                                "end b.avi 1",
                                                "end command"}));
    EXPECT_TRUE(QFileInfo::exists(Path("a.out")));
    EXPECT_TRUE(QFileInfo::exists(Path("b.out")));
}

TEST_F(EngineGraph, AnErrorNoticeEndsTheWaitWithTheErrorMessageAndLeavesNoOutput)
{
    source.Put(Path("a.avi"), true);
    source.Put(Path("b.avi"), true);
    scripts["a.avi"] = {.duration = 1024 * 100, .outcome = Outcome::Fail};
    scripts["b.avi"] = {.duration = 1024 * 100};
    ASSERT_TRUE(RunToEnd(command));
    const Events events = FileEvents(log.Events());
    const Events firstFile(events.begin() + 1, events.begin() + 11);
    EXPECT_EQ(firstFile,
              (Events{"start a.avi 1", "message Converting a.avi", "build a.avi", "graph duration",
                      "progress max 100", "graph run", "progress 0", "progress end", "graph abort",
                      "error Conversion failed: " + Path("a.avi").toStdString() +
                          "\nthe disk is on fire etError"}));
    EXPECT_EQ(events.at(11), "end a.avi 1");
    EXPECT_FALSE(QFileInfo::exists(Path("a.out")));
    EXPECT_FALSE(QFileInfo::exists(Path("a.out.part")));
    EXPECT_EQ(dest.Names(), QStringList{"b.out"}) << "the next file still runs";
}

TEST_F(EngineGraph, AbortingTheCurrentFileStopsItsGraphAndTheNextFileRuns)
{
    source.Put(Path("a.avi"), true);
    source.Put(Path("b.avi"), true);
    scripts["a.avi"] = {.duration = 1024 * 100, .outcome = Outcome::Never, .gateAtPoll = true};
    scripts["b.avi"] = {.duration = 1024 * 100};
    onMessage = [&](const QString &text) {
        if (text == "gate")
            engine.AbortCurrent();
    };
    ASSERT_TRUE(RunToEnd(command));
    const Events events = FileEvents(log.Events());
    const Events firstFile(events.begin() + 1, events.begin() + 11);
    EXPECT_EQ(firstFile, (Events{"start a.avi 1", "message Converting a.avi", "build a.avi",
                                 "graph duration", "progress max 100", "graph run", "message gate",
                                 "progress 0", "progress end", "graph abort"}));
    EXPECT_EQ(events.at(11), "end a.avi 1") << "no error and no list update for an abort";
    EXPECT_FALSE(QFileInfo::exists(Path("a.out")));
    EXPECT_FALSE(QFileInfo::exists(Path("a.out.part")));
    EXPECT_EQ(dest.Names(), QStringList{"b.out"});
}

// The user aborts just as the graph completes: the abort wins and the output
// is discarded, as for any other abort.
TEST_F(EngineGraph, AnAbortThatComesWithTheCompletionDiscardsTheOutput)
{
    source.Put(Path("a.avi"), true);
    scripts["a.avi"] = {.duration = 1024 * 100, .gateAfterSignal = true};
    onMessage = [&](const QString &text) {
        if (text == "gate")
            engine.AbortCurrent();
    };
    ASSERT_TRUE(RunToEnd(command));
    const Events events = FileEvents(log.Events());
    EXPECT_NE(std::find(events.begin(), events.end(), "graph abort"), events.end());
    EXPECT_EQ(std::find(events.begin(), events.end(), "graph stop"), events.end());
    EXPECT_FALSE(QFileInfo::exists(Path("a.out")));
    EXPECT_TRUE(dest.Names().isEmpty());
}

TEST_F(EngineGraph, ACompletionLeftFromAnEarlierRunDoesNotEndTheNextWait)
{
    source.Put(Path("a.avi"), true);
    scripts["a.avi"] = {.duration = 1024 * 100, .signalAtPoll = 2};
    engine.SetCmdEvent(); // stale: set while no graph runs
    ASSERT_TRUE(RunToEnd(command));
    EXPECT_EQ(polls, 2) << "the wait went on until this graph completed";
    EXPECT_EQ(dest.Names(), QStringList{"a.out"});
}

TEST_F(EngineGraph, TheHandlersSpanReplacesTheGraphsDuration)
{
    source.Put(Path("a.avi"), true);
    scripts["a.avi"] = {.duration = 1024 * 999999, .position = 1024 * 1500};
    auto build = command.OnBuildGraph;
    command.OnBuildGraph = [&](const EngineEntryPtr &e, const QString &destination,
                               const QStringList &params, int pass) {
        command.Duree = 1024 * 2000;
        command.Debut = 1024 * 500;
        return build(e, destination, params, pass);
    };
    ASSERT_TRUE(RunToEnd(command));
    const Events events = log.Events();
    EXPECT_EQ(std::count(events.begin(), events.end(), "graph duration"), 0);
    EXPECT_NE(std::find(events.begin(), events.end(), "progress max 2000"), events.end());
    EXPECT_NE(std::find(events.begin(), events.end(), "progress 1000"), events.end());
}

TEST_F(EngineGraph, WithoutGraphOrLengthNothingRunsAndTheFileFails)
{
    // A file that gives no graph, or a graph of no length (a damaged file
    // whose frames cannot be found), is reported, never passed in silence.
    source.Put(Path("none.avi"), true);
    source.Put(Path("empty.avi"), true);
    scripts["empty.avi"] = {.duration = 0};
    ASSERT_TRUE(RunToEnd(command));
    const auto error = [this](const char *name, const char *reason) {
        return "error Conversion failed: " + Path(name).toStdString() + "\n" + reason + " etError";
    };
    EXPECT_EQ(FileEvents(log.Events()),
              (Events{"start command", "start empty.avi 1", "message Converting empty.avi",
                      "build empty.avi", "graph duration", "graph abort",
                      error("empty.avi", "The file holds no frame to process."), "end empty.avi 1",
                      "start none.avi 1", "message Converting none.avi", "build none.avi",
                      error("none.avi", "No processing graph could be built for this file."),
                      "end none.avi 1", "end command"}));
    EXPECT_TRUE(dest.Names().isEmpty());

    // No build handler: not even the start message.
    TGraphCmd bare;
    bare.Nombre = TcmdNombre::fnAll;
    bare.StartMessage = QStringLiteral("Converting %s");
    const auto before = log.Events().size();
    ASSERT_TRUE(RunToEnd(bare));
    const auto after = log.Events();
    EXPECT_EQ(std::count_if(after.begin() + static_cast<long>(before), after.end(),
                            [](const std::string &e) { return e.rfind("message", 0) == 0; }),
              0);
}

TEST_F(EngineGraph, AFailingBuildIsReportedWithTheErrorMessage)
{
    source.Put(Path("a.avi"), true);
    command.OnBuildGraph = [](const EngineEntryPtr &, const QString &, const QStringList &,
                              int) -> std::unique_ptr<IGraphRun> {
        throw std::runtime_error("filter refused");
    };
    ASSERT_TRUE(RunToEnd(command));
    const Events events = log.Events();
    // The failure's own reason follows the command's text.
    EXPECT_NE(std::find(events.begin(), events.end(),
                        "error Conversion failed: " + Path("a.avi").toStdString() +
                            "\nfilter refused etError"),
              events.end());
    EXPECT_TRUE(dest.Names().isEmpty());
}

} // namespace
} // namespace vidora::test
