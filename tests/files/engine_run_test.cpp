// The command engine's run over the chosen files: which entries it takes,
// conditions, questions and their answers, passes, aborts, and the engine's
// own guards (one run at a time, the list cleared during a run).
#include "support/engine_fixture.h"

#include "platform/gui_thread.h"

#include <QElapsedTimer>

#include <future>
#include <stdexcept>

namespace vidora::test {
namespace {

using enum TModalResult;

class EngineRun : public EngineStage
{};

TEST_F(EngineRun, SelectedFilesRunInListOrderAndAFailedConditionSkipsTheFile)
{
    const auto a = source.Put(Path("a.avi"), true);
    const auto b = source.Put(Path("b.avi"), true);
    const auto c = source.Put(Path("c.avi"), true);
    source.Put(Path("d.avi"));
    tCustomCmd command;
    command.Nombre = TcmdNombre::fnSelect;
    command.UpdateDisplay = TUpdateDisplay::udEach;
    command.OnExecution = LoggingStep();
    command.OnFileCondition = [&](const EngineEntryPtr &e, bool &, bool &enabled) {
        enabled = e != b;
    };

    ASSERT_TRUE(RunToEnd(command));
    EXPECT_EQ(log.Events(), (Events{"src disabled", "start command", "src select a.avi",
                                    "start a.avi 1", "exec a.avi 1", "src refresh", "end a.avi 1",
                                    "src select c.avi", "start c.avi 1", "exec c.avi 1",
                                    "src refresh", "end c.avi 1", "src enabled", "end command"}));
    EXPECT_EQ(engine.NbFichiers(), 3);
    EXPECT_TRUE(source.IsSelected(a));
    EXPECT_FALSE(source.IsSelected(b));
    EXPECT_TRUE(source.IsSelected(c));
    EXPECT_FALSE(engine.IsRunning());
}

TEST_F(EngineRun, EachNombreTakesItsEntries)
{
    struct Case
    {
        TcmdNombre nombre;
        Events executed;
    };
    const Case cases[] = {
        {TcmdNombre::fnSingle, {"exec b.avi 1"}},
        {TcmdNombre::fnSelect, {"exec a.avi 1", "exec c.avi 1"}},
        {TcmdNombre::fnAll, {"exec a.avi 1", "exec b.avi 1", "exec c.avi 1"}},
        {TcmdNombre::fnNone, {"exec (none) 1"}},
    };
    for (const Case &row : cases) {
        SCOPED_TRACE(static_cast<int>(row.nombre));
        source.Clear();
        const auto a = source.Put(Path("a.avi"), true);
        const auto b = source.Put(Path("b.avi"));
        source.Put(Path("c.avi"), true);
        source.SetCurrent(b);
        tCustomCmd command;
        command.Nombre = row.nombre;
        Events executed;
        std::mutex mutex;
        command.OnExecution = [&](const EngineEntryPtr &e, const QStringList &, TCommandEngine &,
                                  int pass) {
            std::lock_guard lock(mutex);
            executed.push_back(QStringLiteral("exec %1 %2").arg(NameOf(e)).arg(pass).toStdString());
        };
        ASSERT_TRUE(RunToEnd(command));
        EXPECT_EQ(executed, row.executed);
    }
}

TEST_F(EngineRun, NothingStartsWithoutEntriesListsOrCondition)
{
    tCustomCmd command;
    command.OnExecution = LoggingStep();
    for (TcmdNombre nombre : {TcmdNombre::fnSingle, TcmdNombre::fnSelect, TcmdNombre::fnAll}) {
        command.Nombre = nombre;
        EXPECT_FALSE(engine.Execute(command)) << "empty list";
    }
    source.Put(Path("a.avi"));
    command.Nombre = TcmdNombre::fnSelect;
    EXPECT_FALSE(engine.Execute(command)) << "nothing selected";

    command.Nombre = TcmdNombre::fnAll;
    command.OnCommandCondition = [](TCommandEngine &) { return false; };
    EXPECT_FALSE(engine.Execute(command)) << "condition false";

    command.OnCommandCondition = nullptr;
    engine.DestFichierListbox = nullptr;
    EXPECT_FALSE(engine.Execute(command)) << "no destination list";
    EXPECT_TRUE(log.Events().empty()) << "a run that never started reports nothing";
    EXPECT_FALSE(engine.IsRunning());
}

TEST_F(EngineRun, StepsRunOnTheWorkerWithTheirOwnCopyOfTheParameters)
{
    source.Put(Path("a.avi"));
    tCustomCmd command;
    command.Nombre = TcmdNombre::fnAll;
    QStringList seen;
    command.OnExecution = [&](const EngineEntryPtr &, const QStringList &params, TCommandEngine &,
                              int) {
        log.Worker("exec");
        seen = params;
    };
    QStringList params{"0.5"};
    ASSERT_TRUE(engine.Execute(command, &params));
    params.clear(); // the caller's list may change once Execute returned
    QEventLoop loop;
    engine.OnEndCommand = [&] { loop.quit(); };
    QTimer::singleShot(kRunTimeoutMs, &loop, &QEventLoop::quit);
    if (engine.IsRunning())
        loop.exec();
    EXPECT_EQ(seen, QStringList{"0.5"});
}

// Files a, b, c; `existing` names the ones whose destination exists already.
struct QuestionCase
{
    const char *name;
    int files;
    QStringList existing;
    std::vector<TModalResult> answers;
    Events executed;
    int questions;
};

void PrintTo(const QuestionCase &row, std::ostream *os)
{
    *os << row.name;
}

class EngineQuestions : public EngineStage, public ::testing::WithParamInterface<QuestionCase>
{};

TEST_P(EngineQuestions, AnswersDecideWhichFilesRun)
{
    const QuestionCase &row = GetParam();
    const QStringList names{"a", "b", "c"};
    for (int i = 0; i < row.files; ++i)
        source.Put(Path(names[i] + ".avi"), true);
    for (const QString &name : row.existing)
        Touch(name + ".out");
    std::deque<TModalResult> script(row.answers.begin(), row.answers.end());

    Tcmd command;
    command.Nombre = TcmdNombre::fnSelect;
    command.OnDestination = [&](const EngineEntryPtr &e, const QStringList &, int) {
        return Path(QFileInfo(e->FullPath()).completeBaseName() + ".out");
    };
    Events executed;
    command.OnExecution = [&](const EngineEntryPtr &, const QString &destination,
                              const QStringList &, TCommandEngine &, int) {
        log.Worker("exec");
        executed.push_back(QFileInfo(destination).fileName().toStdString());
    };
    class Answers : public IEngineQuestions
    {
    public:
        Answers(std::deque<TModalResult> script, bool many)
            : m_script(std::move(script)), m_many(many)
        {}
        TModalResult Confirm(const QString &text, bool toAllButtons) override
        {
            texts.push_back(text);
            EXPECT_EQ(toAllButtons, m_many);
            if (m_script.empty()) {
                ADD_FAILURE() << "unexpected question";
                return mrCancel;
            }
            const auto answer = m_script.front();
            m_script.pop_front();
            return answer;
        }
        std::vector<QString> texts;

    private:
        std::deque<TModalResult> m_script;
        bool m_many;
    } answers(script, row.files >= 2);
    engine.Questions = &answers;

    ASSERT_TRUE(RunToEnd(command));
    EXPECT_EQ(executed, row.executed);
    ASSERT_EQ(static_cast<int>(answers.texts.size()), row.questions);
    const auto events = log.Events();
    EXPECT_EQ(events.back(), "end command");
    EXPECT_TRUE(source.Enabled());
    if (!answers.texts.empty()) {
        const QString first = Path(row.existing.first() + ".out");
        const QString expected =
            row.files >= 2 ? "Do you really want to delete the existing file " + first +
                                 "?\nIf you answer \"All\", then no more confirmation will be "
                                 "requested"
                           : "Do you really want to delete the existing file " + first;
        EXPECT_EQ(answers.texts.front(), expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, EngineQuestions,
    ::testing::Values(
        QuestionCase{"OneYes", 1, {"a"}, {mrYes}, {"a.out"}, 1},
        QuestionCase{"OneNo", 1, {"a"}, {mrNo}, {}, 1},
        QuestionCase{"OneCancel", 1, {"a"}, {mrCancel}, {}, 1},
        QuestionCase{"NoDestinationNoQuestion", 1, {}, {}, {"a.out"}, 0},
        QuestionCase{"SecondOfThreeNo", 3, {"b"}, {mrNo}, {"a.out", "c.out"}, 1},
        QuestionCase{"YesNoYes", 3, {"a", "b", "c"}, {mrYes, mrNo, mrYes}, {"a.out", "c.out"}, 3},
        QuestionCase{"NoToAllSkipsLaterExisting", 3, {"a", "c"}, {mrNoToAll}, {"b.out"}, 1},
        QuestionCase{"YesToAllRunsEveryFile",
                     3,
                     {"a", "b", "c"},
                     {mrYesToAll},
                     {"a.out", "b.out", "c.out"},
                     1},
        QuestionCase{"CancelFirstRunsNothing", 3, {"a", "b", "c"}, {mrCancel}, {}, 1},
        QuestionCase{
            "CancelSecondKeepsFirst", 3, {"a", "b", "c"}, {mrYes, mrCancel}, {"a.out"}, 2}),
    [](const auto &caseInfo) { return std::string(caseInfo.param.name); });

TEST_F(EngineRun, EveryPassIsVerifiedAndAskedOnItsOwn)
{
    source.Put(Path("a.avi"));
    Touch("a.2");
    questions.Script({mrNo});
    Tcmd command;
    command.Nombre = TcmdNombre::fnSingle;
    command.NbPasses = 3;
    command.OnDestination = [&](const EngineEntryPtr &, const QStringList &, int pass) {
        return Path(QStringLiteral("a.%1").arg(pass));
    };
    command.OnExecution = [&](const EngineEntryPtr &e, const QString &, const QStringList &,
                              TCommandEngine &, int pass) {
        log.Worker(QStringLiteral("exec %1 %2").arg(NameOf(e)).arg(pass));
    };
    ASSERT_TRUE(RunToEnd(command));
    EXPECT_EQ(log.Events(),
              (Events{"start command", "src select a.avi", "start a.avi 1", "exec a.avi 1",
                      "end a.avi 1", "ask", "src select a.avi", "start a.avi 3", "exec a.avi 3",
                      "end a.avi 3", "end command"}));
}

// Each file has its own number of passes, known before its first pass: a
// declined first pass skips that pass only, whatever the file before had,
// and a count that cannot be found is the file's error.
TEST_F(EngineRun, EachFileHasItsOwnPassCount)
{
    source.Put(Path("a.avi"), true);
    source.Put(Path("b.avi"), true);
    source.Put(Path("c.avi"), true);
    source.Put(Path("d.avi"), true);
    Touch("b.1");
    questions.Script({mrNo});
    Tcmd command;
    command.Nombre = TcmdNombre::fnSelect;
    command.ErrorMessage = "Cannot process %s";
    command.OnFilePasses = [](const EngineEntryPtr &e, const QStringList &, TCommandEngine &) {
        const QString name = NameOf(e);
        if (name == "c.avi")
            throw std::runtime_error("no scene file");
        return name == "a.avi" ? 3 : 2;
    };
    command.OnDestination = [&](const EngineEntryPtr &e, const QStringList &, int pass) {
        return Path(QStringLiteral("%1.%2").arg(NameOf(e).left(1)).arg(pass));
    };
    command.OnExecution = [&](const EngineEntryPtr &e, const QString &, const QStringList &,
                              TCommandEngine &, int pass) {
        log.Worker(QStringLiteral("exec %1 %2").arg(NameOf(e)).arg(pass));
    };
    ASSERT_TRUE(RunToEnd(command));
    std::vector<std::string> executed;
    for (const std::string &event : log.Events())
        if (event.rfind("exec ", 0) == 0)
            executed.push_back(event);
    EXPECT_EQ(executed, (Events{"exec a.avi 1", "exec a.avi 2", "exec a.avi 3", "exec b.avi 2",
                                "exec d.avi 1", "exec d.avi 2"}));
    EXPECT_EQ(Errors(), (Events{"error Cannot process " + Path("c.avi").toStdString() +
                                "\nno scene file etError"}));
}

TEST_F(EngineRun, ACommandWithoutEntriesRunsEachPassOnceWithoutQuestions)
{
    source.Put(Path("a.avi"), true);
    tCustomCmd command;
    command.Nombre = TcmdNombre::fnNone;
    command.NbPasses = 2;
    command.OnExecution = LoggingStep();
    command.OnFileVerification = [](const EngineEntryPtr &, const QStringList &, TCommandEngine &,
                                    int) { return false; };
    command.OnFileConFirmation = [](const EngineEntryPtr &, const QStringList &, TCommandEngine &,
                                    int) { return QStringLiteral("?"); };
    ASSERT_TRUE(RunToEnd(command));
    EXPECT_EQ(log.Events(),
              (Events{"start command", "exec (none) 1", "exec (none) 2", "end command"}));
}

TEST_F(EngineRun, CustomQuestionsAddTheNoteForSeveralFilesAndDefaultToYesToAll)
{
    source.Put(Path("a.avi"), true);
    source.Put(Path("b.avi"), true);
    tCustomCmd command;
    command.Nombre = TcmdNombre::fnSelect;
    command.OnExecution = LoggingStep();
    command.OnFileVerification = [](const EngineEntryPtr &, const QStringList &, TCommandEngine &,
                                    int) { return false; };
    // Without a question handler: Yes to all, nothing shown.
    ASSERT_TRUE(RunToEnd(command));
    EXPECT_TRUE(questions.Texts().empty());
    EXPECT_EQ(log.Events().size(), 12u);

    command.OnFileConFirmation = [](const EngineEntryPtr &e, const QStringList &, TCommandEngine &,
                                    int) { return "Process " + e->FileName(); };
    source.Clear();
    source.Put(Path("a.avi"), true);
    source.Put(Path("b.avi"), true);
    questions.Script({mrNo, mrYes});
    ASSERT_TRUE(RunToEnd(command));
    const auto texts = questions.Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], QStringLiteral("Process a.avi\nSi vous répondez \"Oui à Tous\" ou \"Non à "
                                       "Tous\", alors plus aucune confirmation ne sera demandée."));

    source.Clear();
    source.Put(Path("a.avi"), true);
    questions.Script({mrYes});
    ASSERT_TRUE(RunToEnd(command));
    EXPECT_EQ(questions.Texts().back(), "Process a.avi") << "one file: no note, three buttons";
    const auto events = log.Events();
    EXPECT_NE(std::find(events.begin(), events.end(), "ask"), events.end());
}

TEST_F(EngineRun, AbortingTheCurrentFileEndsThatFileOnly)
{
    for (const char *name : {"a.avi", "b.avi", "c.avi"})
        source.Put(Path(name), true);
    tCustomCmd command;
    command.Nombre = TcmdNombre::fnSelect;
    command.NbPasses = 2;
    command.OnAbort = [&](TCommandEngine &) { log.Gui("abort step"); };
    command.OnExecution = [&](const EngineEntryPtr &e, const QStringList &, TCommandEngine &ce,
                              int pass) {
        if (e->FileName() == "b.avi")
            ce.Message("gate"); // the GUI aborts here, while b runs
        log.Worker(QStringLiteral("exec %1 %2%3")
                       .arg(NameOf(e))
                       .arg(pass)
                       .arg(ce.Aborted() ? " aborted" : ""));
    };
    onMessage = [&](const QString &) { engine.AbortCurrent(); };
    ASSERT_TRUE(RunToEnd(command));
    EXPECT_EQ(log.Events(),
              (Events{"src disabled",     "start command", "src select a.avi",     "start a.avi 1",
                      "exec a.avi 1",     "end a.avi 1",   "src select a.avi",     "start a.avi 2",
                      "exec a.avi 2",     "end a.avi 2",   "src select b.avi",     "start b.avi 1",
                      "message gate",     "abort step",    "exec b.avi 1 aborted", "end b.avi 1",
                      "src select c.avi", "start c.avi 1", "exec c.avi 1",         "end c.avi 1",
                      "src select c.avi", "start c.avi 2", "exec c.avi 2",         "end c.avi 2",
                      "src enabled",      "end command"}));
}

TEST_F(EngineRun, AbortingAllStopsAfterTheCurrentFile)
{
    for (const char *name : {"a.avi", "b.avi", "c.avi", "d.avi"})
        source.Put(Path(name));
    tCustomCmd command;
    command.Nombre = TcmdNombre::fnAll;
    command.OnAbort = [&](TCommandEngine &) { log.Gui("abort step"); };
    command.OnExecution = LoggingStep();
    onStartFile = [&](const EngineEntryPtr &e, int) {
        if (e->FileName() == "b.avi")
            engine.AbortAll();
    };
    ASSERT_TRUE(RunToEnd(command));
    EXPECT_EQ(log.Events(),
              (Events{"src disabled", "start command", "src select a.avi", "start a.avi 1",
                      "exec a.avi 1", "end a.avi 1", "src select b.avi", "start b.avi 1",
                      "abort step", "exec b.avi 1", "end b.avi 1", "src enabled", "end command"}));
    // Abort requests outside a run do nothing.
    engine.AbortAll();
    engine.AbortCurrent();
    EXPECT_EQ(log.Events().back(), "end command");
}

TEST_F(EngineRun, TheEngineIsBusyFromExecuteOnAndRefusesASecondRun)
{
    source.Put(Path("a.avi"));
    source.Put(Path("b.avi"));
    tCustomCmd command;
    command.Nombre = TcmdNombre::fnAll;
    command.OnExecution = LoggingStep();
    tCustomCmd other;
    other.Nombre = TcmdNombre::fnAll;
    other.OnExecution = [&](const EngineEntryPtr &, const QStringList &, TCommandEngine &, int) {
        log.Worker("other");
    };
    bool busyAtStart = false;
    engine.OnStartCommand = [&] {
        log.Gui("start command");
        busyAtStart = engine.IsRunning();
    };
    onStartFile = [&](const EngineEntryPtr &, int) {
        EXPECT_FALSE(engine.Execute(other)) << "a second Execute while a run is active";
    };

    m_ended = false;
    ASSERT_TRUE(engine.Execute(command));
    // Reported synchronously: whoever waits on the command sees it busy now.
    EXPECT_TRUE(busyAtStart);
    EXPECT_TRUE(engine.IsRunning());
    EXPECT_EQ(log.Events().at(1), "start command");
    EXPECT_FALSE(engine.Execute(other));
    QEventLoop loop;
    m_loop = &loop;
    QTimer::singleShot(kRunTimeoutMs, &loop, &QEventLoop::quit);
    if (!m_ended)
        loop.exec();
    m_loop = nullptr;
    ASSERT_TRUE(m_ended);
    const auto events = log.Events();
    EXPECT_EQ(std::count(events.begin(), events.end(), "other"), 0);
    EXPECT_FALSE(engine.IsRunning());

    // Idle again at the end of the command: its handler may start the next.
    bool startedFromEnd = false;
    engine.OnEndCommand = [&] {
        log.Gui("end command");
        if (!startedFromEnd) {
            startedFromEnd = engine.Execute(other);
            return;
        }
        m_ended = true;
        if (m_loop != nullptr)
            m_loop->quit();
    };
    m_ended = false;
    ASSERT_TRUE(engine.Execute(command));
    QEventLoop again;
    m_loop = &again;
    QTimer::singleShot(kRunTimeoutMs, &again, &QEventLoop::quit);
    if (!m_ended)
        again.exec();
    m_loop = nullptr;
    EXPECT_TRUE(startedFromEnd);
    const auto after = log.Events();
    EXPECT_EQ(std::count(after.begin(), after.end(), "other"), 2);
}

TEST_F(EngineRun, ClearingTheListDuringARunEndsItWithoutACrash)
{
    for (const char *name : {"a.avi", "b.avi", "c.avi"})
        source.Put(Path(name));
    TFastcmd command;
    command.Nombre = TcmdNombre::fnAll;
    command.UpdateFile = TUpdateFile::ufRemove;
    command.UpdateDisplay = TUpdateDisplay::udFinal;
    command.OnExecution = LoggingStep();
    onStartFile = [&](const EngineEntryPtr &, int) { source.Clear(); };
    ASSERT_TRUE(RunToEnd(command));
    // The file in hand finishes (its removal finds nothing to remove); the
    // entries the user took away are not started.
    EXPECT_EQ(log.Events(), (Events{"src disabled", "start command", "src select a.avi",
                                    "start a.avi 1", "exec a.avi 1", "end (none) 1",
                                    "src refresh+counts", "src enabled", "end command"}));
    EXPECT_TRUE(source.Entries().empty());
}

TEST_F(EngineRun, DestroyingTheEngineDuringARunAbortsAndJoinsIt)
{
    source.Put(Path("a.avi"));
    source.Put(Path("b.avi"));
    tCustomCmd command;
    command.Nombre = TcmdNombre::fnAll;
    std::atomic<int> executed{0};
    std::promise<void> inside;
    command.OnExecution = [&](const EngineEntryPtr &, const QStringList &, TCommandEngine &ce,
                              int) {
        if (++executed == 1)
            inside.set_value();
        ce.Message("working"); // blocks until the GUI thread takes it
    };
    {
        TCommandEngine local;
        local.SourceFichierListbox = &source;
        local.DestFichierListbox = &dest;
        ASSERT_TRUE(local.Execute(command));
        // Serve the worker's calls until it is inside the first file's step.
        auto entered = inside.get_future();
        QElapsedTimer clock;
        clock.start();
        while (entered.wait_for(std::chrono::seconds(0)) != std::future_status::ready &&
               clock.elapsed() < kRunTimeoutMs)
            runQueuedGuiCalls(std::chrono::milliseconds(10));
        ASSERT_EQ(executed.load(), 1);
        // Leaving the scope aborts the run; the worker's pending call into
        // this thread is served while the engine waits for it.
    }
    EXPECT_EQ(executed.load(), 1) << "the second file never started";
}

} // namespace
} // namespace vidora::test
