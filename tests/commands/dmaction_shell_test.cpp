// The file and shell commands of the action module: the trash, outside
// programs started with the file, the desktop's handlers for files, web
// addresses and mail, clearing the list and giving entries a time offset.
#include "dmaction_stage.h"

#include "support/isolatedhome.h"

#include <QDesktopServices>
#include <QElapsedTimer>
#include <QThread>
#include <QUrl>

namespace vidora::test {
namespace {

// Receives what the desktop would open.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    explicit UrlCatcher(const QStringList &schemes) : m_schemes(schemes)
    {
        for (const QString &scheme : m_schemes)
            QDesktopServices::setUrlHandler(scheme, this, "open");
    }
    ~UrlCatcher() override
    {
        for (const QString &scheme : m_schemes)
            QDesktopServices::unsetUrlHandler(scheme);
    }
    QList<QUrl> urls;

public slots:
    void open(const QUrl &url) { urls << url; }

private:
    QStringList m_schemes;
};

// A program that writes its arguments, one a line, to <itself>.args.
QString RecordingScript(const QString &path)
{
    writeFileBytes(path, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args.part\"\n"
                         "mv \"$0.args.part\" \"$0.args\"\n");
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
    return path;
}

QStringList RecordedArguments(const QString &script)
{
    QElapsedTimer waited;
    waited.start();
    while (!QFileInfo::exists(script + ".args") && waited.elapsed() < 10000)
        QThread::msleep(20);
    return QString::fromUtf8(readFileBytes(script + ".args")).split(u'\n', Qt::SkipEmptyParts);
}

class DmActionShell : public DmActionStage
{
protected:
    std::shared_ptr<TaviFichier> AddFile(const QString &path, const QByteArray &bytes = "avi")
    {
        writeFileBytes(path, bytes);
        return AddEntry(path);
    }
};

TEST_F(DmActionShell, DeletingSendsEachFileToTheTrashAndTakesItOffTheList)
{
    IsolatedHome home;
    ASSERT_TRUE(home.isValid());
    // The files lie on the home's file system, so they go to the home trash.
    const QString folder = home.root() + "/videos";
    QDir().mkpath(folder);
    AddFile(folder + "/a.avi");
    AddFile(folder + "/b.avi");
    questions.Script({TModalResult::mrYesToAll});
    ASSERT_TRUE(Run("SupprimerFichier"));
    ASSERT_EQ(questions.Texts().size(), 1u) << "one question for both with Yes to all";
    EXPECT_TRUE(questions.Texts().front().startsWith("Do you really want to delete the file " +
                                                     folder +
                                                     "/a.avi ?\nIf yes, it will be sent "
                                                     "to the Recycle bin."));
    EXPECT_TRUE(source.Names().isEmpty());
    EXPECT_TRUE(Errors().empty());
    for (const char *name : {"a.avi", "b.avi"}) {
        EXPECT_FALSE(QFileInfo::exists(folder + "/" + name));
        EXPECT_TRUE(QFileInfo::exists(home.dataHome() + "/Trash/files/" + name));
        const QString info = QString::fromUtf8(
            readFileBytes(home.dataHome() + "/Trash/info/" + name + ".trashinfo"));
        EXPECT_TRUE(info.contains("Path=" + folder + "/" + name)) << info.toStdString();
    }
}

TEST_F(DmActionShell, AFileThatCannotGoToTheTrashStaysListedAndTheFailureIsReported)
{
    IsolatedHome home;
    // The trash's folder cannot be made: its parent is a plain file.
    const QString blocked = home.root() + "/data";
    writeFileBytes(blocked, "not a folder");
    qputenv("XDG_DATA_HOME", QFile::encodeName(blocked));
    const QString folder = home.root() + "/videos";
    QDir().mkpath(folder);
    AddFile(folder + "/a.avi");
    questions.Script({TModalResult::mrYes});
    ASSERT_TRUE(Run("SupprimerFichier"));
    EXPECT_EQ(source.Names(), QStringList{"a.avi"});
    EXPECT_TRUE(QFileInfo::exists(folder + "/a.avi"));
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_NE(Errors().front().find("could not be sent to the trash"), std::string::npos);
}

TEST_F(DmActionShell, AReadOnlyFileCannotBeDeletedAndALongPathGetsTheShortQuestion)
{
    AddFile(Path("ro.avi"));
    QFile::setPermissions(Path("ro.avi"), QFileDevice::ReadOwner);
    const auto entry = TAfficherFichier::Create(Path("ro.avi"), TaviReading{});
    bool visible = false;
    bool enabled = true;
    Command("SupprimerFichier").FileCondition(entry, visible, enabled);
    EXPECT_FALSE(enabled);
    EXPECT_TRUE(visible);

    const QString longName = QString(200, u'x') + ".avi";
    writeFileBytes(Path(longName), "avi");
    const auto longEntry = TAfficherFichier::Create(Path(longName), TaviReading{});
    EXPECT_EQ(action.SupprimerFichierFileConFirmation(*longEntry, {}),
              "Do you really want to delete this file?\nIf yes, it will be sent to the Recycle "
              "bin.");
}

TEST_F(DmActionShell, OpenWithAndTheSiblingProgramStartWithTheFile)
{
    const QString f3 = RecordingScript(Path("player3.sh"));
    const QString quill = RecordingScript(Path("quill.sh"));
    const auto entry = AddFile(Path("my clip.avi"));
    EXPECT_FALSE(Command("OpenFichierF3").CommandCondition(engine)) << "no program set";
    EXPECT_FALSE(Command("OpenFichierF4").CommandCondition(engine));
    settings.FileF3 = f3;
    ASSERT_TRUE(Command("OpenFichierF3").CommandCondition(engine));
    ASSERT_TRUE(Run("OpenFichierF3"));
    EXPECT_EQ(RecordedArguments(f3), QStringList{Path("my clip.avi")});

    settings.FileQuillmark = quill;
    bool visible = false;
    bool enabled = false;
    Command("Quillmark").FileCondition(entry, visible, enabled);
    EXPECT_TRUE(enabled);
    settings.LoadQuillmark = true;
    ASSERT_TRUE(Run("Quillmark"));
    EXPECT_EQ(RecordedArguments(quill), QStringList{"+F=" + Path("my clip.avi")});
    QFile::remove(quill + ".args");
    settings.LoadQuillmark = false;
    ASSERT_TRUE(Run("Quillmark"));
    EXPECT_EQ(RecordedArguments(quill), QStringList{Path("my clip.avi")});
}

TEST_F(DmActionShell, TheDesktopOpensTheFileItsFolderTheAddressesAndTheMail)
{
    UrlCatcher catcher({"file", "http", "https", "mailto"});
    AddFile(Path("clip.avi"));
    ASSERT_TRUE(Run("DefaultPlayer"));
    ASSERT_TRUE(Run("VisitHomePage"));
    ASSERT_TRUE(Run("VisitBlog"));
    ASSERT_TRUE(Run("SendMail"));
    ASSERT_EQ(catcher.urls.size(), 4);
    EXPECT_EQ(catcher.urls[0], QUrl::fromLocalFile(Path("clip.avi")));
    EXPECT_EQ(catcher.urls[1].toString(), HomePageAddress);
    EXPECT_EQ(catcher.urls[2].toString(), kBlogAddress);
    EXPECT_EQ(catcher.urls[3].scheme(), "mailto");
    EXPECT_EQ(catcher.urls[3].path(), kContactAddress);
    EXPECT_TRUE(catcher.urls[3].query(QUrl::FullyDecoded).contains("subject=About  Vidora"));
    EXPECT_TRUE(Errors().empty());
}

TEST_F(DmActionShell, TheBlogIsForEnglishAndTheBirthdayForItsDay)
{
    EXPECT_TRUE(Command("VisitBlog").CommandCondition(engine));
    action.Language = "Fr";
    EXPECT_FALSE(Command("VisitBlog").CommandCondition(engine));
    action.Today = [] { return QDate(2026, kAnniversaryMonth, kAnniversaryDay); };
    EXPECT_TRUE(Command("Anniversaire").CommandCondition(engine));
    action.Today = [] { return QDate(2026, kAnniversaryMonth, kAnniversaryDay + 1); };
    EXPECT_FALSE(Command("Anniversaire").CommandCondition(engine));
    EXPECT_FALSE(RunToEnd(Command("Anniversaire"))) << "the condition keeps it from running";

    // Its question: true for Yes only.
    const QString question = "It's today Vesk Tobrek's birthday. Do you want to send him a e-mail?";
    questions.Script({TModalResult::mrYes, TModalResult::mrNo, TModalResult::mrCancel});
    EXPECT_TRUE(Command("Anniversaire").CommandConfirmation(engine));
    EXPECT_FALSE(Command("Anniversaire").CommandConfirmation(engine));
    EXPECT_FALSE(Command("Anniversaire").CommandConfirmation(engine));
    EXPECT_EQ(questions.Texts(), (std::vector<QString>{question, question, question}));
}

TEST_F(DmActionShell, ClearingTheListRemovesEveryEntryAndNoFile)
{
    AddFile(Path("a.avi"));
    AddFile(Path("b.avi"));
    source.SetSelected(source.Entries().front(), false);
    ASSERT_TRUE(Run("ViderListe"));
    EXPECT_TRUE(source.Names().isEmpty());
    EXPECT_TRUE(QFileInfo::exists(Path("a.avi")));
    EXPECT_TRUE(QFileInfo::exists(Path("b.avi")));
}

TEST_F(DmActionShell, TheTimeOffsetCommandGivesEverySelectedEntryTheOffsetAndChangesNoFile)
{
    const auto a = AddFile(Path("a.avi"));
    const auto b = AddFile(Path("b.avi"));
    const auto c = AddFile(Path("c.avi"));
    source.SetSelected(c, false);
    ASSERT_TRUE(Run("DecalageHoraire", {"0.125"}));
    EXPECT_DOUBLE_EQ(a->TimeOffset(), 0.125);
    EXPECT_EQ(a->TimeOffsetText(), "3 hours");
    EXPECT_DOUBLE_EQ(b->TimeOffset(), 0.125);
    EXPECT_DOUBLE_EQ(c->TimeOffset(), 0.0);
    ASSERT_TRUE(Run("DecalageHoraire", {"abc"}));
    EXPECT_DOUBLE_EQ(a->TimeOffset(), 0.0);
    EXPECT_EQ(readFileBytes(Path("a.avi")), "avi");
}

} // namespace
} // namespace vidora::test

#include "dmaction_shell_test.moc"
