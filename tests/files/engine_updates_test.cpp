// Errors of each kind and every list update a command makes, on real files
// in a temporary folder.
#include "support/engine_fixture.h"

#include "support/tools.h"

namespace vidora::test {
namespace {

enum class StepOnB {
    Throw,
    ReportNoError,
    ReportError,
    ReportAllError,
};

struct ErrorCase
{
    const char *name;
    bool custom; // a tCustomCmd (unguarded) instead of a Tcmd
    QString errorMessage;
    int passes;
    StepOnB onB;
    Events expected;
};

void PrintTo(const ErrorCase &row, std::ostream *os)
{
    *os << row.name;
}

class EngineErrors : public EngineStage, public ::testing::WithParamInterface<ErrorCase>
{};

TEST_P(EngineErrors, EachKindEndsWhatItShould)
{
    const ErrorCase &row = GetParam();
    source.Put(Path("b.avi"));
    source.Put(Path("c.avi"));
    auto step = [&](const EngineEntryPtr &e, TCommandEngine &ce, int pass) {
        log.Worker(QStringLiteral("exec %1 %2").arg(NameOf(e)).arg(pass));
        if (e->FileName() != "b.avi" || pass != 1)
            return;
        switch (row.onB) {
        case StepOnB::Throw:
            throw std::runtime_error("disk full");
        case StepOnB::ReportNoError:
            ce.Error("note", TErrorType::etNoError);
            break;
        case StepOnB::ReportError:
            ce.Error("bad", TErrorType::etError);
            break;
        case StepOnB::ReportAllError:
            ce.Error("fatal", TErrorType::etAllError);
            break;
        }
    };
    tCustomCmd custom;
    Tcmd guarded;
    tAbstractCmd &command = row.custom ? static_cast<tAbstractCmd &>(custom) : guarded;
    custom.OnExecution = [&](const EngineEntryPtr &e, const QStringList &, TCommandEngine &ce,
                             int pass) { step(e, ce, pass); };
    guarded.OnExecution = [&](const EngineEntryPtr &e, const QString &, const QStringList &,
                              TCommandEngine &ce, int pass) { step(e, ce, pass); };
    command.Nombre = TcmdNombre::fnAll;
    command.NbPasses = row.passes;
    command.ErrorMessage = row.errorMessage;

    ASSERT_TRUE(RunToEnd(command));
    Events expected;
    for (const auto &e : row.expected)
        expected.push_back(QString::fromStdString(e).replace("$", m_dir.path()).toStdString());
    EXPECT_EQ(FileEvents(log.Events()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, EngineErrors,
    ::testing::Values(
        ErrorCase{"GuardedFailureIsReportedAndTheRunGoesOn",
                  false,
                  "Cannot process %s (pass %d)",
                  1,
                  StepOnB::Throw,
                  {"start command", "start b.avi 1", "exec b.avi 1",
                   "error Cannot process $/b.avi (pass 1)\ndisk full etError", "end b.avi 1",
                   "start c.avi 1", "exec c.avi 1", "end c.avi 1", "end command"}},
        ErrorCase{"EmptyErrorMessageKeepsItSilent",
                  false,
                  "",
                  1,
                  StepOnB::Throw,
                  {"start command", "start b.avi 1", "exec b.avi 1", "end b.avi 1", "start c.avi 1",
                   "exec c.avi 1", "end c.avi 1", "end command"}},
        ErrorCase{"UnguardedFailureEndsTheRunWithItsReason",
                  true,
                  "Cannot process %s",
                  1,
                  StepOnB::Throw,
                  {"start command", "start b.avi 1", "exec b.avi 1", "error disk full etAllError",
                   "end command"}},
        ErrorCase{"NoErrorIsShownAndTheFileGoesOn",
                  false,
                  "",
                  2,
                  StepOnB::ReportNoError,
                  {"start command", "start b.avi 1", "exec b.avi 1", "error note etNoError",
                   "end b.avi 1", "start b.avi 2", "exec b.avi 2", "end b.avi 2", "start c.avi 1",
                   "exec c.avi 1", "end c.avi 1", "start c.avi 2", "exec c.avi 2", "end c.avi 2",
                   "end command"}},
        ErrorCase{"ErrorLeavesTheNextPassToRun",
                  false,
                  "",
                  2,
                  StepOnB::ReportError,
                  {"start command", "start b.avi 1", "exec b.avi 1", "error bad etError",
                   "end b.avi 1", "start b.avi 2", "exec b.avi 2", "end b.avi 2", "start c.avi 1",
                   "exec c.avi 1", "end c.avi 1", "start c.avi 2", "exec c.avi 2", "end c.avi 2",
                   "end command"}},
        ErrorCase{"AllErrorEndsTheFileWithoutItsEnd",
                  false,
                  "",
                  2,
                  StepOnB::ReportAllError,
                  {"start command", "start b.avi 1", "exec b.avi 1", "error fatal etAllError",
                   "start c.avi 1", "exec c.avi 1", "end c.avi 1", "start c.avi 2", "exec c.avi 2",
                   "end c.avi 2", "end command"}}),
    [](const auto &caseInfo) { return std::string(caseInfo.param.name); });

class EngineUpdates : public EngineStage
{
protected:
    // A Tcmd over the current entry whose destination is `destination` and
    // whose step writes it when `write` is set.
    void Prepare(Tcmd &command, TUpdateFile update, const QString &destination, bool write)
    {
        command.Nombre = TcmdNombre::fnSingle;
        command.UpdateFile = update;
        command.ErrorMessage = QStringLiteral("Failed %s");
        command.OnDestination = [destination](const EngineEntryPtr &, const QStringList &, int) {
            return destination;
        };
        command.OnExecution = [this, write](const EngineEntryPtr &, const QString &path,
                                            const QStringList &, TCommandEngine &, int) {
            log.Worker("exec");
            if (write) {
                QFile out(path);
                ASSERT_TRUE(out.open(QIODevice::WriteOnly));
                out.write("new");
            }
        };
    }
};

TEST_F(EngineUpdates, AddPutsTheWrittenDestinationIntoTheDestinationList)
{
    Touch("a.avi");
    source.Put(Path("a.avi"));
    Tcmd command;
    Prepare(command, TUpdateFile::ufAdd, Path("a.out"), true);
    ASSERT_TRUE(RunToEnd(command));
    EXPECT_EQ(dest.Names(), QStringList{"a.out"});
    EXPECT_FALSE(dest.IsSelected(dest.Entries().front()));
    EXPECT_EQ(source.Names(), QStringList{"a.avi"});

    // Nothing written: nothing added.
    Tcmd idle;
    Prepare(idle, TUpdateFile::ufAdd, Path("b.out"), false);
    ASSERT_TRUE(RunToEnd(idle));
    EXPECT_EQ(dest.Names(), QStringList{"a.out"});
}

TEST_F(EngineUpdates, ReplaceDeletesTheSourceAndPutsTheDestinationInItsPlace)
{
    Touch("m.avi");
    source.Put(Path("a.avi"));
    const auto m = source.Put(Path("m.avi"));
    source.SetCurrent(m);
    Tcmd command;
    Prepare(command, TUpdateFile::ufReplace, Path("z.avi"), true);
    EngineEntryPtr ended;
    engine.OnEndFichier = [&](const EngineEntryPtr &e, const QStringList &, int) { ended = e; };
    engine.OnEndCommand = [&] {
        m_ended = true;
        if (m_loop != nullptr)
            m_loop->quit();
    };
    ASSERT_TRUE(RunToEnd(command));
    EXPECT_FALSE(QFileInfo::exists(Path("m.avi")));
    EXPECT_TRUE(QFileInfo::exists(Path("z.avi")));
    EXPECT_EQ(source.Names(), (QStringList{"a.avi", "z.avi"}));
    ASSERT_TRUE(ended);
    EXPECT_EQ(ended->FullPath(), Path("z.avi"));
    EXPECT_EQ(source.CurrentEntry(), ended);
    EXPECT_TRUE(source.IsSelected(ended));
}

TEST_F(EngineUpdates, RenameMovesTheFileAndTheEntryButNeverOverAnExistingFile)
{
    Touch("a.avi", "source");
    Touch("b.avi", "other");
    const auto a = source.Put(Path("a.avi"));
    source.Put(Path("b.avi"));
    source.SetCurrent(a);
    TRenameCmd command;
    command.Nombre = TcmdNombre::fnSingle;
    command.ErrorMessage = QStringLiteral("Cannot rename %s");
    QString target = Path("c.avi");
    command.OnDestination = [&](const EngineEntryPtr &, const QStringList &, int) {
        return target;
    };
    ASSERT_TRUE(RunToEnd(command));
    EXPECT_FALSE(QFileInfo::exists(Path("a.avi")));
    EXPECT_TRUE(QFileInfo::exists(Path("c.avi")));
    EXPECT_EQ(a->FullPath(), Path("c.avi"));
    EXPECT_EQ(source.Names(), (QStringList{"b.avi", "c.avi"}));
    const auto events = log.Events();
    EXPECT_NE(std::find(events.begin(), events.end(), "src resort c.avi"), events.end());

    // Onto an existing file: refused and reported; both files and the entry
    // stay as they were.
    target = Path("b.avi");
    ASSERT_TRUE(RunToEnd(command));
    EXPECT_EQ(readFileBytes(Path("c.avi")), "source");
    EXPECT_EQ(readFileBytes(Path("b.avi")), "other");
    EXPECT_EQ(a->FullPath(), Path("c.avi"));
    // The command's text, then the reason on a line of its own.
    EXPECT_EQ(log.Events().at(log.Events().size() - 3),
              "error Cannot rename " + Path("c.avi").toStdString() + "\nCannot rename " +
                  Path("c.avi").toStdString() + " to " + Path("b.avi").toStdString() +
                  ": Destination file exists etError");
}

TEST_F(EngineUpdates, RenameAsksWithTheFileNameAndTheDestination)
{
    source.Put(Path("a.avi"), true);
    source.Put(Path("b.avi"), true);
    TRenameCmd command;
    command.Nombre = TcmdNombre::fnSelect;
    command.OnDestination = [&](const EngineEntryPtr &e, const QStringList &, int) {
        return Path("new-" + e->FileName());
    };
    command.OnFileVerification = [&](const QString &destination, const EngineEntryPtr &e,
                                     const QStringList &, TCommandEngine &, int) {
        // The verification sees the destination of the same entry.
        EXPECT_EQ(destination, Path("new-" + e->FileName()));
        return false;
    };
    questions.Script({TModalResult::mrNo, TModalResult::mrNo});
    ASSERT_TRUE(RunToEnd(command));
    const auto texts = questions.Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[1], "Do you want to rename b.avi to " + Path("new-b.avi") +
                            " ?\nIf you answer \"All\", then no more confirmation will be "
                            "requested.");
}

TEST_F(EngineUpdates, ReloadAndRemoveWorkOnTheCurrentEntry)
{
    struct Case
    {
        TUpdateFile update;
        Events expected;
        QStringList names;
    };
    const Case cases[] = {
        {TUpdateFile::ufReload,
         {"start a.avi 1", "exec a.avi 1", "src reload a.avi", "end a.avi 1"},
         {"a.avi", "b.avi"}},
        {TUpdateFile::ufRemove,
         {"start a.avi 1", "exec a.avi 1", "src remove a.avi", "end (none) 1"},
         {"b.avi"}},
        // A fast command makes no add, replace or rename.
        {TUpdateFile::ufReplace,
         {"start a.avi 1", "exec a.avi 1", "end a.avi 1"},
         {"a.avi", "b.avi"}},
    };
    for (const Case &row : cases) {
        SCOPED_TRACE(static_cast<int>(row.update));
        source.Clear();
        const auto a = source.Put(Path("a.avi"));
        source.Put(Path("b.avi"));
        TFastcmd command;
        command.Nombre = TcmdNombre::fnSingle;
        command.UpdateFile = row.update;
        command.OnExecution = LoggingStep();
        const auto before = log.Events().size();
        ASSERT_TRUE(RunToEnd(command));
        Events events = FileEvents(log.Events());
        Events run(events.end() - static_cast<long>(row.expected.size()) - 1, events.end() - 1);
        EXPECT_EQ(run, row.expected);
        EXPECT_EQ(source.Names(), row.names);
        if (row.update == TUpdateFile::ufReload) {
            EXPECT_NE(source.Entries().front(), a) << "a new entry read from the file";
            EXPECT_EQ(source.CurrentEntry(), source.Entries().front());
        }
        EXPECT_GT(log.Events().size(), before);
    }
}

TEST_F(EngineUpdates, NoListUpdateAfterAReportedErrorOrAnAbortedFile)
{
    Touch("a.avi");
    source.Put(Path("a.avi"));
    for (bool abort : {false, true}) {
        SCOPED_TRACE(abort);
        Tcmd command;
        Prepare(command, TUpdateFile::ufAdd, Path(abort ? "abort.out" : "error.out"), true);
        command.OnExecution = [&](const EngineEntryPtr &, const QString &destination,
                                  const QStringList &, TCommandEngine &ce, int) {
            QFile out(destination);
            ASSERT_TRUE(out.open(QIODevice::WriteOnly));
            if (abort)
                ce.Message("gate"); // the GUI aborts this file here
            else
                ce.Error("half written", TErrorType::etError);
        };
        onMessage = [&](const QString &) { engine.AbortCurrent(); };
        ASSERT_TRUE(RunToEnd(command));
        EXPECT_TRUE(dest.Names().isEmpty());
    }
}

} // namespace
} // namespace vidora::test
