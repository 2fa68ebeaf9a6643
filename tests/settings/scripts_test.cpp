#include "settings/scripts.h"

#include "support/testactions.h"
#include "support/tools.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <ctime>
#include <deque>
#include <thread>

namespace {

using namespace vidora;

// A message loop that hands out messages queued by the test: ProcessMessages
// handles those pending when it is called, WaitForMessages the next one.
class FakeLoop : public TMessageLoop
{
public:
    void Post(std::function<void()> message) { pending.push_back(std::move(message)); }

    void ProcessMessages() override
    {
        ++processCalls;
        for (auto count = pending.size(); count > 0 && !pending.empty(); --count)
            handleOne();
    }
    void WaitForMessages() override
    {
        ++waitCalls;
        if (pending.empty()) {
            ADD_FAILURE() << "the run waits for a message that never comes";
            ScriptWaiting = false;
            return;
        }
        handleOne();
    }
    void Wake() override { ++wakes; }

    std::deque<std::function<void()>> pending;
    int processCalls = 0;
    int waitCalls = 0;
    int wakes = 0;

private:
    void handleOne()
    {
        auto message = std::move(pending.front());
        pending.pop_front();
        message();
    }
};

// A few actions shaped like the main window's: the overlay toggle, opening
// files, quitting, a disabled one and two that share the name "x".
class Catalogue
{
public:
    Catalogue()
    {
        inlay = new TtoggleAction(&owner);
        inlay->setObjectName(QStringLiteral("taAfficherIncrustation"));
        inlay->setSwitch(QStringLiteral("DI"));
        inlay->setToken(QStringLiteral("displayinlay"));
        inlay->FalseCaption = QStringLiteral("Display the inlay");
        inlay->TrueCaption = QStringLiteral("Hide  inlay");
        inlay->FalseHint = QStringLiteral("show");
        inlay->TrueHint = QStringLiteral("hide");
        inlay->FalseImageIndex = 4;
        inlay->TrueImageIndex = 5;
        inlay->OnfalseExecute = [this](QObject *) {
            log << QStringLiteral("show") + params();
            inlay->SetChecked(true);
        };
        inlay->OnTrueExecute = [this](QObject *) {
            log << QStringLiteral("hide") + params();
            inlay->SetChecked(false);
        };
        inlay->SetChecked(false);

        open = plain(QStringLiteral("saOuvrirFichiers"), QStringLiteral("o"),
                     QStringLiteral("openfiles"));
        quitter = plain(QStringLiteral("saQuitter"), QStringLiteral("qt"), QStringLiteral("quit"));
        disabled =
            plain(QStringLiteral("saDisabled"), QStringLiteral("dis"), QStringLiteral("disabled"));
        disabled->setEnabled(false);
        firstX = plain(QStringLiteral("saFirstX"), QStringLiteral("x"), QStringLiteral("firstx"));
        secondX =
            plain(QStringLiteral("saSecondX"), QStringLiteral("secondx"), QStringLiteral("x"));

        list = {inlay, open, quitter, disabled, firstX, secondX};
    }

    TSuperAction *plain(const QString &name, const QString &switchName, const QString &token)
    {
        TSuperAction *action =
            test::MakeSuperAction(&owner, name, name, QString(), switchName, token);
        action->Onexecute = [this, name](QObject *) { log << name + params(); };
        return action;
    }

    static QString params()
    {
        return ActionParams.isEmpty() ? QString()
                                      : QLatin1Char(':') + ActionParams.join(QLatin1Char('|'));
    }

    QObject owner;
    TtoggleAction *inlay = nullptr;
    TSuperAction *open = nullptr;
    TSuperAction *quitter = nullptr;
    TSuperAction *disabled = nullptr;
    TSuperAction *firstX = nullptr;
    TSuperAction *secondX = nullptr;
    QList<QAction *> list;
    QStringList log;
};

QString nameOf(const std::optional<TActionEx> &entry)
{
    if (!entry)
        return QStringLiteral("(none)");
    return entry->Action ? entry->Action->objectName() : QStringLiteral("(deleted)");
}

struct ParseCase
{
    const char *text;
    const char *action; // object name, or "(none)"
    const char *value;
    std::uint8_t mode;
    bool quit;
};

TEST(ParseArgument, CommandLineArgumentsAsTheShellHandsThemOver)
{
    Catalogue c;
    const ParseCase cases[] = {
        {"/home/u/a.avi", "saOuvrirFichiers", "/home/u/a.avi", kModeNoPrefix, false},
        {"/quit", "(none)", "", 0, true},
        {"-quit", "(none)", "", 0, true},
        {"+QUIT", "(none)", "", 0, true},
        {"/di", "taAfficherIncrustation", "", kModeSlash, false},
        {"+DI", "taAfficherIncrustation", "", kModePlus, false},
        {"+di", "taAfficherIncrustation", "", kModePlus, false},
        {"-di", "taAfficherIncrustation", "", kModeMinus, false},
        {"+DisplayInlay", "taAfficherIncrustation", "", kModePlus, false},
        {"+o=/tmp/a b.avi", "saOuvrirFichiers", "/tmp/a b.avi", kModePlus, false},
        {"+openfiles=a=b.avi", "saOuvrirFichiers", "a=b.avi", kModePlus, false},
        {"/o=/tmp/x.avi", "saOuvrirFichiers", "/tmp/x.avi", kModeSlash, false},
        {"/di=3", "taAfficherIncrustation", "3", kModeSlash, false},
        {"+qt", "saQuitter", "", kModePlus, false},
        {"a.avi", "saOuvrirFichiers", "a.avi", kModeNoPrefix, false},
        {"quit", "saOuvrirFichiers", "quit", kModeNoPrefix, false},
        // The shell took the quoting quotes off; what is left is the name.
        {"\"odd\" name.avi", "saOuvrirFichiers", "\"odd\" name.avi", kModeNoPrefix, false},
        {"+=x.avi", "saOuvrirFichiers", "x.avi", kModePlus, false},
        {"-=x.avi", "saOuvrirFichiers", "x.avi", kModeMinus, false},
        {"/=x", "saOuvrirFichiers", "/=x", kModeNoPrefix, false},
        {"/nosuch", "saOuvrirFichiers", "/nosuch", kModeNoPrefix, false},
        {"/di/x", "saOuvrirFichiers", "/di/x", kModeNoPrefix, false},
        {"/", "saOuvrirFichiers", "/", kModeNoPrefix, false},
        {"+nosuch", "(none)", "", 0, false},
        {"-nosuch=1", "(none)", "", 0, false},
        {"", "(none)", "", 0, false},
        {"+x", "saFirstX", "", kModePlus, false},
        {"+dis", "saDisabled", "", kModePlus, false},
    };
    for (const ParseCase &row : cases) {
        SCOPED_TRACE(row.text);
        bool quit = false;
        const std::optional<TActionEx> entry =
            ParseArgument(QString::fromUtf8(row.text), c.list, c.open, quit);
        EXPECT_EQ(nameOf(entry), QString::fromUtf8(row.action));
        EXPECT_EQ(quit, row.quit);
        if (entry) {
            EXPECT_EQ(entry->Param, QString::fromUtf8(row.value));
            EXPECT_EQ(entry->Mode, row.mode);
        }
    }
}

TEST(ParseScriptLine, ScriptLinesWithAndWithoutPrefix)
{
    Catalogue c;
    const ParseCase cases[] = {
        {"  +di \t", "taAfficherIncrustation", "", kModePlus, false},
        {"-DI", "taAfficherIncrustation", "", kModeMinus, false},
        {"/di", "taAfficherIncrustation", "", kModeSlash, false},
        {"displayinlay=true", "taAfficherIncrustation", "true", kModePlus, false},
        {"DisplayInlay=\"TRUE\"", "taAfficherIncrustation", "TRUE", kModePlus, false},
        {"displayinlay=false", "taAfficherIncrustation", "false", kModeMinus, false},
        {"displayinlay=toggle", "taAfficherIncrustation", "toggle", kModeSlash, false},
        {"displayinlay=maybe", "taAfficherIncrustation", "maybe", kModeNoPrefix, false},
        {"di", "taAfficherIncrustation", "", kModeNoPrefix, false},
        {"+di=false", "taAfficherIncrustation", "false", kModePlus, false},
        {"openfiles=\"/home/u/My Videos/a.avi\"", "saOuvrirFichiers", "/home/u/My Videos/a.avi",
         kModeNoPrefix, false},
        {"o=/tmp/a=b.avi", "saOuvrirFichiers", "/tmp/a=b.avi", kModeNoPrefix, false},
        {"o=true", "saOuvrirFichiers", "true", kModeNoPrefix, false},
        {"-openfiles=x", "saOuvrirFichiers", "x", kModeMinus, false},
        {"x", "saFirstX", "", kModeNoPrefix, false},
        {"quit", "(none)", "", 0, true},
        {"  QUIT  ", "(none)", "", 0, true},
        {"/quit", "(none)", "", 0, true},
        {"", "(none)", "", 0, false},
        {" \t ", "(none)", "", 0, false},
        {"nosuch=1", "(none)", "", 0, false},
        {"+=x.avi", "(none)", "", 0, false},
        {"/home/u/a.avi", "(none)", "", 0, false},
    };
    for (const ParseCase &row : cases) {
        SCOPED_TRACE(row.text);
        bool quit = false;
        const std::optional<TActionEx> entry =
            ParseScriptLine(QString::fromUtf8(row.text), c.list, quit);
        EXPECT_EQ(nameOf(entry), QString::fromUtf8(row.action));
        EXPECT_EQ(quit, row.quit);
        if (entry) {
            EXPECT_EQ(entry->Param, QString::fromUtf8(row.value));
            EXPECT_EQ(entry->Mode, row.mode);
        }
    }
}

TEST(Actions, TwoStateActionShowsWhatExecutingItWillDo)
{
    Catalogue c;
    QList<int> images;
    c.inlay->OnImageChanged = [&](int index) { images << index; };
    EXPECT_EQ(c.inlay->Caption(), QStringLiteral("Display the inlay"));
    c.inlay->SetChecked(true);
    EXPECT_EQ(c.inlay->Caption(), QStringLiteral("Hide  inlay"));
    EXPECT_EQ(c.inlay->Hint(), QStringLiteral("hide"));
    EXPECT_EQ(c.inlay->imageindex(), 5);
    c.inlay->SetChecked(true); // same image: no event
    c.inlay->SetChecked(false);
    EXPECT_EQ(images, (QList<int>{5, 4}));
    EXPECT_EQ(c.inlay->Switch(), QStringLiteral("di"));
}

// From a menu, a two-state action runs the command of the state it shows, and
// that command sets the final state; nothing flips it before or after, also
// with AutoCheck.
TEST(Actions, MenuRunsTheShownStatesCommandWithoutFlipping)
{
    for (const bool autoCheck : {false, true}) {
        SCOPED_TRACE(autoCheck);
        Catalogue c;
        c.inlay->setAutoCheck(autoCheck);
        EXPECT_FALSE(c.inlay->isCheckable());
        c.inlay->trigger();
        EXPECT_TRUE(c.inlay->Checked());
        EXPECT_EQ(c.inlay->Caption(), QStringLiteral("Hide  inlay"));
        EXPECT_TRUE(c.inlay->Execute());
        EXPECT_FALSE(c.inlay->Checked());
        EXPECT_EQ(c.log, (QStringList{QStringLiteral("show"), QStringLiteral("hide")}));
    }
}

TEST(Actions, ExecuteRunsThePreparationThenTheCommand)
{
    Catalogue c;
    ActionParams = QStringList{QStringLiteral("left over")};
    c.open->Onprepare = [&](QObject *sender) {
        EXPECT_EQ(sender, c.open);
        EXPECT_TRUE(ActionParams.isEmpty());
        c.log << QStringLiteral("prepare");
    };
    EXPECT_TRUE(c.open->Execute());
    EXPECT_EQ(c.log, (QStringList{QStringLiteral("prepare"), QStringLiteral("saOuvrirFichiers")}));

    c.log.clear();
    c.open->Onprepare = [&](QObject *) { ExecuteAllowed = false; };
    EXPECT_FALSE(c.open->Execute());
    EXPECT_FALSE(c.disabled->Execute());
    c.disabled->trigger();
    EXPECT_TRUE(c.log.isEmpty());

    // A plain AutoCheck action flips before its command, once, also through
    // Qt's own trigger of a checkable action; a cancelled one keeps its state.
    c.firstX->setAutoCheck(true);
    c.firstX->Onexecute = [&](QObject *) { c.log << (c.firstX->Checked() ? "on" : "off"); };
    c.firstX->trigger();
    EXPECT_TRUE(c.firstX->Checked());
    EXPECT_TRUE(c.firstX->isChecked());
    c.firstX->Onprepare = [&](QObject *) { ExecuteAllowed = false; };
    c.firstX->trigger();
    EXPECT_TRUE(c.firstX->Checked());
    EXPECT_TRUE(c.firstX->isChecked());
    EXPECT_EQ(c.log, QStringList{QStringLiteral("on")});
}

TEST(Actions, ShortcutClashesAreResolvedOnceAndListed)
{
    QObject owner;
    const auto make = [&](const char *name, const char *primary, QList<QKeySequence> secondary) {
        auto *action = new TSuperAction(&owner);
        action->setObjectName(QString::fromUtf8(name));
        action->setShortCut(QKeySequence(QString::fromUtf8(primary)));
        action->setSecondaryShortcuts(secondary);
        return action;
    };
    const QKeySequence f2(QStringLiteral("F2")), f3(QStringLiteral("F3")), f5(QStringLiteral("F5")),
        space(QStringLiteral("Space")), ctrlO(QStringLiteral("Ctrl+O")), none;
    // The earlier action wins, whether the key is its primary or secondary.
    TSuperAction *a = make("a", "", {space, f5});      // secondary Space, F5
    TSuperAction *b = make("b", "Space", {f2});        // primary Space: a's secondary is earlier
    TSuperAction *c = make("c", "F2", {ctrlO, ctrlO}); // F2 is b's secondary; Ctrl+O twice
    TSuperAction *d = make("d", "F2", {f3});           // F2 still b's
    TSuperAction *e = make("e", "", {f3, f5});         // F3 is d's, F5 a's
    QAction foreign(QStringLiteral("not one of ours"), &owner);
    foreign.setShortcut(f2);
    const QList<QAction *> catalogue{a, b, &foreign, c, d, e};

    const QList<ShortcutClash> clashes = ResolveShortcutClashes(catalogue);
    const QList<ShortcutClash> expected{
        {space, a, false, b, true}, {f2, b, false, c, true},  {f2, b, false, d, true},
        {f3, d, false, e, false},   {f5, a, false, e, false},
    };
    EXPECT_EQ(clashes, expected);
    EXPECT_EQ(a->ShortCut(), none);
    EXPECT_EQ(a->SecondaryShortcuts(), (QList<QKeySequence>{space, f5}));
    EXPECT_EQ(b->ShortCut(), none);
    EXPECT_EQ(b->SecondaryShortcuts(), QList<QKeySequence>{f2});
    EXPECT_EQ(c->ShortCut(), none);
    EXPECT_EQ(c->SecondaryShortcuts(), QList<QKeySequence>{ctrlO});
    EXPECT_EQ(d->ShortCut(), none);
    EXPECT_EQ(d->SecondaryShortcuts(), QList<QKeySequence>{f3});
    EXPECT_TRUE(e->SecondaryShortcuts().isEmpty());
    // Once resolved, nothing is left to resolve.
    EXPECT_TRUE(ResolveShortcutClashes(catalogue).isEmpty());
}

class RunTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ScriptWaiting = false;
        script.actionlist = c.list;
        script.OnCloseMainWindow = [this] { c.log << QStringLiteral("close"); };
        commandLine.actionlist = c.list;
        commandLine.DefaultAction = c.open;
        commandLine.OnCloseMainWindow = script.OnCloseMainWindow;
        commandLine.OnActivate = [this] { c.log << QStringLiteral("activate"); };
        commandLine.OnNoCommandLine = [this] { c.log << QStringLiteral("previous list"); };
    }

    Catalogue c;
    std::shared_ptr<FakeLoop> loop = std::make_shared<FakeLoop>();
    TScript script{nullptr, loop};
    TSwitch commandLine{nullptr, loop};
};

TEST_F(RunTest, ScriptLinesDriveTwoStateActionsToTheirStates)
{
    script.ParseScript(QStringLiteral("displayinlay=true\r\n-di\n+di\rdisplayinlay=toggle\n"
                                      "\n  displayinlay=maybe\nnosuch\n+dis\n"));
    script.Run();
    EXPECT_EQ(c.log, (QStringList{"show:true", "hide:", "show:", "hide:toggle", "show:maybe"}));
    EXPECT_TRUE(c.inlay->Checked());
    EXPECT_EQ(c.inlay->Caption(), QStringLiteral("Hide  inlay"));
    EXPECT_EQ(script.Entries().Count(), 6);
}

TEST_F(RunTest, TheNextEntryWaitsForTheWorkTheActionStarted)
{
    // Opening sets ScriptWaiting and ends three messages later.
    c.open->Onexecute = [this](QObject *sender) {
        EXPECT_EQ(sender, &commandLine);
        c.log << QStringLiteral("open ") + ActionParams.join(QLatin1Char('|'));
        ScriptWaiting = true;
        loop->Post([this] {
            loop->Post([this] {
                loop->Post([this] {
                    c.log << QStringLiteral("opened");
                    ScriptWaiting = false;
                });
            });
        });
    };
    commandLine.Arguments = {QStringLiteral("/home/u/a.avi"), QStringLiteral("+nosuch"),
                             QStringLiteral("+di"), QStringLiteral("+o=/tmp/b c.avi")};
    commandLine.Activate();
    EXPECT_EQ(c.log, (QStringList{"activate", "open /home/u/a.avi", "opened",
                                  "show:", "open /tmp/b c.avi", "opened"}));
    EXPECT_GT(loop->waitCalls, 0);
    EXPECT_EQ(commandLine.Entries().Count(), 0); // emptied after the run

    c.log.clear();
    commandLine.Activate(); // later activations run only OnActivate
    EXPECT_EQ(c.log, QStringList{QStringLiteral("activate")});
}

TEST_F(RunTest, BareArgumentsInARowAreOpenedTogether)
{
    c.open->Onexecute = [this](QObject *) {
        c.log << QStringLiteral("open ") + ActionParams.join(QLatin1Char('|'));
        ScriptWaiting = true;
        loop->Post([this] { ScriptWaiting = false; });
    };
    // A switch that names nothing does not part them; a switch that names
    // an action does, and "+o=" is an entry of its own.
    commandLine.Arguments = {"a.avi", "/b/b.avi", "+nosuch", "c.avi", "+di",
                             "d.avi", "+o=e.avi", "f.avi",   "g.avi"};
    commandLine.Activate();
    EXPECT_EQ(c.log, (QStringList{"activate", "open a.avi|/b/b.avi|c.avi", "show:", "open d.avi",
                                  "open e.avi", "open f.avi|g.avi"}));
}

TEST_F(RunTest, StopEndsTheRunAfterTheCurrentAction)
{
    c.open->Onexecute = [this](QObject *) {
        c.log << QStringLiteral("open");
        ScriptWaiting = true;
        loop->Post([this] { script.Stop(); });
    };
    script.ParseScript(QStringLiteral("o=a\n+di\nquit\n"));
    script.Run();
    // The run ended in the wait; the Quit flag still closes the window.
    EXPECT_EQ(c.log, (QStringList{"open", "close"}));
    EXPECT_EQ(loop->wakes, 1);
    EXPECT_FALSE(c.inlay->Checked());

    // A new run clears the Stop flag.
    ScriptWaiting = false;
    c.log.clear();
    script.ParseScript(QStringLiteral("+di"));
    script.Run();
    EXPECT_EQ(c.log, QStringList{QStringLiteral("show:")});
}

TEST_F(RunTest, QuitClosesTheMainWindowOnlyAfterTheLastEntry)
{
    script.ParseScript(QStringLiteral("quit\n+di\nqt\n"));
    EXPECT_TRUE(script.QuitRequested());
    script.Run();
    EXPECT_EQ(c.log, (QStringList{"show:", "saQuitter:", "close"}));

    // A script that names nothing but quit runs nothing and stays open.
    c.log.clear();
    script.ParseScript(QStringLiteral("quit\n"));
    script.Run();
    EXPECT_TRUE(c.log.isEmpty());

    // Each parse clears the flag.
    script.ParseScript(QStringLiteral("-di\n"));
    EXPECT_FALSE(script.QuitRequested());
    script.Run();
    EXPECT_EQ(c.log, QStringList{QStringLiteral("hide:")});

    // A command line whose only switch is quit names nothing: the previous
    // list is reopened, once, and the window stays.
    c.log.clear();
    commandLine.Arguments = {QStringLiteral("/quit")};
    commandLine.Activate();
    commandLine.Activate();
    EXPECT_EQ(c.log, (QStringList{"activate", "previous list", "activate"}));
}

TEST_F(RunTest, CommandLineQuitAfterTheOtherArguments)
{
    commandLine.Arguments = {QStringLiteral("/quit"), QStringLiteral("/di"),
                             QStringLiteral("-dis")};
    commandLine.Activate();
    EXPECT_EQ(c.log, (QStringList{"activate", "show:", "close"}));
}

TEST_F(RunTest, EmptyCommandLineRunsTheNoCommandLineEvent)
{
    commandLine.Arguments = {};
    commandLine.Activate();
    EXPECT_EQ(c.log, (QStringList{"activate", "previous list"}));
}

TEST_F(RunTest, ScriptFilesInAnyEncodingRunTheSame)
{
    const QString text = QStringLiteral("openfiles=\"/home/u/Vidéos/été à Noël.avi\"\r\n"
                                        "displayinlay=true\r\n+o=/tmp/déjà.avi\r\nquit\r\n");
    QStringEncoder utf16(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom);
    // Without a byte-order mark, UTF-16 shows in its zero bytes.
    QStringEncoder utf16le(QStringConverter::Utf16LE, QStringConverter::Flag::Stateless);
    QStringEncoder utf16be(QStringConverter::Utf16BE, QStringConverter::Flag::Stateless);
    QByteArray cp1252;
    for (const QChar ch : text)
        cp1252.append(static_cast<char>(ch.unicode())); // Latin-1 letters only
    const QByteArray files[] = {QByteArray(utf16.encode(text)), text.toUtf8(), cp1252,
                                QByteArray(utf16le.encode(text)), QByteArray(utf16be.encode(text))};
    ASSERT_TRUE(files[0].startsWith("\xFF\xFE"));
    ASSERT_TRUE(files[3].startsWith("o\0"));

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QStringList first;
    for (const QByteArray &bytes : files) {
        const QString path = dir.filePath(QStringLiteral("script.txt"));
        vidora::test::writeFileBytes(path, bytes);
        c.log.clear();
        c.inlay->SetChecked(false);
        EXPECT_TRUE(script.ExecuteFile(path));
        if (first.isEmpty())
            first = c.log;
        EXPECT_EQ(c.log, first);
    }
    EXPECT_EQ(first, (QStringList{"saOuvrirFichiers:/home/u/Vidéos/été à Noël.avi", "show:true",
                                  "saOuvrirFichiers:/tmp/déjà.avi", "close"}));
    EXPECT_EQ(script.Entries().Count(), 0);
}

// Files that are no script are refused at once, said on standard error, and
// run nothing.
TEST_F(RunTest, ScriptFilesThatCannotBeReadRunNothingAndAreTold)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto hostile =
        vidora::test::makeHostileFiles(dir.path(), QStringLiteral(".txt"), kMaxScriptBytes + 1);
    const QString avi = dir.filePath(QStringLiteral("video.avi"));
    vidora::test::writeFileBytes(avi, QByteArray("RIFF\x10\0\0\0AVI LIST\4\0\0\0hdrl", 24) +
                                          QByteArray(4096, '\0'));
    struct Case
    {
        QString path;
        const char *reason;
    };
    const Case cases[] = {
        {dir.filePath(QStringLiteral("missing.txt")), "No such file or directory"},
        {hostile.fifo, "it is not a regular file"},
        {hostile.deviceLink, "it is not a regular file"},
        {hostile.huge, "the file is larger than 16777216 bytes"},
        {avi, "it is not a text file"},
    };
    for (const Case &refused : cases) {
        SCOPED_TRACE(refused.path.toStdString());
        c.log.clear();
        QElapsedTimer clock;
        clock.start();
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(script.ExecuteFile(refused.path));
        const std::string told = ::testing::internal::GetCapturedStderr();
        EXPECT_LT(clock.elapsed(), 2000);
        EXPECT_TRUE(c.log.isEmpty());
        EXPECT_EQ(told, "vidora: cannot read the script " + refused.path.toStdString() + ": " +
                            refused.reason + "\n");
    }
}

// A script that runs itself, directly or through another, is refused where
// it would run again; the rest of each script runs, and the script can run
// again afterwards.
TEST_F(RunTest, AScriptAlreadyRunningIsNotRunAgain)
{
    TSuperAction *openScript = c.plain(QStringLiteral("saOuvrirScript"), QStringLiteral("os"),
                                       QStringLiteral("openscript"));
    openScript->Onexecute = [this](QObject *) {
        c.log << QStringLiteral("saOuvrirScript:") + ActionParams.first();
        script.ExecuteFile(ActionParams.first());
    };
    script.actionlist << openScript;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString a = dir.filePath(QStringLiteral("a.txt"));
    const QString b = dir.filePath(QStringLiteral("b.txt"));
    const QString linkToA = dir.filePath(QStringLiteral("link-to-a.txt"));
    ASSERT_TRUE(QFile::link(a, linkToA));
    auto writeScript = [](const QString &path, const QString &name, const QString &next) {
        vidora::test::writeFileBytes(
            path, QStringLiteral("x=%1\nos=%2\nx=%1-end\n").arg(name, next).toUtf8());
    };
    const QString alreadyRunning = QStringLiteral("vidora: the script %1 is already running: it is "
                                                  "not run again from within itself\n");

    // A -> A, and A -> A through a link to it.
    for (const QString &next : {a, linkToA}) {
        writeScript(a, QStringLiteral("A"), next);
        c.log.clear();
        ::testing::internal::CaptureStderr();
        EXPECT_TRUE(script.ExecuteFile(a));
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), alreadyRunning.arg(next).toStdString());
        EXPECT_EQ(c.log, (QStringList{"saFirstX:A", "saOuvrirScript:" + next, "saFirstX:A-end"}));
    }

    // A -> B -> A, twice: the first run leaves nothing behind.
    writeScript(a, QStringLiteral("A"), b);
    writeScript(b, QStringLiteral("B"), a);
    for (int run = 0; run < 2; ++run) {
        c.log.clear();
        ::testing::internal::CaptureStderr();
        EXPECT_TRUE(script.ExecuteFile(a));
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), alreadyRunning.arg(a).toStdString());
        EXPECT_EQ(c.log, (QStringList{"saFirstX:A", "saOuvrirScript:" + b, "saFirstX:B",
                                      "saOuvrirScript:" + a, "saFirstX:B-end", "saFirstX:A-end"}));
    }

    // A chain of distinct scripts stops at the nesting limit.
    const int chain = kMaxScriptNesting + 4;
    for (int i = 0; i < chain; ++i)
        writeScript(dir.filePath(QStringLiteral("s%1.txt").arg(i)), QString::number(i),
                    dir.filePath(QStringLiteral("s%1.txt").arg(i + 1)));
    c.log.clear();
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(script.ExecuteFile(dir.filePath(QStringLiteral("s0.txt"))));
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("more than 16 deep"),
              std::string::npos);
    EXPECT_EQ(c.log.filter(QRegularExpression(QStringLiteral("^saFirstX:[0-9]+$"))).size(),
              kMaxScriptNesting);
}

// What the runners do not understand is said on standard error; the rest
// runs as before.
TEST_F(RunTest, WhatIsNotUnderstoodIsToldOnStandardError)
{
    c.open->ValueProblem = [](const QString &value) {
        return value.isEmpty() ? QStringLiteral("a file name is needed") : QString();
    };
    ::testing::internal::CaptureStderr();
    commandLine.Arguments = {QStringLiteral("--help"), QStringLiteral("+nosuch=1"),
                             QStringLiteral("+o="), QStringLiteral("/quit"),
                             QStringLiteral("/home/u/a.avi")};
    commandLine.Activate();
    script.ParseScript(QStringLiteral("\n+di\n  nosuch=2  \nquit\n"));
    script.Run();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "vidora: unknown action \"--help\"\n"
              "vidora: unknown action \"+nosuch=1\"\n"
              "vidora: o (openfiles) with the value \"\": a file name is needed\n"
              "vidora: unknown action \"nosuch=2\" in line 3 of the script\n");
    EXPECT_EQ(c.log, (QStringList{"activate", "saOuvrirFichiers:", "saOuvrirFichiers:/home/u/a.avi",
                                  "close", "show:", "close"}));

    // A text that is mostly not understood tells a few lines, then a count.
    ::testing::internal::CaptureStderr();
    script.ParseScript(QStringLiteral("nosuch\n").repeated(25));
    const QString told = QString::fromStdString(::testing::internal::GetCapturedStderr());
    EXPECT_EQ(told.count(QStringLiteral("unknown action")), 10);
    EXPECT_TRUE(
        told.endsWith(QStringLiteral("vidora: 15 more lines of the script name no action\n")))
        << told.toStdString();
}

// The application's own loop: the wait sleeps until ScriptWaiting is cleared,
// by a timer on the GUI thread or by another thread.
TEST(QtMessageLoopRun, WaitSleepsUntilTheWorkEnds)
{
    Catalogue c;
    TScript script;
    script.actionlist = c.list;
    std::thread worker;
    QTimer fuse; // ends a wait that nothing would end
    fuse.setSingleShot(true);
    QObject::connect(&fuse, &QTimer::timeout, [] {
        ADD_FAILURE() << "the wait did not end";
        ScriptWaiting = false;
    });
    c.open->Onexecute = [&](QObject *) {
        ScriptWaiting = true;
        if (ActionParams.value(0) == QLatin1String("timer")) {
            QTimer::singleShot(300, [] { ScriptWaiting = false; });
        } else {
            worker = std::thread([] {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                ScriptWaiting = false;
            });
        }
        fuse.start(10000);
    };
    for (const char *how : {"timer", "thread"}) {
        SCOPED_TRACE(how);
        script.ParseScript(QStringLiteral("o=") + QString::fromUtf8(how) + QStringLiteral("\n+di"));
        QElapsedTimer wall;
        wall.start();
        const std::clock_t cpuStart = std::clock();
        script.Run();
        const double cpuMs = 1000.0 * static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        const qint64 wallMs = wall.elapsed();
        if (worker.joinable())
            worker.join();
        fuse.stop();
        EXPECT_GE(wallMs, 250);
        EXPECT_LT(wallMs, 5000);
        EXPECT_LT(cpuMs, static_cast<double>(wallMs) / 3.0) << "the wait keeps the processor busy";
        EXPECT_TRUE(c.inlay->Checked());
        c.inlay->SetChecked(false);
    }
}

} // namespace
